// Requests beyond the protocol about one memory word: the stores to it
// (wordHistory), going back to a step (goToStep), and both at once for the
// newest store (whoWrote).

#include "debug_adapter.h"

#include "protocol_error.h"
#include "run_spec.h"

namespace wren::dap {

namespace {

using Json = nlohmann::json;

// A page of a history: enough to read, few enough to answer at once.
constexpr std::size_t kPage = 50;
constexpr std::size_t kLongestPage = 1000;

[[noreturn]] void Fail(const std::string& message) { throw rpc::ProtocolError(3, message); }

// "address": 100, "100" or "&H64".
std::int32_t AddressOf(const std::string& request, const Json& args) {
    const Json& address = args.at("address");
    std::optional<std::int64_t> value;
    if (address.is_number_integer())
        value = address.get<std::int64_t>();
    else if (address.is_string())
        value = cli::ParseWordValue(address.get<std::string>());
    if (!value || *value < 0 || *value >= Wren::kMemoryWords)
        Fail(request + ": '" + (address.is_string() ? address.get<std::string>() : address.dump()) +
             "' is not an address 0..65535");
    return static_cast<std::int32_t>(*value);
}

} // namespace

Json DebugAdapter::WordHistoryOf(const Json& args) {
    const std::int32_t address = AddressOf("wordHistory", args);
    const auto count = std::clamp<std::int64_t>(args.value("count", std::int64_t{kPage}), 1,
                                                std::int64_t{kLongestPage});
    const long long before = args.value("before", 0LL);
    return HistoryJson(address,
                       Machine().WordWrites(address, static_cast<std::size_t>(count), before));
}

Json DebugAdapter::HistoryJson(std::int32_t address, const WordHistory& history) {
    Json writes = Json::array();
    for (const WordWrite& write : history.writes) {
        const RecordSummary* record = Machine().Program().AtAddress(write.at);
        writes.push_back({{"step", write.step},
                          {"address", write.at},
                          {"line", record ? Json(ClientLine(record->line)) : Json(nullptr)},
                          {"instruction", "STAm " + std::to_string(address)},
                          {"old", write.old},
                          {"value", write.value}});
    }
    return {{"address", address},
            {"since", history.since},
            {"now", Machine().StepCount()},
            {"more", history.more},
            {"writes", std::move(writes)}};
}

Json DebugAdapter::GoToStep(const Json& args) {
    const long long step = args.at("step").get<long long>();
    if (!Machine().GoToStep(step))
        Fail("goToStep: step " + std::to_string(step) + " is not in this run's history (steps " +
             std::to_string(Machine().HistoryStart()) + " to " +
             std::to_string(Machine().StepCount()) + ")");
    after_ = [this] { Report({StopReason::Goto, {}}, false); };
    return {{"step", step}};
}

Json DebugAdapter::WhoWrote(const Json& args) {
    const std::int32_t address = AddressOf("whoWrote", args);
    const WordHistory history = Machine().WordWrites(address, 1);
    Json body = HistoryJson(address, history);
    if (history.writes.empty()) {
        body["write"] = nullptr;
        return body;
    }
    body["write"] = body["writes"][0];
    Machine().GoToStep(history.writes[0].step);
    after_ = [this] { Report({StopReason::Goto, {}}, false); };
    return body;
}

} // namespace wren::dap

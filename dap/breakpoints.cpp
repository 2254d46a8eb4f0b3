#include "debug_adapter.h"

#include "protocol_error.h"
#include "run_spec.h"

namespace wren::dap {

namespace {

using Json = nlohmann::json;

// A memory word as a watch names it: "200", "M[200]", "&HC8".
std::optional<std::int32_t> WatchedWord(std::string text) {
    if (text.starts_with("M[") && text.ends_with("]"))
        text = text.substr(2, text.size() - 3);
    const auto value = cli::ParseWordValue(text);
    if (!value || *value < 0 || *value >= Wren::kMemoryWords)
        return std::nullopt;
    return value;
}

constexpr int kMemoryScope = 2;

} // namespace

Json DebugAdapter::SetBreakpoints(const Json& args) {
    lineBreakpoints_.clear();
    for (const Json& bp : args.value("breakpoints", Json::array()))
        lineBreakpoints_.push_back(CoreLine(bp.at("line").get<int>()));
    std::lock_guard lock(mutex_);
    auto placed = Machine().SetLineBreakpoints(lineBreakpoints_);
    Json out = Json::array();
    int id = 0;
    for (const LineBreakpoint& bp : placed) {
        Json entry{{"id", ++id}, {"verified", bp.verified}, {"line", ClientLine(bp.line)}};
        if (bp.verified)
            entry["instructionReference"] = std::to_string(bp.address);
        else
            entry["message"] = bp.message;
        out.push_back(std::move(entry));
    }
    return {{"breakpoints", std::move(out)}};
}

Json DebugAdapter::SetInstructionBreakpoints(const Json& args) {
    instructionBreakpoints_.clear();
    Json out = Json::array();
    for (const Json& bp : args.value("breakpoints", Json::array())) {
        // The offset counts bytes, four to a word.
        const auto base = cli::ParseAddress(bp.at("instructionReference").get<std::string>());
        const std::int64_t address = base ? *base + bp.value("offset", 0) / 4 : -1;
        const bool ok = address >= 0 && address < Wren::kMemoryWords;
        if (ok)
            instructionBreakpoints_.push_back(static_cast<std::int32_t>(address));
        Json entry{{"verified", ok}};
        if (ok)
            entry["instructionReference"] = std::to_string(address);
        else
            entry["message"] = "not an address in memory";
        out.push_back(std::move(entry));
    }
    std::lock_guard lock(mutex_);
    Machine().SetInstructionBreakpoints(instructionBreakpoints_);
    return {{"breakpoints", std::move(out)}};
}

Json DebugAdapter::DataBreakpointInfo(const Json& args) {
    const std::string name = args.at("name").get<std::string>();
    const int scope = args.value("variablesReference", 0);
    std::optional<std::int32_t> word;
    if (scope == kMemoryScope || scope == 0)
        word = WatchedWord(name);
    if (!word)
        return {{"dataId", nullptr}, {"description", "only memory words can be watched"}};
    return {{"dataId", std::to_string(*word)},
            {"description", "M[" + std::to_string(*word) + "]"},
            {"accessTypes", {"write"}},
            {"canPersist", true}};
}

Json DebugAdapter::SetDataBreakpoints(const Json& args) {
    dataBreakpoints_.clear();
    Json out = Json::array();
    for (const Json& bp : args.value("breakpoints", Json::array())) {
        const auto word = WatchedWord(bp.at("dataId").get<std::string>());
        if (word)
            dataBreakpoints_.push_back(*word);
        out.push_back(word ? Json{{"verified", true}}
                           : Json{{"verified", false}, {"message", "not a memory word"}});
    }
    std::lock_guard lock(mutex_);
    Machine().SetDataBreakpoints(dataBreakpoints_);
    return {{"breakpoints", std::move(out)}};
}

} // namespace wren::dap

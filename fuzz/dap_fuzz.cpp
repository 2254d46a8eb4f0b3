// Fuzzes the debug adapter with message sequences on a queue channel: the
// first bytes are a program, the rest pick requests and their arguments.
// Continue runs in slices on this thread, so every run is repeatable.
#include "debug_adapter.h"
#include "queue_channel.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using nlohmann::json;

void Require(bool condition) {
    if (!condition)
        std::abort();
}

// Reads the input from the front, one choice at a time; 0 once it runs out.
class Choices {
public:
    explicit Choices(std::string_view bytes) : bytes_(bytes) {}
    bool Empty() const { return at_ >= bytes_.size(); }
    std::uint8_t Next() {
        return at_ < bytes_.size() ? static_cast<std::uint8_t>(bytes_[at_++]) : 0;
    }
    std::int32_t Word() {
        static const std::int32_t kWords[] = {0, 1, 2, 8, 100, 65535, 65536, -1, 2147483647};
        const std::uint8_t b = Next();
        return b < 200 ? b : kWords[b % std::size(kWords)];
    }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

json Request(Choices& c) {
    const std::string ref = std::to_string(c.Word());
    const std::string expressions[] = {"A", "PC", "V", "Cycles", "M[" + ref + "]", ref, "x[", ""};
    switch (c.Next() % 20) {
    case 0: return {{"command", "next"}};
    case 1: return {{"command", "stepBack"}};
    case 2: return {{"command", "continue"}};
    case 3: return {{"command", "pause"}};
    case 4:
        return {{"command", "setBreakpoints"},
                {"arguments", {{"breakpoints", {{{"line", c.Word()}}, {{"line", c.Next() % 8}}}}}}};
    case 5:
        return {{"command", "setInstructionBreakpoints"},
                {"arguments", {{"breakpoints", {{{"instructionReference", ref}}}}}}};
    case 6:
        return {{"command", "setDataBreakpoints"},
                {"arguments", {{"breakpoints", {{{"dataId", ref}}}}}}};
    case 7: return {{"command", "stackTrace"}, {"arguments", {{"threadId", 1}}}};
    case 8: return {{"command", "scopes"}, {"arguments", {{"frameId", c.Next() % 3}}}};
    case 9: return {{"command", "variables"}, {"arguments", {{"variablesReference", c.Word()}}}};
    case 10:
        return {{"command", "setVariable"},
                {"arguments",
                 {{"variablesReference", c.Next() % 4},
                  {"name", expressions[c.Next() % 8]},
                  {"value", std::to_string(c.Word())}}}};
    case 11:
        return {{"command", "evaluate"},
                {"arguments", {{"expression", expressions[c.Next() % 8]}}}};
    case 12:
        return {{"command", "readMemory"},
                {"arguments",
                 {{"memoryReference", ref}, {"offset", c.Word()}, {"count", c.Next() * 7}}}};
    case 13:
        return {{"command", "writeMemory"},
                {"arguments",
                 {{"memoryReference", ref},
                  {"data", c.Next() % 2 ? "AQIDBAU=" : "!!"},
                  {"allowPartial", c.Next() % 2 == 0}}}};
    case 14:
        return {{"command", "disassemble"},
                {"arguments",
                 {{"memoryReference", ref},
                  {"instructionOffset", c.Word()},
                  {"instructionCount", c.Next()}}}};
    case 15: return {{"command", "reverseContinue"}};
    case 16: return {{"command", "restart"}};
    case 17: return {{"command", "exceptionInfo"}};
    case 18: return {{"command", "dataBreakpointInfo"}, {"arguments", {{"name", ref}}}};
    default: return {{"command", "threads"}};
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The program: up to the first NUL, at most 200 bytes.
    const std::size_t end = std::min(bytes.find('\0'), std::min<std::size_t>(bytes.size(), 200));
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("wren-fuzz-dap-" + std::to_string(getpid()) + ".ram"))
                                        .string();
    std::ofstream(path, std::ios::binary) << bytes.substr(0, end);

    wren::rpc::QueueChannel channel;
    wren::dap::DebugAdapter adapter(channel, wren::dap::Execution::Slices);
    int seq = 0;
    auto send = [&](json request) {
        request["seq"] = ++seq;
        request["type"] = "request";
        Require(!adapter.Handle({wren::rpc::Incoming::Kind::Message, std::move(request), {}}));
        for (const json& m : channel.Take())
            Require(m.at("type") == "event" ||
                    (m.at("type") == "response" && m.at("request_seq") == seq &&
                     m.at("success").is_boolean()));
    };
    send({{"command", "initialize"}, {"arguments", json::object()}});
    send({{"command", "launch"},
          {"arguments", {{"program", path}, {"stopOnEntry", true}, {"history", 64}}}});
    send({{"command", "configurationDone"}});
    Choices choices(bytes.substr(std::min(end + 1, bytes.size())));
    for (int n = 0; n < 64 && !choices.Empty(); ++n) {
        send(Request(choices));
        // A few slices of a continue, then on: a loop never ends by itself.
        for (int slice = 0; slice < 2 && adapter.Running(); ++slice)
            adapter.RunSlice();
    }
    Require(adapter.Handle({wren::rpc::Incoming::Kind::Closed, nullptr, {}}));
    return 0;
}

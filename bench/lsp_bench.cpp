// What the language server costs an editor on the largest program memory
// holds: 32,768 instruction records, with comments between them.
#include "language_server.h"
#include "message_channel.h"

#include <benchmark/benchmark.h>

namespace {

using nlohmann::json;

// Serializes what the server sends, as a real channel would, and keeps only
// the size.
class CountingChannel : public wren::rpc::MessageChannel {
public:
    wren::rpc::Incoming Read() override { return {}; }
    void Write(const json& message) override { bytes += wren::rpc::Serialize(message).size(); }
    std::size_t bytes = 0;
};

std::string LargestProgram() {
    std::string text;
    for (int i = 0; i < 32768; ++i) {
        if (i % 8 == 0)
            text += "{ block " + std::to_string(i / 8) + "\n";
        text += i % 3 == 0 ? "LDAm 200\n" : i % 3 == 1 ? "ADDi &H10\n" : "STAm 201, ";
    }
    return text;
}

json Message(const char* method, json params, int id = 0) {
    json m{{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
    if (id > 0)
        m["id"] = id;
    return m;
}

struct Server {
    CountingChannel channel;
    wren::lsp::LanguageServer server{channel};
    void Send(json message) {
        server.Handle({wren::rpc::Incoming::Kind::Message, std::move(message), {}});
    }
    Server() {
        Send(Message("initialize", {{"capabilities", json::object()}}, 1));
        Send(Message("textDocument/didOpen",
                     {{"textDocument",
                       {{"uri", "file:///big.ram"}, {"version", 1}, {"text", LargestProgram()}}}}));
    }
};

json Position(int line, int character) { return {{"line", line}, {"character", character}}; }

// One keystroke in the middle of the program, to the diagnostics sent.
void BM_DidChangeToDiagnostics(benchmark::State& state) {
    Server s;
    int version = 2;
    for (auto _ : state) {
        // Type a character, then take it back: the program stays the size it is.
        const bool add = version % 2 == 0;
        const json at = Position(20000, 5);
        const json end = add ? at : Position(20000, 6);
        s.Send(Message("textDocument/didChange",
                       {{"textDocument", {{"uri", "file:///big.ram"}, {"version", version++}}},
                        {"contentChanges",
                         {{{"range", {{"start", at}, {"end", end}}}, {"text", add ? "x" : ""}}}}}));
    }
    state.counters["bytes_sent"] =
        static_cast<double>(s.channel.bytes) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DidChangeToDiagnostics)->Unit(benchmark::kMillisecond);

void BM_InlayHints100Lines(benchmark::State& state) {
    Server s;
    int id = 2;
    for (auto _ : state)
        s.Send(Message("textDocument/inlayHint",
                       {{"textDocument", {{"uri", "file:///big.ram"}}},
                        {"range", {{"start", Position(18000, 0)}, {"end", Position(18100, 0)}}}},
                       id++));
}
BENCHMARK(BM_InlayHints100Lines)->Unit(benchmark::kMicrosecond);

} // namespace

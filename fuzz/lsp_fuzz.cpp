// Fuzzes the language server: as a byte stream through the base protocol,
// and as a document that every request then reads.
#include "language_server.h"
#include "queue_channel.h"
#include "stream_channel.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

using nlohmann::json;

void Require(bool condition) {
    if (!condition)
        std::abort();
}

std::string Frame(const std::string& body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Raw bytes after an initialize: framing, JSON and dispatch.
void FuzzStream(std::string_view bytes) {
    std::istringstream in(Frame(R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{}})") +
                          std::string(bytes));
    std::ostringstream out;
    wren::rpc::StreamChannel channel(in, out);
    wren::lsp::LanguageServer server(channel);
    const int status = server.Serve(); // must end: the input does
    Require(status == 0 || status == 1);
}

// Every request at positions taken from the input, on the input as a document.
void FuzzDocument(std::string_view bytes) {
    wren::rpc::QueueChannel channel;
    wren::lsp::LanguageServer server(channel);
    auto send = [&](json message) {
        Require(!server.Handle({wren::rpc::Incoming::Kind::Message, std::move(message), {}}));
        for (const json& answer : channel.Take())
            Require(!answer.contains("id") || answer.contains("result") ||
                    answer["error"]["code"] == -32602);
    };
    const std::uint8_t mode = bytes.empty() ? 0 : static_cast<std::uint8_t>(bytes[0]);
    const char* encodings[] = {"utf-16", "utf-8", "utf-32"};
    send({{"id", 1},
          {"method", "initialize"},
          {"params",
           {{"capabilities", {{"general", {{"positionEncodings", {encodings[mode % 3]}}}}}}}}});
    const json doc = {{"uri", "file:///f.ram"}};
    send({{"method", "textDocument/didOpen"},
          {"params",
           {{"textDocument",
             {{"uri", "file:///f.ram"}, {"version", 1}, {"text", std::string(bytes)}}}}}});
    int id = 2;
    for (std::size_t i = 1; i + 1 < bytes.size() && i < 40; i += 2) {
        const json at = {{"line", static_cast<std::uint8_t>(bytes[i]) % 8},
                         {"character", static_cast<std::uint8_t>(bytes[i + 1]) % 24}};
        for (const char* method : {"textDocument/hover", "textDocument/definition",
                                   "textDocument/completion", "textDocument/references"})
            send({{"id", id++},
                  {"method", method},
                  {"params", {{"textDocument", doc}, {"position", at}}}});
    }
    const json all = {{"start", {{"line", 0}, {"character", 0}}},
                      {"end", {{"line", 1 << 20}, {"character", 0}}}};
    send({{"id", id++},
          {"method", "textDocument/inlayHint"},
          {"params", {{"textDocument", doc}, {"range", all}}}});
    send({{"id", id++},
          {"method", "textDocument/codeAction"},
          {"params", {{"textDocument", doc}, {"range", all}}}});
    // An edit somewhere, then the whole text again: the diagnostics return
    // to what they were.
    const json first = {{"line", mode % 4}, {"character", mode % 7}};
    send({{"method", "textDocument/didChange"},
          {"params",
           {{"textDocument", {{"uri", "file:///f.ram"}, {"version", 2}}},
            {"contentChanges",
             {{{"range", {{"start", first}, {"end", first}}}, {"text", ",\t\""}}}}}}});
    send({{"method", "textDocument/didChange"},
          {"params",
           {{"textDocument", {{"uri", "file:///f.ram"}, {"version", 3}}},
            {"contentChanges", {{{"text", std::string(bytes)}}}}}}});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (size > 0 && data[0] % 2 == 0)
        FuzzStream(bytes.substr(1));
    else
        FuzzDocument(bytes.substr(size > 0 ? 1 : 0));
    return 0;
}

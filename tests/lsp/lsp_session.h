#pragma once

// A language server on a queue channel, driven one message at a time, and
// helpers to read its answers.

#include "language_server.h"
#include "queue_channel.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace wren::lsp::test {

using nlohmann::json;
inline constexpr const char* kUri = "file:///p.ram";

// A server on a queue, driven one message at a time.
class Session {
public:
    explicit Session(json capabilities = json::object()) {
        Request("initialize", {{"capabilities", std::move(capabilities)}});
        Notify("initialized", json::object());
    }
    Session(std::nullptr_t) {} // not initialized

    json Request(const std::string& method, json params) {
        Send(
            {{"jsonrpc", "2.0"}, {"id", ++id_}, {"method", method}, {"params", std::move(params)}});
        for (const json& m : written_)
            if (m.value("id", json()) == id_)
                return m;
        ADD_FAILURE() << method << " got no answer";
        return nullptr;
    }
    json Result(const std::string& method, json params) {
        return Request(method, std::move(params)).at("result");
    }
    void Notify(const std::string& method, json params) {
        Send({{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
    }
    std::optional<int> Send(const json& message) {
        auto status = server_.Handle({rpc::Incoming::Kind::Message, message, {}});
        written_ = channel_.Take();
        return status;
    }
    std::optional<int> Feed(rpc::Incoming incoming) {
        auto status = server_.Handle(std::move(incoming));
        written_ = channel_.Take();
        return status;
    }
    const std::vector<json>& Written() const { return written_; }

    /// Opens the document and returns its published diagnostics.
    json Open(const std::string& text) {
        Notify("textDocument/didOpen",
               {{"textDocument",
                 {{"uri", kUri}, {"languageId", "wren-ram"}, {"version", 1}, {"text", text}}}});
        return Published();
    }
    json Published() const {
        for (const json& m : written_)
            if (m.value("method", "") == "textDocument/publishDiagnostics")
                return m.at("params");
        return nullptr;
    }
    json At(int line, int character) const {
        return {{"textDocument", {{"uri", kUri}}},
                {"position", {{"line", line}, {"character", character}}}};
    }

private:
    rpc::QueueChannel channel_;
    LanguageServer server_{channel_};
    std::vector<json> written_;
    int id_ = 0;
};

inline json Range(int l0, int c0, int l1, int c1) {
    return {{"start", {{"line", l0}, {"character", c0}}},
            {"end", {{"line", l1}, {"character", c1}}}};
}

// "LINE:CHAR-LINE:CHAR"
inline std::string Where(const json& range) {
    auto p = [](const json& at) {
        return std::to_string(at.at("line").get<int>()) + ":" +
               std::to_string(at.at("character").get<int>());
    };
    return p(range.at("start")) + "-" + p(range.at("end"));
}

/// Applies edits to an ASCII text, last first.
inline std::string Apply(std::string text, const json& edits) {
    std::vector<json> sorted(edits.begin(), edits.end());
    std::sort(sorted.begin(), sorted.end(), [](const json& a, const json& b) {
        const auto at = [](const json& e) {
            return std::pair(e["range"]["start"]["line"].get<int>(),
                             e["range"]["start"]["character"].get<int>());
        };
        return at(a) > at(b);
    });
    for (const json& e : sorted) {
        const int line = e["range"]["start"]["line"];
        std::size_t at = 0;
        for (int l = 0; l < line; ++l)
            at = text.find('\n', at) + 1;
        const auto begin = at + e["range"]["start"]["character"].get<std::size_t>();
        const auto end = at + e["range"]["end"]["character"].get<std::size_t>();
        text.replace(begin, end - begin, e["newText"].get<std::string>());
    }
    return text;
}

} // namespace wren::lsp::test

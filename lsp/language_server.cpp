#include "language_server.h"

#include "document_features.h"
#include "protocol_error.h"

#include <algorithm>
#include <iostream>

namespace wren::lsp {

namespace ec = rpc::error_code;
using nlohmann::json;

namespace {

constexpr int kIncrementalSync = 2;

bool IsId(const json& id) { return id.is_number_integer() || id.is_string(); }

} // namespace

int LanguageServer::Serve() {
    for (;;)
        if (auto status = Handle(channel_.Read()))
            return *status;
}

std::optional<int> LanguageServer::Handle(const rpc::Incoming& incoming) {
    try {
        switch (incoming.kind) {
        case rpc::Incoming::Kind::Closed: return state_ == State::ShutDown ? 0 : 1;
        case rpc::Incoming::Kind::Malformed:
            SendError(nullptr, ec::kParseError, incoming.error);
            return std::nullopt;
        case rpc::Incoming::Kind::Message: HandleMessage(incoming.message); break;
        }
    } catch (const std::exception& error) {
        // Only writing can fail here; the next message may fare better.
        std::cerr << "wren-lsp: " << error.what() << '\n';
    }
    return exitStatus_;
}

void LanguageServer::HandleMessage(const json& message) {
    if (!message.is_object()) {
        SendError(nullptr, ec::kInvalidRequest, "a message must be a JSON object");
        return;
    }
    const auto method = message.find("method");
    const auto id = message.find("id");
    const bool isRequest = id != message.end();
    if (method == message.end() || !method->is_string()) {
        // A response to a request of ours (we send none) is ignored.
        if (!isRequest || message.contains("result") || message.contains("error"))
            return;
        SendError(*id, ec::kInvalidRequest, "the request has no method");
        return;
    }
    if (isRequest && !IsId(*id)) {
        SendError(nullptr, ec::kInvalidRequest, "a request id must be a number or a string");
        return;
    }
    const std::string& name = method->get_ref<const std::string&>();
    const json params = message.value("params", json::object());

    if (!isRequest) {
        try {
            Notification(name, params);
        } catch (const std::exception& error) {
            // Notifications get no answer; say why on standard error.
            std::cerr << "wren-lsp: " << name << ": " << error.what() << '\n';
        }
        return;
    }
    try {
        channel_.Write({{"jsonrpc", "2.0"}, {"id", *id}, {"result", Request(name, params)}});
    } catch (const rpc::ProtocolError& error) {
        SendError(*id, error.Code(), error.what());
    } catch (const json::exception& error) {
        SendError(*id, ec::kInvalidParams, name + ": " + error.what());
    } catch (const std::exception& error) {
        SendError(*id, ec::kInternalError, name + ": " + error.what());
    }
}

void LanguageServer::SendError(const json& id, int code, const std::string& message) {
    channel_.Write(
        {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

json LanguageServer::Request(const std::string& method, const json& params) {
    if (state_ == State::Starting && method != "initialize")
        throw rpc::ProtocolError(ec::kServerNotInitialized, "the server is not initialized yet");
    if (state_ == State::ShutDown)
        throw rpc::ProtocolError(ec::kInvalidRequest, "the server is shut down");
    if (method == "initialize") {
        if (state_ != State::Starting)
            throw rpc::ProtocolError(ec::kInvalidRequest, "initialize was already sent");
        return Initialize(params);
    }
    if (method == "shutdown") {
        state_ = State::ShutDown;
        return nullptr;
    }

    const TextDocument* doc = nullptr;
    std::string uri;
    if (method.starts_with("textDocument/")) {
        uri = params.at("textDocument").at("uri").get<std::string>();
        doc = Document(params);
    }
    // Params are checked whether or not the document is open.
    if (method == "textDocument/hover") {
        const Position at = PositionOf(params.at("position"));
        return doc ? Hover({uri, *doc}, at) : json(nullptr);
    }
    if (method == "textDocument/definition") {
        const Position at = PositionOf(params.at("position"));
        return doc ? Definition({uri, *doc}, at) : json(nullptr);
    }
    if (method == "textDocument/references") {
        const Position at = PositionOf(params.at("position"));
        const bool declaration =
            params.value("context", json::object()).value("includeDeclaration", false);
        return doc ? References({uri, *doc}, at, declaration) : json(nullptr);
    }
    if (method == "textDocument/completion") {
        const Position at = PositionOf(params.at("position"));
        return doc ? Completion({uri, *doc}, at) : json(nullptr);
    }
    if (method == "textDocument/inlayHint") {
        const json& range = params.at("range");
        return doc ? InlayHints({uri, *doc}, range) : json(nullptr);
    }
    if (method == "textDocument/codeAction") {
        const json& range = params.at("range");
        if (doc == nullptr)
            return nullptr;
        json actions = CodeActions({uri, *doc}, range);
        for (json& action : moved_.at(uri).Actions({uri, *doc}, range))
            actions.push_back(std::move(action));
        return actions;
    }
    throw rpc::ProtocolError(ec::kMethodNotFound, "unknown method " + method);
}

json LanguageServer::Initialize(const json& params) {
    // UTF-16 unless the client offers one that needs no conversion.
    const json offered = params.value("capabilities", json::object())
                             .value("general", json::object())
                             .value("positionEncodings", json::array());
    encoding_ = PositionEncoding::Utf16;
    for (const json& name : offered) {
        if (name == "utf-8") {
            encoding_ = PositionEncoding::Utf8;
            break;
        }
        if (name == "utf-32")
            encoding_ = PositionEncoding::Utf32;
    }
    state_ = State::Running;
    return {{"capabilities",
             {{"positionEncoding", EncodingName(encoding_)},
              {"textDocumentSync", {{"openClose", true}, {"change", kIncrementalSync}}},
              {"hoverProvider", true},
              {"definitionProvider", true},
              {"referencesProvider", true},
              {"inlayHintProvider", true},
              {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
              {"completionProvider", json::object()}}},
            {"serverInfo", {{"name", "wren-lsp"}, {"version", WREN_VERSION}}}};
}

void LanguageServer::Notification(const std::string& method, const json& params) {
    if (method == "exit") {
        exitStatus_ = state_ == State::ShutDown ? 0 : 1;
        return;
    }
    if (state_ != State::Running)
        return;
    if (method == "textDocument/didOpen") {
        const json& item = params.at("textDocument");
        const std::string uri = item.at("uri").get<std::string>();
        documents_.insert_or_assign(uri, TextDocument(item.at("text").get<std::string>(),
                                                      item.value("version", 0), encoding_));
        moved_[uri].Reset(documents_.at(uri));
        Publish(uri);
    } else if (method == "textDocument/didChange") {
        const std::string uri = params.at("textDocument").at("uri").get<std::string>();
        auto found = documents_.find(uri);
        if (found == documents_.end())
            return;
        TextDocument& doc = found->second;
        // The lines edited, in the new text's lines (1-based).
        int first = 1 << 30, last = 0;
        for (const json& change : params.at("contentChanges")) {
            const std::string text = change.at("text").get<std::string>();
            if (change.contains("range")) {
                const json& range = change.at("range");
                const Position begin = PositionOf(range.at("start"));
                doc.Edit(begin, PositionOf(range.at("end")), text);
                first = std::min(first, begin.line + 1);
                last = std::max(last,
                                begin.line + 1 +
                                    static_cast<int>(std::count(text.begin(), text.end(), '\n')));
            } else {
                doc.Replace(text);
                first = 1;
                last = doc.LineCount();
            }
        }
        doc.SetVersion(params.at("textDocument").value("version", doc.Version()));
        moved_[uri].Update(doc, first, last);
        Publish(uri);
    } else if (method == "textDocument/didClose") {
        const std::string uri = params.at("textDocument").at("uri").get<std::string>();
        moved_.erase(uri);
        if (documents_.erase(uri) > 0)
            channel_.Write({{"jsonrpc", "2.0"},
                            {"method", "textDocument/publishDiagnostics"},
                            {"params", {{"uri", uri}, {"diagnostics", json::array()}}}});
    }
}

void LanguageServer::Publish(const std::string& uri) {
    const TextDocument& doc = documents_.at(uri);
    json params = Diagnostics({uri, doc});
    for (json& mark : moved_.at(uri).Diagnostics(doc))
        params["diagnostics"].push_back(std::move(mark));
    channel_.Write({{"jsonrpc", "2.0"},
                    {"method", "textDocument/publishDiagnostics"},
                    {"params", std::move(params)}});
}

const TextDocument* LanguageServer::Document(const json& params) const {
    const auto found = documents_.find(params.at("textDocument").at("uri").get<std::string>());
    return found == documents_.end() ? nullptr : &found->second;
}

} // namespace wren::lsp

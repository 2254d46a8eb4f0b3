#pragma once

#include "message_channel.h"
#include "moved_records.h"
#include "text_document.h"

#include <map>
#include <optional>
#include <string>

namespace wren::lsp {

/// The Language Server Protocol for Wren programs: diagnostics from the
/// checker, addresses as inlay hints, hovers, definitions, references,
/// quick fixes and completion. One thread; documents live in memory.
class LanguageServer {
public:
    explicit LanguageServer(rpc::MessageChannel& channel) : channel_(channel) {}

    /// Answers messages until exit or the end of input; returns the exit
    /// status: 0 after shutdown, 1 otherwise.
    int Serve();

    /// Answers one message; the exit status once it was the exit notification.
    /// Never throws.
    std::optional<int> Handle(const rpc::Incoming& incoming);

private:
    enum class State { Starting, Running, ShutDown };

    void HandleMessage(const nlohmann::json& message);
    nlohmann::json Request(const std::string& method, const nlohmann::json& params);
    void Notification(const std::string& method, const nlohmann::json& params);
    nlohmann::json Initialize(const nlohmann::json& params);
    void Publish(const std::string& uri);
    /// The open document params names; nullptr when it is not open.
    const TextDocument* Document(const nlohmann::json& params) const;
    void SendError(const nlohmann::json& id, int code, const std::string& message);

    rpc::MessageChannel& channel_;
    State state_ = State::Starting;
    std::optional<int> exitStatus_;
    PositionEncoding encoding_ = PositionEncoding::Utf16;
    std::map<std::string, TextDocument> documents_;
    std::map<std::string, MovedRecords> moved_;
};

} // namespace wren::lsp

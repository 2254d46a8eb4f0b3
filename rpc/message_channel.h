#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace wren::rpc {

/// What one read from a channel gave.
struct Incoming {
    enum class Kind {
        Message,   ///< a JSON value arrived
        Malformed, ///< bytes arrived that are no message; error says why
        Closed,    ///< nothing more will arrive
    };
    Kind kind = Kind::Closed;
    nlohmann::json message;
    std::string error;
};

/// Where a server reads its messages and writes its answers: the base
/// protocol over standard input and output, or a queue in tests.
class MessageChannel {
public:
    virtual ~MessageChannel() = default;
    /// Blocks until the next message, a malformed one, or the end.
    virtual Incoming Read() = 0;
    /// Sends one message; safe to call from several threads.
    virtual void Write(const nlohmann::json& message) = 0;
};

/// The text of a message as sent: compact, and never throwing on a string
/// that is not valid UTF-8 (such bytes become U+FFFD).
std::string Serialize(const nlohmann::json& message);

} // namespace wren::rpc

#pragma once

#include "message_channel.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace wren::rpc {

/// The base protocol of the Language Server and Debug Adapter protocols,
/// read as bytes arrive: each message is a block of "Name: value" header
/// lines ended by an empty line, then a JSON body of exactly Content-Length
/// bytes. Whoever holds the bytes (a stream, a JavaScript host) feeds them in.
class FrameReader {
public:
    /// Bodies longer than this are skipped unread, so memory stays bounded.
    static constexpr std::size_t kMaxBodyBytes = std::size_t{64} << 20;
    /// Header lines are cut to this length.
    static constexpr std::size_t kMaxHeaderBytes = 4096;

    /// Bytes that arrived, in order.
    void Feed(std::string_view bytes);
    /// No more bytes will arrive.
    void End() { ended_ = true; }
    /// The next message, a malformed one, or Closed once the input ended;
    /// nothing while more bytes are needed.
    std::optional<Incoming> Next();

private:
    enum class State { Header, Body, Skip };

    /// One header line without its line end; nothing until it is complete.
    std::optional<std::string> TakeLine();
    std::optional<Incoming> EndOfHeader();
    std::size_t Available() const { return buffer_.size() - at_; }

    std::string buffer_;
    std::size_t at_ = 0; // bytes of buffer_ already consumed
    bool ended_ = false;
    State state_ = State::Header;
    bool inHeader_ = false;
    std::optional<std::size_t> length_;
    std::string problem_;
    std::size_t toSkip_ = 0;
};

/// One message as sent: the header, then the compact JSON body.
std::string Frame(const nlohmann::json& message);

} // namespace wren::rpc

#pragma once

#include "message_channel.h"

#include <cstddef>
#include <istream>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

namespace wren::rpc {

/// The base protocol of the Language Server and Debug Adapter protocols:
/// each message is a block of "Name: value" header lines ended by an empty
/// line, then a JSON body of exactly Content-Length bytes.
class StreamChannel : public MessageChannel {
public:
    /// Bodies longer than this are skipped unread, so memory stays bounded.
    static constexpr std::size_t kMaxBodyBytes = std::size_t{64} << 20;
    /// Header lines are cut to this length.
    static constexpr std::size_t kMaxHeaderBytes = 4096;

    StreamChannel(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

    Incoming Read() override;
    void Write(const nlohmann::json& message) override;

private:
    /// One header line without its line end; nothing at the end of input.
    std::optional<std::string> ReadLine();

    std::istream& in_;
    std::ostream& out_;
    std::mutex writing_;
};

} // namespace wren::rpc

#pragma once

#include "frame_reader.h"
#include "message_channel.h"

#include <istream>
#include <mutex>
#include <ostream>
#include <string>

namespace wren::rpc {

/// The base protocol over a pair of streams, such as standard input and
/// output.
class StreamChannel : public MessageChannel {
public:
    static constexpr std::size_t kMaxBodyBytes = FrameReader::kMaxBodyBytes;
    static constexpr std::size_t kMaxHeaderBytes = FrameReader::kMaxHeaderBytes;

    StreamChannel(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

    Incoming Read() override;
    void Write(const nlohmann::json& message) override;

private:
    std::istream& in_;
    std::ostream& out_;
    FrameReader reader_;
    std::string chunk_;
    std::mutex writing_;
};

} // namespace wren::rpc

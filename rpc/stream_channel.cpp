#include "stream_channel.h"

#include <algorithm>

namespace wren::rpc {

namespace {
constexpr std::streamsize kChunkBytes = 64 * 1024;
} // namespace

Incoming StreamChannel::Read() {
    std::streambuf* buffer = in_.rdbuf();
    for (;;) {
        if (std::optional<Incoming> next = reader_.Next())
            return std::move(*next);
        // Wait for one byte, then take what is already buffered with it:
        // a pipe's reader must not ask for more than has arrived.
        if (buffer->sgetc() == std::char_traits<char>::eof()) {
            in_.setstate(std::ios::eofbit);
            reader_.End();
            continue;
        }
        const std::streamsize n = std::clamp<std::streamsize>(buffer->in_avail(), 1, kChunkBytes);
        chunk_.resize(static_cast<std::size_t>(n));
        chunk_.resize(static_cast<std::size_t>(buffer->sgetn(chunk_.data(), n)));
        reader_.Feed(chunk_);
    }
}

void StreamChannel::Write(const nlohmann::json& message) {
    const std::string framed = Frame(message);
    std::lock_guard lock(writing_);
    out_ << framed;
    out_.flush();
}

} // namespace wren::rpc

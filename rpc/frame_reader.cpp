#include "frame_reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace wren::rpc {

namespace {

constexpr std::string_view kLengthHeader = "content-length:";

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last + 1 - first);
}

Incoming Malformed(std::string why) { return {Incoming::Kind::Malformed, nullptr, std::move(why)}; }

} // namespace

std::string Serialize(const nlohmann::json& message) {
    return message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Frame(const nlohmann::json& message) {
    const std::string body = Serialize(message);
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

void FrameReader::Feed(std::string_view bytes) {
    // Consumed bytes go once they are half the buffer: appends stay cheap.
    if (at_ > 0 && at_ >= buffer_.size() / 2) {
        buffer_.erase(0, at_);
        at_ = 0;
    }
    buffer_.append(bytes);
}

std::optional<std::string> FrameReader::TakeLine() {
    const std::size_t end = buffer_.find('\n', at_);
    if (end == std::string::npos) {
        // Keep the tail of an endless line: a header that follows junk on
        // the same line (the body of a message that had no length) is still
        // found.
        if (Available() > 2 * kMaxHeaderBytes)
            at_ = buffer_.size() - kMaxHeaderBytes;
        return std::nullopt;
    }
    std::size_t from = at_;
    if (end - from > 2 * kMaxHeaderBytes)
        from = end - kMaxHeaderBytes;
    std::string line = buffer_.substr(from, end - from);
    at_ = end + 1;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::optional<Incoming> FrameReader::Next() {
    for (;;) {
        switch (state_) {
        case State::Skip: {
            const std::size_t n = std::min(toSkip_, Available());
            at_ += n;
            toSkip_ -= n;
            if (toSkip_ > 0)
                return ended_ ? std::optional(Incoming{}) : std::nullopt;
            state_ = State::Header;
            break;
        }
        case State::Body: {
            if (Available() < *length_)
                return ended_ ? std::optional(Incoming{}) : std::nullopt;
            const std::string_view body(buffer_.data() + at_, *length_);
            at_ += *length_;
            state_ = State::Header;
            length_.reset();
            try {
                return Incoming{Incoming::Kind::Message, nlohmann::json::parse(body), {}};
            } catch (const nlohmann::json::parse_error& error) {
                return Malformed(std::string("the body is not JSON: ") + error.what());
            }
        }
        case State::Header: {
            std::optional<std::string> line = TakeLine();
            if (!line)
                return ended_ ? std::optional(Incoming{}) : std::nullopt;
            if (line->empty()) {
                if (!inHeader_)
                    break; // blank lines between messages
                if (auto report = EndOfHeader())
                    return report;
                break;
            }
            inHeader_ = true;
            const std::string lower = Lower(*line);
            const std::size_t at = lower.find(kLengthHeader);
            // Other headers are allowed and ignored. Bytes before the header
            // on its line are the unframed body of a message already reported
            // as malformed: reading on from the header finds the next message.
            if (at == std::string::npos)
                break;
            const std::string_view value =
                Trim(std::string_view(*line).substr(at + kLengthHeader.size()));
            std::size_t parsed = 0;
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), parsed);
            if (ec != std::errc() || end != value.data() + value.size() || value.empty()) {
                length_.reset();
                problem_ =
                    "Content-Length '" + std::string(value.substr(0, 40)) + "' is not a byte count";
            } else {
                length_ = parsed;
            }
            break;
        }
        }
    }
}

// The blank line after a header: what it announced decides what follows.
std::optional<Incoming> FrameReader::EndOfHeader() {
    inHeader_ = false;
    const std::string problem = std::exchange(problem_, {});
    if (!length_)
        return Malformed(problem.empty() ? "the header has no Content-Length" : problem);
    if (*length_ > kMaxBodyBytes) {
        toSkip_ = *length_;
        state_ = State::Skip;
        return Malformed("a message of " + std::to_string(std::exchange(length_, {}).value()) +
                         " bytes is over the limit of " + std::to_string(kMaxBodyBytes));
    }
    state_ = State::Body;
    return std::nullopt;
}

} // namespace wren::rpc

#include "stream_channel.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>

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

std::optional<std::string> StreamChannel::ReadLine() {
    std::string line;
    std::streambuf* buffer = in_.rdbuf();
    for (;;) {
        const int c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in_.setstate(std::ios::eofbit);
            if (line.empty())
                return std::nullopt;
            break;
        }
        if (c == '\n')
            break;
        line.push_back(static_cast<char>(c));
        // Keep the tail: a header that follows junk on the same line (the
        // body of a message that had no length) is still found.
        if (line.size() > 2 * kMaxHeaderBytes)
            line.erase(0, line.size() - kMaxHeaderBytes);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

Incoming StreamChannel::Read() {
    // No std::optional here: GCC 12 warns falsely about it when optimising.
    constexpr std::size_t kNoLength = static_cast<std::size_t>(-1);
    std::size_t length = kNoLength;
    std::string problem;
    bool inHeader = false;
    for (;;) {
        std::optional<std::string> line = ReadLine();
        if (!line)
            return {Incoming::Kind::Closed, nullptr, {}};
        if (line->empty()) {
            if (!inHeader)
                continue; // blank lines between messages
            break;
        }
        inHeader = true;
        const std::string lower = Lower(*line);
        const std::size_t at = lower.find(kLengthHeader);
        // Other headers are allowed and ignored. Bytes before the header on
        // its line are the unframed body of a message already reported as
        // malformed: reading on from the header finds the next message.
        if (at == std::string::npos)
            continue;
        const std::string_view value =
            Trim(std::string_view(*line).substr(at + kLengthHeader.size()));
        std::size_t parsed = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), parsed);
        if (ec != std::errc() || end != value.data() + value.size() || value.empty()) {
            length = kNoLength;
            problem =
                "Content-Length '" + std::string(value.substr(0, 40)) + "' is not a byte count";
        } else {
            length = parsed;
        }
    }

    if (length == kNoLength)
        return Malformed(problem.empty() ? "the header has no Content-Length" : problem);
    if (length > kMaxBodyBytes) {
        in_.ignore(static_cast<std::streamsize>(length));
        return Malformed("a message of " + std::to_string(length) + " bytes is over the limit of " +
                         std::to_string(kMaxBodyBytes));
    }
    std::string body(length, '\0');
    in_.read(body.data(), static_cast<std::streamsize>(body.size()));
    if (static_cast<std::size_t>(in_.gcount()) != body.size())
        return {Incoming::Kind::Closed, nullptr, {}};
    try {
        return {Incoming::Kind::Message, nlohmann::json::parse(body), {}};
    } catch (const nlohmann::json::parse_error& error) {
        return Malformed(std::string("the body is not JSON: ") + error.what());
    }
}

void StreamChannel::Write(const nlohmann::json& message) {
    const std::string body = Serialize(message);
    std::lock_guard lock(writing_);
    out_ << "Content-Length: " << body.size() << "\r\n\r\n" << body;
    out_.flush();
}

} // namespace wren::rpc

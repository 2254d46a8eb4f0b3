#include "stream_channel.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace wren::rpc {
namespace {

// Hands out its bytes a few at a time, as a pipe does.
class TrickleBuffer : public std::streambuf {
public:
    TrickleBuffer(std::string data, std::size_t step) : data_(std::move(data)), step_(step) {}

protected:
    int_type underflow() override {
        if (at_ >= data_.size())
            return traits_type::eof();
        const std::size_t n = std::min(step_, data_.size() - at_);
        setg(data_.data() + at_, data_.data() + at_, data_.data() + at_ + n);
        at_ += n;
        return traits_type::to_int_type(*gptr());
    }

private:
    std::string data_;
    std::size_t step_;
    std::size_t at_ = 0;
};

std::string Frame(const std::string& body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// What each Read gives until the end: the compact message, or "!why" (up to
// the first ": ", after which the JSON parser's own words follow).
std::vector<std::string> ReadAll(const std::string& input, std::size_t step) {
    TrickleBuffer buffer(input, step);
    std::istream in(&buffer);
    std::ostringstream out;
    StreamChannel channel(in, out);
    std::vector<std::string> got;
    for (int guard = 0; guard < 20; ++guard) {
        const Incoming next = channel.Read();
        if (next.kind == Incoming::Kind::Closed)
            return got;
        got.push_back(next.kind == Incoming::Kind::Message
                          ? next.message.dump()
                          : "!" + next.error.substr(0, next.error.find(": ")));
    }
    ADD_FAILURE() << "no end";
    return got;
}

TEST(StreamChannel, ReadsMessagesWhateverTheReadSizes) {
    const std::string two = Frame(R"({"id":1})") + Frame(R"({"id":2})");
    for (std::size_t step : {1, 3, 7, 4096})
        EXPECT_EQ(ReadAll(two, step), (std::vector<std::string>{R"({"id":1})", R"({"id":2})"}))
            << "step " << step;
}

TEST(StreamChannel, LengthCountsBytesOfNonAsciiBodies) {
    const std::string body = "{\"t\":\"é😀\"}"; // 2 + 4 bytes beyond the ASCII
    EXPECT_EQ(ReadAll(Frame(body) + Frame("{}"), 2), (std::vector<std::string>{body, "{}"}));
}

struct HeaderCase {
    const char* name;
    std::string input;
    std::vector<std::string> reads;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

class StreamChannelHeaders : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(StreamChannelHeaders, ReportThenReadOn) {
    EXPECT_EQ(ReadAll(GetParam().input, 5), GetParam().reads);
}

const std::string kNext = Frame(R"({"id":9})");

const HeaderCase kHeaderCases[] = {
    {"other_headers_and_any_case",
     "content-length: 2\r\nContent-Type: application/vscode-jsonrpc; charset=utf-8\r\n\r\n{}",
     {"{}"}},
    {"bare_line_feeds", "Content-Length: 2\n\n{}", {"{}"}},
    {"missing_length_then_next_message",
     "Content-Type: x\r\n\r\n{\"id\":1}" + kNext,
     {"!the header has no Content-Length", R"({"id":9})"}},
    {"length_not_a_number",
     "Content-Length: 12a\r\n\r\n" + kNext,
     {"!Content-Length '12a' is not a byte count", R"({"id":9})"}},
    {"negative_length",
     "Content-Length: -5\r\n\r\n" + kNext,
     {"!Content-Length '-5' is not a byte count", R"({"id":9})"}},
    {"body_not_json", Frame("{nope}") + kNext, {"!the body is not JSON", R"({"id":9})"}},
    {"invalid_utf8_body", Frame("[\"\xff\"]") + kNext, {"!the body is not JSON", R"({"id":9})"}},
    {"body_cut_short", "Content-Length: 50\r\n\r\n{}", {}},
    {"over_the_limit_skipped",
     "Content-Length: 99999999999\r\n\r\n",
     {"!a message of 99999999999 bytes is over the limit of 67108864"}},
    {"blank_lines_between_messages", "\r\n\r\n" + kNext, {R"({"id":9})"}},
    {"blank_after_the_length", "Content-Length: 2 \r\n\r\n{}", {"{}"}},
};
INSTANTIATE_TEST_SUITE_P(Headers, StreamChannelHeaders, ::testing::ValuesIn(kHeaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

// At the limit a body is read; one byte over, it is skipped whole, even
// when it holds what looks like the next message.
TEST(StreamChannel, BodiesUpToTheLimitAreReadAndLongerOnesSkippedWhole) {
    const std::size_t limit = StreamChannel::kMaxBodyBytes;
    std::string atLimit(limit, ' ');
    atLimit.replace(0, 3, "[1]");
    std::string over(limit + 1, ' ');
    const std::string inside = "\r\n\r\nContent-Length: 2\r\n\r\n{}";
    over.replace(100, inside.size(), inside);
    const auto got = ReadAll(Frame(atLimit) + Frame(over) + kNext, 65536);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], "[1]");
    EXPECT_EQ(got[1], "!a message of 67108865 bytes is over the limit of 67108864");
    EXPECT_EQ(got[2], R"({"id":9})");
}

// The same bytes give the same messages wherever the feeds split them, and
// the end of input in the middle of a message ends the reading.
TEST(FrameReader, SplitsAnywhereAndEndsMidMessage) {
    const std::string input = Frame(R"({"id":1})") + "Content-Type: x\r\n\r\n" + Frame("[2]");
    for (std::size_t cut = 0; cut <= input.size(); ++cut) {
        FrameReader reader;
        std::vector<std::string> got;
        auto drain = [&] {
            while (auto next = reader.Next()) {
                if (next->kind == Incoming::Kind::Closed)
                    return;
                got.push_back(next->kind == Incoming::Kind::Message ? next->message.dump()
                                                                    : "!" + next->error);
            }
        };
        reader.Feed(std::string_view(input).substr(0, cut));
        drain();
        reader.Feed(std::string_view(input).substr(cut));
        reader.Feed("Content-Length: 9\r\n\r\n{");
        reader.End();
        drain();
        EXPECT_EQ(got, (std::vector<std::string>{R"({"id":1})", "!the header has no Content-Length",
                                                 "[2]"}))
            << "cut at " << cut;
        EXPECT_EQ(reader.Next()->kind, Incoming::Kind::Closed);
    }
}

TEST(StreamChannel, WritesFramedCompactUtf8AndReplacesInvalidBytes) {
    std::istringstream in;
    std::ostringstream out;
    StreamChannel channel(in, out);
    channel.Write({{"a", "é"}});
    channel.Write({{"b", "\xff"}});
    EXPECT_EQ(out.str(), "Content-Length: 10\r\n\r\n{\"a\":\"é\"}"
                         "Content-Length: 11\r\n\r\n{\"b\":\"\xEF\xBF\xBD\"}");
}

} // namespace
} // namespace wren::rpc

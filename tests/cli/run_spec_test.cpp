#include "run_spec.h"

#include <gtest/gtest.h>

#include <string>

namespace wren::cli {
namespace {

struct ArgCase {
    const char* name;
    std::optional<std::string> (*add)(RunSpec&, std::string_view);
    const char* arg;
    const char* error; // part of the message; nullptr when the argument is good
};

void PrintTo(const ArgCase& c, std::ostream* os) { *os << c.name; }

class RunSpecArgTest : public ::testing::TestWithParam<ArgCase> {};

TEST_P(RunSpecArgTest, AcceptsOrNamesTheBadArgument) {
    const ArgCase& c = GetParam();
    RunSpec spec;
    const auto error = c.add(spec, c.arg);
    if (c.error == nullptr) {
        EXPECT_FALSE(error) << *error;
    } else {
        ASSERT_TRUE(error);
        EXPECT_NE(error->find(c.arg), std::string::npos) << *error;
        EXPECT_NE(error->find(c.error), std::string::npos) << *error;
    }
}

const ArgCase kCases[] = {
    {"set_decimal", AddSet, "100=7", nullptr},
    {"set_hex_like_an_operand", AddSet, "65535=&HFF", nullptr},
    {"set_negative", AddSet, "0=-2147483648", nullptr},
    {"set_address_past_memory", AddSet, "65536=1", "address"},
    {"set_negative_address", AddSet, "-1=1", "address"},
    {"set_no_equals", AddSet, "100", "ADDR=VALUE"},
    {"set_value_with_text", AddSet, "100=5x", "value"},
    {"set_empty_value", AddSet, "100=", "value"},
    {"set_value_too_wide", AddSet, "100=2147483648", "value"},
    {"dump_one_word", AddDump, "7:7", nullptr},
    {"dump_reversed", AddDump, "9:3", "FROM is greater"},
    {"dump_past_memory", AddDump, "0:65536", "addresses from 0 to 65535"},
    {"dump_one_address", AddDump, "65535", nullptr},
    {"dump_one_address_past_memory", AddDump, "65536", "ADDR or FROM:TO"},
    {"break_last_address", AddBreak, "65535", nullptr},
    {"break_hex_is_not_an_address", AddBreak, "&H10", "address"},
};
INSTANTIATE_TEST_SUITE_P(Arguments, RunSpecArgTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TraceCommand, RepeatsEveryOptionAndQuotesTheFile) {
    RunSpec spec;
    spec.limits.steps = 500;
    ASSERT_FALSE(AddSet(spec, "100=&H10"));
    ASSERT_FALSE(AddBreak(spec, "40"));
    ASSERT_FALSE(AddDump(spec, "102:103"));
    EXPECT_EQ(TraceCommand(spec, "it's here.ram"),
              "wren-trace --steps 500 --set 100=16 --break 40 --dump 102:103 'it'\\''s here.ram'");
    EXPECT_EQ(TraceCommand(RunSpec{}, "-x.ram"), "wren-trace --steps 10000 -- -x.ram");
}

} // namespace
} // namespace wren::cli

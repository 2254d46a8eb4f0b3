#include "operand_parser.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace wren {
namespace {

struct OperandCase {
    const char* text;
    std::optional<std::int32_t> value; // nothing: out of the 32-bit range
};

void PrintTo(const OperandCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class OperandTest : public ::testing::TestWithParam<OperandCase> {};

TEST_P(OperandTest, ReadsTheLeadingNumber) {
    EXPECT_EQ(ParseOperand(GetParam().text), GetParam().value);
}

const OperandCase kDecimal[] = {
    {"5", 5},
    {"-5", -5},
    {"+5", 5},
    {"1 000", 1000},
    {" \t7\n", 7},
    {"5 6", 56},
    {"12xyz", 12},
    {"xyz", 0},
    {"", 0},
    {"-", 0},
    {".", 0},
    {"5 {five}", 5},
    {"2.5", 2},
    {"3.5", 4},
    {"-2.5", -2},
    {"7.49", 7},
    {"0.5", 0},
    {"1.5", 2},
    {".5", 0},
    {"5.", 5},
    {"-0.4", 0},
    {"1.2.3", 1},
    {"1,5", 1},
    {"1e3", 1000},
    {"1E3", 1000},
    {"2.5E1", 25},
    {"1E", 1},
    {"1E+", 1},
    {"4E-1", 0},
    {"1D3", 1},
    {"1e-400", 0},
    {"0e999999", 0},
    {"2147483647", 2147483647},
    {"-2147483648", -2147483648},
    {"2147483647.4", 2147483647},
    {"-2147483648.5", -2147483648},
    {"2147483647.5", std::nullopt},
    {"2147483648", std::nullopt},
    {"-2147483649", std::nullopt},
    {"1e10", std::nullopt},
    {"1e400", std::nullopt},
    {"-1e400", std::nullopt},
    {"0.000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
     "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
     "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
     "00000000000000000000000000000000000000000000000000000000000000000000000000000000000001",
     0},
    {"inf", 0},
    {"nan", 0},
    {"0x10", 0},
};
INSTANTIATE_TEST_SUITE_P(Decimal, OperandTest, ::testing::ValuesIn(kDecimal));

const OperandCase kRadix[] = {
    {"&H1F", 31},
    {"&h1f", 31},
    {"& H 1F", 31},
    {"&O17", 15},
    {"&o17", 15},
    {"&O19", 1},
    {"&HFFFFFFFF", -1},
    {"&O37777777777", -1},
    {"&H80000000", -2147483647 - 1},
    {"&H7FFFFFFF", 2147483647},
    {"&H0000000001", 1},
    {"&H100000000", std::nullopt},
    {"&O40000000000", std::nullopt},
    {"&H", 0},
    {"&Hxyz", 0},
    {"&H-5", 0},
    {"&", 0},
    {"&B101", 0},
};
INSTANTIATE_TEST_SUITE_P(Radix, OperandTest, ::testing::ValuesIn(kRadix));

TEST(OperandBeyondDoublePrecision, TellsOverflowFromUnderflow) {
    const std::string zeros(400, '0');
    EXPECT_EQ(ParseOperand("1" + zeros + "E-5"), std::nullopt);
    EXPECT_EQ(ParseOperand("0." + zeros + "1E5"), 0);
    EXPECT_EQ(ParseOperand("1" + zeros + "E-400"), 1);
    EXPECT_EQ(ParseOperand("12345678901234567890123E-22"), 1);
}

} // namespace
} // namespace wren

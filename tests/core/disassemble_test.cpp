#include "wren.h"
#include "wren_test_peer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wren {
namespace {

struct DisassembleCase {
    const char* name;
    std::int32_t location;
    std::int32_t opcode;
    std::int32_t operand;
    const char* line;
};

void PrintTo(const DisassembleCase& c, std::ostream* os) { *os << c.name; }

class DisassembleTest : public ::testing::TestWithParam<DisassembleCase> {};

TEST_P(DisassembleTest, RendersOneListingLine) {
    const DisassembleCase& c = GetParam();
    Wren cpu;
    if (c.location >= 0 && c.location < Wren::kMemoryWords)
        WrenTestPeer::Word(cpu, c.location) = c.opcode;
    if (c.location + 1 >= 0 && c.location + 1 < Wren::kMemoryWords)
        WrenTestPeer::Word(cpu, c.location + 1) = c.operand;
    EXPECT_EQ(cpu.Disassemble(c.location), c.line);
}

const DisassembleCase kCases[] = {
    {"ADDm", 2, 1, 40, "2   ADDm 40"},
    {"ADDi", 4, 2, -3, "4   ADDi -3"},
    {"ADDpc_hides_operand", 10, 4, 77, "10   ADDpc "},
    {"BVS", 6, 8, 0, "6   BVS 0"},
    {"LDAm", 8, 16, 65535, "8   LDAm 65535"},
    {"LDAi", 0, 32, 5, "0   LDAi 5"},
    {"LDApc_hides_operand", 12, 64, 9, "12   LDApc "},
    {"STAm", 14, 128, 20, "14   STAm 20"},
    {"STApc_shows_operand", 16, 256, 3, "16   STApc 3"},
    {"zero_word", 100, 0, 0, "100   ??? "},
    {"sum_of_opcodes", 3, 3, 1, "3   ??? "},
    {"twelve", 5, 12, 1, "5   ??? "},
    {"negative_word", 7, -32, 1, "7   ??? "},
    {"above_256", 9, 512, 1, "9   ??? "},
    {"extreme_operands", 20, 32, -2147483647 - 1, "20   LDAi -2147483648"},
    {"operand_from_last_word", 65534, 32, 2147483647, "65534   LDAi 2147483647"},
    {"last_word_has_no_operand", 65535, 32, 0, "65535   LDAi "},
    {"last_word_ADDpc", 65535, 4, 0, "65535   ADDpc "},
    {"negative_location", -2, 0, 0, "-2   ??? "},
    {"location_past_memory", 65536, 0, 0, "65536   ??? "},
    {"lowest_location", -2147483647 - 1, 0, 0, "-2147483648   ??? "},
};
INSTANTIATE_TEST_SUITE_P(Lines, DisassembleTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Disassemble, OddLocationReadsOperandAsOpcode) {
    Wren cpu;
    const std::int32_t words[] = {32, 16, 128, 2};
    for (std::int32_t i = 0; i < 4; ++i)
        WrenTestPeer::Word(cpu, i) = words[i];
    EXPECT_EQ(cpu.Disassemble(1), "1   LDAm 128");
    EXPECT_EQ(cpu.Disassemble(3), "3   ADDi 0");
}

TEST(Disassemble, ChangesNothing) {
    Wren cpu;
    WrenTestPeer::Word(cpu, 0) = 128;
    WrenTestPeer::Word(cpu, 1) = 5;
    WrenTestPeer::SetRegisters(cpu, 7, 0, true, 3);
    for (std::int32_t location : {-1, 0, 1, 65535, 65536})
        EXPECT_EQ(cpu.Disassemble(location).find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(cpu.Accumulator(), 7);
    EXPECT_EQ(cpu.PCounter(), 0);
    EXPECT_TRUE(cpu.Overflow());
    EXPECT_EQ(cpu.Cycles(), 3);
    EXPECT_EQ(WrenTestPeer::Word(cpu, 5), 0);
    cpu.Step();
    EXPECT_EQ(WrenTestPeer::Word(cpu, 5), 7);
}

} // namespace
} // namespace wren

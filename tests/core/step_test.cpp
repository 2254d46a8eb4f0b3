#include "step_description.h"
#include "wren.h"
#include "wren_test_peer.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

namespace wren {
namespace {

using Words = std::vector<std::pair<std::int32_t, std::int32_t>>;

struct Registers {
    std::int32_t a = 0;
    std::int32_t pc = 0;
    bool v = false;
    std::int32_t cycles = 0;
};

enum class Fault { None, Index, Arithmetic };

struct StepCase {
    const char* name;
    Words memory; // words set before the step
    Registers before;
    Registers after;
    Fault fault = Fault::None;
    Words memoryAfter{}; // words checked after the step
};

void PrintTo(const StepCase& c, std::ostream* os) { *os << c.name; }

class StepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(StepTest, LeavesTheStateTheInstructionDefines) {
    const StepCase& c = GetParam();
    Wren cpu;
    for (auto [address, value] : c.memory)
        WrenTestPeer::Word(cpu, address) = value;
    WrenTestPeer::SetRegisters(cpu, c.before.a, c.before.pc, c.before.v, c.before.cycles);

    switch (c.fault) {
    case Fault::None: EXPECT_NO_THROW(cpu.Step()); break;
    case Fault::Index: EXPECT_THROW(cpu.Step(), IndexOutOfRange); break;
    case Fault::Arithmetic: EXPECT_THROW(cpu.Step(), ArithmeticOverflow); break;
    }

    EXPECT_EQ(cpu.Accumulator(), c.after.a);
    EXPECT_EQ(cpu.PCounter(), c.after.pc);
    EXPECT_EQ(cpu.Overflow(), c.after.v);
    EXPECT_EQ(cpu.Cycles(), c.after.cycles);
    for (auto [address, value] : c.memoryAfter)
        EXPECT_EQ(WrenTestPeer::Word(cpu, address), value) << "word " << address;
}

// The description foretells the step exactly: its writes, put on the state
// before, give the state after, a fault is the one Step raises, and
// describing changes nothing.
TEST_P(StepTest, DescriptionForetellsTheStep) {
    const StepCase& c = GetParam();
    Wren cpu;
    for (auto [address, value] : c.memory)
        WrenTestPeer::Word(cpu, address) = value;
    WrenTestPeer::SetRegisters(cpu, c.before.a, c.before.pc, c.before.v, c.before.cycles);
    const std::vector<std::int32_t> wordsBefore(cpu.Words(), cpu.Words() + Wren::kMemoryWords);

    const StepDescription d = DescribeStep(cpu);
    EXPECT_EQ(std::vector(cpu.Words(), cpu.Words() + Wren::kMemoryWords), wordsBefore);
    EXPECT_EQ(cpu.GetRegisters(),
              (wren::Registers{c.before.a, c.before.pc, c.before.v, c.before.cycles}));

    std::string fault;
    try {
        cpu.Step();
    } catch (const MachineError& error) {
        fault = error.what();
    }
    EXPECT_EQ(d.fault, fault);
    EXPECT_EQ(d.outcome == StepOutcome::Fault, !fault.empty());
    wren::Registers foretold{c.before.a, c.before.pc, c.before.v, c.before.cycles};
    std::vector<std::int32_t> words = wordsBefore;
    for (const StepWrite& w : d.writes) {
        switch (w.place) {
        case Place::A:
            EXPECT_EQ(w.before, foretold.accumulator);
            foretold.accumulator = w.after;
            break;
        case Place::PC:
            EXPECT_EQ(w.before, foretold.pcounter);
            foretold.pcounter = w.after;
            break;
        case Place::V:
            EXPECT_EQ(w.before, foretold.overflow);
            foretold.overflow = w.after != 0;
            break;
        case Place::Cycles:
            EXPECT_EQ(w.before, foretold.cycles);
            foretold.cycles = w.after;
            break;
        case Place::Memory:
            EXPECT_EQ(w.before, words[static_cast<std::size_t>(w.address)]);
            words[static_cast<std::size_t>(w.address)] = w.after;
            break;
        }
    }
    EXPECT_EQ(foretold, cpu.GetRegisters());
    EXPECT_EQ(words, std::vector(cpu.Words(), cpu.Words() + Wren::kMemoryWords));
    EXPECT_FALSE(d.text.empty());
}

constexpr std::int32_t kMax = INT32_MAX;
constexpr std::int32_t kMin = INT32_MIN;

// Opcodes: ADDm 1, ADDi 2, ADDpc 4, BVS 8, LDAm 16, LDAi 32, LDApc 64, STAm 128, STApc 256.
const StepCase kInstructionCases[] = {
    {"ADDi_carry_out_of_16_bits", {{0, 2}, {1, 1}}, {65535, 0, false, 0}, {0, 2, true, 3}},
    {"ADDi_zero_clears_V", {{0, 2}, {1, 0}}, {65535, 0, true, 0}, {65535, 2, false, 3}},
    {"ADDi_goes_negative", {{0, 2}, {1, -1}}, {0, 0, false, 0}, {-1, 2, false, 3}},
    {"ADDi_100000_reduces", {{0, 2}, {1, 0}}, {100000, 0, false, 0}, {34464, 2, true, 3}},
    {"ADDi_131071", {{0, 2}, {1, 131071}}, {0, 0, false, 0}, {65535, 2, true, 3}},
    {"ADDi_minus_65536", {{0, 2}, {1, -65536}}, {0, 0, true, 0}, {0, 2, false, 3}},
    {"ADDi_minus_100000_keeps_sign",
     {{0, 2}, {1, -100000}},
     {0, 0, false, 0},
     {-34464, 2, false, 3}},
    {"ADDm_reads_memory", {{0, 1}, {1, 50}, {50, 2}}, {3, 0, true, 7}, {5, 2, false, 11}},
    {"ADDpc_uses_advanced_pc", {{10, 4}, {11, 999}}, {5, 10, false, 0}, {17, 12, false, 3}},
    {"BVS_not_taken", {{0, 8}, {1, 40}}, {0, 0, false, 0}, {0, 2, false, 3}},
    {"BVS_taken_keeps_V", {{0, 8}, {1, 40}}, {0, 0, true, 0}, {0, 40, true, 3}},
    {"BVS_to_itself", {{6, 8}, {7, 6}}, {0, 6, true, 9}, {0, 6, true, 12}},
    {"BVS_to_negative_target", {{0, 8}, {1, -8}}, {0, 0, true, 0}, {0, -8, true, 3}},
    {"LDAm_loads_word", {{0, 16}, {1, 9}, {9, -77}}, {1, 0, true, 0}, {-77, 2, true, 3}},
    {"LDAi_does_not_reduce", {{0, 32}, {1, 100000}}, {0, 0, false, 0}, {100000, 2, false, 3}},
    {"LDApc_at_10", {{10, 64}, {11, 5}}, {0, 10, false, 0}, {12, 12, false, 3}},
    {"STAm_stores",
     {{0, 128}, {1, 20}},
     {10, 0, false, 0},
     {10, 2, false, 3},
     Fault::None,
     {{20, 10}}},
    {"STAm_into_own_opcode",
     {{0, 128}, {1, 0}},
     {32, 0, false, 0},
     {32, 2, false, 3},
     Fault::None,
     {{0, 32}}},
    {"STApc_jumps_ignoring_operand", {{0, 256}, {1, 99}}, {7, 0, false, 0}, {7, 7, false, 3}},
    {"STApc_to_negative", {{0, 256}}, {-2, 0, false, 0}, {-2, -2, false, 3}},
    {"odd_pc_executes", {{3, 32}, {4, 6}}, {0, 3, false, 0}, {6, 5, false, 3}},
    {"LDApc_at_last_address", {{65535, 64}}, {0, 65535, false, 0}, {65537, 65537, false, 3}},
    {"STApc_at_last_address", {{65535, 256}}, {4, 65535, false, 0}, {4, 4, false, 3}},
    {"LDAi_at_65534_reads_last_word",
     {{65534, 32}, {65535, 7}},
     {0, 65534, false, 0},
     {7, 65536, false, 3}},
    {"STAm_to_last_word",
     {{0, 128}, {1, 65535}},
     {6, 0, false, 0},
     {6, 2, false, 3},
     Fault::None,
     {{65535, 6}}},
    {"ADDm_from_word_0", {{0, 1}, {1, 0}}, {2, 0, false, 0}, {3, 2, false, 4}},
    {"ADDi_sum_exactly_max", {{0, 2}, {1, 1}}, {kMax - 1, 0, false, 0}, {65535, 2, true, 3}},
    {"ADDi_sum_exactly_min", {{0, 2}, {1, -1}}, {kMin + 1, 0, true, 0}, {0, 2, false, 3}},
    {"ADDi_cycles_reach_max", {{0, 2}, {1, 1}}, {0, 0, false, kMax - 3}, {1, 2, false, kMax}},
    {"opcode_0_is_no_instruction", {}, {4, 0, true, 5}, {4, 0, true, 5}},
    {"opcode_3_is_no_instruction", {{8, 3}, {9, 1}}, {4, 8, true, 5}, {4, 8, true, 5}},
    {"opcode_512_is_no_instruction", {{8, 512}}, {4, 8, false, 5}, {4, 8, false, 5}},
    {"opcode_minus_1_is_no_instruction", {{8, -1}}, {4, 8, false, 5}, {4, 8, false, 5}},
    {"no_instruction_at_last_address", {{65535, 3}}, {0, 65535, false, 0}, {0, 65535, false, 0}},
};
INSTANTIATE_TEST_SUITE_P(Instructions, StepTest, ::testing::ValuesIn(kInstructionCases),
                         [](const auto& info) { return std::string(info.param.name); });

const StepCase kFaultCases[] = {
    {"pc_negative", {}, {1, -2, true, 6}, {1, -2, true, 6}, Fault::Index},
    {"pc_past_memory", {}, {1, 65536, false, 6}, {1, 65536, false, 6}, Fault::Index},
    {"LDAi_at_last_address",
     {{65535, 32}},
     {1, 65535, false, 6},
     {1, 65535, false, 6},
     Fault::Index},
    {"BVS_at_last_address", {{65535, 8}}, {1, 65535, true, 6}, {1, 65535, true, 6}, Fault::Index},
    {"STAm_past_memory",
     {{0, 128}, {1, 65536}},
     {9, 0, true, 6},
     {9, 2, true, 6},
     Fault::Index,
     {{0, 128}, {1, 65536}}},
    {"STAm_negative", {{0, 128}, {1, -1}}, {9, 0, false, 6}, {9, 2, false, 6}, Fault::Index},
    {"LDAm_negative", {{0, 16}, {1, -1}}, {9, 0, false, 6}, {9, 2, false, 6}, Fault::Index},
    {"ADDm_past_memory", {{0, 1}, {1, 65536}}, {9, 0, true, 6}, {9, 2, true, 6}, Fault::Index},
    {"ADDi_sum_past_max",
     {{0, 2}, {1, 1}},
     {kMax, 0, true, 6},
     {kMax, 2, true, 6},
     Fault::Arithmetic},
    {"ADDi_sum_below_min",
     {{0, 2}, {1, -1}},
     {kMin, 0, false, 6},
     {kMin, 2, false, 6},
     Fault::Arithmetic},
    {"ADDpc_sum_past_max",
     {{4, 4}},
     {kMax - 3, 4, false, 0},
     {kMax - 3, 6, false, 0},
     Fault::Arithmetic},
    // A cycle-count overflow keeps what the instruction did before its cycle step.
    {"ADDm_cycles_set_V_keep_A",
     {{0, 1}, {1, 7}, {7, 70000}},
     {1, 0, false, kMax - 3},
     {1, 2, true, kMax - 3},
     Fault::Arithmetic},
    {"ADDi_cycles",
     {{0, 2}, {1, 1}},
     {0, 0, true, kMax - 2},
     {0, 2, false, kMax - 2},
     Fault::Arithmetic},
    {"BVS_cycles_after_branch",
     {{0, 8}, {1, 30}},
     {0, 0, true, kMax},
     {0, 30, true, kMax},
     Fault::Arithmetic},
    {"LDAi_cycles_after_load",
     {{0, 32}, {1, 5}},
     {0, 0, false, kMax - 1},
     {5, 2, false, kMax - 1},
     Fault::Arithmetic},
    {"LDApc_cycles_after_load",
     {{0, 64}},
     {0, 0, false, kMax - 1},
     {2, 2, false, kMax - 1},
     Fault::Arithmetic},
    {"STAm_cycles_after_store",
     {{0, 128}, {1, 40}},
     {3, 0, false, kMax},
     {3, 2, false, kMax},
     Fault::Arithmetic,
     {{40, 3}}},
    {"STApc_cycles_after_jump",
     {{0, 256}},
     {12, 0, false, kMax},
     {12, 12, false, kMax},
     Fault::Arithmetic},
};
INSTANTIATE_TEST_SUITE_P(Faults, StepTest, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct TextCase {
    const char* name;
    Words memory;
    Registers before;
    const char* instruction;
    const char* text;
    std::vector<StepRead> reads;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class StepTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(StepTextTest, SaysTheStepInRegisterTransferWords) {
    const TextCase& c = GetParam();
    Wren cpu;
    for (auto [address, value] : c.memory)
        WrenTestPeer::Word(cpu, address) = value;
    WrenTestPeer::SetRegisters(cpu, c.before.a, c.before.pc, c.before.v, c.before.cycles);
    const StepDescription d = DescribeStep(cpu);
    EXPECT_EQ(InstructionText(d), c.instruction);
    EXPECT_EQ(d.text, c.text);
    EXPECT_EQ(d.reads, c.reads);
}

using P = Place;
const TextCase kTextCases[] = {
    {"ADDm",
     {{8, 1}, {9, 100}, {100, 7}},
     {5, 8, false, 23},
     "ADDm 100",
     "A ← A + M[100] = 5 + 7 = 12 · V ← 12 > 65535 = False · PC ← 10 · Cycles ← 27",
     {{P::A, -1, 5}, {P::Memory, 100, 7}}},
    {"ADDi_reduced",
     {{0, 2}, {1, 10}},
     {65530, 0, false, 0},
     "ADDi 10",
     "A ← A + 10 = 65530 + 10 = 65540 rem 65536 = 4 · V ← 65540 > 65535 = True · PC ← 2 · "
     "Cycles ← 3",
     {{P::A, -1, 65530}}},
    {"ADDi_negative_keeps_sign",
     {{0, 2}, {1, -100000}},
     {0, 0, false, 0},
     "ADDi -100000",
     "A ← A + -100000 = 0 + -100000 = -100000 rem 65536 = -34464 · V ← -100000 > 65535 = False · "
     "PC ← 2 · Cycles ← 3",
     {{P::A, -1, 0}}},
    {"ADDpc",
     {{10, 4}, {11, 99}},
     {5, 10, false, 0},
     "ADDpc",
     "A ← A + (PC + 2) = 5 + 12 = 17 · V ← 17 > 65535 = False · PC ← 12 · Cycles ← 3",
     {{P::A, -1, 5}, {P::PC, -1, 10}}},
    {"BVS_not_taken",
     {{14, 8}, {15, 20}},
     {0, 14, false, 27},
     "BVS 20",
     "V = False: not taken: PC ← 16 · Cycles ← 30",
     {{P::V, -1, 0}}},
    {"BVS_taken",
     {{14, 8}, {15, 20}},
     {0, 14, true, 27},
     "BVS 20",
     "V = True: taken: PC ← 20 · Cycles ← 30",
     {{P::V, -1, 1}}},
    {"LDAm",
     {{0, 16}, {1, 9}, {9, -77}},
     {1, 0, true, 0},
     "LDAm 9",
     "A ← M[9] = -77 · PC ← 2 · Cycles ← 3",
     {{P::Memory, 9, -77}}},
    {"LDAi",
     {{0, 32}, {1, 100000}},
     {0, 0, false, 0},
     "LDAi 100000",
     "A ← 100000 · PC ← 2 · Cycles ← 3",
     {}},
    {"LDApc",
     {{10, 64}},
     {0, 10, false, 0},
     "LDApc",
     "A ← PC + 2 = 12 · PC ← 12 · Cycles ← 3",
     {{P::PC, -1, 10}}},
    {"STAm",
     {{0, 128}, {1, 20}, {20, 7}},
     {10, 0, false, 0},
     "STAm 20",
     "M[20] ← A = 10 (was 7) · PC ← 2 · Cycles ← 3",
     {{P::A, -1, 10}}},
    {"STApc",
     {{0, 256}, {1, 99}},
     {40, 0, false, 0},
     "STApc 99",
     "PC ← A = 40 · Cycles ← 3",
     {{P::A, -1, 40}}},
    {"no_instruction",
     {{24, 3}},
     {0, 24, false, 0},
     "3",
     "M[24] = 3 holds no instruction: nothing changes",
     {}},
    {"pc_outside",
     {},
     {0, 65536, false, 0},
     "0",
     "fault: PC = 65536 is outside memory: no instruction to fetch",
     {}},
    {"no_operand_word",
     {{65535, 2}},
     {0, 65535, false, 0},
     "ADDi",
     "fault: ADDi at 65535 has no operand word: M[65536] is outside memory",
     {}},
    {"STAm_outside",
     {{0, 128}, {1, 65536}},
     {9, 0, false, 0},
     "STAm 65536",
     "PC ← 2 · fault: cannot write M[65536]: 65536 is outside memory",
     {{P::A, -1, 9}}},
    {"ADDm_outside",
     {{0, 1}, {1, -1}},
     {9, 0, false, 0},
     "ADDm -1",
     "PC ← 2 · fault: cannot read M[-1]: -1 is outside memory",
     {{P::A, -1, 9}}},
    {"sum_too_wide",
     {{0, 2}, {1, 1}},
     {kMax, 0, false, 0},
     "ADDi 1",
     "PC ← 2 · fault: A + 1 = 2147483647 + 1 = 2147483648 does not fit 32 bits",
     {{P::A, -1, kMax}}},
    {"cycles_past_limit",
     {{0, 1}, {1, 7}, {7, 70000}},
     {1, 0, false, kMax - 3},
     "ADDm 7",
     "PC ← 2 · V ← 70001 > 65535 = True · fault: Cycles + 4 = 2147483648 would pass 2147483647",
     {{P::A, -1, 1}, {P::Memory, 7, 70000}}},
};
INSTANTIATE_TEST_SUITE_P(Text, StepTextTest, ::testing::ValuesIn(kTextCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The same steps in words, for a screen reader; the page's test hears the
// nine instructions, these the edges: a sum kept as a remainder (of either
// sign), no instruction, and faults.
TEST(StepSpoken, SaysTheEdgesInWords) {
    struct Row {
        Words memory;
        Registers before;
        const char* spoken;
    };
    const Row rows[] = {
        {{{0, 2}, {1, -100000}},
         {0, 0, false, 0},
         "A becomes -34464: 0 plus -100000, which is -100000; A keeps what is left after "
         "dividing by 65536. V becomes False. PC becomes 2."},
        {{{4, 77}}, {0, 4, false, 0}, "Word 4 holds 77, no instruction: nothing changes."},
        {{{0, 16}, {1, 70000}},
         {0, 0, false, 0},
         "Machine fault: index out of range: LDAm operand 70000 at address 0."},
        {{},
         {0, 70000, false, 0},
         "Machine fault: index out of range: program counter 70000 is outside memory."},
        {{{0, 8}, {1, 6}},
         {0, 0, false, 0},
         "V is False, so the branch is not taken: PC becomes 2."},
    };
    for (const Row& row : rows) {
        Wren cpu;
        for (auto [address, value] : row.memory)
            WrenTestPeer::Word(cpu, address) = value;
        WrenTestPeer::SetRegisters(cpu, row.before.a, row.before.pc, row.before.v,
                                   row.before.cycles);
        EXPECT_EQ(SpokenText(DescribeStep(cpu)), row.spoken);
    }
}

TEST(StepDescriptionView, ReadsThePatchedWordInPlaceOfMemory) {
    Wren cpu;
    WrenTestPeer::Word(cpu, 0) = 16;
    WrenTestPeer::Word(cpu, 1) = 50;
    WrenTestPeer::Word(cpu, 50) = 8;
    const StepDescription d = DescribeStep(MachineView{cpu.GetRegisters(), cpu.Words(), 50, 3});
    EXPECT_EQ(d.text, "A ← M[50] = 3 · PC ← 2 · Cycles ← 3");
}

TEST(StepFaultMessage, NamesTheFaultAndTheAddress) {
    Wren cpu;
    WrenTestPeer::Word(cpu, 10) = 128;
    WrenTestPeer::Word(cpu, 11) = 65536;
    WrenTestPeer::SetRegisters(cpu, 0, 10, false, 0);
    try {
        cpu.Step();
        FAIL() << "no fault";
    } catch (const MachineError& fault) {
        EXPECT_STREQ(fault.what(), "index out of range: STAm operand 65536 at address 10");
    }
}

TEST(StepSequence, RunsTheShortProgramStepByStep) {
    Wren cpu;
    const std::int32_t program[] = {32, 65535, 2, 1, 8, 8, 0, 0, 64, 0, 128, 20};
    for (std::int32_t i = 0; i < 12; ++i)
        WrenTestPeer::Word(cpu, i) = program[i];

    const Registers expected[] = {
        {65535, 2, false, 3}, {0, 4, true, 6},    {0, 8, true, 9}, {10, 10, true, 12},
        {10, 12, true, 15},   {10, 12, true, 15}, // word 0 at 12: nothing happens
    };
    for (const Registers& r : expected) {
        cpu.Step();
        EXPECT_EQ(cpu.Accumulator(), r.a);
        EXPECT_EQ(cpu.PCounter(), r.pc);
        EXPECT_EQ(cpu.Overflow(), r.v);
        EXPECT_EQ(cpu.Cycles(), r.cycles);
    }
    EXPECT_EQ(WrenTestPeer::Word(cpu, 20), 10);
}

TEST(NewProcessor, IsAllZeroAndStepsChangeNothing) {
    Wren cpu;
    for (int i = 0; i < 3; ++i)
        cpu.Step();
    EXPECT_EQ(cpu.Accumulator(), 0);
    EXPECT_EQ(cpu.PCounter(), 0);
    EXPECT_EQ(cpu.Cycles(), 0);
    EXPECT_EQ(cpu.HiMem(), 0);
    EXPECT_FALSE(cpu.Overflow());
    for (std::int32_t address = 0; address < Wren::kMemoryWords; ++address)
        ASSERT_EQ(WrenTestPeer::Word(cpu, address), 0) << address;
}

TEST(ResetTest, ClearsRegistersButKeepsMemoryAndHiMem) {
    Wren cpu;
    WrenTestPeer::Word(cpu, 0) = 128;
    WrenTestPeer::Word(cpu, 1) = 30;
    WrenTestPeer::SetRegisters(cpu, 65535, 0, true, 0);
    cpu.Step();
    cpu.Reset();
    EXPECT_EQ(cpu.Accumulator(), 0);
    EXPECT_EQ(cpu.PCounter(), 0);
    EXPECT_EQ(cpu.Cycles(), 0);
    EXPECT_FALSE(cpu.Overflow());
    EXPECT_EQ(WrenTestPeer::Word(cpu, 30), 65535);
    EXPECT_EQ(WrenTestPeer::Word(cpu, 0), 128);
}

} // namespace
} // namespace wren

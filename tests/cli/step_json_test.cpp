// The access that failed, as wren-trace --explain --json and the debug
// adapter name it: the word an operand addresses, not the operand word.

#include "step_json.h"

#include <gtest/gtest.h>

#include <vector>

namespace wren::cli {
namespace {

TEST(StepDescriptionJson, NamesTheAccessThatFailed) {
    struct Case {
        const char* name;
        Registers registers;
        std::vector<std::pair<std::int32_t, std::int32_t>> words;
        const char* failed;
        const char* fault;
    };
    const Case cases[] = {
        {"pc_outside_memory",
         {0, 70000, false, 6},
         {},
         "PC",
         "index out of range: program counter 70000 is outside memory"},
        {"no_operand_word",
         {0, 65535, false, 0},
         {{65535, 16}},
         "M[65536]",
         "index out of range: LDAm has no operand word at address 65535"},
        {"a_load_past_memory",
         {0, 8, false, 0},
         {{8, 16}, {9, 70000}},
         "M[70000]",
         "index out of range: LDAm operand 70000 at address 8"},
        {"an_add_below_memory",
         {0, 8, false, 0},
         {{8, 1}, {9, -5}},
         "M[-5]",
         "index out of range: ADDm operand -5 at address 8"},
        {"a_store_past_memory",
         {0, 8, false, 0},
         {{8, 128}, {9, 65536}},
         "M[65536]",
         "index out of range: STAm operand 65536 at address 8"},
        {"a_sum_past_32_bits",
         {2147483647, 8, false, 0},
         {{8, 2}, {9, 1}},
         "A",
         "arithmetic overflow: sum 2147483648 does not fit 32 bits at address 8"},
        {"the_cycle_count",
         {0, 8, false, 2147483645},
         {{8, 32}, {9, 1}},
         "Cycles",
         "arithmetic overflow: cycle count would pass 2147483647 at address 8"},
    };
    std::vector<std::int32_t> memory(Wren::kMemoryWords);
    for (const Case& c : cases) {
        std::fill(memory.begin(), memory.end(), 0);
        for (auto [address, value] : c.words)
            memory[static_cast<std::size_t>(address)] = value;
        const auto json =
            StepDescriptionJson(DescribeStep(MachineView{c.registers, memory.data()}));
        EXPECT_EQ(json["outcome"], "fault") << c.name;
        EXPECT_EQ(json["failed"], c.failed) << c.name;
        EXPECT_EQ(json["fault"], c.fault) << c.name;
    }
}

} // namespace
} // namespace wren::cli

#include "debug_machine.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wren::dap {
namespace {

// 0 LDAi 2, 2 ADDi 0, 4 STApc 0: after the first instruction, 2 and 4 for ever.
const char* const kLoop = "LDAi 2\nADDi 0\nSTApc 0\n";

struct RunCase {
    const char* name;
    std::string program;
    std::vector<int> lines;
    std::vector<std::int32_t> instructions;
    std::vector<std::int32_t> data;
    /// s step, c continue, b step back, r reverse continue.
    std::string actions;
    /// "reason@PC" after each action.
    std::vector<std::string> stops;
    std::size_t history = DebugMachine::kDefaultHistory;
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

std::string Name(StopReason reason) {
    switch (reason) {
    case StopReason::Step: return "step";
    case StopReason::Breakpoint: return "line";
    case StopReason::InstructionBreakpoint: return "instruction";
    case StopReason::DataBreakpoint: return "data";
    case StopReason::Pause: return "pause";
    case StopReason::End: return "end";
    case StopReason::Fault: return "fault";
    case StopReason::Loop: return "loop";
    case StopReason::Slice: return "slice";
    case StopReason::Goto: return "goto";
    }
    return "?";
}

class DebugMachineRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(DebugMachineRuns, StopWhereTheyShould) {
    const RunCase& c = GetParam();
    test::TempDir dir;
    DebugMachine machine(c.history);
    ASSERT_FALSE(machine.Load(dir.Write("p.ram", c.program).string()));
    machine.SetLineBreakpoints(c.lines);
    machine.SetInstructionBreakpoints(c.instructions);
    machine.SetDataBreakpoints(c.data);
    std::atomic<bool> pause{false};
    std::vector<std::string> stops;
    for (char action : c.actions) {
        Stop stop;
        switch (action) {
        case 's': stop = machine.StepOne(); break;
        case 'c': stop = machine.Run(pause, 1000); break;
        case 'b': stop = {machine.StepBack() ? StopReason::Step : StopReason::Slice, {}}; break;
        case 'r': stop = machine.ReverseContinue(); break;
        }
        stops.push_back(Name(stop.reason) + "@" + std::to_string(machine.Cpu().PCounter()));
    }
    EXPECT_EQ(stops, c.stops);
}

const RunCase kRuns[] = {
    {"continue_leaves_a_breakpoint_before_looking_again",
     kLoop,
     {2},
     {},
     {},
     "ccc",
     {"line@2", "line@2", "line@2"}},
    {"a_step_onto_a_breakpoint_says_so_once", kLoop, {2}, {}, {}, "ss", {"line@2", "step@4"}},
    {"instruction_breakpoint_by_address",
     kLoop,
     {},
     {4},
     {},
     "cc",
     {"instruction@4", "instruction@4"}},
    {"continue_stops_at_an_endless_loop", kLoop, {}, {}, {}, "c", {"loop@2"}},
    {"data_breakpoint_after_the_write",
     "LDAi 7\nSTAm 100\nSTAm 101\nLDAi 0\n",
     {},
     {},
     {101},
     "c",
     {"data@6"}},
    {"end_at_a_word_without_instruction", "LDAi 5\n", {}, {}, {}, "cs", {"end@2", "end@2"}},
    {"fault_then_back_before_it", "LDAi 9\nSTAm 65536\n", {}, {}, {}, "cb", {"fault@4", "step@2"}},
    {"reverse_continue_to_the_breakpoint_before",
     kLoop,
     {2},
     {},
     {},
     "cccrrr",
     {"line@2", "line@2", "line@2", "line@2", "line@2", "step@0"}},
    // Back to just after the store before, as a continue would have stopped.
    {"reverse_continue_to_the_store_before",
     "LDAi 7\nSTAm 101\nSTAm 102\nSTAm 101\nLDAi 0\n",
     {},
     {},
     {101},
     "ssssrr",
     {"step@2", "data@4", "step@6", "data@8", "data@4", "step@0"}},
    {"history_keeps_only_its_limit",
     kLoop,
     {},
     {},
     {},
     "sssbbb",
     {"step@2", "step@4", "step@2", "step@4", "step@2", "slice@2"},
     2},
    {"no_history_no_step_back", kLoop, {}, {}, {}, "sb", {"step@2", "slice@2"}, 0},
};
INSTANTIATE_TEST_SUITE_P(Runs, DebugMachineRuns, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DebugMachine, StepBackRestoresEveryRegisterAndTheWordWritten) {
    test::TempDir dir;
    DebugMachine machine;
    ASSERT_FALSE(machine.Load(dir.Write("p.ram", "LDAi 65535\nADDi 1\nSTAm 200\n").string()));
    machine.Edit().SetMemory(200, -7);
    std::vector<Registers> before;
    for (int i = 0; i < 3; ++i) {
        before.push_back(machine.Cpu().GetRegisters());
        ASSERT_EQ(machine.StepOne().reason, i < 2 ? StopReason::Step : StopReason::End);
    }
    EXPECT_EQ(machine.Cpu().Memory(200), 0); // 65535 + 1 wraps to 0 and sets V
    EXPECT_TRUE(machine.Finished());
    for (int i = 2; i >= 0; --i) {
        ASSERT_TRUE(machine.StepBack());
        EXPECT_EQ(machine.Cpu().GetRegisters(), before[static_cast<std::size_t>(i)]) << i;
    }
    EXPECT_EQ(machine.Cpu().Memory(200), -7);
    EXPECT_FALSE(machine.Finished());
}

TEST(DebugMachine, LineBreakpointsMoveToTheNextRecordThatTakesMemory) {
    test::TempDir dir;
    DebugMachine machine;
    ASSERT_FALSE(
        machine.Load(dir.Write("p.ram", "{ c\n\nLDApc\nLDAi 1, DATA 5\n{ d\nSTAm 9\n").string()));
    std::vector<std::string> placed;
    for (const LineBreakpoint& bp : machine.SetLineBreakpoints({1, 4, 5, 6, 7}))
        placed.push_back(bp.verified ? std::to_string(bp.line) + "@" + std::to_string(bp.address)
                                     : bp.message);
    EXPECT_EQ(placed, (std::vector<std::string>{"4@0", "4@0", "6@4", "6@4",
                                                "no instruction or data at or after line 7"}));
}

TEST(DebugMachine, LoadErrorsNameFileAndLine) {
    test::TempDir dir;
    DebugMachine machine;
    const auto path = dir.Write("p.ram", "LDAi 1\nLDAi 9e9\n").string();
    EXPECT_EQ(machine.Load(path), path + ":2: operand \"9e9\" is outside the 32-bit range");
}

} // namespace
} // namespace wren::dap

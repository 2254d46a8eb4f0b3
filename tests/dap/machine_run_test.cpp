// A continue goes through the batched loop, which stops at breakpoints
// itself, and rebuilds its history when it stops; the traced path writes
// every undo entry as it goes. Both must stop at the same step, for the same
// reason, and step back through the same states.

#include "debug_machine.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace wren::dap {
namespace {

// Word 100 counts up by one; each time it wraps, word 101 goes up by 4096.
// The sixteenth wrap of 101 leaves the loop for address 24, after about
// 6.3 million steps: past several of the batched run's copies.
std::string Counting(const std::string& tail) {
    return "LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\n"
           "LDAm 101\nADDi 4096\nSTAm 101\nBVS 24\nLDAi 0\nSTApc 0\n" +
           tail;
}

// Counts word 100 up from 65536 - k: the k-th pass takes BVS to 12, after
// step 6k - 2, where 12 has a breakpoint to hit.
std::string Passes() {
    return "LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\nLDAi 7\nSTAm 90\n";
}

struct RunCase {
    const char* name;
    std::string program;
    StopReason reason; // of the first stop
    std::size_t history = DebugMachine::kDefaultHistory;
    long long slice = 1LL << 40;
    std::vector<std::int32_t> breaks{};  // instruction breakpoints
    std::vector<int> lines{};            // line breakpoints
    std::vector<std::int32_t> watches{}; // data breakpoints
    std::vector<std::pair<std::int32_t, std::int32_t>> sets{};
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

struct State {
    Registers registers;
    std::vector<std::int32_t> words;
    bool operator==(const State&) const = default;
};

State Now(const DebugMachine& machine) {
    const std::int32_t* words = machine.Cpu().Words();
    return {machine.Cpu().GetRegisters(), std::vector(words, words + Wren::kMemoryWords)};
}

Stop RunToStop(DebugMachine& machine, long long slice) {
    const std::atomic<bool> pause{false};
    Stop stop;
    do
        stop = machine.Run(pause, slice);
    while (stop.reason == StopReason::Slice);
    return stop;
}

class BatchedRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(BatchedRuns, StopAndStepBackAsTracedRunsDo) {
    const RunCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir.Write("p.ram", c.program).string();
    DebugMachine batched(c.history), traced(c.history);
    traced.TraceEveryStep(true);
    for (DebugMachine* machine : {&batched, &traced}) {
        ASSERT_FALSE(machine->Load(path));
        machine->SetInstructionBreakpoints(c.breaks);
        machine->SetLineBreakpoints(c.lines);
        machine->SetDataBreakpoints(c.watches);
        for (auto [address, value] : c.sets)
            machine->Edit().SetMemory(address, value);
    }

    // Continue from each stop to the next, to the end of the program.
    for (int stops = 0; stops < 4; ++stops) {
        const Stop stop = RunToStop(batched, c.slice);
        const Stop expected = RunToStop(traced, 1LL << 40);
        if (stops == 0) {
            EXPECT_EQ(stop.reason, c.reason);
        }
        ASSERT_EQ(stop.reason, expected.reason) << "stop " << stops;
        EXPECT_EQ(stop.description, expected.description);
        ASSERT_TRUE(Now(batched) == Now(traced)) << "stop " << stops;
        EXPECT_EQ(batched.Finished(), traced.Finished());
        EXPECT_EQ(batched.ExitCode(), traced.ExitCode());
        EXPECT_EQ(batched.Fault(), traced.Fault());
        // The stop's last step, told before the history is rebuilt.
        const auto lastBatched = batched.LastStep(), lastTraced = traced.LastStep();
        ASSERT_EQ(lastBatched.has_value(), lastTraced.has_value()) << "stop " << stops;
        if (lastBatched) {
            EXPECT_EQ(lastBatched->at, lastTraced->at) << "stop " << stops;
            EXPECT_EQ(lastBatched->text, lastTraced->text) << "stop " << stops;
        }
        EXPECT_EQ(batched.LastWrite(), traced.LastWrite());
        EXPECT_EQ(batched.LastStepAt(), traced.LastStepAt());
        ASSERT_EQ(batched.HistorySize(), traced.HistorySize());
        if (batched.Finished() || stop.reason == StopReason::Loop)
            break;
    }

    // Back through every kept step, or a few hundred of them.
    const std::size_t back = std::min<std::size_t>(batched.HistorySize(), 300);
    for (std::size_t i = 0; i < back; ++i) {
        ASSERT_TRUE(batched.StepBack());
        ASSERT_TRUE(traced.StepBack());
        ASSERT_TRUE(Now(batched) == Now(traced)) << "after stepping back " << i + 1;
    }
    EXPECT_EQ(batched.ReverseContinue().reason, traced.ReverseContinue().reason);
    EXPECT_TRUE(Now(batched) == Now(traced));
}

const RunCase kRuns[] = {
    {"ends", Counting(""), StopReason::End},
    {"ends_in_slices", Counting(""), StopReason::End, DebugMachine::kDefaultHistory, 100'000},
    {"ends_with_a_short_history", Counting(""), StopReason::End, 5},
    {"faults", Counting("LDAi 1\nSTAm 65536\n"), StopReason::Fault},
    {"faults_in_slices", Counting("LDAi 1\nSTAm 65536\n"), StopReason::Fault, 5, 999},
    {"goes_round_for_ever", Counting("LDAi 24\nSTApc 0\n"), StopReason::Loop},
    {"goes_round_in_slices", Counting("LDAi 24\nSTApc 0\n"), StopReason::Loop, 7, 4097},
    {"one_step", "LDAi 5\n", StopReason::End},
    {"faults_at_once", "STAm 70000\n", StopReason::Fault},
    {"a_loop_of_one_step", "LDAi 0\nSTApc 0\n", StopReason::Loop},
    {"a_store_before_the_loop", "LDAi 3\nSTAm 50\nLDAi 4\nSTApc 0\n", StopReason::Loop},
    // Breakpoints: hit after the first step, on the step that ends a poll
    // (65,536) or a copy (1,048,576) of the batched loop, and on the step
    // before a fault; each run continues to the end from there.
    {"breaks_after_the_first_step",
     Passes(),
     StopReason::InstructionBreakpoint,
     DebugMachine::kDefaultHistory,
     1LL << 40,
     {2}},
    {"breaks_on_a_polls_last_step",
     Passes(),
     StopReason::InstructionBreakpoint,
     DebugMachine::kDefaultHistory,
     1LL << 40,
     {12},
     {},
     {},
     {{100, 65536 - 10923}}},
    {"breaks_on_a_copys_last_step",
     Passes(),
     StopReason::InstructionBreakpoint,
     1000,
     1LL << 40,
     {12},
     {},
     {},
     {{100, 65536 - 174763}}},
    {"breaks_on_a_slices_last_step",
     Passes(),
     StopReason::InstructionBreakpoint,
     DebugMachine::kDefaultHistory,
     6 * 5000 - 2,
     {12},
     {},
     {},
     {{100, 65536 - 5000}}},
    {"breaks_before_a_fault",
     Counting("LDAi 1\nSTAm 65536\n"),
     StopReason::Breakpoint,
     DebugMachine::kDefaultHistory,
     1LL << 40,
     {},
     {14}},
    {"breaks_at_the_end",
     Counting("LDAi 1\n"),
     StopReason::End,
     DebugMachine::kDefaultHistory,
     1LL << 40,
     {26}},
    {"breaks_on_a_loop",
     "LDAi 0\nSTApc 0\n",
     StopReason::InstructionBreakpoint,
     DebugMachine::kDefaultHistory,
     1LL << 40,
     {0}},
    {"never_breaks",
     Counting(""),
     StopReason::End,
     DebugMachine::kDefaultHistory,
     100'000,
     {30, 1000, 65535},
     {},
     {60000}},
    {"watches_the_first_write",
     Passes(),
     StopReason::DataBreakpoint,
     DebugMachine::kDefaultHistory,
     1LL << 40,
     {},
     {},
     {100}},
    {"watches_a_late_write", Counting(""), StopReason::DataBreakpoint, 9, 77'777, {}, {}, {101}},
    {"watches_a_word_written_twice",
     "LDAi 5\nSTAm 40\nSTAm 40\n",
     StopReason::DataBreakpoint,
     DebugMachine::kDefaultHistory,
     1LL << 40,
     {},
     {},
     {40}},
};
INSTANTIATE_TEST_SUITE_P(Runs, BatchedRuns, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

// Breakpoints set or cleared between the slices of one continue take
// effect in the next slice, as in the traced steps.
TEST(BatchedRun, BreakpointsChangedBetweenSlices) {
    test::TempDir dir;
    const std::string path = dir.Write("p.ram", Passes()).string();
    DebugMachine batched, traced;
    traced.TraceEveryStep(true);
    const std::atomic<bool> pause{false};
    for (DebugMachine* machine : {&batched, &traced}) {
        ASSERT_FALSE(machine->Load(path));
        machine->Edit().SetMemory(100, 65536 - 3000);
        machine->SetInstructionBreakpoints({12});
        ASSERT_EQ(machine->Run(pause, 1000).reason, StopReason::Slice);
        machine->SetInstructionBreakpoints({});
        machine->SetDataBreakpoints({90});
        ASSERT_EQ(machine->Run(pause, 1LL << 40).reason, StopReason::DataBreakpoint);
    }
    EXPECT_TRUE(Now(batched) == Now(traced));
    EXPECT_EQ(batched.Cpu().Cycles(), traced.Cpu().Cycles());
    EXPECT_EQ(batched.Cpu().PCounter(), 16);
}

TEST(BatchedRun, SaysWhatTheLoopRepeats) {
    test::TempDir dir;
    DebugMachine machine;
    // 0 LDAi 2, 2 ADDi 0, 4 STApc 0: from step 1 on, PC goes 2, 4, 2, ...
    ASSERT_FALSE(machine.Load(dir.Write("p.ram", "LDAi 2\nADDi 0\nSTApc 0\n").string()));
    const std::atomic<bool> pause{false};
    const Stop stop = machine.Run(pause, 1000);
    EXPECT_EQ(stop.reason, StopReason::Loop);
    EXPECT_EQ(stop.description,
              "endless loop: every 2 steps, PC, A, V and memory are as they were");
    EXPECT_EQ(machine.HistorySize(), 3u);
    EXPECT_FALSE(machine.Finished());
}

// An edit between slices lands on the machine as it is then, and the steps
// before it can still be undone.
TEST(BatchedRun, AnEditBetweenSlicesKeepsTheHistory) {
    test::TempDir dir;
    DebugMachine machine;
    ASSERT_FALSE(machine.Load(dir.Write("p.ram", Counting("")).string()));
    const std::atomic<bool> pause{false};
    ASSERT_EQ(machine.Run(pause, 600'000).reason, StopReason::Slice);
    const Registers before = machine.Cpu().GetRegisters();
    machine.Edit().SetMemory(101, 65535 - 4095);
    machine.Edited();
    EXPECT_EQ(machine.HistorySize(), 600'000u);
    EXPECT_EQ(machine.Cpu().GetRegisters(), before);
    // The outer counter now wraps at the next inner wrap.
    EXPECT_EQ(RunToStop(machine, 1LL << 40).reason, StopReason::End);
    EXPECT_LT(machine.Cpu().Cycles(), 3 * 1'000'000);
}

TEST(BatchedRun, PauseStopsItWithTheHistoryKept) {
    test::TempDir dir;
    DebugMachine machine;
    ASSERT_FALSE(machine.Load(dir.Write("p.ram", Counting("")).string()));
    const std::atomic<bool> pause{true};
    const Stop stop = machine.Run(pause, 1LL << 40);
    EXPECT_EQ(stop.reason, StopReason::Pause);
    // Every step it ran is kept, back to where it began.
    while (machine.StepBack()) {
    }
    EXPECT_EQ(machine.Cpu().GetRegisters(), Registers{});
}

// A pause that comes while the batched loop runs (past the first window
// for loops, so that no traced step looks at it) is answered within one
// batch of 65,536 steps, not at the end of the stretch to the next window.
TEST(BatchedRun, APauseBetweenBatchesIsAnsweredWithinOne) {
    test::TempDir dir;
    DebugMachine machine;
    ASSERT_FALSE(machine.Load(dir.Write("p.ram", Counting("")).string()));
    std::atomic<bool> pause{false};
    ASSERT_EQ(machine.Run(pause, 100'000).reason, StopReason::Slice);
    const std::int32_t before = machine.Cpu().Cycles();
    pause = true;
    EXPECT_EQ(machine.Run(pause, 1LL << 40).reason, StopReason::Pause);
    // At most 4 cycles a step.
    EXPECT_GT(machine.Cpu().Cycles(), before);
    EXPECT_LE(machine.Cpu().Cycles() - before, 4 * 65'536);
}

} // namespace
} // namespace wren::dap

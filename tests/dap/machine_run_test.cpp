// A run with nothing to watch goes through the batched loop and rebuilds its
// history when it stops; one with a breakpoint writes every undo entry as it
// goes. Both must stop at the same step, for the same reason, and step back
// through the same states.

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

struct RunCase {
    const char* name;
    std::string program;
    StopReason reason;
    std::size_t history = DebugMachine::kDefaultHistory;
    long long slice = 1LL << 40;
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
    ASSERT_FALSE(batched.Load(path));
    ASSERT_FALSE(traced.Load(path));
    // A watched word that nothing writes: the run is traced, and stops the same.
    traced.SetDataBreakpoints({60000});

    const Stop stop = RunToStop(batched, c.slice);
    const Stop expected = RunToStop(traced, 1LL << 40);
    EXPECT_EQ(stop.reason, c.reason);
    ASSERT_EQ(stop.reason, expected.reason);
    EXPECT_EQ(stop.description, expected.description);
    ASSERT_TRUE(Now(batched) == Now(traced));
    EXPECT_EQ(batched.Finished(), traced.Finished());
    EXPECT_EQ(batched.ExitCode(), traced.ExitCode());
    EXPECT_EQ(batched.Fault(), traced.Fault());
    EXPECT_EQ(batched.LastWrite(), traced.LastWrite());
    EXPECT_EQ(batched.LastStepAt(), traced.LastStepAt());
    ASSERT_EQ(batched.HistorySize(), traced.HistorySize());

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
};
INSTANTIATE_TEST_SUITE_P(Runs, BatchedRuns, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

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

} // namespace
} // namespace wren::dap

#include "debug_machine.h"
#include "opcodes.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace wren::dap {
namespace {

// Word 200 is stored once, at step 2; word 100 every round of a loop of six
// steps that adds 64 until the sum passes 65535 (1,024 rounds); nothing
// stores to 300. The last round's add wraps to 0 and sets V: the run ends
// at address 24 after 2 + 1,023 * 6 + 4 = 6,144 steps.
const char* const kCounter = "LDAi 7\nSTAm 200\n"
                             "LDAm 100\nADDi 64\nSTAm 100\nBVS 24\nLDAi 4\nSTApc 0\n";

/// Every store to address in the first steps of program, found by stepping
/// a plain processor one instruction at a time; newest first.
std::vector<WordWrite> Traced(const std::string& path, std::int32_t address, long long steps) {
    Wren cpu;
    EXPECT_FALSE(cpu.Load_Ram(path));
    std::vector<WordWrite> writes;
    for (long long step = 1; step <= steps; ++step) {
        const std::int32_t pc = cpu.PCounter();
        const std::int32_t target = StoreTarget(cpu.Words(), pc);
        const std::int32_t old = target >= 0 ? cpu.Memory(target) : 0;
        try {
            cpu.Step();
        } catch (const MachineError&) {
        }
        if (target == address)
            writes.insert(writes.begin(), {step, pc, old, cpu.Memory(address)});
    }
    return writes;
}

struct Machine {
    test::TempDir dir;
    std::string path;
    DebugMachine machine;
    std::atomic<bool> pause{false};
    // A history of 8 steps and copies every 64: most stores lie before the
    // oldest kept step, and a replay crosses many chunks.
    explicit Machine(const std::string& program, std::size_t history = 8, long long every = 64)
        : path(dir.Write("p.ram", program).string()), machine(history, every) {
        EXPECT_FALSE(machine.Load(path));
    }
    Stop RunOn() {
        Stop stop;
        do
            stop = machine.Run(pause, 1000);
        while (stop.reason == StopReason::Slice);
        return stop;
    }
    /// Every store, one page of count at a time.
    std::vector<WordWrite> Paged(std::int32_t address, std::size_t count) {
        std::vector<WordWrite> all;
        long long before = 0;
        for (;;) {
            const WordHistory page = machine.WordWrites(address, count, before);
            EXPECT_LE(page.writes.size(), count);
            all.insert(all.end(), page.writes.begin(), page.writes.end());
            if (!page.more || page.writes.empty())
                return all;
            before = page.writes.back().step;
        }
    }
};

struct HistoryCase {
    const char* name;
    std::size_t history;
    long long every;
    std::size_t page;
};

class WordHistories : public ::testing::TestWithParam<HistoryCase> {};

// Against the traced run, for a word stored to many times, once (long
// before the oldest kept step) and never; whole and page by page.
TEST_P(WordHistories, ListEveryStoreAsTheTracedRunMadeIt) {
    const HistoryCase& c = GetParam();
    Machine m(kCounter, c.history, c.every);
    ASSERT_EQ(m.RunOn().reason, StopReason::End);
    ASSERT_EQ(m.machine.StepCount(), 6144);
    for (const std::int32_t address : {100, 200, 300}) {
        const std::vector<WordWrite> traced = Traced(m.path, address, 6144);
        ASSERT_EQ(traced.size(), address == 100 ? 1024U : address == 200 ? 1U : 0U);
        EXPECT_EQ(m.Paged(address, c.page), traced) << address;
    }
    const WordHistory newest = m.machine.WordWrites(100, 2);
    ASSERT_EQ(newest.writes.size(), 2U);
    // The last round stores the wrapped sum, 0.
    EXPECT_EQ(newest.writes[0], (WordWrite{6143, 8, 65472, 0}));
    EXPECT_EQ(newest.writes[1], (WordWrite{6137, 8, 65408, 65472}));
    EXPECT_TRUE(newest.more);
    EXPECT_EQ(newest.since, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WordHistories,
                         ::testing::Values(HistoryCase{"all_in_one_page", 8, 64, 2000},
                                           HistoryCase{"pages_of_seven", 8, 64, 7},
                                           HistoryCase{"more_stores_than_chunks_kept", 8, 64, 500},
                                           HistoryCase{"chunks_longer_than_the_run", 8, 1 << 20,
                                                       100},
                                           HistoryCase{"every_step_kept", 10000, 64, 100}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WordHistory, StopsAtTheStepAskedAndAtFaults) {
    // The STAm at 4 stores, then ADDm faults: the fault is step 3.
    Machine m("LDAi 9\nSTAm 100\nADDm 70000\n");
    ASSERT_EQ(m.RunOn().reason, StopReason::Fault);
    EXPECT_EQ(m.machine.StepCount(), 3);
    EXPECT_EQ(m.machine.WordWrites(100, 5).writes, (std::vector<WordWrite>{{2, 2, 0, 9}}));
    EXPECT_TRUE(m.machine.WordWrites(100, 5, 2).writes.empty());
    EXPECT_TRUE(m.machine.WordWrites(-1, 5).writes.empty());
    EXPECT_TRUE(m.machine.WordWrites(65536, 5).writes.empty());
}

TEST(WordHistory, StartsAfterAChangeByHand) {
    Machine m(kCounter, 100);
    for (int i = 0; i < 20; ++i) // three rounds and a bit: stores at 5, 11 and 17
        m.machine.StepOne();
    m.machine.Edit().SetMemory(100, 1000);
    m.machine.Edited();
    for (int i = 0; i < 6; ++i) // the store at 23 adds to 1000
        m.machine.StepOne();
    const WordHistory after = m.machine.WordWrites(100, 10);
    EXPECT_EQ(after.since, 20);
    EXPECT_EQ(after.writes, (std::vector<WordWrite>{{23, 8, 1000, 1064}}));
    // Back past the change: the history starts where the machine is now.
    for (int i = 0; i < 10; ++i)
        m.machine.StepBack();
    const WordHistory back = m.machine.WordWrites(100, 10);
    EXPECT_EQ(back.since, 16);
    EXPECT_TRUE(back.writes.empty());
}

// Going to a step puts the machine where the traced run was after it, with
// a history to step back through and a run that goes on as before.
TEST(WordHistory, GoToStepAnyDistanceBack) {
    for (const long long target : {0LL, 1LL, 2LL, 63LL, 64LL, 65LL, 3001LL, 6143LL, 6144LL}) {
        Machine m(kCounter);
        ASSERT_EQ(m.RunOn().reason, StopReason::End);
        ASSERT_TRUE(m.machine.GoToStep(target)) << target;
        Wren traced;
        ASSERT_FALSE(traced.Load_Ram(m.path));
        long long ran = 0;
        traced.StepWhile(target, ran);
        EXPECT_EQ(m.machine.StepCount(), target);
        EXPECT_EQ(m.machine.Cpu().GetRegisters(), traced.GetRegisters()) << target;
        EXPECT_EQ(m.machine.Cpu().Memory(100), traced.Memory(100)) << target;
        EXPECT_EQ(m.machine.Finished(), target == 6144);
        // Within the kept steps the machine steps back; beyond, the history
        // is rebuilt up to the step.
        const long long kept = target >= 6144 - 8 ? 8 - (6144 - target) : std::min(target, 8LL);
        EXPECT_EQ(m.machine.HistorySize(), static_cast<std::size_t>(kept)) << target;
        if (target == 6144)
            continue; // at the end already
        if (target > 0) {
            ASSERT_TRUE(m.machine.StepBack());
            EXPECT_EQ(m.machine.StepCount(), target - 1);
            m.machine.StepOne();
        }
        m.machine.StepOne();
        traced.Step();
        EXPECT_EQ(m.machine.Cpu().GetRegisters(), traced.GetRegisters()) << target;
    }
    Machine m(kCounter);
    m.machine.StepOne();
    EXPECT_FALSE(m.machine.GoToStep(2));
    EXPECT_FALSE(m.machine.GoToStep(-1));
}

// The copies a history found serve the step it lists: who wrote 200 goes
// back 6,147 steps without a second run.
TEST(WordHistory, WhoWroteGoesToTheStoreThatLastWroteTheWord) {
    Machine m(kCounter);
    ASSERT_EQ(m.RunOn().reason, StopReason::End);
    const WordHistory last = m.machine.WordWrites(200, 1);
    ASSERT_EQ(last.writes.size(), 1U);
    ASSERT_TRUE(m.machine.GoToStep(last.writes[0].step));
    const auto step = m.machine.LastStep();
    ASSERT_TRUE(step);
    EXPECT_EQ(step->at, 2);
    EXPECT_EQ(m.machine.Cpu().Memory(200), 7);
    EXPECT_EQ(m.machine.Cpu().PCounter(), 4);
}

// Reverse continue finds the store before a watched word's newest one
// however far back it is, as a continue would have stopped there.
TEST(WordHistory, ReverseContinueGoesBackToAWatchedStoreBeyondTheKeptSteps) {
    Machine m(kCounter);
    ASSERT_EQ(m.RunOn().reason, StopReason::End);
    m.machine.SetDataBreakpoints({200, 300});
    EXPECT_EQ(m.machine.ReverseContinue().reason, StopReason::DataBreakpoint);
    EXPECT_EQ(m.machine.StepCount(), 2);
    EXPECT_EQ(m.machine.Cpu().PCounter(), 4);
    // None before it: back to the start.
    EXPECT_EQ(m.machine.ReverseContinue().reason, StopReason::Step);
    EXPECT_EQ(m.machine.StepCount(), 0);
}

} // namespace
} // namespace wren::dap

#include "run.h"
#include "wren.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <tuple>
#include <vector>

namespace wren {
namespace {

struct RunCase {
    const char* name;
    std::vector<std::int32_t> program; // words from address 0
    RunLimits limits;
    StopReason reason;
    long long steps;
    std::int32_t pc;
    long long loopFrom = 0;
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class RunTest : public ::testing::TestWithParam<RunCase> {};

// Opcodes: ADDi 2, BVS 8, LDAi 32, STApc 256.
TEST_P(RunTest, EndsForTheFirstReasonThatHolds) {
    const RunCase& c = GetParam();
    Wren cpu;
    for (std::size_t i = 0; i < c.program.size(); ++i)
        cpu.SetMemory(static_cast<std::int32_t>(i), c.program[i]);

    std::vector<std::int32_t> seen;
    struct Recorder : RunObserver {
        std::vector<std::int32_t>& seen;
        explicit Recorder(std::vector<std::int32_t>& s) : seen(s) {}
        void Before(std::int32_t) override {}
        void After(long long step, std::int32_t at) override {
            EXPECT_EQ(step, static_cast<long long>(seen.size()) + 1);
            seen.push_back(at);
        }
    } recorder(seen);
    const RunResult result = wren::Run(cpu, c.limits, &recorder);

    EXPECT_EQ(result.reason, c.reason);
    EXPECT_EQ(result.steps, c.steps);
    EXPECT_EQ(cpu.PCounter(), c.pc);
    EXPECT_EQ(static_cast<long long>(seen.size()), c.steps);
    EXPECT_EQ(result.fault.empty(), c.reason != StopReason::Fault) << result.fault;
    EXPECT_EQ(result.loopFrom, c.loopFrom);

    // Unwatched, the processor runs its own batched loop: the same end.
    if (!c.limits.detectLoops && c.limits.breaks.empty()) {
        Wren plain;
        for (std::size_t i = 0; i < c.program.size(); ++i)
            plain.SetMemory(static_cast<std::int32_t>(i), c.program[i]);
        const RunResult unwatched = wren::Run(plain, c.limits);
        EXPECT_EQ(unwatched.reason, c.reason);
        EXPECT_EQ(unwatched.steps, c.steps);
        EXPECT_EQ(unwatched.fault, result.fault);
        EXPECT_EQ(plain.GetRegisters().pcounter, cpu.GetRegisters().pcounter);
        EXPECT_EQ(plain.GetRegisters().accumulator, cpu.GetRegisters().accumulator);
        EXPECT_EQ(plain.GetRegisters().cycles, cpu.GetRegisters().cycles);
        EXPECT_EQ(plain.GetRegisters().overflow, cpu.GetRegisters().overflow);
    }
}

// The batched loop leaves to Step every step that could fault, so each
// fault ends a run with the state, step count and message of Step itself:
// a sum past 32 bits, an operand outside memory, PC at the last word, and
// the cycle count near its limit.
TEST(Run, UnwatchedRunsFaultExactlyAsStepDoes) {
    struct Program {
        const char* name;
        std::vector<std::pair<std::int32_t, std::int32_t>> words; // address, value
        std::int32_t cycles;                                      // where the count starts
    };
    const Program programs[] = {
        {"sum_past_32_bits", {{0, 32}, {1, 2147483647}, {2, 2}, {3, 1}}, 0},
        {"operand_outside_memory", {{0, 32}, {1, 5}, {2, 128}, {3, 65536}}, 0},
        {"add_memory_outside", {{0, 1}, {1, -1}}, 0},
        {"pc_at_the_last_word", {{0, 32}, {1, 65535}, {2, 256}, {3, 0}, {65535, 32}}, 0},
        {"cycles_near_the_limit", {{0, 32}, {1, 0}, {2, 256}, {3, 0}}, 2147483647 - 100},
        {"adds_near_the_limit",
         {{0, 1}, {1, 5}, {2, 32}, {3, 0}, {4, 256}, {5, 0}},
         2147483647 - 100},
    };
    for (const auto& p : programs) {
        Wren stepped;
        Wren batched;
        Wren stopping; // the batched loop with stops that never come
        for (Wren* cpu : {&stepped, &batched, &stopping}) {
            for (auto [address, value] : p.words)
                cpu->SetMemory(address, value);
            Registers r = cpu->GetRegisters();
            r.cycles = p.cycles;
            cpu->SetRegisters(r);
        }
        long long steps = 0;
        std::string fault;
        try {
            for (; steps < 1000; ++steps)
                stepped.Step();
        } catch (const MachineError& error) {
            fault = error.what();
        }
        const RunResult result = wren::Run(batched, {1000, {}});
        EXPECT_EQ(result.reason, StopReason::Fault) << p.name;
        EXPECT_EQ(result.steps, steps) << p.name;
        EXPECT_EQ(result.fault, fault) << p.name;
        EXPECT_EQ(stepped.GetRegisters(), batched.GetRegisters()) << p.name;
        StopSet stops;
        stops.AddAt(60000);
        stops.AddWrite(60001);
        long long ran = 0;
        std::string stopFault;
        try {
            stopping.StepUntil(1000, ran, stops);
        } catch (const MachineError& error) {
            stopFault = error.what();
        }
        EXPECT_EQ(stopFault, fault) << p.name;
        EXPECT_EQ(ran, steps) << p.name;
        EXPECT_EQ(stepped.GetRegisters(), stopping.GetRegisters()) << p.name;
    }
}

const RunCase kCases[] = {
    {"no_instruction_is_not_executed", {32, 1, 2, 1}, {10, {}}, StopReason::NoInstruction, 2, 4},
    {"ending_exactly_at_the_limit_is_no_instruction",
     {32, 1, 2, 1},
     {2, {}},
     StopReason::NoInstruction,
     2,
     4},
    {"step_limit", {32, 0, 256, 0}, {5, {}}, StopReason::StepLimit, 5, 2},
    {"zero_steps", {32, 0}, {0, {}}, StopReason::StepLimit, 0, 0},
    {"break_after_the_step_that_reaches_it", {32, 0, 256, 0}, {100, {2}}, StopReason::Break, 1, 2},
    {"break_not_at_the_start", {32, 0, 2, 0}, {100, {0}}, StopReason::NoInstruction, 2, 4},
    {"fault_counts_completed_steps", {32, -4, 256, 0}, {100, {}}, StopReason::Fault, 2, -4},
    {"pc_outside_memory_faults", {32, 70000, 256, 0}, {100, {}}, StopReason::Fault, 2, 70000},
    // With loop detection: LDAi 0, STApc 0 is back at the state of step 1 after step 3.
    {"loop_where_the_state_comes_back",
     {32, 0, 256, 0},
     {100, {}, true},
     StopReason::Loop,
     3,
     2,
     1},
    {"loop_only_without_detection_runs_on",
     {32, 0, 256, 0},
     {100, {}},
     StopReason::StepLimit,
     100,
     0},
    // The first STAm changes memory; from step 3 on the states repeat.
    {"loop_after_a_write",
     {32, 5, 128, 100, 32, 0, 256, 0},
     {100, {}, true},
     StopReason::Loop,
     7,
     6,
     3},
    // LDAm 100, ADDi 1, STAm 100, LDAi 0, STApc 0: a counter never repeats.
    {"a_counter_is_no_loop",
     {16, 100, 2, 1, 128, 100, 32, 0, 256, 0},
     {1000, {}, true},
     StopReason::StepLimit,
     1000,
     0},
    {"a_break_wins_over_a_loop", {32, 0, 256, 0}, {100, {2}, true}, StopReason::Break, 1, 2},
    // LDAi 6, ADDi 65538, STApc 0, six BVS 2: PC, V and memory come back to
    // the same values, A never does.
    {"a_state_that_differs_only_in_a_is_no_loop",
     {32, 6, 2, 65538, 256, 0, 8, 2, 8, 2, 8, 2, 8, 2, 8, 2, 8, 2},
     {100, {}, true},
     StopReason::NoInstruction,
     18,
     18},
    // LDAi 0, ADDi 0, LDAi 6, BVS 14, ADDi 65536, STApc 0: steps 3 and 6
    // leave the same PC, A and memory, and V false, then true.
    {"a_state_that_differs_only_in_v_is_no_loop",
     {32, 0, 2, 0, 32, 6, 8, 14, 2, 65536, 256, 0},
     {100, {}, true},
     StopReason::NoInstruction,
     7,
     14},
};
INSTANTIATE_TEST_SUITE_P(Reasons, RunTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// StepUntil stops after the step, in the fast loop and in the steps it
// leaves to Step (PC at the last word, the cycle count near its limit).
TEST(StepUntil, StopsAfterTheStepThatMeetsAStop) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::int32_t, std::int32_t>> words;
        std::int32_t cycles;
        std::int32_t at, write; // the stops, -1 for none
        long long limit;
        StopCause cause;
        long long steps;
        std::int32_t pc;
    };
    // 0 LDAi 5, 2 STAm 40, 4 LDAi 0, 6 STApc 0: round and round.
    const std::vector<std::pair<std::int32_t, std::int32_t>> loop{
        {0, 32}, {1, 5}, {2, 128}, {3, 40}, {4, 32}, {5, 0}, {6, 256}, {7, 0}};
    const Case cases[] = {
        {"starting_on_a_stop_runs", loop, 0, 0, -1, 100, StopCause::At, 4, 0},
        {"a_stop_on_the_last_step_before_the_limit", loop, 0, 4, -1, 2, StopCause::At, 2, 4},
        {"the_limit_first", loop, 0, 4, -1, 1, StopCause::Limit, 1, 2},
        {"a_write", loop, 0, -1, 40, 100, StopCause::Write, 2, 4},
        {"a_write_wins_over_a_stop", loop, 0, 4, 40, 100, StopCause::Write, 2, 4},
        {"a_write_near_the_cycle_limit", loop, 2147483647 - 6, -1, 40, 100, StopCause::Write, 2, 4},
        {"a_stop_near_the_cycle_limit", loop, 2147483647 - 6, 4, -1, 100, StopCause::At, 2, 4},
        {"the_end", {{0, 32}, {1, 5}}, 0, 60000, 60001, 100, StopCause::NoInstruction, 1, 2},
        // LDAi 65535, STApc 0 onto an LDAi with no operand word.
        {"a_stop_on_the_last_word",
         {{0, 32}, {1, 65535}, {2, 256}, {3, 0}, {65535, 32}},
         0,
         65535,
         -1,
         100,
         StopCause::At,
         2,
         65535},
    };
    for (const Case& c : cases) {
        Wren cpu;
        for (auto [address, value] : c.words)
            cpu.SetMemory(address, value);
        cpu.SetRegisters({0, c.words.front().first, false, c.cycles});
        StopSet stops;
        stops.AddAt(c.at);
        stops.AddWrite(c.write);
        long long steps = 0;
        EXPECT_EQ(cpu.StepUntil(c.limit, steps, stops), c.cause) << c.name;
        EXPECT_EQ(steps, c.steps) << c.name;
        EXPECT_EQ(cpu.PCounter(), c.pc) << c.name;
    }
}

// A watched word stops StepUntil after the store that writes it, with the
// machine exactly as that many plain steps leave it: the word stored, the
// store's cycles counted. Word 0 too, and on a call's first step, which runs
// apart from the loop.
TEST(StepUntil, AWatchedStoreLeavesWhatPlainStepsLeave) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::int32_t, std::int32_t>> words;
        Registers start;
        std::int32_t watch;
        long long steps;
    };
    // 10 LDAi 77, 12 STAm 40, 14 STAm 0, 16 LDAi 10, 18 STApc 0.
    const std::vector<std::pair<std::int32_t, std::int32_t>> stores{
        {10, 32}, {11, 77}, {12, 128}, {13, 40},  {14, 128},
        {15, 0},  {16, 32}, {17, 10},  {18, 256}, {19, 0}};
    const Case cases[] = {
        {"in_the_loop", stores, {0, 10, false, 0}, 40, 2},
        {"word_0_in_the_loop", stores, {0, 10, false, 0}, 0, 3},
        {"on_the_first_step", stores, {5, 12, false, 0}, 40, 1},
        {"word_0_on_the_first_step", stores, {5, 14, false, 0}, 0, 1},
        {"near_the_cycle_limit", stores, {0, 10, false, 2147483647 - 6}, 40, 2},
    };
    for (const Case& c : cases) {
        Wren batched, stepped;
        for (Wren* cpu : {&batched, &stepped}) {
            for (auto [address, value] : c.words)
                cpu->SetMemory(address, value);
            cpu->SetRegisters(c.start);
        }
        StopSet stops;
        stops.AddWrite(c.watch);
        long long steps = 0;
        EXPECT_EQ(batched.StepUntil(1000, steps, stops), StopCause::Write) << c.name;
        EXPECT_EQ(steps, c.steps) << c.name;
        for (long long i = 0; i < c.steps; ++i)
            stepped.Step();
        EXPECT_EQ(batched.GetRegisters(), stepped.GetRegisters()) << c.name;
        EXPECT_EQ(batched.Memory(c.watch), stepped.Memory(c.watch)) << c.name;
        EXPECT_TRUE(
            std::equal(batched.Words(), batched.Words() + Wren::kMemoryWords, stepped.Words()))
            << c.name;
    }
}

// The words a batched run notes are exactly those its steps store to, the
// first step's, a self-changed store's and one near the cycle limit (which
// the batched loop leaves to Step) included.
TEST(StepUntil, NotesEveryWordItStoresToOnce) {
    struct Case {
        const char* name;
        Registers start;
        long long steps;
        std::vector<std::int32_t> written; // in the order first written
    };
    // 10 LDAi 77, 12 STAm 40, 14 STAm 13 (turns 12's operand into 77),
    // 16 LDAi 10, 18 STApc 0: round two stores to 77, not 40.
    const std::vector<std::pair<std::int32_t, std::int32_t>> program{
        {10, 32}, {11, 77}, {12, 128}, {13, 40},  {14, 128},
        {15, 13}, {16, 32}, {17, 10},  {18, 256}, {19, 0}};
    const Case cases[] = {
        {"one_round", {0, 10, false, 0}, 5, {40, 13}},
        {"two_rounds", {0, 10, false, 0}, 10, {40, 13, 77}},
        {"from_the_first_store", {5, 12, false, 0}, 1, {40}},
        {"near_the_cycle_limit", {0, 10, false, 2147483647 - 9}, 3, {40, 13}},
    };
    for (const Case& c : cases) {
        Wren cpu;
        for (auto [address, value] : program)
            cpu.SetMemory(address, value);
        cpu.SetRegisters(c.start);
        StopSet stops;
        WriteLog written;
        long long steps = 0;
        try {
            cpu.StepUntil(c.steps, steps, stops, written);
        } catch (const MachineError&) {
        }
        EXPECT_EQ(written.Words(), c.written) << c.name;
        written.Clear();
        EXPECT_TRUE(written.Words().empty());
        written.Note(40);
        EXPECT_EQ(written.Words(), std::vector<std::int32_t>{40}) << "cleared marks";
    }
}

// A PC past memory faults, even where it matches a stop modulo 65,536.
TEST(StepUntil, APcPastMemoryIsNoStop) {
    Wren cpu;
    for (auto [address, value] : {std::pair{0, 32}, {1, 65540}, {2, 256}, {3, 0}})
        cpu.SetMemory(address, value);
    StopSet stops;
    stops.AddAt(4);
    long long steps = 0;
    EXPECT_THROW(cpu.StepUntil(100, steps, stops), IndexOutOfRange);
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(cpu.PCounter(), 65540);
}

TEST(Memory, OutsideAddressesFault) {
    Wren cpu;
    EXPECT_THROW(cpu.SetMemory(65536, 1), IndexOutOfRange);
    EXPECT_THROW(static_cast<void>(cpu.Memory(-1)), IndexOutOfRange);
    cpu.SetMemory(65535, 7);
    EXPECT_EQ(cpu.Memory(65535), 7);
}

TEST(Clear, GivesBackANewProcessor) {
    Wren cpu;
    const std::int32_t loop[] = {32, 70000, 256, 0};
    for (std::int32_t i = 0; i < 4; ++i)
        cpu.SetMemory(i, loop[i]);
    cpu.SetMemory(65535, 9);
    wren::Run(cpu, {1, {}});
    cpu.Clear();
    EXPECT_EQ(cpu.Memory(0), 0);
    EXPECT_EQ(cpu.Memory(65535), 0);
    EXPECT_EQ(cpu.Accumulator(), 0);
    EXPECT_EQ(cpu.PCounter(), 0);
    EXPECT_EQ(cpu.Cycles(), 0);
    EXPECT_EQ(cpu.HiMem(), 0);
}

} // namespace
} // namespace wren

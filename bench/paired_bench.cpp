// Pairs measured in one process, interleaved, so that the machine's mood
// affects both: the processor's Step against a plain interpreter of the same
// machine, the debugger's continue against the untraced run loop, and the
// run loop looking for endless loops against the plain one.
#include "debug_machine.h"
#include "plain_interpreter.h"
#include "run.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <malloc.h>

namespace {

using Clock = std::chrono::steady_clock;

// LDAm 100, ADDi 1, STAm 100, LDAi 0, STApc 0: a loop that never ends.
constexpr std::int32_t kLoop[] = {16, 100, 2, 1, 128, 100, 32, 0, 256, 0};
constexpr long long kSteps = 1'000'000;

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

/// Seconds that kSteps calls of machine.Step() take.
template <class Machine> double TimeSteps(Machine& machine) {
    const auto start = Clock::now();
    for (long long i = 0; i < kSteps; ++i)
        machine.Step();
    return Seconds(start);
}

// Each Step is aligned to a cache line, so the figures do not move with
// where the linker happens to place them; even so, the plain interpreter's
// time depends on its placement by up to a fifth (scripts/step-placement.sh
// moves both through a cache line), so read the ratio beside the floor.
void BM_StepAgainstPlainSwitch(benchmark::State& state) {
    wren::Wren cpu;
    wren::bench::PlainInterpreter plain;
    wren::bench::FloorStepper floor;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(std::size(kLoop)); ++i) {
        cpu.SetMemory(i, kLoop[i]);
        plain.memory[static_cast<std::size_t>(i)] = kLoop[i];
        floor.memory[static_cast<std::size_t>(i)] = kLoop[i];
    }
    double ours = 0, theirs = 0, least = 0;
    for (auto _ : state) {
        cpu.Reset();
        const double t = TimeSteps(cpu);
        ours += t;
        plain.a = plain.pc = plain.cycles = 0;
        theirs += TimeSteps(plain);
        benchmark::DoNotOptimize(plain.a);
        floor.a = floor.pc = floor.cycles = 0;
        least += TimeSteps(floor);
        benchmark::DoNotOptimize(floor.cycles);
        state.SetIterationTime(t);
    }
    const auto perStep = [&](double seconds) {
        return 1e9 * seconds / static_cast<double>(state.iterations() * kSteps);
    };
    state.counters["ns_per_step"] = perStep(ours);
    state.counters["plain_ns_per_step"] = perStep(theirs);
    state.counters["floor_ns_per_step"] = perStep(least);
    state.counters["ratio"] = ours / theirs;
    state.counters["floor_ratio"] = least / theirs;
}
BENCHMARK(BM_StepAgainstPlainSwitch)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);

// The longest run the machine allows: LDAi 0, STApc 0 until the cycle count
// would pass 2,147,483,647, after 715,827,882 steps. The run loop without an
// observer, breakpoints or loop detection, beside the floor stepper taking
// the same number of steps.
void BM_LongestRunAgainstFloor(benchmark::State& state) {
    wren::Wren cpu;
    cpu.SetMemory(0, 32);
    cpu.SetMemory(2, 256);
    wren::bench::FloorStepper floor;
    floor.memory[0] = 32;
    floor.memory[2] = 256;
    constexpr long long kLongest = 715'827'882;
    double ours = 0, least = 0;
    for (auto _ : state) {
        cpu.Reset();
        auto start = Clock::now();
        const wren::RunResult result = wren::Run(cpu, {kLongest + 1, {}});
        const double t = Seconds(start);
        ours += t;
        if (result.reason != wren::StopReason::Fault || result.steps != kLongest)
            state.SkipWithError("the run did not end at the cycle fault");
        floor.a = floor.pc = floor.cycles = 0;
        start = Clock::now();
        for (long long i = 0; i < kLongest; ++i)
            floor.Step();
        least += Seconds(start);
        benchmark::DoNotOptimize(floor.cycles);
        state.SetIterationTime(t);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["run_s"] = ours / n;
    state.counters["floor_s"] = least / n;
    state.counters["M_steps_per_s"] = static_cast<double>(kLongest) * n / ours / 1e6;
}
BENCHMARK(BM_LongestRunAgainstFloor)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

std::string LoopFile() {
    const auto path = std::filesystem::temp_directory_path() / "wren-bench-debugger.ram";
    std::ofstream(path) << "LDAm 100\nADDi 1\nSTAm 100\nLDAi 0\nSTApc 0\n";
    return path.string();
}

// Continue with ten breakpoints that never hit (beyond the loop) and a
// history of the default size (and none, to see its share), against
// wren::Run on the same program.
void BM_ContinueAgainstRunLoop(benchmark::State& state) {
    const std::string path = LoopFile();
    wren::dap::DebugMachine machine(static_cast<std::size_t>(state.range(0)));
    if (machine.Load(path))
        state.SkipWithError("cannot load");
    std::vector<int> lines;
    std::vector<std::int32_t> addresses;
    for (std::int32_t i = 0; i < 10; ++i)
        addresses.push_back(1000 + 2 * i);
    machine.SetInstructionBreakpoints(addresses);
    wren::Wren cpu;
    cpu.Load_Ram(path);
    std::atomic<bool> pause{false};
    double debugged = 0, plain = 0;
    for (auto _ : state) {
        machine.Edit().Reset();
        auto start = Clock::now();
        const auto stop = machine.Run(pause, kSteps);
        const double t = Seconds(start);
        debugged += t;
        benchmark::DoNotOptimize(stop);
        cpu.Reset();
        start = Clock::now();
        const auto result = wren::Run(cpu, {kSteps, {}});
        plain += Seconds(start);
        benchmark::DoNotOptimize(result);
        state.SetIterationTime(t);
    }
    std::filesystem::remove(path);
    state.counters["ns_per_step"] =
        1e9 * debugged / static_cast<double>(state.iterations() * kSteps);
    state.counters["run_loop_ns_per_step"] =
        1e9 * plain / static_cast<double>(state.iterations() * kSteps);
    state.counters["speed_vs_run_loop"] = plain / debugged;
}
BENCHMARK(BM_ContinueAgainstRunLoop)
    ->Arg(1'000'000)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);

// Loop detection on a program that never repeats (a counter), so that it
// looks at every step and never stops early.
void BM_RunDetectingLoops(benchmark::State& state) {
    wren::Wren cpu;
    for (std::int32_t i = 0; i < 10; ++i)
        cpu.SetMemory(i, kLoop[i]);
    double detecting = 0, plain = 0;
    wren::RunLimits limits{kSteps, {}, true};
    for (auto _ : state) {
        cpu.Reset();
        cpu.SetMemory(100, 0);
        auto start = Clock::now();
        benchmark::DoNotOptimize(wren::Run(cpu, limits));
        const double t = Seconds(start);
        detecting += t;
        cpu.Reset();
        cpu.SetMemory(100, 0);
        start = Clock::now();
        benchmark::DoNotOptimize(wren::Run(cpu, {kSteps, {}}));
        plain += Seconds(start);
        state.SetIterationTime(t);
    }
    state.counters["ns_per_step"] =
        1e9 * detecting / static_cast<double>(state.iterations() * kSteps);
    state.counters["run_loop_ns_per_step"] =
        1e9 * plain / static_cast<double>(state.iterations() * kSteps);
    state.counters["cost"] = detecting / plain - 1;
}
BENCHMARK(BM_RunDetectingLoops)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);

// What a full history of 1,000,000 steps holds on the heap.
void BM_HistoryMemory(benchmark::State& state) {
    const std::string path = LoopFile();
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        wren::dap::DebugMachine machine(1'000'000);
        if (machine.Load(path))
            state.SkipWithError("cannot load");
        std::atomic<bool> pause{false};
        machine.Run(pause, 1'000'000);
        state.counters["history_steps"] = static_cast<double>(machine.HistorySize());
        state.counters["history_MiB"] =
            static_cast<double>(mallinfo2().uordblks - before) / (1 << 20);
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_HistoryMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// "Who wrote this?" at the end of the longest run: word 200 was stored to
// once, at step 2, 715 M steps back; word 100 every sixth step, the last
// one among the kept steps. Words 100 and 101 count as one number of 32
// bits, so no state comes back (an endless loop would stop the run first)
// before the cycle count runs out. Word 101's history (a store every
// 393,216 steps) takes a replay too.
void BM_WhoWroteOnTheLongestRun(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() / "wren-bench-who-wrote.ram";
    std::ofstream(path) << "LDAi 7\nSTAm 200\n"
                           "LDAm 100\nADDi 1\nSTAm 100\nBVS 16\nLDAi 4\nSTApc 0\n"
                           "LDAm 101\nADDi 1\nSTAm 101\nLDAi 4\nSTApc 0\n";
    const std::int32_t word = static_cast<std::int32_t>(state.range(0));
    // 1: who wrote it, and go there; more: a page of its history.
    const auto count = static_cast<std::size_t>(state.range(1));
    wren::dap::DebugMachine machine;
    if (machine.Load(path.string()))
        state.SkipWithError("cannot load");
    std::atomic<bool> pause{false};
    double total = 0;
    for (auto _ : state) {
        while (machine.Run(pause, 1LL << 30).reason == wren::dap::StopReason::Slice) {
        }
        const long long end = machine.StepCount();
        const std::size_t heap = mallinfo2().uordblks;
        const auto start = Clock::now();
        const wren::dap::WordHistory last = machine.WordWrites(word, count);
        if (last.writes.size() != count || (count == 1 && !machine.GoToStep(last.writes[0].step)))
            state.SkipWithError("not as many stores as asked for");
        const double t = Seconds(start);
        total += t;
        state.SetIterationTime(t);
        state.counters["steps_back"] = static_cast<double>(end - machine.StepCount());
        state.counters["run_steps"] = static_cast<double>(end);
        state.counters["heap_MiB_after"] =
            static_cast<double>(static_cast<long long>(mallinfo2().uordblks) -
                                static_cast<long long>(heap)) /
            (1 << 20);
    }
    state.counters["who_wrote_s"] = total / static_cast<double>(state.iterations());
    std::filesystem::remove(path);
}
BENCHMARK(BM_WhoWroteOnTheLongestRun)
    ->Args({200, 1})
    ->Args({100, 1})
    ->Args({101, 50})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

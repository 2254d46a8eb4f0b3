#include "allocation_counter.h"
#include "program_check.h"
#include "wren.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::filesystem::path WriteProgram(const std::string& name, const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path) << text;
    return path;
}

// A five-instruction loop mixing memory, immediate and jump instructions.
void BM_Step(benchmark::State& state) {
    const auto path =
        WriteProgram("wren-bench-loop.ram", "LDAm 100\nADDi 1\nSTAm 100\nLDAi 0\nSTApc 0\n");
    wren::Wren cpu;
    if (cpu.Load_Ram(path))
        state.SkipWithError("cannot load the loop");
    std::filesystem::remove(path);

    const std::size_t before = wren::bench::Allocations();
    unsigned steps = 0;
    for (auto _ : state) {
        cpu.Step();
        // The cycle count would overflow after some 700 million steps.
        if (++steps == (1u << 24)) {
            cpu.Reset();
            steps = 0;
        }
    }
    state.counters["allocs_per_step"] =
        benchmark::Counter(static_cast<double>(wren::bench::Allocations() - before) /
                           static_cast<double>(state.iterations()));
}
BENCHMARK(BM_Step);

// The batched loop on two counters, 1,048,576 steps a call: StepWhile, and
// StepUntil with 0, 10 or 1,000 stop addresses that are never reached (and
// one watched word nothing writes): what breakpoints cost a continue.
void BatchedSteps(benchmark::State& state, bool until, int stopsAt, bool watch) {
    const auto path = WriteProgram("wren-bench-counters.ram",
                                   "LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\n"
                                   "LDAm 101\nADDi 1\nSTAm 101\nLDAi 0\nSTApc 0\n");
    wren::Wren cpu;
    if (cpu.Load_Ram(path))
        state.SkipWithError("cannot load the loop");
    std::filesystem::remove(path);
    wren::StopSet stops;
    for (int i = 0; i < stopsAt; ++i)
        stops.AddAt(30000 + 2 * i);
    if (watch)
        stops.AddWrite(60000);
    constexpr long long kBatch = 1 << 20;
    for (auto _ : state) {
        long long steps = 0;
        if (until)
            benchmark::DoNotOptimize(cpu.StepUntil(kBatch, steps, stops));
        else
            cpu.StepWhile(kBatch, steps);
        if (cpu.Cycles() > 2'000'000'000)
            cpu.Reset();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK_CAPTURE(BatchedSteps, step_while, false, 0, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BatchedSteps, step_until_no_stops, true, 0, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BatchedSteps, step_until_10_stops, true, 10, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BatchedSteps, step_until_1000_stops, true, 1000, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BatchedSteps, step_until_a_watch, true, 0, true)->Unit(benchmark::kMillisecond);

void BM_LoadRamFullMemory(benchmark::State& state) {
    std::string program;
    for (int i = 0; i < 32768; ++i)
        program += "LDAi " + std::to_string(i * 7) + "\n";
    const auto path = WriteProgram("wren-bench-full.ram", program);
    wren::Wren cpu;
    for (auto _ : state) {
        auto error = cpu.Load_Ram(path);
        benchmark::DoNotOptimize(error);
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * program.size()));
}
BENCHMARK(BM_LoadRamFullMemory)->Unit(benchmark::kMillisecond);

// A full-memory program where every record gives the checker something to
// look at: a comment, a rounded operand, a near-miss mnemonic.
void BM_CheckFullMemory(benchmark::State& state) {
    std::string program;
    for (int i = 0; i < 32768; ++i) {
        program += i % 3 == 0 ? "ldai " : "LDAi ";
        program += std::to_string(i);
        program += i % 3 == 1 ? ".5 {x}\n" : " {x}\n";
    }
    const auto path = WriteProgram("wren-bench-check.ram", program);
    std::size_t findings = 0;
    for (auto _ : state) {
        const auto result = wren::CheckProgram(path);
        findings = result.findings.size();
        benchmark::DoNotOptimize(findings);
    }
    std::filesystem::remove(path);
    state.counters["findings"] = static_cast<double>(findings);
}
BENCHMARK(BM_CheckFullMemory)->Unit(benchmark::kMillisecond);

void BM_Disassemble(benchmark::State& state) {
    const auto path = WriteProgram("wren-bench-dis.ram", "LDAi -123456\nSTAm 65000\nADDpc 0\n");
    wren::Wren cpu;
    if (cpu.Load_Ram(path))
        state.SkipWithError("cannot load");
    std::filesystem::remove(path);
    std::int32_t location = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(cpu.Disassemble(location));
        location = (location + 2) % 6;
    }
}
BENCHMARK(BM_Disassemble);

} // namespace

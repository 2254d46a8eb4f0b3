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

// Grading a class: 1,000 submissions of 10 cases, each up to 10,000 steps.
#include "grade.h"
#include "grade_cases.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The example's correct solution, a wrong one, an endless loop (its state
// repeats, which grading finds after a few steps) and a counter that never
// stops either (no state repeats: it runs every case to its step limit), in
// equal shares.
const char* const kPrograms[] = {
    "LDAm 100\nADDm 101\nSTAm 102\nLDAi 0\nSTAm 103\nLDAm 200\nADDi 65535\nBVS 20\nLDAi 36\n"
    "STApc 0\nADDm 103\nADDi 1\nSTAm 103\nLDAm 11\nADDi 1\nSTAm 11\nLDAi 10\nSTApc 0\n",
    "LDAm 100\nADDm 100\nSTAm 102\n",
    "LDAm 100\nADDm 101\nSTAm 102\nLDAi 0\nSTApc 0\n",
    "LDAm 300\nADDi 1\nSTAm 300\nLDAi 0\nSTApc 0\n",
};

void BM_GradeClass(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "wren-bench-grade";
    std::filesystem::create_directories(dir);
    std::string toml = "steps = 10000\n";
    for (int i = 0; i < 10; ++i)
        toml += "[[case]]\nset = { 100 = " + std::to_string(i) +
                ", 101 = 5, 200 = " + std::to_string(i + 1) +
                " }\n[case.expect]\nmem = { 102 = " + std::to_string(i + 5) + " }\n";
    std::ofstream(dir / "cases.toml") << toml;
    std::vector<std::string> files;
    for (int i = 0; i < 1000; ++i) {
        files.push_back((dir / ("s" + std::to_string(i) + ".ram")).string());
        std::ofstream(files.back()) << kPrograms[i % 4];
    }
    std::optional<wren::grade::CaseFileError> error;
    const auto cases = wren::grade::ReadCaseFile(dir / "cases.toml", error);
    if (error)
        state.SkipWithError(error->message.c_str());

    const auto threads = static_cast<unsigned>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(wren::grade::GradeAll(cases, files, 1, threads));
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_GradeClass)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

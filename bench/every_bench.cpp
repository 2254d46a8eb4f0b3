// Every input of the multiplication example's ranges, [0, 200] x [1, 200],
// for the model answer and for a submission, against the same number of
// steps in one run of the run loop: the cost of starting 40,200 runs.
#include "grade.h"
#include "grade_cases.h"
#include "run.h"
#include "wren.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

const std::string kExample = WREN_SOURCE_DIR "/examples/grading/multiply/";

double Seconds(const std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_EveryInputAgainstTheRunLoop(benchmark::State& state) {
    std::optional<wren::grade::CaseFileError> error;
    for (auto _ : state) {
        // The model answer on every input, then a submission on every input.
        const auto start = std::chrono::steady_clock::now();
        wren::grade::CaseFile cases = wren::grade::ReadCaseFile(kExample + "every.toml", error);
        if (error || (error = wren::grade::ResolveReference(cases, 1))) {
            state.SkipWithError(error->message.c_str());
            return;
        }
        const auto result =
            wren::grade::GradeSubmission(cases, kExample + "submissions/correct.ram", 1);
        const double graded = Seconds(start);
        // The steps those runs took: each input's run, summed, twice (the
        // submission is the model answer's twin).
        auto cpu = std::make_unique<wren::Wren>();
        long long steps = 0;
        for (std::int32_t a = 0; a <= 200; ++a)
            for (std::int32_t b = 1; b <= 200; ++b) {
                cpu->Clear();
                (void)cpu->Load_Ram(kExample + "model.ram");
                cpu->SetMemory(100, a);
                cpu->SetMemory(101, b);
                steps += 2 * wren::Run(*cpu, wren::RunLimits{}).steps;
            }
        // As many steps of the same program in one run of the run loop.
        cpu->Clear();
        (void)cpu->Load_Ram(kExample + "model.ram");
        cpu->SetMemory(100, 0);
        cpu->SetMemory(101, 65535);
        wren::RunLimits limits;
        limits.steps = steps;
        limits.detectLoops = false;
        const auto loopStart = std::chrono::steady_clock::now();
        long long ran = 0;
        while (ran < steps) {
            cpu->Reset();
            cpu->SetMemory(101, 65535);
            limits.steps = steps - ran;
            ran += wren::Run(*cpu, limits).steps;
        }
        const double loop = Seconds(loopStart);
        state.counters["ratio"] = graded / loop;
        state.counters["graded_s"] = graded;
        state.counters["run_loop_s"] = loop;
        state.counters["steps"] = static_cast<double>(steps);
        benchmark::DoNotOptimize(result.score);
    }
}
BENCHMARK(BM_EveryInputAgainstTheRunLoop)->Unit(benchmark::kMillisecond)->Iterations(3);

// A class of 300 on two such cases, on two threads: a third correct, a
// third wrong on factors of 128 or more, a third adding once too often.
void BM_ClassOnEveryInput(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "wren-bench-every";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "cases.toml")
        << "reference = \"" << kExample << "model.ram\"\n"
        << "[[case]]\nevery = { 100 = [0, 200], 101 = [1, 200] }\n"
           "[case.expect]\nmem = { 102 = \"same\" }\n"
           "[[case]]\nevery = { 100 = [0, 200], 101 = [1, 200] }\n"
           "[case.expect]\nmem = { 102 = \"same\" }\ncycles_at_most = \"same\"\n";
    const std::string programs[] = {"correct.ram", "large-factor.ram", "one-too-many.ram"};
    std::vector<std::string> files;
    for (int i = 0; i < 300; ++i) {
        files.push_back((dir / ("s" + std::to_string(i) + ".ram")).string());
        std::filesystem::copy_file(kExample + "submissions/" + programs[i % 3], files.back(),
                                   std::filesystem::copy_options::overwrite_existing);
    }
    std::optional<wren::grade::CaseFileError> error;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        wren::grade::CaseFile cases = wren::grade::ReadCaseFile(dir / "cases.toml", error);
        if (error || (error = wren::grade::ResolveReference(cases, 1))) {
            state.SkipWithError(error->message.c_str());
            return;
        }
        const auto results = wren::grade::GradeAll(cases, files, 1, 2);
        state.counters["seconds"] = Seconds(start);
        benchmark::DoNotOptimize(results.size());
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ClassOnEveryInput)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

// Every input of the multiplication example's ranges, [0, 200] x [1, 200],
// for the model answer and for a submission, against the same number of
// steps in one run of the run loop: the cost of starting 40,200 runs.
#include "grade.h"
#include "grade_cases.h"
#include "run.h"
#include "wren.h"

#include <benchmark/benchmark.h>

#include <chrono>
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
        // The steps those runs took: each input's run, summed, twice.
        long long steps = 0;
        for (long long a = 0; a <= 200; ++a)
            for (long long b = 1; b <= 200; ++b)
                steps += 7 * b + 9; // the model's steps: 7 a round, 9 to start and end
        steps *= 2;
        // As many steps of the same program in one run of the run loop.
        auto cpu = std::make_unique<wren::Wren>();
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

} // namespace

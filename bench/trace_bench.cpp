// What one traced step costs wren-trace as text and as JSON Lines, output
// formatting included and writing left out.
#include "run.h"
#include "run_report.h"
#include "wren.h"

#include <benchmark/benchmark.h>

namespace {

// LDAm 100, ADDi 1, STAm 100, LDAi 0, STApc 0: a loop that never ends.
void LoadLoop(wren::Wren& cpu) {
    const std::int32_t words[] = {16, 100, 2, 1, 128, 100, 32, 0, 256, 0};
    for (std::int32_t i = 0; i < 10; ++i)
        cpu.SetMemory(i, words[i]);
}

template <bool kJson> class Formatter : public wren::RunObserver {
public:
    explicit Formatter(const wren::Wren& cpu) : cpu_(cpu) {}
    void Before(std::int32_t at) override {
        listing_ = cpu_.Disassemble(at);
        target_ = wren::cli::StoreTarget(cpu_, at);
    }
    void After(long long step, std::int32_t at) override {
        if constexpr (kJson)
            bytes_ +=
                wren::cli::JsonLine(wren::cli::StepJson(step, at, listing_, cpu_, target_)).size();
        else
            bytes_ += wren::cli::StepText(listing_, cpu_, target_).size();
    }
    std::size_t bytes_ = 0;

private:
    const wren::Wren& cpu_;
    std::string listing_;
    std::optional<std::int32_t> target_;
};

template <bool kJson> void BM_TraceSteps(benchmark::State& state) {
    constexpr long long kSteps = 100000;
    for (auto _ : state) {
        wren::Wren cpu;
        LoadLoop(cpu);
        Formatter<kJson> formatter(cpu);
        const auto result = wren::Run(cpu, {kSteps, {}}, &formatter);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(formatter.bytes_);
    }
    state.counters["steps_per_second"] = benchmark::Counter(
        static_cast<double>(kSteps), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_TraceSteps<false>)->Name("BM_TraceSteps/text")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TraceSteps<true>)->Name("BM_TraceSteps/json")->Unit(benchmark::kMillisecond);

void BM_RunUnobserved(benchmark::State& state) {
    constexpr long long kSteps = 1000000;
    for (auto _ : state) {
        wren::Wren cpu;
        LoadLoop(cpu);
        benchmark::DoNotOptimize(wren::Run(cpu, {kSteps, {}}));
    }
    state.counters["steps_per_second"] = benchmark::Counter(
        static_cast<double>(kSteps), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_RunUnobserved)->Unit(benchmark::kMillisecond);

} // namespace

#include "grade.h"

#include "program_check.h"
#include "run_report.h"
#include "wren.h"

#include <deque>
#include <memory>

namespace wren::grade {

namespace {

std::uint64_t SplitMix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Keeps the last few traced lines of a replayed run.
class Tail : public RunObserver {
public:
    explicit Tail(const Wren& cpu) : cpu_(cpu) {}
    void Before(std::int32_t at) override { listing_ = cpu_.Disassemble(at); }
    void After(long long, std::int32_t) override {
        lines_.push_back(cli::StepText(listing_, cpu_));
        if (lines_.size() > kLastSteps)
            lines_.pop_front();
    }
    std::vector<std::string> Lines() const { return {lines_.begin(), lines_.end()}; }

private:
    const Wren& cpu_;
    std::string listing_;
    std::deque<std::string> lines_;
};

cli::RunSpec SpecFor(const Case& c, std::size_t index, std::uint64_t seed) {
    cli::RunSpec spec;
    spec.limits.steps = c.steps;
    if (c.stopAt)
        spec.limits.breaks.push_back(*c.stopAt);
    spec.sets = c.sets;
    for (const auto& word : c.random)
        spec.sets.emplace_back(word.address, Draw(seed, index, word));
    // Expected words, consecutive ones in one range, so the replay shows them.
    for (const auto& [address, value] : c.expect.mem) {
        if (!spec.dumps.empty() && spec.dumps.back().to + 1 == address)
            spec.dumps.back().to = address;
        else
            spec.dumps.push_back({address, address});
    }
    return spec;
}

void Compare(const char* what, std::int32_t expected, std::int32_t actual, CaseResult& result) {
    if (expected != actual)
        result.mismatches.push_back({what, std::to_string(expected), std::to_string(actual)});
}

void CheckExpectations(const Expectations& expect, const Wren& cpu, CaseResult& result) {
    if (expect.a)
        Compare("a", *expect.a, cpu.Accumulator(), result);
    if (expect.pc)
        Compare("pc", *expect.pc, cpu.PCounter(), result);
    if (expect.v && *expect.v != cpu.Overflow())
        result.mismatches.push_back(
            {"v", *expect.v ? "true" : "false", cpu.Overflow() ? "true" : "false"});
    for (const auto& [address, value] : expect.mem)
        Compare(("mem[" + std::to_string(address) + "]").c_str(), value, cpu.Memory(address),
                result);
    if (expect.cyclesAtMost && cpu.Cycles() > *expect.cyclesAtMost)
        result.mismatches.push_back({"cycles", "at most " + std::to_string(*expect.cyclesAtMost),
                                     std::to_string(cpu.Cycles())});
}

// Runs the case once more with a tracer: failures are rare, so the fast path
// traces nothing.
std::vector<std::string> Replay(const std::string& file, const cli::RunSpec& spec) {
    auto cpu = std::make_unique<Wren>();
    if (cpu->Load_Ram(file))
        return {};
    cli::ApplySets(spec, *cpu);
    Tail tail(*cpu);
    const RunResult run = Run(*cpu, spec.limits, &tail);
    std::vector<std::string> lines = tail.Lines();
    lines.push_back(cli::EndText(run, *cpu));
    return lines;
}

void GradeCase(const Case& c, std::size_t index, const std::string& file, std::uint64_t seed,
               CaseResult& result) {
    result.spec = SpecFor(c, index, seed);
    result.replay = cli::TraceCommand(result.spec, file);

    auto cpu = std::make_unique<Wren>();
    if (const auto error = cpu->Load_Ram(file)) {
        result.outcome = Outcome::LoadError;
        result.detail = "the file did not load: " + cli::LoadErrorText(file, *error);
        return;
    }
    if (cpu->HiMem() == 0) {
        result.outcome = Outcome::Empty;
        result.detail = "the file holds no instruction";
        return;
    }
    cli::ApplySets(result.spec, *cpu);
    const RunResult run = Run(*cpu, result.spec.limits);
    switch (run.reason) {
    case StopReason::StepLimit:
        result.outcome = Outcome::DidNotStop;
        result.detail = "did not stop within " + std::to_string(c.steps) + " steps";
        break;
    case StopReason::Fault:
        result.outcome = Outcome::Fault;
        result.detail = "machine fault after " + std::to_string(run.steps) +
                        (run.steps == 1 ? " step: " : " steps: ") + run.fault;
        break;
    case StopReason::NoInstruction:
    case StopReason::Break:
        CheckExpectations(c.expect, *cpu, result);
        result.outcome = result.mismatches.empty() ? Outcome::Passed : Outcome::WrongResult;
        result.detail = result.mismatches.empty() ? "" : "wrong result";
        break;
    }
    if (result.outcome == Outcome::Passed)
        result.score = c.points;
    else
        result.lastSteps = Replay(file, result.spec);
}

} // namespace

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Passed: return "passed";
    case Outcome::WrongResult: return "wrong-result";
    case Outcome::DidNotStop: return "did-not-stop";
    case Outcome::Fault: return "fault";
    case Outcome::LoadError: return "load-error";
    case Outcome::Empty: return "empty";
    case Outcome::Error: return "error";
    }
    return "error";
}

std::int32_t Draw(std::uint64_t seed, std::size_t index, const RandomWord& word) {
    const std::uint64_t span =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(word.hi) - word.lo) + 1;
    const std::uint64_t bits =
        SplitMix(SplitMix(SplitMix(seed) ^ index) ^ static_cast<std::uint32_t>(word.address));
    return static_cast<std::int32_t>(word.lo + static_cast<std::int64_t>(bits % span));
}

SubmissionResult GradeSubmission(const CaseFile& cases, const std::string& file,
                                 std::uint64_t seed) {
    SubmissionResult result;
    result.file = file;
    try {
        for (const Finding& finding : CheckProgram(file).findings) {
            std::string text = cli::FindingText(file, finding);
            text.pop_back();
            result.feedback.push_back(std::move(text));
        }
    } catch (const std::exception& e) {
        result.feedback.push_back(file + ": the checker failed: " + e.what());
    }

    result.cases.resize(cases.cases.size());
    for (std::size_t i = 0; i < cases.cases.size(); ++i) {
        const Case& c = cases.cases[i];
        CaseResult& r = result.cases[i];
        r.c = &c;
        try {
            GradeCase(c, i, file, seed, r);
        } catch (const std::exception& e) {
            r.outcome = Outcome::Error;
            r.detail = std::string("grading this case failed: ") + e.what();
            r.score = 0;
        }
        result.maxScore += c.points;
        result.score += r.score;
        ++(r.outcome == Outcome::Passed ? result.passed : result.failed);
    }
    return result;
}

} // namespace wren::grade

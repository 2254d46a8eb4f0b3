#include "grade.h"

#include "program_check.h"
#include "run_report.h"
#include "wren.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>
#include <thread>

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
    void Before(std::int32_t at) override {
        listing_ = cpu_.Disassemble(at);
        target_ = wren::cli::StoreTarget(cpu_, at);
    }
    void After(long long, std::int32_t) override {
        lines_.push_back(cli::StepText(listing_, cpu_, target_));
        if (lines_.size() > kLastSteps)
            lines_.pop_front();
    }
    std::vector<std::string> Lines() const { return {lines_.begin(), lines_.end()}; }

private:
    const Wren& cpu_;
    std::string listing_;
    std::optional<std::int32_t> target_;
    std::deque<std::string> lines_;
};

cli::RunSpec SpecFor(const Case& c, std::size_t index, std::uint64_t seed) {
    cli::RunSpec spec;
    spec.limits.steps = c.steps;
    spec.limits.detectLoops = true;
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

// Runs the case once more to show its last steps: failures are rare, so the
// first run traces nothing, and the replay traces only the steps it shows.
// Runs are deterministic, so the replay ends exactly where the first run did.
std::vector<std::string> Replay(const std::string& file, const cli::RunSpec& spec,
                                const RunResult& first, Wren& cpu) {
    const long long steps = first.steps;
    cpu.Clear();
    if (cpu.Load_Ram(file))
        return {};
    cli::ApplySets(spec, cpu);
    RunResult quiet;
    // The replay runs in two parts; the loop the first run found ends it
    // where it ended, whatever each part would see on its own.
    RunLimits limits = spec.limits;
    limits.detectLoops = false;
    if (steps > static_cast<long long>(kLastSteps)) {
        RunLimits untraced = limits;
        untraced.steps = steps - static_cast<long long>(kLastSteps);
        quiet = Run(cpu, untraced);
    }
    RunLimits traced = limits;
    traced.steps = (first.reason == StopReason::Loop ? steps : limits.steps) - quiet.steps;
    Tail tail(cpu);
    RunResult run = Run(cpu, traced, &tail);
    run.steps += quiet.steps;
    if (first.reason == StopReason::Loop) {
        run.reason = StopReason::Loop;
        run.loopFrom = first.loopFrom;
    }
    std::vector<std::string> lines = tail.Lines();
    lines.push_back(cli::EndText(run, cpu));
    return lines;
}

// Case number index's inputs, and the wren-trace command that replays it.
void StartCase(const Case& c, std::size_t index, const std::string& file, std::uint64_t seed,
               CaseResult& result) {
    result.c = &c;
    result.spec = SpecFor(c, index, seed);
    // The replay looks for loops only where one was found; elsewhere the
    // option would change nothing.
    cli::RunSpec shown = result.spec;
    shown.limits.detectLoops = false;
    result.replay = cli::TraceCommand(shown, file);
}

// Adds a case's outcome to the submission's totals.
void Count(const CaseResult& r, SubmissionResult& result) {
    result.maxScore += r.c->points;
    result.score += r.score;
    ++(r.outcome == Outcome::Passed ? result.passed : result.failed);
}

void GradeCase(const Case& c, std::size_t index, const std::string& file, std::uint64_t seed,
               Wren& cpu, CaseResult& result) {
    StartCase(c, index, file, seed, result);
    cpu.Clear();
    if (const auto error = cpu.Load_Ram(file)) {
        result.outcome = Outcome::LoadError;
        result.detail = "the file did not load: " + cli::LoadErrorText(file, *error);
        return;
    }
    if (cpu.HiMem() == 0) {
        result.outcome = Outcome::Empty;
        result.detail = "the file holds no instruction";
        return;
    }
    cli::ApplySets(result.spec, cpu);
    const RunResult run = Run(cpu, result.spec.limits);
    result.steps = run.steps;
    result.cycles = cpu.Cycles();
    switch (run.reason) {
    case StopReason::StepLimit:
        result.outcome = Outcome::DidNotStop;
        result.detail = "did not stop within " + std::to_string(c.steps) + " steps";
        break;
    case StopReason::Loop:
        result.replay = cli::TraceCommand(result.spec, file);
        result.outcome = Outcome::EndlessLoop;
        result.detail = "endless loop: the state at step " + std::to_string(run.steps) +
                        " repeats step " + std::to_string(run.loopFrom) + " (PC " +
                        std::to_string(cpu.PCounter()) + ")";
        break;
    case StopReason::Fault:
        result.outcome = Outcome::Fault;
        result.detail = "machine fault after " + cli::StepsText(run.steps) + ": " + run.fault;
        break;
    case StopReason::NoInstruction:
    case StopReason::Break:
        CheckExpectations(c.expect, cpu, result);
        result.outcome = result.mismatches.empty() ? Outcome::Passed : Outcome::WrongResult;
        result.detail = result.mismatches.empty() ? "" : "wrong result";
        break;
    }
    if (result.outcome == Outcome::Passed)
        result.score = c.points;
    else
        result.lastSteps = Replay(file, result.spec, run, cpu);
}

// Why a reference run cannot stand as the model answer, or nothing.
std::optional<std::string> ReferenceProblem(const RunResult& run, const Case& c) {
    switch (run.reason) {
    case StopReason::NoInstruction:
    case StopReason::Break: return std::nullopt;
    case StopReason::Fault: return "faults after " + cli::StepsText(run.steps) + ": " + run.fault;
    case StopReason::StepLimit:
    case StopReason::Loop:
        return "does not end within the case's " + std::to_string(c.steps) + " steps";
    }
    return "did not run";
}

} // namespace

std::optional<CaseFileError> ResolveReference(CaseFile& cases, std::uint64_t seed) {
    const std::string reference = cases.reference.string();
    auto cpu = std::make_unique<Wren>();
    for (std::size_t i = 0; i < cases.cases.size(); ++i) {
        Case& c = cases.cases[i];
        if (c.expect.same.empty())
            continue;
        const std::string where = "case '" + c.name + "': the reference " + reference;
        cpu->Clear();
        if (const auto error = cpu->Load_Ram(reference))
            return CaseFileError{
                c.line, where + " does not load: " + cli::LoadErrorText(reference, *error)};
        const cli::RunSpec spec = SpecFor(c, i, seed);
        cli::ApplySets(spec, *cpu);
        const RunResult run = Run(*cpu, spec.limits);
        if (const auto problem = ReferenceProblem(run, c))
            return CaseFileError{c.line, where + " " + *problem};
        Expectations& e = c.expect;
        for (const std::string& name : e.same) {
            if (name == "a")
                e.a = cpu->Accumulator();
            else if (name == "v")
                e.v = cpu->Overflow();
            else if (name == "pc")
                e.pc = cpu->PCounter();
            else if (name == "cycles_at_most")
                e.cyclesAtMost = cpu->Cycles();
            else if (name.starts_with("mem."))
                e.mem[std::stoi(name.substr(4))] = cpu->Memory(std::stoi(name.substr(4)));
        }
    }
    return std::nullopt;
}

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Passed: return "passed";
    case Outcome::WrongResult: return "wrong-result";
    case Outcome::DidNotStop: return "did-not-stop";
    case Outcome::EndlessLoop: return "endless-loop";
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

    // One processor for every case, cleared in between: a new one per case
    // would cost fresh pages from the system each time.
    auto cpu = std::make_unique<Wren>();
    result.cases.resize(cases.cases.size());
    for (std::size_t i = 0; i < cases.cases.size(); ++i) {
        const Case& c = cases.cases[i];
        CaseResult& r = result.cases[i];
        r.c = &c;
        try {
            GradeCase(c, i, file, seed, *cpu, r);
        } catch (const std::exception& e) {
            r.outcome = Outcome::Error;
            r.detail = std::string("grading this case failed: ") + e.what();
            r.score = 0;
        }
        Count(r, result);
    }
    return result;
}

SubmissionResult UngradableSubmission(const CaseFile& cases, const std::string& file,
                                      std::uint64_t seed, const std::string& why) {
    SubmissionResult result;
    result.file = file;
    result.cases.resize(cases.cases.size());
    for (std::size_t i = 0; i < cases.cases.size(); ++i) {
        CaseResult& r = result.cases[i];
        StartCase(cases.cases[i], i, file, seed, r);
        r.outcome = Outcome::LoadError;
        r.detail = "the file did not load: " + file + ": " + why;
        Count(r, result);
    }
    return result;
}

std::vector<SubmissionResult> GradeAll(const CaseFile& cases, const std::vector<std::string>& files,
                                       std::uint64_t seed, unsigned threads) {
    std::vector<SubmissionResult> results(files.size());
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i; (i = next++) < files.size();)
            results[i] = GradeSubmission(cases, files[i], seed);
    };
#if defined(__cpp_lib_jthread)
    std::vector<std::jthread> pool;
    for (unsigned t = 1; t < std::min<std::size_t>(threads, files.size()); ++t)
        pool.emplace_back(worker);
#else
    // The WebAssembly build has one thread: every submission on it.
    (void)threads;
#endif
    worker();
    return results;
}

} // namespace wren::grade

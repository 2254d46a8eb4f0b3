#include "grade.h"

#include "image_runner.h"
#include "input_plan.h"
#include "inputs.h"

#include "program_check.h"
#include "run_report.h"
#include "wren.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <deque>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace wren::grade {

namespace {

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

// The page's link fragment: the program, the words to set, the case's name.
std::string PageLink(std::string_view bytes, const cli::RunSpec& spec, const std::string& name) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string link = "program=";
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16;
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        if (n > 1)
            group |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        if (n > 2)
            group |= static_cast<std::uint8_t>(bytes[i + 2]);
        for (std::size_t k = 0; k <= n; ++k)
            link += kDigits[(group >> (18 - 6 * k)) & 63];
    }
    link += "&set=";
    for (std::size_t i = 0; i < spec.sets.size(); ++i)
        link += (i > 0 ? "," : "") + std::to_string(spec.sets[i].first) + ":" +
                std::to_string(spec.sets[i].second);
    link += "&case=";
    for (const char ch : name) {
        const auto u = static_cast<unsigned char>(ch);
        if (std::isalnum(u) || ch == '-' || ch == '_' || ch == '.' || ch == '~') {
            link += ch;
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            link += '%';
            link += kHex[u >> 4];
            link += kHex[u & 15];
        }
    }
    return link;
}

// The wren-trace command that replays spec's run of file. It looks for
// loops only where one was found (RunOne says so); elsewhere the option
// would change nothing.
std::string ReplayCommand(const cli::RunSpec& spec, const std::string& file) {
    cli::RunSpec shown = spec;
    shown.limits.detectLoops = false;
    return cli::TraceCommand(shown, file);
}

// Case number index's inputs, and the wren-trace command that replays it.
void StartCase(const Case& c, std::size_t index, const std::string& file, std::uint64_t seed,
               CaseResult& result) {
    result.c = &c;
    result.spec = SpecFor(c, index, seed);
    result.replay = ReplayCommand(result.spec, file);
}

// Adds a case's outcome to the submission's totals.
void Count(const CaseResult& r, SubmissionResult& result) {
    result.maxScore += r.c->points;
    result.score += r.score;
    ++(r.outcome == Outcome::Passed ? result.passed : result.failed);
}

// Runs result.spec's inputs once on file and judges the run against expect;
// a failure gets its last steps.
void RunOne(const Case& c, const std::string& file, const Expectations& expect, Wren& cpu,
            CaseResult& result) {
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
        CheckExpectations(expect, cpu, result);
        result.outcome = result.mismatches.empty() ? Outcome::Passed : Outcome::WrongResult;
        result.detail = result.mismatches.empty() ? "" : "wrong result";
        break;
    }
    if (result.outcome == Outcome::Passed)
        result.score = c.points;
    else
        result.lastSteps = Replay(file, result.spec, run, cpu);
}

// A random case that failed: a search for a smaller failing input; the
// result then shows that one.
void SearchFromDraw(const Case& c, const CaseFile& cases, const std::string& file, Wren& cpu,
                    CaseResult& result, Expectations& used) {
    ImageRunner mine;
    ImageRunner model;
    const ExpectationCheck check(c);
    if (mine.Load(file) || (check.Slots() > 0 && model.Load(cases.reference.string())))
        return;
    std::vector<RandomWord> words = c.random;
    std::sort(words.begin(), words.end(),
              [](const RandomWord& x, const RandomWord& y) { return x.address < y.address; });
    std::vector<std::int32_t> addresses;
    std::vector<std::int32_t> drawn;
    for (const RandomWord& w : words) {
        addresses.push_back(w.address);
        for (const auto& [address, value] : result.spec.sets)
            if (address == w.address)
                drawn.push_back(value);
    }
    std::vector<std::int32_t> values(check.Slots());
    const auto fails = [&](const std::vector<std::int32_t>& input) {
        if (check.Slots() > 0) {
            // An input the model answer cannot answer proves nothing.
            if (!Ended(model.Run(c.sets, addresses, input.data(), result.spec.limits)))
                return false;
            check.Fill(model.Cpu(), values.data());
        }
        const RunResult run = mine.Run(c.sets, addresses, input.data(), result.spec.limits);
        return !(Ended(run) && check.Met(mine.Cpu(), values.data()));
    };
    InputsFound found = SearchSmaller(words, drawn, fails);
    if (found.smallest != found.drawn) {
        // The smaller input, with what the model leaves on it.
        std::vector<std::int32_t> smallest;
        for (const auto& [address, value] : found.smallest)
            smallest.push_back(value);
        fails(smallest);
        CaseResult again;
        again.c = &c;
        again.spec = result.spec;
        again.spec.sets = c.sets;
        for (const auto& word : found.smallest)
            again.spec.sets.push_back(word);
        again.replay = ReplayCommand(again.spec, file);
        Expectations expect = check.With(check.Slots() > 0 ? values.data() : nullptr);
        RunOne(c, file, expect, cpu, again);
        if (again.outcome != Outcome::Passed) {
            result = std::move(again);
            used = std::move(expect);
        }
    }
    result.inputs = std::move(found);
}

void GradeCase(const Case& c, std::size_t index, const CaseFile& cases, const std::string& file,
               std::uint64_t seed, Wren& cpu, CaseResult& result) {
    StartCase(c, index, file, seed, result);
    Expectations used = c.expect;
    if (c.every.empty()) {
        RunOne(c, file, c.expect, cpu, result);
        if (result.outcome != Outcome::Passed && !c.random.empty() && result.steps >= 0)
            SearchFromDraw(c, cases, file, cpu, result, used);
    } else {
        ImageRunner runner;
        if (runner.Load(file) || runner.HiMem() == 0) {
            RunOne(c, file, c.expect, cpu, result); // says why, as for any case
            return;
        }
        const InputPlan plan(c, index, seed);
        const EveryRun every = RunEvery(c, plan, runner, FixedWords(c, index, seed));
        if (every.found.failed == 0) {
            result.outcome = Outcome::Passed;
            result.score = c.points;
            result.inputs = every.found;
            return;
        }
        for (const auto& word : every.found.smallest)
            result.spec.sets.push_back(word);
        result.replay = ReplayCommand(result.spec, file);
        const ExpectationCheck check(c);
        used = check.With(check.Slots() > 0 ? c.model.data() + every.smallestIndex * check.Slots()
                                            : nullptr);
        RunOne(c, file, used, cpu, result);
        result.inputs = every.found;
    }
    // A case of one fixed input shows its last steps; one of many inputs
    // also sets the run of the input it shows beside the model answer's.
    if (result.outcome == Outcome::Passed || result.steps < 0 || !result.inputs)
        return;
    const std::string text = ReadText(file);
    result.sideBySide = CompareRuns(text, cases.reference.string(), result.spec, used);
    result.pageLink = PageLink(text, result.spec, c.name);
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
        if (!c.every.empty()) {
            if (auto error = RunModelOnEvery(c, i, seed, reference))
                return error;
            continue;
        }
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
            GradeCase(c, i, cases, file, seed, *cpu, r);
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

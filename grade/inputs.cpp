#include "inputs.h"

#include "opcodes.h"
#include "program_map.h"
#include "run_report.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <limits>
#include <sstream>

namespace wren::grade {

namespace {

std::atomic<InputProgress> gProgress{nullptr};

// How often a long case tells its progress.
constexpr std::uint64_t kEvery = 4096;

} // namespace

void SetInputProgress(InputProgress progress) { gProgress = progress; }

bool Ended(const RunResult& run) {
    return run.reason == StopReason::NoInstruction || run.reason == StopReason::Break;
}

std::string CountText(std::uint64_t count) {
    std::string digits = std::to_string(count);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

std::string InputText(const std::vector<std::pair<std::int32_t, std::int32_t>>& words) {
    std::string out;
    for (const auto& [address, value] : words)
        out += (out.empty() ? "" : " ") + std::to_string(address) + "=" + std::to_string(value);
    return out;
}

// ---- Expectations as quick tests.

ExpectationCheck::ExpectationCheck(const Case& c) : case_(c) {
    const Expectations& e = c.expect;
    const auto slot = [&](const std::string& name) {
        const auto at = std::find(e.same.begin(), e.same.end(), name);
        return at == e.same.end() ? -1 : static_cast<int>(at - e.same.begin());
    };
    slots_ = e.same.size();
    if (e.a)
        tests_.push_back({Kind::A, 0, *e.a, slot("a")});
    if (e.v)
        tests_.push_back({Kind::V, 0, *e.v ? 1 : 0, slot("v")});
    if (e.pc)
        tests_.push_back({Kind::PC, 0, *e.pc, slot("pc")});
    for (const auto& [address, value] : e.mem)
        tests_.push_back({Kind::Mem, address, value, slot("mem." + std::to_string(address))});
    if (e.cyclesAtMost)
        tests_.push_back({Kind::Cycles, 0, *e.cyclesAtMost, slot("cycles_at_most")});
}

void ExpectationCheck::Fill(const Wren& cpu, std::int32_t* model) const {
    for (const Test& t : tests_) {
        if (t.slot < 0)
            continue;
        std::int32_t& out = model[t.slot];
        switch (t.kind) {
        case Kind::A: out = cpu.Accumulator(); break;
        case Kind::V: out = cpu.Overflow() ? 1 : 0; break;
        case Kind::PC: out = cpu.PCounter(); break;
        case Kind::Mem: out = cpu.Words()[t.address]; break;
        case Kind::Cycles: out = cpu.Cycles(); break;
        }
    }
}

bool ExpectationCheck::Met(const Wren& cpu, const std::int32_t* model) const {
    for (const Test& t : tests_) {
        const std::int32_t want = t.slot < 0 ? t.value : model[t.slot];
        switch (t.kind) {
        case Kind::A:
            if (cpu.Accumulator() != want)
                return false;
            break;
        case Kind::V:
            if ((cpu.Overflow() ? 1 : 0) != want)
                return false;
            break;
        case Kind::PC:
            if (cpu.PCounter() != want)
                return false;
            break;
        case Kind::Mem:
            if (cpu.Words()[t.address] != want)
                return false;
            break;
        case Kind::Cycles:
            if (cpu.Cycles() > want)
                return false;
            break;
        }
    }
    return true;
}

Expectations ExpectationCheck::With(const std::int32_t* model) const {
    Expectations e = case_.expect;
    if (model == nullptr)
        return e;
    for (const Test& t : tests_) {
        if (t.slot < 0)
            continue;
        const std::int32_t v = model[t.slot];
        switch (t.kind) {
        case Kind::A: e.a = v; break;
        case Kind::V: e.v = v != 0; break;
        case Kind::PC: e.pc = v; break;
        case Kind::Mem: e.mem[t.address] = v; break;
        case Kind::Cycles: e.cyclesAtMost = v; break;
        }
    }
    return e;
}

// ---- The model answer on every input.

std::vector<std::int32_t> EveryAddresses(const Case& c) {
    std::vector<std::int32_t> addresses;
    for (const RandomWord& w : c.every)
        addresses.push_back(w.address);
    return addresses;
}

RunLimits LimitsOf(const Case& c) {
    RunLimits limits;
    limits.steps = c.steps;
    limits.detectLoops = true;
    if (c.stopAt)
        limits.breaks.push_back(*c.stopAt);
    return limits;
}

std::vector<std::pair<std::int32_t, std::int32_t>> FixedWords(const Case& c, std::size_t index,
                                                              std::uint64_t seed) {
    auto words = c.sets;
    for (const auto& word : c.random)
        words.emplace_back(word.address, Draw(seed, index, word));
    return words;
}

std::optional<CaseFileError> RunModelOnEvery(Case& c, std::size_t index, std::uint64_t seed,
                                             const std::string& reference) {
    const std::string where = "case '" + c.name + "': the reference " + reference;
    ImageRunner runner;
    if (const auto error = runner.Load(reference))
        return CaseFileError{c.line,
                             where + " does not load: " + cli::LoadErrorText(reference, *error)};
    const InputPlan plan(c, index, seed);
    const ExpectationCheck check(c);
    const std::vector<std::int32_t> addresses = EveryAddresses(c);
    const RunLimits limits = LimitsOf(c);
    std::vector<std::int32_t> model(plan.Count() * check.Slots());
    std::optional<CaseFileError> error;
    plan.ForEach([&](std::uint64_t i, const std::int32_t* values) {
        const RunResult run = runner.Run(c.sets, addresses, values, limits);
        if (!Ended(run)) {
            std::vector<std::pair<std::int32_t, std::int32_t>> input;
            for (std::size_t w = 0; w < addresses.size(); ++w)
                input.emplace_back(addresses[w], values[w]);
            const std::string why =
                run.reason == StopReason::Fault
                    ? "faults after " + cli::StepsText(run.steps) + ": " + run.fault
                    : "does not end within the case's " + std::to_string(c.steps) + " steps";
            error = CaseFileError{c.line, where + " " + why + " on the input " + InputText(input)};
            return false;
        }
        check.Fill(runner.Cpu(), model.data() + i * check.Slots());
        if (i % kEvery == 0 && i > 0)
            if (const InputProgress progress = gProgress; progress != nullptr)
                progress(i, plan.Count());
        return true;
    });
    if (error)
        return error;
    c.model = std::move(model);
    return std::nullopt;
}

// ---- A submission on every input.

namespace {

// One condition that holds for exactly the failing inputs among those run,
// or empty; failed says which inputs failed, in the plan's order.
std::string Separate(const Case& c, const InputPlan& plan, const std::vector<bool>& failed) {
    const std::size_t n = plan.Width();
    constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
    std::vector<std::int64_t> failMin(n, kNone), failMax(n, -kNone), passMin(n, kNone),
        passMax(n, -kNone);
    // Pairs of words: whether every failing input has them equal, and whether
    // any passing one does.
    std::vector<char> allFailEqual(n * n, 1), anyPassEqual(n * n, 0);
    bool anyPassing = false;
    plan.ForEach([&](std::uint64_t i, const std::int32_t* v) {
        const bool fail = failed[i];
        anyPassing = anyPassing || !fail;
        for (std::size_t w = 0; w < n; ++w) {
            auto& lo = fail ? failMin[w] : passMin[w];
            auto& hi = fail ? failMax[w] : passMax[w];
            lo = std::min<std::int64_t>(lo, v[w]);
            hi = std::max<std::int64_t>(hi, v[w]);
            for (std::size_t u = w + 1; u < n; ++u) {
                if (fail && v[w] != v[u])
                    allFailEqual[w * n + u] = 0;
                if (!fail && v[w] == v[u])
                    anyPassEqual[w * n + u] = 1;
            }
        }
        return true;
    });
    if (!anyPassing)
        return {};
    const auto name = [&](std::size_t w) { return std::to_string(c.every[w].address); };
    // A word equal to one value: no passing input may have it.
    std::vector<char> passHasIt(n, 0);
    plan.ForEach([&](std::uint64_t i, const std::int32_t* v) {
        if (!failed[i])
            for (std::size_t w = 0; w < n; ++w)
                passHasIt[w] = passHasIt[w] || (failMin[w] == failMax[w] && v[w] == failMin[w]);
        return true;
    });
    for (std::size_t w = 0; w < n; ++w)
        if (failMin[w] == failMax[w] && !passHasIt[w])
            return name(w) + " = " + std::to_string(failMin[w]);
    for (std::size_t w = 0; w < n; ++w)
        for (std::size_t u = w + 1; u < n; ++u)
            if (allFailEqual[w * n + u] && !anyPassEqual[w * n + u])
                return name(w) + " = " + name(u) + " (the two words equal)";
    for (std::size_t w = 0; w < n; ++w) {
        if (passMax[w] < failMin[w])
            return name(w) + " \u2265 " + std::to_string(failMin[w]);
        if (passMin[w] > failMax[w])
            return name(w) + " \u2264 " + std::to_string(failMax[w]);
    }
    return {};
}

} // namespace

EveryRun RunEvery(const Case& c, const InputPlan& plan, ImageRunner& runner,
                  const std::vector<std::pair<std::int32_t, std::int32_t>>& fixed) {
    EveryRun result;
    result.found.total = plan.Total();
    result.found.sampled = plan.Sampled();
    const ExpectationCheck check(c);
    const bool useModel = check.Slots() > 0;
    const std::vector<std::int32_t> addresses = EveryAddresses(c);
    const RunLimits limits = LimitsOf(c);
    std::vector<bool> failed(plan.Count());
    const InputProgress progress = gProgress;
    plan.ForEach([&](std::uint64_t i, const std::int32_t* values) {
        if (i % kEvery == 0 && i > 0 && progress != nullptr)
            progress(i, plan.Count());
        const RunResult run = runner.Run(fixed, addresses, values, limits);
        ++result.found.run;
        const std::int32_t* model = useModel ? c.model.data() + i * check.Slots() : nullptr;
        if (Ended(run) && check.Met(runner.Cpu(), model))
            return true;
        failed[i] = true;
        ++result.found.failed;
        if (result.smallestValues.empty() ||
            SmallerInput(c.every, values, result.smallestValues.data())) {
            result.smallestValues.assign(values, values + addresses.size());
            result.smallestIndex = i;
        }
        return true;
    });
    if (result.found.failed == 0)
        return result;
    for (std::size_t w = 0; w < addresses.size(); ++w)
        result.found.smallest.emplace_back(addresses[w], result.smallestValues[w]);
    result.found.condition = Separate(c, plan, failed);
    return result;
}

// ---- A search from a failing random draw.

InputsFound SearchSmaller(const std::vector<RandomWord>& words, std::vector<std::int32_t> drawn,
                          const std::function<bool(const std::vector<std::int32_t>&)>& fails) {
    constexpr std::uint64_t kBudget = 2000;
    InputsFound found;
    found.run = 1; // the draw
    found.failed = 1;
    for (std::size_t w = 0; w < words.size(); ++w)
        found.drawn.emplace_back(words[w].address, drawn[w]);
    std::vector<std::int32_t> best = drawn;
    const auto tryInput = [&](const std::vector<std::int32_t>& values) {
        ++found.run;
        const bool fail = fails(values);
        found.failed += fail;
        return fail;
    };
    // Each word in address order: its low end if that still fails, or else
    // the least value found by halving the distance to it; again while any
    // word moves.
    for (bool moved = true; moved && found.run < kBudget;) {
        moved = false;
        for (std::size_t w = 0; w < words.size() && found.run < kBudget; ++w) {
            if (best[w] == words[w].lo)
                continue;
            std::vector<std::int32_t> candidate = best;
            candidate[w] = words[w].lo;
            if (tryInput(candidate)) {
                best = candidate;
                moved = true;
                continue;
            }
            std::int64_t passes = words[w].lo; // a value known to pass
            std::int64_t fails_ = best[w];     // one known to fail
            while (fails_ - passes > 1 && found.run < kBudget) {
                candidate[w] = static_cast<std::int32_t>(passes + (fails_ - passes) / 2);
                if (tryInput(candidate))
                    fails_ = candidate[w];
                else
                    passes = candidate[w];
            }
            if (fails_ != best[w]) {
                best[w] = static_cast<std::int32_t>(fails_);
                moved = true;
            }
        }
    }
    for (std::size_t w = 0; w < words.size(); ++w)
        found.smallest.emplace_back(words[w].address, best[w]);
    return found;
}

// ---- A failing run beside the model answer's.

namespace {

// Notes every write to the watched words, with its step and program line.
class WriteTrace : public RunObserver {
public:
    WriteTrace(const Wren& cpu, const std::vector<std::int32_t>& words, const ProgramMap& map)
        : cpu_(cpu), words_(words), map_(map), writes_(words.size()) {}
    void Before(std::int32_t at) override { target_ = wren::StoreTarget(cpu_.Words(), at); }
    void After(long long step, std::int32_t at) override {
        if (target_ < 0)
            return;
        const auto it = std::lower_bound(words_.begin(), words_.end(), target_);
        if (it == words_.end() || *it != target_)
            return;
        const RecordSummary* record = map_.AtAddress(at);
        writes_[static_cast<std::size_t>(it - words_.begin())].push_back(
            {step, record != nullptr ? record->line : 0, cpu_.Words()[target_]});
    }
    std::vector<std::vector<WordWrite>> Take() { return std::move(writes_); }

private:
    const Wren& cpu_;
    const std::vector<std::int32_t>& words_;
    const ProgramMap& map_;
    std::int32_t target_ = -1;
    std::vector<std::vector<WordWrite>> writes_;
};

std::optional<RunSummary> Traced(std::string_view text, const cli::RunSpec& spec,
                                 const std::vector<std::int32_t>& words) {
    const ProgramMap map = MapProgram(text);
    auto cpu = std::make_unique<Wren>();
    if (cpu->LoadText(text))
        return std::nullopt;
    cli::ApplySets(spec, *cpu);
    WriteTrace trace(*cpu, words, map);
    const RunResult run = Run(*cpu, spec.limits, &trace);
    RunSummary summary;
    summary.steps = run.steps;
    summary.cycles = cpu->Cycles();
    summary.end = cli::EndText(run, *cpu);
    summary.writes = trace.Take();
    return summary;
}

} // namespace

std::string ReadText(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

SideBySide CompareRuns(std::string_view program, const std::string& reference,
                       const cli::RunSpec& spec, const Expectations& expect) {
    SideBySide result;
    for (const auto& [address, value] : expect.mem) {
        result.words.push_back(address);
        result.expected.push_back(value);
    }
    if (auto mine = Traced(program, spec, result.words))
        result.mine = std::move(*mine);
    if (!reference.empty())
        result.model = Traced(ReadText(reference), spec, result.words);
    return result;
}

} // namespace wren::grade

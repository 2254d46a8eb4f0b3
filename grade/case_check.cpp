#include "case_check.h"

#include "image_runner.h"
#include "input_plan.h"
#include "inputs.h"
#include "opcodes.h"
#include "program_map.h"
#include "run_report.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <fstream>
#include <limits>
#include <memory>
#include <set>
#include <sstream>

namespace wren::grade {

namespace {

using Words = std::vector<std::pair<std::int32_t, std::int32_t>>;

constexpr std::int32_t Opcode(std::string_view mnemonic) { return FindMnemonic(mnemonic)->opcode; }

// The values a word the cases leave alone is given, to tell a change from
// the model answer; 77 first, as it stands out in a case file.
constexpr std::int32_t kOtherValues[] = {77, 1, -1, 7, 65535};

// A case that asks for the model's registers asks every program to end as
// the model ends, where most tasks leave that free: the hint says so.
constexpr const char* kIfEndMatters = ", if every program must end as the model answer does";

std::string Record(std::string_view mnemonic, std::int64_t operand) {
    return std::string(mnemonic) + " " + std::to_string(operand);
}

// What a run leaves that a case could look at.
struct End {
    StopReason reason = StopReason::NoInstruction;
    std::int32_t a = 0, pc = 0;
    bool v = false;
    std::vector<std::int32_t> words; // the expected words, in the case's order

    End(const RunResult& run, const Wren& cpu, const Case& c)
        // A run that takes a branch always tells no loop from a long run:
        // both fail every case alike.
        : reason(run.reason == StopReason::Loop ? StopReason::StepLimit : run.reason),
          a(cpu.Accumulator()), pc(cpu.PCounter()), v(cpu.Overflow()) {
        for (const auto& [address, value] : c.expect.mem)
            words.push_back(cpu.Memory(address));
    }
    bool operator==(const End&) const = default;

    // Whether c would fail one of the two runs and not the other.
    bool Seen(const End& other, const Case& c) const {
        const auto ended = [](StopReason r) {
            return r == StopReason::NoInstruction || r == StopReason::Break;
        };
        return words != other.words || ended(reason) != ended(other.reason) ||
               (a != other.a && c.expect.a) || (v != other.v && c.expect.v) ||
               (pc != other.pc && c.expect.pc);
    }

    // The registers that differ from other's and that c does not look at:
    // "PC", "A", "V", in that order (where a run ends tells most).
    std::vector<std::string> UnlookedDifferences(const End& other, const Case& c) const {
        std::vector<std::string> out;
        if (pc != other.pc && !c.expect.pc)
            out.emplace_back("PC");
        if (a != other.a && !c.expect.a)
            out.emplace_back("A");
        if (v != other.v && !c.expect.v)
            out.emplace_back("V");
        return out;
    }
};

// The words a program reads before writing them on one input, outside the
// program: text, with change made when one is given, stepped one
// instruction at a time until it ends or reaches the case's limit.
std::set<std::int32_t> ReadsFirst(std::string_view text, const SmallChange* change, const Case& c,
                                  const Words& words) {
    auto cpu = std::make_unique<Wren>();
    (void)cpu->LoadText(text);
    if (change != nullptr && !change->always) {
        cpu->SetMemory(change->address, change->opcode);
        cpu->SetMemory(change->address + 1, change->operand);
    }
    for (const auto& [address, value] : words)
        cpu->SetMemory(address, value);
    std::set<std::int32_t> reads, written;
    const std::int32_t* memory = cpu->Words();
    for (long long step = 0; step < c.steps; ++step) {
        const std::int32_t at = cpu->PCounter();
        if (at < 0 || at + 1 >= Wren::kMemoryWords || FindOpcode(memory[at]) == nullptr ||
            (c.stopAt && *c.stopAt == at))
            break;
        const std::int32_t op = memory[at];
        const std::int32_t n = memory[at + 1];
        if ((op == Opcode("ADDm") || op == Opcode("LDAm")) && n >= cpu->HiMem() &&
            n < Wren::kMemoryWords && !written.contains(n))
            reads.insert(n);
        if (op == Opcode("STAm") && n >= 0 && n < Wren::kMemoryWords)
            written.insert(n);
        // A branch taken always: V set for its one step, then put back.
        const bool taken = change != nullptr && change->always && at == change->address;
        Registers registers = cpu->GetRegisters();
        const bool v = registers.overflow;
        if (taken) {
            registers.overflow = true;
            cpu->SetRegisters(registers);
        }
        try {
            cpu->Step();
        } catch (const MachineError&) {
            break;
        }
        if (taken) {
            registers = cpu->GetRegisters();
            registers.overflow = v;
            cpu->SetRegisters(registers);
        }
    }
    return reads;
}

// Each input a case tries: its sets and draws, and every input of its
// ranges; visit returns false to stop.
void ForEachInput(const Case& c, std::size_t index, std::uint64_t seed,
                  const std::function<bool(const Words&, std::uint64_t)>& visit) {
    const Words fixed = FixedWords(c, index, seed);
    if (c.every.empty()) {
        visit(fixed, 0);
        return;
    }
    InputPlan(c, index, seed).ForEach([&](std::uint64_t i, const std::int32_t* values) {
        Words words = fixed;
        for (std::size_t w = 0; w < c.every.size(); ++w)
            words.emplace_back(c.every[w].address, values[w]);
        return visit(words, i);
    });
}

// The cases, graded as a submission is, but only to know whether any fails:
// the first failing input ends it, and nothing is reported.
class Verdict {
public:
    Verdict(const CaseFile& cases, std::uint64_t seed, ImageRunner& model) : cases_(cases) {
        // Cases of one input first: they catch most changes, and fast.
        for (std::size_t i = 0; i < cases.cases.size(); ++i)
            if (cases.cases[i].every.empty())
                order_.push_back(i);
        for (std::size_t i = 0; i < cases.cases.size(); ++i)
            if (!cases.cases[i].every.empty())
                order_.push_back(i);
        plans_.resize(cases.cases.size());
        fixed_.resize(cases.cases.size());
        model_.resize(cases.cases.size());
        for (std::size_t i = 0; i < cases.cases.size(); ++i) {
            const Case& c = cases.cases[i];
            fixed_[i] = FixedWords(c, i, seed);
            if (!c.every.empty()) {
                plans_[i] = std::make_unique<InputPlan>(c, i, seed);
                continue;
            }
            // The model's values for "same": what the case's expectations
            // already hold, read the way the quick test reads them.
            const ExpectationCheck check(c);
            model_[i].resize(check.Slots());
            if (check.Slots() > 0) {
                (void)model.Run(fixed_[i], {}, nullptr, LimitsOf(c));
                check.Fill(model.Cpu(), model_[i].data());
            }
        }
    }

    /// Whether some case fails the program loaded in runner.
    bool SomeCaseFails(ImageRunner& runner) const {
        if (runner.HiMem() == 0)
            return true;
        for (const std::size_t i : order_) {
            const Case& c = cases_.cases[i];
            const ExpectationCheck check(c);
            const RunLimits limits = LimitsOf(c);
            if (c.every.empty()) {
                const RunResult run = runner.Run(fixed_[i], {}, nullptr, limits);
                if (!(Ended(run) && check.Met(runner.Cpu(), model_[i].data())))
                    return true;
                continue;
            }
            const std::vector<std::int32_t> addresses = EveryAddresses(c);
            bool failed = false;
            plans_[i]->ForEach([&](std::uint64_t n, const std::int32_t* values) {
                const RunResult run = runner.Run(fixed_[i], addresses, values, limits);
                const std::int32_t* model =
                    check.Slots() > 0 ? c.model.data() + n * check.Slots() : nullptr;
                failed = !(Ended(run) && check.Met(runner.Cpu(), model));
                return !failed;
            });
            if (failed)
                return true;
        }
        return false;
    }

private:
    const CaseFile& cases_;
    std::vector<std::size_t> order_;
    std::vector<std::unique_ptr<InputPlan>> plans_;
    std::vector<Words> fixed_;
    std::vector<std::vector<std::int32_t>> model_;
};

// What no case does that would tell "you" from model: what the hint says,
// or nothing when "you" leaves what the model leaves, on every input the
// cases try and with each word either reads before writing (and the case
// leaves alone) holding other values.
std::optional<std::string> TellApart(const CaseFile& cases, std::uint64_t seed,
                                     std::string_view text, const SmallChange& change,
                                     ImageRunner& model, ImageRunner& you) {
    // The words some case sets, draws or ranges over.
    std::set<std::int32_t> inputs;
    for (const Case& c : cases.cases) {
        for (const auto& [address, value] : c.sets)
            inputs.insert(address);
        for (const RandomWord& w : c.random)
            inputs.insert(w.address);
        for (const RandomWord& w : c.every)
            inputs.insert(w.address);
    }
    const auto looks = [](const std::vector<std::string>& registers) {
        std::string out;
        for (std::size_t i = 0; i < registers.size(); ++i)
            out += (i == 0 ? "" : i + 1 == registers.size() ? " or " : ", ") + registers[i];
        return out;
    };
    // One expectation is enough: the first register's.
    const auto expectations = [](const std::vector<std::string>& registers) {
        std::string name = registers.front();
        for (char& ch : name)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return name + " = \"same\"";
    };
    std::optional<std::string> hint;
    for (std::size_t i = 0; i < cases.cases.size() && !hint; ++i) {
        const Case& c = cases.cases[i];
        const RunLimits limits = LimitsOf(c);
        const std::string to = " to '" + c.name + "'";
        ForEachInput(c, i, seed, [&](const Words& words, std::uint64_t n) {
            const End mine(model.Run(words, {}, nullptr, limits), model.Cpu(), c);
            const End theirs(you.Run(words, {}, nullptr, limits), you.Cpu(), c);
            if (!(mine == theirs)) {
                const auto unlooked = mine.UnlookedDifferences(theirs, c);
                hint = unlooked.empty() ? "no case tells how the run ends"
                                        : "no case looks at " + looks(unlooked) + ": add " +
                                              expectations(unlooked) + to + kIfEndMatters;
                return false;
            }
            if (n > 0)
                return true;
            // The first input: the words read before written, given other values.
            std::set<std::int32_t> reads = ReadsFirst(text, nullptr, c, words);
            reads.merge(ReadsFirst(text, &change, c, words));
            for (const std::int32_t address : reads) {
                bool setHere = false;
                for (const auto& [a, v] : words)
                    setHere = setHere || a == address;
                if (setHere)
                    continue;
                for (const std::int32_t value : kOtherValues) {
                    Words other = words;
                    other.emplace_back(address, value);
                    const End m(model.Run(other, {}, nullptr, limits), model.Cpu(), c);
                    const End t(you.Run(other, {}, nullptr, limits), you.Cpu(), c);
                    if (m == t)
                        continue;
                    const std::string set =
                        "set = { " + std::to_string(address) + " = " + std::to_string(value) + " }";
                    const std::string start = inputs.contains(address)
                                                  ? "no case has " + std::to_string(address) +
                                                        " = " + std::to_string(value)
                                                  : "no case starts with word " +
                                                        std::to_string(address) + " other than 0";
                    // Told apart only by a register the case does not look at.
                    const auto unlooked = m.UnlookedDifferences(t, c);
                    hint = m.Seen(t, c) || unlooked.empty()
                               ? start + ": add " + set + to
                               : start + " and looks at " + looks(unlooked) + ": add " + set +
                                     " and " + expectations(unlooked) + to + kIfEndMatters;
                    return false;
                }
            }
            return true;
        });
    }
    return hint;
}

} // namespace

std::vector<SmallChange> SmallChanges(std::string_view text) {
    const ProgramMap map = MapProgram(text);
    const std::vector<std::string_view> lines = SplitLines(text);
    std::vector<SmallChange> changes;
    // The first branch in address order: BVS, or STApc (a jump through A).
    std::int32_t firstBranch = map.himem;
    for (const std::size_t at : map.byAddress) {
        const RecordSummary& r = map.records[at];
        if (r.info != nullptr && (r.info->mnemonic == "BVS" || r.info->mnemonic == "STApc")) {
            firstBranch = r.address;
            break;
        }
    }
    for (const RecordSummary& r : map.records) {
        if (r.kind != RecordSummary::Kind::Instruction || !r.TakesMemory())
            continue;
        const std::string_view line = lines.at(static_cast<std::size_t>(r.line - 1));
        const std::string_view written = ColumnText(line, r.span);
        // A record's changes differ from each other only in their text.
        std::set<std::string> seen;
        const auto add = [&](std::string_view mnemonic, std::int64_t operand, const char* kind) {
            if (operand < std::numeric_limits<std::int32_t>::min() ||
                operand > std::numeric_limits<std::int32_t>::max())
                return;
            std::string after = Record(mnemonic, operand);
            if (!seen.insert(after).second)
                return;
            SmallChange change;
            change.line = r.line;
            change.before = std::string(written);
            change.after = std::move(after);
            change.kind = kind;
            change.address = r.address;
            change.opcode = Opcode(mnemonic);
            change.operand = static_cast<std::int32_t>(operand);
            change.offset = static_cast<std::size_t>(written.data() - text.data());
            changes.push_back(std::move(change));
        };
        const std::string_view m = r.info->mnemonic;
        const std::int64_t n = r.value;
        const std::int64_t next = r.address + 2;
        const auto address = [](std::int64_t a) { return a >= 0 && a < Wren::kMemoryWords; };
        if (r.info->operand != OperandUse::Ignored) {
            for (const int d : {-1, 1})
                if (r.info->operand == OperandUse::Value || address(n + d))
                    add(m, n + d, "operand");
            if (r.info->operand == OperandUse::Address)
                for (const int d : {-2, 2})
                    if (address(n + d))
                        add(m, n + d, "neighbour");
        }
        if (m == "STAm")
            add("BVS", next, "store");
        if (m == "BVS" || m == "STApc")
            add("BVS", next, "branch");
        if (m == "BVS") {
            add(m, n, "branch-always");
            changes.back().after += ", always taken";
            changes.back().always = true;
        }
        if (m == "ADDm")
            add("ADDi", n, "memory-value");
        if (m == "ADDi")
            add("ADDm", n, "memory-value");
        if (m == "LDAm")
            add("LDAi", n, "memory-value");
        if (m == "LDAi")
            add("LDAm", n, "memory-value");
        if (r.address < firstBranch && (m == "LDAi" || m == "LDAm" || m == "STAm"))
            add("BVS", next, "init");
    }
    return changes;
}

std::string ChangedText(std::string_view text, const SmallChange& change) {
    if (change.always)
        return std::string(text);
    return std::string(text.substr(0, change.offset)) + change.after +
           std::string(text.substr(change.offset + change.before.size()));
}

std::optional<CaseFileError> CheckableReference(const CaseFile& cases) {
    if (cases.reference.empty())
        return CaseFileError{0, "checking the cases changes the model answer, and the file names "
                                "none: add reference = \"model.ram\" at the top"};
    const std::string reference = cases.reference.string();
    auto cpu = std::make_unique<Wren>();
    if (const auto load = cpu->Load_Ram(reference))
        return CaseFileError{cases.referenceLine, "the reference does not load: " +
                                                      cli::LoadErrorText(reference, *load)};
    if (cpu->HiMem() == 0)
        return CaseFileError{cases.referenceLine, "the reference " + reference +
                                                      " holds no instruction: nothing to change"};
    const std::size_t records = static_cast<std::size_t>(cpu->HiMem()) / 2;
    if (records > kMostRecordsChecked)
        return CaseFileError{cases.referenceLine,
                             "the reference " + reference + " has " + std::to_string(records) +
                                 " records: checking the cases takes a model answer of at most " +
                                 std::to_string(kMostRecordsChecked)};
    return std::nullopt;
}

CaseCheck CheckCases(const CaseFile& cases, std::uint64_t seed,
                     const std::function<void(std::size_t, std::size_t)>& progress) {
    const std::string text = ReadText(cases.reference.string());
    const std::vector<SmallChange> changes = SmallChanges(text);
    ImageRunner model;
    ImageRunner changed;
    (void)model.LoadText(text);
    (void)changed.LoadText(text);
    const Verdict verdict(cases, seed, model);
    CaseCheck check;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (progress)
            progress(i, changes.size());
        SmallChange change = changes[i];
        // The changed record's two words, in the image every run starts from.
        const std::int32_t at = change.address;
        const std::int32_t op = changed.Loaded(at);
        const std::int32_t operand = changed.Loaded(at + 1);
        changed.Change(change.address, change.opcode);
        changed.Change(change.address + 1, change.operand);
        changed.AlwaysTake(change.always ? change.address : -1);
        if (verdict.SomeCaseFails(changed)) {
            ++check.caught;
            ++check.changes;
        } else if (auto hint = TellApart(cases, seed, text, change, model, changed)) {
            change.hint = std::move(*hint);
            ++check.changes;
            check.survivors.push_back(std::move(change));
        } else {
            check.likeTheModel.push_back(std::move(change));
        }
        changed.Change(at, op);
        changed.Change(at + 1, operand);
    }
    changed.AlwaysTake(-1);
    return check;
}

std::string CaseCheckText(const CaseCheck& check) {
    const unsigned percent =
        check.changes == 0 ? 100 : static_cast<unsigned>(100 * check.caught / check.changes);
    std::string out = "your cases catch " + std::to_string(check.caught) + " of " +
                      std::to_string(check.changes) + " changes (" + std::to_string(percent) +
                      " %)\n";
    if (!check.survivors.empty())
        out += "every case lets these through:\n";
    for (const SmallChange& s : check.survivors)
        out += "  " + std::to_string(s.line) + ": " + s.before + " -> " + s.after + "\n    " +
               s.hint + "\n";
    if (!check.likeTheModel.empty())
        out += "these behave like the model answer, and do not count:\n";
    for (const SmallChange& s : check.likeTheModel)
        out += "  " + std::to_string(s.line) + ": " + s.before + " -> " + s.after + "\n";
    return out;
}

std::string CaseCheckJson(const CaseCheck& check) {
    using Json = nlohmann::ordered_json;
    const auto list = [](const std::vector<SmallChange>& changes, bool hints) {
        Json out = Json::array();
        for (const SmallChange& s : changes) {
            Json one{{"line", s.line}, {"before", s.before}, {"after", s.after}, {"kind", s.kind}};
            if (hints)
                one["hint"] = s.hint;
            out.push_back(std::move(one));
        }
        return out;
    };
    Json root{{"caught", check.caught},
              {"changes", check.changes},
              {"survivors", list(check.survivors, true)},
              {"like_the_model", list(check.likeTheModel, false)}};
    return root.dump() + "\n";
}

std::string CaseCheckLine(const CaseCheck& check) {
    const unsigned percent =
        check.changes == 0 ? 100 : static_cast<unsigned>(100 * check.caught / check.changes);
    return "these cases catch " + std::to_string(percent) +
           " % of small changes of the model answer (" + std::to_string(check.caught) + " of " +
           std::to_string(check.changes) + ")";
}

} // namespace wren::grade

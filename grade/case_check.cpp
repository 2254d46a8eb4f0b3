#include "case_check.h"

#include "image_runner.h"
#include "input_plan.h"
#include "opcodes.h"
#include "program_map.h"
#include "run_spec.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

namespace wren::grade {

namespace {

std::string Record(std::string_view mnemonic, std::int64_t operand) {
    return std::string(mnemonic) + " " + std::to_string(operand);
}

// What a run leaves that a case could look at.
struct End {
    StopReason reason;
    Registers registers;
    std::vector<std::int32_t> words;
    bool operator==(const End& other) const {
        return reason == other.reason && registers.accumulator == other.registers.accumulator &&
               registers.pcounter == other.registers.pcounter &&
               registers.overflow == other.registers.overflow && words == other.words;
    }
};

// Notes the words a run reads before it writes them, outside the program.
class FirstReads : public RunObserver {
public:
    FirstReads(const Wren& cpu, std::set<std::int32_t>& reads) : cpu_(cpu), reads_(reads) {}
    void Before(std::int32_t at) override {
        const std::int32_t* words = cpu_.Words();
        if (at < 0 || at + 1 >= Wren::kMemoryWords)
            return;
        const std::int32_t op = words[at];
        const std::int32_t n = words[at + 1];
        if ((op == 1 || op == 16) && n >= cpu_.HiMem() && n < Wren::kMemoryWords &&
            !written_.count(n))
            reads_.insert(n);
        if (op == 128 && n >= 0 && n < Wren::kMemoryWords)
            written_.insert(n);
    }
    void After(long long, std::int32_t) override {}

private:
    const Wren& cpu_;
    std::set<std::int32_t>& reads_;
    std::set<std::int32_t> written_;
};

class Runner {
public:
    explicit Runner(const std::string& text) : text_(text) {}
    End Run(const Case& c, const std::vector<std::pair<std::int32_t, std::int32_t>>& sets,
            std::set<std::int32_t>* reads = nullptr) const {
        auto cpu = std::make_unique<Wren>();
        (void)cpu->LoadText(text_);
        for (const auto& [address, value] : sets)
            cpu->SetMemory(address, value);
        RunLimits limits;
        limits.steps = c.steps;
        limits.detectLoops = true;
        if (c.stopAt)
            limits.breaks.push_back(*c.stopAt);
        std::optional<FirstReads> watch;
        if (reads != nullptr)
            watch.emplace(*cpu, *reads);
        const RunResult run = wren::Run(*cpu, limits, watch ? &*watch : nullptr);
        End end{run.reason, cpu->GetRegisters(), {}};
        for (const auto& [address, value] : c.expect.mem)
            end.words.push_back(cpu->Memory(address));
        return end;
    }

private:
    std::string text_;
};

// Each input a case tries: its sets and draws, and every input of its ranges.
void ForEachInput(
    const Case& c, std::size_t index, std::uint64_t seed,
    const std::function<bool(const std::vector<std::pair<std::int32_t, std::int32_t>>&)>& visit) {
    auto fixed = c.sets;
    for (const auto& word : c.random)
        fixed.emplace_back(word.address, Draw(seed, index, word));
    if (c.every.empty()) {
        visit(fixed);
        return;
    }
    InputPlan(c, index, seed).ForEach([&](std::uint64_t, const std::int32_t* values) {
        auto sets = fixed;
        for (std::size_t w = 0; w < c.every.size(); ++w)
            sets.emplace_back(c.every[w].address, values[w]);
        return visit(sets);
    });
}

// Whether a change leaves what the model leaves: on every input the cases
// try, and with the words either reads before writing (and no case sets)
// holding other values.
bool LikeTheModel(const CaseFile& cases, std::uint64_t seed, const Runner& model,
                  const Runner& changed) {
    for (std::size_t i = 0; i < cases.cases.size(); ++i) {
        const Case& c = cases.cases[i];
        bool same = true;
        bool first = true;
        ForEachInput(c, i, seed, [&](const auto& sets) {
            std::set<std::int32_t> reads;
            same = model.Run(c, sets, first ? &reads : nullptr) ==
                   changed.Run(c, sets, first ? &reads : nullptr);
            if (same && first) {
                for (const std::int32_t address : reads) {
                    bool setByCase = false;
                    for (const auto& [a, v] : sets)
                        setByCase = setByCase || a == address;
                    if (setByCase)
                        continue;
                    for (const std::int32_t value : {1, -1, 7, 65535}) {
                        auto other = sets;
                        other.emplace_back(address, value);
                        if (!(model.Run(c, other) == changed.Run(c, other)))
                            same = false;
                    }
                }
            }
            first = false;
            return same;
        });
        if (!same)
            return false;
    }
    return true;
}

} // namespace

std::vector<SmallChange> SmallChanges(std::string_view text) {
    const ProgramMap map = MapProgram(text);
    const std::vector<std::string_view> lines = SplitLines(text);
    std::vector<SmallChange> changes;
    std::set<std::string> seen;
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
        const auto add = [&](const std::string& after, const char* kind) {
            const std::size_t at = static_cast<std::size_t>(written.data() - text.data());
            std::string changed = std::string(text.substr(0, at)) + after +
                                  std::string(text.substr(at + written.size()));
            if (!seen.insert(changed).second)
                return;
            changes.push_back({r.line, std::string(written), after, kind, std::move(changed)});
        };
        const std::string_view m = r.info->mnemonic;
        const std::int64_t n = r.value;
        const std::string next = Record("BVS", r.address + 2);
        if (r.info->operand != OperandUse::Ignored) {
            for (const int d : {-1, 1}) {
                const std::int64_t moved = n + d;
                if (r.info->operand == OperandUse::Value ||
                    (moved >= 0 && moved < Wren::kMemoryWords))
                    add(Record(m, moved), "operand");
            }
            if (r.info->operand == OperandUse::Address)
                for (const int d : {-2, 2})
                    if (n + d >= 0 && n + d < Wren::kMemoryWords)
                        add(Record(m, n + d), "neighbour");
        }
        if (m == "STAm")
            add(next, "store");
        if (m == "BVS" || m == "STApc")
            add(next, "branch");
        if (m == "ADDm")
            add(Record("ADDi", n), "memory-value");
        if (m == "ADDi")
            add(Record("ADDm", n), "memory-value");
        if (m == "LDAm")
            add(Record("LDAi", n), "memory-value");
        if (m == "LDAi")
            add(Record("LDAm", n), "memory-value");
        if (r.address < firstBranch && (m == "LDAi" || m == "LDAm" || m == "STAm"))
            add(next, "init");
    }
    return changes;
}

CaseCheck CheckCases(const CaseFile& cases, std::uint64_t seed,
                     const std::function<void(std::size_t, std::size_t)>& progress) {
    std::ifstream in(cases.reference, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::vector<SmallChange> changes = SmallChanges(text.str());
    const Runner model(text.str());
    CaseCheck check;
    std::error_code ec;
    const auto scratch = std::filesystem::temp_directory_path(ec) /
                         ("wren-check-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(scratch, ec);
    const std::string file = (scratch / "changed.ram").string();
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (progress)
            progress(i, changes.size());
        const SmallChange& change = changes[i];
        std::ofstream(file, std::ios::binary) << change.text;
        const SubmissionResult result = GradeSubmission(cases, file, seed);
        if (result.failed > 0) {
            ++check.caught;
            ++check.changes;
        } else if (LikeTheModel(cases, seed, model, Runner(change.text))) {
            check.likeTheModel.push_back(change);
        } else {
            ++check.changes;
            check.survivors.push_back(change);
        }
    }
    std::filesystem::remove_all(scratch, ec);
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
        out += "  " + std::to_string(s.line) + ": " + s.before + " -> " + s.after + "\n";
    if (!check.likeTheModel.empty())
        out += "these behave like the model answer, and do not count:\n";
    for (const SmallChange& s : check.likeTheModel)
        out += "  " + std::to_string(s.line) + ": " + s.before + " -> " + s.after + "\n";
    return out;
}

std::string CaseCheckJson(const CaseCheck& check) {
    using Json = nlohmann::ordered_json;
    const auto list = [](const std::vector<SmallChange>& changes) {
        Json out = Json::array();
        for (const SmallChange& s : changes)
            out.push_back(
                {{"line", s.line}, {"before", s.before}, {"after", s.after}, {"kind", s.kind}});
        return out;
    };
    Json root{{"caught", check.caught},
              {"changes", check.changes},
              {"survivors", list(check.survivors)},
              {"like_the_model", list(check.likeTheModel)}};
    return root.dump() + "\n";
}

} // namespace wren::grade

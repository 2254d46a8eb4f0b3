#include "program_check.h"

#include "opcodes.h"
#include "program_reader.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>
#include <string_view>

namespace wren {

namespace {

constexpr std::size_t kShownChars = 40;

std::string Shown(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, kShownChars)) {
        if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    if (text.size() > kShownChars)
        out += "...";
    return out;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// At most one letter added, dropped, changed, or two neighbours swapped.
bool WithinOneEdit(std::string_view a, std::string_view b) {
    if (a.size() > b.size())
        std::swap(a, b);
    if (b.size() - a.size() > 1)
        return false;
    std::size_t i = 0;
    while (i < a.size() && a[i] == b[i])
        ++i;
    if (a.size() < b.size())
        return a.substr(i) == b.substr(i + 1);
    if (i == a.size() || a.substr(i + 1) == b.substr(i + 1))
        return true;
    return i + 1 < a.size() && a[i] == b[i + 1] && a[i + 1] == b[i] &&
           a.substr(i + 2) == b.substr(i + 2);
}

// The mnemonics a slip may have meant; empty when it looks like none of them.
std::vector<std::string> NearMisses(std::string_view mnemonic) {
    const std::string lower = Lower(mnemonic);
    std::vector<std::string> meant;
    for (const auto& info : kOpcodes)
        if (Lower(info.mnemonic) == lower)
            meant.emplace_back(info.mnemonic);
    if (meant.empty())
        for (const auto& info : kOpcodes)
            if (WithinOneEdit(lower, Lower(info.mnemonic)))
                meant.emplace_back(info.mnemonic);
    return meant;
}

// As "'ADDm' or 'ADDi'".
std::string Alternatives(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "'" : " or '") + name + "'";
    return text;
}

// ADDpc, LDApc and STApc never read their operand word.
bool IgnoresOperand(const OpcodeInfo* info) {
    return info != nullptr && info->operand == OperandUse::Ignored;
}

std::string LoaderWritesOperandOnly(std::int32_t value) {
    return "the loader writes only the operand word (" + std::to_string(value) +
           ") and leaves the opcode word as it was";
}

class Checker {
public:
    explicit Checker(const CheckOptions& options) : options_(options) {}

    void Record(const ProgramRecord& r) {
        if (r.kind == ProgramRecord::Kind::End)
            return;
        const auto& rec = r.record;
        if (pendingCommaLine_ != 0) {
            if (rec.line == pendingCommaLine_ && !rec.text.empty()) {
                Add(pendingCommaLine_, pendingCommaColumn_, "comma-in-comment",
                    "a comma ends the comment",
                    "the loader reads the text after the comma as more records, the first '" +
                        Shown(rec.text) + "'");
                pendingCommaLine_ = 0;
            } else if (rec.line != pendingCommaLine_) {
                pendingCommaLine_ = 0;
            }
        }
        if (rec.quoted)
            Quotes(rec);

        switch (r.kind) {
        case ProgramRecord::Kind::Comment: CommaEndsComment(rec); break;
        case ProgramRecord::Kind::Skipped: Skipped(rec); break;
        case ProgramRecord::Kind::Instruction: Instruction(r); break;
        case ProgramRecord::Kind::End: break;
        }
    }

    // A comma ends a record even inside a comment; whether text follows it
    // on the same line is known at the next record.
    void CommaEndsComment(const RecordReader::Record& rec) {
        if (rec.end == RecordReader::End::Comma) {
            pendingCommaLine_ = rec.line;
            pendingCommaColumn_ = rec.endColumn;
        }
    }

    std::vector<Finding> Take() {
        const std::int32_t himem = static_cast<std::int32_t>(2 * recordLines_.size());
        for (const Target& jump : jumps_) {
            // The end of the program or past it is how a program stops: fine.
            if (jump.value < 0 || jump.value >= kMemoryWords)
                Add(jump.line, jump.column, "jump-target", jump.what + " outside memory",
                    "the processor faults at the next step");
            else if (jump.value % 2 == 1 && jump.value < himem)
                Add(jump.line, jump.column, "jump-target", jump.what + " to an operand word",
                    "address " + std::to_string(jump.value) +
                        " is the operand word of the record on line " +
                        std::to_string(recordLines_[static_cast<std::size_t>(jump.value / 2)]) +
                        "; instructions start at even addresses");
        }
        for (const Target& store : stores_)
            if (store.value >= 0 && store.value < himem)
                Add(store.line, store.column, "self-modify", store.what + " into the program",
                    "address " + std::to_string(store.value) + " is " +
                        (store.value % 2 == 0 ? "the opcode" : "the operand") +
                        " word of the record on line " +
                        std::to_string(recordLines_[static_cast<std::size_t>(store.value / 2)]));
        std::stable_sort(findings_.begin(), findings_.end(), [](const auto& a, const auto& b) {
            return a.line != b.line ? a.line < b.line : a.column < b.column;
        });
        return std::move(findings_);
    }

private:
    void Add(int line, int column, const char* name, std::string message, std::string note) {
        findings_.push_back({line, column, name, std::move(message), std::move(note), {}});
    }

    void Quotes(const RecordReader::Record& rec) {
        if (!rec.quoteClosed)
            Add(rec.line, rec.column, "quote", "the quote is not closed on this line",
                "the loader ends the record at the line end");
        else if (rec.droppedColumn != 0)
            Add(rec.line, rec.droppedColumn, "quote", "text after the closing quote",
                "the loader drops everything after the closing quote up to the next comma");
    }

    // A tab where the separating space belongs: true when reported.
    bool TabSeparator(const RecordReader::Record& rec, std::string_view head, const char* note) {
        const std::size_t tab = head.find('\t');
        if (tab == std::string_view::npos)
            return false;
        const std::string_view before = head.substr(0, tab);
        const std::string_view after = std::string_view(rec.text).substr(tab + 1);
        if (after.find_first_not_of(" \t") == std::string_view::npos)
            return false;
        if (FindMnemonic(before) == nullptr && NearMisses(before).empty())
            return false;
        Add(rec.line, rec.ColumnAt(tab), "tab-separator",
            "a tab separates '" + Shown(before) + "' from its operand; the loader needs a space",
            note);
        return true;
    }

    void Skipped(const RecordReader::Record& rec) {
        const std::string_view text = rec.text;
        if (TabSeparator(rec, text, "the loader skips this record"))
            return;
        const std::string_view head = text.substr(0, text.find(' '));
        if (FindMnemonic(head) != nullptr &&
            text.find_first_not_of(" \t", head.size()) == std::string_view::npos)
            Add(rec.line, rec.ColumnAt(0), "missing-operand",
                "'" + std::string(head) + "' has no operand",
                "the loader skips this record, so everything after it loads two words lower; "
                "write '" +
                    std::string(head) + " 0'");
    }

    void Instruction(const ProgramRecord& r) {
        const auto& rec = r.record;
        const std::int32_t value = *r.operand.value;
        if (r.info == nullptr) {
            const std::string note = LoaderWritesOperandOnly(value);
            if (TabSeparator(rec, r.mnemonic, note.c_str())) {
                // one finding says it all
            } else if (r.mnemonic.empty()) {
                Add(rec.line, rec.ColumnAt(0), "unknown-mnemonic",
                    "the record starts with a space, so its mnemonic is empty", note);
            } else if (auto meant = NearMisses(r.mnemonic); !meant.empty()) {
                Add(rec.line, rec.ColumnAt(0), "unknown-mnemonic",
                    "unknown mnemonic '" + Shown(r.mnemonic) + "'",
                    note + "; did you mean " + Alternatives(meant) + "?");
                findings_.back().suggestions = std::move(meant);
            } else if (options_.data) {
                Add(rec.line, rec.ColumnAt(0), "data",
                    "unknown mnemonic '" + Shown(r.mnemonic) + "'", note);
            }
        }
        if (!IgnoresOperand(r.info))
            Operand(r, rec.ColumnAt(r.mnemonic.size() + 1));
        Targets(r);
        // A comment after the operand ("LDAi 5 { five, then 7") ends at a
        // comma just as a whole-line comment does; one closed by '}' before
        // the comma ("LDAi 5 {five}, LDAi 6") reads as meant.
        if (r.operand.length > 0) {
            const std::string_view text = r.operandText;
            const std::size_t rest =
                text.find_first_not_of(" \t\n", FindNumber(text, r.operand).end);
            if (rest != std::string_view::npos && text[rest] == '{' &&
                text.find('}', rest) == std::string_view::npos)
                CommaEndsComment(rec);
        }
    }

    // Where an instruction's operand points, for the warnings that need the
    // whole program's size: decided in Take.
    void Targets(const ProgramRecord& r) {
        const auto& rec = r.record;
        recordLines_.push_back(rec.line);
        const std::int32_t value = *r.operand.value;
        const std::size_t offset = r.mnemonic.size() + 1;
        const NumberExtent number = FindNumber(r.operandText, r.operand);
        const int column = rec.ColumnAt(offset + number.first);
        const std::string shown = Shown(r.mnemonic) + " " + std::to_string(value);
        const std::int32_t opcode = r.info != nullptr ? r.info->opcode : 0;
        if (opcode == kBVS)
            jumps_.push_back({rec.line, column, value, "'" + shown + "' jumps"});
        else if (opcode == kSTApc && lastLdai_)
            jumps_.push_back(*lastLdai_);
        if ((opcode == kADDm || opcode == kLDAm || opcode == kSTAm) &&
            (value < 0 || value >= kMemoryWords))
            Add(rec.line, column, "address-range",
                "'" + shown + "' names an address outside memory",
                "memory has the addresses 0 to 65535: a machine fault when it runs");
        if (opcode == kSTAm && options_.selfModify)
            stores_.push_back({rec.line, column, value, "'" + shown + "' writes"});
        lastLdai_.reset();
        if (opcode == kLDAi)
            lastLdai_ = Target{rec.line, column, value, "'" + shown + "' before STApc jumps"};
    }

    void Operand(const ProgramRecord& r, int column) {
        const auto& rec = r.record;
        const std::string_view text = r.operandText;
        const std::int32_t value = *r.operand.value;
        const std::size_t offset = r.mnemonic.size() + 1;
        const std::size_t firstChar = text.find_first_not_of(" \t\n");
        if (r.operand.length == 0) {
            Add(rec.line,
                firstChar == std::string_view::npos ? column : rec.ColumnAt(offset + firstChar),
                "not-a-number", "operand '" + Shown(text) + "' is not a number",
                "the loader reads it as 0");
            return;
        }

        const NumberExtent extent = FindNumber(text, r.operand);
        const std::string_view number = text.substr(extent.first, extent.end - extent.first);
        const std::size_t blankInside = number.find_first_of(" \t\n");
        if (blankInside != std::string_view::npos)
            Add(rec.line, rec.ColumnAt(offset + extent.first + blankInside), "space-in-number",
                "blanks inside the number '" + Shown(number) + "'",
                "the loader ignores them and reads " + std::to_string(value));
        if (r.operand.rounded)
            Add(rec.line, rec.ColumnAt(offset + firstChar), "rounded",
                "operand '" + Shown(number) + "' is not a whole number",
                "the loader rounds it to " + std::to_string(value));
        const std::size_t rest = text.find_first_not_of(" \t\n", extent.end);
        if (rest != std::string_view::npos && text[rest] != '{')
            Add(rec.line, rec.ColumnAt(offset + rest), "trailing-text",
                "text after the number: '" + Shown(text.substr(rest)) + "'",
                "the loader ignores it and reads " + std::to_string(value));
    }

    struct Target {
        int line = 0;
        int column = 0;
        std::int32_t value = 0;
        std::string what;
    };
    static constexpr std::int32_t kADDm = 1, kBVS = 8, kLDAm = 16, kLDAi = 32, kSTAm = 128,
                                  kSTApc = 256;
    static constexpr std::int32_t kMemoryWords = 65536;

    const CheckOptions& options_;
    std::vector<Finding> findings_;
    // Per record that takes memory, in address order: its line.
    std::vector<int> recordLines_;
    std::vector<Target> jumps_;
    std::vector<Target> stores_;
    std::optional<Target> lastLdai_;
    int pendingCommaLine_ = 0;
    int pendingCommaColumn_ = 0;
};

} // namespace

const std::vector<std::string>& FindingNames() {
    static const std::vector<std::string> names{
        "unknown-mnemonic", "missing-operand", "tab-separator",
        "comma-in-comment", "trailing-text",   "not-a-number",
        "space-in-number",  "rounded",         "quote",
        "jump-target",      "address-range",   "data",
        "self-modify"};
    return names;
}

CheckResult CheckRecords(ProgramReader& reader, const CheckOptions& options,
                         const std::function<void(const ProgramRecord&)>& each) {
    CheckResult result;
    Checker checker(options);
    ProgramRecord record;
    do {
        result.error = reader.Next(record);
        if (result.error)
            break;
        checker.Record(record);
        if (each && record.kind != ProgramRecord::Kind::End)
            each(record);
    } while (record.kind != ProgramRecord::Kind::End);
    result.findings = checker.Take();
    return result;
}

CheckResult CheckProgram(const std::filesystem::path& path, const CheckOptions& options) {
    ProgramReader reader;
    if (auto error = reader.Open(path))
        return CheckResult{{}, std::move(error)};
    return CheckRecords(reader, options);
}

CheckResult CheckText(std::string_view text, const CheckOptions& options) {
    ProgramReader reader;
    reader.OpenText(text);
    return CheckRecords(reader, options);
}

} // namespace wren

#include "moved_records.h"

#include "opcodes.h"

#include <algorithm>
#include <map>

namespace wren::lsp {

namespace {

constexpr int kWarning = 2;
constexpr int kHint = 4;
// Above this many cells the table of the middle of a diff is not built:
// the records there are taken as replaced, not moved.
constexpr std::size_t kMostCells = 4'000'000;

// The operand's number, or the whole operand when it holds none.
ColumnSpan NumberOf(const RecordSummary& r) {
    return r.number.begin != r.number.end ? r.number : r.operand;
}

bool NamesMemory(const std::string& mnemonic) {
    return mnemonic == "ADDm" || mnemonic == "LDAm" || mnemonic == "STAm";
}

// For each record after the edit, the one it was before, or -1: the longest
// run of unchanged texts (a common start and end, and a table between),
// then any text found once on each side among those left (lines moved).
template <typename R>
std::vector<int> Pair(const std::vector<R>& before, const std::vector<R>& after) {
    std::vector<int> paired(after.size(), -1);
    std::vector<bool> taken(before.size(), false);
    const auto match = [&](std::size_t b, std::size_t a) {
        paired[a] = static_cast<int>(b);
        taken[b] = true;
    };
    std::size_t head = 0;
    while (head < before.size() && head < after.size() && before[head].text == after[head].text)
        match(head, head), ++head;
    std::size_t tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail].text == after[after.size() - 1 - tail].text) {
        match(before.size() - 1 - tail, after.size() - 1 - tail);
        ++tail;
    }
    const std::size_t nb = before.size() - head - tail, na = after.size() - head - tail;
    if (nb > 0 && na > 0 && nb * na <= kMostCells) {
        // lcs[i][j]: the longest common run of before[head+i..] and after[head+j..].
        std::vector<std::uint32_t> lcs((nb + 1) * (na + 1), 0);
        const auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& {
            return lcs[i * (na + 1) + j];
        };
        for (std::size_t i = nb; i-- > 0;)
            for (std::size_t j = na; j-- > 0;)
                at(i, j) = before[head + i].text == after[head + j].text
                               ? at(i + 1, j + 1) + 1
                               : std::max(at(i + 1, j), at(i, j + 1));
        for (std::size_t i = 0, j = 0; i < nb && j < na;) {
            if (before[head + i].text == after[head + j].text)
                match(head + i, head + j), ++i, ++j;
            else if (at(i + 1, j) >= at(i, j + 1))
                ++i;
            else
                ++j;
        }
    }
    // Lines moved: a text left once on each side.
    std::map<std::string, std::pair<int, int>> left; // text -> (count before, index)
    for (std::size_t b = 0; b < before.size(); ++b)
        if (!taken[b]) {
            auto& [count, index] = left[before[b].text];
            ++count;
            index = static_cast<int>(b);
        }
    std::map<std::string, std::pair<int, int>> right;
    for (std::size_t a = 0; a < after.size(); ++a)
        if (paired[a] < 0) {
            auto& [count, index] = right[after[a].text];
            ++count;
            index = static_cast<int>(a);
        }
    for (const auto& [text, r] : right) {
        const auto l = left.find(text);
        if (r.first == 1 && l != left.end() && l->second.first == 1)
            match(static_cast<std::size_t>(l->second.second), static_cast<std::size_t>(r.second));
    }
    return paired;
}

} // namespace

std::vector<MovedRecords::Record> MovedRecords::Records(const TextDocument& doc) {
    const ProgramMap& program = doc.Program();
    std::vector<Record> out;
    for (std::size_t i = 0; i < program.records.size(); ++i) {
        const RecordSummary& r = program.records[i];
        if (!r.TakesMemory())
            continue;
        Record rec;
        rec.text = std::string(doc.Slice(r.line, r.span));
        rec.index = i;
        rec.address = r.address;
        rec.value = r.value;
        rec.mnemonic = r.info != nullptr ? std::string(r.info->mnemonic) : std::string();
        const RecordSummary* next = program.AtAddress(r.address + 2);
        rec.jump = rec.mnemonic == "BVS" ||
                   (rec.mnemonic == "LDAi" && next != nullptr && next->address == r.address + 2 &&
                    next->info != nullptr && next->info->mnemonic == "STApc");
        out.push_back(std::move(rec));
    }
    return out;
}

void MovedRecords::Reset(const TextDocument& doc) {
    records_ = Records(doc);
    for (Record& r : records_)
        r.id = nextId_++;
    IndexRecords();
    himem_ = doc.Program().himem;
    marks_.clear();
    overData_.clear();
    firstEdited_ = 0;
    lastEdited_ = -1;
}

const MovedRecords::Record* MovedRecords::ById(int id) const {
    const auto at = byId_.find(id);
    return at == byId_.end() ? nullptr : &records_[at->second];
}

void MovedRecords::IndexRecords() {
    byId_.clear();
    for (std::size_t i = 0; i < records_.size(); ++i)
        byId_[records_[i].id] = i;
}

std::int32_t MovedRecords::AddressOf(const Mark& m) const {
    if (m.target == kEnd)
        return himem_;
    const Record* target = ById(m.target);
    return target == nullptr ? m.named : target->address + m.word;
}

void MovedRecords::Update(const TextDocument& doc, int firstEdited, int lastEdited) {
    std::vector<Record> after = Records(doc);
    const std::vector<int> paired = Pair(records_, after);
    for (std::size_t a = 0; a < after.size(); ++a)
        after[a].id = paired[a] >= 0 ? records_[static_cast<std::size_t>(paired[a])].id : nextId_++;
    std::map<int, const Record*> now;
    for (const Record& r : after)
        now[r.id] = &r;
    std::map<std::int32_t, const Record*> wasAt;
    for (const Record& r : records_)
        wasAt[r.address] = &r, wasAt[r.address + 1] = &r;
    const std::int32_t himem = doc.Program().himem;

    // What an operand named before the edit, if that has moved since.
    std::vector<Mark> found;
    for (const Record& b : records_) {
        if (!now.contains(b.id))
            continue;
        // A value, and a data record's word, may hold an address or not.
        const bool value =
            ((b.mnemonic == "ADDi" || b.mnemonic == "LDAi") && !b.jump) || b.mnemonic.empty();
        if (!value && !b.jump && !NamesMemory(b.mnemonic))
            continue;
        const std::int32_t n = b.value;
        if (const auto was = wasAt.find(n); was != wasAt.end()) {
            const auto is = now.find(was->second->id);
            if (is != now.end() && is->second->address != was->second->address)
                found.push_back({b.id, was->second->id, n - was->second->address, n, value});
        } else if (b.jump && n == himem_ && himem != himem_) {
            found.push_back({b.id, kEnd, 0, n, false});
        }
    }
    // Marks from earlier edits stay while their operand does, as it was
    // written, and what it named still stands somewhere.
    std::vector<Mark> kept;
    for (const Mark& m : marks_)
        if (now.contains(m.operand) && (m.target == kEnd || now.contains(m.target)))
            kept.push_back(m);
    for (const Mark& m : found) {
        const bool known = std::any_of(kept.begin(), kept.end(),
                                       [&](const Mark& k) { return k.operand == m.operand; });
        if (!known)
            kept.push_back(m);
    }
    // Words past the program that an operand used as data, now inside it.
    std::vector<OverData> over;
    for (const OverData& o : overData_)
        if (now.contains(o.operand) && o.word < himem)
            over.push_back(o);
    for (const Record& a : after) {
        const bool had = std::any_of(over.begin(), over.end(),
                                     [&](const OverData& o) { return o.operand == a.id; });
        if (!had && paired[static_cast<std::size_t>(&a - after.data())] >= 0 &&
            NamesMemory(a.mnemonic) && a.value >= himem_ && a.value < himem)
            over.push_back({a.id, a.value});
    }

    records_ = std::move(after);
    IndexRecords();
    himem_ = himem;
    marks_.clear();
    // A mark whose record is back where the operand names it is done with.
    for (const Mark& m : kept)
        if (AddressOf(m) != m.named)
            marks_.push_back(m);
    overData_ = std::move(over);
    firstEdited_ = firstEdited;
    lastEdited_ = lastEdited;
}

std::string MovedRecords::Name(const TextDocument& doc, const Mark& m) const {
    const std::string named = std::to_string(m.named);
    const std::string now = std::to_string(AddressOf(m));
    if (m.target == kEnd)
        return "names " + named + ", where the program ended; it ends at " + now + " now";
    const Record& target = *ById(m.target);
    const RecordSummary& r = doc.Program().records[target.index];
    ColumnSpan shown = r.span;
    if (r.number.end > r.number.begin)
        shown.end = r.number.end;
    const std::string record = "`" + std::string(doc.Slice(r.line, shown)) + "`";
    if (m.word == 0)
        return "names " + named + ", where " + record + " was; that record is at " + now + " now";
    return "names " + named + ", the operand word of " + record + "; that word is at " + now +
           " now";
}

nlohmann::json MovedRecords::Diagnostics(const TextDocument& doc) const {
    auto list = nlohmann::json::array();
    for (const Mark& m : marks_) {
        if (m.value)
            continue;
        const RecordSummary& r = doc.Program().records[ById(m.operand)->index];
        list.push_back({{"range", RangeOf(doc, r.line, NumberOf(r))},
                        {"severity", kHint},
                        {"code", "moved-record"},
                        {"source", "wren"},
                        {"message", Name(doc, m)}});
    }
    for (const OverData& o : overData_) {
        const RecordSummary& r = doc.Program().records[ById(o.operand)->index];
        const RecordSummary* there = doc.Program().AtAddress(o.word);
        std::string message = "word " + std::to_string(o.word) +
                              " was past the program, where this operand keeps data; the "
                              "program has grown over it";
        if (there != nullptr)
            message += ": line " + std::to_string(there->line) + " loads there now";
        list.push_back({{"range", RangeOf(doc, r.line, NumberOf(r))},
                        {"severity", kWarning},
                        {"code", "program-over-data"},
                        {"source", "wren"},
                        {"message", message}});
    }
    return list;
}

nlohmann::json MovedRecords::Fix(DocumentRef ref, const std::vector<const Mark*>& marks,
                                 std::string title, const nlohmann::json& diagnostics) const {
    auto edits = nlohmann::json::array();
    for (const Mark* m : marks) {
        const RecordSummary& r = ref.doc.Program().records[ById(m->operand)->index];
        edits.push_back({{"range", RangeOf(ref.doc, r.line, NumberOf(r))},
                         {"newText", std::to_string(AddressOf(*m))}});
    }
    return {{"title", std::move(title)},
            {"kind", "quickfix"},
            {"diagnostics", diagnostics},
            {"edit", {{"changes", {{ref.uri, std::move(edits)}}}}}};
}

nlohmann::json MovedRecords::Actions(DocumentRef ref, const nlohmann::json& range) const {
    auto actions = nlohmann::json::array();
    if (marks_.empty())
        return actions;
    const int first = range.at("start").at("line").get<int>() + 1;
    const int last = range.at("end").at("line").get<int>() + 1;
    const auto lineOf = [&](const Mark& m) {
        return ref.doc.Program().records[ById(m.operand)->index].line;
    };
    const nlohmann::json all = Diagnostics(ref.doc);
    auto here = nlohmann::json::array();
    std::vector<const Mark*> operands, everything;
    for (const Mark& m : marks_) {
        everything.push_back(&m);
        if (m.value)
            continue;
        operands.push_back(&m);
        if (lineOf(m) < first || lineOf(m) > last)
            continue;
        for (const auto& d : all)
            if (d["code"] == "moved-record" &&
                d["range"]["start"]["line"].get<int>() + 1 == lineOf(m))
                here.push_back(d);
        auto fix = Fix(ref, {&m}, "Change to " + std::to_string(AddressOf(m)), here.back());
        fix["isPreferred"] = true;
        actions.push_back(std::move(fix));
    }
    const bool edited = first <= lastEdited_ && last >= firstEdited_;
    if (!edited && here.empty())
        return actions;
    const auto count = [](std::size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    if (!operands.empty())
        actions.push_back(Fix(ref, operands,
                              "Update " + count(operands.size(), "operand", "operands") + " to " +
                                  (operands.size() == 1 ? "its record's" : "their records'") +
                                  " new address" + (operands.size() == 1 ? "" : "es"),
                              here));
    if (everything.size() > operands.size()) {
        const std::size_t values = everything.size() - operands.size();
        actions.push_back(Fix(ref, everything,
                              "Also update " + count(values, "value", "values") +
                                  " equal to a moved record's old address (" +
                                  count(everything.size(), "number", "numbers") + " in all)",
                              here));
    }
    return actions;
}

} // namespace wren::lsp

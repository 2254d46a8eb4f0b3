#include "document_features.h"

#include "opcodes.h"
#include "wren.h"

namespace wren::lsp {

namespace {

bool NamesAnAddress(const RecordSummary& r) {
    return r.info != nullptr && r.info->operand == OperandUse::Address;
}

// The operand's number, or the whole operand when it holds none.
ColumnSpan OperandMark(const RecordSummary& r) {
    return r.number.begin != r.number.end ? r.number : r.operand;
}

bool OnOperand(const TextDocument& doc, const RecordSummary& r, Position position) {
    const int column = doc.ToColumn(position);
    return r.operand.begin <= column && column <= r.operand.end;
}

bool OnMnemonic(const TextDocument& doc, const RecordSummary& r, Position position) {
    const int column = doc.ToColumn(position);
    return r.mnemonic.begin <= column && column <= r.mnemonic.end;
}

nlohmann::json Location(DocumentRef ref, int line, ColumnSpan span) {
    return {{"uri", ref.uri}, {"range", RangeOf(ref.doc, line, span)}};
}

// "`LDAi 5` (line 3)": the record up to its number, without a comment
// that follows it.
std::string Describe(const TextDocument& doc, const RecordSummary& r) {
    ColumnSpan shown = r.span;
    if (r.number.end > r.number.begin)
        shown.end = r.number.end;
    return "`" + std::string(doc.Slice(r.line, shown)) + "` (line " + std::to_string(r.line) + ")";
}

// What the program puts at address when it loads.
std::string AtLoadTime(const TextDocument& doc, std::int32_t address) {
    if (address < 0 || address >= Wren::kMemoryWords)
        return "outside memory: a machine fault when it runs";
    const RecordSummary* target = doc.Program().AtAddress(address);
    if (target == nullptr)
        return "outside the program (0 when it loads into a new processor)";
    if (address % 2 == 1)
        return "an operand word of " + Describe(doc, *target) + ", which loads as " +
               std::to_string(target->value);
    if (target->info == nullptr)
        return "the opcode word of the data record " + Describe(doc, *target) +
               ", which the loader leaves as it was";
    return "the opcode word of " + Describe(doc, *target) + ", opcode " +
           std::to_string(target->info->opcode);
}

std::string MnemonicHover(const RecordSummary& r) {
    const OpcodeInfo& info = *r.info;
    return "**" + std::string(info.mnemonic) + "**: " + std::string(info.effect) + "\n\nopcode " +
           std::to_string(info.opcode) + ", " + std::to_string(info.cycles) +
           " cycles; at address " + std::to_string(r.address);
}

std::string DataHover(const TextDocument& doc, const RecordSummary& r) {
    return "**data** `" + std::string(doc.Slice(r.line, r.mnemonic)) +
           "`: not an instruction. The loader writes only the operand word, " +
           std::to_string(r.value) + ", at address " + std::to_string(r.address + 1) +
           "; the opcode word at " + std::to_string(r.address) + " keeps what was there.";
}

std::string OperandHover(const TextDocument& doc, const RecordSummary& r) {
    std::string text =
        "operand word " + std::to_string(r.value) + ", at address " + std::to_string(r.address + 1);
    if (NamesAnAddress(r))
        text += "\n\naddress " + std::to_string(r.value) + ": " + AtLoadTime(doc, r.value);
    return text;
}

} // namespace

nlohmann::json Hover(DocumentRef ref, Position position) {
    const RecordSummary* r = ref.doc.RecordAt(position);
    if (r == nullptr || !r->TakesMemory())
        return nullptr;
    std::string text;
    ColumnSpan span;
    if (OnMnemonic(ref.doc, *r, position)) {
        text = r->info != nullptr ? MnemonicHover(*r) : DataHover(ref.doc, *r);
        span = r->mnemonic;
    } else if (OnOperand(ref.doc, *r, position)) {
        text = OperandHover(ref.doc, *r);
        span = r->operand;
    } else {
        return nullptr;
    }
    return {{"contents", {{"kind", "markdown"}, {"value", text}}},
            {"range", RangeOf(ref.doc, r->line, span)}};
}

nlohmann::json Definition(DocumentRef ref, Position position) {
    auto locations = nlohmann::json::array();
    const RecordSummary* r = ref.doc.RecordAt(position);
    if (r == nullptr || !NamesAnAddress(*r) || !OnOperand(ref.doc, *r, position))
        return locations;
    if (const RecordSummary* target = ref.doc.Program().AtAddress(r->value))
        locations.push_back(Location(ref, target->line, target->span));
    return locations;
}

nlohmann::json References(DocumentRef ref, Position position, bool includeDeclaration) {
    auto locations = nlohmann::json::array();
    const RecordSummary* target = ref.doc.RecordAt(position);
    if (target == nullptr || !target->TakesMemory())
        return locations;
    if (includeDeclaration)
        locations.push_back(Location(ref, target->line, target->span));
    for (const RecordSummary& r : ref.doc.Program().records)
        if (NamesAnAddress(r) && r.value / 2 == target->address / 2 && r.value >= 0)
            locations.push_back(Location(ref, r.line, OperandMark(r)));
    return locations;
}

} // namespace wren::lsp

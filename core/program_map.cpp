#include "program_map.h"

#include "opcodes.h"
#include "program_reader.h"

namespace wren {

namespace {

RecordSummary Summarise(const ProgramRecord& r) {
    const RecordReader::Record& rec = r.record;
    RecordSummary out;
    out.line = rec.line;
    const int textEnd = rec.ColumnAt(rec.text.size());
    out.span = {rec.column, textEnd + (rec.quoted && rec.quoteClosed ? 1 : 0)};
    switch (r.kind) {
    case ProgramRecord::Kind::Comment: out.kind = RecordSummary::Kind::Comment; return out;
    case ProgramRecord::Kind::Skipped:
    case ProgramRecord::Kind::End: out.kind = RecordSummary::Kind::Skipped; return out;
    case ProgramRecord::Kind::Instruction: break;
    }
    out.kind = r.info != nullptr ? RecordSummary::Kind::Instruction : RecordSummary::Kind::Data;
    out.info = r.info;
    const std::size_t operandAt = r.mnemonic.size() + 1;
    out.mnemonic = {rec.ColumnAt(0), rec.ColumnAt(r.mnemonic.size())};
    out.operand = {rec.ColumnAt(operandAt), textEnd};
    const NumberExtent number = FindNumber(r.operandText, r.operand);
    if (number.end > number.first)
        out.number = {rec.ColumnAt(operandAt + number.first), rec.ColumnAt(operandAt + number.end)};
    out.value = r.operand.value.value_or(0);
    out.address = r.address;
    return out;
}

} // namespace

const RecordSummary* ProgramMap::AtAddress(std::int32_t address) const {
    if (address < 0 || address >= himem)
        return nullptr;
    return &records[byAddress[static_cast<std::size_t>(address / 2)]];
}

ProgramMap MapProgram(std::string_view text, const CheckOptions& options) {
    ProgramMap map;
    ProgramReader reader;
    reader.OpenText(text);
    CheckResult checked = CheckRecords(reader, options, [&](const ProgramRecord& record) {
        map.records.push_back(Summarise(record));
    });
    map.findings = std::move(checked.findings);
    map.error = std::move(checked.error);
    for (std::size_t i = 0; i < map.records.size(); ++i)
        if (map.records[i].TakesMemory())
            map.byAddress.push_back(i);
    map.himem = static_cast<std::int32_t>(2 * map.byAddress.size());
    return map;
}

} // namespace wren

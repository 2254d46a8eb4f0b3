#include "program_map.h"

#include "opcodes.h"
#include "program_reader.h"

#include <algorithm>

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

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

} // namespace

std::vector<std::string_view> SplitLines(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::string_view ColumnText(std::string_view line, ColumnSpan span) {
    std::size_t begin = line.size();
    std::size_t i = 0;
    for (int column = 1; i <= line.size(); ++column) {
        if (column == span.begin)
            begin = i;
        if (column == span.end)
            return line.substr(std::min(begin, i), i - std::min(begin, i));
        if (i == line.size())
            break;
        ++i;
        while (i < line.size() && IsContinuationByte(line[i]))
            ++i;
    }
    return line.substr(std::min(begin, line.size()));
}

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

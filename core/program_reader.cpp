#include "program_reader.h"

#include "opcodes.h"

#include <string>

namespace wren {

namespace {

constexpr std::size_t kQuotedOperandChars = 40;

std::string Shortened(std::string_view text) {
    if (text.size() <= kQuotedOperandChars)
        return std::string(text);
    return std::string(text.substr(0, kQuotedOperandChars)) + "...";
}

} // namespace

std::optional<LoadError> ProgramReader::Open(const std::filesystem::path& path) {
    instructions_ = 0;
    if (auto why = reader_.Open(path))
        return LoadError{0, std::move(*why)};
    return std::nullopt;
}

void ProgramReader::OpenText(std::string_view text) {
    instructions_ = 0;
    reader_.OpenText(text);
}

NumberExtent FindNumber(std::string_view text, const OperandScan& scan) {
    const std::size_t first = text.find_first_not_of(" \t\n");
    if (scan.length == 0 || first == std::string_view::npos)
        return {};
    // The parser counts the number's characters without blanks; map that
    // count back onto the text.
    std::size_t taken = 0, last = first;
    for (std::size_t i = first; i < text.size() && taken < scan.length; ++i) {
        if (IsOperandBlank(text[i]))
            continue;
        ++taken;
        last = i;
    }
    return {first, last + 1};
}

std::optional<LoadError> ProgramReader::Next(ProgramRecord& out) {
    out.kind = ProgramRecord::Kind::End;
    out.mnemonic = out.operandText = {};
    out.info = nullptr;
    out.operand = {};
    out.address = -1;
    if (reader_.AtEnd())
        return std::nullopt;

    RecordReader::Record& record = out.record;
    switch (reader_.Read(record)) {
    case RecordReader::Status::Ok: break;
    case RecordReader::Status::ReadFailed:
        return LoadError{record.line, "the file could not be read", record.column};
    case RecordReader::Status::TooLong:
        return LoadError{record.line,
                         "record longer than " + std::to_string(RecordReader::kMaxRecordBytes) +
                             " bytes",
                         record.column};
    }

    const std::string_view text = record.text;
    if (text.starts_with('{')) {
        out.kind = ProgramRecord::Kind::Comment;
        return std::nullopt;
    }
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos || space + 1 >= text.size()) {
        out.kind = ProgramRecord::Kind::Skipped;
        return std::nullopt;
    }

    out.kind = ProgramRecord::Kind::Instruction;
    out.mnemonic = text.substr(0, space);
    out.operandText = text.substr(space + 1);
    out.info = FindMnemonic(out.mnemonic);
    out.operand = ScanOperand(out.operandText);
    if (!out.operand.value)
        return LoadError{record.line,
                         "operand \"" + Shortened(out.operandText) +
                             "\" is outside the 32-bit range",
                         record.ColumnAt(space + 1)};
    if (++instructions_ > kMaxInstructions)
        return LoadError{record.line,
                         "program too large: memory holds at most " +
                             std::to_string(kMaxInstructions) + " instructions",
                         record.column};
    out.address = 2 * (instructions_ - 1);
    return std::nullopt;
}

} // namespace wren

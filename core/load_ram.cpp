#include "opcodes.h"
#include "operand_parser.h"
#include "record_reader.h"
#include "wren.h"

#include <string_view>

namespace wren {

namespace {

constexpr std::size_t kQuotedOperandChars = 40;

std::string Shortened(std::string_view text) {
    if (text.size() <= kQuotedOperandChars)
        return std::string(text);
    return std::string(text.substr(0, kQuotedOperandChars)) + "...";
}

} // namespace

std::optional<LoadError> Wren::Load_Ram(const std::filesystem::path& filename) {
    RecordReader reader;
    if (auto why = reader.Open(filename))
        return LoadError{0, std::move(*why)};

    himem_ = 0;
    RecordReader::Record record;
    while (!reader.AtEnd()) {
        switch (reader.Read(record)) {
        case RecordReader::Status::Ok: break;
        case RecordReader::Status::ReadFailed:
            return LoadError{record.line, "the file could not be read"};
        case RecordReader::Status::TooLong:
            return LoadError{record.line, "record longer than " +
                                              std::to_string(RecordReader::kMaxRecordBytes) +
                                              " bytes"};
        }

        const std::string_view text = record.text;
        if (text.starts_with('{'))
            continue;
        const std::size_t space = text.find(' ');
        if (space == std::string_view::npos || space + 1 >= text.size())
            continue;

        const std::string_view mnemonic = text.substr(0, space);
        const std::string_view operandText = text.substr(space + 1);
        const auto operand = ParseOperand(operandText);
        if (!operand)
            return LoadError{record.line, "operand \"" + Shortened(operandText) +
                                              "\" is outside the 32-bit range"};
        if (himem_ > kMemoryWords - 2)
            return LoadError{record.line, "program too large: memory holds at most " +
                                              std::to_string(kMemoryWords / 2) + " instructions"};

        // An unknown mnemonic still takes its two words, but leaves the opcode
        // word as it was.
        if (const OpcodeInfo* info = FindMnemonic(mnemonic))
            Ram[himem_] = info->opcode;
        ++himem_;
        Ram[himem_] = *operand;
        ++himem_;
    }
    return std::nullopt;
}

} // namespace wren

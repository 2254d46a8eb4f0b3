#pragma once

#include "load_error.h"
#include "operand_parser.h"
#include "record_reader.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace wren {

struct OpcodeInfo;

/// One record of a program file as the loader reads it.
struct ProgramRecord {
    enum class Kind {
        Comment,     ///< starts with '{'
        Skipped,     ///< holds no space, or nothing after its first space
        Instruction, ///< mnemonic, first space, operand: takes two words
        End,         ///< no record is left
    };

    Kind kind = Kind::End;
    RecordReader::Record record;
    /// For an instruction: the text before the first space and after it.
    std::string_view mnemonic;
    std::string_view operandText;
    /// The instruction's row, or nullptr for an unknown mnemonic.
    const OpcodeInfo* info = nullptr;
    OperandScan operand;
    /// For an instruction that fits in memory: the address of its opcode
    /// word; -1 otherwise.
    std::int32_t address = -1;
};

/// Where the number that ScanOperand read lies in an operand text:
/// text.substr(first, end - first) from its first to its last character,
/// blanks inside included. first == end when no number was read.
struct NumberExtent {
    std::size_t first = 0;
    std::size_t end = 0;
};
NumberExtent FindNumber(std::string_view operandText, const OperandScan& scan);

/// Reads a program file record by record and decides what each record is, the
/// one place where those rules live: the loader writes memory from it and the
/// checker explains it.
class ProgramReader {
public:
    /// Instructions that fit in memory, two words each.
    static constexpr int kMaxInstructions = 32768;

    /// Opens path; returns why it could not (line 0), or nothing on success.
    std::optional<LoadError> Open(const std::filesystem::path& path);
    /// Reads a program text held in memory; text must outlive the reading.
    void OpenText(std::string_view text);

    /// Reads the next record into out (Kind::End when none is left). Returns
    /// the load problem that stops loading at this record, if any; out then
    /// still describes the record.
    std::optional<LoadError> Next(ProgramRecord& out);

private:
    RecordReader reader_;
    int instructions_ = 0;
};

} // namespace wren

#pragma once

#include "load_error.h"
#include "program_check.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wren {

struct OpcodeInfo;

/// Columns on one line, 1-based, counting characters; end is one past the
/// last. Both 0 when there is nothing there.
struct ColumnSpan {
    int begin = 0;
    int end = 0;
    bool Contains(int column) const { return begin <= column && column < end; }
    bool operator==(const ColumnSpan&) const = default;
};

/// One record of a program text as the loader reads it, for tools that show
/// a program: an editor, a listing, a debugger.
struct RecordSummary {
    enum class Kind {
        Comment,     ///< starts with '{'
        Skipped,     ///< loads nothing
        Instruction, ///< one of the nine mnemonics: two words
        Data,        ///< an unknown mnemonic: two words, only the operand written
    };

    Kind kind = Kind::Skipped;
    /// 1-based line; a record never spans lines.
    int line = 0;
    /// The whole record, quotes included.
    ColumnSpan span;
    /// For Instruction and Data: the mnemonic, the operand text, and the part
    /// of the operand read as the number (empty when it starts with none).
    ColumnSpan mnemonic;
    ColumnSpan operand;
    ColumnSpan number;
    /// For Instruction: its row of the instruction set; nullptr otherwise.
    const OpcodeInfo* info = nullptr;
    /// For Instruction and Data: the operand word the loader writes.
    std::int32_t value = 0;
    /// For Instruction and Data: the address of the first of its two words;
    /// -1 for records that take no memory or do not fit.
    std::int32_t address = -1;

    bool TakesMemory() const { return address >= 0; }
};

/// A whole program text, record by record, with the checker's findings.
struct ProgramMap {
    /// In text order, up to the record that stopped loading (not included).
    std::vector<RecordSummary> records;
    std::vector<Finding> findings;
    std::optional<LoadError> error;
    /// First address after the program, as Wren::HiMem gives it after loading.
    std::int32_t himem = 0;

    /// The record whose two words hold address (its opcode word when even,
    /// its operand word when odd), or nullptr outside the program.
    const RecordSummary* AtAddress(std::int32_t address) const;

    /// For each instruction, in address order, its index in records.
    std::vector<std::size_t> byAddress;
};

/// The lines of a program text as the loader counts them (LF, CR LF or a
/// lone CR ends one), without their line ends; a UTF-8 byte-order mark at
/// the start is left out, as the loader skips it.
std::vector<std::string_view> SplitLines(std::string_view text);

/// The part of a line between two of the loader's columns (1-based,
/// counting characters, as a UTF-8 lead byte and its continuation bytes).
std::string_view ColumnText(std::string_view line, ColumnSpan span);

/// Reads text exactly as Wren::LoadText does and describes every record.
ProgramMap MapProgram(std::string_view text, const CheckOptions& options = {});

} // namespace wren

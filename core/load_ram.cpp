#include "opcodes.h"
#include "program_reader.h"
#include "wren.h"

namespace wren {

std::optional<LoadError> Wren::Load_Ram(const std::filesystem::path& filename) {
    ProgramReader reader;
    if (auto error = reader.Open(filename))
        return error;

    himem_ = 0;
    ProgramRecord record;
    while (true) {
        if (auto error = reader.Next(record))
            return error;
        if (record.kind == ProgramRecord::Kind::End)
            return std::nullopt;
        if (record.kind != ProgramRecord::Kind::Instruction)
            continue;
        // An unknown mnemonic still takes its two words, but leaves the opcode
        // word as it was.
        if (record.info != nullptr)
            Ram[himem_] = record.info->opcode;
        Ram[himem_ + 1] = *record.operand.value;
        himem_ += 2;
    }
}

} // namespace wren

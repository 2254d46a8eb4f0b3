#include "opcodes.h"
#include "program_reader.h"
#include "wren.h"

namespace wren {

std::optional<LoadError> Wren::Load_Ram(const std::filesystem::path& filename) {
    ProgramReader reader;
    if (auto error = reader.Open(filename))
        return error;
    return LoadFrom(reader);
}

std::optional<LoadError> Wren::LoadText(std::string_view text) {
    ProgramReader reader;
    reader.OpenText(text);
    return LoadFrom(reader);
}

std::optional<LoadError> Wren::LoadFrom(ProgramReader& reader) {
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
            Ram[record.address] = record.info->opcode;
        Ram[record.address + 1] = *record.operand.value;
        himem_ = record.address + 2;
    }
}

} // namespace wren

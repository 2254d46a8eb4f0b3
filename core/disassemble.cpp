#include "opcodes.h"
#include "wren.h"

#include <charconv>

namespace wren {

namespace {

void AppendDecimal(std::string& out, std::int32_t value) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

} // namespace

std::string Wren::Disassemble(std::int32_t Location) const {
    std::string line;
    line.reserve(32);
    AppendDecimal(line, Location);
    line += "  ";

    // Outside memory there is no word to render: such locations list as unknown.
    const bool inside = Location >= 0 && Location < kMemoryWords;
    const OpcodeInfo* info = inside ? FindOpcode(Ram[Location]) : nullptr;
    if (info == nullptr) {
        line += " ??? ";
        return line;
    }
    line += ' ';
    line += info->mnemonic;
    line += ' ';
    // At the last address the operand word would lie past the end of memory.
    if (info->listsOperand && Location + 1 < kMemoryWords)
        AppendDecimal(line, Ram[Location + 1]);
    return line;
}

} // namespace wren

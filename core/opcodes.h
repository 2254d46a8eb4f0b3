#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace wren {

/// One row of the instruction set: its opcode word, mnemonic and listing form.
struct OpcodeInfo {
    std::int32_t opcode;
    std::string_view mnemonic;
    /// Whether the listing shows the operand word.
    bool listsOperand;
};

inline constexpr std::array<OpcodeInfo, 9> kOpcodes{{
    {1, "ADDm", true},
    {2, "ADDi", true},
    {4, "ADDpc", false},
    {8, "BVS", true},
    {16, "LDAm", true},
    {32, "LDAi", true},
    {64, "LDApc", false},
    {128, "STAm", true},
    // STApc ignores its operand word, yet the listing shows it.
    {256, "STApc", true},
}};

/// The row for an opcode word, or nullptr when the word is no instruction.
constexpr const OpcodeInfo* FindOpcode(std::int32_t word) {
    for (const auto& info : kOpcodes)
        if (info.opcode == word)
            return &info;
    return nullptr;
}

/// The row for a mnemonic (exact, case-sensitive), or nullptr.
constexpr const OpcodeInfo* FindMnemonic(std::string_view mnemonic) {
    for (const auto& info : kOpcodes)
        if (info.mnemonic == mnemonic)
            return &info;
    return nullptr;
}

} // namespace wren

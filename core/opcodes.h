#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace wren {

/// What an instruction does with its operand word n.
enum class OperandUse {
    Value,   ///< n itself (ADDi, LDAi)
    Address, ///< n names a memory word or a jump target (ADDm, BVS, LDAm, STAm)
    Ignored, ///< never read (ADDpc, LDApc, STApc)
};

/// One row of the instruction set: its opcode word, mnemonic and listing
/// form, and what it does.
struct OpcodeInfo {
    std::int32_t opcode;
    std::string_view mnemonic;
    /// Whether the listing shows the operand word.
    bool listsOperand;
    OperandUse operand;
    std::int32_t cycles;
    /// The effect, in the notation of the documentation: "A := A + M[n]".
    std::string_view effect;
};

inline constexpr std::array<OpcodeInfo, 9> kOpcodes{{
    {1, "ADDm", true, OperandUse::Address, 4, "A := A + M[n]"},
    {2, "ADDi", true, OperandUse::Value, 3, "A := A + n"},
    {4, "ADDpc", false, OperandUse::Ignored, 3, "A := A + PC of the next instruction"},
    {8, "BVS", true, OperandUse::Address, 3, "if V then PC := n"},
    {16, "LDAm", true, OperandUse::Address, 3, "A := M[n]"},
    {32, "LDAi", true, OperandUse::Value, 3, "A := n"},
    {64, "LDApc", false, OperandUse::Ignored, 3, "A := PC of the next instruction"},
    {128, "STAm", true, OperandUse::Address, 3, "M[n] := A"},
    // STApc ignores its operand word, yet the listing shows it.
    {256, "STApc", true, OperandUse::Ignored, 3, "PC := A (a jump through the accumulator)"},
}};

/// The row for an opcode word, or nullptr when the word is no instruction.
constexpr const OpcodeInfo* FindOpcode(std::int32_t word) {
    for (const auto& info : kOpcodes)
        if (info.opcode == word)
            return &info;
    return nullptr;
}

/// The word that the instruction at pc overwrites when it runs: the operand
/// of an STAm, when both the operand word and its target lie in memory;
/// -1 for any other. Ask before the step: an STAm may overwrite its own
/// operand word.
inline std::int32_t StoreTarget(const std::int32_t* words, std::int32_t pc) {
    constexpr std::int32_t kMemoryWords = 65536;
    constexpr std::int32_t kStAm = 128;
    if (pc < 0 || pc + 1 >= kMemoryWords || words[pc] != kStAm)
        return -1;
    const std::int32_t target = words[pc + 1];
    return target >= 0 && target < kMemoryWords ? target : -1;
}

/// The row for a mnemonic (exact, case-sensitive), or nullptr.
constexpr const OpcodeInfo* FindMnemonic(std::string_view mnemonic) {
    for (const auto& info : kOpcodes)
        if (info.mnemonic == mnemonic)
            return &info;
    return nullptr;
}

} // namespace wren

#pragma once

// The words of each machine fault, shared by the processor that raises it
// and the step description that foretells it, so that the two never differ.

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace wren {

inline std::string PcOutsideText(std::int32_t pc) {
    return "index out of range: program counter " + std::to_string(pc) + " is outside memory";
}

inline std::string NoOperandWordText(std::string_view mnemonic, std::int32_t at) {
    return "index out of range: " + std::string(mnemonic) + " has no operand word at address " +
           std::to_string(at);
}

inline std::string OperandOutsideText(std::string_view mnemonic, std::int32_t operand,
                                      std::int32_t at) {
    return "index out of range: " + std::string(mnemonic) + " operand " + std::to_string(operand) +
           " at address " + std::to_string(at);
}

inline std::string SumOverflowText(std::int64_t sum, std::int32_t at) {
    return "arithmetic overflow: sum " + std::to_string(sum) + " does not fit 32 bits at address " +
           std::to_string(at);
}

inline std::string CycleOverflowText(std::int32_t at) {
    return "arithmetic overflow: cycle count would pass " +
           std::to_string(std::numeric_limits<std::int32_t>::max()) + " at address " +
           std::to_string(at);
}

} // namespace wren

#pragma once

#include <string>

namespace wren {

class Wren;

/// "A: " and the accumulator in decimal.
std::string AccumulatorText(const Wren& cpu);
/// "PC: " and the program counter in decimal.
std::string PCounterText(const Wren& cpu);
/// "V: True" or "V: False".
std::string OverflowText(const Wren& cpu);
/// "Cycles: " and the cycle count in decimal.
std::string CyclesText(const Wren& cpu);

} // namespace wren

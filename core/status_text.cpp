#include "status_text.h"

#include "wren.h"

namespace wren {

std::string AccumulatorText(const Wren& cpu) { return "A: " + std::to_string(cpu.Accumulator()); }

std::string PCounterText(const Wren& cpu) { return "PC: " + std::to_string(cpu.PCounter()); }

std::string OverflowText(const Wren& cpu) { return cpu.Overflow() ? "V: True" : "V: False"; }

std::string CyclesText(const Wren& cpu) { return "Cycles: " + std::to_string(cpu.Cycles()); }

} // namespace wren

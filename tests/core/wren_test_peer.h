#pragma once

#include "wren.h"

#include <cstdint>

namespace wren {

// Reaches into the processor so that tests can set up states no program file
// reaches quickly (arbitrary opcode words, a cycle count near its limit).
class WrenTestPeer {
public:
    static std::int32_t& Word(Wren& cpu, std::int32_t address) { return cpu.Ram[address]; }

    static void SetRegisters(Wren& cpu, std::int32_t a, std::int32_t pc, bool v,
                             std::int32_t cycles) {
        cpu.accumulator_ = a;
        cpu.pcounter_ = pc;
        cpu.overflow_ = v;
        cpu.cycles_ = cycles;
    }

    static void SetHiMem(Wren& cpu, std::int32_t hiMem) { cpu.himem_ = hiMem; }
};

} // namespace wren

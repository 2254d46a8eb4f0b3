#include "plain_interpreter.h"

namespace wren::bench {

// Aligned as Wren::Step is, so that neither wins by where it was linked.
[[gnu::aligned(64)]] void PlainInterpreter::Step() {
    if (pc < 0 || pc > 65535)
        throw std::out_of_range("pc");
    switch (memory[static_cast<std::size_t>(pc)]) {
    case 1: {
        const std::int32_t n = Operand();
        pc += 2;
        Add(Word(n), 4);
        break;
    }
    case 2: {
        const std::int32_t n = Operand();
        pc += 2;
        Add(n, 3);
        break;
    }
    case 4:
        pc += 2;
        Add(pc, 3);
        break;
    case 8: {
        const std::int32_t n = Operand();
        pc = v ? n : pc + 2;
        Tick(3);
        break;
    }
    case 16: {
        const std::int32_t n = Operand();
        pc += 2;
        a = Word(n);
        Tick(3);
        break;
    }
    case 32: {
        const std::int32_t n = Operand();
        pc += 2;
        a = n;
        Tick(3);
        break;
    }
    case 64:
        pc += 2;
        a = pc;
        Tick(3);
        break;
    case 128: {
        const std::int32_t n = Operand();
        pc += 2;
        Word(n) = a;
        Tick(3);
        break;
    }
    case 256:
        pc = a;
        Tick(3);
        break;
    default: break;
    }
}

[[gnu::aligned(64)]] void FloorStepper::Step() {
    const std::int32_t word = memory[static_cast<std::size_t>(pc)];
    if (word == 32)
        a = memory[static_cast<std::size_t>(pc + 1)];
    pc = word == 256 ? a : pc + 2;
    cycles += 3;
}

} // namespace wren::bench

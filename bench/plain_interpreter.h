#pragma once

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

namespace wren::bench {

/// The same machine written as plainly as it can be: one switch, checks
/// inline, no helpers. The yardstick for Wren::Step's speed.
struct PlainInterpreter {
    std::vector<std::int32_t> memory = std::vector<std::int32_t>(65536);
    std::int32_t a = 0, pc = 0, cycles = 0;
    bool v = false;

    void Tick(std::int32_t cost) {
        if (cycles > std::numeric_limits<std::int32_t>::max() - cost)
            throw std::overflow_error("cycles");
        cycles += cost;
    }
    std::int32_t Operand() const {
        if (pc == 65535)
            throw std::out_of_range("operand word");
        return memory[static_cast<std::size_t>(pc + 1)];
    }
    std::int32_t& Word(std::int32_t n) {
        if (n < 0 || n > 65535)
            throw std::out_of_range("operand");
        return memory[static_cast<std::size_t>(n)];
    }
    void Add(std::int64_t x, std::int32_t cost) {
        const std::int64_t sum = x + a;
        if (sum < std::numeric_limits<std::int32_t>::min() ||
            sum > std::numeric_limits<std::int32_t>::max())
            throw std::overflow_error("sum");
        v = sum > 65535;
        Tick(cost);
        a = static_cast<std::int32_t>(sum % 65536);
    }

    /// Out of line, in its own file, as Wren::Step is: the comparison is
    /// of the interpreters, not of inlining.
    void Step();
};

/// The least any Step must do on the benchmark's loop: read the word at PC
/// and decide on it, move PC on, count the cycles, and carry the data that
/// PC itself depends on (LDAi's operand into A, and STApc's jump through A).
/// Every interpreter of this machine does at least this on that loop.
struct FloorStepper {
    std::vector<std::int32_t> memory = std::vector<std::int32_t>(65536);
    std::int32_t a = 0, pc = 0, cycles = 0;

    void Step();
};

} // namespace wren::bench

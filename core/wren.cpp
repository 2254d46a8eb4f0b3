#include "wren.h"

#include "opcodes.h"

#include <algorithm>
#include <limits>
#include <string>

namespace wren {

namespace {

constexpr std::int32_t kLastAddress = Wren::kMemoryWords - 1;
constexpr std::int32_t kMaxWord = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMinWord = std::numeric_limits<std::int32_t>::min();

constexpr bool InMemory(std::int64_t address) { return address >= 0 && address <= kLastAddress; }

// The throwing paths are kept out of line so that Step stays a few compares and
// a jump table.
[[noreturn, gnu::cold, gnu::noinline]] void ThrowPcOutside(std::int32_t pc) {
    throw IndexOutOfRange("index out of range: program counter " + std::to_string(pc) +
                          " is outside memory");
}

[[noreturn, gnu::cold, gnu::noinline]] void ThrowNoOperandWord(std::string_view mnemonic,
                                                               std::int32_t at) {
    throw IndexOutOfRange("index out of range: " + std::string(mnemonic) +
                          " has no operand word at address " + std::to_string(at));
}

[[noreturn, gnu::cold, gnu::noinline]] void
ThrowOperandOutside(const char* mnemonic, std::int32_t operand, std::int32_t at) {
    throw IndexOutOfRange("index out of range: " + std::string(mnemonic) + " operand " +
                          std::to_string(operand) + " at address " + std::to_string(at));
}

[[noreturn, gnu::cold, gnu::noinline]] void ThrowSumOverflow(std::int64_t sum, std::int32_t at) {
    throw ArithmeticOverflow("arithmetic overflow: sum " + std::to_string(sum) +
                             " does not fit 32 bits at address " + std::to_string(at));
}

[[noreturn, gnu::cold, gnu::noinline]] void ThrowCycleOverflow(std::int32_t at) {
    throw ArithmeticOverflow("arithmetic overflow: cycle count would pass " +
                             std::to_string(kMaxWord) + " at address " + std::to_string(at));
}

} // namespace

// make_unique<T[]> value-initialises, so every word starts at 0.
Wren::Wren() : Ram(std::make_unique<std::int32_t[]>(kMemoryWords)) {}

Wren::~Wren() = default;

std::int32_t Wren::Memory(std::int32_t address) const {
    if (!InMemory(address))
        throw IndexOutOfRange("index out of range: address " + std::to_string(address) +
                              " is outside memory");
    return Ram[address];
}

void Wren::SetMemory(std::int32_t address, std::int32_t value) {
    Memory(address);
    Ram[address] = value;
}

void Wren::Clear() noexcept {
    std::fill_n(Ram.get(), kMemoryWords, 0);
    himem_ = 0;
    Reset();
}

void Wren::SetRegisters(const Registers& registers) noexcept {
    accumulator_ = registers.accumulator;
    pcounter_ = registers.pcounter;
    overflow_ = registers.overflow;
    cycles_ = registers.cycles;
}

void Wren::Reset() noexcept {
    accumulator_ = 0;
    pcounter_ = 0;
    overflow_ = false;
    cycles_ = 0;
}

void Wren::Step() {
    const std::int32_t at = pcounter_;
    // One compare sends both rare cases aside: PC outside memory, and PC at
    // the last word, where an instruction has no operand word.
    if (static_cast<std::uint32_t>(at) >= static_cast<std::uint32_t>(kLastAddress)) [[unlikely]] {
        if (!InMemory(at))
            ThrowPcOutside(at);
        StepAt<true>(at);
        return;
    }
    StepAt<false>(at);
}

// Each case written out with its operand read once: the compiler keeps the
// addresses in registers, where separate Exec functions reloaded PC.
template <bool kLastWord> void Wren::StepAt(std::int32_t at) {
    std::int32_t* const ram = Ram.get();
    const std::int32_t next = at + 2;
    switch (ram[at]) {
    case 1: { // ADDm
        const std::int32_t n = OperandWord<kLastWord>(at);
        pcounter_ = next;
        Add(Word(n, "ADDm", at), 4, at);
        return;
    }
    case 2: {
        const std::int32_t n = OperandWord<kLastWord>(at);
        pcounter_ = next;
        Add(n, 3, at);
        return;
    }
    case 4:
        pcounter_ = next;
        Add(next, 3, at);
        return;
    case 8: {
        const std::int32_t n = OperandWord<kLastWord>(at);
        pcounter_ = overflow_ ? n : next;
        AddCycles(3, at);
        return;
    }
    case 16: {
        const std::int32_t n = OperandWord<kLastWord>(at);
        pcounter_ = next;
        accumulator_ = Word(n, "LDAm", at);
        AddCycles(3, at);
        return;
    }
    case 32: {
        const std::int32_t n = OperandWord<kLastWord>(at);
        pcounter_ = next;
        accumulator_ = n;
        AddCycles(3, at);
        return;
    }
    case 64:
        pcounter_ = next;
        accumulator_ = next;
        AddCycles(3, at);
        return;
    case 128: {
        const std::int32_t n = OperandWord<kLastWord>(at);
        pcounter_ = next;
        Word(n, "STAm", at) = accumulator_;
        AddCycles(3, at);
        return;
    }
    case 256:
        pcounter_ = accumulator_;
        AddCycles(3, at);
        return;
    default: return; // no instruction: nothing changes
    }
}

// The operand word of the instruction at pc, which must lie inside memory
// before the instruction may change anything.
template <bool kLastWord> std::int32_t Wren::OperandWord(std::int32_t pc) const {
    if constexpr (kLastWord)
        ThrowNoOperandWord(FindOpcode(Ram[pc])->mnemonic, pc);
    return Ram[pc + 1];
}

std::int32_t& Wren::Word(std::int32_t address, const char* mnemonic, std::int32_t at) {
    if (!InMemory(address)) [[unlikely]]
        ThrowOperandOutside(mnemonic, address, at);
    return Ram[address];
}

void Wren::AddCycles(std::int32_t cost, std::int32_t at) {
    if (cycles_ > kMaxWord - cost) [[unlikely]]
        ThrowCycleOverflow(at);
    cycles_ += cost;
}

// The shared tail of the three add instructions, in the order that decides
// what a fault leaves behind: sum, V, cycles, then A.
void Wren::Add(std::int32_t value, std::int32_t cost, std::int32_t at) {
    const std::int64_t sum = std::int64_t{value} + accumulator_;
    if (sum < kMinWord || sum > kMaxWord) [[unlikely]]
        ThrowSumOverflow(sum, at);
    overflow_ = sum > 65535;
    AddCycles(cost, at);
    accumulator_ = static_cast<std::int32_t>(sum % 65536); // truncating, sign of sum
}

} // namespace wren

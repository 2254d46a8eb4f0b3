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
    const std::int32_t pc = pcounter_;
    if (!InMemory(pc)) [[unlikely]]
        ThrowPcOutside(pc);

    switch (Ram[pc]) {
    case 1: ExecADDm(OperandWord(pc)); break;
    case 2: ExecADDi(OperandWord(pc)); break;
    case 4: ExecADDpc(); break;
    case 8: ExecBVS(OperandWord(pc)); break;
    case 16: ExecLDAm(OperandWord(pc)); break;
    case 32: ExecLDAi(OperandWord(pc)); break;
    case 64: ExecLDApc(); break;
    case 128: ExecSTAm(OperandWord(pc)); break;
    case 256: ExecSTApc(); break;
    default: break; // no instruction: nothing changes
    }
}

// The operand word of the instruction at pc, which must lie inside memory
// before the instruction may change anything.
std::int32_t Wren::OperandWord(std::int32_t pc) const {
    if (pc == kLastAddress) [[unlikely]]
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

void Wren::ExecADDm(std::int32_t operand) {
    const std::int32_t at = pcounter_;
    pcounter_ += 2;
    Add(Word(operand, "ADDm", at), 4, at);
}

void Wren::ExecADDi(std::int32_t operand) {
    const std::int32_t at = pcounter_;
    pcounter_ += 2;
    Add(operand, 3, at);
}

void Wren::ExecADDpc() {
    const std::int32_t at = pcounter_;
    pcounter_ += 2;
    Add(pcounter_, 3, at);
}

void Wren::ExecBVS(std::int32_t operand) {
    const std::int32_t at = pcounter_;
    pcounter_ = overflow_ ? operand : pcounter_ + 2;
    AddCycles(3, at);
}

void Wren::ExecLDAm(std::int32_t operand) {
    const std::int32_t at = pcounter_;
    pcounter_ += 2;
    accumulator_ = Word(operand, "LDAm", at);
    AddCycles(3, at);
}

void Wren::ExecLDAi(std::int32_t operand) {
    const std::int32_t at = pcounter_;
    pcounter_ += 2;
    accumulator_ = operand;
    AddCycles(3, at);
}

void Wren::ExecLDApc() {
    const std::int32_t at = pcounter_;
    pcounter_ += 2;
    accumulator_ = pcounter_;
    AddCycles(3, at);
}

void Wren::ExecSTAm(std::int32_t operand) {
    const std::int32_t at = pcounter_;
    pcounter_ += 2;
    Word(operand, "STAm", at) = accumulator_;
    AddCycles(3, at);
}

void Wren::ExecSTApc() {
    const std::int32_t at = pcounter_;
    pcounter_ = accumulator_;
    AddCycles(3, at);
}

} // namespace wren

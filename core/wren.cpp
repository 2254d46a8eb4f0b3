#include "wren.h"

#include "fault_text.h"
#include "opcodes.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>

namespace wren {

namespace {

constexpr std::int32_t kLastAddress = Wren::kMemoryWords - 1;
constexpr std::int32_t kMaxWord = std::numeric_limits<std::int32_t>::max();

constexpr bool InMemory(std::int64_t address) { return address >= 0 && address <= kLastAddress; }

// The throwing paths are kept out of line so that Step stays a few compares and
// a jump table.
[[noreturn, gnu::cold, gnu::noinline]] void ThrowPcOutside(std::int32_t pc) {
    throw IndexOutOfRange(PcOutsideText(pc));
}

[[noreturn, gnu::cold, gnu::noinline]] void ThrowNoOperandWord(std::string_view mnemonic,
                                                               std::int32_t at) {
    throw IndexOutOfRange(NoOperandWordText(mnemonic, at));
}

[[noreturn, gnu::cold, gnu::noinline]] void
ThrowOperandOutside(const char* mnemonic, std::int32_t operand, std::int32_t at) {
    throw IndexOutOfRange(OperandOutsideText(mnemonic, operand, at));
}

[[noreturn, gnu::cold, gnu::noinline]] void ThrowSumOverflow(std::int64_t sum, std::int32_t at) {
    throw ArithmeticOverflow(SumOverflowText(sum, at));
}

[[noreturn, gnu::cold, gnu::noinline]] void ThrowCycleOverflow(std::int32_t at) {
    throw ArithmeticOverflow(CycleOverflowText(at));
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

// On a cache line of its own, so its speed does not change with where the
// linker puts it among the code around it.
[[gnu::aligned(64)]] void Wren::Step() {
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

// Opcode words are powers of two up to 256, which a switch on them turns into
// a tree of compares before its jump table. Mapping the word to a dense case
// number first leaves one bounds check, one byte load and one indirect jump.
namespace {
enum Case : std::uint8_t { kNone, kAddM, kAddI, kAddPc, kBvs, kLdaM, kLdaI, kLdaPc, kStaM, kStaPc };
constexpr std::uint32_t kHighestOpcode = 256;
#ifdef __EMSCRIPTEN__
constexpr bool kOneCompare = false;
#else
constexpr bool kOneCompare = true;
#endif
constexpr std::array<std::uint8_t, kHighestOpcode + 1> kCaseOf = [] {
    std::array<std::uint8_t, kHighestOpcode + 1> cases{};
    cases[1] = kAddM;
    cases[2] = kAddI;
    cases[4] = kAddPc;
    cases[8] = kBvs;
    cases[16] = kLdaM;
    cases[32] = kLdaI;
    cases[64] = kLdaPc;
    cases[128] = kStaM;
    cases[256] = kStaPc;
    return cases;
}();
static_assert(std::size(kOpcodes) == kStaPc && kOpcodes.back().opcode == kHighestOpcode);
} // namespace

// Each case written out with its operand read once: the compiler keeps the
// addresses in registers, where separate Exec functions reloaded PC.
template <bool kLastWord> void Wren::StepAt(std::int32_t at) {
    std::int32_t* const ram = Ram.get();
    const std::int32_t next = at + 2;
    const auto word = static_cast<std::uint32_t>(ram[at]);
    if (word > kHighestOpcode)
        return; // no instruction: nothing changes
    switch (kCaseOf[word]) {
    case kNone: return;
    case kAddM: {
        const std::int32_t n = OperandWord<kLastWord>(at);
        pcounter_ = next;
        Add(Word(n, "ADDm", at), 4, at);
        return;
    }
    case kAddI: {
        const std::int32_t n = OperandWord<kLastWord>(at);
        pcounter_ = next;
        Add(n, 3, at);
        return;
    }
    case kAddPc:
        pcounter_ = next;
        Add(next, 3, at);
        return;
    case kBvs: {
        const std::int32_t n = OperandWord<kLastWord>(at);
        pcounter_ = overflow_ ? n : next;
        AddCycles(3, at);
        return;
    }
    case kLdaM: {
        const std::int32_t n = OperandWord<kLastWord>(at);
        pcounter_ = next;
        accumulator_ = Word(n, "LDAm", at);
        AddCycles(3, at);
        return;
    }
    case kLdaI: {
        const std::int32_t n = OperandWord<kLastWord>(at);
        pcounter_ = next;
        accumulator_ = n;
        AddCycles(3, at);
        return;
    }
    case kLdaPc:
        pcounter_ = next;
        accumulator_ = next;
        AddCycles(3, at);
        return;
    case kStaM: {
        const std::int32_t n = OperandWord<kLastWord>(at);
        pcounter_ = next;
        Word(n, "STAm", at) = accumulator_;
        AddCycles(3, at);
        return;
    }
    case kStaPc:
        pcounter_ = accumulator_;
        AddCycles(3, at);
        return;
    default: __builtin_unreachable(); // kCaseOf holds nothing else
    }
}

void Wren::StepWhile(long long limit, long long& steps) {
    constexpr long long kMostCyclesPerStep = 4;
    while (steps < limit) {
        // No cycle fault can come within this many steps, whatever they are.
        const long long safe = (kMaxWord - cycles_) / kMostCyclesPerStep;
        steps += StepPlain<false>(std::min(limit - steps, safe));
        if (steps >= limit)
            return;
        // StepPlain stopped before a step it leaves to Step: the end, a
        // step that faults, one at the last word, or one near the cycle limit.
        const std::int32_t at = pcounter_;
        if (InMemory(at) && FindOpcode(Ram[at]) == nullptr)
            return;
        Step();
        ++steps;
    }
}

StopCause Wren::StepUntil(long long limit, long long& steps, const StopSet& stops) {
    return StepUntilNoting<false>(limit, steps, stops, nullptr);
}

StopCause Wren::StepUntil(long long limit, long long& steps, const StopSet& stops,
                          WriteLog& written) {
    return StepUntilNoting<true>(limit, steps, stops, &written);
}

template <bool kRecord>
StopCause Wren::StepUntilNoting(long long limit, long long& steps, const StopSet& stops,
                                WriteLog* written) {
    constexpr long long kMostCyclesPerStep = 4;
    bool ran = false;
    for (;;) {
        if (ran && stops.At(pcounter_))
            return StopCause::At;
        if (steps >= limit)
            return StopCause::Limit;
        const std::int32_t at = pcounter_;
        if (InMemory(at) && FindOpcode(Ram[at]) == nullptr)
            return StopCause::NoInstruction;
        // The first step runs wherever PC is; after it, StepPlain looks at
        // the stops before each step (PC was just looked at here).
        const long long safe = (kMaxWord - cycles_) / kMostCyclesPerStep;
        const long long count = std::min({limit - steps, safe, ran ? limit : 1LL});
        // Asked before the step: an STAm may overwrite its own operand word.
        const std::int32_t firstTarget = ran ? -1 : wren::StoreTarget(Ram.get(), at);
        bool wrote = false;
        const long long done = ran ? StepPlain<true, kRecord>(count, &stops, &wrote, written)
                                   : StepPlain<false, kRecord>(count, nullptr, nullptr, written);
        steps += done;
        if (wrote || (done == 1 && firstTarget >= 0 && stops.Writes(firstTarget)))
            return StopCause::Write;
        if (done > 0) {
            ran = true;
            continue;
        }
        // A step StepPlain leaves to Step, as in StepWhile.
        const std::int32_t target = wren::StoreTarget(Ram.get(), at);
        Step();
        if constexpr (kRecord)
            if (target >= 0)
                written->Note(target);
        ++steps;
        ran = true;
        if (target >= 0 && stops.Writes(target))
            return StopCause::Write;
    }
}

// The registers live in locals here: the compiler need not reload them after
// each store to memory, which might otherwise alias them. Whatever could
// fault leaves the loop before it changes anything.
template <bool kStops, bool kRecord>
[[gnu::aligned(64)]] long long Wren::StepPlain(long long count, const StopSet* stops, bool* wrote,
                                               WriteLog* written) {
    std::int32_t* const ram = Ram.get();
    std::int32_t a = accumulator_;
    std::int32_t pc = pcounter_;
    std::int32_t cycles = cycles_;
    bool v = overflow_;
    long long done = 0;
    const auto add = [&](std::int32_t value, std::int32_t cost) {
        std::int32_t sum = 0;
        if (__builtin_add_overflow(value, a, &sum))
            return false;
        v = sum > 65535;
        a = static_cast<std::int32_t>(sum % 65536);
        cycles += cost;
        return true;
    };
    for (; done < count; ++done) {
        // PC on the last word or outside memory, or (after the first step,
        // which the caller has looked at) on a stop. Natively one compare
        // tests both, a stop's mark lifting the value past the last word:
        // the stops then cost nothing measurable. V8's code runs the two
        // plain tests faster.
        auto guard = static_cast<std::uint32_t>(pc);
        if constexpr (kStops && kOneCompare)
            guard |= stops->MarkAt(pc) << 16;
        if (guard >= static_cast<std::uint32_t>(kLastAddress))
            break;
        if constexpr (kStops && !kOneCompare)
            if (stops->MarkAt(pc) != 0)
                break;
        const auto word = static_cast<std::uint32_t>(ram[pc]);
        if (word > kHighestOpcode)
            break;
        const std::int32_t n = ram[pc + 1];
        const std::int32_t next = pc + 2;
        switch (kCaseOf[word]) {
        case kAddM:
            if (!InMemory(n) || !add(ram[n], 4))
                goto out;
            pc = next;
            continue;
        case kAddI:
            if (!add(n, 3))
                goto out;
            pc = next;
            continue;
        case kAddPc:
            if (!add(next, 3))
                goto out;
            pc = next;
            continue;
        case kBvs: pc = v ? n : next; break;
        case kLdaM:
            if (!InMemory(n))
                goto out;
            a = ram[n];
            pc = next;
            break;
        case kLdaI:
            a = n;
            pc = next;
            break;
        case kLdaPc:
            a = next;
            pc = next;
            break;
        case kStaM:
            if (!InMemory(n))
                goto out;
            ram[n] = a;
            pc = next;
            if constexpr (kRecord)
                written->Note(n);
            // The one instruction that writes memory is the one to test.
            if constexpr (kStops) {
                if (stops->Writes(n)) {
                    cycles += 3;
                    ++done;
                    *wrote = true;
                    goto out;
                }
            }
            break;
        case kStaPc: pc = a; break;
        case kNone: goto out;
        default: __builtin_unreachable(); // kCaseOf holds nothing else
        }
        cycles += 3;
    }
out:
    accumulator_ = a;
    pcounter_ = pc;
    cycles_ = cycles;
    overflow_ = v;
    return done;
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
    // A fault leaves the count as it was, so the sum goes to a local first.
    std::int32_t sum = 0;
    if (__builtin_add_overflow(cycles_, cost, &sum)) [[unlikely]]
        ThrowCycleOverflow(at);
    cycles_ = sum;
}

// The shared tail of the three add instructions, in the order that decides
// what a fault leaves behind: sum, V, cycles, then A.
void Wren::Add(std::int32_t value, std::int32_t cost, std::int32_t at) {
    std::int32_t sum = 0;
    if (__builtin_add_overflow(value, accumulator_, &sum)) [[unlikely]]
        ThrowSumOverflow(std::int64_t{value} + accumulator_, at);
    overflow_ = sum > 65535;
    AddCycles(cost, at);
    accumulator_ = static_cast<std::int32_t>(sum % 65536); // truncating, sign of sum
}

} // namespace wren

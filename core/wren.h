#pragma once

#include "load_error.h"
#include "machine_error.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wren {

class ProgramReader;

/// A, PC, V and the cycle count together, for a debugger to save, restore
/// or edit.
struct Registers {
    std::int32_t accumulator = 0;
    std::int32_t pcounter = 0;
    bool overflow = false;
    std::int32_t cycles = 0;
    bool operator==(const Registers&) const = default;
};

/// Where Wren::StepUntil stops early: at an address PC reaches, or after a
/// write to a watched word. One byte a word, 128 KiB in all.
class StopSet {
public:
    /// Stop once a step leaves PC at address; addresses outside memory are ignored.
    void AddAt(std::int32_t address) {
        if (address >= 0 && address < 65536)
            at_[static_cast<std::size_t>(address)] = 1;
    }
    /// Stop after a step that writes the word at address.
    void AddWrite(std::int32_t address) {
        if (address >= 0 && address < 65536)
            writes_[static_cast<std::size_t>(address)] = 1;
    }
    void Clear() noexcept {
        at_.fill(0);
        writes_.fill(0);
    }
    /// Whether PC at address stops; false outside memory.
    bool At(std::int32_t address) const noexcept {
        return static_cast<std::uint32_t>(address) < 65536 &&
               at_[static_cast<std::size_t>(address)] != 0;
    }
    bool Writes(std::int32_t address) const noexcept {
        return static_cast<std::uint32_t>(address) < 65536 &&
               writes_[static_cast<std::size_t>(address)] != 0;
    }
    /// For the batched loop, which tests the bounds with it: 0, or nonzero
    /// for a stop at address modulo 65,536. One load and no branch.
    std::uint32_t MarkAt(std::int32_t address) const noexcept {
        return at_[static_cast<std::uint32_t>(address) & 0xFFFFU];
    }

private:
    // A byte a word: testing one is a single load, cheaper per step than a bit.
    std::array<std::uint8_t, 65536> at_{};
    std::array<std::uint8_t, 65536> writes_{};
};

/// The words a run stored to, each once: what must be put back before the
/// same loaded program runs again.
class WriteLog {
public:
    WriteLog() : marks_(std::make_unique<std::uint8_t[]>(65536)) {}
    void Note(std::int32_t address) {
        auto& mark = marks_[static_cast<std::uint16_t>(address)];
        if (mark == 0) {
            mark = 1;
            words_.push_back(address);
        }
    }
    const std::vector<std::int32_t>& Words() const { return words_; }
    /// Whether a step stored to address since the last Clear.
    bool Noted(std::int32_t address) const {
        return marks_[static_cast<std::uint16_t>(address)] != 0;
    }
    void Clear() {
        for (std::int32_t address : words_)
            marks_[static_cast<std::uint16_t>(address)] = 0;
        words_.clear();
    }

private:
    std::unique_ptr<std::uint8_t[]> marks_;
    std::vector<std::int32_t> words_;
};

/// Why Wren::StepUntil returned.
enum class StopCause : std::uint8_t {
    Limit,         ///< steps reached the limit
    NoInstruction, ///< the word at PC holds no instruction
    At,            ///< the last step left PC at a stop address
    Write,         ///< the last step wrote a watched word
};

/// The Wren processor: 65,536 words of memory, an accumulator, a program
/// counter, an overflow flag and a cycle counter.
class Wren {
public:
    static constexpr std::int32_t kMemoryWords = 65536;

    /// The overflow flag V.
    bool Overflow() const noexcept { return overflow_; }
    /// The accumulator A.
    std::int32_t Accumulator() const noexcept { return accumulator_; }
    /// The program counter PC: address of the next opcode word.
    std::int32_t PCounter() const noexcept { return pcounter_; }
    /// Clock cycles spent since construction or the last Reset.
    std::int32_t Cycles() const noexcept { return cycles_; }
    /// First address after the program written by the last load; 0 before any.
    std::int32_t HiMem() const noexcept { return himem_; }

    /// All registers at once.
    Registers GetRegisters() const noexcept {
        return {accumulator_, pcounter_, overflow_, cycles_};
    }
    /// Sets every register, as a debugger does to step back or to edit one.
    void SetRegisters(const Registers& registers) noexcept;

    /// The memory word at address.
    /// @throws IndexOutOfRange  for an address outside 0..65535
    std::int32_t Memory(std::int32_t address) const;
    /// All 65,536 words, for readers that look at many of them per step (a
    /// debugger's history); valid as long as the processor is.
    const std::int32_t* Words() const noexcept { return Ram.get(); }
    /// Writes the memory word at address, as a program's STAm would.
    /// @throws IndexOutOfRange  for an address outside 0..65535
    void SetMemory(std::int32_t address, std::int32_t value);

    /// Loads a program text file into memory from address 0 upwards.
    /// Returns nothing on success; on failure, what went wrong and on which line.
    /// Records before the failing one stay loaded. Never throws for file content.
    std::optional<LoadError> Load_Ram(const std::filesystem::path& filename);
    /// Loads a program text held in memory, exactly as Load_Ram loads a file
    /// with that content.
    std::optional<LoadError> LoadText(std::string_view text);

    /// One listing line for the instruction at Location, without a line end.
    std::string Disassemble(std::int32_t Location) const;

    /// Executes one instruction, or nothing at a word that holds none.
    /// @throws IndexOutOfRange  for PC or a memory operand outside 0..65535
    /// @throws ArithmeticOverflow  for a sum or cycle count past 32 bits
    void Step();

    /// Executes instructions while steps < limit and the word at PC holds an
    /// instruction, counting each one that completes in steps: the same
    /// states, in the same order, as that many calls of Step, in less time.
    /// @throws as Step does; steps then counts the instructions before the fault
    void StepWhile(long long limit, long long& steps);

    /// StepWhile that also stops after a step that writes a watched word or
    /// leaves PC at a stop address (the last step before the limit too; the
    /// first step runs wherever PC starts). The same states as that many
    /// calls of Step.
    /// @throws as Step does; steps then counts the instructions before the fault
    StopCause StepUntil(long long limit, long long& steps, const StopSet& stops);
    /// StepUntil that also notes in written every word a step stores to,
    /// for a caller that runs one loaded program many times and puts back
    /// only what each run wrote.
    StopCause StepUntil(long long limit, long long& steps, const StopSet& stops, WriteLog& written);

    /// Clears A, PC, V and the cycle count; memory and HiMem stay.
    void Reset() noexcept;

    /// Returns to the state of a new processor: every memory word, HiMem and
    /// the registers 0. Cheaper than a new processor for many short runs.
    void Clear() noexcept;

    Wren();
    ~Wren();
    Wren(const Wren&) = delete;
    Wren& operator=(const Wren&) = delete;

private:
    friend class WrenTestPeer;

    std::optional<LoadError> LoadFrom(ProgramReader& reader);
    /// One instruction at at; kLastWord when at is 65,535, which has no
    /// operand word after it.
    template <bool kLastWord> void StepAt(std::int32_t at);
    template <bool kLastWord> std::int32_t OperandWord(std::int32_t pc) const;
    /// Up to count plain steps that cannot fault; stops early, before
    /// anything Step must decide; returns how many ran.
    /// With kStops, also stops after a step that meets stops: a write sets
    /// wrote, a stop address is left for the caller to see at PC.
    template <bool kStops, bool kRecord = false>
    long long StepPlain(long long count, const StopSet* stops = nullptr, bool* wrote = nullptr,
                        WriteLog* written = nullptr);
    template <bool kRecord>
    StopCause StepUntilNoting(long long limit, long long& steps, const StopSet& stops,
                              WriteLog* written);
    void Add(std::int32_t value, std::int32_t cost, std::int32_t at);
    void AddCycles(std::int32_t cost, std::int32_t at);
    std::int32_t& Word(std::int32_t address, const char* mnemonic, std::int32_t at);

    std::unique_ptr<std::int32_t[]> Ram;
    std::int32_t accumulator_ = 0;
    std::int32_t pcounter_ = 0;
    std::int32_t cycles_ = 0;
    bool overflow_ = false;
    std::int32_t himem_ = 0;
};

} // namespace wren

#pragma once

#include "opcodes.h"
#include "wren.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wren {

/// A register, or a memory word, as a step uses it.
enum class Place : std::uint8_t { A, PC, V, Cycles, Memory };

/// "A", "PC", "V", "Cycles" or "M".
const char* PlaceName(Place place);

/// A value a step read: a register, or the memory word at address.
struct StepRead {
    Place place = Place::A;
    std::int32_t address = -1; ///< for Place::Memory
    std::int32_t value = 0;    ///< V as 0 or 1
    bool operator==(const StepRead&) const = default;
};

/// A value a step wrote, with what it held before.
struct StepWrite {
    Place place = Place::A;
    std::int32_t address = -1; ///< for Place::Memory
    std::int32_t before = 0;
    std::int32_t after = 0;
    bool operator==(const StepWrite&) const = default;
};

enum class StepOutcome : std::uint8_t {
    Executed,      ///< the instruction ran
    NoInstruction, ///< the word at PC holds none: nothing changes
    Fault,         ///< a machine fault stopped it, after the writes listed
};

/// One step of the processor, told in full: the instruction and where it
/// sits, what it read and wrote (in the order the processor does it),
/// whether a branch was taken, and for a fault, which access failed.
struct StepDescription {
    std::int32_t at = 0; ///< PC before the step
    StepOutcome outcome = StepOutcome::NoInstruction;
    const OpcodeInfo* instruction = nullptr; ///< null when the word at PC holds none
    std::int32_t word = 0;                   ///< the word at PC (0 when PC is outside memory)
    std::optional<std::int32_t> operand;     ///< the operand word, when it lies in memory
    std::vector<StepRead> reads;
    std::vector<StepWrite> writes;
    /// For BVS: whether it jumped, and where it would.
    std::optional<bool> taken;
    std::optional<std::int32_t> target;
    /// For a fault: the processor's message, and the access that failed, as
    /// "M[70000]" or "PC".
    std::string fault;
    std::string failed;
    /// One line of register-transfer notation with the actual values:
    /// "A ← A + M[100] = 5 + 7 = 12 · V ← 12 > 65535 = False · PC ← 10 · Cycles ← 27".
    std::string text;
};

/// A machine's state to describe a step from: registers and all 65,536
/// words, with one word read as another value (the word a step overwrote,
/// to describe that step afterwards).
struct MachineView {
    Registers registers;
    const std::int32_t* words = nullptr;
    std::int32_t patchAddress = -1;
    std::int32_t patchValue = 0;
    std::int32_t Word(std::int32_t address) const {
        return address == patchAddress ? patchValue : words[address];
    }
};

/// What Step would do from this state, without doing it.
StepDescription DescribeStep(const MachineView& machine);
/// What cpu.Step() would do now; cpu is not changed.
StepDescription DescribeStep(const Wren& cpu);

/// What an instruction does, in the notation of the descriptions:
/// "A ← A + M[n] · V ← A + M[n] > 65535 · PC ← PC + 2".
std::string_view TransferText(const OpcodeInfo& info);
/// One step of the instruction on a small machine (at 8, A 5, M[100] 7,
/// cycles 23; BVS with V true), described: an example for a reference.
StepDescription ExampleStep(const OpcodeInfo& info);

/// The step in words, for a screen reader: "A becomes 12: 5 plus word 100,
/// which holds 7. V becomes False. PC becomes 10." (the cycles left out:
/// the registers say them).
std::string SpokenText(const StepDescription& step);

/// The instruction as the listing names it: "ADDm 100", "LDApc", or the
/// word for one that holds none.
std::string InstructionText(const StepDescription& step);

} // namespace wren

#pragma once

#include "program_map.h"
#include "step_history.h"
#include "wren.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wren::dap {

/// Why execution stopped.
enum class StopReason {
    Step,                  ///< one instruction ran, as asked
    Breakpoint,            ///< PC reached a line breakpoint's record
    InstructionBreakpoint, ///< PC reached an instruction breakpoint's address
    DataBreakpoint,        ///< a step wrote a watched word
    Pause,                 ///< asked to pause
    End,                   ///< the word at PC holds no instruction
    Fault,                 ///< a machine fault
    Slice,                 ///< the step budget of one slice ran out; nothing to report
};

struct Stop {
    StopReason reason = StopReason::Step;
    /// For End and Fault: what happened, such as "no instruction at address 40".
    std::string description;
};

/// Where a line breakpoint landed.
struct LineBreakpoint {
    bool verified = false;
    /// The line of the record it sits on (1-based), or the line asked for.
    int line = 0;
    std::int32_t address = -1;
    std::string message;
};

/// A processor under a debugger: a loaded program and its map, breakpoints
/// of three kinds, and a history of steps that can be undone exactly.
class DebugMachine {
public:
    static constexpr std::size_t kDefaultHistory = 1'000'000;

    explicit DebugMachine(std::size_t history = kDefaultHistory) : history_(history) {}

    /// Loads path into a fresh processor; "FILE:LINE: reason" when it does not load.
    std::optional<std::string> Load(const std::string& path);

    Wren& Cpu() { return cpu_; }
    const Wren& Cpu() const { return cpu_; }
    const ProgramMap& Program() const { return program_; }

    /// Puts each breakpoint on the first record that takes memory at or after
    /// its line; replaces the line breakpoints set before.
    std::vector<LineBreakpoint> SetLineBreakpoints(const std::vector<int>& lines);
    /// Replace the breakpoints of their kind; addresses outside memory are dropped.
    void SetInstructionBreakpoints(const std::vector<std::int32_t>& addresses);
    void SetDataBreakpoints(const std::vector<std::int32_t>& addresses);

    /// What holds before anything ran: a breakpoint or the end at PC.
    std::optional<Stop> CheckStart();
    /// Executes one instruction, recording how to undo it, and says what it
    /// reached: Step, or a breakpoint, the end or a fault.
    Stop StepOne();
    /// Executes until something stops it, at least one instruction; returns
    /// Slice after max steps so that the caller can look around.
    Stop Run(const std::atomic<bool>& pause, long long max);
    /// Undoes the newest step; false when none is kept.
    bool StepBack();
    /// Undoes steps until PC is at a breakpoint again, or none is kept.
    Stop ReverseContinue();

    /// The word the newest kept step wrote, if it wrote one.
    std::optional<std::int32_t> LastWrite() const {
        const UndoEntry* newest = history_.Newest();
        return newest && newest->Address() >= 0 ? std::optional(newest->Address()) : std::nullopt;
    }
    /// The registers or memory were changed by hand: what ended the program
    /// may no longer hold, so the next step looks at PC again.
    void Edited() {
        finished_ = faulted_ = false;
        fault_.clear();
    }
    /// Whether the program has ended or faulted, so that going on exits it.
    bool Finished() const { return finished_; }
    /// 0 after an end, 2 after a fault, as wren-trace exits.
    int ExitCode() const { return faulted_ ? 2 : 0; }
    /// The fault's message, while stopped at one.
    const std::string& Fault() const { return fault_; }
    std::size_t HistorySize() const { return history_.Size(); }
    /// Where the newest kept step ran: the faulting instruction after a
    /// fault, the last one before the end.
    std::optional<std::int32_t> LastStepAt() const {
        const UndoEntry* newest = history_.Newest();
        return newest ? std::optional(newest->Before(0).pcounter) : std::nullopt;
    }

private:
    enum Mark : std::uint8_t { kLine = 1, kInstruction = 2, kData = 4 };

    StopReason Advance();
    StopReason AtPc() const;
    Stop Describe(StopReason reason) const;
    void SetMarks(Mark mark, const std::vector<std::int32_t>& addresses);

    Wren cpu_;
    ProgramMap program_;
    StepHistory history_;
    std::vector<std::uint8_t> marks_ = std::vector<std::uint8_t>(Wren::kMemoryWords);
    bool finished_ = false;
    bool faulted_ = false;
    std::string fault_;
};

} // namespace wren::dap

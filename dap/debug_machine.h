#pragma once

#include "loop_detector.h"
#include "program_map.h"
#include "step_description.h"
#include "step_history.h"
#include "wren.h"

#include <atomic>
#include <cstdint>
#include <memory>
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
    Loop,                  ///< the state came back to an earlier one: it would go round for ever
    Slice,                 ///< the step budget of one slice ran out; nothing to report
    Goto,                  ///< went back to a step asked for
};

struct Stop {
    StopReason reason = StopReason::Step;
    /// For End, Fault and Loop: what happened, such as "no instruction at address 40".
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

// What a continue keeps between its slices (namespace scope: clang cannot
// default-construct a nested class with member initialisers in an optional
// member of the class that encloses it).
/// The machine at one step of a batched run.
struct MachineCopy {
    long long step = 0;
    Registers registers;
    std::vector<std::int32_t> words;

    /// The machine's registers and every word, as at step.
    static MachineCopy Of(const Wren& machine, long long step) {
        const std::int32_t* all = machine.Words();
        return {step, machine.GetRegisters(), std::vector(all, all + Wren::kMemoryWords)};
    }
    /// Puts the machine back as it was when copied.
    void Restore(Wren& machine) const {
        for (std::int32_t address = 0; address < Wren::kMemoryWords; ++address)
            machine.SetMemory(address, words[static_cast<std::size_t>(address)]);
        machine.SetRegisters(registers);
    }
};
/// A batched run under way: how far it went, and copies to go back to.
struct BatchedRun {
    long long steps = 0;             ///< instructions completed since the run began
    bool faulted = false;            ///< the one after them faulted
    std::vector<MachineCopy> copies; ///< the newest two, oldest first
};
/// Watches a run for an endless loop, in windows that grow with the run
/// so that looking costs a small share of it.
struct LoopWatch {
    long long steps = 0; ///< since the run began
    long long nextWindow = 0;
    long long windowLeft = 0;
    long long windowStep = 0;
    std::optional<LoopDetector> detector;
};

/// One store to a memory word, as the run made it.
struct WordWrite {
    long long step = 0;     ///< the step that stored, counted from the load (the first is 1)
    std::int32_t at = 0;    ///< where its STAm was
    std::int32_t old = 0;   ///< what the word held before
    std::int32_t value = 0; ///< what it stored
    bool operator==(const WordWrite&) const = default;
};
/// Some of the stores to a word, newest first.
struct WordHistory {
    std::vector<WordWrite> writes;
    /// Earlier stores exist: ask again before the oldest one listed.
    bool more = false;
    /// The step the history starts after: the load, or the last change by
    /// hand (a word or a register set, or a step back past one).
    long long since = 0;
};

/// A stretch of a replay from the origin: the copy it starts from (steps
/// counted from the origin), the copy a chunk before that (none at the
/// origin), and the step it ends after.
struct ScanChunk {
    std::shared_ptr<const MachineCopy> start;
    std::shared_ptr<const MachineCopy> before;
    long long end = 0;
};

/// A processor under a debugger: a loaded program and its map, breakpoints
/// of three kinds, and a history of steps that can be undone exactly.
///
/// A run goes through the processor's batched loop, which stops at the
/// breakpoints itself, and writes no undo entries. It keeps a copy of the machine every
/// million steps or so instead, and when it stops, the history is rebuilt by
/// running the last steps again from a copy: the machine has no input, so
/// they go exactly as before. Whatever reads or changes the history or the
/// machine by hand sees the rebuilt one.
class DebugMachine {
public:
    static constexpr std::size_t kDefaultHistory = 1'000'000;

    /// copyEvery: how many steps apart a run keeps copies of the machine
    /// (at least history); tests make it small to cross many.
    explicit DebugMachine(std::size_t history = kDefaultHistory, long long copyEvery = 1LL << 20)
        : history_(history), copyEvery_(copyEvery) {}

    /// Loads path into a fresh processor; "FILE:LINE: reason" when it does not load.
    std::optional<std::string> Load(const std::string& path);

    const Wren& Cpu() const { return cpu_; }
    /// Runs every step of a continue through the traced path, with its undo
    /// entry: the reference the batched loop is held to.
    void TraceEveryStep(bool on) { traceAll_ = on; }
    /// The processor, to be changed by hand (a register or a word set).
    Wren& Edit() {
        Settle();
        originStale_ = true;
        return cpu_;
    }
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
    /// Slice after max steps so that the caller can look around. Calls that
    /// follow a Slice go on with the same run, which also stops at an
    /// endless loop.
    Stop Run(const std::atomic<bool>& pause, long long max);
    /// Undoes the newest step; false when none is kept.
    bool StepBack();
    /// Undoes steps until PC is at a breakpoint again, or just after a
    /// store to a watched word (found at any distance), or none is kept.
    Stop ReverseContinue();

    /// The word the newest kept step wrote, if it wrote one.
    std::optional<std::int32_t> LastWrite() {
        const UndoEntry* newest = Newest();
        return newest && newest->Address() >= 0 ? std::optional(newest->Address()) : std::nullopt;
    }
    /// The newest kept step, described as it ran; nothing when none is kept.
    std::optional<StepDescription> LastStep();
    /// What the next step will do, described before it runs.
    StepDescription NextStep() {
        Settle();
        return DescribeStep(cpu_);
    }
    /// The registers or memory were changed by hand: what ended the program
    /// may no longer hold, so the next step looks at PC again.
    void Edited() {
        Settle();
        originStale_ = true;
        finished_ = faulted_ = false;
        fault_.clear();
    }
    /// Steps run since the load, less those stepped back: the number of the
    /// newest step.
    long long StepCount() const { return steps_; }
    /// The stores to address, newest first: at most count of them, by steps
    /// before the one numbered before (all of them up to now when 0). Runs
    /// the program again from the load or the last change by hand, as far as
    /// needed, without logging every store.
    WordHistory WordWrites(std::int32_t address, std::size_t count, long long before = 0);
    /// The step word histories start after (WordHistory::since).
    long long HistoryStart() {
        Settle();
        KeepOrigin();
        return origin_.step;
    }
    /// Goes back to just after step (as Step back would, any distance);
    /// false when step is ahead of now or before the history's start.
    bool GoToStep(long long step);

    /// Steps the continue under way has run so far; 0 when none is.
    long long RunSteps() const { return watch_ ? watch_->steps : 0; }
    /// Whether the program has ended or faulted, so that going on exits it.
    bool Finished() const { return finished_; }
    /// 0 after an end, 2 after a fault, as wren-trace exits.
    int ExitCode() const { return faulted_ ? 2 : 0; }
    /// The fault's message, while stopped at one.
    const std::string& Fault() const { return fault_; }
    std::size_t HistorySize() {
        Settle();
        return history_.Size();
    }
    /// Where the newest kept step ran: the faulting instruction after a
    /// fault, the last one before the end.
    std::optional<std::int32_t> LastStepAt() {
        const UndoEntry* newest = Newest();
        return newest ? std::optional(newest->Before(0).pcounter) : std::nullopt;
    }

private:
    enum Mark : std::uint8_t { kLine = 1, kInstruction = 2, kData = 4 };

    StopReason Advance();
    StopReason AtPc() const;
    Stop Describe(StopReason reason) const;
    void SetMarks(Mark mark, const std::vector<std::int32_t>& addresses);

    /// Up to count steps, each with its undo entry; Step when all ran.
    StopReason RunTraced(const std::atomic<bool>& pause, long long count, long long& done);
    /// Up to count steps through the batched loop, keeping copies.
    StopReason RunBatched(const std::atomic<bool>& pause, long long count, long long& done);
    void TakeCopy(BatchedRun& run);
    long long CopyEvery() const;
    /// Rebuilds the history a batched run did not write.
    void SettleHistory();
    /// The newest kept step. After a batched run that has stopped, its last
    /// step alone is found again (from the newest copy, on a scratch
    /// machine): a stop is told without rebuilding the whole history, which
    /// waits for whatever needs more of it.
    const UndoEntry* Newest();
    /// SettleHistory, and the run (with its loop watch) is over.
    void Settle() {
        SettleHistory();
        watch_.reset();
    }
    Stop Finish(StopReason reason);
    /// After a change by hand, the state now becomes where histories start.
    void KeepOrigin();
    /// Runs from the origin to upTo steps past it, in chunks between copies,
    /// and returns the newest `keep` chunks that stored to address (with a
    /// negative address, the last chunk); dropped says whether older ones
    /// did too.
    std::vector<ScanChunk> ScanChunks(std::int32_t address, long long upTo, std::size_t keep,
                                      bool& dropped);
    /// Adds to out, newest first, the chunk's last want stores to address.
    void ChunkWrites(const ScanChunk& chunk, std::int32_t address, std::size_t want,
                     std::vector<WordWrite>& out);

    Wren cpu_;
    ProgramMap program_;
    StepHistory history_;
    std::vector<std::uint8_t> marks_ = std::vector<std::uint8_t>(Wren::kMemoryWords);
    std::size_t marked_ = 0; // words with any mark
    StopSet stops_;          // the marks as the batched loop tests them
    std::optional<BatchedRun> batched_;
    std::optional<UndoEntry> batchedNewest_; // Newest() of a stopped batched run
    std::optional<LoopWatch> watch_;
    long long copyEvery_;
    long long steps_ = 0;
    // Where the word histories start: a copy of the machine after the load
    // or the last change by hand, and its step; taken again when stale.
    MachineCopy origin_;
    bool originStale_ = true;
    // The chunks the last word history found, for a GoToStep that follows
    // it, while the origin they came from holds.
    std::vector<ScanChunk> scanned_;
    bool traceAll_ = false;
    bool finished_ = false;
    bool faulted_ = false;
    std::string fault_;
};

} // namespace wren::dap

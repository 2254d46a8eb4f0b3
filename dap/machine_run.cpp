// Continue: the steps of a run, traced or batched, and the watch for an
// endless loop.

#include "debug_machine.h"

#include <algorithm>
#include <memory>

namespace wren::dap {

namespace {

// A batched run looks at pause this often. Short calls matter too: V8 moves
// a WebAssembly function to its optimising compiler on calls, not in a
// running loop, and long calls left Node.js's continue at half speed.
constexpr long long kPausePoll = 1LL << 16;
// Loop windows: the first at the start, each at least this long, and each
// a 128th of the run so far, with 127 times its length between (a window
// each time the run doubles). A loop of period p is found once a window is
// longer than about 2p; the windows' steps run a few times slower.
constexpr long long kShortestWindow = 4096;
constexpr long long kWindowShare = 128;
// The detector keeps every store since its last kept state: this bounds it
// (to 16 MiB), and loops longer than about two million steps run on to the
// cycle count's fault instead.
constexpr long long kLongestWindow = 1LL << 22;

// Puts machine in the state after step of run: the newest copy at or before
// it, run on to there. The machine has no input, so the steps go again
// exactly as they went.
void RunFromCopy(const BatchedRun& run, long long step, Wren& machine) {
    const MachineCopy& copy =
        run.copies.back().step <= step ? run.copies.back() : run.copies.front();
    copy.Restore(machine);
    long long replayed = 0;
    machine.StepWhile(step - copy.step, replayed);
}

} // namespace

// The history waits: a stop is told at once, and only what needs more than
// the newest step rebuilds it (Settle).
Stop DebugMachine::Finish(StopReason reason) {
    if (batched_)
        watch_.reset();
    else
        Settle();
    if (reason == StopReason::End)
        finished_ = true;
    return Describe(reason);
}

Stop DebugMachine::Run(const std::atomic<bool>& pause, long long max) {
    if (!watch_) {
        Settle();
        KeepOrigin();
        if (AtPc() == StopReason::End)
            return Finish(StopReason::End);
        watch_.emplace();
    }
    // The batched loop stops at breakpoints as the traced steps do; with no
    // history to rebuild, the traced steps are as cheap.
    const bool batched = history_.Capacity() > 0 && !traceAll_;
    if (!batched)
        SettleHistory();
    LoopWatch& watch = *watch_;
    for (long long n = 0; n < max;) {
        if (watch.windowLeft == 0 && watch.steps >= watch.nextWindow) {
            watch.detector.emplace(cpu_);
            watch.windowStep = 0;
            watch.windowLeft =
                std::clamp(watch.steps / kWindowShare, kShortestWindow, kLongestWindow);
            watch.nextWindow = watch.steps + watch.windowLeft * kWindowShare;
        }
        // In a window the detector sees every step; between windows the
        // steps run in one go, up to the next window.
        const bool looking = watch.windowLeft > 0;
        if (looking)
            watch.detector->Before(cpu_.PCounter());
        long long done = 0;
        const long long count = looking ? 1 : std::min(max - n, watch.nextWindow - watch.steps);
        const StopReason reason =
            batched ? RunBatched(pause, count, done) : RunTraced(pause, count, done);
        n += done;
        watch.steps += done;
        // A batched run does not count the step that faulted; the history does.
        steps_ += done + (batched && reason == StopReason::Fault ? 1 : 0);
        if (reason != StopReason::Step)
            return Finish(reason);
        if (!looking)
            continue;
        --watch.windowLeft;
        if (watch.detector->After(++watch.windowStep)) {
            const long long period = watch.windowStep - watch.detector->Repeats();
            Settle();
            return {StopReason::Loop, "endless loop: every " + std::to_string(period) +
                                          (period == 1 ? " step" : " steps") +
                                          ", PC, A, V and memory are as they were"};
        }
        if (watch.windowLeft == 0)
            watch.detector.reset();
        if ((watch.windowStep & 1023) == 0 && pause.load(std::memory_order_relaxed))
            return Finish(StopReason::Pause);
    }
    return {StopReason::Slice, {}};
}

StopReason DebugMachine::RunTraced(const std::atomic<bool>& pause, long long count,
                                   long long& done) {
    while (done < count) {
        const StopReason reason = Advance();
        ++done;
        if (reason != StopReason::Step)
            return reason;
        if ((done & 1023) == 0 && pause.load(std::memory_order_relaxed))
            return StopReason::Pause;
    }
    return StopReason::Step;
}

StopReason DebugMachine::RunBatched(const std::atomic<bool>& pause, long long count,
                                    long long& done) {
    if (!batched_)
        TakeCopy(batched_.emplace());
    BatchedRun& run = *batched_;
    const long long every = CopyEvery();
    while (done < count) {
        if (run.steps - run.copies.back().step >= every)
            TakeCopy(run);
        const long long part =
            std::min({count - done, every - (run.steps - run.copies.back().step), kPausePoll});
        long long ran = 0;
        StopCause cause = StopCause::Limit;
        try {
            // With nothing marked, the loop that looks at no stops.
            if (marked_ == 0) {
                cpu_.StepWhile(part, ran);
                cause = ran < part ? StopCause::NoInstruction : StopCause::Limit;
            } else {
                cause = cpu_.StepUntil(part, ran, stops_);
            }
        } catch (const MachineError& fault) {
            run.steps += ran;
            done += ran;
            run.faulted = finished_ = faulted_ = true;
            fault_ = fault.what();
            return StopReason::Fault;
        }
        run.steps += ran;
        done += ran;
        switch (cause) {
        case StopCause::Limit: break;
        case StopCause::NoInstruction: return StopReason::End;
        case StopCause::Write: return StopReason::DataBreakpoint;
        // What the traced steps would say here: the end before a breakpoint.
        case StopCause::At: return AtPc();
        }
        if (pause.load(std::memory_order_relaxed))
            return StopReason::Pause;
    }
    return StopReason::Step;
}

// A batched run keeps a copy of the machine this often, or once per history
// length if that is longer. The history is rebuilt from the newest copy at
// least that far back, so the most a stop runs again is twice the longer.
long long DebugMachine::CopyEvery() const {
    return std::max(copyEvery_, static_cast<long long>(history_.Capacity()));
}

void DebugMachine::TakeCopy(BatchedRun& run) {
    if (run.copies.size() == 2)
        run.copies.erase(run.copies.begin());
    run.copies.push_back(MachineCopy::Of(cpu_, run.steps));
}

// Only the last steps run again from a copy, which the history keeps, write
// undo entries. Where they end is where the machine is now, fault and end
// included.
void DebugMachine::SettleHistory() {
    batchedNewest_.reset();
    if (!batched_)
        return;
    const BatchedRun run = std::move(*batched_);
    batched_.reset();
    const long long total = run.steps + (run.faulted ? 1 : 0);
    const long long keep = std::min(total, static_cast<long long>(history_.Capacity()));
    RunFromCopy(run, total - keep, cpu_);
    for (long long i = 0; i < keep; ++i)
        Advance();
}

const UndoEntry* DebugMachine::Newest() {
    if (!batched_ || watch_) {
        Settle();
        return history_.Newest();
    }
    if (batchedNewest_)
        return &*batchedNewest_;
    const BatchedRun& run = *batched_;
    const long long total = run.steps + (run.faulted ? 1 : 0);
    if (total == 0 || history_.Capacity() == 0) {
        Settle();
        return history_.Newest();
    }
    // The state before the newest step, as SettleHistory would reach it.
    auto scratch = std::make_unique<Wren>();
    RunFromCopy(run, total - 1, *scratch);
    const Registers registers = scratch->GetRegisters();
    const std::int32_t* words = scratch->Words();
    const std::int32_t target = StoreTarget(words, registers.pcounter);
    batchedNewest_ =
        target >= 0 ? UndoEntry(registers, target, words[target]) : UndoEntry(registers);
    return &*batchedNewest_;
}

} // namespace wren::dap

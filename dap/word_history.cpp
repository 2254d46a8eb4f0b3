// A word's history: the stores to it, read from the kept steps' undo
// entries, and beyond them found again by running the program from where
// the history starts. The run has no input, so it goes exactly as before;
// it is cut into chunks between copies of the machine, and only the chunks
// that stored to the word run again step by step.

#include "debug_machine.h"

#include "machine_error.h"
#include "opcodes.h"

#include <algorithm>
#include <deque>

namespace wren::dap {

namespace {

// How many chunks with stores one history keeps copies of: a page of
// entries comes from at most these, so memory stays under twice this many
// copies of the machine (256 KiB each, 32 MiB in all). The page's 50 come
// whole from a word stored to once a chunk.
constexpr std::size_t kMostChunks = 64;

bool InMemory(std::int32_t address) { return address >= 0 && address < Wren::kMemoryWords; }

std::shared_ptr<const MachineCopy> CopyOf(const Wren& machine, long long step) {
    return std::make_shared<const MachineCopy>(MachineCopy::Of(machine, step));
}

// The last step of a replay may be the one that faulted; an STAm stores
// before its cycles fault, so the store counts. Returns the word stored
// to, or -1.
std::int32_t StepLast(Wren& machine) {
    const std::int32_t target = StoreTarget(machine.Words(), machine.PCounter());
    try {
        machine.Step();
    } catch (const MachineError&) {
    }
    return target;
}

} // namespace

void DebugMachine::KeepOrigin() {
    if (!originStale_)
        return;
    origin_ = MachineCopy::Of(cpu_, steps_);
    originStale_ = false;
    scanned_.clear();
}

std::vector<ScanChunk> DebugMachine::ScanChunks(std::int32_t address, long long upTo,
                                                std::size_t keep, bool& dropped) {
    dropped = false;
    auto machine = std::make_unique<Wren>();
    origin_.Restore(*machine);
    std::shared_ptr<const MachineCopy> start = CopyOf(*machine, 0);
    if (upTo < 1) // the origin itself
        return {{start, nullptr, 0}};
    std::shared_ptr<const MachineCopy> before;
    std::deque<ScanChunk> found;
    WriteLog log;
    const StopSet none;
    const long long every = CopyEvery();
    for (long long at = 0;;) {
        // All but the last step in one go; the last alone, since it may fault.
        const long long part = std::min(every, upTo - 1 - at);
        long long ran = 0;
        while (ran < part) {
            const long long was = ran;
            machine->StepUntil(part, ran, none, log);
            if (ran == was)
                break; // the run ended early: the replay went otherwise
        }
        at += ran;
        const bool last = at == upTo - 1;
        bool wrote = address < 0 ? last : log.Noted(address);
        if (last) {
            wrote = StepLast(*machine) == address || wrote;
            ++at;
        }
        if (wrote) {
            if (found.size() == keep) {
                found.pop_front();
                dropped = true;
            }
            found.push_back({start, before, at});
        }
        if (last || ran < part)
            break;
        log.Clear();
        before = start;
        start = CopyOf(*machine, at);
    }
    return {found.begin(), found.end()};
}

void DebugMachine::ChunkWrites(const ScanChunk& chunk, std::int32_t address, std::size_t want,
                               std::vector<WordWrite>& out) {
    auto machine = std::make_unique<Wren>();
    chunk.start->Restore(*machine);
    auto stops = std::make_unique<StopSet>();
    stops->AddWrite(address);
    std::deque<WordWrite> newest; // the chunk's last want stores, oldest first
    const auto note = [&](long long at, std::int32_t pc, std::int32_t old) {
        if (newest.size() == want)
            newest.pop_front();
        newest.push_back({origin_.step + at, pc, old, machine->Memory(address)});
    };
    std::int32_t old = chunk.start->words[static_cast<std::size_t>(address)];
    long long at = chunk.start->step;
    while (at < chunk.end - 1) {
        long long ran = 0;
        const StopCause cause = machine->StepUntil(chunk.end - 1 - at, ran, *stops);
        at += ran;
        if (cause == StopCause::Write) {
            // Only STAm stores, and it leaves PC two words on.
            note(at, machine->PCounter() - 2, old);
            old = machine->Memory(address);
        } else if (ran == 0) {
            break;
        }
    }
    if (at == chunk.end - 1) {
        const std::int32_t pc = machine->PCounter();
        if (StepLast(*machine) == address)
            note(at + 1, pc, old);
    }
    out.insert(out.end(), newest.rbegin(), newest.rend());
}

WordHistory DebugMachine::WordWrites(std::int32_t address, std::size_t count, long long before) {
    Settle();
    KeepOrigin();
    WordHistory history;
    history.since = origin_.step;
    const long long upTo = before > 0 ? std::min(before - 1, steps_) : steps_;
    if (!InMemory(address) || count == 0 || upTo <= origin_.step)
        return history;
    std::vector<WordWrite>& writes = history.writes;
    // One more than asked for says whether there are more.
    const std::size_t want = count + 1;
    // The kept steps first: each undo entry names the word it overwrote.
    const long long kept = std::min(static_cast<long long>(history_.Size()), steps_ - origin_.step);
    std::int32_t after = cpu_.Memory(address);
    for (long long back = 0; back < kept && writes.size() < want; ++back) {
        const UndoEntry& undo = history_.FromNewest(static_cast<std::size_t>(back));
        if (undo.Address() != address)
            continue;
        if (steps_ - back <= upTo)
            writes.push_back({steps_ - back, undo.Before(0).pcounter, undo.Old(), after});
        after = undo.Old();
    }
    // Beyond them, a replay from the origin.
    const long long unkept = std::min(upTo, steps_ - kept) - origin_.step;
    if (writes.size() < want && unkept > 0) {
        bool dropped = false;
        scanned_ =
            ScanChunks(address, unkept, std::min(want - writes.size(), kMostChunks), dropped);
        for (auto chunk = scanned_.rbegin(); chunk != scanned_.rend() && writes.size() < want;
             ++chunk)
            ChunkWrites(*chunk, address, want - writes.size(), writes);
        // Chunks older than those kept stored to the word too.
        history.more = dropped;
    }
    if (writes.size() > count) {
        writes.resize(count);
        history.more = true;
    }
    return history;
}

bool DebugMachine::GoToStep(long long step) {
    Settle();
    KeepOrigin();
    if (step > steps_ || step < origin_.step)
        return false;
    if (steps_ - step <= static_cast<long long>(history_.Size())) {
        while (steps_ > step)
            StepBack();
        return true;
    }
    // Beyond the kept steps: from the copies around the step (those of the
    // last history, or a replay's), with the history rebuilt up to it.
    const long long at = step - origin_.step;
    const auto holds = [at](const ScanChunk& chunk) {
        return chunk.start->step <= at && at <= chunk.end;
    };
    auto chunk = std::find_if(scanned_.begin(), scanned_.end(), holds);
    std::vector<ScanChunk> last;
    if (chunk == scanned_.end()) {
        bool dropped = false;
        last = ScanChunks(-1, at, 1, dropped);
        chunk = last.begin();
    }
    BatchedRun run;
    run.steps = at;
    if (chunk->before)
        run.copies.push_back(*chunk->before);
    run.copies.push_back(*chunk->start);
    history_.Clear();
    batched_ = std::move(run);
    SettleHistory();
    steps_ = step;
    finished_ = faulted_ = false;
    fault_.clear();
    return true;
}

} // namespace wren::dap

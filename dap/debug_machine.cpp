#include "debug_machine.h"

#include "opcodes.h"
#include "run_report.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace wren::dap {

namespace {

bool InMemory(std::int32_t address) { return address >= 0 && address < Wren::kMemoryWords; }

// The nine opcodes are the single bits 1..256.
bool IsInstruction(std::int32_t word) {
    return word > 0 && word <= 256 && (word & (word - 1)) == 0;
}

} // namespace

std::optional<std::string> DebugMachine::Load(const std::string& path) {
    cpu_.Clear();
    history_.Clear();
    batched_.reset();
    watch_.reset();
    finished_ = faulted_ = false;
    fault_.clear();
    steps_ = 0;
    originStale_ = true;
    scanned_.clear();
    program_ = {};
    if (auto error = cpu_.Load_Ram(path))
        return cli::LoadErrorText(path, *error);
    // The map comes from the same bytes the loader read, for lines and listings.
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    program_ = MapProgram(text);
    return std::nullopt;
}

void DebugMachine::SetMarks(Mark mark, const std::vector<std::int32_t>& addresses) {
    for (auto& m : marks_)
        m &= static_cast<std::uint8_t>(~mark);
    for (std::int32_t address : addresses)
        if (InMemory(address))
            marks_[static_cast<std::size_t>(address)] |= mark;
    marked_ = static_cast<std::size_t>(
        std::count_if(marks_.begin(), marks_.end(), [](std::uint8_t m) { return m != 0; }));
    stops_.Clear();
    for (std::int32_t address = 0; address < Wren::kMemoryWords; ++address) {
        const std::uint8_t m = marks_[static_cast<std::size_t>(address)];
        if (m & (kLine | kInstruction))
            stops_.AddAt(address);
        if (m & kData)
            stops_.AddWrite(address);
    }
}

std::vector<LineBreakpoint> DebugMachine::SetLineBreakpoints(const std::vector<int>& lines) {
    std::vector<LineBreakpoint> placed;
    std::vector<std::int32_t> addresses;
    for (int line : lines) {
        LineBreakpoint bp{false, line, -1, {}};
        for (const RecordSummary& r : program_.records) {
            if (r.line >= line && r.TakesMemory()) {
                bp = {true, r.line, r.address, {}};
                break;
            }
        }
        if (bp.verified)
            addresses.push_back(bp.address);
        else
            bp.message = "no instruction or data at or after line " + std::to_string(line);
        placed.push_back(bp);
    }
    SetMarks(kLine, addresses);
    return placed;
}

void DebugMachine::SetInstructionBreakpoints(const std::vector<std::int32_t>& addresses) {
    SetMarks(kInstruction, addresses);
}

void DebugMachine::SetDataBreakpoints(const std::vector<std::int32_t>& addresses) {
    SetMarks(kData, addresses);
}

// What PC itself says, without running: the end, a breakpoint, or nothing (Step).
StopReason DebugMachine::AtPc() const {
    const std::int32_t pc = cpu_.PCounter();
    if (!InMemory(pc))
        return StopReason::Step; // the next step faults
    if (!IsInstruction(cpu_.Words()[pc]))
        return StopReason::End;
    const std::uint8_t mark = marks_[static_cast<std::size_t>(pc)];
    if (mark & kLine)
        return StopReason::Breakpoint;
    if (mark & kInstruction)
        return StopReason::InstructionBreakpoint;
    return StopReason::Step;
}

StopReason DebugMachine::Advance() {
    const Registers before = cpu_.GetRegisters();
    const std::int32_t pc = before.pcounter;
    const std::int32_t* words = cpu_.Words();
    UndoEntry undo(before);
    // STAm is the one instruction that writes memory: keep the word it overwrites.
    if (const std::int32_t target = StoreTarget(words, pc); target >= 0)
        undo = UndoEntry(before, target, words[target]);
    history_.Push(undo);
    try {
        cpu_.Step();
    } catch (const MachineError& fault) {
        finished_ = faulted_ = true;
        fault_ = fault.what();
        return StopReason::Fault;
    }
    if (const std::int32_t wrote = undo.Address();
        wrote >= 0 && (marks_[static_cast<std::size_t>(wrote)] & kData))
        return StopReason::DataBreakpoint;
    const StopReason at = AtPc();
    if (at == StopReason::End)
        finished_ = true;
    return at;
}

Stop DebugMachine::Describe(StopReason reason) const {
    switch (reason) {
    case StopReason::End:
        return {reason, "no instruction at address " + std::to_string(cpu_.PCounter())};
    case StopReason::Fault: return {reason, fault_};
    default: return {reason, {}};
    }
}

std::optional<Stop> DebugMachine::CheckStart() {
    Settle();
    const StopReason at = AtPc();
    if (at == StopReason::Step)
        return std::nullopt;
    if (at == StopReason::End)
        finished_ = true;
    return Describe(at);
}

Stop DebugMachine::StepOne() {
    Settle();
    if (AtPc() == StopReason::End) {
        finished_ = true;
        return Describe(StopReason::End);
    }
    KeepOrigin();
    ++steps_;
    return Describe(Advance());
}

// The state before the newest step is the undo entry's registers over
// today's memory, with the one word it overwrote read as it was.
std::optional<StepDescription> DebugMachine::LastStep() {
    const UndoEntry* newest = Newest();
    if (newest == nullptr)
        return std::nullopt;
    return DescribeStep(MachineView{newest->Before(cpu_.Accumulator()), cpu_.Words(),
                                    newest->Address(), newest->Old()});
}

bool DebugMachine::StepBack() {
    Settle();
    if (history_.Empty())
        return false;
    const UndoEntry undo = history_.Pop();
    // Back past where the histories start: they start here now.
    if (!originStale_ && steps_ <= origin_.step)
        originStale_ = true;
    --steps_;
    if (undo.Address() >= 0)
        cpu_.SetMemory(undo.Address(), undo.Old());
    cpu_.SetRegisters(undo.Before(cpu_.Accumulator()));
    finished_ = faulted_ = false;
    fault_.clear();
    return true;
}

// A data breakpoint stops where a continue would have: just after the
// store to a watched word, with that step the newest.
Stop DebugMachine::ReverseContinue() {
    Settle();
    while (StepBack()) {
        const StopReason at = AtPc();
        if (at == StopReason::Breakpoint || at == StopReason::InstructionBreakpoint)
            return {at, {}};
        const UndoEntry* newest = history_.Newest();
        if (newest && newest->Address() >= 0 &&
            (marks_[static_cast<std::size_t>(newest->Address())] & kData))
            return {StopReason::DataBreakpoint, {}};
    }
    // Past the kept steps, the newest store to a watched word is found by
    // running again, as a word's history is.
    long long newest = -1;
    for (std::int32_t address = 0; address < Wren::kMemoryWords; ++address) {
        if (!(marks_[static_cast<std::size_t>(address)] & kData))
            continue;
        const WordHistory last = WordWrites(address, 1);
        if (!last.writes.empty())
            newest = std::max(newest, last.writes[0].step);
    }
    if (newest >= 0 && GoToStep(newest))
        return {StopReason::DataBreakpoint, {}};
    return {StopReason::Step, {}};
}

} // namespace wren::dap

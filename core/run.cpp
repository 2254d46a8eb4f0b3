#include "run.h"

#include "loop_detector.h"
#include "opcodes.h"
#include "wren.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace wren {

namespace {

bool InMemory(std::int32_t address) { return address >= 0 && address < Wren::kMemoryWords; }

// One loop for every case, so that a run nobody watches pays nothing for the
// observer, and one that looks for no loop nothing for the detector.
template <bool kObserved, bool kDetect>
RunResult RunLoop(Wren& cpu, const RunLimits& limits, RunObserver* observer,
                  WriteLog* written = nullptr) {
    std::optional<LoopDetector> loops;
    if constexpr (kDetect)
        loops.emplace(cpu);
    // A few breaks are looked up in a list: a grader runs short runs by the
    // million, and a table of every word would cost more than the run.
    constexpr std::size_t kListed = 8;
    std::unique_ptr<bool[]> isBreak;
    if (limits.breaks.size() > kListed) {
        isBreak = std::make_unique<bool[]>(Wren::kMemoryWords);
        for (std::int32_t address : limits.breaks)
            if (InMemory(address))
                isBreak[address] = true;
    }
    const auto breaksAt = [&](std::int32_t pc) {
        if (!InMemory(pc))
            return false;
        if (isBreak)
            return isBreak[pc];
        return std::find(limits.breaks.begin(), limits.breaks.end(), pc) != limits.breaks.end();
    };
    const bool anyBreak = !limits.breaks.empty();

    RunResult result;
    for (;;) {
        const std::int32_t pc = cpu.PCounter();
        if (InMemory(pc) && FindOpcode(cpu.Memory(pc)) == nullptr) {
            result.reason = StopReason::NoInstruction;
            return result;
        }
        if (result.steps >= limits.steps) {
            result.reason = StopReason::StepLimit;
            return result;
        }
        if constexpr (kObserved)
            observer->Before(pc);
        if constexpr (kDetect)
            loops->Before(pc);
        if (written != nullptr)
            if (const std::int32_t target = StoreTarget(cpu.Words(), pc); target >= 0)
                written->Note(target);
        try {
            cpu.Step();
        } catch (const MachineError& fault) {
            result.reason = StopReason::Fault;
            result.fault = fault.what();
            return result;
        }
        ++result.steps;
        if constexpr (kObserved)
            observer->After(result.steps, pc);
        if (anyBreak && breaksAt(cpu.PCounter())) {
            result.reason = StopReason::Break;
            return result;
        }
        if constexpr (kDetect) {
            if (loops->After(result.steps)) {
                result.reason = StopReason::Loop;
                result.loopFrom = loops->Repeats();
                return result;
            }
        }
    }
}

} // namespace

const char* StopReasonName(StopReason reason) {
    switch (reason) {
    case StopReason::StepLimit: return "steps";
    case StopReason::NoInstruction: return "no-instruction";
    case StopReason::Break: return "break";
    case StopReason::Fault: return "fault";
    case StopReason::Loop: return "loop";
    }
    return "?";
}

// Nobody watches, nothing breaks in, no loop is looked for: the processor
// runs its own loop.
RunResult RunPlain(Wren& cpu, const RunLimits& limits) {
    RunResult result;
    try {
        cpu.StepWhile(limits.steps, result.steps);
    } catch (const MachineError& fault) {
        result.reason = StopReason::Fault;
        result.fault = fault.what();
        return result;
    }
    result.reason =
        result.steps >= limits.steps &&
                !(InMemory(cpu.PCounter()) && FindOpcode(cpu.Memory(cpu.PCounter())) == nullptr)
            ? StopReason::StepLimit
            : StopReason::NoInstruction;
    return result;
}

RunResult Run(Wren& cpu, const RunLimits& limits, RunObserver* observer) {
    if (observer == nullptr && limits.breaks.empty() && !limits.detectLoops)
        return RunPlain(cpu, limits);
    if (limits.detectLoops)
        return observer != nullptr ? RunLoop<true, true>(cpu, limits, observer)
                                   : RunLoop<false, true>(cpu, limits, nullptr);
    return observer != nullptr ? RunLoop<true, false>(cpu, limits, observer)
                               : RunLoop<false, false>(cpu, limits, nullptr);
}

RunResult RunNotingWrites(Wren& cpu, const RunLimits& limits, WriteLog& written) {
    return limits.detectLoops ? RunLoop<false, true>(cpu, limits, nullptr, &written)
                              : RunLoop<false, false>(cpu, limits, nullptr, &written);
}

} // namespace wren

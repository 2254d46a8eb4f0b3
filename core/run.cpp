#include "run.h"

#include "opcodes.h"
#include "wren.h"

#include <memory>

namespace wren {

namespace {

bool InMemory(std::int32_t address) { return address >= 0 && address < Wren::kMemoryWords; }

// One loop for both cases, so that a run nobody watches pays nothing for the
// observer.
template <bool kObserved>
RunResult RunLoop(Wren& cpu, const RunLimits& limits, RunObserver* observer) {
    std::unique_ptr<bool[]> isBreak;
    if (!limits.breaks.empty()) {
        isBreak = std::make_unique<bool[]>(Wren::kMemoryWords);
        for (std::int32_t address : limits.breaks)
            if (InMemory(address))
                isBreak[address] = true;
    }

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
        if (isBreak && InMemory(cpu.PCounter()) && isBreak[cpu.PCounter()]) {
            result.reason = StopReason::Break;
            return result;
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
    }
    return "?";
}

RunResult Run(Wren& cpu, const RunLimits& limits, RunObserver* observer) {
    return observer != nullptr ? RunLoop<true>(cpu, limits, observer)
                               : RunLoop<false>(cpu, limits, nullptr);
}

} // namespace wren

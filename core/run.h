#pragma once

#include "wren.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wren {

class Wren;

/// Why a run ended.
enum class StopReason {
    StepLimit,     ///< the step limit was reached
    NoInstruction, ///< PC reached a word that holds no instruction (not executed)
    Break,         ///< a step left PC at a break address
    Fault,         ///< Step raised a machine fault
    Loop,          ///< the state repeated an earlier one: the run would never end
};

/// The name a machine-readable report uses for a reason: "steps",
/// "no-instruction", "break", "fault" or "loop".
const char* StopReasonName(StopReason reason);

struct RunLimits {
    long long steps = 10000;
    /// Addresses 0..65535 that end the run when a step leaves PC there.
    std::vector<std::int32_t> breaks;
    /// End the run as soon as its state repeats (StopReason::Loop).
    bool detectLoops = false;
};

struct RunResult {
    StopReason reason = StopReason::StepLimit;
    /// Instructions completed; a faulting one does not count.
    long long steps = 0;
    /// The fault's message, when reason is Fault.
    std::string fault;
    /// When reason is Loop: the step whose state the last one repeats (0 for
    /// the state the run started in).
    long long loopFrom = 0;
};

/// Sees every instruction a run executes.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    /// Before the instruction at address at executes.
    virtual void Before(std::int32_t at) = 0;
    /// After it completed; step counts from 1.
    virtual void After(long long step, std::int32_t at) = 0;
};

/// Executes cpu from its current state until one of the StopReasons holds.
/// A fault is caught and reported, never thrown.
RunResult Run(Wren& cpu, const RunLimits& limits, RunObserver* observer = nullptr);

/// Run, also noting in written every word a step stores to.
RunResult RunNotingWrites(Wren& cpu, const RunLimits& limits, WriteLog& written);

} // namespace wren

#include "image_runner.h"

#include "opcodes.h"

#include <algorithm>

namespace wren::grade {

ImageRunner::ImageRunner()
    : cpu_(std::make_unique<Wren>()), image_(std::make_unique<std::int32_t[]>(65536)),
      stops_(std::make_unique<StopSet>()) {}

std::optional<LoadError> ImageRunner::Load(const std::string& file) {
    cpu_->Clear();
    written_.Clear();
    auto error = cpu_->Load_Ram(file);
    std::copy_n(cpu_->Words(), 65536, image_.get());
    return error;
}

std::optional<LoadError> ImageRunner::LoadText(std::string_view text) {
    cpu_->Clear();
    written_.Clear();
    auto error = cpu_->LoadText(text);
    std::copy_n(cpu_->Words(), 65536, image_.get());
    return error;
}

void ImageRunner::Change(std::int32_t address, std::int32_t value) {
    image_[static_cast<std::size_t>(address)] = value;
    cpu_->SetMemory(address, value);
}

void ImageRunner::Write(std::int32_t address, std::int32_t value) {
    written_.Note(address);
    cpu_->SetMemory(address, value);
}

RunResult ImageRunner::Run(const std::vector<std::pair<std::int32_t, std::int32_t>>& fixed,
                           const std::vector<std::int32_t>& addresses, const std::int32_t* values,
                           const RunLimits& limits) {
    // Most runs end long before their limit, and looking for a loop at each
    // step costs more than the step: only a run that reaches the limit runs
    // again to tell an endless loop from a long run.
    if (!limits.detectLoops)
        return RunOnce(fixed, addresses, values, limits);
    RunLimits plain = limits;
    plain.detectLoops = false;
    const RunResult first = RunOnce(fixed, addresses, values, plain);
    if (first.reason != StopReason::StepLimit)
        return first;
    return RunOnce(fixed, addresses, values, limits);
}

RunResult ImageRunner::RunOnce(const std::vector<std::pair<std::int32_t, std::int32_t>>& fixed,
                               const std::vector<std::int32_t>& addresses,
                               const std::int32_t* values, const RunLimits& limits) {
    for (const std::int32_t address : written_.Words())
        cpu_->SetMemory(address, image_[static_cast<std::size_t>(address)]);
    written_.Clear();
    cpu_->Reset();
    for (const auto& [address, value] : fixed)
        Write(address, value);
    for (std::size_t i = 0; i < addresses.size(); ++i)
        Write(addresses[i], values[i]);
    if (alwaysTaken_ >= 0)
        return RunAlwaysTaking(limits);
    if (limits.detectLoops)
        return RunNotingWrites(*cpu_, limits, written_);
    return RunBatched(limits);
}

// The batched loop, stopping at the branch taken always to take it: V set
// for that one step, and put back. No loop is looked for: a run that
// reaches its limit says so, which fails a case as a loop would.
RunResult ImageRunner::RunAlwaysTaking(RunLimits limits) {
    const bool caseStops =
        std::find(limits.breaks.begin(), limits.breaks.end(), alwaysTaken_) != limits.breaks.end();
    if (!caseStops)
        limits.breaks.push_back(alwaysTaken_);
    const long long limit = limits.steps;
    long long steps = 0;
    RunResult run;
    for (;;) {
        // At the branch, take it: the batched loop runs the step it starts
        // on without stopping there.
        while (cpu_->PCounter() == alwaysTaken_ && steps < limit) {
            Registers registers = cpu_->GetRegisters();
            const bool v = registers.overflow;
            registers.overflow = true;
            cpu_->SetRegisters(registers);
            try {
                cpu_->Step();
            } catch (const MachineError& fault) {
                run.reason = StopReason::Fault;
                run.fault = fault.what();
                run.steps = steps;
                return run;
            }
            ++steps;
            registers = cpu_->GetRegisters();
            registers.overflow = v;
            cpu_->SetRegisters(registers);
            if (caseStops)
                break;
        }
        if (steps >= limit) {
            run.reason = StopReason::StepLimit;
            run.steps = steps;
            return run;
        }
        limits.steps = limit - steps;
        run = RunBatched(limits);
        steps += run.steps;
        run.steps = steps;
        if (run.reason != StopReason::Break || caseStops || cpu_->PCounter() != alwaysTaken_)
            return run;
    }
}

// The processor's own batched loop: the same states as the run loop, at a
// fraction of the cost a step.
RunResult ImageRunner::RunBatched(const RunLimits& limits) {
    if (breaks_ != limits.breaks) {
        stops_->Clear();
        for (const std::int32_t address : limits.breaks)
            stops_->AddAt(address);
        breaks_ = limits.breaks;
    }
    RunResult result;
    StopCause cause = StopCause::Limit;
    try {
        cause = cpu_->StepUntil(limits.steps, result.steps, *stops_, written_);
    } catch (const MachineError& fault) {
        result.reason = StopReason::Fault;
        result.fault = fault.what();
        return result;
    }
    const std::int32_t pc = cpu_->PCounter();
    const bool noInstruction =
        pc >= 0 && pc < Wren::kMemoryWords && FindOpcode(cpu_->Words()[pc]) == nullptr;
    switch (cause) {
    case StopCause::At: result.reason = StopReason::Break; break;
    case StopCause::NoInstruction: result.reason = StopReason::NoInstruction; break;
    case StopCause::Limit:
    case StopCause::Write:
        // The run loop looks for the end before the limit.
        result.reason = noInstruction ? StopReason::NoInstruction : StopReason::StepLimit;
        break;
    }
    return result;
}

} // namespace wren::grade

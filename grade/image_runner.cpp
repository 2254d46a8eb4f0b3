#include "image_runner.h"

#include <algorithm>

namespace wren::grade {

ImageRunner::ImageRunner()
    : cpu_(std::make_unique<Wren>()), image_(std::make_unique<std::int32_t[]>(65536)) {}

std::optional<LoadError> ImageRunner::Load(const std::string& file) {
    cpu_->Clear();
    written_.Clear();
    auto error = cpu_->Load_Ram(file);
    std::copy_n(cpu_->Words(), 65536, image_.get());
    return error;
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
    return RunNotingWrites(*cpu_, limits, written_);
}

} // namespace wren::grade

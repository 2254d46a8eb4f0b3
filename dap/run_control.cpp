#include "debug_adapter.h"

#include "step_json.h"

#include <iostream>

namespace wren::dap {

namespace {

constexpr int kThread = 1;
// Steps per slice of continue: a few milliseconds, so that other requests
// and pause get the machine often.
constexpr long long kSliceSteps = 1'000'000;

const char* ReasonName(StopReason reason) {
    switch (reason) {
    case StopReason::Step: return "step";
    case StopReason::Breakpoint: return "breakpoint";
    case StopReason::InstructionBreakpoint: return "instruction breakpoint";
    case StopReason::DataBreakpoint: return "data breakpoint";
    case StopReason::Pause: return "pause";
    case StopReason::End: return "end";
    case StopReason::Fault: return "exception";
    case StopReason::Loop: return "endless loop";
    case StopReason::Slice: break;
    }
    return "step";
}

} // namespace

void DebugAdapter::Exit(int code) {
    SendEvent("exited", {{"exitCode", code}});
    SendEvent("terminated");
}

// stepping: a stop from next or stepIn says "step" whatever it reached,
// unless the program ended or faulted there.
void DebugAdapter::Report(const Stop& stop, bool stepping) {
    if (stop.reason == StopReason::Fault && !faultFilter_) {
        SendEvent("output", {{"category", "stderr"}, {"output", stop.description + "\n"}});
        Exit(2);
        return;
    }
    const bool ended = stop.reason == StopReason::End || stop.reason == StopReason::Fault;
    Json body{{"reason", stepping && !ended ? "step" : ReasonName(stop.reason)},
              {"threadId", kThread},
              {"allThreadsStopped", true}};
    if (!stop.description.empty()) {
        body["description"] = stop.description;
        body["text"] = stop.description;
    }
    // The step that led here, in register-transfer words: in the stop for a
    // client that shows it, and in the Debug Console for any other.
    std::optional<StepDescription> last;
    {
        std::lock_guard lock(mutex_);
        if (machine_)
            last = machine_->LastStep();
    }
    if (last)
        body["step"] = Json::parse(cli::StepDescriptionJson(*last).dump());
    SendEvent("stopped", std::move(body));
    if (last)
        SendEvent("output", {{"category", "console"},
                             {"output", std::to_string(last->at) + ": " + InstructionText(*last) +
                                            "  " + last->text + "\n"}});
}

void DebugAdapter::Continue() {
    StopWorker();
    {
        std::lock_guard lock(mutex_);
        if (Machine().Finished()) {
            Exit(Machine().ExitCode());
            return;
        }
    }
    pause_ = false;
    running_ = true;
    if (execution_ == Execution::Slices)
        return; // the host calls RunSlice
    worker_ = std::thread([this] {
        Stop stop;
        do {
            std::lock_guard lock(mutex_);
            stop = NextSlice();
        } while (stop.reason == StopReason::Slice);
        running_ = false;
        if (!silent_)
            Report(stop, false);
    });
}

Stop DebugAdapter::NextSlice() {
    if (pause_)
        return {StopReason::Pause, {}};
    Stop stop = machine_->Run(pause_, kSliceSteps);
    if (stop.reason == StopReason::Slice && pause_)
        stop = {StopReason::Pause, {}};
    return stop;
}

void DebugAdapter::RunSlice() {
    if (!running_ || execution_ != Execution::Slices)
        return;
    try {
        const Stop stop = NextSlice();
        if (stop.reason == StopReason::Slice)
            return;
        running_ = false;
        Report(stop, false);
    } catch (const std::exception& error) {
        running_ = false;
        std::cerr << "wren-dap: " << error.what() << '\n';
    }
}

void DebugAdapter::StepOnce(bool back) {
    Stop stop;
    {
        std::lock_guard lock(mutex_);
        DebugMachine& machine = Machine();
        if (back) {
            machine.StepBack();
            stop = {StopReason::Step, {}};
        } else if (machine.Finished()) {
            Exit(machine.ExitCode());
            return;
        } else {
            stop = machine.StepOne();
        }
    }
    Report(stop, true);
}

void DebugAdapter::ReverseContinue() {
    Stop stop;
    {
        std::lock_guard lock(mutex_);
        stop = Machine().ReverseContinue();
    }
    Report(stop, false);
}

void DebugAdapter::Pause() {
    if (running_) {
        pause_ = true;
        return; // the worker reports the stop
    }
}

void DebugAdapter::StopWorker() {
    if (execution_ == Execution::Slices) {
        running_ = false; // a stop the user did not ask for is not reported
        return;
    }
    if (!worker_.joinable())
        return;
    silent_ = true;
    pause_ = true;
    worker_.join();
    pause_ = false;
    silent_ = false;
}

} // namespace wren::dap

#include "debug_adapter.h"

#include "run_report.h"
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
    case StopReason::Goto: return "goto";
    case StopReason::Slice: break;
    }
    return "step";
}

} // namespace

// Called between slices of a continue, with the machine's lock free.
void DebugAdapter::Progress(bool force) {
    if (!progressEvents_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastProgress_ < std::chrono::milliseconds(250))
        return;
    lastProgress_ = now;
    Json body{{"progressId", "run"}};
    {
        std::lock_guard lock(mutex_);
        if (!machine_)
            return;
        const Registers r = machine_->Cpu().GetRegisters();
        const long long steps = machine_->RunSteps();
        body["steps"] = steps;
        body["registers"] = {
            {"A", r.accumulator}, {"PC", r.pcounter}, {"V", r.overflow}, {"Cycles", r.cycles}};
        body["message"] = cli::StepsText(steps) + ", PC " + std::to_string(r.pcounter);
    }
    if (!progressShown_) {
        progressShown_ = true;
        body["title"] = "Running";
        body["cancellable"] = true;
        SendEvent("progressStart", std::move(body));
    } else {
        SendEvent("progressUpdate", std::move(body));
    }
}

void DebugAdapter::EndProgress() {
    if (!progressShown_)
        return;
    progressShown_ = false;
    SendEvent("progressEnd", {{"progressId", "run"}});
}

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
        if (last)
            body["step"] = DescribedStep(*last);
    }
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
    // The first progress comes after a quarter of a second: a short run shows none.
    lastProgress_ = std::chrono::steady_clock::now();
    progressShown_ = false;
    if (execution_ == Execution::Slices)
        return; // the host calls RunSlice
    worker_ = std::thread([this] {
        Stop stop;
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                stop = NextSlice();
            }
            if (stop.reason != StopReason::Slice)
                break;
            if (!silent_)
                Progress();
        }
        running_ = false;
        if (!silent_) {
            EndProgress();
            Report(stop, false);
        }
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
        if (stop.reason == StopReason::Slice) {
            Progress();
            return;
        }
        running_ = false;
        EndProgress();
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

#pragma once

#include "debug_machine.h"
#include "message_channel.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace wren::dap {

/// How continue runs, so that requests are answered while it does.
enum class Execution {
    Worker, ///< on a thread of its own, in slices that take the machine's lock
    Slices, ///< one slice per call of RunSlice, for a host with one thread
};

/// The Debug Adapter Protocol for Wren programs: one thread of execution,
/// breakpoints by line, address and written word, stepping both ways,
/// registers and memory to read and edit. Requests are answered on the
/// reading thread; continue runs in slices, so that pause and inspection are
/// answered while it runs.
class DebugAdapter {
public:
    explicit DebugAdapter(rpc::MessageChannel& channel, Execution execution = Execution::Worker)
        : channel_(channel), execution_(execution) {}
    ~DebugAdapter();
    DebugAdapter(const DebugAdapter&) = delete;
    DebugAdapter& operator=(const DebugAdapter&) = delete;

    /// Answers requests until disconnect or the end of input; returns 0.
    int Serve();
    /// Answers one message; true once the session is over. Never throws.
    bool Handle(const rpc::Incoming& incoming);

    /// Whether a continue is under way.
    bool Running() const { return running_; }
    /// With Execution::Slices: runs the next slice of a continue, and reports
    /// the stop once it comes. Never throws.
    void RunSlice();

private:
    using Json = nlohmann::json;

    /// What launch asked for, kept for restart.
    struct LaunchConfig {
        std::string program;
        bool stopOnEntry = false;
        std::vector<std::pair<std::int32_t, std::int32_t>> sets;
        std::size_t history = DebugMachine::kDefaultHistory;
    };

    Json Dispatch(const std::string& command, const Json& args);
    // Session
    Json Initialize(const Json& args);
    Json Launch(const Json& args);
    Json Restart(const Json& args);
    void ConfigurationDone();
    void Start();
    // Breakpoints
    Json SetBreakpoints(const Json& args);
    Json SetInstructionBreakpoints(const Json& args);
    Json DataBreakpointInfo(const Json& args);
    Json SetDataBreakpoints(const Json& args);
    // Execution
    void Continue();
    void StepOnce(bool back);
    void ReverseContinue();
    void Pause();
    void StopWorker();
    /// One slice of a continue, under the machine's lock.
    Stop NextSlice();
    void Report(const Stop& stop, bool stepping);
    /// During a continue, for a client that takes progress events: the
    /// steps and registers so far, four times a second.
    void Progress(bool force = false);
    void EndProgress();
    void Exit(int code);
    // Inspection
    Json StackTrace();
    Json Scopes();
    Json Variables(const Json& args);
    Json SetVariable(const Json& args);
    Json Evaluate(const Json& args);
    Json ExceptionInfo();
    Json ReadMemory(const Json& args);
    Json WriteMemory(const Json& args);
    Json Disassemble(const Json& args);
    // A word's stores
    Json WordHistoryOf(const Json& args);
    Json GoToStep(const Json& args);
    Json WhoWrote(const Json& args);
    Json HistoryJson(std::int32_t address, const WordHistory& history);

    DebugMachine& Machine();
    Json SourceLine(std::int32_t address) const;
    /// A step's description as the client sees it: the core's JSON, with the
    /// line of the record each address it names belongs to ("line").
    Json DescribedStep(const StepDescription& step) const;
    int ClientLine(int line) const { return linesStartAt1_ ? line : line - 1; }
    int CoreLine(int line) const { return linesStartAt1_ ? line : line + 1; }

    void Send(Json message);
    void SendEvent(const std::string& event, Json body = Json::object());

    rpc::MessageChannel& channel_;
    const Execution execution_;
    std::atomic<int> seq_{0};
    bool linesStartAt1_ = true;
    bool progressEvents_ = false;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point lastProgress_;
    bool launched_ = false;
    bool configured_ = false;
    std::atomic<bool> faultFilter_{true};
    bool over_ = false;
    LaunchConfig config_;
    std::vector<int> lineBreakpoints_;
    std::vector<std::int32_t> instructionBreakpoints_;
    std::vector<std::int32_t> dataBreakpoints_;
    /// What a request does once its response is sent (events that must
    /// follow it, such as stopped after next).
    std::function<void()> after_;

    // The machine is shared with the worker; the mutex guards it.
    std::mutex mutex_;
    std::unique_ptr<DebugMachine> machine_;
    std::thread worker_;
    std::atomic<bool> running_{false};
    std::atomic<bool> pause_{false};
    /// Set while the adapter itself stops the worker (restart, disconnect):
    /// that stop is not the user's and is not reported.
    std::atomic<bool> silent_{false};
};

} // namespace wren::dap

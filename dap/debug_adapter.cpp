#include "debug_adapter.h"

#include "listing_text.h"
#include "opcodes.h"
#include "protocol_error.h"
#include "run_report.h"
#include "run_spec.h"
#include "step_json.h"

#include <iostream>
#include <limits>

namespace wren::dap {

namespace {

using Json = nlohmann::json;

constexpr int kThread = 1;

[[noreturn]] void Fail(const std::string& message) { throw rpc::ProtocolError(1, message); }

// "set": {"100": 7, "101": "&H10"}, as in wren-grade's case files.
std::vector<std::pair<std::int32_t, std::int32_t>> ReadSets(const Json& sets) {
    std::vector<std::pair<std::int32_t, std::int32_t>> out;
    if (sets.is_null())
        return out;
    if (!sets.is_object())
        Fail("launch: 'set' must be an object of address to value");
    for (const auto& [key, value] : sets.items()) {
        const auto address = cli::ParseAddress(key);
        if (!address)
            Fail("launch: set: '" + key + "' is not an address 0..65535");
        std::optional<std::int32_t> word;
        if (value.is_number_integer() &&
            value.get<std::int64_t>() >= std::numeric_limits<std::int32_t>::min() &&
            value.get<std::int64_t>() <= std::numeric_limits<std::int32_t>::max())
            word = value.get<std::int32_t>();
        else if (value.is_string())
            word = cli::ParseWordValue(value.get<std::string>());
        if (!word)
            Fail("launch: set: the value of " + key + ", " + value.dump() +
                 ", is not a whole number or a string such as \"&H10\"");
        out.emplace_back(*address, *word);
    }
    return out;
}

} // namespace

DebugAdapter::~DebugAdapter() { StopWorker(); }

int DebugAdapter::Serve() {
    while (!Handle(channel_.Read())) {
    }
    StopWorker();
    return 0;
}

bool DebugAdapter::Handle(const rpc::Incoming& incoming) {
    try {
        if (incoming.kind == rpc::Incoming::Kind::Closed)
            return true;
        if (incoming.kind == rpc::Incoming::Kind::Malformed) {
            SendEvent(
                "output",
                {{"category", "important"},
                 {"output", "wren-dap: ignored a malformed message: " + incoming.error + "\n"}});
            return false;
        }
        const Json& message = incoming.message;
        const Json command = message.is_object() ? message.value("command", Json()) : Json();
        if (!message.is_object() || message.value("type", "") != "request" ||
            !command.is_string()) {
            SendEvent("output", {{"category", "important"},
                                 {"output", "wren-dap: ignored a message that is no request\n"}});
            return false;
        }
        const std::string name = command.get<std::string>();
        Json response{{"type", "response"},
                      {"request_seq", message.value("seq", Json(0))},
                      {"command", name},
                      {"success", true}};
        try {
            const Json args = message.value("arguments", Json::object());
            Json body = Dispatch(name, args.is_object() ? args : Json::object());
            if (!body.is_null())
                response["body"] = std::move(body);
        } catch (const rpc::ProtocolError& error) {
            response["success"] = false;
            response["message"] = error.what();
            response["body"] = {
                {"error", {{"id", error.Code()}, {"format", error.what()}, {"showUser", true}}}};
        } catch (const Json::exception& error) {
            response["success"] = false;
            response["message"] = name + ": malformed arguments: " + error.what();
        }
        // Some requests answer first and then act (configurationDone starts
        // the run); Dispatch leaves that to the After callback.
        Send(std::move(response));
        if (after_) {
            auto act = std::move(after_);
            after_ = nullptr;
            act();
        }
    } catch (const std::exception& error) {
        std::cerr << "wren-dap: " << error.what() << '\n';
    }
    return over_;
}

Json DebugAdapter::Dispatch(const std::string& command, const Json& args) {
    if (command == "initialize")
        return Initialize(args);
    if (command == "launch")
        return Launch(args);
    if (command == "disconnect" || command == "terminate") {
        StopWorker();
        if (command == "terminate")
            after_ = [this] { SendEvent("terminated"); };
        else
            over_ = true;
        return nullptr;
    }
    // Not in the protocol: the instruction set, each with its effect and
    // one example step described, for a client's reference.
    if (command == "instructions") {
        Json rows = Json::array();
        for (const OpcodeInfo& info : kOpcodes) {
            const StepDescription example = ExampleStep(info);
            rows.push_back({{"mnemonic", info.mnemonic},
                            {"opcode", info.opcode},
                            {"cycles", info.cycles},
                            {"effect", TransferText(info)},
                            {"example", Json::parse(cli::StepDescriptionJson(example).dump())}});
        }
        return {{"instructions", std::move(rows)}};
    }
    if (!launched_)
        Fail(command + ": no program is launched");
    if (command == "configurationDone") {
        after_ = [this] { ConfigurationDone(); };
        return nullptr;
    }
    if (command == "setExceptionBreakpoints") {
        bool fault = false;
        for (const Json& filter : args.value("filters", Json::array()))
            fault = fault || filter == "fault";
        faultFilter_ = fault;
        return {{"breakpoints", Json::array()}};
    }
    if (command == "setBreakpoints")
        return SetBreakpoints(args);
    if (command == "setInstructionBreakpoints")
        return SetInstructionBreakpoints(args);
    if (command == "dataBreakpointInfo")
        return DataBreakpointInfo(args);
    if (command == "setDataBreakpoints")
        return SetDataBreakpoints(args);
    if (command == "threads")
        return {{"threads", {{{"id", kThread}, {"name", "Wren"}}}}};
    if (command == "pause") {
        Pause();
        return nullptr;
    }
    // Cancelling the run's progress is pausing it.
    if (command == "cancel") {
        if (args.value("progressId", "") == "run")
            Pause();
        return nullptr;
    }
    if (command == "restart")
        return Restart(args);

    // Everything else needs the machine at rest.
    if (running_)
        Fail(command + ": the program is running; pause it first");
    if (command == "continue") {
        after_ = [this] { Continue(); };
        return {{"allThreadsContinued", true}};
    }
    if (command == "next" || command == "stepIn" || command == "stepOut" || command == "stepBack") {
        after_ = [this, back = command == "stepBack"] { StepOnce(back); };
        return nullptr;
    }
    if (command == "reverseContinue") {
        after_ = [this] { ReverseContinue(); };
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    if (command == "stackTrace")
        return StackTrace();
    if (command == "scopes")
        return Scopes();
    if (command == "variables")
        return Variables(args);
    if (command == "setVariable")
        return SetVariable(args);
    if (command == "evaluate")
        return Evaluate(args);
    if (command == "exceptionInfo")
        return ExceptionInfo();
    if (command == "readMemory")
        return ReadMemory(args);
    if (command == "writeMemory")
        return WriteMemory(args);
    if (command == "disassemble")
        return Disassemble(args);
    // Not in the protocol: the stores to a word, newest first, a page at a
    // time; going back to a step; and going back to a word's newest store.
    if (command == "wordHistory")
        return WordHistoryOf(args);
    if (command == "goToStep")
        return GoToStep(args);
    if (command == "whoWrote")
        return WhoWrote(args);
    // Not in the protocol: the window's listing, the word the last step
    // wrote (null for none), and the last and the next step described, for
    // a client that shows them.
    if (command == "listing") {
        const auto wrote = Machine().LastWrite();
        const auto last = Machine().LastStep();
        return {
            {"text", ListingText(Machine().Cpu(), "\n")},
            {"wrote", wrote ? Json(*wrote) : Json(nullptr)},
            {"last", last ? Json::parse(cli::StepDescriptionJson(*last).dump()) : Json(nullptr)},
            {"next", Json::parse(cli::StepDescriptionJson(Machine().NextStep()).dump())}};
    }
    Fail("unknown request '" + command + "'");
}

Json DebugAdapter::Initialize(const Json& args) {
    linesStartAt1_ = args.value("linesStartAt1", true);
    progressEvents_ = args.value("supportsProgressReporting", false);
    return {{"supportsConfigurationDoneRequest", true},
            {"supportsStepBack", true},
            {"supportsRestartRequest", true},
            {"supportsTerminateRequest", true},
            {"supportsReadMemoryRequest", true},
            {"supportsWriteMemoryRequest", true},
            {"supportsDisassembleRequest", true},
            {"supportsSetVariable", true},
            {"supportsDataBreakpoints", true},
            {"supportsInstructionBreakpoints", true},
            {"supportsExceptionInfoRequest", true},
            {"supportsEvaluateForHovers", true},
            {"supportsCancelRequest", true},
            // Not in the protocol: wordHistory, goToStep and whoWrote.
            {"supportsWordHistory", true},
            {"exceptionBreakpointFilters",
             {{{"filter", "fault"}, {"label", "Machine faults"}, {"default", true}}}}};
}

Json DebugAdapter::Launch(const Json& args) {
    LaunchConfig config;
    const Json program = args.value("program", Json());
    if (!program.is_string() || program.get<std::string>().empty())
        Fail("launch: 'program' must name the program file to debug");
    config.program = program.get<std::string>();
    config.stopOnEntry = args.value("stopOnEntry", false);
    config.sets = ReadSets(args.value("set", Json()));
    const Json history = args.value("history", Json(DebugMachine::kDefaultHistory));
    if (!history.is_number_integer() || history.get<std::int64_t>() < 0)
        Fail("launch: 'history' must be a number of steps, 0 or more");
    config.history = history.get<std::size_t>();

    StopWorker();
    auto machine = std::make_unique<DebugMachine>(config.history);
    if (auto error = machine->Load(config.program))
        Fail(*error);
    for (const auto& [address, value] : config.sets)
        machine->Edit().SetMemory(address, value);
    {
        std::lock_guard lock(mutex_);
        machine_ = std::move(machine);
        machine_->SetLineBreakpoints(lineBreakpoints_);
        machine_->SetInstructionBreakpoints(instructionBreakpoints_);
        machine_->SetDataBreakpoints(dataBreakpoints_);
    }
    config_ = std::move(config);
    launched_ = true;
    // A slip is the first thing to suspect: the checker speaks first.
    for (const Finding& finding : machine_->Program().findings)
        SendEvent("output", {{"category", "console"},
                             {"output", cli::FindingText(config_.program, finding)}});
    // Breakpoints need the program's lines: the client may send them now.
    if (!configured_)
        after_ = [this] { SendEvent("initialized"); };
    return nullptr;
}

Json DebugAdapter::Restart(const Json& args) {
    Json launch = args.value("arguments", Json());
    if (!launch.is_object()) {
        launch = {{"program", config_.program},
                  {"stopOnEntry", config_.stopOnEntry},
                  {"history", config_.history},
                  {"set", Json::object()}};
        for (const auto& [address, value] : config_.sets)
            launch["set"][std::to_string(address)] = value;
    }
    Launch(launch);
    if (configured_)
        after_ = [this] { Start(); };
    return nullptr;
}

void DebugAdapter::ConfigurationDone() {
    configured_ = true;
    Start();
}

// Where a launched program first stops: on entry when asked, at a breakpoint
// or the end at PC, or wherever running takes it.
void DebugAdapter::Start() {
    if (config_.stopOnEntry) {
        SendEvent("stopped",
                  {{"reason", "entry"}, {"threadId", kThread}, {"allThreadsStopped", true}});
        return;
    }
    std::optional<Stop> stop;
    {
        std::lock_guard lock(mutex_);
        stop = Machine().CheckStart();
    }
    if (stop)
        Report(*stop, false);
    else
        Continue();
}

DebugMachine& DebugAdapter::Machine() {
    if (!machine_)
        Fail("no program is launched");
    return *machine_;
}

void DebugAdapter::Send(Json message) {
    message["seq"] = ++seq_;
    channel_.Write(message);
}

void DebugAdapter::SendEvent(const std::string& event, Json body) {
    Send({{"type", "event"}, {"event", event}, {"body", std::move(body)}});
}

} // namespace wren::dap

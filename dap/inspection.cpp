#include "debug_adapter.h"

#include "step_json.h"

#include "opcodes.h"
#include "protocol_error.h"
#include "run_spec.h"
#include "status_text.h"

#include <algorithm>
#include <filesystem>

namespace wren::dap {

namespace {

using Json = nlohmann::json;

constexpr int kRegisterScope = 1;
constexpr int kMemoryScope = 2;

[[noreturn]] void Fail(const std::string& message) { throw rpc::ProtocolError(2, message); }

std::string Trim(std::string text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    return first == std::string::npos ? "" : text.substr(first, last + 1 - first);
}

std::int32_t ReadValue(const std::string& name, const std::string& text) {
    const auto value = cli::ParseWordValue(Trim(text));
    if (!value)
        Fail("'" + text + "' is not a value for " + name +
             ": give a whole number such as 7, -3 or &HFF");
    return *value;
}

bool ReadFlag(const std::string& text) {
    const std::string t = Trim(text);
    if (t == "True" || t == "true" || t == "1")
        return true;
    if (t == "False" || t == "false" || t == "0")
        return false;
    Fail("'" + text + "' is not a value for V: give True or False");
}

std::int32_t ReadAddress(const std::string& text) {
    const auto address = cli::ParseWordValue(Trim(text));
    if (!address || *address < 0 || *address >= Wren::kMemoryWords)
        Fail("'" + text + "' is not a memory address 0..65535");
    return *address;
}

} // namespace

Json DebugAdapter::SourceLine(std::int32_t address) const {
    const RecordSummary* r = machine_->Program().AtAddress(address);
    if (r == nullptr || r->address != address)
        return nullptr;
    const std::filesystem::path path = std::filesystem::absolute(config_.program);
    return {{"source", {{"name", path.filename().string()}, {"path", path.string()}}},
            {"line", ClientLine(r->line)},
            {"column", r->span.begin}};
}

Json DebugAdapter::DescribedStep(const StepDescription& step) const {
    Json out = Json::parse(cli::StepDescriptionJson(step).dump());
    const auto lineOf = [this](std::int32_t address) {
        const RecordSummary* r = machine_->Program().AtAddress(address);
        return r ? Json(ClientLine(r->line)) : Json(nullptr);
    };
    out["line"] = lineOf(step.at);
    for (const char* list : {"reads", "writes"})
        for (Json& access : out[list])
            if (access.contains("address"))
                access["line"] = lineOf(access["address"].get<std::int32_t>());
    if (out.contains("branch"))
        out["branch"]["line"] = lineOf(out["branch"]["target"].get<std::int32_t>());
    return out;
}

Json DebugAdapter::StackTrace() {
    const Wren& cpu = Machine().Cpu();
    const std::int32_t pc = cpu.PCounter();
    Json frame{{"id", 1},
               {"name", cpu.Disassemble(pc)},
               {"line", 0},
               {"column", 0},
               {"instructionPointerReference", std::to_string(pc)}};
    Json where = SourceLine(pc);
    // A fault belongs to the instruction that raised it, whose operand may
    // have moved PC on; at the end PC holds no instruction, often past the
    // program, and the last line that ran is where the editor should be. A
    // frame with a source is one the editor selects, so that the registers
    // show at once.
    if (Machine().Finished() || where.is_null())
        if (const auto last = Machine().LastStepAt())
            if (Json at = SourceLine(*last); !at.is_null())
                where = std::move(at);
    if (!where.is_null())
        frame.update(where);
    return {{"stackFrames", {frame}}, {"totalFrames", 1}};
}

Json DebugAdapter::Scopes() {
    return {{"scopes",
             {{{"name", "Registers"},
               {"presentationHint", "registers"},
               {"variablesReference", kRegisterScope},
               {"namedVariables", 4},
               {"expensive", false}},
              {{"name", "Memory"},
               {"variablesReference", kMemoryScope},
               {"indexedVariables", Wren::kMemoryWords},
               {"expensive", true}}}}};
}

Json DebugAdapter::Variables(const Json& args) {
    const Wren& cpu = Machine().Cpu();
    Json out = Json::array();
    const int scope = args.at("variablesReference").get<int>();
    if (scope == kRegisterScope) {
        const Registers r = cpu.GetRegisters();
        out.push_back(
            {{"name", "A"}, {"value", std::to_string(r.accumulator)}, {"variablesReference", 0}});
        out.push_back({{"name", "PC"},
                       {"value", std::to_string(r.pcounter)},
                       {"variablesReference", 0},
                       {"memoryReference", std::to_string(r.pcounter)}});
        out.push_back(
            {{"name", "V"}, {"value", r.overflow ? "True" : "False"}, {"variablesReference", 0}});
        out.push_back(
            {{"name", "Cycles"}, {"value", std::to_string(r.cycles)}, {"variablesReference", 0}});
    } else if (scope == kMemoryScope) {
        const std::int64_t start =
            std::clamp<std::int64_t>(args.value("start", 0), 0, Wren::kMemoryWords);
        std::int64_t count = args.value("count", 0);
        if (count <= 0 || start + count > Wren::kMemoryWords)
            count = Wren::kMemoryWords - start;
        for (std::int64_t a = start; a < start + count; ++a) {
            const std::string address = std::to_string(a);
            out.push_back({{"name", address},
                           {"value", std::to_string(cpu.Memory(static_cast<std::int32_t>(a)))},
                           {"variablesReference", 0},
                           {"memoryReference", address}});
        }
    } else {
        Fail("no variables under reference " + std::to_string(scope));
    }
    return {{"variables", std::move(out)}};
}

Json DebugAdapter::SetVariable(const Json& args) {
    Wren& cpu = Machine().Edit();
    const int scope = args.at("variablesReference").get<int>();
    const std::string name = args.at("name").get<std::string>();
    const std::string value = args.at("value").get<std::string>();
    if (scope == kRegisterScope) {
        Registers r = cpu.GetRegisters();
        if (name == "A")
            r.accumulator = ReadValue(name, value);
        else if (name == "PC")
            r.pcounter = ReadValue(name, value);
        else if (name == "V")
            r.overflow = ReadFlag(value);
        else if (name == "Cycles")
            r.cycles = ReadValue(name, value);
        else
            Fail("no register named " + name);
        cpu.SetRegisters(r);
        Machine().Edited();
        if (name == "V")
            return {{"value", r.overflow ? "True" : "False"}};
        return {{"value", std::to_string(name == "A"    ? r.accumulator
                                         : name == "PC" ? r.pcounter
                                                        : r.cycles)}};
    }
    if (scope != kMemoryScope)
        Fail("no variables under reference " + std::to_string(scope));
    const std::int32_t address = ReadAddress(name);
    const std::int32_t word = ReadValue("M[" + name + "]", value);
    cpu.SetMemory(address, word);
    Machine().Edited();
    return {{"value", std::to_string(word)}};
}

// A, PC, V, Cycles, M[n]; a bare number is a memory word when hovered over
// (the 200 of STAm 200), its own value otherwise.
Json DebugAdapter::Evaluate(const Json& args) {
    const Wren& cpu = Machine().Cpu();
    const std::string expression = Trim(args.at("expression").get<std::string>());
    const bool hover = args.value("context", "") == "hover";
    auto answer = [](std::string result) {
        return Json{{"result", std::move(result)}, {"variablesReference", 0}};
    };
    if (expression == "A")
        return answer(std::to_string(cpu.Accumulator()));
    if (expression == "PC")
        return answer(std::to_string(cpu.PCounter()));
    if (expression == "V")
        return answer(cpu.Overflow() ? "True" : "False");
    if (expression == "Cycles")
        return answer(std::to_string(cpu.Cycles()));
    const bool memory = expression.starts_with("M[") && expression.ends_with("]");
    if (memory || hover) {
        const std::int32_t address =
            ReadAddress(memory ? expression.substr(2, expression.size() - 3) : expression);
        Json out = answer(std::to_string(cpu.Memory(address)));
        out["memoryReference"] = std::to_string(address);
        return out;
    }
    const auto value = cli::ParseWordValue(expression);
    if (!value)
        Fail("cannot evaluate '" + expression + "': try A, PC, V, Cycles, M[200] or a number");
    return answer(std::to_string(*value));
}

Json DebugAdapter::ExceptionInfo() {
    const DebugMachine& machine = Machine();
    if (machine.Fault().empty())
        Fail("not stopped at a machine fault");
    return {{"exceptionId", "fault"},
            {"description", machine.Fault()},
            {"breakMode", "always"},
            {"details", {{"message", machine.Fault()}}}};
}

} // namespace wren::dap

#include "run_report.h"

#include "opcodes.h"
#include "program_check.h"
#include "status_text.h"
#include "wren.h"

#include <algorithm>

namespace wren::cli {

namespace {

std::string Place(const std::string& file, int line, int column) {
    std::string place = file;
    if (line > 0)
        place += ":" + std::to_string(line);
    if (line > 0 && column > 0)
        place += ":" + std::to_string(column);
    return place;
}

void AddState(Json& object, const Wren& cpu) {
    object["a"] = cpu.Accumulator();
    object["pc"] = cpu.PCounter();
    object["v"] = cpu.Overflow();
    object["cycles"] = cpu.Cycles();
}

} // namespace

std::string JsonLine(const Json& object) {
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string StateText(const Wren& cpu) {
    return AccumulatorText(cpu) + "  " + PCounterText(cpu) + "  " + OverflowText(cpu) + "  " +
           CyclesText(cpu);
}

std::optional<std::int32_t> StoreTarget(const Wren& cpu, std::int32_t at) {
    const std::int32_t target = wren::StoreTarget(cpu.Words(), at);
    return target >= 0 ? std::optional(target) : std::nullopt;
}

std::string StepText(const std::string& listing, const Wren& cpu,
                     std::optional<std::int32_t> target) {
    std::string line = listing;
    line.resize(std::max<std::size_t>(line.size() + 2, 24), ' ');
    line += StateText(cpu);
    if (target)
        line += "  M[" + std::to_string(*target) + "] := " + std::to_string(cpu.Memory(*target));
    return line;
}

std::string StepsText(long long steps) {
    return std::to_string(steps) + (steps == 1 ? " step" : " steps");
}

std::string EndText(const RunResult& result, const Wren& cpu) {
    const std::string steps = StepsText(result.steps);
    const std::string pc = std::to_string(cpu.PCounter());
    std::string why;
    switch (result.reason) {
    case StopReason::StepLimit: why = "step limit reached after " + steps; break;
    case StopReason::NoInstruction:
        why = "no instruction at address " + pc + " after " + steps;
        break;
    case StopReason::Break: why = "break at address " + pc + " after " + steps; break;
    case StopReason::Fault: why = "machine fault after " + steps + ": " + result.fault; break;
    case StopReason::Loop:
        why = "endless loop after " + steps + ": the state repeats step " +
              std::to_string(result.loopFrom);
        break;
    }
    return "end: " + why + "; " + StateText(cpu);
}

std::string DumpText(const RunSpec& spec, const Wren& cpu) {
    std::string out;
    for (const auto& range : spec.dumps)
        for (std::int32_t address = range.from; address <= range.to; ++address)
            out += std::to_string(address) + ": " + std::to_string(cpu.Memory(address)) + "\n";
    return out;
}

Json StepJson(long long step, std::int32_t at, const std::string& listing, const Wren& cpu,
              std::optional<std::int32_t> target) {
    Json object;
    object["step"] = step;
    object["at"] = at;
    object["listing"] = listing;
    AddState(object, cpu);
    if (target)
        object["write"] = {{"addr", *target}, {"value", cpu.Memory(*target)}};
    return object;
}

Json EndJson(const RunResult& result, const RunSpec& spec, const Wren& cpu) {
    Json object;
    object["end"] = StopReasonName(result.reason);
    object["steps"] = result.steps;
    AddState(object, cpu);
    object["himem"] = cpu.HiMem();
    if (result.reason == StopReason::Fault)
        object["fault"] = result.fault;
    if (result.reason == StopReason::Loop)
        object["from"] = result.loopFrom;
    if (!spec.dumps.empty()) {
        Json dumps = Json::array();
        for (const auto& range : spec.dumps) {
            Json words = Json::array();
            for (std::int32_t address = range.from; address <= range.to; ++address)
                words.push_back(cpu.Memory(address));
            dumps.push_back(Json{{"from", range.from}, {"words", std::move(words)}});
        }
        object["dump"] = std::move(dumps);
    }
    return object;
}

Json LoadErrorJson(const std::string& file, const LoadError& error) {
    Json object;
    object["end"] = "load-error";
    object["file"] = file;
    object["line"] = error.line > 0 ? Json(error.line) : Json(nullptr);
    object["message"] = error.message;
    return object;
}

std::string LoadErrorText(const std::string& file, const LoadError& error) {
    return Place(file, error.line, 0) + ": " + error.message;
}

std::string CheckErrorText(const std::string& file, const LoadError& error) {
    return Place(file, error.line, error.column) + ": error: " + error.message;
}

std::string FindingText(const std::string& file, const Finding& finding) {
    const std::string place = Place(file, finding.line, finding.column);
    std::string text = place + ": warning: " + finding.message + " [-W" + finding.name + "]\n";
    if (!finding.note.empty())
        text += place + ": note: " + finding.note + "\n";
    return text;
}

} // namespace wren::cli

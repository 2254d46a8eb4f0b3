#pragma once

#include "run.h"
#include "run_spec.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace wren {
class Wren;
struct LoadError;
struct Finding;
} // namespace wren

namespace wren::cli {

using Json = nlohmann::ordered_json;

/// One line of JSON; invalid UTF-8 (as in a file name) is replaced, not thrown.
std::string JsonLine(const Json& object);

/// "A: 1  PC: 2  V: False  Cycles: 3", as the window's status shows them.
std::string StateText(const Wren& cpu);
/// The word that the instruction at address at writes when it runs (an STAm
/// with its operand inside memory); nothing for any other. Ask before the
/// step: an STAm may overwrite its own operand word.
std::optional<std::int32_t> StoreTarget(const Wren& cpu, std::int32_t at);
/// One traced step: the listing line of the instruction, then the state after
/// it, then "M[N] := V" when it wrote memory word target.
std::string StepText(const std::string& listing, const Wren& cpu,
                     std::optional<std::int32_t> target = std::nullopt);
/// "1 step", "12 steps".
std::string StepsText(long long steps);
/// The one line that ends every run: why it stopped, then the final state.
std::string EndText(const RunResult& result, const Wren& cpu);
/// "ADDR: VALUE" lines, one per word of every dump range.
std::string DumpText(const RunSpec& spec, const Wren& cpu);

/// A step as JSON; one that wrote memory word target adds
/// "write":{"addr":N,"value":V}.
Json StepJson(long long step, std::int32_t at, const std::string& listing, const Wren& cpu,
              std::optional<std::int32_t> target = std::nullopt);
Json EndJson(const RunResult& result, const RunSpec& spec, const Wren& cpu);
Json LoadErrorJson(const std::string& file, const LoadError& error);

/// "FILE:LINE: reason", or "FILE: reason" when no line is at fault.
std::string LoadErrorText(const std::string& file, const LoadError& error);
/// A load problem in GCC's style: "FILE:LINE:COLUMN: error: reason".
std::string CheckErrorText(const std::string& file, const LoadError& error);
/// A finding in GCC's style, with its note line when it has one.
std::string FindingText(const std::string& file, const Finding& finding);

} // namespace wren::cli

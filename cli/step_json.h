#pragma once

#include "step_description.h"

#include <nlohmann/json.hpp>

namespace wren::cli {

/// A step's description as JSON, the one shape that wren-trace --explain
/// prints and the debug adapter sends:
/// {"at":8,"instruction":"ADDm 100","outcome":"executed",
///  "reads":[{"what":"M","address":100,"value":7},...],
///  "writes":[{"what":"A","old":5,"new":12},...],
///  "branch":{"target":20,"taken":false},"text":"A ← ..."}
/// V's values are true or false; a fault adds "fault" and "failed".
nlohmann::ordered_json StepDescriptionJson(const StepDescription& step);

} // namespace wren::cli

#include "step_json.h"

namespace wren::cli {

namespace {

using Json = nlohmann::ordered_json;

const char* OutcomeName(StepOutcome outcome) {
    switch (outcome) {
    case StepOutcome::Executed: return "executed";
    case StepOutcome::NoInstruction: return "no-instruction";
    case StepOutcome::Fault: return "fault";
    }
    return "?";
}

Json Value(Place place, std::int32_t value) {
    return place == Place::V ? Json(value != 0) : Json(value);
}

Json Where(Place place, std::int32_t address) {
    Json object;
    object["what"] = PlaceName(place);
    if (place == Place::Memory)
        object["address"] = address;
    return object;
}

} // namespace

Json StepDescriptionJson(const StepDescription& step) {
    Json object;
    object["at"] = step.at;
    object["instruction"] = InstructionText(step);
    object["outcome"] = OutcomeName(step.outcome);
    Json reads = Json::array();
    for (const StepRead& read : step.reads) {
        Json r = Where(read.place, read.address);
        r["value"] = Value(read.place, read.value);
        reads.push_back(std::move(r));
    }
    object["reads"] = std::move(reads);
    Json writes = Json::array();
    for (const StepWrite& write : step.writes) {
        Json w = Where(write.place, write.address);
        w["old"] = Value(write.place, write.before);
        w["new"] = Value(write.place, write.after);
        writes.push_back(std::move(w));
    }
    object["writes"] = std::move(writes);
    if (step.target)
        object["branch"] = {{"target", *step.target}, {"taken", step.taken.value_or(false)}};
    if (step.outcome == StepOutcome::Fault) {
        object["fault"] = step.fault;
        object["failed"] = step.failed;
    }
    object["text"] = step.text;
    object["spoken"] = SpokenText(step);
    return object;
}

} // namespace wren::cli

#include "document_features.h"

#include "opcodes.h"

#include <optional>
#include <utility>

namespace wren::lsp {

namespace {

nlohmann::json Hint(Position at, std::string label, bool before) {
    nlohmann::json hint{{"position", {{"line", at.line}, {"character", at.character}}},
                        {"label", std::move(label)}};
    hint[before ? "paddingRight" : "paddingLeft"] = true;
    return hint;
}

// The loaded value, where the operand does not read plainly as that number:
// "&HFF" loads 255, "2.5" loads 2, "5 6" loads 56, "x" loads 0.
std::optional<nlohmann::json> ValueHint(const TextDocument& doc, const RecordSummary& r) {
    const std::string value = std::to_string(r.value);
    if (r.number.begin == r.number.end) {
        if (r.info != nullptr && r.info->operand == OperandUse::Ignored)
            return std::nullopt;
        return Hint(doc.ToPosition(r.line, r.operand.end), "= " + value, false);
    }
    if (doc.Slice(r.line, r.number) == value)
        return std::nullopt;
    return Hint(doc.ToPosition(r.line, r.number.end), "= " + value, false);
}

} // namespace

nlohmann::json InlayHints(DocumentRef ref, const nlohmann::json& range) {
    const Position start = PositionOf(range.at("start"));
    const Position end = PositionOf(range.at("end"));
    // A range's end is exclusive: a hint there belongs to the next request.
    const auto inside = [&](const nlohmann::json& hint) {
        const Position at = PositionOf(hint.at("position"));
        const auto key = [](const Position& p) { return std::pair(p.line, p.character); };
        return key(start) <= key(at) && key(at) < key(end);
    };
    const auto& records = ref.doc.Program().records;
    // Every address as wide as the document's largest, padded with figure
    // spaces (a digit's width), so that the text after the hints stays in
    // one column.
    const std::size_t taking = ref.doc.Program().byAddress.size();
    const std::size_t width = std::to_string(taking > 0 ? 2 * (taking - 1) : 0).size();
    const auto label = [&](std::int32_t address) {
        const std::string digits = std::to_string(address);
        std::string out;
        for (std::size_t i = digits.size(); i < width; ++i)
            out += "\u2007";
        return out + digits + ":";
    };
    auto hints = nlohmann::json::array();
    for (std::size_t i = ref.doc.RecordsOnLine(start.line + 1).first;
         i < records.size() && records[i].line <= end.line + 1; ++i) {
        const RecordSummary& r = records[i];
        if (!r.TakesMemory())
            continue;
        nlohmann::json address =
            Hint(ref.doc.ToPosition(r.line, r.span.begin), label(r.address), true);
        if (inside(address))
            hints.push_back(std::move(address));
        if (auto value = ValueHint(ref.doc, r); value && inside(*value))
            hints.push_back(std::move(*value));
    }
    return hints;
}

} // namespace wren::lsp

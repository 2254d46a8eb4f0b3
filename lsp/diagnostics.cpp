#include "document_features.h"

namespace wren::lsp {

namespace {

constexpr int kError = 1;
constexpr int kWarning = 2;

// A finding marks from its column to the end of the record it lies in, or a
// single character where it lies between records (the comma of a comment).
ColumnSpan MarkedSpan(const TextDocument& doc, int line, int column) {
    const RecordSummary* r = doc.RecordAtColumn(line, column);
    return r != nullptr && r->span.Contains(column) ? ColumnSpan{column, r->span.end}
                                                    : ColumnSpan{column, column + 1};
}

} // namespace

nlohmann::json RangeOf(const TextDocument& doc, int line, ColumnSpan span) {
    const Position begin = doc.ToPosition(line, span.begin);
    const Position end = doc.ToPosition(line, span.end);
    return {{"start", {{"line", begin.line}, {"character", begin.character}}},
            {"end", {{"line", end.line}, {"character", end.character}}}};
}

Position PositionOf(const nlohmann::json& position) {
    return {position.at("line").get<int>(), position.at("character").get<int>()};
}

nlohmann::json FindingDiagnostic(const TextDocument& doc, const Finding& f) {
    std::string message = f.message;
    if (!f.note.empty())
        message += "\n" + f.note;
    return {{"range", RangeOf(doc, f.line, MarkedSpan(doc, f.line, f.column))},
            {"severity", kWarning},
            {"code", f.name},
            {"source", "wren"},
            {"message", message}};
}

nlohmann::json Diagnostics(DocumentRef ref) {
    const ProgramMap& program = ref.doc.Program();
    auto list = nlohmann::json::array();
    for (const Finding& f : program.findings)
        list.push_back(FindingDiagnostic(ref.doc, f));
    if (program.error) {
        const LoadError& e = *program.error;
        const int line = std::max(e.line, 1);
        const int begin = std::max(e.column, 1);
        const int end = ref.doc.ToColumn({line - 1, 1 << 30});
        list.push_back({{"range", RangeOf(ref.doc, line, {begin, std::max(end, begin + 1)})},
                        {"severity", kError},
                        {"source", "wren"},
                        {"message", e.message}});
    }
    return {{"uri", ref.uri}, {"version", ref.doc.Version()}, {"diagnostics", std::move(list)}};
}

} // namespace wren::lsp

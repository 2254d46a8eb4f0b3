#include "document_features.h"

#include <vector>

namespace wren::lsp {

namespace {

struct Edit {
    ColumnSpan span;
    std::string text;
};

nlohmann::json Action(DocumentRef ref, const Finding& f, std::string title,
                      const std::vector<Edit>& edits, bool preferred) {
    auto textEdits = nlohmann::json::array();
    for (const Edit& e : edits)
        textEdits.push_back({{"range", RangeOf(ref.doc, f.line, e.span)}, {"newText", e.text}});
    return {{"title", std::move(title)},
            {"kind", "quickfix"},
            {"diagnostics", nlohmann::json::array({FindingDiagnostic(ref.doc, f)})},
            {"isPreferred", preferred},
            {"edit", {{"changes", {{ref.uri, std::move(textEdits)}}}}}};
}

void FixesFor(DocumentRef ref, const Finding& f, nlohmann::json& actions) {
    const TextDocument& doc = ref.doc;
    if (f.name == "unknown-mnemonic") {
        const RecordSummary* r = doc.RecordAtColumn(f.line, f.column);
        if (r == nullptr)
            return;
        for (const std::string& meant : f.suggestions)
            actions.push_back(Action(ref, f, "Change to '" + meant + "'", {{r->mnemonic, meant}},
                                     f.suggestions.size() == 1));
    } else if (f.name == "tab-separator") {
        actions.push_back(
            Action(ref, f, "Separate with a space", {{{f.column, f.column + 1}, " "}}, true));
    } else if (f.name == "missing-operand") {
        const RecordSummary* r = doc.RecordAtColumn(f.line, f.column);
        if (r == nullptr)
            return;
        // Inside a closed quote, the operand goes before the closing quote.
        const std::string_view text = doc.Slice(f.line, r->span);
        const bool closedQuote = text.size() > 1 && text.front() == '"' && text.back() == '"';
        const int at = closedQuote ? r->span.end - 1 : r->span.end;
        actions.push_back(Action(ref, f, "Add the operand 0", {{{at, at}, " 0"}}, true));
    } else if (f.name == "comma-in-comment") {
        // The writer meant a comment to the line end: every comma in it goes.
        std::vector<Edit> edits;
        const int lineEnd = doc.ToColumn({f.line - 1, 1 << 30});
        int column = f.column;
        for (char c : doc.Slice(f.line, {f.column, lineEnd})) {
            if ((static_cast<unsigned char>(c) & 0xC0) == 0x80)
                continue; // inside a character
            if (c == ',')
                edits.push_back({{column, column + 1}, ";"});
            ++column;
        }
        actions.push_back(Action(ref, f, "Use ';' instead of ',' in the comment", edits, true));
    }
}

} // namespace

nlohmann::json CodeActions(DocumentRef ref, const nlohmann::json& range) {
    const int firstLine = range.at("start").at("line").get<int>() + 1;
    const int lastLine = range.at("end").at("line").get<int>() + 1;
    auto actions = nlohmann::json::array();
    for (const Finding& f : ref.doc.Program().findings)
        if (f.line >= firstLine && f.line <= lastLine)
            FixesFor(ref, f, actions);
    return actions;
}

} // namespace wren::lsp

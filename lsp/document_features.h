#pragma once

#include "text_document.h"

#include <nlohmann/json.hpp>

#include <string>

namespace wren::lsp {

/// One open document as a request sees it.
struct DocumentRef {
    const std::string& uri;
    const TextDocument& doc;
};

/// The protocol's Range for a span of columns on a 1-based line.
nlohmann::json RangeOf(const TextDocument& doc, int line, ColumnSpan span);
/// Reads a protocol Position.
Position PositionOf(const nlohmann::json& position);

/// The params of textDocument/publishDiagnostics: every checker finding as a
/// warning, the load error as an error; an empty list for a clean program.
nlohmann::json Diagnostics(DocumentRef ref);

/// The diagnostic that shows one checker finding.
nlohmann::json FindingDiagnostic(const TextDocument& doc, const Finding& finding);

/// textDocument/inlayHint: each record's address, and the loaded value where
/// it differs from how the operand reads.
nlohmann::json InlayHints(DocumentRef ref, const nlohmann::json& range);

/// textDocument/hover.
nlohmann::json Hover(DocumentRef ref, Position position);

/// textDocument/definition: from an address operand to the record there.
nlohmann::json Definition(DocumentRef ref, Position position);

/// textDocument/references: the address operands that name a record's words.
nlohmann::json References(DocumentRef ref, Position position, bool includeDeclaration);

/// textDocument/codeAction: quick fixes for the findings in range.
nlohmann::json CodeActions(DocumentRef ref, const nlohmann::json& range);

/// textDocument/completion: the mnemonics, at the start of a record.
nlohmann::json Completion(DocumentRef ref, Position position);

} // namespace wren::lsp

#pragma once

#include "program_map.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wren::lsp {

/// How the client counts characters in a position.
enum class PositionEncoding { Utf8, Utf16, Utf32 };

/// The protocol's name for an encoding: "utf-8", "utf-16" or "utf-32".
const char* EncodingName(PositionEncoding encoding);

/// A position as the protocol gives it: 0-based line and character.
struct Position {
    int line = 0;
    int character = 0;
    bool operator==(const Position&) const = default;
};

/// An open document: its text, its version and the program it holds, kept
/// up to date on every change.
class TextDocument {
public:
    TextDocument(std::string text, int version, PositionEncoding encoding);

    const std::string& Text() const { return text_; }
    int Version() const { return version_; }
    const ProgramMap& Program() const { return program_; }
    int LineCount() const { return static_cast<int>(lineStarts_.size()); }
    /// A 0-based line without its line end; empty past the last line.
    std::string_view Line(int line) const;

    /// Replaces the text from begin to end (clamped to the text) by text.
    void Edit(Position begin, Position end, std::string_view text);
    /// Replaces the whole text.
    void Replace(std::string text);
    void SetVersion(int version) { version_ = version; }

    /// The position of the core's 1-based line and character column.
    Position ToPosition(int line, int column) const;
    /// The core's 1-based character column at a position on its line.
    int ToColumn(Position position) const;
    /// The text of a span of the core's columns on a 1-based line.
    std::string_view Slice(int line, ColumnSpan span) const;

    /// The records on a 1-based line, in order: [first, last).
    std::pair<std::size_t, std::size_t> RecordsOnLine(int line) const;
    /// The record whose text holds the position (its end included), or nullptr.
    const RecordSummary* RecordAt(Position position) const;
    /// The same for the core's 1-based line and column.
    const RecordSummary* RecordAtColumn(int line, int column) const;

private:
    std::size_t ToOffset(Position position) const;
    void Reindex();

    std::string text_;
    int version_ = 0;
    PositionEncoding encoding_;
    std::vector<std::size_t> lineStarts_;
    ProgramMap program_;
};

} // namespace wren::lsp

#include "text_document.h"

#include <algorithm>

namespace wren::lsp {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Bytes of the character at text[i]: its lead byte and the continuation
// bytes after it, the way the record reader counts columns.
std::size_t CharBytes(std::string_view text, std::size_t i) {
    std::size_t end = i + 1;
    while (end < text.size() && end - i < 4 && IsContinuationByte(text[end]))
        ++end;
    return end - i;
}

int Units(std::size_t bytes, PositionEncoding encoding) {
    switch (encoding) {
    case PositionEncoding::Utf8: return static_cast<int>(bytes);
    case PositionEncoding::Utf16: return bytes == 4 ? 2 : 1;
    case PositionEncoding::Utf32: return 1;
    }
    return 1;
}

} // namespace

const char* EncodingName(PositionEncoding encoding) {
    switch (encoding) {
    case PositionEncoding::Utf8: return "utf-8";
    case PositionEncoding::Utf16: return "utf-16";
    case PositionEncoding::Utf32: return "utf-32";
    }
    return "utf-16";
}

TextDocument::TextDocument(std::string text, int version, PositionEncoding encoding)
    : text_(std::move(text)), version_(version), encoding_(encoding) {
    Reindex();
}

void TextDocument::Reindex() {
    lineStarts_.assign(1, 0);
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n')
            ++i;
        if (text_[i] == '\n' || text_[i] == '\r')
            lineStarts_.push_back(i + 1);
    }
    program_ = MapProgram(text_);
}

std::string_view TextDocument::Line(int line) const {
    if (line < 0 || line >= LineCount())
        return {};
    const std::size_t begin = lineStarts_[static_cast<std::size_t>(line)];
    std::size_t end =
        line + 1 < LineCount() ? lineStarts_[static_cast<std::size_t>(line) + 1] : text_.size();
    while (end > begin && (text_[end - 1] == '\n' || text_[end - 1] == '\r'))
        --end;
    return std::string_view(text_).substr(begin, end - begin);
}

Position TextDocument::ToPosition(int line, int column) const {
    const int line0 = std::clamp(line - 1, 0, LineCount() - 1);
    const std::string_view text = Line(line0);
    std::size_t i = 0;
    int units = 0;
    // The loader skips a byte-order mark without counting it as a column.
    if (line0 == 0 && text.starts_with(kUtf8Bom)) {
        i = kUtf8Bom.size();
        units = Units(kUtf8Bom.size(), encoding_);
    }
    for (int at = 1; at < column && i < text.size(); ++at) {
        const std::size_t bytes = CharBytes(text, i);
        units += Units(bytes, encoding_);
        i += bytes;
    }
    return {line0, units};
}

std::string_view TextDocument::Slice(int line, ColumnSpan span) const {
    std::string_view text = Line(line - 1);
    if (line == 1 && text.starts_with(kUtf8Bom))
        text.remove_prefix(kUtf8Bom.size());
    return ColumnText(text, span);
}

int TextDocument::ToColumn(Position position) const {
    const std::string_view text = Line(position.line);
    std::size_t i = 0;
    int units = 0;
    if (position.line == 0 && text.starts_with(kUtf8Bom)) {
        i = kUtf8Bom.size();
        units = Units(kUtf8Bom.size(), encoding_);
    }
    int column = 1;
    while (i < text.size() && units < position.character) {
        const std::size_t bytes = CharBytes(text, i);
        units += Units(bytes, encoding_);
        i += bytes;
        ++column;
    }
    return column;
}

std::size_t TextDocument::ToOffset(Position position) const {
    if (position.line < 0)
        return 0;
    if (position.line >= LineCount())
        return text_.size();
    const std::string_view text = Line(position.line);
    std::size_t i = 0;
    int units = 0;
    while (i < text.size() && units < position.character) {
        const std::size_t bytes = CharBytes(text, i);
        units += Units(bytes, encoding_);
        i += bytes;
    }
    return lineStarts_[static_cast<std::size_t>(position.line)] + i;
}

void TextDocument::Edit(Position begin, Position end, std::string_view text) {
    const std::size_t from = ToOffset(begin);
    const std::size_t to = std::max(from, ToOffset(end));
    text_.replace(from, to - from, text);
    Reindex();
}

void TextDocument::Replace(std::string text) {
    text_ = std::move(text);
    Reindex();
}

std::pair<std::size_t, std::size_t> TextDocument::RecordsOnLine(int line) const {
    const auto& records = program_.records;
    const auto first = std::lower_bound(records.begin(), records.end(), line,
                                        [](const RecordSummary& r, int l) { return r.line < l; });
    const auto last = std::upper_bound(first, records.end(), line,
                                       [](int l, const RecordSummary& r) { return l < r.line; });
    return {static_cast<std::size_t>(first - records.begin()),
            static_cast<std::size_t>(last - records.begin())};
}

const RecordSummary* TextDocument::RecordAt(Position position) const {
    return RecordAtColumn(position.line + 1, ToColumn(position));
}

const RecordSummary* TextDocument::RecordAtColumn(int line, int column) const {
    const auto [first, last] = RecordsOnLine(line);
    for (std::size_t i = first; i < last; ++i) {
        const RecordSummary& r = program_.records[i];
        if (r.span.begin <= column && column <= r.span.end)
            return &r;
    }
    return nullptr;
}

} // namespace wren::lsp

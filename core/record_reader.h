#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wren {

/// Reads a program text, from a file or from memory, one record at a time. Records end at a comma
/// or a line end (LF, CR LF or a lone CR); leading spaces and tabs are skipped; a record that opens
/// with a double quote runs to the next quote on its line. The file is closed when the reader goes
/// out of scope.
class RecordReader {
public:
    /// Longest record accepted; longer ones fail so memory stays bounded.
    static constexpr std::size_t kMaxRecordBytes = std::size_t{1} << 20;

    /// What ended a record.
    enum class End { Comma, LineEnd, FileEnd };

    struct Record {
        std::string text;
        /// 1-based line where the record starts.
        int line = 0;
        /// 1-based column of the record's first character (its opening quote
        /// when quoted); columns count characters, not UTF-8 bytes.
        int column = 0;
        End end = End::FileEnd;
        /// Column of the comma that ended the record, when one did.
        int endColumn = 0;
        bool quoted = false;
        /// For a quoted record: whether its closing quote stood on its line.
        bool quoteClosed = false;
        /// Column of the first non-blank character dropped after a closing
        /// quote; 0 when nothing was dropped.
        int droppedColumn = 0;

        /// Column of text[offset]: a column count, so it skips UTF-8
        /// continuation bytes.
        int ColumnAt(std::size_t offset) const;
    };

    enum class Status { Ok, TooLong, ReadFailed };

    /// Opens path for reading; returns why it could not, or nothing on success.
    std::optional<std::string> Open(const std::filesystem::path& path);
    /// Reads text held in memory instead, such as an editor's unsaved buffer.
    /// text must outlive the reading.
    void OpenText(std::string_view text);
    /// True when nothing is left to read (false after a read error, so that
    /// the next Read reports it).
    bool AtEnd();
    /// Reads the next record into record.
    Status Read(Record& record);
    void Close();

private:
    int Peek();
    int Get();
    bool Fill();
    void SkipBom();
    void SkipLineEnd(int c);
    void ReadQuoted(Record& record);
    void ReadPlain(Record& record);
    void SetEnd(Record& record, int c);
    bool TooLong(const std::string& text) const { return text.size() > kMaxRecordBytes; }

    std::ifstream file_;
    std::vector<char> buffer_;
    // The bytes being read: buffer_'s, or the whole text of OpenText.
    const char* data_ = nullptr;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    bool failed_ = false;
    int line_ = 1;
    int column_ = 1; // column of the next character
};

} // namespace wren

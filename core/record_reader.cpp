#include "record_reader.h"

#include <cerrno>
#include <string_view>
#include <system_error>

namespace wren {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsLineEnd(int c) { return c == '\n' || c == '\r'; }
bool IsBlank(int c) { return c == ' ' || c == '\t'; }
bool IsContinuationByte(int c) { return (c & 0xC0) == 0x80; }

} // namespace

int RecordReader::Record::ColumnAt(std::size_t offset) const {
    int at = column + (quoted ? 1 : 0);
    for (std::size_t i = 0; i < offset && i < text.size(); ++i)
        if (!IsContinuationByte(static_cast<unsigned char>(text[i])))
            ++at;
    return at;
}

std::optional<std::string> RecordReader::Open(const std::filesystem::path& path) {
    Close();
    if (path.empty())
        return "no file name given";
    std::error_code ec;
    // A directory opens without complaint on Linux and only fails on reading.
    if (std::filesystem::is_directory(path, ec))
        return "is a directory, not a program file";
    errno = 0;
    file_.open(path, std::ios::binary);
    if (!file_.is_open()) {
        const int err = errno != 0 ? errno : ENOENT;
        return "cannot open: " + std::generic_category().message(err);
    }
    buffer_.resize(kChunkBytes);
    data_ = buffer_.data();
    Fill();
    SkipBom();
    return std::nullopt;
}

void RecordReader::OpenText(std::string_view text) {
    Close();
    data_ = text.data();
    len_ = text.size();
    SkipBom();
}

void RecordReader::SkipBom() {
    if (std::string_view(data_, len_).starts_with(kUtf8Bom))
        pos_ = kUtf8Bom.size();
}

void RecordReader::Close() {
    if (file_.is_open())
        file_.close();
    file_.clear();
    data_ = nullptr;
    pos_ = len_ = 0;
    failed_ = false;
    line_ = 1;
    column_ = 1;
}

bool RecordReader::Fill() {
    if (failed_ || !file_.is_open())
        return false;
    file_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    len_ = static_cast<std::size_t>(file_.gcount());
    pos_ = 0;
    if (file_.bad())
        failed_ = true;
    return len_ > 0;
}

int RecordReader::Peek() {
    if (pos_ == len_ && !Fill())
        return -1;
    return static_cast<unsigned char>(data_[pos_]);
}

int RecordReader::Get() {
    const int c = Peek();
    if (c >= 0) {
        ++pos_;
        if (!IsContinuationByte(c))
            ++column_;
    }
    return c;
}

bool RecordReader::AtEnd() { return Peek() < 0 && !failed_; }

void RecordReader::SkipLineEnd(int c) {
    if (c == '\r' && Peek() == '\n')
        Get();
    ++line_;
    column_ = 1;
}

// c is the character that stopped the record's text, already taken.
void RecordReader::SetEnd(Record& record, int c) {
    if (c == ',') {
        record.end = End::Comma;
        record.endColumn = column_ - 1;
    } else if (IsLineEnd(c)) {
        record.end = End::LineEnd;
        SkipLineEnd(c);
    } else {
        record.end = End::FileEnd;
    }
}

// A quoted record ends at its closing quote; whatever follows up to the next
// comma or line end is dropped. An unclosed quote ends at the line end.
void RecordReader::ReadQuoted(Record& record) {
    std::string& text = record.text;
    int c;
    while ((c = Get()) >= 0 && c != '"' && !IsLineEnd(c) && !TooLong(text))
        text.push_back(static_cast<char>(c));
    record.quoteClosed = c == '"';
    if (record.quoteClosed) {
        while ((c = Get()) >= 0 && c != ',' && !IsLineEnd(c))
            if (record.droppedColumn == 0 && !IsBlank(c))
                record.droppedColumn = column_ - 1;
    }
    SetEnd(record, c);
}

void RecordReader::ReadPlain(Record& record) {
    std::string& text = record.text;
    int c;
    while ((c = Get()) >= 0 && c != ',' && !IsLineEnd(c) && !TooLong(text))
        text.push_back(static_cast<char>(c));
    SetEnd(record, c);
    while (!text.empty() && IsBlank(text.back()))
        text.pop_back();
}

RecordReader::Status RecordReader::Read(Record& record) {
    record.text.clear();
    record.endColumn = record.droppedColumn = 0;
    record.quoteClosed = false;
    while (IsBlank(Peek()))
        Get();
    record.line = line_;
    record.column = column_;
    record.quoted = Peek() == '"';
    if (record.quoted) {
        Get();
        ReadQuoted(record);
    } else {
        ReadPlain(record);
    }
    if (failed_)
        return Status::ReadFailed;
    if (TooLong(record.text))
        return Status::TooLong;
    return Status::Ok;
}

} // namespace wren

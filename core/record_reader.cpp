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

} // namespace

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
    Fill();
    if (std::string_view(buffer_.data(), len_).starts_with(kUtf8Bom))
        pos_ = kUtf8Bom.size();
    return std::nullopt;
}

void RecordReader::Close() {
    if (file_.is_open())
        file_.close();
    file_.clear();
    pos_ = len_ = 0;
    failed_ = false;
    line_ = 1;
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
    return static_cast<unsigned char>(buffer_[pos_]);
}

int RecordReader::Get() {
    const int c = Peek();
    if (c >= 0)
        ++pos_;
    return c;
}

bool RecordReader::AtEnd() { return Peek() < 0 && !failed_; }

void RecordReader::SkipLineEnd(int c) {
    if (c == '\r' && Peek() == '\n')
        Get();
    ++line_;
}

// A quoted record ends at its closing quote; whatever follows up to the next
// comma or line end is dropped. An unclosed quote ends at the line end.
void RecordReader::ReadQuoted(std::string& text) {
    int c;
    while ((c = Get()) >= 0 && c != '"' && !IsLineEnd(c) && !TooLong(text))
        text.push_back(static_cast<char>(c));
    if (c == '"') {
        while ((c = Get()) >= 0 && c != ',' && !IsLineEnd(c)) {
        }
    }
    if (IsLineEnd(c))
        SkipLineEnd(c);
}

void RecordReader::ReadPlain(std::string& text) {
    int c;
    while ((c = Get()) >= 0 && c != ',' && !IsLineEnd(c) && !TooLong(text))
        text.push_back(static_cast<char>(c));
    if (IsLineEnd(c))
        SkipLineEnd(c);
    while (!text.empty() && IsBlank(text.back()))
        text.pop_back();
}

RecordReader::Status RecordReader::Read(Record& record) {
    record.text.clear();
    while (IsBlank(Peek()))
        Get();
    record.line = line_;
    if (Peek() == '"') {
        Get();
        ReadQuoted(record.text);
    } else {
        ReadPlain(record.text);
    }
    if (failed_)
        return Status::ReadFailed;
    if (TooLong(record.text))
        return Status::TooLong;
    return Status::Ok;
}

} // namespace wren

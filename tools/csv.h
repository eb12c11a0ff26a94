// Comma-separated values as `import` reads them and `dump --format csv` writes them
// (RFC 4180): fields separated by commas, records by LF or CRLF; a field that holds a comma,
// a quote, a line break or blanks at its ends is written in double quotes, with each quote
// doubled. The reader accepts the same, a UTF-8 byte-order mark at the start, and skips
// lines that are entirely empty.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::cli {

class TCsvReader {
public:
    // Reads from `file` (not owned, not closed); `name` (the file's path, or "standard
    // input") begins the messages of its errors when it is not empty.
    explicit TCsvReader(FILE* file, std::string name = "") : file_(file), name_(std::move(name)) {}

    // Reads the next record into `fields`, with the line on which each field starts in
    // `lines`. Returns false at the end of the input. Raises EToolError naming the input and
    // the line for a quoted field that never ends or text after a closing quote.
    bool Next(std::vector<std::string>& fields, std::vector<int64_t>& lines);
    // The line on which the last record returned starts.
    int64_t RecordLine() const { return recordLine_; }
    int64_t BytesRead() const { return consumed_; }

private:
    int Get();
    int Peek();
    [[noreturn]] void Fail(const std::string& what) const;
    FILE* file_;
    std::string name_;
    char buf_[65536];
    size_t pos_ = 0, len_ = 0;
    int64_t consumed_ = 0;
    int64_t line_ = 1;
    int64_t recordLine_ = 0;
    bool started_ = false;
};

// One field as CSV text (quoted when needed).
std::string CsvField(std::string_view value);

}  // namespace tarn::cli

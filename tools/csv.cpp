#include "tools/csv.h"

#include "tools/cli_common.h"

namespace tarn::cli {

void TCsvReader::Fail(const std::string& what) const {
    throw EToolError(name_.empty() ? what : name_ + ": " + what);
}

int TCsvReader::Peek() {
    if (pos_ == len_) {
        len_ = std::fread(buf_, 1, sizeof buf_, file_);
        pos_ = 0;
        if (len_ == 0) {
            if (std::ferror(file_)) Fail("cannot read the CSV input");
            return EOF;
        }
    }
    return static_cast<unsigned char>(buf_[pos_]);
}

int TCsvReader::Get() {
    int c = Peek();
    if (c != EOF) {
        ++pos_;
        ++consumed_;
    }
    return c;
}

bool TCsvReader::Next(std::vector<std::string>& fields, std::vector<int64_t>& lines) {
    fields.clear();
    lines.clear();
    if (!started_) {
        started_ = true;
        // A UTF-8 byte-order mark is not part of the first field.
        if (Peek() == 0xEF) {
            Get();
            if (Peek() != 0xBB || (Get(), Peek() != 0xBF))
                Fail("line 1: the input starts with bytes that are not UTF-8 text");
            Get();
        }
    }
    // Skip empty lines.
    for (;;) {
        int c = Peek();
        if (c == EOF) return false;
        if (c == '\n') {
            Get();
            ++line_;
        } else if (c == '\r') {
            Get();
            if (Peek() == '\n') Get();
            ++line_;
        } else {
            break;
        }
    }
    recordLine_ = line_;
    std::string field;
    for (;;) {
        field.clear();
        lines.push_back(line_);
        int c = Peek();
        if (c == '"') {
            Get();
            int64_t openedOn = line_;
            for (;;) {
                c = Get();
                if (c == EOF)
                    Fail("line " + std::to_string(openedOn) + ": a quoted field is never closed");
                if (c == '"') {
                    if (Peek() == '"') {
                        Get();
                        field.push_back('"');
                        continue;
                    }
                    break;
                }
                if (c == '\n') ++line_;
                if (c == '\r' && Peek() != '\n') ++line_;
                field.push_back(static_cast<char>(c));
            }
            c = Peek();
            if (c != ',' && c != '\n' && c != '\r' && c != EOF)
                Fail("line " + std::to_string(line_) + ", column " +
                     std::to_string(fields.size() + 1) +
                     ": text after the closing quote of a field");
        } else {
            while ((c = Peek()) != ',' && c != '\n' && c != '\r' && c != EOF)
                field.push_back(static_cast<char>(Get()));
        }
        fields.push_back(field);
        c = Get();
        if (c == ',') continue;
        if (c == '\r' && Peek() == '\n') Get();
        if (c != EOF) ++line_;
        return true;
    }
}

std::string CsvField(std::string_view v) {
    bool quote = !v.empty() && (v.front() == ' ' || v.back() == ' ');
    for (char c : v)
        if (c == ',' || c == '"' || c == '\n' || c == '\r') quote = true;
    if (!quote) return std::string(v);
    std::string s = "\"";
    for (char c : v) {
        if (c == '"') s.push_back('"');
        s.push_back(c);
    }
    s.push_back('"');
    return s;
}

}  // namespace tarn::cli

#include "tools/row_output.h"

#include <cerrno>
#include <cstring>

#include "tools/cli_common.h"
#include "tools/csv.h"

namespace tarn::cli {

namespace {

// Rows the table format holds to size its columns before it starts printing.
constexpr size_t kTableSizingRows = 1000;

}  // namespace

TOutputFormat ParseOutputFormat(const std::string& name) {
    if (name.empty() || name == "table") return TOutputFormat::Table;
    if (name == "csv") return TOutputFormat::Csv;
    if (name == "tsv") return TOutputFormat::Tsv;
    if (name == "json") return TOutputFormat::Json;
    throw UsageError("unknown format '" + name + "' (known: table, csv, tsv, json)");
}

bool ParseHeaderSetting(const std::string& value) {
    if (value.empty() || value == "on") return true;
    if (value == "off") return false;
    throw UsageError("--header is on or off, not '" + value + "'");
}

std::string JsonString(std::string_view s) {
    std::string out = "\"";
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out.push_back(ch);
                }
        }
    }
    out.push_back('"');
    return out;
}

std::string JsonValue(TFieldType type, const std::string& text) {
    switch (type) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
        case ftLargeint:
        case ftBoolean:  // true / false
            return text;
        case ftFloat:
        case ftCurrency:
            return (text.empty() || text == "nan" || text == "inf" || text == "-inf") ? "null"
                                                                                      : text;
        case ftDate:
        case ftTime:
        case ftDateTime:
            return text.empty() ? "null" : JsonString(text);
        default:
            return JsonString(text);
    }
}

std::string TsvField(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

void CheckWritten(FILE* f, const std::string& where) {
    int err = 0;
    if (std::fflush(f) != 0) err = errno;
    if (err == 0 && std::ferror(f)) err = EIO;
    if (err != 0) {
        std::clearerr(f);
        throw EToolError("cannot write to " + where + ": " + std::strerror(err));
    }
}

TOutputTarget::TOutputTarget(FILE* standardOutput, const std::string& path)
    : file_(standardOutput), path_(path) {
    if (path.empty()) return;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) throw EToolError("cannot write to " + path + ": " + std::strerror(errno));
}

TOutputTarget::~TOutputTarget() {
    if (!path_.empty() && file_ != nullptr) std::fclose(file_);
}

void TOutputTarget::Finish() {
    if (path_.empty()) {
        CheckWritten(file_, "standard output");
        return;
    }
    CheckWritten(file_, path_);
    FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0)
        throw EToolError("cannot write to " + path_ + ": " + std::strerror(errno));
}

TRowWriter::TRowWriter(FILE* out, TOutputFormat format, std::vector<std::string> names,
                       std::vector<TFieldType> types, bool header)
    : out_(out),
      format_(format),
      names_(std::move(names)),
      types_(std::move(types)),
      grid_(out, names_),
      header_(header) {
    grid_.SetShowHeader(header);
    if (format_ == TOutputFormat::Csv && header) {
        std::string line;
        for (size_t i = 0; i < names_.size(); ++i) line += (i ? "," : "") + CsvField(names_[i]);
        line += '\n';
        std::fputs(line.c_str(), out_);
    } else if (format_ == TOutputFormat::Tsv && header) {
        std::string line;
        for (size_t i = 0; i < names_.size(); ++i) line += (i ? "\t" : "") + TsvField(names_[i]);
        line += '\n';
        std::fputs(line.c_str(), out_);
    } else if (format_ == TOutputFormat::Json) {
        std::fputs("[", out_);
    }
}

void TRowWriter::Row(const std::vector<std::string>& cells) {
    switch (format_) {
        case TOutputFormat::Table:
            grid_.AddRow(cells);
            if (grid_.HeldRows() >= kTableSizingRows) grid_.Print();
            break;
        case TOutputFormat::Csv: {
            std::string line;
            for (size_t i = 0; i < cells.size(); ++i) line += (i ? "," : "") + CsvField(cells[i]);
            if (line.empty()) line = "\"\"";  // one empty field must not read as an empty line
            line += '\n';
            std::fputs(line.c_str(), out_);
            break;
        }
        case TOutputFormat::Tsv: {
            std::string line;
            for (size_t i = 0; i < cells.size(); ++i) line += (i ? "\t" : "") + TsvField(cells[i]);
            line += '\n';
            std::fputs(line.c_str(), out_);
            break;
        }
        case TOutputFormat::Json: {
            std::string obj = rows_ ? ",\n  {" : "\n  {";
            for (size_t i = 0; i < cells.size(); ++i)
                obj +=
                    (i ? ", " : "") + JsonString(names_[i]) + ": " + JsonValue(types_[i], cells[i]);
            obj += "}";
            std::fputs(obj.c_str(), out_);
            break;
        }
    }
    ++rows_;
}

void TRowWriter::Finish() {
    if (format_ == TOutputFormat::Table) {
        grid_.Print();
        if (header_)
            std::fprintf(out_, "(%lld record%s)\n", static_cast<long long>(rows_),
                         rows_ == 1 ? "" : "s");
    } else if (format_ == TOutputFormat::Json) {
        std::fputs(rows_ ? "\n]\n" : "]\n", out_);
    }
}

}  // namespace tarn::cli

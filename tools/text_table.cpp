#include "tools/text_table.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace tarn::cli {

namespace {

int CharWidth(UChar32 c) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return 0;
    int ea = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
    if (ea == U_EA_WIDE || ea == U_EA_FULLWIDTH) return 2;
    int cat = u_charType(c);
    if (cat == U_NON_SPACING_MARK || cat == U_ENCLOSING_MARK) return 0;
    return 1;
}

// The text with control characters (line breaks, tabs) shown as spaces.
std::string Flatten(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    return out;
}

}  // namespace

int DisplayWidth(std::string_view s) {
    int width = 0;
    int32_t i = 0, n = static_cast<int32_t>(s.size());
    while (i < n) {
        UChar32 c;
        U8_NEXT(reinterpret_cast<const uint8_t*>(s.data()), i, n, c);
        width += c < 0 ? 1 : CharWidth(c);
    }
    return width;
}

TTextTable::TTextTable(FILE* out, std::vector<std::string> header, int maxColumnWidth,
                       std::string indent)
    : out_(out),
      header_(std::move(header)),
      maxWidth_(maxColumnWidth),
      indent_(std::move(indent)) {}

void TTextTable::AddRow(std::vector<std::string> cells) {
    cells.resize(header_.size());
    for (std::string& c : cells) c = Flatten(c);
    if (printed_)
        Line(cells);
    else
        rows_.push_back(std::move(cells));
}

std::string TTextTable::Cell(const std::string& text, int width, bool pad) const {
    std::string out;
    int used = 0;
    int32_t i = 0, n = static_cast<int32_t>(text.size());
    bool cut = DisplayWidth(text) > width;
    int room = cut ? width - 1 : width;
    while (i < n) {
        int32_t start = i;
        UChar32 c;
        U8_NEXT(reinterpret_cast<const uint8_t*>(text.data()), i, n, c);
        int w = c < 0 ? 1 : CharWidth(c);
        if (used + w > room) break;
        out.append(text, static_cast<size_t>(start), static_cast<size_t>(i - start));
        used += w;
    }
    if (cut) {
        out += "\u2026";
        ++used;
    }
    if (pad) out.append(static_cast<size_t>(std::max(0, width - used)), ' ');
    return out;
}

void TTextTable::Line(const std::vector<std::string>& cells) const {
    std::string s = indent_;
    for (size_t c = 0; c < cells.size(); ++c) {
        if (c) s += "  ";
        s += Cell(cells[c], widths_[c], c + 1 < cells.size());
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    s += '\n';
    std::fputs(s.c_str(), out_);
}

void TTextTable::Print() {
    if (!printed_) {
        widths_.assign(header_.size(), 0);
        for (size_t c = 0; c < header_.size(); ++c) {
            widths_[c] = DisplayWidth(header_[c]);
            for (const auto& row : rows_) widths_[c] = std::max(widths_[c], DisplayWidth(row[c]));
            widths_[c] = std::min(widths_[c], std::max(maxWidth_, DisplayWidth(header_[c])));
        }
        if (showHeader_) {
            Line(header_);
            std::vector<std::string> rule;
            for (int w : widths_) rule.push_back(std::string(static_cast<size_t>(w), '-'));
            Line(rule);
        }
        printed_ = true;
    }
    for (const auto& row : rows_) Line(row);
    rows_.clear();
}

}  // namespace tarn::cli

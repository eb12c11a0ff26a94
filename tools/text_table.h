// Aligned columns for the terminal: rows of UTF-8 cells padded to the widest cell of their
// column, measured in terminal columns (East Asian wide characters count two). Cells
// longer than the column limit are cut with "…"; line breaks and tabs inside a cell are
// shown as spaces so that one record stays on one line.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::cli {

// Terminal columns that `utf8` takes.
int DisplayWidth(std::string_view utf8);

// Rows are held until Print(); the widths come from the rows held then. Rows added after
// Print() are printed at once with those widths, so a long listing needs no memory for
// more than its first rows.
class TTextTable {
public:
    TTextTable(FILE* out, std::vector<std::string> header, int maxColumnWidth = 40,
               std::string indent = "");
    void AddRow(std::vector<std::string> cells);
    size_t HeldRows() const { return rows_.size(); }
    // Without the header and its rule (the widths still count the header's names).
    void SetShowHeader(bool show) { showHeader_ = show; }
    // Header, a rule of dashes, then the rows held (once; later calls print held rows only).
    void Print();

private:
    std::string Cell(const std::string& text, int width, bool pad) const;
    void Line(const std::vector<std::string>& cells) const;
    FILE* out_;
    std::vector<std::string> header_;
    std::vector<std::vector<std::string>> rows_;
    std::vector<int> widths_;
    int maxWidth_;
    std::string indent_;
    bool printed_ = false;
    bool showHeader_ = true;
};

}  // namespace tarn::cli

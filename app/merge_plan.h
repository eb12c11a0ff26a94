// Merging a stored version into the current file, without widgets: the line diff of the
// two (app/version_compare.h) grouped into hunks, the bytes of the current file with a
// chosen subset of the hunks taken from the version, and the changed words inside a pair
// of changed lines. The merge view (app/merge_view.h) shows and drives it.
//
// Text is read as the comparison reads it (UTF-8, else GB18030; a UTF-8 byte-order mark is
// kept apart), but every line keeps its own bytes and line end: lines of the current file
// that are not replaced are written back byte for byte, so a merge that takes nothing
// gives back the current file exactly. Lines brought in from the version take the line end
// used by the current file ("\r\n" when most of its lines end so) and its text encoding
// (the version's when the current file is plain ASCII, which both encodings read alike).
// A last line without a line end differs from the same line with one, so a change of the
// file's final line end is a hunk of its own.
//
// Any thread; the plan is a value and does not touch the disk.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "app/version_compare.h"

namespace filever {

// One line of a text file: its text, the bytes that encode it (without the line end) and
// its line end ("\n", "\r\n", or empty for a last line without one).
struct TTextLine {
    QString text;
    QByteArray bytes;
    QByteArray ending;
};

struct TTextFile {
    bool utf8 = true;   // else GB18030
    bool ascii = true;  // every byte below 0x80: both encodings read it alike
    QByteArray bom;     // a leading UTF-8 byte-order mark, or empty
    std::vector<TTextLine> lines;
};

// The lines of a text file (the caller has checked that it is not binary).
TTextFile ParseTextFile(const QByteArray& bytes);

// A place where the version and the current file differ: consecutive rows of the diff,
// with the lines of each side they cover (a count may be 0).
struct TMergeHunk {
    int firstRow = 0;
    int rowCount = 0;
    int olderFirst = 0;
    int olderCount = 0;
    int currentFirst = 0;
    int currentCount = 0;
    bool operator==(const TMergeHunk&) const = default;
};

// Characters [start, start + length) of a line.
struct TWordSpan {
    int start = 0;
    int length = 0;
    bool operator==(const TWordSpan&) const = default;
};
struct TWordDiff {
    std::vector<TWordSpan> left;   // what the left line has that the right one has not
    std::vector<TWordSpan> right;  // and the other way round
};

// The changed words of two paired lines. A word is a run of letters, digits and "_"; each
// CJK character, each other sign and each run of white space is a piece of its own.
// Adjacent changed pieces form one span.
TWordDiff DiffWords(const QString& left, const QString& right);

class TMergePlan {
public:
    // `older` is the stored version, `current` the watched file as it is now.
    TMergePlan(const QByteArray& older, const QByteArray& current);

    const TTextFile& Older() const { return older_; }
    const TTextFile& Current() const { return current_; }
    // The side-by-side rows (left: the version, right: the current file).
    const std::vector<TDiffRow>& Rows() const { return rows_; }
    // The hunks in file order; none when the two have the same lines.
    const std::vector<TMergeHunk>& Hunks() const { return hunks_; }
    // The hunk that row `row` belongs to, or -1 for a row both sides share.
    int HunkOfRow(int row) const;

    // The current file with the hunks whose entry in `taken` is true replaced by the
    // version's lines (missing entries count as false).
    QByteArray Merge(const std::vector<bool>& taken) const;

private:
    TTextFile older_;
    TTextFile current_;
    std::vector<TDiffRow> rows_;
    std::vector<TMergeHunk> hunks_;
    std::vector<int> hunkOfRow_;
};

}  // namespace filever

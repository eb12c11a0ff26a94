// Comparing two states of a watched file (a stored version and the current file, or two
// versions), without widgets: which program to start, how the files are read as text and
// which lines differ. The side-by-side view (app/compare_view.h) shows the result.
//
// External tool: the user's own diff program when one is set or installed: the command in
// the environment variable FILEVER_DIFF, else the setting "compare/tool" of the user's
// "filever" settings (~/.config/filever/filever.conf), else meld, else kdiff3 found on the
// search path. A command is split like a shell line (quotes group words); the two paths
// are appended as its last two arguments, the older state first.
//
// Text: bytes that are valid UTF-8 (a leading byte-order mark dropped) are read as UTF-8,
// anything else as GB18030; a file with a NUL byte is binary. Lines end at "\n", a "\r"
// before it is dropped.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

namespace filever {

// The external tool as program and leading arguments; empty when there is none.
// `findExecutable` answers a program name with its full path, or empty when not found.
QStringList ResolveDiffTool(const QString& envCommand, const QString& settingCommand,
                            const std::function<QString(const QString&)>& findExecutable);
// ResolveDiffTool over this process's environment, settings and search path.
QStringList DiffToolOfUser();

// The largest file the built-in view reads (larger ones get a message with the sizes).
constexpr int64_t kMaxCompareBytes = 8 << 20;

bool LooksBinary(const QByteArray& bytes);
QString DecodeText(const QByteArray& bytes);
QStringList SplitLines(const QString& text);

// One row of the side-by-side view: the line numbers (0-based) shown on each side, -1 for
// the empty filler on the side that has no line there.
enum class TDiffKind { Same, Changed, Removed, Added };
struct TDiffRow {
    int left = -1;
    int right = -1;
    TDiffKind kind = TDiffKind::Same;
    bool operator==(const TDiffRow&) const = default;
};

// A line diff of `left` (older) and `right` (newer): a longest common subsequence of the
// lines; within a run of differing lines the removed and the added lines are paired as
// changed rows, the rest are removed or added rows. When the files differ in too many
// places for an exact answer within bounded time and memory, the differing middle (after
// the common first and last lines) is shown as changed as a whole.
std::vector<TDiffRow> DiffLines(const QStringList& left, const QStringList& right);

// The same diff over two sequences of numbers, equal numbers standing for equal items
// (lines, words); the rows' numbers are positions in `left` and `right`.
std::vector<TDiffRow> DiffSequences(const std::vector<int>& left, const std::vector<int>& right);

}  // namespace filever

// TCompareView: "版本比较", the built-in read-only side-by-side view of two states of a
// text file, older on the left. Both sides show the same number of rows (an empty filler
// row stands opposite a line the other side does not have) and scroll together; changed
// rows are marked on both sides, removed lines on the left, added lines on the right.
//
// CompareFiles is the command behind "与当前文件比较" and "比较两个版本": it starts the
// user's diff tool when there is one (app/version_compare.h), else shows this view, or a
// message with both sizes for files it cannot show as text (binary or too large).
// User-interface thread only; dialogs and messages go through the desktop services.
#pragma once

#include <QDialog>
#include <QStringList>
#include <vector>

#include "app/version_compare.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace filever {

class TDesktopServices;

// One side of a comparison: the file and the caption above it.
struct TCompareSide {
    QString path;
    QString title;
};

class TCompareView : public QDialog {
    Q_OBJECT
public:
    TCompareView(QWidget* owner, const TCompareSide& left, const QStringList& leftLines,
                 const TCompareSide& right, const QStringList& rightLines);

    QLabel* LeftTitle;
    QLabel* RightTitle;
    QPlainTextEdit* LeftText;
    QPlainTextEdit* RightText;
    QLabel* Summary;  // how many places differ, or that the contents are the same
    QPushButton* CloseButton;

    const std::vector<TDiffRow>& Rows() const { return rows_; }
    // The rows marked on a side (0-based, in display order).
    static QList<int> MarkedRows(const QPlainTextEdit* side);

private:
    std::vector<TDiffRow> rows_;
};

// Compares `older` with `newer`. Raises tarn::EFOpenError when a file cannot be opened
// (checked before the tool is started, so it never gets a missing path), EInOutError when
// it cannot be read for the built-in view.
void CompareFiles(TDesktopServices& desktop, QWidget* parent, const TCompareSide& older,
                  const TCompareSide& newer, const QStringList& diffTool);

// Reads both files for a built-in view of their lines. False, after a message with both
// sizes, when either is too large or binary. Raises as CompareFiles.
bool ReadTextPair(TDesktopServices& desktop, QWidget* parent, const TCompareSide& older,
                  const TCompareSide& newer, QByteArray& olderBytes, QByteArray& newerBytes);

}  // namespace filever

// TMergeView: "版本合并", bringing chosen changes of a stored version into the current file.
// Three panes side by side, scrolled together, one row per row of the line diff
// (app/merge_plan.h): the version on the left, the current file in the middle and, on the
// right, the result being built. The places where the two differ are listed as hunks;
// each is taken ("采用此处": the result has the version's lines there) or left (the
// current file's lines stay). Changed lines show their changed words. "保存合并结果"
// writes the result into the file after keeping its current state as a version
// (app/merge_save.h); a failure leaves the file as it was and says why.
//
// The catalogue and the desktop services are the caller's and must outlive the view.
// User-interface thread only; messages go through the desktop services.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <vector>

#include "app/catalogue.h"
#include "app/merge_plan.h"
#include "app/merge_save.h"

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace filever {

class TDesktopServices;

class TMergeView : public QDialog {
    Q_OBJECT
public:
    // `version` is a version of the registered file `path`; the bytes are those read from
    // its stored copy and from the file.
    TMergeView(QWidget* owner, TDesktopServices& desktop, TCatalogue& catalogue,
               const verinfo& version, const QString& path, const QByteArray& olderBytes,
               const QByteArray& currentBytes);

    QLabel* OlderTitle;
    QLabel* CurrentTitle;
    QLabel* ResultTitle;
    QPlainTextEdit* OlderText;
    QPlainTextEdit* CurrentText;
    QPlainTextEdit* ResultText;
    QListWidget* HunkList;     // one checkable entry per hunk: checked = taken
    QPushButton* TakeButton;   // "采用此处": takes the selected hunk
    QPushButton* LeaveButton;  // "保留当前": leaves it
    QPushButton* PrevButton;
    QPushButton* NextButton;
    QPushButton* SaveButton;  // "保存合并结果": enabled while a hunk is taken
    QPushButton* CloseButton;
    QLabel* Summary;

    const TMergePlan& Plan() const { return plan_; }
    std::vector<bool> Taken() const;
    void SetTaken(int hunk, bool take);
    // Selects hunk `hunk` and scrolls the panes to it.
    void SelectHunk(int hunk);
    int SelectedHunk() const;
    // The merged bytes as they would be saved now.
    QByteArray Result() const { return plan_.Merge(Taken()); }
    // What "保存合并结果" did; the view closes after a successful save.
    const TMergeOutcome& Outcome() const { return outcome_; }
    void Save();

private:
    // Fills the result pane from the hunks taken, then UpdateState.
    void ShowResult();
    // Marks, summary and buttons for the hunks taken and the one selected.
    void UpdateState();

    TDesktopServices& desktop_;
    TCatalogue& catalogue_;
    verinfo version_;
    QString path_;
    QByteArray currentBytes_;
    TMergePlan plan_;
    std::vector<TWordDiff> words_;  // per row: the changed words of a changed row
    TMergeOutcome outcome_;
    bool filling_ = false;
};

}  // namespace filever

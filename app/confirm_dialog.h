// TConfirmDialog: asks before something that cannot be undone (deleting a watched file's
// history, an area, versions that retention would remove). A question, an optional
// read-only list of details (what would go), "确定" and "取消".
//
// ResultCode: 0 when created (and after closing by other means), 1 after "确定", 2 after
// "取消". Only 1 lets the caller go on.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace filever {

class TConfirmDialog : public QDialog {
    Q_OBJECT
public:
    TConfirmDialog(QWidget* owner, const QString& title, const QString& question,
                   const QStringList& details = {});

    int ResultCode = 0;
    QLabel* Label1;           // the question
    QPlainTextEdit* Details;  // hidden when there are none
    QPushButton* Button1;     // "确定"
    QPushButton* Button2;     // "取消"
};

}  // namespace filever

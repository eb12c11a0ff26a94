// TFolderDialog: "增加目录", how a chosen folder is watched: with its subfolders or not, and
// the exclusion patterns (one a line; the defaults of app/watched_folders.h filled in).
//
// ResultCode: 0 when created (and after closing by other means), 1 after "确定", 2 after
// "取消".
#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace filever {

class TFolderDialog : public QDialog {
    Q_OBJECT
public:
    TFolderDialog(QWidget* owner, const QString& folder, const QString& areaName);

    int ResultCode = 0;
    QLabel* Label1;                // the folder and the area
    QCheckBox* SubfoldersCheck;    // "包含子目录"
    QPlainTextEdit* PatternsEdit;  // the exclusion patterns
    QPushButton* Button1;          // "确定"
    QPushButton* Button2;          // "取消"

    bool Subfolders() const;
    QStringList Patterns() const;
};

}  // namespace filever

// TCreatDataAreaW: "建立新的储存区", the dialog in which the user picks a directory for a new
// storage area from a folder tree and types the area's name.
//
// ResultCode: 0 when created (and after closing by other means), 1 after "确定", 2 after
// "放弃". Edit1 shows the selected folder's absolute path (the home folder at first); a
// path typed there is the area's directory and, when it exists, is shown in the tree.
// Edit2 holds the name.
#pragma once

#include <QDialog>

class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace filever {

class TCreatDataAreaW : public QDialog {
    Q_OBJECT
public:
    explicit TCreatDataAreaW(QWidget* owner);

    int ResultCode = 0;
    QLabel* Label1;
    QTreeView* ShellTreeView1;  // folders only, over the whole file system from "/"
    QLabel* Label2;
    QLineEdit* Edit1;
    QLabel* Label3;
    QLineEdit* Edit2;
    QPushButton* Button1;
    QPushButton* Button2;

    // Selects `dir` in the folder tree (Edit1 follows).
    void SelectFolder(const QString& dir);

private:
    void ShellTreeView1Change();
    void Button1Click();
    void Button2Click();

    QFileSystemModel* model_;
};

}  // namespace filever

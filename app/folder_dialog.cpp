#include "app/folder_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialog_buttons.h"
#include "app/watched_folders.h"

namespace filever {

TFolderDialog::TFolderDialog(QWidget* owner, const QString& folder, const QString& areaName)
    : QDialog(owner) {
    setWindowTitle(tr("增加目录"));
    Label1 =
        new QLabel(tr("目录“%1”中的文件都将在存储区“%2”中保存版本，以后新出现的文件也会自动加入。")
                       .arg(folder, areaName),
                   this);
    Label1->setWordWrap(true);
    SubfoldersCheck = new QCheckBox(tr("包含子目录"), this);
    SubfoldersCheck->setChecked(true);
    auto* patternsLabel = new QLabel(
        tr("排除规则（每行一个，按文件名匹配，* 和 ? 为通配符；以 / 结尾的只排除目录）："), this);
    patternsLabel->setWordWrap(true);
    PatternsEdit = new QPlainTextEdit(this);
    PatternsEdit->setPlainText(JoinExclusions(DefaultFolderExclusions()));
    QHBoxLayout* buttons = OkCancelRow(this, ResultCode, Button1, Button2);
    Button1->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(SubfoldersCheck);
    layout->addWidget(patternsLabel);
    layout->addWidget(PatternsEdit, 1);
    layout->addLayout(buttons);
    resize(460, 360);
}

bool TFolderDialog::Subfolders() const { return SubfoldersCheck->isChecked(); }

QStringList TFolderDialog::Patterns() const { return ParseExclusions(PatternsEdit->toPlainText()); }

}  // namespace filever

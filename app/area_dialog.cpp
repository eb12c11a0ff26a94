#include "app/area_dialog.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeView>

namespace filever {

TCreatDataAreaW::TCreatDataAreaW(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("CreatDataAreaW"));
    setWindowTitle(tr("建立新的储存区"));
    resize(505, 370);

    Label1 = new QLabel(tr("选择目录作为文件历史版本保存区域"), this);
    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setRootPath(QString());
    ShellTreeView1 = new QTreeView(this);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setModel(model_);
    ShellTreeView1->setHeaderHidden(true);
    for (int c = 1; c < model_->columnCount(); ++c) ShellTreeView1->hideColumn(c);
    ShellTreeView1->setContextMenuPolicy(Qt::PreventContextMenu);
    Label2 = new QLabel(tr("文件保存目录为："), this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Label3 = new QLabel(tr("存储区名称："), this);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Button1 = new QPushButton(tr("确定"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(tr("放弃"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0, 1, 4);
    grid->addWidget(ShellTreeView1, 1, 0, 1, 4);
    grid->addWidget(Label2, 2, 0);
    grid->addWidget(Edit1, 2, 1, 1, 3);
    grid->addWidget(Label3, 3, 0);
    grid->addWidget(Edit2, 3, 1, 1, 3);
    grid->addWidget(Button1, 4, 2);
    grid->addWidget(Button2, 4, 3);

    connect(ShellTreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { ShellTreeView1Change(); });
    // A typed path that names a folder is shown in the tree; the text stays as typed.
    connect(Edit1, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!QFileInfo(text).isDir()) return;
        const QSignalBlocker quiet(ShellTreeView1->selectionModel());
        ShellTreeView1->setCurrentIndex(model_->index(text));
        ShellTreeView1->scrollTo(ShellTreeView1->currentIndex());
    });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

    // Start in the user's home folder.
    SelectFolder(QDir::homePath());
    ShellTreeView1->scrollTo(ShellTreeView1->currentIndex());
    ShellTreeView1->expand(ShellTreeView1->currentIndex().parent());
}

void TCreatDataAreaW::SelectFolder(const QString& dir) {
    ShellTreeView1->setCurrentIndex(model_->index(dir));
}

void TCreatDataAreaW::ShellTreeView1Change() {
    Edit1->setText(model_->filePath(ShellTreeView1->currentIndex()));
}

void TCreatDataAreaW::Button1Click() {
    ResultCode = 1;
    accept();
}

void TCreatDataAreaW::Button2Click() {
    ResultCode = 2;
    reject();
}

}  // namespace filever

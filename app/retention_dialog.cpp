#include "app/retention_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/dialog_buttons.h"

namespace filever {
namespace {

constexpr int64_t kMiB = 1024 * 1024;

}  // namespace

TRetentionDialog::TRetentionDialog(QWidget* owner, const QString& areaName,
                                   const TRetentionPolicy& policy)
    : QDialog(owner) {
    setObjectName(QStringLiteral("RetentionDialog"));
    setWindowTitle(tr("保留策略"));
    Label1 = new QLabel(tr("存储区“%1”的历史版本保留方式：").arg(areaName), this);
    KeepAllButton = new QRadioButton(tr("保留全部版本"), this);
    KeepLastButton = new QRadioButton(tr("每个文件只保留最近的版本，个数："), this);
    KeepCountEdit = new QSpinBox(this);
    KeepCountEdit->setRange(1, 100000);
    KeepCountEdit->setValue(std::max(1, policy.KeepCount));
    StaggeredButton = new QRadioButton(tr("逐步稀疏：最近一小时全部保留，一天内每小时保留一个，"
                                          "30 天内每天保留一个，更早的每周保留一个"),
                                       this);
    CapCheck = new QCheckBox(tr("限制占用空间（MB）："), this);
    CapEdit = new QSpinBox(this);
    CapEdit->setRange(1, 100000000);
    CapEdit->setValue(policy.SizeCapBytes > 0
                          ? static_cast<int>(std::max<int64_t>(1, policy.SizeCapBytes / kMiB))
                          : 1024);
    CapCheck->setChecked(policy.SizeCapBytes > 0);
    CapEdit->setEnabled(CapCheck->isChecked());
    connect(CapCheck, &QCheckBox::toggled, CapEdit, &QWidget::setEnabled);
    switch (policy.Mode) {
        case TRetentionMode::KeepAll:
            KeepAllButton->setChecked(true);
            break;
        case TRetentionMode::KeepLast:
            KeepLastButton->setChecked(true);
            break;
        case TRetentionMode::Staggered:
            StaggeredButton->setChecked(true);
            break;
    }
    auto* note = new QLabel(tr("有版本说明的版本和每个文件的最新版本永远不会被自动删除。"
                               "删除之前会列出将要删除的版本。"),
                            this);
    note->setWordWrap(true);

    auto* grid = new QGridLayout;
    grid->addWidget(KeepAllButton, 0, 0, 1, 2);
    grid->addWidget(KeepLastButton, 1, 0);
    grid->addWidget(KeepCountEdit, 1, 1);
    grid->addWidget(StaggeredButton, 2, 0, 1, 2);
    grid->addWidget(CapCheck, 3, 0);
    grid->addWidget(CapEdit, 3, 1);
    QHBoxLayout* buttons = OkCancelRow(this, ResultCode, Button1, Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addLayout(buttons);
}

TRetentionPolicy TRetentionDialog::Policy() const {
    TRetentionPolicy policy;
    if (KeepLastButton->isChecked()) policy.Mode = TRetentionMode::KeepLast;
    if (StaggeredButton->isChecked()) policy.Mode = TRetentionMode::Staggered;
    policy.KeepCount = KeepCountEdit->value();
    policy.SizeCapBytes = CapCheck->isChecked() ? int64_t{CapEdit->value()} * kMiB : 0;
    return policy;
}

}  // namespace filever

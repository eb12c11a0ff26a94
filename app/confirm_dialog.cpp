#include "app/confirm_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace filever {

TConfirmDialog::TConfirmDialog(QWidget* owner, const QString& title, const QString& question,
                               const QStringList& details)
    : QDialog(owner) {
    setObjectName(QStringLiteral("ConfirmDialog"));
    setWindowTitle(title);
    Label1 = new QLabel(question, this);
    Label1->setWordWrap(true);
    Details = new QPlainTextEdit(this);
    Details->setReadOnly(true);
    Details->setPlainText(details.join(QLatin1Char('\n')));
    Details->setVisible(!details.isEmpty());
    Button1 = new QPushButton(QStringLiteral("确定"), this);
    Button2 = new QPushButton(QStringLiteral("取消"), this);
    Button2->setDefault(true);  // a stray Enter deletes nothing
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Details, 1);
    layout->addLayout(buttons);
    resize(details.isEmpty() ? 380 : 560, details.isEmpty() ? 140 : 360);
    connect(Button1, &QPushButton::clicked, this, [this] {
        ResultCode = 1;
        accept();
    });
    connect(Button2, &QPushButton::clicked, this, [this] {
        ResultCode = 2;
        reject();
    });
}

}  // namespace filever

#include "app/confirm_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialog_buttons.h"

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
    QHBoxLayout* buttons = OkCancelRow(this, ResultCode, Button1, Button2);
    Button2->setDefault(true);  // a stray Enter deletes nothing
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Details, 1);
    layout->addLayout(buttons);
    resize(details.isEmpty() ? 380 : 560, details.isEmpty() ? 140 : 360);
}

}  // namespace filever

#include "app/dialog_buttons.h"

#include <QCoreApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace filever {

QHBoxLayout* OkCancelRow(QDialog* dialog, int& resultCode, QPushButton*& ok, QPushButton*& cancel) {
    ok = new QPushButton(QCoreApplication::translate("filever", "确定"), dialog);
    cancel = new QPushButton(QCoreApplication::translate("filever", "取消"), dialog);
    QObject::connect(ok, &QPushButton::clicked, dialog, [dialog, &resultCode] {
        resultCode = 1;
        dialog->accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, dialog, [dialog, &resultCode] {
        resultCode = 2;
        dialog->reject();
    });
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

}  // namespace filever

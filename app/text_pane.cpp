#include "app/text_pane.h"

#include <QFontDatabase>
#include <QPlainTextEdit>

namespace filever {

QPlainTextEdit* MakeTextPane(QWidget* owner, const QString& objectName) {
    auto* edit = new QPlainTextEdit(owner);
    edit->setObjectName(objectName);
    edit->setReadOnly(true);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return edit;
}

}  // namespace filever

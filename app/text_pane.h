// What the side-by-side views of text (comparison and merge) share: the read-only pane of
// one text and the colours that mark its rows.
#pragma once

#include <QColor>
#include <QString>

class QPlainTextEdit;
class QWidget;

namespace filever {

inline const QColor kRowChanged(255, 240, 170);
inline const QColor kRowRemoved(255, 205, 205);
inline const QColor kRowAdded(205, 245, 205);
inline const QColor kRowFiller(232, 232, 232);  // opposite a line the other side lacks

// A read-only, unwrapped pane in the system's fixed-width font.
QPlainTextEdit* MakeTextPane(QWidget* owner, const QString& objectName);

}  // namespace filever

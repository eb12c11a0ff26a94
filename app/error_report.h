// The standard error report: every handler of the version manager catches at its boundary
// and shows the error here, then the program goes on. A message box with the caption
// "文件版本控制", the error icon and an OK button shows the message, with "." appended when
// its last character sorts after "." (so "... not found" gets a full stop and a message
// ending in "." or ")" keeps its own end). The silent abort (tarn::EAbort) shows nothing.
#pragma once

#include <QString>
#include <exception>
#include <utility>

#include "app/desktop_services.h"

class QWidget;

namespace filever {

// The application's name where it is stored or handed to the system (the log-on start
// entry): the same in every language.
inline const QString kAppTitle = QStringLiteral("文件版本控制");

// The application title as the user reads it, in the interface's language: the caption of
// the main window and of every message box.
QString AppCaption();

// The message as the report shows it: "." appended when the last character sorts after ".".
QString ErrorReportText(const QString& message);

// The text of the exception in flight (call from a catch block): empty for the silent
// abort. Messages of tarn::Exception are GB18030 bytes; those of other std::exception are
// taken as UTF-8.
QString CurrentExceptionText();

// Shows the report for the exception in flight (call from a catch block).
void ReportCurrentException(TDesktopServices& desktop, QWidget* parent);

// Runs `action`; any exception it raises is shown by the standard error report. Returns
// false when the action ended by an error.
template <typename F>
bool Guarded(TDesktopServices& desktop, QWidget* parent, F&& action) {
    try {
        std::forward<F>(action)();
        return true;
    } catch (...) {
        ReportCurrentException(desktop, parent);
        return false;
    }
}

}  // namespace filever

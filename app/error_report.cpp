#include "app/error_report.h"

#include <QCoreApplication>

#include "app/gb_text.h"
#include "tarndb/errors.h"

namespace filever {

QString AppCaption() { return QCoreApplication::translate("filever", "文件版本控制"); }

QString ErrorReportText(const QString& message) {
    if (message.isEmpty()) return message;
    // A character outside ASCII (a Chinese one, or half of a surrogate pair) sorts after
    // ".", as its lead byte does in the data code page.
    if (message.back().unicode() > u'.') return message + QLatin1Char('.');
    return message;
}

QString CurrentExceptionText() {
    try {
        throw;
    } catch (const tarn::EAbort&) {
        return QString();
    } catch (const tarn::Exception& e) {
        return AnsiToQString(e.Message());
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void ReportCurrentException(TDesktopServices& desktop, QWidget* parent) {
    QString message;
    try {
        throw;
    } catch (const tarn::EAbort&) {
        return;
    } catch (...) {
        message = CurrentExceptionText();
    }
    try {
        desktop.MessageBox(parent, AppCaption(), ErrorReportText(message), TMsgIcon::Error);
    } catch (...) {
        // The report itself must never throw into Qt.
    }
}

}  // namespace filever

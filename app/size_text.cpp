#include "app/size_text.h"

#include "app/gb_text.h"
#include "tarndb/errors.h"

namespace filever {

QString SizeTextK(const QString& bytes) {
    bool ok = false;
    const double value = bytes.trimmed().toDouble(&ok);
    if (!ok) {
        throw tarn::EConvertError(
            tarn::Format("'%s' is not a valid floating point value", QStringToAnsi(bytes).c_str()));
    }
    return QString::number(value / 1024.0, 'g', 15) + QLatin1Char('K');
}

QString StorageText(int64_t bytes) {
    if (bytes < 1024) return QStringLiteral("%1 B").arg(bytes);
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes);
    int unit = -1;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

}  // namespace filever

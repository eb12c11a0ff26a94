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

}  // namespace filever

// The size column of the version list: a version's byte count (decimal text) in
// kilobytes, general format with at most 15 significant digits, "." as the decimal
// separator, followed by "K": 1536 -> "1.5K", 1000 -> "0.9765625K", 2048 -> "2K".
// Raises tarn::EConvertError "'<text>' is not a valid floating point value" for text that
// is not a number.
#pragma once

#include <QString>

namespace filever {

QString SizeTextK(const QString& bytes);

}  // namespace filever

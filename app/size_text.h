// The size column of the version list: a version's byte count (decimal text) in
// kilobytes, general format with at most 15 significant digits, "." as the decimal
// separator, followed by "K": 1536 -> "1.5K", 1000 -> "0.9765625K", 2048 -> "2K".
// Raises tarn::EConvertError "'<text>' is not a valid floating point value" for text that
// is not a number.
#pragma once

#include <QString>
#include <cstdint>

namespace filever {

QString SizeTextK(const QString& bytes);
// A storage amount for people: "0 B", "900 B", "1.5 KB", "12.3 MB", "2.0 GB" (units of
// 1024, one decimal from KB on).
QString StorageText(int64_t bytes);

}  // namespace filever

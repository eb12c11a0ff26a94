// Names of fields, indexes and datasets: compared without regard to letter case, as the
// platform's ANSI comparison does for the data code page (GB18030 / code page 936).
// Only the ASCII letters fold; the second byte of a double-byte character (lead byte
// 0x81..0xFE) is compared exactly, so two different Chinese characters never compare
// equal just because a trail byte happens to be an ASCII letter.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/text/codepage.h"  // IsLeadByte

namespace tarn {

// Case-insensitive equality of two names (see above).
bool SameName(std::string_view a, std::string_view b);

// The same comparison as a three-way result (<0, 0, >0), ordering by the folded bytes.
int CompareNames(std::string_view a, std::string_view b);

// Splits a list of field names separated by ";" (the separator of field-name lists such
// as `MasterFields` and `Locate`'s key fields). Blanks around each name are dropped and
// empty entries are skipped.
std::vector<std::string> SplitFieldNames(std::string_view list);

}  // namespace tarn

// Names of tables, fields, indexes, databases and sessions are compared without regard to
// letter case. Names are bytes in the data code page (GB18030 / code page 936): only
// single-byte ASCII letters fold; the two bytes of a double-byte character (lead byte
// 0x81..0xFE) are compared as they are, so a trail byte that happens to be an ASCII letter
// never folds.
#pragma once

#include <string_view>

namespace tarn {

bool SameName(std::string_view a, std::string_view b);

}  // namespace tarn

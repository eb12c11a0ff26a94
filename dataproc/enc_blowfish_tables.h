// The initial Blowfish P-array and S-boxes (fractional hexadecimal digits of pi), from
// which every Blowfish key schedule starts.
#pragma once

#include <cstdint>

namespace tarn::blowfish_tables {

extern const uint32_t kInitialP[18];
extern const uint32_t kInitialS[4][256];

}  // namespace tarn::blowfish_tables

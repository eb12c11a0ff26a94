// TCipherUnit: one stored value that a cipher decodes on its own, from the initial chaining
// state, as a batch decode hands it over.
#pragma once

#include <cstdint>

namespace tarn {

struct TCipherUnit {
    const uint8_t* source;
    uint8_t* dest;  // `source` itself, or bytes that do not overlap it
    int32_t count;
};

}  // namespace tarn

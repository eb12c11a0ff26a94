// Test helper: the bytes the process has allocated on the heap and not yet freed. Under
// AddressSanitizer its allocator says (freed blocks waiting in its quarantine are not
// counted); otherwise the C library's count of bytes in use. For app tests only.
#pragma once

#include <malloc.h>

#include <cstddef>

extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace filever::testing {

inline size_t HeapBytesInUse() {
    if (__sanitizer_get_current_allocated_bytes) return __sanitizer_get_current_allocated_bytes();
    return mallinfo2().uordblks;
}

}  // namespace filever::testing

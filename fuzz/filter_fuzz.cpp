// libFuzzer target: arbitrary filter texts parsed and evaluated against a small record with
// fields of every type. Any input must parse or raise one of the language's errors; crashes,
// hangs, leaks and out-of-bounds reads are failures.
#include <cstddef>
#include <cstdint>

#include "tarndb/filter/testing/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tarn::testing::RunFilterInput(data, size);
    return 0;
}

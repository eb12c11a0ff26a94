// libFuzzer target: arbitrary bytes opened as a memory database.
#include "fuzz/file_open_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tarn::fuzz::OpenDatabaseBytes(data, size);
    return 0;
}

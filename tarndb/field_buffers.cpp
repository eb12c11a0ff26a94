#include "tarndb/field_buffers.h"

#include <cstring>

#include "tarndb/file_format.h"

namespace tarn {

void TFieldBuffers::Add(uint8_t* address, TFieldType fieldType, int32_t dataSize) {
    TFieldBufferItem item;
    item.fieldType = fieldType;
    item.dataSize = dataSize;
    if (IsBlobType(fieldType)) {
        if (address) std::memcpy(&item.blob, address, sizeof item.blob);
    } else {
        item.buffer = address;
    }
    items_.push_back(item);
}

void TFieldBuffers::AddBlob(TOptimBlobStream* stream, TFieldType fieldType) {
    TFieldBufferItem item;
    item.blob = stream;
    item.fieldType = fieldType;
    items_.push_back(item);
}

void TFieldBuffers::AddInactive() {
    TFieldBufferItem item;
    item.active = false;
    items_.push_back(item);
}

}  // namespace tarn

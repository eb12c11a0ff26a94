#include "tools/record_buffer.h"

#include <cstring>

#include "tarndb/file_format.h"

namespace tarn::cli {

TToolRecord::TToolRecord(TTarnTableIO& table) : table_(table) {
    size_t offset = 0;
    for (int i = 0; i < table.FieldCount(); ++i) {
        uint8_t type = table.FieldDefs()[i].FieldType;
        bool blob = format::IsBlobType(type);
        offsets_.push_back(offset);
        types_.push_back(type);
        sizes_.push_back(blob ? static_cast<int32_t>(sizeof(TOptimBlobStream*))
                              : table.SlotSize(i));
        offset += static_cast<size_t>(sizes_.back());
        if (blob) {
            blobs_.push_back(std::make_unique<TOptimBlobStream>(
                [&table]() -> TTarnDBFileIO& { return table.File(); }));
            blobIndex_.push_back(static_cast<int>(blobs_.size()) - 1);
        } else {
            blobIndex_.push_back(-1);
        }
    }
    bytes_.assign(offset, 0);
    for (int i = 0; i < FieldCount(); ++i)
        if (IsBlob(i)) {
            TOptimBlobStream* p =
                blobs_[static_cast<size_t>(blobIndex_[static_cast<size_t>(i)])].get();
            std::memcpy(bytes_.data() + offsets_[static_cast<size_t>(i)], &p, sizeof p);
        }
}

std::span<uint8_t> TToolRecord::Value(int field) {
    size_t f = static_cast<size_t>(field);
    return std::span<uint8_t>(bytes_.data() + offsets_.at(f), static_cast<size_t>(sizes_.at(f)));
}

std::string TToolRecord::BlobValue(int field) {
    TOptimBlobStream& s =
        *blobs_.at(static_cast<size_t>(blobIndex_.at(static_cast<size_t>(field))));
    s.EnsureLoaded();
    return s.Bytes();
}

void TToolRecord::SetBlobValue(int field, const std::string& bytes) {
    TOptimBlobStream& s =
        *blobs_.at(static_cast<size_t>(blobIndex_.at(static_cast<size_t>(field))));
    s.SetSize(0);
    s.Seek(0, SeekOrigin::Beginning);
    if (!bytes.empty()) s.WriteBuffer(bytes.data(), bytes.size());
}

void TToolRecord::Clear() {
    for (int i = 0; i < FieldCount(); ++i) {
        if (IsBlob(i))
            SetBlobValue(i, "");
        else
            std::memset(bytes_.data() + offsets_[static_cast<size_t>(i)], 0,
                        static_cast<size_t>(sizes_[static_cast<size_t>(i)]));
    }
}

TFieldBuffers TToolRecord::Buffers() {
    TFieldBuffers fb;
    for (int i = 0; i < FieldCount(); ++i)
        fb.Add(bytes_.data() + offsets_[static_cast<size_t>(i)], types_[static_cast<size_t>(i)],
               sizes_[static_cast<size_t>(i)]);
    return fb;
}

void TToolRecord::Fetch(int list, int position) {
    TFieldBuffers fb = Buffers();
    table_.FetchRecord(fb, list, position);
}

int32_t TToolRecord::Append() {
    TFieldBuffers fb = Buffers();
    int32_t recNo = -1;
    table_.AddRecord(fb, false, [&recNo](int index, int, const TRecordEntry& entry) {
        if (index == -1) recNo = entry.recNo;
    });
    return recNo;
}

}  // namespace tarn::cli

// Test helpers for the table storage: a database host over a file or memory image, and a
// record buffer laid out like a table component's, with typed setters and getters.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "tarndb/blob_stream.h"
#include "tarndb/field_buffers.h"
#include "tarndb/file_io.h"
#include "tarndb/table_io.h"

namespace tarn::testing {

class TestHost : public TTableStorageHost {
public:
    explicit TestHost(const std::string& name, TTarnDBMediumType medium = TTarnDBMediumType::mtDisk)
        : io(nullptr, medium, false) {
        io.OpenStorage(name, medium, false);
    }
    TTarnDBFileIO* StorageFile() override { return closed ? nullptr : &io; }
    std::string StorageComponentName() const override { return "TestDB"; }
    TTarnDBFileIO io;
    bool closed = false;
};

// One record buffer for a loaded table: each field's value bytes at its own offset.
class RecordBuffer {
public:
    explicit RecordBuffer(TTarnTableIO& table) : table_(table) {
        size_t offset = 0;
        for (int i = 0; i < table.FieldCount(); ++i) {
            offsets_.push_back(offset);
            bool blob = IsBlobType(table.FieldDefs()[i].FieldType);
            sizes_.push_back(blob ? static_cast<int32_t>(sizeof(void*)) : table.SlotSize(i));
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
        for (int i = 0; i < table.FieldCount(); ++i)
            if (blobIndex_[static_cast<size_t>(i)] >= 0) {
                TOptimBlobStream* p =
                    blobs_[static_cast<size_t>(blobIndex_[static_cast<size_t>(i)])].get();
                std::memcpy(Slot(i), &p, sizeof p);
            }
    }

    uint8_t* Slot(int field) { return bytes_.data() + offsets_[static_cast<size_t>(field)]; }
    void Clear() {
        for (int i = 0; i < table_.FieldCount(); ++i)
            if (blobIndex_[static_cast<size_t>(i)] < 0)
                std::memset(Slot(i), 0, static_cast<size_t>(sizes_[static_cast<size_t>(i)]));
            else
                Blob(i).Clear();
    }

    void SetInt(int field, int32_t v) { bytes::PutI32(std::span<uint8_t>(Slot(field), 4), 0, v); }
    int32_t Int(int field) { return bytes::GetI32(std::span<const uint8_t>(Slot(field), 4), 0); }
    void SetFloat(int field, double v) { bytes::PutF64(std::span<uint8_t>(Slot(field), 8), 0, v); }
    double Float(int field) { return bytes::GetF64(std::span<const uint8_t>(Slot(field), 8), 0); }
    // Copies raw bytes (may exceed the string's declared size, to test the cut).
    void SetRaw(int field, const std::string& s) {
        size_t n = std::min(s.size(), static_cast<size_t>(sizes_[static_cast<size_t>(field)]));
        std::memset(Slot(field), 0, static_cast<size_t>(sizes_[static_cast<size_t>(field)]));
        std::memcpy(Slot(field), s.data(), n);
    }
    void SetString(int field, const std::string& s) { SetRaw(field, s); }
    std::string String(int field) {
        const char* p = reinterpret_cast<const char*>(Slot(field));
        return std::string(p, strnlen(p, static_cast<size_t>(sizes_[static_cast<size_t>(field)])));
    }
    TOptimBlobStream& Blob(int field) {
        return *blobs_[static_cast<size_t>(blobIndex_[static_cast<size_t>(field)])];
    }
    void SetBlob(int field, const std::string& v) {
        Blob(field).Clear();
        Blob(field).WriteBuffer(v.data(), v.size());
    }
    std::string BlobValue(int field) {
        TOptimBlobStream& s = Blob(field);
        s.SetPosition(0);
        std::string out(static_cast<size_t>(s.Size()), '\0');
        s.ReadBuffer(out.data(), out.size());
        return out;
    }

    // Field buffers over this record; fields listed in `inactive` get inactive items.
    TFieldBuffers Buffers(const std::vector<int>& inactive = {}) {
        TFieldBuffers fb;
        for (int i = 0; i < table_.FieldCount(); ++i) {
            if (std::find(inactive.begin(), inactive.end(), i) != inactive.end())
                fb.AddInactive();
            else
                fb.Add(Slot(i), table_.FieldDefs()[i].FieldType, sizes_[static_cast<size_t>(i)]);
        }
        return fb;
    }

    void Append(bool flush = false) {
        TFieldBuffers fb = Buffers();
        table_.AddRecord(fb, flush, nullptr);
    }
    void Fetch(int list, int position) {
        TFieldBuffers fb = Buffers();
        table_.FetchRecord(fb, list, position);
    }

private:
    TTarnTableIO& table_;
    std::vector<size_t> offsets_;
    std::vector<int32_t> sizes_;
    std::vector<int> blobIndex_;
    std::vector<std::unique_ptr<TOptimBlobStream>> blobs_;
    std::vector<uint8_t> bytes_;
};

}  // namespace tarn::testing

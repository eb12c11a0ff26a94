#include "tarndb/file_format.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"

namespace tarn::format {

namespace b = tarn::bytes;

bool HasMagic(std::span<const uint8_t, kHeadSize> head) {
    return b::GetName(head, 0, kHeadMagicSize) == kMagic;
}

HeadCheck CheckVersion(std::span<const uint8_t, kHeadSize> head) {
    std::string version = b::GetName(head, kHeadVersionOffset, kHeadVersionSize);
    if (version == "1.00") return HeadCheck::Version100;
    // std::string compares bytes as unsigned char, a proper prefix first.
    if (version.compare(kFormatVersion) > 0) return HeadCheck::VersionTooHigh;
    return HeadCheck::Ok;
}

std::array<uint8_t, kHeadSize> MakeHead() {
    std::array<uint8_t, kHeadSize> head{};
    b::PutName(head, 0, kHeadMagicSize, kMagic);
    b::PutName(head, kHeadVersionOffset, kHeadVersionSize, kFormatVersion);
    return head;
}

std::string DatabaseInfo::CompressModuleName() const {
    return b::GetName(raw, kCompressModuleName, kNameSize);
}
std::string DatabaseInfo::EncryptModuleName() const {
    return b::GetName(raw, kEncryptModuleName, kNameSize);
}
std::string DatabaseInfo::PasswordCheck() const {
    return b::GetName(raw, kPasswordCheck, kPasswordCheckSize);
}

void DatabaseInfo::SetCompressed(bool v, const std::string& module) {
    raw[kCompressed] = v ? 1 : 0;
    b::PutName(raw, kCompressModuleName, kNameSize, v ? module : "");
}

void DatabaseInfo::SetEncrypted(bool v, const std::string& module, uint8_t mode,
                                const std::string& check) {
    raw[kEncrypted] = v ? 1 : 0;
    raw[kEncryptMode] = v ? mode : 0;
    b::PutName(raw, kEncryptModuleName, kNameSize, v ? module : "");
    // The check text is NUL-terminated inside its field.
    if (check.size() >= kPasswordCheckSize)
        throw EDatabaseError("The password check text is too long");
    b::PutName(raw, kPasswordCheck, kPasswordCheckSize, v ? check : "");
}

int32_t TableDirectory::TableCount() const { return b::GetI32(raw, 0); }
void TableDirectory::SetTableCount(int32_t n) { b::PutI32(raw, 0, n); }
int32_t TableDirectory::TableOffset(int t) const { return b::GetI32(raw, EntryPosition(t)); }
void TableDirectory::SetTableOffset(int t, int32_t offset) {
    b::PutI32(raw, EntryPosition(t), offset);
}

std::string TableHeader::TableName() const { return b::GetName(raw, kHdrTableName, kNameSize); }
void TableHeader::SetTableName(const std::string& name) {
    b::PutName(raw, kHdrTableName, kNameSize, name);
}
int32_t TableHeader::RecTabOffset() const { return b::GetI32(raw, kHdrRecTabOffset); }
void TableHeader::SetRecTabOffset(int32_t v) { b::PutI32(raw, kHdrRecTabOffset, v); }
int32_t TableHeader::RecordTotal() const { return b::GetI32(raw, kHdrRecordTotal); }
void TableHeader::SetRecordTotal(int32_t v) { b::PutI32(raw, kHdrRecordTotal, v); }
int32_t TableHeader::AutoIncCounter() const { return b::GetI32(raw, kHdrAutoIncCounter); }
void TableHeader::SetAutoIncCounter(int32_t v) { b::PutI32(raw, kHdrAutoIncCounter, v); }
int32_t TableHeader::FieldCount() const { return b::GetI32(raw, kHdrFieldCount); }
void TableHeader::SetFieldCount(int32_t n) { b::PutI32(raw, kHdrFieldCount, n); }
int32_t TableHeader::IndexCount() const { return b::GetI32(raw, kHdrIndexCount); }
void TableHeader::SetIndexCount(int32_t n) { b::PutI32(raw, kHdrIndexCount, n); }

static size_t FieldPos(int i) { return kHdrFields + kFieldEntrySize * static_cast<size_t>(i); }
static size_t IndexPos(int i) { return kHdrIndexes + kIndexEntrySize * static_cast<size_t>(i); }

FieldEntry TableHeader::Field(int i) const {
    size_t p = FieldPos(i);
    FieldEntry f;
    f.name = b::GetName(raw, p, kNameSize);
    f.type = static_cast<TFieldType>(b::GetU8(raw, p + 33, "field entry"));
    f.size = b::GetI32(raw, p + 34);
    f.storePlain = b::GetU8(raw, p + 38, "field entry") != 0;
    return f;
}

void TableHeader::SetField(int i, const FieldEntry& f) {
    size_t p = FieldPos(i);
    b::PutName(raw, p, kNameSize, f.name);
    b::PutU8(raw, p + 33, static_cast<uint8_t>(f.type), "field entry");
    b::PutI32(raw, p + 34, f.size);
    b::PutU8(raw, p + 38, f.storePlain ? 1 : 0, "field entry");
}

IndexEntry TableHeader::Index(int i) const {
    size_t p = IndexPos(i);
    IndexEntry e;
    e.name = b::GetName(raw, p, kNameSize);
    e.options = TIndexOptions::FromByte(b::GetU8(raw, p + kIdxOptions, "index entry"));
    for (int k = 0; k < kMaxKeyFields; ++k) {
        int32_t f = b::GetI32(raw, p + kIdxKeyFields + 4 * static_cast<size_t>(k));
        if (f == -1) break;
        e.keyFields.push_back(f);
    }
    e.indexTabOffset = b::GetI32(raw, p + kIdxTabOffset);
    e.indexHead = b::GetI32(raw, p + kIdxHead);
    return e;
}

void TableHeader::SetIndex(int i, const IndexEntry& e) {
    size_t p = IndexPos(i);
    b::PutName(raw, p, kNameSize, e.name);
    b::PutU8(raw, p + kIdxOptions, e.options.Byte(), "index entry");
    for (int k = 0; k < kMaxKeyFields; ++k) {
        int32_t f =
            k < static_cast<int>(e.keyFields.size()) ? e.keyFields[static_cast<size_t>(k)] : -1;
        b::PutI32(raw, p + kIdxKeyFields + 4 * static_cast<size_t>(k), f);
    }
    b::PutI32(raw, p + kIdxTabOffset, e.indexTabOffset);
    b::PutI32(raw, p + kIdxHead, e.indexHead);
}

int32_t TableHeader::IndexTabOffset(int i) const {
    return b::GetI32(raw, IndexPos(i) + kIdxTabOffset);
}
void TableHeader::SetIndexTabOffset(int i, int32_t v) {
    b::PutI32(raw, IndexPos(i) + kIdxTabOffset, v);
}
int32_t TableHeader::IndexHead(int i) const { return b::GetI32(raw, IndexPos(i) + kIdxHead); }
void TableHeader::SetIndexHead(int i, int32_t v) { b::PutI32(raw, IndexPos(i) + kIdxHead, v); }

int32_t SlotSize(TFieldType type, int32_t declaredSize) {
    switch (type) {
        case ftString:
        case ftFixedChar:
            return declaredSize + 1;
        case ftSmallint:
        case ftWord:
        case ftBoolean:
            return 2;
        case ftInteger:
        case ftDate:
        case ftTime:
        case ftAutoInc:
            return 4;
        case ftFloat:
        case ftCurrency:
        case ftDateTime:
        case ftLargeint:
            return 8;
        default:
            return IsBlobType(type) ? kBlobDescriptorSize : 0;
    }
}

RecordTabItem RecordTabItem::Decode(std::span<const uint8_t> item) {
    b::CheckRange(item.size(), 0, kRecItemSize, "record-table item");
    return {b::GetI32(item, 0), item[4] != 0};
}

void RecordTabItem::Encode(std::span<uint8_t> item) const {
    b::PutI32(item, 0, dataOffset, "record-table item");
    b::PutU8(item, 4, deleted ? 1 : 0, "record-table item");
}

IndexTabItem IndexTabItem::Decode(std::span<const uint8_t> item) {
    b::CheckRange(item.size(), 0, kIdxItemSize, "index-table item");
    return {b::GetI32(item, 0), b::GetI32(item, kNextRecord)};
}

void IndexTabItem::Encode(std::span<uint8_t> item) const {
    b::PutI32(item, 0, ownRecord, "index-table item");
    b::PutI32(item, kNextRecord, nextRecord, "index-table item");
}

TBlobDescriptor TBlobDescriptor::Decode(std::span<const uint8_t> slot) {
    b::CheckRange(slot.size(), 0, kBlobDescriptorSize, "blob descriptor");
    return {b::GetI32(slot, 0), b::GetI32(slot, 4), b::GetI32(slot, 8)};
}

void TBlobDescriptor::Encode(std::span<uint8_t> slot) const {
    b::CheckRange(slot.size(), 0, kBlobDescriptorSize, "blob descriptor", true);
    b::PutI32(slot, 0, offset);
    b::PutI32(slot, 4, length);
    b::PutI32(slot, 8, areaSize);
}

}  // namespace tarn::format

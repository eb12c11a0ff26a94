// The byte layout of a database file. One file holds a whole database: a fixed head, the
// database information block, the table directory, then table headers, record-table
// blocks, index-table blocks, record data and blob areas, each at an absolute offset
// stored in another structure. Nothing is ever moved once written; nothing is reclaimed.
//
// All integers are int32 little-endian; file offsets count from the first byte. Structures
// are held as their raw bytes with typed accessors, so regions the engine does not
// interpret are written back exactly as read. doc/file-format.md has the full tables.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tarndb/dataset/field_types.h"
#include "tarndb/dataset/index_options.h"

namespace tarn::format {

// Map of the file
// OFFSET  SIZE   MEANING
// 0       12     file head
// 12      4      journal stamp: salt of the last rollback journal begun (tarndb/journal.h)
// 16      2301   not interpreted
// 2317    472    database information block
// 2789    1032   table directory
// 3821    ...    table headers, record-table and index-table blocks, data, blob areas
constexpr int32_t kHeadOffset = 0;
constexpr int32_t kHeadSize = 12;
constexpr int32_t kInfoOffset = 2317;
constexpr int32_t kInfoSize = 472;
constexpr int32_t kDirOffset = 2789;
constexpr int32_t kDirSize = 1032;
constexpr int32_t kFirstFreeOffset = 3821;

constexpr int32_t kNameSize = 33;  // every name field: table, field, index names
constexpr int kMaxTables = 256;
constexpr int kMaxFields = 96;
constexpr int kMaxIndexes = 8;
constexpr int kMaxKeyFields = 8;

constexpr char kMagic[] = "TarnDB";
constexpr char kFormatVersion[] = "2.0";

// ---- file head (12 bytes at 0) -------------------------------------------------------
// OFFSET  SIZE  MEANING
// 0       7     magic: "TarnDB" + NUL (a name field of 7 bytes)
// 7       5     format version text, NUL-terminated (a name field of 5 bytes)
constexpr int32_t kHeadMagicSize = 7;
constexpr int32_t kHeadVersionOffset = 7;
constexpr int32_t kHeadVersionSize = 5;

enum class HeadCheck { Ok, BadMagic, Version100, VersionTooHigh };
// The magic check alone (a file whose magic differs in letter case is no database).
bool HasMagic(std::span<const uint8_t, kHeadSize> head);
// The version check: "1.00" is refused as not compatible; a text sorting after "2.0"
// (unsigned byte order, a proper prefix first) as too high; anything else is accepted.
HeadCheck CheckVersion(std::span<const uint8_t, kHeadSize> head);
std::array<uint8_t, kHeadSize> MakeHead();

// ---- database information block (472 bytes at 2317) ----------------------------------
// OFFSET(rel)  SIZE  MEANING
// 0            1     Compressed: blob values stored compressed
// 1            1     not interpreted
// 2            33    CompressModuleName
// 35           1     Encrypted: field values stored encrypted
// 36           1     EncryptMode
// 37           33    EncryptModuleName
// 70           1     VerifyBlobWrites
// 71           256   not interpreted
// 327          129   PasswordCheck: text of the password's digest, NUL-terminated
// 456          16    not interpreted
class DatabaseInfo {
public:
    static constexpr size_t kCompressed = 0;
    static constexpr size_t kCompressModuleName = 2;
    static constexpr size_t kEncrypted = 35;
    static constexpr size_t kEncryptMode = 36;
    static constexpr size_t kEncryptModuleName = 37;
    static constexpr size_t kVerifyBlobWrites = 70;
    static constexpr size_t kPasswordCheck = 327;
    static constexpr size_t kPasswordCheckSize = 129;

    DatabaseInfo() { raw.fill(0); }

    bool Compressed() const { return raw[kCompressed] != 0; }
    std::string CompressModuleName() const;
    bool Encrypted() const { return raw[kEncrypted] != 0; }
    uint8_t EncryptMode() const { return raw[kEncryptMode]; }
    std::string EncryptModuleName() const;
    bool VerifyBlobWrites() const { return raw[kVerifyBlobWrites] != 0; }
    std::string PasswordCheck() const;

    void SetCompressed(bool v, const std::string& module);
    void SetEncrypted(bool v, const std::string& module, uint8_t mode, const std::string& check);
    void SetVerifyBlobWrites(bool v) { raw[kVerifyBlobWrites] = v ? 1 : 0; }

    std::array<uint8_t, kInfoSize> raw;
};

// ---- table directory (1032 bytes at 2789) ---------------------------------------------
// OFFSET(rel)  SIZE  MEANING
// 0            4     TableCount, 0..256
// 4            4     not interpreted
// 8            1024  TableOffset: int32[256], file offset of each table header
class TableDirectory {
public:
    TableDirectory() { raw.fill(0); }
    int32_t TableCount() const;
    void SetTableCount(int32_t n);
    int32_t TableOffset(int t) const;
    void SetTableOffset(int t, int32_t offset);
    static constexpr size_t EntryPosition(int t) { return 8 + 4 * static_cast<size_t>(t); }

    std::array<uint8_t, kDirSize> raw;
};

// ---- table header (4821 bytes) ---------------------------------------------------------
// OFFSET  SIZE  MEANING
// 0       33    TableName
// 33      4     RecTabOffset: first record-table block; meaningful while RecordTotal > 0
// 37      4     RecordTotal: items ever appended, deleted ones included
// 41      4     AutoIncCounter: last auto-increment value handed out or stored
// 45      4     FieldCount, at most 96
// 49      4128  96 field entries of 43 bytes
// 4177    4     IndexCount, at most 8
// 4181    624   8 index entries of 78 bytes
// 4805    16    not interpreted by the format; this engine keeps a change count and the
//               mark of a record being moved there (index_links.h)
//
// Field entry (43 bytes)            Index entry (78 bytes)
// 0   33  name                      0   33  name
// 33  1   type code                 33  1   Options (bit0 primary, bit1 unique,
// 34  4   declared size                        bit2 descending, bit3 case-insensitive)
// 38  1   StorePlain                34  32  KeyFields int32[8], ends at the first -1
// 39  4   not interpreted           66  4   IndexTabOffset (0 while no records)
//                                   70  4   IndexHead: first record in key order
//                                   74  4   not interpreted
constexpr int32_t kTableHeaderSize = 4821;
constexpr size_t kHdrTableName = 0;
constexpr size_t kHdrRecTabOffset = 33;
constexpr size_t kHdrRecordTotal = 37;
constexpr size_t kHdrAutoIncCounter = 41;
constexpr size_t kHdrFieldCount = 45;
constexpr size_t kHdrFields = 49;
constexpr size_t kFieldEntrySize = 43;
constexpr size_t kHdrIndexCount = 4177;
constexpr size_t kHdrIndexes = 4181;
constexpr size_t kIndexEntrySize = 78;
constexpr size_t kIdxOptions = 33;
constexpr size_t kIdxKeyFields = 34;
constexpr size_t kIdxTabOffset = 66;
constexpr size_t kIdxHead = 70;

struct FieldEntry {
    std::string name;
    TFieldType type = ftUnknown;  // the stored byte; may name no type in a damaged file
    int32_t size = 0;
    bool storePlain = false;
};

struct IndexEntry {
    std::string name;
    TIndexOptions options;           // the stored byte, uninterpreted bits kept
    std::vector<int32_t> keyFields;  // cut at the first -1, at most 8
    int32_t indexTabOffset = 0;
    int32_t indexHead = 0;
};

class TableHeader {
public:
    TableHeader() { raw.fill(0); }

    std::string TableName() const;
    void SetTableName(const std::string& name);
    int32_t RecTabOffset() const;
    void SetRecTabOffset(int32_t v);
    int32_t RecordTotal() const;
    void SetRecordTotal(int32_t v);
    int32_t AutoIncCounter() const;
    void SetAutoIncCounter(int32_t v);
    int32_t FieldCount() const;
    int32_t IndexCount() const;

    // Entry i, 0 <= i < 96 (fields) or 8 (indexes); the caller has checked the count.
    FieldEntry Field(int i) const;
    void SetField(int i, const FieldEntry& f);
    void SetFieldCount(int32_t n);
    IndexEntry Index(int i) const;
    void SetIndex(int i, const IndexEntry& e);
    void SetIndexCount(int32_t n);
    int32_t IndexTabOffset(int i) const;
    void SetIndexTabOffset(int i, int32_t v);
    int32_t IndexHead(int i) const;
    void SetIndexHead(int i, int32_t v);

    std::array<uint8_t, kTableHeaderSize> raw;
};

// ---- record table ------------------------------------------------------------------------
// Block (5124 bytes): 0 next block offset (0 in the last) | 4 1024 items of 5 bytes.
// Item: 0 DataOffset (int32) | 4 Deleted flag.
constexpr int kItemsPerBlock = 1024;
constexpr int32_t kRecBlockSize = 5124;
constexpr int32_t kRecItemSize = 5;
// Index-table block (8196 bytes): 0 next block offset | 4 1024 items of 8 bytes.
// Item: 0 OwnRecord (written, never read) | 4 NextRecord (-1 for the last in key order).
constexpr int32_t kIdxBlockSize = 8196;
constexpr int32_t kIdxItemSize = 8;
constexpr int32_t kBlockLinkSize = 4;

// A record-table item (5 bytes)
// OFFSET  SIZE  MEANING
// 0       4     DataOffset: file offset of the record's data
// 4       1     Deleted: non-zero once the record is deleted
struct RecordTabItem {
    int32_t dataOffset = 0;
    bool deleted = false;

    // The item in `item` (at least 5 bytes; EDatabaseError for fewer).
    static RecordTabItem Decode(std::span<const uint8_t> item);
    // Writes the 5 bytes of the item to the front of `item`.
    void Encode(std::span<uint8_t> item) const;
};

// An index-table item (8 bytes)
// OFFSET  SIZE  MEANING
// 0       4     OwnRecord: the item's own record number (written, never read)
// 4       4     NextRecord: the next record in key order; -1 after the last
struct IndexTabItem {
    static constexpr size_t kNextRecord = 4;
    int32_t ownRecord = 0;
    int32_t nextRecord = -1;

    // The item in `item` (at least 8 bytes; EDatabaseError for fewer).
    static IndexTabItem Decode(std::span<const uint8_t> item);
    void Encode(std::span<uint8_t> item) const;
};

// ---- record data -------------------------------------------------------------------------
// Slot sizes by field type; 0 for types a file may not carry (the string and blob
// predicates are the field-type vocabulary's, tarndb/dataset/field_types.h).
int32_t SlotSize(TFieldType type, int32_t declaredSize);

// Blob descriptor (20 bytes, the slot of a blob field)
// OFFSET  SIZE  MEANING
// 0       4     BlobOffset: file offset of the stored value (0 while the record has none)
// 4       4     BlobLength: bytes of the stored value
// 8       4     BlobAreaSize: bytes reserved at BlobOffset, a multiple of 64
// 12      8     not interpreted; carried over as it was
constexpr int32_t kBlobDescriptorSize = 20;

struct TBlobDescriptor {
    int32_t offset = 0;
    int32_t length = 0;
    int32_t areaSize = 0;

    // The descriptor at the front of `slot` (EDatabaseError when it holds fewer than 20
    // bytes).
    static TBlobDescriptor Decode(std::span<const uint8_t> slot);
    // Writes offset, length and area size to the front of `slot`, leaving the bytes not
    // interpreted as they are.
    void Encode(std::span<uint8_t> slot) const;
    // All three zero: a record whose blob was never written.
    bool Empty() const { return offset == 0 && length == 0 && areaSize == 0; }
};
constexpr int32_t kBlobAreaUnit = 64;
// The area size for a stored length: always 1 to 64 bytes more than the length.
constexpr int32_t BlobAreaSize(int32_t storedLength) {
    return storedLength - (storedLength % kBlobAreaUnit) + kBlobAreaUnit;
}

}  // namespace tarn::format

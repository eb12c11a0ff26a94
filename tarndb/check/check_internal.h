// Shared state of the checker's passes (checker.cpp: file, settings, directory and table
// headers; check_table.cpp: record tables, records and blobs; check_index.cpp: index
// tables and chains; check_overlap.cpp: structures that overlap).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataproc/stored_codec.h"
#include "platform/os/file_kind.h"  // NotARegularFile
#include "tarndb/check.h"
#include "tarndb/check/check_file.h"
#include "tarndb/file_format.h"

namespace tarn::check {

// An engine message as report text: names in it are in the data code page unless the
// whole message is valid UTF-8 already (paths, messages without names).
std::string MessageText(std::string_view message);
// A name stored in the data code page, as UTF-8.
std::string StoredText(std::string_view stored);

// A structure of the file, for the overlap pass.
enum class Kind : uint8_t { FileHead, TableHeader, RecordBlock, IndexBlock, RecordData, BlobArea };

struct Extent {
    int64_t start = 0;
    int64_t end = 0;      // one past the last byte
    int32_t table = -1;   // table number
    int32_t record = -1;  // record number (RecordData, BlobArea); block number (blocks)
    int16_t detail = -1;  // field number (BlobArea); index number (IndexBlock)
    Kind kind = Kind::FileHead;
};

// One table as the header pass understood it.
struct TableInfo {
    int number = 0;
    std::string name;  // as stored
    int64_t headerOffset = 0;
    format::TableHeader header;
    bool layoutKnown = false;  // fields valid: slot offsets and record size computed
    std::vector<format::FieldEntry> fields;
    std::vector<int32_t> slotOffsets, slotSizes;
    int64_t recordSize = 0;
    std::vector<format::IndexEntry> indexes;
    std::vector<bool> indexUsable;  // key fields exist
    // Filled by the record pass.
    int32_t total = 0;                         // RecordTotal (0 when unusable)
    int32_t readable = 0;                      // items read from the record table
    std::vector<format::RecordTabItem> items;  // [0, readable)
    std::vector<uint8_t> dataInside;           // fixed part lies inside the file
};

class Checker {
public:
    Checker(TCheckFile& file, const TCheckOptions& options, TCheckReport& report)
        : file_(file), options_(options), report_(report) {}

    void Run();

    // Passes (each in its own file).
    void CheckRecords(TableInfo& t);
    void CheckIndexes(TableInfo& t);
    void CheckOverlaps();

    void Problem(const TableInfo* t, int64_t record, std::string text);
    void FileProblem(std::string text) { Problem(nullptr, -1, std::move(text)); }
    void Note(std::string text) { report_.notes.push_back(std::move(text)); }
    void AddExtent(const Extent& e) { extents_.push_back(e); }
    void Advance(int64_t work);

    // Whether field values of `field` can be decoded (not encrypted, stored plain, or the
    // password is known).
    bool ValueReadable(const format::FieldEntry& field) const {
        return !encrypted_ || field.storePlain || passwordOk_;
    }
    // The decoded value of a non-blob field of the record whose fixed part is `data`.
    std::vector<uint8_t> SlotValue(const TableInfo& t, const std::vector<uint8_t>& data, int field);
    // Reads and decodes a blob; false with `error` when it cannot be.
    bool BlobValue(const TableInfo& t, const std::vector<uint8_t>& data, int field,
                   std::string& value, std::string& error);
    // The fixed part of record k (false when it lies outside the file).
    bool ReadRecord(const TableInfo& t, int32_t k, std::vector<uint8_t>& data);

    static std::string Shown(const std::string& stored);  // a stored name for messages
    std::string FieldName(const TableInfo& t, int field) const;
    std::string ExtentText(const Extent& e) const;

    TCheckFile& File() { return file_; }

private:
    bool CheckHead();
    void CheckSettings();
    void CheckDirectory();
    void CheckTableHeader(TableInfo& t);

    TCheckFile& file_;
    const TCheckOptions& options_;
    TCheckReport& report_;
    std::vector<TableInfo> tables_;
    std::vector<Extent> extents_;
    std::unique_ptr<TStoredDataCodec> codec_;
    bool compressed_ = false;
    bool encrypted_ = false;
    bool codecUsable_ = false;
    bool passwordOk_ = false;
    int64_t workDone_ = 0, workTotal_ = 0;
};

}  // namespace tarn::check

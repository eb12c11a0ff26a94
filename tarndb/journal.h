// The rollback journal of a transaction: the bytes a transaction is about to overwrite in
// the database file, saved beside it (`<file>-journal`) before the file is touched, so that
// a transaction cut short at any point can be undone by the next process that takes the
// file lock.
//
// Format (all integers little-endian):
//   header, 32 bytes:
//     0  8  magic "TarnJrnl"
//     8  4  format version (1)
//    12  4  page size (a power of two, 512..65536)
//    16  8  length of the database file when the transaction started
//    24  4  salt: mixed into every record's checksum, so that records of an earlier
//           journal cannot pass for records of this one
//    28  4  CRC-32 of bytes 0..27
//   then records, each:
//     0  8  file offset of the saved bytes (a multiple of the page size)
//     8  4  count n of saved bytes (1..page size; offset + n within the original length)
//    12  n  the bytes the file held there when the transaction started
//  12+n  4  CRC-32 of the salt (4 bytes, little-endian) followed by bytes 0..12+n-1
//
// A journal whose header is missing, short or fails its checksum was never complete: the
// file was not overwritten after it (the header is written, and with SyncCommit made
// durable, before the first overwrite), so it is ignored and removed. A valid header makes
// the journal hot: every record up to the first that is short or fails its checksum is
// copied back, then the file is cut to the original length. Records past a torn one were
// never written after it, and the file bytes they would cover were not overwritten.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarn::journal {

constexpr size_t kHeaderSize = 32;
constexpr size_t kRecordOverhead = 16;  // offset, count, checksum
constexpr uint32_t kVersion = 1;
constexpr uint32_t kMinPageSize = 512, kMaxPageSize = 65536;

struct Header {
    uint32_t pageSize = 0;
    int64_t originalLength = 0;
    uint32_t salt = 0;
};

struct SavedPage {
    int64_t offset = 0;
    std::vector<uint8_t> bytes;
};

// The journal's name for the database file `databasePath`.
std::string JournalPath(const std::string& databasePath);

// Appends the encoded header (record) to `out`.
void AppendHeader(std::vector<uint8_t>& out, const Header& header);
void AppendRecord(std::vector<uint8_t>& out, uint32_t salt, int64_t offset,
                  std::span<const uint8_t> bytes);

// What a journal's bytes hold: not a valid journal (torn or foreign), or a hot one with the
// pages to copy back.
struct Contents {
    bool valid = false;
    std::string why;  // for an invalid journal: what is wrong with it
    Header header;
    std::vector<SavedPage> pages;  // the complete records, in order
    bool torn = false;             // records ended in a short or damaged one
};
Contents Decode(std::span<const uint8_t> bytes);

}  // namespace tarn::journal

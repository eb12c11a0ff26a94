// The rollback journal of a transaction: the bytes a transaction is about to overwrite in
// the database file, saved beside it (`<file>-journal`, named after the file's real path)
// before the file is touched, so that a transaction cut short at any point can be undone by
// the next process that takes the file lock.
//
// Format (all integers little-endian):
//   header, 40 bytes (version 2):
//     0  8  magic "TarnJrnl"
//     8  4  format version (2)
//    12  4  page size (a power of two, 512..65536)
//    16  8  length of the database file when the transaction started
//    24  4  salt: mixed into every record's checksum, so that records of an earlier
//           journal cannot pass for records of this one; also the file's new stamp
//    28  4  state checksum: CRC-32 of the database's identifying bytes when the
//           transaction started (StateChecksum below)
//    32  4  the file's stamp when the transaction started (bytes 12..15 of the file)
//    36  4  CRC-32 of bytes 0..35
//   version 1 (written by earlier releases), 32 bytes: as above up to the salt, then the
//   header's CRC-32 (of bytes 0..27) at 28.
//   then records, each:
//     0  8  file offset of the saved bytes (a multiple of the page size)
//     8  4  count n of saved bytes (1..page size; offset + n within the original length)
//    12  n  the bytes the file held there when the transaction started
//  12+n  4  CRC-32 of the salt (4 bytes, little-endian) followed by bytes 0..12+n-1
//
// A journal whose header is missing, short or fails its checksum was never complete: the
// file was not overwritten after it (the header is written, and with SyncCommit made
// durable, before the first overwrite and before any appended byte), so it is ignored and
// removed. A valid header makes the journal hot: every record up to the first that is short
// or fails its checksum is copied back, then the file is cut to the original length.
// Records past a torn one were never written after it, and the file bytes they would cover
// were not overwritten.
//
// Which file a journal belongs to. A journal is only ever played into the file it was made
// for, in the state it was made from; anything else is refused and the journal left in
// place for the user (Mismatch below). What can be compared is what a genuine crash leaves
// certain, whatever part of the transaction reached the disk (a kill, or a power cut that
// kept any mix of the unsynced 512-byte sectors):
//  - the stamp. Bytes 12..15 of the file (in the head's uninterpreted bytes) hold the salt
//    of the last journal begun on it (a random number, never 0; 0 in a file never stamped).
//    A journal's first record is always page 0, and right after the first records are
//    written (synced with SyncCommit) the file's stamp becomes the journal's salt: the
//    first overwrite of the transaction. (A journal with no record yet, written to record
//    the length before appended bytes go out early, leaves the stamp alone.) A playback
//    writes page 0 back last. So the file of a genuine crash carries either this journal's
//    salt or the stamp the journal recorded as the one before. Another database carries its
//    own stamp; a copy of this one that committed journalled writes after the journal began
//    carries a later one. (A copy exactly as the journal found it carries the same stamp,
//    and playing the journal into it changes nothing.)
//  - a file that was never stamped (the journal recorded 0 as the stamp before) and still
//    carries 0 was not overwritten below the original length at all: when the stamp before
//    is 0, the stamp's write is made durable before any other overwrite (with SyncCommit),
//    and a playback makes the pages other than page 0 durable before it writes page 0. Its
//    identifying bytes must then equal those the journal began from, as they are.
//  - the length: a transaction only appends, so the file is at least as long as the
//    journal's original length (a rollback or recovery cut short also leaves it so);
//  - the state checksum, in every other case a second line: every byte below the original
//    length that no complete record saved is as it was when the journal began (a page is
//    saved before it is overwritten), and the saved pages hold what the others were. So the
//    identifying bytes read from the file *as playback would leave it* (the saved pages
//    laid over it, in memory) equal those the journal began from. The identifying bytes are
//    the file head, information block and table directory (bytes 0..3820, the stamp left
//    out) and, of each table the directory names, the first 49 bytes of its header (name,
//    record-table offset, record total, auto-increment counter, field count) and its last
//    16 (the change count kept by the index upkeep). Only those of them in pages the
//    journal did not save can differ: a transaction that saved every header page is
//    recognised by the stamp alone.
// What cannot be told apart: a copy of the file as the journal found it that was then
// changed only by writes outside a transaction that needed no journal (those leave the
// stamp alone); playing the journal into it cuts such appends off again.
// A version-1 journal carries neither stamp nor state checksum: it is checked by its length
// only and otherwise played back as before, so that a journal left by an earlier release
// still rolls back.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tarn::journal {

constexpr uint32_t kVersion = 2;        // written
constexpr uint32_t kOldVersion = 1;     // still read
constexpr size_t kHeaderSize = 40;      // version 2
constexpr size_t kOldHeaderSize = 32;   // version 1
constexpr size_t kRecordOverhead = 16;  // offset, count, checksum
constexpr uint32_t kMinPageSize = 512, kMaxPageSize = 65536;
// The database file's stamp: the salt of the last journal begun on it.
constexpr int64_t kStampOffset = 12;
constexpr size_t kStampSize = 4;

struct Header {
    uint32_t pageSize = 0;
    int64_t originalLength = 0;
    uint32_t salt = 0;
    uint32_t stateChecksum = 0;  // version 2 only
    uint32_t previousStamp = 0;  // version 2 only
    uint32_t version = kVersion;
};

struct SavedPage {
    int64_t offset = 0;
    std::vector<uint8_t> bytes;
};

// The journal's name for the database file `databasePath` (any name of it: a symbolic
// link, a relative name): the file's real path (Env::RealPath) followed by "-journal".
// The engine asks once, when the database opens, so that a later change of the working
// directory cannot move it.
std::string JournalPath(const std::string& databasePath);

// Appends the encoded header (record) to `out`. The header is encoded in header.version's
// layout (1 exists for tests of the old layout).
void AppendHeader(std::vector<uint8_t>& out, const Header& header);
void AppendRecord(std::vector<uint8_t>& out, uint32_t salt, int64_t offset,
                  std::span<const uint8_t> bytes);

// What a journal's bytes hold: not a valid journal (torn or foreign), or a hot one with the
// pages to copy back.
struct Contents {
    bool valid = false;
    std::string why;     // for an invalid journal: what is wrong with it
    bool newer = false;  // invalid because a later format version wrote it: keep it
    Header header;
    std::vector<SavedPage> pages;  // the complete records, in order
    bool torn = false;             // records ended in a short or damaged one
};
Contents Decode(std::span<const uint8_t> bytes);

// Reads `count` bytes at `offset` of the database file into `out`; only asked for bytes
// below the length given with it.
using StateReader = std::function<void(int64_t offset, size_t count, uint8_t* out)>;

// The state checksum of a database file of `length` bytes read through `read` (see above).
// Damaged values (a table count outside 0..256, a header offset outside the file) are
// skipped, never followed: the checksum is a function of the bytes alone.
uint32_t StateChecksum(int64_t length, const StateReader& read);

// Why the valid journal `journal` does not belong to the database file of `fileLength`
// bytes that `readFile` reads as it is now (see above); empty when it does. Reads only.
std::string Mismatch(const Contents& journal, int64_t fileLength, const StateReader& readFile);

// The state checksum of the file as playing back `journal` would leave it: `readFile` reads
// the file as it is now (which must be at least journal.header.originalLength long), and
// the journal's saved pages are laid over what it reads. Nothing is written.
uint32_t PlayedBackStateChecksum(const Contents& journal, const StateReader& readFile);

}  // namespace tarn::journal

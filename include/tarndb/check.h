// The database file checker (behind `tarndb check`): verifies every invariant of the file
// format and reports each problem with its table and record number. It reads the file
// through its own bounds-checked reader and never trusts an offset, count or chain from the
// file, so damage of any kind gives a report, never a crash or an endless walk.
//
// What it verifies:
//  - the head (magic and version), the settings (modules registered, mode known, password
//    check present) and the table directory;
//  - every table header: counts within the format's limits, field types with a slot size,
//    declared sizes, names present and not repeated, index key fields that exist;
//  - record tables: the block chain (inside the file, no loops, the right number of blocks,
//    the last one ending the chain), every record's fixed part inside the file;
//  - blob descriptors: area sizes (a multiple of 64, larger than the stored length) and
//    areas inside the file; with readable values, every live blob decodes;
//  - index tables: their blocks, items that name themselves and link to existing records,
//    chains from IndexHead that end, visit every live record exactly once, and (with
//    readable values) keep the key order, with no equal keys in unique indexes;
//  - that no two structures (file head, headers, blocks, fixed parts, blob areas) overlap;
//  - the autoinc counter at or above every stored autoinc value.
// Values of an encrypted database are readable only with its password; without one those
// checks are skipped and a note says so.
//
// The file is read under the engine's file lock when it can be had (2 seconds at most),
// so an append by another process is not seen half done.
//
// A journal beside the file (left by a writer that stopped inside a transaction) is played
// back by the next open of the file, so the checker judges the file as that open will leave
// it: the journal's saved pages laid over the file's bytes and the file cut to the length
// it had when the transaction began, all in memory; the file and the journal are not
// touched. The report says what the journal will do (`journal`). A journal that is
// incomplete is discarded by the next open and changes nothing; one that does not belong to
// the file (or was written by a later release) is refused by the next open: the file is then
// checked as it is.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarn {

struct TCheckProblem {
    std::string table;    // the table's name (UTF-8); empty for problems of the whole file
    int tableNo = -1;     // its position in the directory
    int64_t record = -1;  // the record number, -1 when the problem is not about one record
    std::string text;     // UTF-8
};

struct TCheckReport {
    // The file cannot be read as a database at all (missing, not a TarnDB file, version
    // refused, wrong password): `unreadable` holds why, and nothing else was checked.
    std::string unreadable;
    std::vector<TCheckProblem> problems;  // at most TCheckOptions::maxProblems
    int64_t problemCount = 0;             // all problems found, also those not kept
    std::vector<std::string> notes;       // what could not be checked, and why
    // The journal beside the file and what the next open will do with it (UTF-8); empty
    // when there is none.
    std::string journal;
    // A journal will be played back by the next open, and the check saw the file as that
    // will leave it.
    bool journalPlayedOver = false;
    int tables = 0;
    int64_t records = 0;  // live records
    int indexes = 0;
};

struct TCheckOptions {
    // Asked once, only for an encrypted database; nothing: values are not checked.
    std::function<std::optional<std::string>()> password;
    // Told the work done so far and the whole work (in records).
    std::function<void(int64_t done, int64_t total)> progress;
    size_t maxProblems = 1000;
    // Play a journal beside the file back first, as an open for writing does (this writes
    // to the file and removes the journal), and check the result.
    bool recover = false;
};

// Checks the database file at `path`. Any thread may call it, for any file; it opens the
// file read-only, shared, and never writes to it (except to play a journal back with
// `recover`). Texts in the report are UTF-8 (names are
// converted from the data code page).
//
// Raises: none of the file's own: a file that cannot be opened or read as a database is
// reported in `unreadable`, damage in `problems`; a fault of the checker itself ends the
// check with a problem "the check stopped early". What the callbacks in `options` raise
// passes to the caller; std::bad_alloc when memory runs out.
TCheckReport CheckDatabaseFile(const std::string& path, const TCheckOptions& options);

// What an error raised while reading stored bytes means, as the checker says it: that the
// file is damaged (unless the message says so already), with the engine's own words for
// what was found (a value that does not decompress or decrypt, a short stream, a length
// that asks for more memory than there is). Errors of the system (EInOutError, EFOpenError)
// are no damage and keep their message. The message is as the engine raised it (names in
// the data code page).
std::string DescribeReadFailure(const std::exception& e);

}  // namespace tarn

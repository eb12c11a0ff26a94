// Compacting a database file. The engine never reclaims the space of deleted records,
// replaced blob values or index items, so a long-lived file only grows. Compacting writes
// the live records of every table, with their indexes, into a new file with the same
// settings (compression, encryption module, mode and password, blob write verification),
// keeps every table's autoinc counter (numbers handed out are never handed out again),
// forces the new file to the disk and then puts it in place with an atomic rename.
//
// The database must not be open anywhere else while it is compacted: the file is opened in
// the engine's exclusive sharing mode, which fails while another process or another
// database object of this one holds it open, and it is held that way until the new file
// is in place. With an output file the database is opened for reading only: nothing is
// written to it, not even the repairs an open for writing makes after a crash.
//
// The new file is written as ".NAME.compact-PID" beside its target (NAME the target's file
// name) and renamed onto it. One left by a compact that was killed is removed by the next
// compact of the same target, once its process is gone and nobody holds it open (a running
// compact holds its own open until the rename). The new file takes the database's
// permissions and, replacing it, its owner and group; a database named through a symbolic
// link is compacted where the link points, the link left as it is.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tarn {

struct TCompactOptions {
    // Where the compacted file goes; empty: it replaces the database file itself. A file of
    // that name must not exist.
    std::string output;
    // The password of an encrypted database (required for one).
    std::string password;
    // Told the records copied so far and the live records of all tables.
    std::function<void(int64_t done, int64_t total)> progress;
};

struct TCompactResult {
    std::string output;      // the file written (the database itself without an output)
    int64_t sizeBefore = 0;  // bytes of the database file before
    int64_t sizeAfter = 0;   // bytes of the compacted file
};

// Compacts the database file at `path`. The new file is first written beside its target
// under a temporary name; on any failure that file is removed and the database (and an
// existing output) stay exactly as they were. Call it from one thread; the table storage
// of the database must not be in use in this process.
//
// Raises: EDatabaseError "Database file '%s' is in use ..." while another open holds the
// file; "Access denied" for a missing or wrong password of an encrypted database; "...
// exists already" for an output that exists; the engine's errors for a file it cannot
// open (EFOpenError, EDatabaseError); EDatabaseError "table 'T', record R, field 'F': the
// file is damaged: ..." for a record that cannot be read or copied (see
// DescribeReadFailure in check.h); EInOutError "Cannot write the compacted file '%s': ..."
// naming the output (or the database) and the cause when writing the new file, forcing it
// to the disk or renaming it fails, and "Cannot compact database file '%s' in place: ..."
// when the new file cannot be given the database's owner and group.
TCompactResult CompactDatabase(const std::string& path, const TCompactOptions& options);

}  // namespace tarn

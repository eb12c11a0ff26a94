// Key order of a table's indexes: the in-memory key lists and the chains on disk, kept in
// step by every append, rewrite and delete, the key searches, and the uniqueness rules of
// primary and unique indexes. The table storage (TTarnTableIO) calls these at fixed points
// of its write operations; the table component uses the searches.
//
// Key list i + 1 of the table holds the live records in the key order of index i; equal
// keys keep the order in which they were inserted or moved. Keys are compared as the
// filter evaluator compares values (key_compare.h); nothing of a key is cached.
//
// Crash safety (the write order and what a crash at each step leaves is explained at the
// top of indexes.cpp): an append links its index items before the header write that makes
// the record exist; a rewrite that moves a record marks it in the header while it moves;
// a load that finds the traces of an unfinished write, or a chain it cannot follow, builds
// the right key lists anyway; the open of a writable file, or else the next write of any
// process, rebuilds the affected chains on disk.
//
// Used on the thread that owns the database; the write operations run under the file lock
// of their caller. Errors: EDatabaseError ("Invalid unique field value '%s'", damaged-file
// errors), the module errors of a failing decoder.
#pragma once

#include <vector>

#include "tarndb/field_buffers.h"
#include "tarndb/key_compare.h"
#include "tarndb/record_list.h"
#include "tarndb/table_io.h"

namespace tarn {

class TTarnDBFileIO;

// Where an append goes in each key list, decided before anything is written.
struct TAppendPlan {
    std::vector<int> positions;  // by index
};

// How a rewrite moves its record, decided before anything is written.
struct TRelinkPlan {
    int32_t recNo = -1;
    int physicalPosition = -1;
    std::vector<int> from;  // the record's position in each key list (-1: its key stays)
    std::vector<int> to;    // its insert position in the list without it
    bool Moves() const;
};

class TTableIndexes {
public:
    // ---- searches (field buffers hold the key; `list` is a key list of index `index`) ----
    // -1, 0 or 1: the key against the stored record `recNo` (first `fieldCount` key
    // fields, 0 = all; `partial` compares strings on the key's length).
    static int CompareKey(TTarnTableIO& table, const TFieldBuffers& buffers, int32_t recNo,
                          int index, int fieldCount, bool partial);
    static TKeySearch SearchKey(TTarnTableIO& table, const TFieldBuffers& buffers,
                                const TRecordList& list, bool partial, int fieldCount, int index);
    static int InsertPosition(TTarnTableIO& table, const TFieldBuffers& buffers, int index);
    static TKeySearch SearchKeyBound(TTarnTableIO& table, const TFieldBuffers& buffers,
                                     const TRecordList& list, bool partial, int fieldCount,
                                     bool first, int index);
    // Position in key list index + 1 of the live record `entry` (found by its stored key;
    // -1 when it is not there).
    static int KeyPositionOf(TTarnTableIO& table, int index, const TRecordEntry& entry);

    // ---- uniqueness ----
    // Fail with "Invalid unique field value '%s'" when a primary or unique index already
    // holds the new record's key (another record's, for a rewrite). Write nothing.
    static void CheckUniqueForAdd(TTarnTableIO& table, TFieldBuffers& buffers);
    static void CheckUniqueForModify(TTarnTableIO& table, TFieldBuffers& buffers,
                                     int physicalPosition);

    // ---- append: plan, link on disk before the commit, then the lists ----
    static TAppendPlan PlanNewRecord(TTarnTableIO& table, TFieldBuffers& buffers);
    // Writes index items (and new index blocks) for record k and links it after its
    // predecessors; head and table-offset changes go into `next`, the header image that
    // the caller writes to commit the append.
    static void LinkNewRecord(TTarnTableIO& table, TTarnDBFileIO& io, const TAppendPlan& plan,
                              int32_t k, format::TableHeader& next);
    // After the commit: calls the insert notification with (-1, -1, entry), then inserts
    // the entry into every key list, notifying (index, position, entry) before each.
    static void InsertNewRecord(TTarnTableIO& table, const TAppendPlan& plan,
                                const TRecordEntry& entry, const TInsertNotify& onInsert);

    // ---- rewrite: plan, mark, (the caller writes the record), move ----
    // Checks uniqueness as CheckUniqueForModify does, then decides every index's move.
    static TRelinkPlan PlanRelink(TTarnTableIO& table, TFieldBuffers& buffers,
                                  int physicalPosition);
    static void BeginRelink(TTarnTableIO& table, TTarnDBFileIO& io, const TRelinkPlan& plan);
    // Moves the record in every index whose order changed, on disk and in memory, calling
    // the move notification (index, old position, new position) for each.
    static void RelinkRecord(TTarnTableIO& table, TTarnDBFileIO& io, const TRelinkPlan& plan,
                             const TMoveNotify& onMove);

    // ---- delete ----
    // Before the deleted flag is written: tells other processes that their lists are stale.
    static void NoteDeletion(TTarnTableIO& table, TTarnDBFileIO& io);
    // Removes the record from every key list (the disk chains keep it).
    static void UnlinkRecord(TTarnTableIO& table, int physicalPosition);

    // ---- loading and repair ----
    // Starts a load of the key lists: no repairs noted yet, no index blocks known, the
    // header's moving-record mark noted.
    static void BeginKeyOrderLoad(TTarnTableIO& table);
    // Builds key list index + 1 and the index's block offsets from its chain, for the live
    // records of list 0 (read with the same header). Copes with what an interrupted write
    // leaves; notes what the next write must repair on disk.
    static void LoadKeyOrder(TTarnTableIO& table, TTarnDBFileIO& io, int index);
    // Whether an unfinished append left index items beyond the last record (seen under the
    // lock before writing, also when another process was interrupted).
    static bool HasAppendLeftovers(TTarnTableIO& table, TTarnDBFileIO& io);
    // Performs the repairs LoadKeyOrder noted; does nothing when there are none.
    static void RepairChains(TTarnTableIO& table, TTarnDBFileIO& io);
    // Called by the load of a table that opens it, under the lock: performs the repairs at
    // once when this process may write the file, so that no reader meets the traces after
    // this open. A repair that fails leaves the file as a crash would and the table marked
    // for a reload; the open itself still succeeds (the lists are right) and the failure is
    // added to the findings.
    static void RepairOnOpen(TTarnTableIO& table, TTarnDBFileIO& io);
};

}  // namespace tarn

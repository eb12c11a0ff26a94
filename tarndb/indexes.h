// Key order of a table's indexes: the in-memory key lists and the chains on disk, kept in
// step by every append, rewrite and delete, plus the uniqueness rules of primary and unique
// indexes. The table storage calls these at fixed points of its write operations.
#pragma once

#include "tarndb/field_buffers.h"
#include "tarndb/record_list.h"
#include "tarndb/table_io.h"

namespace tarn {

class TTarnDBFileIO;

// Outcome of a key search: -2 the list is empty; 0 an equal key at `position`; -1 the key
// sorts before the entry at `position`; 1 after it.
struct TKeySearch {
    int position = -1;
    int outcome = -2;
};

class TTableIndexes {
public:
    // -1, 0 or 1: the key in `buffers` against stored record `recNo` by the first
    // `fieldCount` key fields of index `index` (0 = all); `partial` compares strings on the
    // key's length. Descending indexes turn the sign.
    static int CompareKey(TTarnTableIO& table, const TFieldBuffers& buffers, int32_t recNo, int index,
                          int fieldCount, bool partial);
    // Bisection over `list`: the last probe and its outcome.
    static TKeySearch SearchKey(TTarnTableIO& table, const TFieldBuffers& buffers, const TRecordList& list,
                                bool partial, int fieldCount, int index);
    // The first (or last) entry with an equal key, else the last probe and its outcome.
    static TKeySearch SearchKeyBound(TTarnTableIO& table, const TFieldBuffers& buffers, const TRecordList& list,
                                     bool partial, int fieldCount, bool first, int index);

    // Fails with "Invalid unique field value '%s'" when a primary or unique index already
    // holds the new record's key. Writes nothing.
    static void CheckUniqueForAdd(TTarnTableIO& table, TFieldBuffers& buffers);
    static void CheckUniqueForModify(TTarnTableIO& table, TFieldBuffers& buffers, int physicalPosition);
    // Links the just-appended record into every index, on disk and in memory; calls the
    // insert notification first with (-1, -1, entry), then once per index.
    static void LinkNewRecord(TTarnTableIO& table, TTarnDBFileIO& io, TFieldBuffers& buffers,
                              const TRecordEntry& entry, const TInsertNotify& onInsert);
    // Moves a rewritten record to its new place in every index whose order changed.
    static void RelinkRecord(TTarnTableIO& table, TTarnDBFileIO& io, TFieldBuffers& buffers,
                             int physicalPosition, const TMoveNotify& onMove);
    // Removes a deleted record from every key list (the disk chains keep it).
    static void UnlinkRecord(TTarnTableIO& table, int physicalPosition);
};

}  // namespace tarn

// Key order of a table's indexes: the in-memory key lists and the chains on disk, kept in
// step by every append, rewrite and delete, plus the uniqueness rules of primary and unique
// indexes. The table storage calls these at fixed points of its write operations.
#pragma once

#include "tarndb/field_buffers.h"
#include "tarndb/record_list.h"
#include "tarndb/table_io.h"

namespace tarn {

class TTarnDBFileIO;

class TTableIndexes {
public:
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

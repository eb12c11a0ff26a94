// TTarnTableIO: the storage side of one table of a connected database. It loads the table's
// schema and record lists when the table is first acquired, reads stored records into a
// component's field buffers, and appends, rewrites and deletes records in the file while
// keeping its in-memory lists in step.
//
// Record lists: list 0 holds the live records in physical order (ascending record number);
// list i + 1 holds them in the key order of index i. An entry is (DataOffset, record
// number); the record number is fixed for a record's life and doubles as the bookmark.
//
// Safety beyond the plain format rules:
//  - Crash safety: an append writes the record's fixed part and blob areas first, then its
//    record-table item (or new block), then the table header, so an append cut short at
//    any write leaves the file loading without a half-written record. A rewrite writes
//    each blob value where the placement rules put it, then the fixed part with the new
//    descriptors: a value moved to the end of the file is safe (the old descriptor keeps
//    pointing at the old bytes until the fixed part is written), but a value rewritten in
//    its old area (the area is larger than the new value, or ends the file) is not: a
//    crash before the fixed part leaves the old descriptor over the new bytes.
//  - Blob values: an unchanged value that was never read is loaded before it is written
//    back; with VerifyBlobWrites each value is read back and decoded after it is written
//    and written again while that does not give the value, three writes at most, then
//    "Blob value of field '%s' could not be written: ..." is raised (an append then leaves
//    no record; a rewrite leaves the old fixed part). A damaged old descriptor never makes
//    a rewrite write outside its old area.
//  - Several writers: every write operation compares, under the file lock, the table
//    header on disk with the one in memory; when another process changed it, the table's
//    bookkeeping is reloaded before anything is written (OnReloaded tells the component).
//  - Indexed tables: index items are linked before the header write that makes a record
//    exist, and a load copes with every state an interrupted append, rewrite or delete can
//    leave, and with chains that are damaged (their order is then built from the records'
//    keys). Opening a table of a file this process may write repairs the chains on disk at
//    once, under the lock; otherwise the next write does (indexes.cpp has the details).
//
// Owned by its database; used from the thread that owns the database. Every operation
// that touches the file holds the file lock (a fetch served from a read-ahead copy only
// compares the copy with the mapped record first). Errors: EDatabaseError ("Table '%s'
// not found", "General error", "Invalid unique field value '%s'", "Wait for unlock time
// out", "Table '%s' has used up its auto-increment values (the last is %d)",
// "<database>: Cannot perform this operation on a closed database", damaged-file errors).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dataproc/cipher_unit.h"
#include "tarndb/defs.h"
#include "tarndb/field_buffers.h"
#include "tarndb/file_format.h"
#include "tarndb/record_list.h"
#include "tarndb/stream.h"

namespace tarn {

class TTarnDBFileIO;

// What a table's storage needs from its database.
class TTableStorageHost {
public:
    virtual ~TTableStorageHost() = default;
    // The open file object, or nullptr while the database is closed.
    virtual TTarnDBFileIO* StorageFile() = 0;
    // The database's component name ("" when it has none), for message prefixes.
    virtual std::string StorageComponentName() const = 0;
};

// Called by AddRecord: first (-1, -1, entry) before any key list changes, then once per
// index with the position at which the entry is being inserted into that index's list.
using TInsertNotify = std::function<void(int index, int position, const TRecordEntry& entry)>;
// Called by ModifyRecord for each index in which the record changes place; positions are
// counted in the list as it was before the move.
using TMoveNotify = std::function<void(int index, int oldPosition, int newPosition)>;

class TTarnTableIO {
public:
    TTarnTableIO(TTableStorageHost& database, std::string tableName);
    TTarnTableIO(const TTarnTableIO&) = delete;
    TTarnTableIO& operator=(const TTarnTableIO&) = delete;

    // Loads the table when the open count is 0, then counts one more user. A failed load
    // leaves the count at 0.
    void AcquireTable();
    // One user fewer; at 1 the definitions and lists are dropped (never below 0).
    void ReleaseTable();
    void LoadTable();
    // Reads the header and the record lists again (a loaded table only): the file went
    // back to an earlier state under it (a transaction rolled back). OnReloaded follows.
    void ReloadBookkeeping();
    // Takes the read lock and, when another connection changed the table since its lists
    // were read, reads them again (OnReloaded follows): a view taken from the lists under
    // the same holding shows every commit made before it. Whether it reloaded.
    bool CatchUp();
    int OpenCount() const { return openCount_; }

    const std::string& TableName() const { return tableName_; }
    int TableNo() const { return tableNo_; }
    TTarnFieldDefs& FieldDefs() { return fieldDefs_; }
    TTarnIndexDefs& IndexDefs() { return indexDefs_; }
    int FieldCount() const { return fieldDefs_.Count(); }
    int IndexCount() const { return indexDefs_.Count(); }
    int32_t RecordSize() const { return recordSize_; }
    int32_t SlotOffset(int field) const { return slotOffsets_.at(static_cast<size_t>(field)); }
    int32_t SlotSize(int field) const { return slotSizes_.at(static_cast<size_t>(field)); }
    int AutoIncField() const { return autoIncField_; }
    const format::TableHeader& Header() const { return header_; }

    // 0: physical order; i + 1: key order of index i. A key list is read from the file when
    // it is first asked for (or before the first write), under the file lock; when another
    // process changed the table since the load, the whole bookkeeping is read again first
    // (OnReloaded follows), so that every list describes the same state of the file.
    // List 0 is read a record-table block at a time as FetchRecord reaches further into it,
    // and whole when it is asked for here.
    TRecordList& RecordList(int list) {
        if (list == 0 && !recPull_.done)
            CompleteRecordList();
        else if (list > 0 && static_cast<size_t>(list) < lists_.size() &&
                 keyListPending_[static_cast<size_t>(list) - 1])
            LoadDeferredKeyList(list - 1);
        return lists_.at(static_cast<size_t>(list));
    }
    int ListCount() const { return static_cast<int>(lists_.size()); }
    // Change stamps, for the views that copy a list and then follow their own writes: the
    // stamp of a list takes a new value whenever the list changes (every append and
    // delete, a rewrite that moves the record in that key order, every reload); the load
    // stamp whenever the lists are read from the file. A write's notifications see the
    // stamps from before its own change, so a view that still had its list's stamp then
    // may apply the positions it is told, and holds the list's new stamp after the write
    // when the load stamp did not move meanwhile. Stamps are never reused.
    uint64_t ListStamp(int list) const { return listStamps_.at(static_cast<size_t>(list)); }
    uint64_t LoadStamp() const { return loadStamp_; }

    void FetchRecord(TFieldBuffers& buffers, int list, int position);
    // The same for a record known by its entry (a view's copy of a list entry).
    void FetchEntry(TFieldBuffers& buffers, const TRecordEntry& entry);
    // Reads the fixed parts of `count` entries of `list` from `from` on under one taking of
    // the file lock, for the fetches of a walk that follow. Each record is read whole under
    // the lock as any fetch is. A copy serves a fetch only while the record's bytes in the
    // file are still the copy's, so a fetch never shows a record older than what the file
    // holds when it runs, whoever wrote it (another process, another database object on
    // the same file). Every write through this table drops the copies.
    void ReadAhead(const TRecordList& list, int from, int count);
    // The next fetch looks for its copy at copy `i` of the last read-ahead first (a walk
    // finds it there by itself; a jump within the copies says where it lands).
    void SeekReadAhead(size_t i) { readAhead_.next = i; }
    // Counts the writes through this table (and reloads of its lists): copies and
    // positions learnt before a change of the count may be out of date.
    uint64_t WriteCount() const { return writeCount_; }
    void AddRecord(TFieldBuffers& buffers, bool flush, const TInsertNotify& onInsert);
    void ModifyRecord(TFieldBuffers& buffers, int physicalPosition, bool flush,
                      const TMoveNotify& onMove);
    void RemoveRecord(int physicalPosition, bool flush);
    // The decoded bytes of non-blob field `field` of the record `entry`, valid until the next
    // call on this object (decrypted into a scratch buffer when the database is encrypted).
    // The caller holds the file lock.
    std::span<const uint8_t> StoredSlot(const TRecordEntry& entry, int field);
    // Reads and decodes one field of a stored record: a slot's bytes or a blob's value.
    void ReadStoredField(int32_t recNo, int field, TStream& dest);

    // Position in list 0 of the record at `position` of `list` (binary search by record
    // number); -1 when absent.
    int PhysicalPosition(int list, int position);
    // Position in `list` of the record at physical position `physicalPosition`; -1 when absent.
    int KeyPosition(int list, int physicalPosition);

    // Processing flags of a field (both false for StorePlain fields).
    bool Encrypt(int field);
    bool Compress(int field);

    // File offset of record number recNo's record-table item.
    int64_t RecordItemOffset(int32_t recNo);
    TTarnDBFileIO& File();

    // Told after the bookkeeping was reloaded because another process changed the table.
    std::function<void()> OnReloaded;

    // Raised by the index layer and the component for "no such record any more".
    static constexpr const char* kRecordGone = "The record was deleted by another process";

    // Chain repairs the last load found necessary; opening the table of a writable file
    // performs them at once, else the next write operation does (TTableIndexes::RepairChains).
    struct TIndexRepair {
        std::vector<uint8_t> rebuild;        // by index: write a new index table from the key list
        std::vector<uint8_t> clearLeftover;  // by index: clear items an unfinished append left
        bool clearMoving = false;            // clear the header's moving-record mark
        // What the last load found in the chains (traces of a writer that died, damage)
        // and how it built the key lists all the same, one sentence each with the table and
        // index named (data code page); empty when the chains were sound.
        std::vector<std::string> findings;
        bool Pending() const;
    };
    const TIndexRepair& IndexRepair() const { return indexRepair_; }

private:
    // One append, one rewrite, as their crash-ordered steps (table_io.cpp).
    class TAppend;
    class TRewrite;
    friend class TTableIndexes;
    friend class TStaleOnFailure;
    friend class TListChangeGuard;
    void ReadBookkeeping(TTarnDBFileIO& io);
    // Under the lock: whether the table header in the file differs from the one in memory
    // (false without a look within a holding of the lock already found in step).
    bool HeaderChanged(TTarnDBFileIO& io);
    // Under the lock: when the header changed, reads it and the bookkeeping again (the
    // caller tells the component); whether it did.
    bool ReloadIfChanged(TTarnDBFileIO& io);
    // Reads the next record-table block into list 0 and recBlocks_; false when every block
    // is read. Under the lock, the header in step with the file.
    bool PullRecordBlock(TTarnDBFileIO& io);
    // Under the lock: the rest of list 0, from the file the header compare found in step.
    void PullAllRecordBlocks(TTarnDBFileIO& io);
    // Takes the lock, reloads when another process changed the table, and reads the rest of
    // list 0 (OnReloaded follows a reload). `until` >= 0: only until list 0 holds position
    // `until`.
    void CompleteRecordList(int until = -1);
    // Whether the record table holds an item beyond the last record (what an append cut
    // short after writing it leaves).
    bool RecordTableLeftover(TTarnDBFileIO& io);
    // Reads key list index + 1 now (RecordList calls it for a list not read yet).
    void LoadDeferredKeyList(int index);
    // Under the lock, the header known to be in step: reads every key list not read yet.
    void LoadPendingKeyLists(TTarnDBFileIO& io);
    // The same for key list index + 1 alone; a failed read leaves it pending.
    void LoadPendingKeyList(TTarnDBFileIO& io, size_t index);
    void BuildDefinitions();
    // Under the lock: reload when another process changed the table header.
    bool SyncWithDisk(TTarnDBFileIO& io);
    // Under the lock, list 0 whole and the header in step, on a file this process may write:
    // raises AutoIncCounter on disk to the largest auto-increment value stored when the last
    // record holds one above it (what a header write torn before its counter, or a counter
    // write torn into a smaller number, leaves), so no value is handed out twice. Looks at
    // the last record only, and at every record only when that one is above the counter.
    void RaiseAutoIncPastStored(TTarnDBFileIO& io);
    int ReacquirePosition(const TRecordEntry& entry);
    void CutStrings(TFieldBuffers& buffers);
    // ---- blob values (table_blobs.cpp) ----
    // Values below this size are copied next to their fill (and, in an append, the fixed
    // part) and written in one piece; larger ones go out straight from their own memory.
    static constexpr size_t kBlobCopyLimit = 64 * 1024;
    // The bytes blob `field` of `buffers` is stored as: the value itself (loaded first when
    // it was never read) when no module applies, else its encoding, made in `encoded`.
    // Valid until the value or `encoded` changes.
    std::span<const uint8_t> StoredBlobBytes(TFieldBuffers& buffers, int field,
                                             TMemoryStream& encoded);
    // Writes stored bytes and `fill` zero bytes after them at `offset`, copying only values
    // small enough to go out in one piece with their fill.
    void WriteBlobArea(TTarnDBFileIO& io, int64_t offset, std::span<const uint8_t> stored,
                       int32_t fill);
    // With VerifyBlobWrites: reads the value written at `offset` back and decodes it; while
    // that does not give the value, encodes and writes it again, at most kBlobWriteAttempts
    // writes in all (the first made by the caller), then raises EDatabaseError.
    void VerifyBlobArea(TTarnDBFileIO& io, int64_t offset, std::span<const uint8_t> stored,
                        int32_t fill, TFieldBuffers& buffers, int field, TMemoryStream& encoded);
    bool ReadsBackAs(TTarnDBFileIO& io, int64_t offset, size_t length, TFieldBuffers& buffers,
                     int field);
    void CheckLoaded() const;

    TTableStorageHost& database_;
    std::string tableName_;
    int openCount_ = 0;
    int tableNo_ = -1;
    TTarnFieldDefs fieldDefs_;
    TTarnIndexDefs indexDefs_;
    int32_t recordSize_ = 0;
    std::vector<int32_t> slotOffsets_;
    std::vector<int32_t> slotSizes_;
    int autoIncField_ = -1;
    format::TableHeader header_;
    std::vector<int32_t> recBlocks_;  // the blocks read so far (all once recPull_.done)
    // Where the reading of the record table into list 0 stands.
    struct RecordPull {
        int64_t nextBlock = 0;   // number of the next block of the chain
        int32_t nextOffset = 0;  // its file offset
        bool done = true;        // every block is read
        std::vector<uint8_t> block;
    } recPull_;
    std::vector<std::vector<int32_t>> indexBlocks_;
    std::vector<TRecordList> lists_;
    // By index: key list index + 1 is not read from the file yet.
    std::vector<uint8_t> keyListPending_;
    std::vector<uint8_t> scratch_;
    std::vector<uint8_t> slotScratch_;
    std::vector<TCipherUnit> decryptUnits_;  // FetchEntry's encrypted slots of one record
    // ReadAhead's encrypted fixed-size slots: offset and size in a record.
    std::vector<std::pair<int32_t, int32_t>> encryptedSlots_;
    // Records read ahead: the fixed parts of consecutive entries, by DataOffset.
    struct ReadAheadCache {
        std::vector<int32_t> offsets;  // DataOffset of each copy, in order
        // The copies, RecordSize() bytes each: the first offsets.size() of them are in use
        // (the buffer keeps its size between read-aheads).
        std::vector<uint8_t> bytes;
        // In an encrypted database: the encrypted slots of the copies decrypted (all
        // records in one go) at the same places, wiped when dropped.
        std::vector<uint8_t> clear;
        size_t decrypted = 0;  // bytes of `clear` in use; 0: no clear twin
        size_t next = 0;       // where the last hit was (walks go forward)
        void Clear();
    } readAhead_;
    uint64_t writeCount_ = 0;
    // The table is being written or its lists read again: the copies go, the count moves.
    void Written();
    // The copy of the record at `dataOffset`, when there is one and the file still holds
    // the same bytes there; else nullptr.
    const uint8_t* FromReadAhead(TTarnDBFileIO& io, int32_t dataOffset);
    // Gives list `list` (-1: every list) a new change stamp.
    void ListChanged(int list);
    std::vector<uint64_t> listStamps_;
    uint64_t loadStamp_ = 0;
    uint64_t lastStamp_ = 0;
    TIndexRepair indexRepair_;
    // Set when a write operation on an indexed table failed part-way: memory may then
    // differ from the file, so the next write operation reloads first.
    bool stale_ = false;
    // The holding of the file lock (TTarnDBFileIO::LockEpoch) under which the header in
    // memory was last found equal to the file's; 0: compare again.
    uint64_t syncedEpoch_ = 0;
    std::vector<uint8_t>
        writeRun_;  // an append's fixed part and small blob areas, written in one piece
};

}  // namespace tarn

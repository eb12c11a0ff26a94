// TTarnDBFileIO: the one object through which a connected database reaches its storage.
// It opens the database as a disk file or as a caller's memory stream, checks the file
// head, reads the database settings and the table directory, guards table operations with
// the lock states of the file (shared, reserved, pending, exclusive), serves positioned reads
// (through a mapping for disk files) and writes, and flushes on request.
//
// Owned by its database (TTarnDatabase); used from the thread that owns the database.
// Errors: EDatabaseError with the literal messages ("Cannot open file %s", "Database file
// '%s' is an invalid TarnDB", "Version 1.00 is not compatible", "Version of database file
// is too High", "Invalid database name '%s'", "Wait for unlock time out"), and for a
// damaged file "Database file '%s' is damaged: ..." naming what is wrong and where; the
// platform's EFOpenError when the system refuses the open.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataproc/stored_codec.h"
#include "tarndb/defs.h"
#include "tarndb/file_format.h"
#include "tarndb/file_stream.h"
#include "tarndb/journal.h"
#include "tarndb/stream.h"

namespace tarn {

// What the file object needs from its owning database: the session's lock settings and
// the progress events of compression and encryption.
enum class TStoredDataProgress { Compress, Uncompress, Encrypt, Decrypt };

class TTarnDBFileOwner : public TDataProcessOwner {
public:
    virtual int LockRetryCount() const = 0;
    virtual int LockWaitTime() const = 0;
    // Progress of the compression and encryption modules on this file's values.
    virtual void StoredDataProgress(TStoredDataProgress, int /*percent*/) {}

private:
    void OnCompressProgress(int p) final { StoredDataProgress(TStoredDataProgress::Compress, p); }
    void OnUncompressProgress(int p) final {
        StoredDataProgress(TStoredDataProgress::Uncompress, p);
    }
    void OnEncryptProgress(int p) final { StoredDataProgress(TStoredDataProgress::Encrypt, p); }
    void OnDecryptProgress(int p) final { StoredDataProgress(TStoredDataProgress::Decrypt, p); }
};

class TTarnDBFileIO {
public:
    static constexpr int kDefaultLockRetryCount = 20;
    static constexpr int kDefaultLockWaitTime = 100;

    // `owner` may be null (the lock then uses the defaults 20 and 100 ms).
    TTarnDBFileIO(TTarnDBFileOwner* owner, TTarnDBMediumType medium, bool exclusive);
    ~TTarnDBFileIO();
    TTarnDBFileIO(const TTarnDBFileIO&) = delete;
    TTarnDBFileIO& operator=(const TTarnDBFileIO&) = delete;

    // Opens the storage; does nothing when it is already open.
    void OpenStorage(const std::string& name, TTarnDBMediumType medium, bool exclusive);
    // Disk: closes the file. Memory: forgets the caller's stream (never frees it).
    void CloseStorage();
    bool IsOpen() const { return disk_ != nullptr || memory_ != nullptr; }
    bool IsFlushed() const;
    void FlushStorage();
    // Called on the writing thread by the first write after a flush (disk only).
    void SetDirtyHandler(std::function<void()> handler) { onDirty_ = std::move(handler); }
    // True when the password opens the database (always for a database stored without
    // encryption; false while closed).
    bool CheckPassword(const std::string& password);

    // ---- locks ----
    // Who may read and who may write the file is settled by lock states, taken as
    // byte-range locks of the open (they hold between processes and between two opens in
    // one process alike); a memory image keeps the same states for the database objects of
    // this process that share it, in a table of its own:
    //   SHARED     a read lock on byte 1: the holder reads one committed state of the file.
    //              Every operation that reads takes it for its whole length; a read
    //              transaction (AcquireReadLock held across operations) keeps it longer.
    //   RESERVED   a write lock on byte 3, beside SHARED: the holder means to write. At most
    //              one connection holds it; readers go on meanwhile. A transaction takes it
    //              when it starts and keeps it to its end, so that nothing it read can be
    //              changed by another writer before it commits (no lost update).
    //   PENDING    a write lock on byte 2, taken by the RESERVED holder that is about to
    //              write the file: new readers, who read-lock byte 2 with SHARED and let it
    //              go at once, wait, so that a stream of readers cannot starve a commit.
    //   EXCLUSIVE  the write lock on byte 1: waits until the readers have left; the file is
    //              written only under it (a commit, a transaction's early writes, a write
    //              outside a transaction, a repair, the rollback of a hot journal).
    // A journal beside the file is hot when its writer holds no RESERVED any more (one that
    // died, or whose rollback failed): whoever takes SHARED and finds one takes RESERVED and
    // EXCLUSIVE and rolls it back first (RecoverJournal below). While another connection
    // does so, the taker steps back and tries again.
    //
    // AcquireFileLock / ReleaseFileLock: the lock for writing, re-entrant within this
    // object. Outside a transaction it takes RESERVED, PENDING and EXCLUSIVE for its length
    // (one write operation); inside one, whose writes stay in memory until the commit, the
    // transaction's RESERVED does. A connection opened for reading only takes SHARED.
    // AcquireReadLock / ReleaseReadLock: SHARED, re-entrant, also within the lock for writing.
    // A write made under the read lock alone (a repair found while reading) takes RESERVED
    // and EXCLUSIVE then, kept until the read lock in which it was made is released.
    // Waiting: each try that fails waits the owner's LockWaitTime, LockRetryCount times (0:
    // for ever), then raises EDatabaseError "Wait for unlock time out: database file '%s'
    // ..." saying whether another connection's transaction holds the file or readers keep
    // it; at once where waiting could only end in two connections waiting for each other
    // (this one holds SHARED and wants RESERVED while the holder of RESERVED wants
    // EXCLUSIVE). A hot journal's rollback raises as RecoverJournal does: a journal that does
    // not belong to the file as it is (journal.h), or that a later release wrote, is left in
    // place and nothing is written: EDatabaseError "Journal '%s' does not belong to database
    // file '%s' (...); ..."; a read-only open cannot roll back and raises "Database file '%s'
    // has an unfinished transaction in '%s'; open it for writing to roll it back"; a journal
    // played back that cannot be removed raises EInOutError naming the folder that must be
    // writable.
    void AcquireFileLock();
    void ReleaseFileLock();
    void AcquireReadLock();
    void ReleaseReadLock();
    // Names the current holding of SHARED: a new value each time it is newly taken, kept
    // until it is dropped. While it stays the same, no other writer has touched the file. 0
    // when no lock is held, and always for a memory database.
    uint64_t LockEpoch() const { return disk_ && hold_.shared ? lockEpoch_ : 0; }

    // ---- transactions ----
    // Between BeginTransaction and CommitTransaction (or RollbackTransaction) the writes
    // through this object form one unit. BeginTransaction takes SHARED and RESERVED (see
    // the locks above; it raises the time-out and starts nothing when another connection's
    // transaction keeps RESERVED), held to the end: other connections read the last
    // committed state meanwhile and wait to write. The commit (and a spill of early
    // writes) takes EXCLUSIVE; a time-out there fails the commit, which is rolled back.
    // Disk: overwrites of bytes the file held at the first write are kept in memory (page
    // copies, which every read here sees) and written at commit, after the bytes they
    // replace were saved in the journal; appended bytes are kept in memory too and written
    // first at commit (nothing refers to them before the overwrites; a rollback cuts off
    // what reached the file). Beyond kSpillBytes of either, they are written early the same
    // way. Memory: the same page copies and appended bytes kept until the commit (another
    // database object on the image sees none of them, and a rollback leaves the image
    // alone); the commit writes them to the stream after saving the old pages in a journal
    // in memory, which puts them back when a write fails part-way.
    // Commit with SyncCommit: journal and its directory synced before the first overwrite,
    // the file synced before the journal is removed (the commit point), the directory
    // synced after the removal. Without it, none; a removal left unsynced is synced by the
    // next FlushStorage.
    // Errors: "A transaction is already active", "No transaction is active"; a commit that
    // fails rolls the transaction back and raises the failure, unless it failed past the
    // commit point (the directory sync after the removal), which undoes nothing:
    // LastCommitCommitted() tells the two apart. A journal that cannot be created raises
    // EFOpenError naming the journal, the database and the cause (a folder that must be
    // writable, a name taken by a directory or other non-file).
    // Appended bytes written early go out only after the journal's header (which records
    // the original length) is in place, so that a rollback or recovery cuts them off.
    static constexpr int64_t kPageSize = 4096;
    static constexpr size_t kSpillBytes = 32u << 20;
    // The spill threshold for this object (kSpillBytes unless set; tests set a small one).
    void SetSpillBytes(size_t bytes) { spillBytes_ = bytes; }
    static constexpr int64_t kTailChunk = 1 << 20;
    void BeginTransaction();
    void CommitTransaction();
    void RollbackTransaction();
    bool InTransaction() const { return txn_.active; }
    // Whether the last CommitTransaction reached its commit point (true also when it raised
    // after it); false before any commit and after one that raised and was rolled back.
    bool LastCommitCommitted() const { return lastCommitCommitted_; }
    bool ImplicitTransaction() const { return txn_.active && txn_.implicit; }
    bool SyncCommit() const { return syncCommit_; }
    void SetSyncCommit(bool value) { syncCommit_ = value; }
    // For one write operation outside a transaction that must not be seen half done: a
    // transaction of its own (old pages journalled before each first overwrite, written
    // through, never synced; in memory for a memory database, so that a stream that fails
    // part-way leaves the old bytes). Nothing when a transaction is active, the file is
    // read-only, or no journal can be made because this user may not write the folder of
    // the disk file: the caller must then write so that a crash leaves the old value or the
    // new (new bytes out of place, one write to switch to them). Returns whether it started
    // one.
    bool BeginImplicitTransaction();

    // Positioned reads of whole structures: raise the damaged-file error when the bytes lie
    // outside the file.
    void ReadAt(int64_t offset, size_t count, void* buffer);
    // A pointer to `count` bytes at `offset`, valid until the next call on this object;
    // raises the damaged-file error when they lie outside the file.
    const uint8_t* View(int64_t offset, size_t count);
    // The same bytes where the file is mapped, else read into `copy` (room for `count`
    // bytes) or into `scratch` (made to fit), and valid as long as that is.
    const uint8_t* ViewOrRead(int64_t offset, size_t count, uint8_t* copy) {
        if (const uint8_t* p = View(offset, count)) return p;
        ReadAt(offset, count, copy);
        return copy;
    }
    const uint8_t* ViewOrRead(int64_t offset, size_t count, std::vector<uint8_t>& scratch) {
        if (const uint8_t* p = View(offset, count)) return p;
        scratch.resize(count);
        ReadAt(offset, count, scratch.data());
        return scratch.data();
    }
    // Whether the bytes at `offset` are `bytes` (false also when they lie outside the file
    // or the file cannot be looked at without a copy). Safe without the lock, also against
    // a file another program cuts meanwhile: a caller holding a copy asks it whether the
    // copy is still good before using it.
    bool StillHolds(int64_t offset, const uint8_t* bytes, size_t count);
    void WriteAt(int64_t offset, const void* buffer, size_t count);
    int64_t FileSize();

    void ReadTableHeader(int table, format::TableHeader& header);
    void WriteTableHeader(int table, const format::TableHeader& header);
    // Rewrites `count` bytes of table `table`'s header starting at `from` (relative).
    void WriteTableHeaderPart(int table, const format::TableHeader& header, size_t from,
                              size_t count);
    void ListTableNames(std::vector<std::string>& names);
    int TableCount() const { return directory_.TableCount(); }
    int32_t TableOffset(int table) const;

    void ReadRecordTable(const format::TableHeader& header,
                         std::vector<format::RecordTabItem>& items, std::vector<int32_t>& blocks);
    void ReadIndexTable(const format::TableHeader& header, int index,
                        std::vector<format::IndexTabItem>& items, std::vector<int32_t>& blocks);
    // Walks a chain of item blocks holding `total` items (`what` names it in errors),
    // noting each block's offset in `blocks` and handing its items to
    // `take(firstItem, bytes, count)` when there is a `take`. The bytes are valid during the
    // call only, and `take` must not read the file.
    void ReadBlockChain(int32_t first, int32_t total, int32_t blockSize,
                        std::vector<int32_t>& blocks, const char* what,
                        const std::function<void(int64_t, const uint8_t*, int64_t)>& take);
    // The two steps of ReadBlockChain, for a chain read a block at a time: the check that
    // `total` items fit in the file, and the read of block number `blk` at `offset` into
    // `block` (resized to blockSize), which returns the next block's offset.
    void CheckBlockChain(int32_t total, int32_t blockSize, const char* what);
    int32_t ReadChainBlock(int32_t offset, int64_t blk, int32_t blockSize,
                           std::vector<uint8_t>& block, const char* what);
    // Sets the Deleted flag of the record-table item at `itemOffset`.
    void MarkDeleted(int64_t itemOffset);
    // Reads one field of the record whose record-table item is at `itemOffset`: the slot
    // (or, for a blob, its descriptor and stored bytes), decoded into `dest`.
    void ReadFieldValue(int64_t itemOffset, int32_t slotOffset, int32_t slotSize, bool blob,
                        bool decrypt, bool decompress, TStream& dest);

    // Reads the blob whose 20-byte descriptor is at `descriptorOffset` and decodes its
    // stored bytes into `dest` (replacing its contents; positioned at its end). Values of
    // up to kMappedBlobRead stored bytes are copied from the mapping, larger ones read.
    static constexpr int32_t kMappedBlobRead = 64 * 1024;
    void ReadBlobValue(int64_t descriptorOffset, bool decrypt, bool decompress,
                       TMemoryStream& dest);

    // Stored values on their way to and from the file, through the compression and
    // encryption modules the file names (one unit at a time, under the transform lock).
    // Without compression or encryption asked for, they copy.
    void EncodeStoredStream(TMemoryStream& source, TMemoryStream& dest, bool compress,
                            bool encrypt);
    void DecodeStoredStream(TMemoryStream& source, TMemoryStream& dest, bool compress,
                            bool encrypt);
    void EncodeStoredBuffer(const uint8_t* source, uint8_t* dest, bool encrypt, size_t count);
    void DecodeStoredBuffer(const uint8_t* source, uint8_t* dest, bool encrypt, size_t count);
    // Decrypts the slots of one record together (each as DecodeStoredBuffer would).
    void DecryptStoredSlots(std::span<const TCipherUnit> slots) {
        codec_.DecryptStoredUnits(slots);
    }

    const std::string& FileName() const { return fileName_; }
    // Where this database's rollback journal goes (disk only): named after the file's real
    // path when it was opened (journal::JournalPath), whatever name or directory it was
    // opened by or from.
    const std::string& JournalPath() const { return journalPath_; }
    TTarnDBMediumType Medium() const { return medium_; }
    bool Exclusive() const { return exclusive_; }
    bool ReadOnly() const { return readOnly_; }
    // The next OpenStorage of a disk file opens it for reading only, whatever its
    // permissions.
    void SetOpenReadOnly(bool value) { openReadOnly_ = value; }
    const format::DatabaseInfo& Info() const { return info_; }
    const format::TableDirectory& Directory() const { return directory_; }
    // Re-reads the table directory (tables may have been added since the open).
    void ReloadDirectory();

    // Raises EDatabaseError "Database file '<name>' is damaged: <detail>".
    [[noreturn]] void Damaged(const std::string& detail) const;

private:
    void OpenDisk(const std::string& name, bool exclusive);
    void OpenMemory(const std::string& name);
    void CheckHead(const uint8_t* head, const std::string& name);
    // Reads the information block and the directory; `start`, when given, holds the first
    // kDirOffset + kDirSize bytes of the file, read already.
    void ReadSettings(const uint8_t* start = nullptr);
    void CheckDirectory() const;
    // The reads of the file as it is, without a transaction's page copies or appended
    // bytes kept in memory.
    void ReadStored(int64_t offset, size_t count, void* buffer);
    const uint8_t* ViewStored(int64_t offset, size_t count);
    // Lays the transaction's page copies over `count` bytes read at `offset`.
    void Overlay(int64_t offset, size_t count, uint8_t* buffer);
    // Whether a page copy covers any of [offset, offset + count).
    bool OverlayTouches(int64_t offset, size_t count) const;
    void StartTransaction(bool implicit);
    // The first write of a transaction: takes the lock, notes the file's length.
    void StartWriting();
    void WriteInTransaction(int64_t offset, const uint8_t* buffer, size_t count);
    void WriteStored(int64_t offset, const void* buffer, size_t count);
    // Copies `count` of the transaction's appended bytes kept in memory at `offset` into
    // `out`, or (with `in`) from `in` into them.
    void CopyTail(int64_t offset, uint8_t* out, const uint8_t* in, size_t count);
    // Writes the appended bytes kept in memory to the file.
    void FlushTail();
    // Saves the original bytes of pages `pages` in the journal (creating it first; with no
    // pages, only its header). The first pages saved on a disk file come with page 0, and
    // the file is then stamped with the journal's salt (journal.h).
    void JournalPages(const std::vector<int64_t>& pages);
    // Journals the page copies, writes them to the file and drops them: the two steps
    // JournalCopies (the pages not saved yet) and WriteCopies.
    void SpillCopies();
    void JournalCopies();
    void WriteCopies();
    void UndoTransaction();
    // Copies the saved pages of a valid journal back into the file, page 0 (the stamp) last;
    // `durable`: synced before page 0 where the journal's file had no stamp before.
    void PlayBack(const journal::Contents& c, bool durable);
    void EndTransaction();
    // Ends a transaction that cannot be finished: undone as far as possible, then ended.
    void AbandonTransaction();
    void RemoveJournalFile();
    // Syncs the directory after a journal's removal, if one is owed.
    void SyncRemovedJournal();
    // Rolls back (or removes) a journal found beside the file; the lock is held.
    void RecoverJournal();
    // Why the valid journal `c` does not belong to the file as it is now; empty when it does.
    std::string JournalMismatch(const journal::Contents& c);
    // Creates the journal file, or raises EFOpenError saying why it cannot be.
    std::unique_ptr<File> CreateJournalFile();

    struct Transaction {
        bool active = false;
        bool implicit = false;
        bool writing = false;  // the first write was made: the lock is held
        bool cached = false;   // overwrites kept as page copies until commit
        int64_t originalLength = 0;
        std::vector<std::unique_ptr<uint8_t[]>> copies;  // by page number
        std::vector<int64_t> dirty;                      // pages with a copy
        std::vector<uint8_t> journalled;                 // by page: saved in the journal
        size_t copyBytes = 0;
        // Appended bytes kept in memory: [tailBase, tailBase + tailLength) of the file, in
        // chunks that never move (so Views into them stay valid until the end).
        int64_t tailBase = 0;
        int64_t tailLength = 0;
        std::vector<std::unique_ptr<uint8_t[]>> tailChunks;
        uint32_t salt = 0;
        std::unique_ptr<File> journalFile;   // disk
        int64_t journalSize = 0;             // bytes written to the journal file
        std::vector<uint8_t> journalMemory;  // memory databases
        bool journalStarted = false;
        bool stamped = false;       // the file carries this journal's salt as its stamp
        bool stampedFirst = false;  // the file carried no stamp before this journal's
        bool locked = false;        // holds RESERVED (or, read-only, SHARED) since it began
        bool exclusive = false;     // took EXCLUSIVE (early writes, the commit) to its end
    } txn_;
    // Page buffers and scratch kept from one transaction to the next: freed and allocated
    // again at every commit, they would be handed back to the system and faulted in anew.
    std::vector<std::unique_ptr<uint8_t[]>> sparePages_;  // at most kSparePages
    std::vector<uint8_t> journalScratch_;
    std::vector<uint8_t> spillScratch_;
    std::unique_ptr<uint8_t[]> TakePageBuffer();
    void ReturnPageBuffer(std::unique_ptr<uint8_t[]> page);
    bool syncCommit_ = true;
    bool lastCommitCommitted_ = false;
    size_t spillBytes_ = kSpillBytes;
    std::string journalPath_;
    // A journal was removed without syncing its directory: the next flush does.
    std::atomic<bool> journalRemovalOwed_{false};
    std::vector<uint8_t> viewScratch_[4];  // Views assembled from page copies and the file
    size_t nextScratch_ = 0;

    TTarnDBFileOwner* owner_;
    TTarnDBMediumType medium_;
    bool exclusive_;
    std::string fileName_;
    std::unique_ptr<TTarnDBFileStream> disk_;
    TMemoryStream* memory_ = nullptr;
    bool readOnly_ = false;
    bool openReadOnly_ = false;
    // ---- lock states (see the locks above) ----
    struct LockHolding {
        bool shared = false, reserved = false, pending = false, exclusive = false;
    } hold_;
    int readDepth_ = 0;   // read locks held (guards, read transactions)
    int writeDepth_ = 0;  // locks for writing held
    // A write under the read lock alone took EXCLUSIVE: kept while readDepth_ stays at least
    // this (0: none).
    int exclusiveAtRead_ = 0;
    uint64_t lockEpoch_ = 0;
    enum class LockWait { Shared, Reserved, Exclusive };
    // Tries `attempt` until it succeeds, waiting between tries as the owner says; raises
    // the time-out naming what was waited for. `deadlock`, when given, ends the wait at once
    // when it returns true.
    void WaitForLock(LockWait what, const std::function<bool()>& attempt,
                     const std::function<bool()>& deadlock = {});
    [[noreturn]] void LockTimeOut(LockWait what);
    // Lock bytes [byte, byte + count), all or none.
    bool LockTry(int64_t byte, bool write, int64_t count = 1);
    void LockDrop(int64_t byte, int64_t count = 1);
    bool LockOthers(int64_t byte);
    // SHARED from nothing, then a hot journal rolled back.
    void TakeShared();
    // RESERVED, from nothing or from SHARED.
    void TakeReserved();
    // PENDING and EXCLUSIVE, from RESERVED.
    void TakeExclusive();
    // A write is about to reach the file (or its journal): EXCLUSIVE is held, or taken now.
    void EnsureExclusive();
    // Drops what is no longer needed by the holdings left.
    void SettleLocks();
    // Under SHARED (and RESERVED, when held) with a journal beside the file: rolls it back.
    void RollBackHotJournal();
    // Forgets every lock `holder` holds on the memory image `stream`.
    static void DropMemoryLocks(const void* stream, const void* holder);
    format::DatabaseInfo info_;
    format::TableDirectory directory_;
    TStoredDataCodec codec_;
    std::function<void()> onDirty_;
};

// Takes the read lock (SHARED) for a scope.
class ReadLockGuard {
public:
    explicit ReadLockGuard(TTarnDBFileIO& io) : io_(io) { io_.AcquireReadLock(); }
    ~ReadLockGuard() { io_.ReleaseReadLock(); }
    ReadLockGuard(const ReadLockGuard&) = delete;
    ReadLockGuard& operator=(const ReadLockGuard&) = delete;

private:
    TTarnDBFileIO& io_;
};

// Takes the lock for writing for a scope.
class FileLockGuard {
public:
    explicit FileLockGuard(TTarnDBFileIO& io) : io_(io) { io_.AcquireFileLock(); }
    ~FileLockGuard() { io_.ReleaseFileLock(); }
    FileLockGuard(const FileLockGuard&) = delete;
    FileLockGuard& operator=(const FileLockGuard&) = delete;

private:
    TTarnDBFileIO& io_;
};

// A write operation that must not be seen half done, run as a transaction of its own when
// none is active (see BeginImplicitTransaction): Commit ends it; leaving the scope without
// (an exception) rolls it back.
class ImplicitTransaction {
public:
    ImplicitTransaction(TTarnDBFileIO& io, bool wanted)
        : io_(io), own_(wanted && io.BeginImplicitTransaction()) {}
    ~ImplicitTransaction() {
        if (!own_) return;
        try {
            io_.RollbackTransaction();
        } catch (...) {
            // The journal stays; the next taking of the lock rolls it back.
        }
    }
    ImplicitTransaction(const ImplicitTransaction&) = delete;
    ImplicitTransaction& operator=(const ImplicitTransaction&) = delete;
    void Commit() {
        if (!own_) return;
        own_ = false;
        io_.CommitTransaction();
    }

private:
    TTarnDBFileIO& io_;
    bool own_;
};

}  // namespace tarn

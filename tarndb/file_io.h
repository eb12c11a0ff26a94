// TTarnDBFileIO: the one object through which a connected database reaches its storage.
// It opens the database as a disk file or as a caller's memory stream, checks the file
// head, reads the database settings and the table directory, guards table operations with
// the cross-process lock on byte 1 of the file, serves positioned reads (through a mapping
// for disk files) and writes, and flushes on request.
//
// Owned by its database (TTarnDatabase); used from the thread that owns the database.
// Errors: EDatabaseError with the literal messages ("Cannot open file %s", "Database file
// '%s' is a invalid TarnDB", "Version 1.00 is not compatible", "Version of database file
// is too High", "Invalid database name '%s'", "Wait for unlock time out"), and for a
// damaged file "Database file '%s' is damaged: ..." naming what is wrong and where; the
// platform's EFOpenError when the system refuses the open.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataproc/stored_codec.h"
#include "tarndb/defs.h"
#include "tarndb/file_format.h"
#include "tarndb/file_stream.h"
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

    // The cross-process lock on byte 1 (disk only; in memory nothing). Re-entrant within
    // this object: only the outermost acquire takes the system lock.
    void AcquireFileLock();
    void ReleaseFileLock();

    // Positioned reads of whole structures: raise the damaged-file error when the bytes lie
    // outside the file.
    void ReadAt(int64_t offset, size_t count, void* buffer);
    // A pointer to `count` bytes at `offset`, valid until the next call on this object;
    // raises the damaged-file error when they lie outside the file.
    const uint8_t* View(int64_t offset, size_t count);
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

    const std::string& FileName() const { return fileName_; }
    TTarnDBMediumType Medium() const { return medium_; }
    bool Exclusive() const { return exclusive_; }
    bool ReadOnly() const { return readOnly_; }
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
    void ReadSettings();
    // Walks a chain of item blocks holding `total` items, handing each block's items to
    // `take(firstItem, bytes, count)`.
    void ReadBlockChain(int32_t first, int32_t total, int32_t blockSize,
                        std::vector<int32_t>& blocks, const char* what,
                        const std::function<void(int64_t, const uint8_t*, int64_t)>& take);

    TTarnDBFileOwner* owner_;
    TTarnDBMediumType medium_;
    bool exclusive_;
    std::string fileName_;
    std::unique_ptr<TTarnDBFileStream> disk_;
    TMemoryStream* memory_ = nullptr;
    bool readOnly_ = false;
    int lockDepth_ = 0;
    format::DatabaseInfo info_;
    format::TableDirectory directory_;
    TStoredDataCodec codec_;
    std::function<void()> onDirty_;
};

// Takes the file lock for a scope.
class FileLockGuard {
public:
    explicit FileLockGuard(TTarnDBFileIO& io) : io_(io) { io_.AcquireFileLock(); }
    ~FileLockGuard() { io_.ReleaseFileLock(); }
    FileLockGuard(const FileLockGuard&) = delete;
    FileLockGuard& operator=(const FileLockGuard&) = delete;

private:
    TTarnDBFileIO& io_;
};

}  // namespace tarn

#include "tarndb/file_io.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <system_error>

#include "dataproc/standard_modules.h"
#include "platform/bytes.h"
#include "platform/os/env.h"
#include "platform/os/file_kind.h"
#include "platform/os/mapped_read.h"
#include "tarndb/errors.h"
#include "tarndb/memory_registry.h"

namespace tarn {

namespace b = tarn::bytes;
using namespace tarn::format;

namespace {
// The lock bytes (advisory locks; what the file holds there does not matter). Byte 1 is
// the one lock of earlier releases: their writers lock it for writing, so they and this
// release's readers and writers exclude each other as they should.
// A reader takes bytes 1 and 2 together and lets 2 go; a writer that finds nobody at all
// takes the three in one call.
constexpr int64_t kSharedByte = 1;    // read lock: SHARED; write lock: EXCLUSIVE
constexpr int64_t kPendingByte = 2;   // write lock: PENDING; readers read-lock it briefly
constexpr int64_t kReservedByte = 3;  // write lock: RESERVED
constexpr int64_t kLockBytes = 3;     // bytes 1..3
}  // namespace

TTarnDBFileIO::TTarnDBFileIO(TTarnDBFileOwner* owner, TTarnDBMediumType medium, bool exclusive)
    : owner_(owner), medium_(medium), exclusive_(exclusive), codec_(owner) {}

TTarnDBFileIO::~TTarnDBFileIO() {
    try {
        CloseStorage();
    } catch (...) {
    }
}

void TTarnDBFileIO::Damaged(const std::string& detail) const {
    throw EDatabaseError(
        Format("Database file '%s' is damaged: %s", fileName_.c_str(), detail.c_str()));
}

void TTarnDBFileIO::OpenStorage(const std::string& name, TTarnDBMediumType medium, bool exclusive) {
    if (IsOpen()) return;
    medium_ = medium;
    exclusive_ = exclusive;
    if (medium == TTarnDBMediumType::mtMemory)
        OpenMemory(name);
    else
        OpenDisk(name, exclusive);
}

void TTarnDBFileIO::CheckHead(const uint8_t* head, const std::string& name) {
    std::span<const uint8_t, kHeadSize> h(head, kHeadSize);
    if (!HasMagic(h))
        throw EDatabaseError(Format("Database file '%s' is an invalid TarnDB", name.c_str()));
    switch (CheckVersion(h)) {
        case HeadCheck::Version100:
            throw EDatabaseError("Version 1.00 is not compatible");
        case HeadCheck::VersionTooHigh:
            throw EDatabaseError("Version of database file is too High");
        default:
            break;
    }
}

void TTarnDBFileIO::OpenDisk(const std::string& name, bool exclusive) {
    Env* env = CurrentEnv();
    if (!env->FileExists(name)) throw EDatabaseError(Format("Cannot open file %s", name.c_str()));
    bool readOnly = openReadOnly_ || env->IsReadOnly(name);
    // One open does for the check and for good: it shares the file as the final open must,
    // so it fails while another holds the file exclusively, and a file that turns out not to
    // be a database is closed again before anything else happens.
    auto file = env->OpenFile(name, readOnly ? OpenAccess::ReadOnly : OpenAccess::ReadWrite,
                              exclusive ? OpenSharing::Exclusive : OpenSharing::Shared);
    // The head, the information block and the directory lie together at the start of the
    // file: one read brings all three, without mapping the file for a few small reads.
    std::vector<uint8_t> start(static_cast<size_t>(kDirOffset + kDirSize));
    size_t got = file->ReadAt(kHeadOffset, start.data(), start.size());
    if (got < static_cast<size_t>(kHeadSize))
        throw EDatabaseError(Format("Database file '%s' is an invalid TarnDB", name.c_str()));
    CheckHead(start.data(), name);
    disk_ = std::make_unique<TTarnDBFileStream>(std::move(file));
    disk_->OnDirty = [this] {
        if (onDirty_) onDirty_();
    };
    readOnly_ = readOnly;
    fileName_ = name;
    // The journal belongs to the file, not to the name it was opened by: a symbolic link or
    // a working directory changed before a commit must not put it elsewhere.
    journalPath_ = journal::JournalPath(name);
    try {
        // A transaction of a writer that died is undone before anything is read; what was
        // read above may be older than the playback, so it is read again then.
        if (env->FileExists(JournalPath())) {
            ReadLockGuard recover(*this);  // rolls a hot journal back first
            ReadSettings();
        } else if (got == start.size()) {
            ReadSettings(start.data());
        } else {
            ReadSettings();  // a file cut short: the reads report where
        }
    } catch (...) {
        // The file is of no use without its settings; leave the object closed.
        CloseStorage();
        throw;
    }
}

void TTarnDBFileIO::OpenMemory(const std::string& name) {
    TMemoryStream* stream = LookupMemoryStream(name);
    if (stream == nullptr) throw EDatabaseError(Format("Invalid database name '%s'", name.c_str()));
    if (stream->Size() < kHeadSize)
        throw EDatabaseError(Format("Database file '%s' is an invalid TarnDB", name.c_str()));
    CheckHead(stream->Memory(), name);
    memory_ = stream;
    readOnly_ = false;
    fileName_ = name;
    try {
        ReadSettings();
    } catch (...) {
        CloseStorage();
        throw;
    }
}

void TTarnDBFileIO::ReadSettings(const uint8_t* start) {
    if (start != nullptr)
        std::memcpy(info_.raw.data(), start + kInfoOffset, kInfoSize);
    else
        ReadAt(kInfoOffset, kInfoSize, info_.raw.data());
    RegisterStandardModules();
    codec_.SelectModules(info_.Compressed(), info_.CompressModuleName(), info_.Encrypted(),
                         info_.EncryptModuleName(), info_.EncryptMode());
    if (start != nullptr) {
        std::memcpy(directory_.raw.data(), start + kDirOffset, kDirSize);
        CheckDirectory();
    } else {
        ReloadDirectory();
    }
}

void TTarnDBFileIO::ReloadDirectory() {
    ReadAt(kDirOffset, kDirSize, directory_.raw.data());
    CheckDirectory();
}

void TTarnDBFileIO::CheckDirectory() const {
    int32_t count = directory_.TableCount();
    if (count < 0 || count > kMaxTables)
        Damaged(Format("table count %d in the directory is outside 0..%d", count, kMaxTables));
}

void TTarnDBFileIO::CloseStorage() {
    if (txn_.active) AbandonTransaction();  // closing undoes an unfinished transaction
    // Closing the file drops the locks with it (the image's are dropped here); nothing may
    // stay locked behind us.
    if (memory_) DropMemoryLocks(memory_, this);
    hold_ = LockHolding{};
    readDepth_ = writeDepth_ = exclusiveAtRead_ = 0;
    disk_.reset();
    memory_ = nullptr;
}

bool TTarnDBFileIO::IsFlushed() const {
    if (memory_ != nullptr || !disk_) return true;
    return disk_->Flushed();
}

void TTarnDBFileIO::FlushStorage() {
    if (!disk_) return;
    // A removed journal first: once the flush is done, none can come back to undo it.
    SyncRemovedJournal();
    disk_->Flush();
}

bool TTarnDBFileIO::CheckPassword(const std::string& password) {
    if (!IsOpen()) return false;
    if (!info_.Encrypted()) return true;
    return codec_.CheckPassword(password, info_.PasswordCheck());
}

// ---- locks ----------------------------------------------------------------------------------

// The lock bytes of a memory image, for the database objects of this process that share it
// (a stream's image has no other users): by stream, by byte, the holders and whether each
// holds the byte for writing.
namespace {
struct MemoryLockTable {
    std::mutex mutex;
    std::map<const void*, std::map<int64_t, std::map<const void*, bool>>> held;
};
MemoryLockTable& MemoryLocks() {
    // Never destroyed: a database object that outlives the statics still drops its locks.
    static MemoryLockTable* table = new MemoryLockTable;
    return *table;
}
}  // namespace

void TTarnDBFileIO::DropMemoryLocks(const void* stream, const void* holder) {
    MemoryLockTable& t = MemoryLocks();
    std::lock_guard<std::mutex> guard(t.mutex);
    auto image = t.held.find(stream);
    if (image == t.held.end()) return;
    for (auto byte = image->second.begin(); byte != image->second.end();) {
        byte->second.erase(holder);
        byte = byte->second.empty() ? image->second.erase(byte) : std::next(byte);
    }
    if (image->second.empty()) t.held.erase(image);
}

bool TTarnDBFileIO::LockTry(int64_t byte, bool write, int64_t count) {
    if (memory_) {
        MemoryLockTable& t = MemoryLocks();
        std::lock_guard<std::mutex> guard(t.mutex);
        auto& bytes = t.held[memory_];
        for (int64_t b = byte; b < byte + count; ++b)
            for (const auto& [holder, writing] : bytes[b])
                if (holder != this && (write || writing)) return false;
        for (int64_t b = byte; b < byte + count; ++b) bytes[b][this] = write;
        return true;
    }
    File& f = disk_->PlatformFile();
    if (count != 1) return f.TryLockRange(byte, count, write);
    return write ? f.TryLockByte(byte) : f.TryReadLockByte(byte);
}

void TTarnDBFileIO::LockDrop(int64_t byte, int64_t count) {
    if (memory_) {
        MemoryLockTable& t = MemoryLocks();
        std::lock_guard<std::mutex> guard(t.mutex);
        auto image = t.held.find(memory_);
        if (image == t.held.end()) return;
        for (int64_t b = byte; b < byte + count; ++b) {
            auto holders = image->second.find(b);
            if (holders == image->second.end()) continue;
            holders->second.erase(this);
            if (holders->second.empty()) image->second.erase(holders);
        }
        if (image->second.empty()) t.held.erase(image);
        return;
    }
    if (count != 1)
        disk_->PlatformFile().UnlockRange(byte, count);
    else
        disk_->PlatformFile().UnlockByte(byte);
}

bool TTarnDBFileIO::LockOthers(int64_t byte) {
    if (memory_) {
        MemoryLockTable& t = MemoryLocks();
        std::lock_guard<std::mutex> guard(t.mutex);
        auto image = t.held.find(memory_);
        if (image == t.held.end()) return false;
        auto holders = image->second.find(byte);
        if (holders == image->second.end()) return false;
        for (const auto& entry : holders->second)
            if (entry.first != this) return true;
        return false;
    }
    return disk_->PlatformFile().LockHeldElsewhere(byte);
}

void TTarnDBFileIO::LockTimeOut(LockWait what) {
    const char* why;
    if (what == LockWait::Exclusive)
        why = "is being read by another connection";
    else if (LockOthers(kReservedByte))
        why = "is locked by another connection's transaction";
    else
        why = "is locked by another connection";
    throw EDatabaseError(
        Format("Wait for unlock time out: database file '%s' %s", fileName_.c_str(), why));
}

void TTarnDBFileIO::WaitForLock(LockWait what, const std::function<bool()>& attempt,
                                const std::function<bool()>& deadlock) {
    const int retries = owner_ ? owner_->LockRetryCount() : kDefaultLockRetryCount;
    const int wait = owner_ ? owner_->LockWaitTime() : kDefaultLockWaitTime;
    for (int failures = 0; !attempt();) {
        if (deadlock && deadlock()) LockTimeOut(what);
        if (retries != 0 && ++failures > retries) LockTimeOut(what);
        CurrentEnv()->SleepMs(wait);
    }
}

void TTarnDBFileIO::TakeShared() {
    WaitForLock(LockWait::Shared, [this] {
        // SHARED with PENDING read-locked (the byte after) in one call, then PENDING let go:
        // while a writer holds PENDING, waiting for the readers there are to leave, no new
        // reader comes in.
        if (!LockTry(kSharedByte, false, 2)) return false;
        LockDrop(kPendingByte);
        hold_.shared = true;
        ++lockEpoch_;
        if (!disk_) return true;  // an image's journal lives and dies with its transaction
        // Writers of this format only ever grow the file, but another program may have cut
        // it: the reads under this lock look at its size again before they use the mapping.
        disk_->RecheckLength();
        if (!CurrentEnv()->FileExists(JournalPath())) return true;
        // A journal while SHARED could be had: its writer is gone (a live one holds
        // EXCLUSIVE while its journal exists) or another connection is rolling it back.
        if (readOnly_ || hold_.reserved || LockTry(kReservedByte, true)) {
            const bool tookReserved = !readOnly_ && !hold_.reserved;
            if (tookReserved) hold_.reserved = true;
            auto dropTaken = [&] {
                if (!tookReserved) return;
                LockDrop(kReservedByte);
                hold_.reserved = false;
            };
            try {
                RollBackHotJournal();
            } catch (...) {
                dropTaken();
                LockDrop(kSharedByte);
                hold_.shared = false;
                throw;
            }
            dropTaken();
            return true;
        }
        // Another connection is rolling it back and waits for our SHARED: step back.
        LockDrop(kSharedByte);
        hold_.shared = false;
        return false;
    });
}

void TTarnDBFileIO::RollBackHotJournal() {
    if (readOnly_) {
        RecoverJournal();  // raises for a journal to play back; a torn one is left alone
        return;
    }
    TakeExclusive();
    try {
        // Another connection may have rolled it back before we got here.
        if (CurrentEnv()->FileExists(JournalPath())) RecoverJournal();
    } catch (...) {
        LockTry(kSharedByte, false);
        LockDrop(kPendingByte);
        hold_.exclusive = hold_.pending = false;
        throw;
    }
    LockTry(kSharedByte, false);  // back to SHARED: never fails from EXCLUSIVE
    LockDrop(kPendingByte);
    hold_.exclusive = hold_.pending = false;
}

void TTarnDBFileIO::TakeReserved() {
    if (hold_.reserved) return;
    // Holding SHARED already, this connection keeps a writer that holds RESERVED from its
    // commit: when that writer wants EXCLUSIVE (PENDING), waiting could only end in a
    // time-out on both sides.
    const bool holdsShared = hold_.shared;
    WaitForLock(
        LockWait::Reserved, [this] { return LockTry(kReservedByte, true); },
        [this, holdsShared] { return holdsShared && LockOthers(kPendingByte); });
    hold_.reserved = true;
}

void TTarnDBFileIO::TakeExclusive() {
    if (hold_.exclusive) return;
    if (!hold_.pending) {
        // Only a RESERVED holder takes PENDING: it is ours to have.
        WaitForLock(LockWait::Exclusive, [this] { return LockTry(kPendingByte, true); });
        hold_.pending = true;
    }
    try {
        WaitForLock(LockWait::Exclusive, [this] { return LockTry(kSharedByte, true); });
    } catch (...) {
        LockDrop(kPendingByte);
        hold_.pending = false;
        throw;
    }
    hold_.exclusive = true;
}

void TTarnDBFileIO::EnsureExclusive() {
    if (!IsOpen() || hold_.exclusive || readOnly_) return;
    if (txn_.active && txn_.locked) {
        // A transaction's writes reach the file: EXCLUSIVE from here to its end.
        TakeExclusive();
        txn_.exclusive = true;
        return;
    }
    // A write with no lock at all is its caller's affair (a file nobody else has open, as
    // the creator's or a test's); one under the read lock alone (a repair found while
    // reading) takes the right to write now.
    if (readDepth_ == 0 && writeDepth_ == 0) return;
    try {
        TakeReserved();
        TakeExclusive();
    } catch (...) {
        SettleLocks();
        throw;
    }
    if (exclusiveAtRead_ == 0) exclusiveAtRead_ = std::max(readDepth_, 1);
}

void TTarnDBFileIO::SettleLocks() {
    if (!IsOpen()) return;
    if (exclusiveAtRead_ > readDepth_) exclusiveAtRead_ = 0;
    const bool cachedTxn = txn_.active && txn_.cached;
    const bool needExclusive = (txn_.active && txn_.exclusive) ||
                               (writeDepth_ > 0 && !cachedTxn && !readOnly_) ||
                               exclusiveAtRead_ > 0;
    const bool needReserved = needExclusive || (txn_.active && txn_.locked && !readOnly_);
    const bool needShared =
        needReserved || readDepth_ > 0 || writeDepth_ > 0 || (txn_.active && txn_.locked);
    if (!needShared) {
        // All at once: one call drops whatever is held.
        if (hold_.shared || hold_.reserved || hold_.pending || hold_.exclusive) {
            if (disk_) disk_->ReleaseLength();
            LockDrop(kSharedByte, kLockBytes);
        }
        hold_ = LockHolding{};
        return;
    }
    if (!needExclusive && hold_.exclusive) {
        LockTry(kSharedByte, false);  // back to SHARED: never fails from EXCLUSIVE
        hold_.exclusive = false;
    }
    if (!needExclusive && hold_.pending) {
        LockDrop(kPendingByte);
        hold_.pending = false;
    }
    if (!needReserved && hold_.reserved) {
        LockDrop(kReservedByte);
        hold_.reserved = false;
    }
}

void TTarnDBFileIO::AcquireReadLock() {
    if (!IsOpen()) return;
    if (!hold_.shared) TakeShared();
    ++readDepth_;
}

void TTarnDBFileIO::ReleaseReadLock() {
    if (!IsOpen() || readDepth_ == 0) return;
    --readDepth_;
    SettleLocks();
}

void TTarnDBFileIO::AcquireFileLock() {
    if (!IsOpen()) return;
    if (readOnly_) {
        // Nothing is written through a read-only open (WriteAt refuses): SHARED will do.
        if (!hold_.shared) TakeShared();
        ++writeDepth_;
        return;
    }
    const bool cachedTxn = txn_.active && txn_.cached;
    if (!cachedTxn && !hold_.exclusive && !hold_.shared && !hold_.reserved &&
        LockTry(kSharedByte, true, kLockBytes)) {
        // Nobody else at all: RESERVED, PENDING and EXCLUSIVE in one call.
        hold_.shared = hold_.reserved = hold_.pending = hold_.exclusive = true;
        ++lockEpoch_;
        if (disk_) {
            disk_->RecheckLength();
            try {
                if (CurrentEnv()->FileExists(JournalPath())) RecoverJournal();
            } catch (...) {
                SettleLocks();
                throw;
            }
        }
        ++writeDepth_;
        return;
    }
    if (!cachedTxn && !hold_.exclusive) {
        try {
            TakeReserved();
            if (!hold_.shared) TakeShared();
            TakeExclusive();
        } catch (...) {
            SettleLocks();
            throw;
        }
    }
    ++writeDepth_;
}

void TTarnDBFileIO::ReleaseFileLock() {
    if (!IsOpen() || writeDepth_ == 0) return;
    --writeDepth_;
    SettleLocks();
}

int64_t TTarnDBFileIO::FileSize() {
    if (txn_.cached && txn_.writing) return txn_.tailBase + txn_.tailLength;
    if (memory_) return memory_->Size();
    if (disk_) return disk_->Size();
    throw EDatabaseError("Database is not open");
}

const uint8_t* TTarnDBFileIO::View(int64_t offset, size_t count) {
    if (offset < 0) Damaged(Format("negative offset %lld", static_cast<long long>(offset)));
    if (txn_.tailLength > 0 && count > 0 && offset + static_cast<int64_t>(count) > txn_.tailBase) {
        // Bytes the transaction appended and keeps in memory.
        if (offset >= txn_.tailBase &&
            offset + static_cast<int64_t>(count) <= txn_.tailBase + txn_.tailLength) {
            int64_t at = offset - txn_.tailBase;
            size_t chunk = static_cast<size_t>(at / kTailChunk);
            if ((at + static_cast<int64_t>(count) - 1) / kTailChunk ==
                    static_cast<int64_t>(chunk) &&
                txn_.tailChunks[chunk])
                return txn_.tailChunks[chunk].get() + at % kTailChunk;
        }
        std::vector<uint8_t>& scratch = viewScratch_[nextScratch_];
        nextScratch_ = (nextScratch_ + 1) % std::size(viewScratch_);
        scratch.resize(count);
        ReadAt(offset, count, scratch.data());
        return scratch.data();
    }
    if (!txn_.dirty.empty() && OverlayTouches(offset, count)) {
        int64_t size = FileSize();
        if (offset > size || static_cast<int64_t>(count) > size - offset)
            Damaged(Format("%zu bytes at offset %lld lie beyond the end of the file (%lld bytes)",
                           count, static_cast<long long>(offset), static_cast<long long>(size)));
        // Within one page copy: straight from it.
        int64_t page = offset / kPageSize;
        int64_t pageEnd = std::min((page + 1) * kPageSize, txn_.originalLength);
        if (offset + static_cast<int64_t>(count) <= pageEnd &&
            txn_.copies[static_cast<size_t>(page)])
            return txn_.copies[static_cast<size_t>(page)].get() + (offset - page * kPageSize);
        std::vector<uint8_t>& scratch = viewScratch_[nextScratch_];
        nextScratch_ = (nextScratch_ + 1) % std::size(viewScratch_);
        scratch.resize(count);
        ReadAt(offset, count, scratch.data());
        return scratch.data();
    }
    return ViewStored(offset, count);
}

const uint8_t* TTarnDBFileIO::ViewStored(int64_t offset, size_t count) {
    if (offset < 0) Damaged(Format("negative offset %lld", static_cast<long long>(offset)));
    if (memory_) {
        int64_t size = memory_->Size();
        if (offset > size || static_cast<int64_t>(count) > size - offset)
            Damaged(Format("%zu bytes at offset %lld lie beyond the end of the file (%lld bytes)",
                           count, static_cast<long long>(offset), static_cast<long long>(size)));
        return memory_->Memory() + offset;
    }
    if (!disk_) throw EDatabaseError("Database is not open");
    if (const uint8_t* p = disk_->View(offset, count)) return p;
    int64_t size = disk_->Size();
    if (offset > size || static_cast<int64_t>(count) > size - offset)
        Damaged(Format("%zu bytes at offset %lld lie beyond the end of the file (%lld bytes)",
                       count, static_cast<long long>(offset), static_cast<long long>(size)));
    return nullptr;  // mapping refused by the system: callers fall back to ReadAt
}

bool TTarnDBFileIO::StillHolds(int64_t offset, const uint8_t* bytes, size_t count) {
    // Without a transaction's bytes in memory the file answers through the guard, with or
    // without the lock; otherwise the transaction holds the lock and its view decides.
    if (disk_ && txn_.tailLength == 0 && txn_.dirty.empty()) {
        if (offset < 0) return false;
        return disk_->Holds(offset, bytes, count);
    }
    const uint8_t* p = View(offset, count);
    return p != nullptr && std::memcmp(p, bytes, count) == 0;
}

void TTarnDBFileIO::ReadAt(int64_t offset, size_t count, void* buffer) {
    auto* out = static_cast<uint8_t*>(buffer);
    if (txn_.tailLength > 0 && offset + static_cast<int64_t>(count) > txn_.tailBase && count > 0) {
        int64_t end = offset + static_cast<int64_t>(count);
        if (offset < 0 || end > txn_.tailBase + txn_.tailLength)
            Damaged(Format("%zu bytes at offset %lld lie beyond the end of the file (%lld bytes)",
                           count, static_cast<long long>(offset),
                           static_cast<long long>(FileSize())));
        int64_t split = std::max(offset, txn_.tailBase);
        if (split > offset) ReadAt(offset, static_cast<size_t>(split - offset), out);
        CopyTail(split, out + (split - offset), nullptr, static_cast<size_t>(end - split));
        return;
    }
    ReadStored(offset, count, buffer);
    if (!txn_.dirty.empty()) Overlay(offset, count, out);
}

void TTarnDBFileIO::CopyTail(int64_t offset, uint8_t* out, const uint8_t* in, size_t count) {
    // Chunks are not cleared when they are made: only bytes below the tail's end are ever
    // read, and each of them was written, or zeroed here: a gap a write leaves behind the
    // end in the chunks there are, and in a chunk made later, the bytes below the end that
    // its first write does not cover.
    const int64_t tailEnd = txn_.tailBase + txn_.tailLength;
    if (in && offset > tailEnd) {
        for (int64_t at = tailEnd - txn_.tailBase; at < offset - txn_.tailBase;) {
            size_t chunk = static_cast<size_t>(at / kTailChunk);
            size_t within = static_cast<size_t>(at % kTailChunk);
            size_t n = static_cast<size_t>(std::min<int64_t>(
                kTailChunk - static_cast<int64_t>(within), offset - txn_.tailBase - at));
            if (chunk < txn_.tailChunks.size() && txn_.tailChunks[chunk])
                std::memset(txn_.tailChunks[chunk].get() + within, 0, n);
            at += static_cast<int64_t>(n);
        }
    }
    int64_t at = offset - txn_.tailBase;
    while (count > 0) {
        size_t chunk = static_cast<size_t>(at / kTailChunk);
        size_t within = static_cast<size_t>(at % kTailChunk);
        size_t n = std::min(count, static_cast<size_t>(kTailChunk) - within);
        if (in) {
            if (chunk >= txn_.tailChunks.size()) txn_.tailChunks.resize(chunk + 1);
            if (!txn_.tailChunks[chunk]) {
                auto& made = txn_.tailChunks[chunk];
                made = std::make_unique_for_overwrite<uint8_t[]>(kTailChunk);
                // What lies below the tail's end besides this write reads as zeros.
                std::memset(made.get(), 0, within);
                int64_t chunkBase = static_cast<int64_t>(chunk) * kTailChunk;
                size_t below = static_cast<size_t>(
                    std::clamp<int64_t>(tailEnd - txn_.tailBase - chunkBase, 0, kTailChunk));
                if (below > within + n) std::memset(made.get() + within + n, 0, below - within - n);
            }
            std::memcpy(txn_.tailChunks[chunk].get() + within, in, n);
            in += n;
        } else {
            // A chunk nothing was written to holds zeros, as the file would.
            if (chunk < txn_.tailChunks.size() && txn_.tailChunks[chunk])
                std::memcpy(out, txn_.tailChunks[chunk].get() + within, n);
            else
                std::memset(out, 0, n);
            out += n;
        }
        at += static_cast<int64_t>(n);
        count -= n;
    }
}

void TTarnDBFileIO::FlushTail() {
    if (txn_.tailLength == 0) return;
    // The journal's header first: it records the original length, so that a rollback or a
    // recovery after a crash cuts off the bytes written below.
    if (disk_ && !txn_.journalStarted) JournalPages({});
    int64_t at = 0;
    for (size_t c = 0; at < txn_.tailLength; ++c, at += kTailChunk) {
        size_t n = static_cast<size_t>(std::min<int64_t>(kTailChunk, txn_.tailLength - at));
        if (txn_.tailChunks[c])
            WriteStored(txn_.tailBase + at, txn_.tailChunks[c].get(), n);
        else {
            std::vector<uint8_t> zeros(n);
            WriteStored(txn_.tailBase + at, zeros.data(), n);
        }
    }
    txn_.tailBase += txn_.tailLength;
    txn_.tailLength = 0;
    txn_.tailChunks.clear();
}

bool TTarnDBFileIO::OverlayTouches(int64_t offset, size_t count) const {
    int64_t end = std::min(offset + static_cast<int64_t>(count), txn_.originalLength);
    if (count == 0 || offset < 0 || offset >= end) return false;
    for (int64_t p = offset / kPageSize; p <= (end - 1) / kPageSize; ++p)
        if (txn_.copies[static_cast<size_t>(p)]) return true;
    return false;
}

void TTarnDBFileIO::Overlay(int64_t offset, size_t count, uint8_t* buffer) {
    int64_t end = std::min(offset + static_cast<int64_t>(count), txn_.originalLength);
    if (count == 0 || offset < 0 || offset >= end) return;
    for (int64_t p = offset / kPageSize; p <= (end - 1) / kPageSize; ++p) {
        const uint8_t* copy = txn_.copies[static_cast<size_t>(p)].get();
        if (!copy) continue;
        int64_t from = std::max(offset, p * kPageSize);
        int64_t to = std::min(end, (p + 1) * kPageSize);
        std::memcpy(buffer + (from - offset), copy + (from - p * kPageSize),
                    static_cast<size_t>(to - from));
    }
}

void TTarnDBFileIO::ReadStored(int64_t offset, size_t count, void* buffer) {
    if (count == 0) return;
    if (!disk_) {
        std::memcpy(buffer, ViewStored(offset, count), count);
        return;
    }
    if (offset < 0) Damaged(Format("negative offset %lld", static_cast<long long>(offset)));
    // The stream copies from the mapping under its guard: bytes another program cut off
    // meanwhile read short, as past the end of the file, and are reported so here.
    if (disk_->ReadAt(offset, buffer, count) == count) return;
    Damaged(Format("%zu bytes at offset %lld lie beyond the end of the file (%lld bytes)", count,
                   static_cast<long long>(offset), static_cast<long long>(disk_->Size())));
}

void TTarnDBFileIO::WriteAt(int64_t offset, const void* buffer, size_t count) {
    if (readOnly_)
        throw EDatabaseError(Format("Database file '%s' is read-only", fileName_.c_str()));
    if (offset < 0 || offset + static_cast<int64_t>(count) > INT32_MAX)
        throw EDatabaseError(
            Format("Database file '%s' cannot grow beyond 2 GB", fileName_.c_str()));
    if (!memory_ && !disk_) throw EDatabaseError("Database is not open");
    if (count == 0) return;
    if (txn_.active) {
        WriteInTransaction(offset, static_cast<const uint8_t*>(buffer), count);
        return;
    }
    WriteStored(offset, buffer, count);
}

void TTarnDBFileIO::WriteStored(int64_t offset, const void* buffer, size_t count) {
    if (memory_) {
        EnsureExclusive();
        memory_->SetPosition(offset);
        memory_->WriteBuffer(buffer, count);
        return;
    }
    EnsureExclusive();
    disk_->WriteAt(offset, buffer, count);
}

// ---- transactions ---------------------------------------------------------------------------

void TTarnDBFileIO::BeginTransaction() {
    if (!IsOpen()) throw EDatabaseError("Database is not open");
    if (txn_.active) throw EDatabaseError("A transaction is already active");
    // The right to write is taken now, not at the first write: what the transaction reads
    // cannot be changed by another writer before it commits.
    try {
        if (!readOnly_) TakeReserved();
        if (!hold_.shared) TakeShared();
    } catch (...) {
        SettleLocks();
        throw;
    }
    StartTransaction(false);
    txn_.locked = true;
}

bool TTarnDBFileIO::BeginImplicitTransaction() {
    if (txn_.active || !IsOpen() || readOnly_) return false;
    // Where no journal can be made beside the file, the caller goes without one and orders
    // its writes instead (see ImplicitTransaction).
    if (disk_ && !CurrentEnv()->DirectoryWritable(JournalPath())) return false;
    StartTransaction(true);
    return true;
}

void TTarnDBFileIO::StartTransaction(bool implicit) {
    txn_ = Transaction{};
    txn_.active = true;
    txn_.implicit = implicit;
    // A transaction keeps its writes to itself until the commit, on disk and in memory
    // alike: another database object on the same image must not see them, and a rollback
    // must not touch the image.
    txn_.cached = !implicit;
}

void TTarnDBFileIO::StartWriting() {
    AcquireFileLock();  // held to the end of the transaction
    try {
        txn_.originalLength = FileSize();
    } catch (...) {
        ReleaseFileLock();
        throw;
    }
    txn_.writing = true;
    txn_.tailBase = txn_.originalLength;
    size_t pages = static_cast<size_t>((txn_.originalLength + kPageSize - 1) / kPageSize);
    txn_.journalled.assign(pages, 0);
    if (txn_.cached) txn_.copies.resize(pages);
    // Tells this journal's records from any earlier journal's, and (as the file's stamp) this
    // journal from any other: drawn at random, never 0 (the stamp of a file never stamped).
    static std::mt19937 draw{std::random_device{}()};
    static std::mutex drawLock;
    {
        std::lock_guard<std::mutex> lock(drawLock);
        do {
            txn_.salt = static_cast<uint32_t>(draw());
        } while (txn_.salt == 0);
    }
}

void TTarnDBFileIO::WriteInTransaction(int64_t offset, const uint8_t* buffer, size_t count) {
    if (!txn_.writing) StartWriting();
    const int64_t end = offset + static_cast<int64_t>(count);
    const int64_t original = txn_.originalLength;
    if (offset < original) {
        const int64_t cut = std::min(end, original);
        const int64_t first = offset / kPageSize, last = (cut - 1) / kPageSize;
        if (!txn_.cached) {
            // Written through: the old bytes of each page go to the journal first.
            std::vector<int64_t> fresh;
            for (int64_t p = first; p <= last; ++p)
                if (!txn_.journalled[static_cast<size_t>(p)]) fresh.push_back(p);
            if (!fresh.empty()) JournalPages(fresh);
            WriteStored(offset, buffer, count);
            return;
        }
        int64_t runStart = -1;  // a run of pages saved already: written to the file
        auto flushRun = [&](int64_t upTo) {
            if (runStart < 0) return;
            WriteStored(runStart, buffer + (runStart - offset),
                        static_cast<size_t>(upTo - runStart));
            runStart = -1;
        };
        for (int64_t p = first; p <= last; ++p) {
            int64_t from = std::max(offset, p * kPageSize);
            int64_t to = std::min(cut, (p + 1) * kPageSize);
            if (txn_.journalled[static_cast<size_t>(p)]) {
                if (runStart < 0) runStart = from;
                continue;
            }
            flushRun(from);
            auto& copy = txn_.copies[static_cast<size_t>(p)];
            if (!copy) {
                size_t length = static_cast<size_t>(std::min(kPageSize, original - p * kPageSize));
                copy = TakePageBuffer();
                ReadStored(p * kPageSize, length, copy.get());
                // The last page of the file: nothing of an earlier transaction past its end.
                std::memset(copy.get() + length, 0, static_cast<size_t>(kPageSize) - length);
                txn_.dirty.push_back(p);
                txn_.copyBytes += static_cast<size_t>(kPageSize);
            }
            std::memcpy(copy.get() + (from - p * kPageSize), buffer + (from - offset),
                        static_cast<size_t>(to - from));
        }
        flushRun(cut);
    }
    if (end > original) {
        int64_t from = std::max(offset, original);
        if (txn_.cached) {
            // Appended bytes are kept in memory too (past what was written out early).
            int64_t split = std::clamp(txn_.tailBase, from, end);  // written out early below it
            if (split > from)
                WriteStored(from, buffer + (from - offset), static_cast<size_t>(split - from));
            if (end > split) {
                CopyTail(split, nullptr, buffer + (split - offset),
                         static_cast<size_t>(end - split));
                txn_.tailLength = std::max(txn_.tailLength, end - txn_.tailBase);
            }
        } else {
            WriteStored(from, buffer + (from - offset), static_cast<size_t>(end - from));
        }
    }
    if (txn_.copyBytes > spillBytes_) SpillCopies();
    if (static_cast<size_t>(txn_.tailLength) > spillBytes_) FlushTail();
}

namespace {
constexpr size_t kSparePages = 2048;       // 8 MiB of page buffers kept between transactions
constexpr size_t kScratchKept = 8u << 20;  // a larger scratch buffer is given back after use

void ReleaseIfLarge(std::vector<uint8_t>& scratch) {
    if (scratch.capacity() > kScratchKept) std::vector<uint8_t>().swap(scratch);
}
}  // namespace

std::unique_ptr<uint8_t[]> TTarnDBFileIO::TakePageBuffer() {
    if (sparePages_.empty()) return std::make_unique<uint8_t[]>(static_cast<size_t>(kPageSize));
    std::unique_ptr<uint8_t[]> page = std::move(sparePages_.back());
    sparePages_.pop_back();
    return page;
}

void TTarnDBFileIO::ReturnPageBuffer(std::unique_ptr<uint8_t[]> page) {
    if (page && sparePages_.size() < kSparePages) sparePages_.push_back(std::move(page));
}

void TTarnDBFileIO::JournalPages(const std::vector<int64_t>& listed) {
    std::vector<uint8_t>& out = journalScratch_;
    out.clear();
    // Before the first page a disk journal saves, page 0, whose stamp the journal changes
    // right after (journal.h). A journal that only records the length (for appended bytes
    // written early) changes nothing below it, and leaves the stamp alone.
    const bool stamp = !memory_ && !txn_.stamped && !listed.empty() &&
                       txn_.originalLength >= journal::kStampOffset + int64_t{journal::kStampSize};
    std::vector<int64_t> withStamp;
    if (stamp && !txn_.journalled[0]) {
        withStamp.push_back(0);
        for (int64_t p : listed)
            if (p != 0) withStamp.push_back(p);
    }
    const std::vector<int64_t>& pages = withStamp.empty() ? listed : withStamp;
    if (!txn_.journalStarted) {
        journal::Header header{static_cast<uint32_t>(kPageSize), txn_.originalLength, txn_.salt};
        // Nothing below the original length was overwritten yet: the file as stored is the
        // state the journal begins from. (A memory journal never meets another file.)
        if (!memory_) {
            auto stored = [this](int64_t offset, size_t count, uint8_t* o) {
                ReadStored(offset, count, o);
            };
            header.stateChecksum = journal::StateChecksum(txn_.originalLength, stored);
            if (txn_.originalLength >= journal::kStampOffset + int64_t{journal::kStampSize}) {
                uint8_t was[journal::kStampSize];
                stored(journal::kStampOffset, sizeof was, was);
                header.previousStamp = b::GetU32(was, 0);
                txn_.stampedFirst = header.previousStamp == 0;
            }
        }
        journal::AppendHeader(out, header);
    }
    std::vector<uint8_t> old(static_cast<size_t>(kPageSize));
    for (int64_t p : pages) {
        size_t length =
            static_cast<size_t>(std::min(kPageSize, txn_.originalLength - p * kPageSize));
        ReadStored(p * kPageSize, length, old.data());
        journal::AppendRecord(out, txn_.salt, p * kPageSize,
                              std::span<const uint8_t>(old.data(), length));
    }
    if (memory_) {
        txn_.journalMemory.insert(txn_.journalMemory.end(), out.begin(), out.end());
    } else {
        bool created = !txn_.journalFile;
        // A journal exists only while its writer holds EXCLUSIVE: one found beside the file
        // under SHARED is one whose writer is gone.
        if (created) EnsureExclusive();
        if (created) txn_.journalFile = CreateJournalFile();
        txn_.journalFile->WriteAt(txn_.journalSize, out.data(), out.size());
        txn_.journalSize += static_cast<int64_t>(out.size());
        // The saved bytes are on the disk before the first of the pages is overwritten, and
        // so is the journal's name: a power cut must not lose the file.
        if (!txn_.implicit && syncCommit_) {
            txn_.journalFile->Sync();
            if (created) CurrentEnv()->SyncDirectoryOf(JournalPath());
        }
    }
    txn_.journalStarted = true;
    for (int64_t p : pages) txn_.journalled[static_cast<size_t>(p)] = 1;
    ReleaseIfLarge(out);
    if (stamp) {
        txn_.stamped = true;
        // The first overwrite: the file now names this journal as its last. Page 0 is
        // saved, so later writes to it go through to the file (or come from its copy).
        uint8_t salt[journal::kStampSize];
        b::PutU32(salt, 0, txn_.salt);
        if (txn_.cached && !txn_.copies.empty() && txn_.copies[0]) {
            // A page copy of page 0 goes out with the stamp: a saved page has no copy.
            uint8_t* copy = txn_.copies[0].get();
            std::memcpy(copy + journal::kStampOffset, salt, sizeof salt);
            WriteStored(0, copy, static_cast<size_t>(std::min(kPageSize, txn_.originalLength)));
            ReturnPageBuffer(std::move(txn_.copies[0]));
            std::erase(txn_.dirty, int64_t{0});
            txn_.copyBytes -= static_cast<size_t>(kPageSize);
        } else {
            WriteStored(journal::kStampOffset, salt, sizeof salt);
        }
        // A file never stamped before: the stamp is durable before any other overwrite, so
        // that a file still without it is known not to have been overwritten (journal.h).
        if (txn_.stampedFirst && !txn_.implicit && syncCommit_) disk_->Flush();
    }
}

void TTarnDBFileIO::SpillCopies() {
    JournalCopies();
    WriteCopies();
}

void TTarnDBFileIO::JournalCopies() {
    if (txn_.dirty.empty()) return;
    std::sort(txn_.dirty.begin(), txn_.dirty.end());
    std::vector<int64_t> fresh;
    for (int64_t p : txn_.dirty)
        if (!txn_.journalled[static_cast<size_t>(p)]) fresh.push_back(p);
    if (!fresh.empty()) JournalPages(fresh);
}

void TTarnDBFileIO::WriteCopies() {
    if (txn_.dirty.empty()) return;
    std::vector<int64_t> pages = txn_.dirty;
    std::sort(pages.begin(), pages.end());
    // Consecutive pages go out in one write.
    std::vector<uint8_t>& run = spillScratch_;
    run.clear();
    int64_t runStart = -1, runEnd = -1;
    auto flushRun = [&] {
        if (!run.empty()) WriteStored(runStart, run.data(), run.size());
        run.clear();
    };
    for (int64_t p : pages) {
        int64_t from = p * kPageSize;
        size_t length = static_cast<size_t>(std::min(kPageSize, txn_.originalLength - from));
        if (from != runEnd) {
            flushRun();
            runStart = from;
        }
        const uint8_t* copy = txn_.copies[static_cast<size_t>(p)].get();
        run.insert(run.end(), copy, copy + length);
        runEnd = from + static_cast<int64_t>(length);
    }
    flushRun();
    ReleaseIfLarge(run);
    for (int64_t p : pages) ReturnPageBuffer(std::move(txn_.copies[static_cast<size_t>(p)]));
    txn_.dirty.clear();
    txn_.copyBytes = 0;
}

void TTarnDBFileIO::CommitTransaction() {
    if (!txn_.active) throw EDatabaseError("No transaction is active");
    lastCommitCommitted_ = false;
    try {
        if (txn_.writing) {
            // The readers there are leave first; new ones wait for the commit.
            EnsureExclusive();
            // The old bytes of the pages to overwrite go to the journal (with its header,
            // which records the original length) before anything reaches the file; then the
            // appended bytes (nothing refers to them before the overwrites); then the
            // overwrites.
            JournalCopies();
            FlushTail();
            WriteCopies();
            if (disk_) {
                if (!txn_.implicit && syncCommit_) disk_->Flush();
                // The commit point: without its journal the transaction cannot be undone.
                if (txn_.journalFile) RemoveJournalFile();
            }
        }
        lastCommitCommitted_ = true;
    } catch (...) {
        AbandonTransaction();
        throw;
    }
    const bool durable = !txn_.implicit && syncCommit_;
    EndTransaction();
    // Past the commit point: a failure here reports that the commit may not survive a
    // power cut, and undoes nothing.
    if (durable) SyncRemovedJournal();
}

void TTarnDBFileIO::RollbackTransaction() {
    if (!txn_.active) throw EDatabaseError("No transaction is active");
    try {
        UndoTransaction();
    } catch (...) {
        EndTransaction();
        throw;
    }
    EndTransaction();
}

void TTarnDBFileIO::UndoTransaction() {
    if (!txn_.writing) return;
    txn_.tailChunks.clear();
    txn_.tailLength = 0;
    for (int64_t p : txn_.dirty) txn_.copies[static_cast<size_t>(p)].reset();
    txn_.dirty.clear();
    txn_.copyBytes = 0;
    if (memory_) {
        journal::Contents c = journal::Decode(txn_.journalMemory);
        for (const journal::SavedPage& page : c.pages)
            WriteStored(page.offset, page.bytes.data(), page.bytes.size());
        if (memory_->Size() != txn_.originalLength) memory_->SetSize(txn_.originalLength);
        return;
    }
    if (!disk_) return;
    if (txn_.journalFile) {
        std::vector<uint8_t> bytes(static_cast<size_t>(txn_.journalSize));
        if (txn_.journalFile->ReadAt(0, bytes.data(), bytes.size()) != bytes.size())
            throw EDatabaseError(
                Format("The journal of '%s' could not be read back", fileName_.c_str()));
        PlayBack(journal::Decode(bytes), !txn_.implicit && syncCommit_);
    }
    // Without EXCLUSIVE nothing of the transaction reached the file, and under its RESERVED
    // nobody else may have grown it: the cut then changes nothing.
    disk_->Truncate(txn_.originalLength);
    if (txn_.journalFile) {
        if (!txn_.implicit && syncCommit_) disk_->Flush();
        RemoveJournalFile();
        if (!txn_.implicit && syncCommit_) SyncRemovedJournal();
    }
}

void TTarnDBFileIO::PlayBack(const journal::Contents& c, bool durable) {
    // Page 0, which holds the stamp, goes back last (journal.h): a file that shows its old
    // stamp again has all its other pages back. Where the old stamp was 0 (nothing tells
    // this journal's file from another then but its bytes), the others are made durable
    // first.
    const journal::SavedPage* first = nullptr;
    for (const journal::SavedPage& page : c.pages) {
        if (page.offset == 0 && first == nullptr) {
            first = &page;
            continue;
        }
        if (page.offset == 0) continue;  // only the first record of a page is the original
        disk_->WriteAt(page.offset, page.bytes.data(), page.bytes.size());
    }
    if (first == nullptr) return;
    if (durable && c.header.version != journal::kOldVersion && c.header.previousStamp == 0)
        disk_->Flush();
    disk_->WriteAt(0, first->bytes.data(), first->bytes.size());
}

void TTarnDBFileIO::RemoveJournalFile() {
    // Kept open until it is gone: a removal that fails leaves the undo its saved pages.
    CurrentEnv()->RemoveFile(JournalPath());
    txn_.journalFile.reset();
    // A journal that came back after a power cut would undo the transaction and whatever was
    // written after it: its removal is made durable by SyncRemovedJournal, at the latest by
    // the next flush.
    journalRemovalOwed_ = true;
}

void TTarnDBFileIO::SyncRemovedJournal() {
    if (!journalRemovalOwed_.exchange(false)) return;
    try {
        CurrentEnv()->SyncDirectoryOf(JournalPath());
    } catch (...) {
        journalRemovalOwed_ = true;
        throw;
    }
}

void TTarnDBFileIO::AbandonTransaction() {
    // When undoing fails the journal stays, and the next open rolls it back.
    try {
        UndoTransaction();
    } catch (...) {
    }
    EndTransaction();
}

void TTarnDBFileIO::EndTransaction() {
    bool held = txn_.writing;
    txn_ = Transaction{};
    if (held) ReleaseFileLock();
    SettleLocks();  // the transaction's RESERVED (and EXCLUSIVE) go
}

namespace {
// The folder that holds `path`, for messages.
std::string FolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}
}  // namespace

std::unique_ptr<File> TTarnDBFileIO::CreateJournalFile() {
    Env* env = CurrentEnv();
    const std::string& path = JournalPath();
    // One left over (a torn one the lock's check could not remove) is replaced.
    if (env->FileExists(path)) env->RemoveFile(path);
    try {
        return env->CreateFile(path, OpenSharing::Everybody);
    } catch (const EFOpenError& e) {
        std::string why;
        const std::string kind = NotARegularFile(path);
        if (!env->DirectoryWritable(path))
            why = Format(
                "the folder '%s' must be writable by this user to change the database; "
                "give write permission on it and try again",
                FolderOf(path).c_str());
        else if (!kind.empty() &&
                 kind != std::make_error_code(std::errc::no_such_file_or_directory).message())
            why = Format(
                "that name is taken by something that is not a journal (%s); move it "
                "away and try again",
                kind.c_str());
        else
            why = e.Message();
        throw EFOpenError(Format("Cannot create the journal '%s' of database file '%s': %s",
                                 path.c_str(), fileName_.c_str(), why.c_str()));
    }
}

std::string TTarnDBFileIO::JournalMismatch(const journal::Contents& c) {
    File& file = disk_->PlatformFile();
    return journal::Mismatch(c, file.Size(), [&](int64_t offset, size_t count, uint8_t* out) {
        if (file.ReadAt(offset, out, count) != count)
            Damaged(Format("short read of %zu bytes at offset %lld", count,
                           static_cast<long long>(offset)));
    });
}

void TTarnDBFileIO::RecoverJournal() {
    Env* env = CurrentEnv();
    const std::string path = JournalPath();
    std::vector<uint8_t> bytes;
    {
        std::unique_ptr<File> file =
            env->OpenFile(path, OpenAccess::ReadOnly, OpenSharing::Everybody);
        int64_t size = file->Size();
        // Nothing larger than the whole file in pages and their record overhead is a journal.
        if (size > 0 && size <= 2 * static_cast<int64_t>(INT32_MAX)) {
            bytes.resize(static_cast<size_t>(size));
            bytes.resize(file->ReadAt(0, bytes.data(), bytes.size()));
        }
    }
    journal::Contents c = journal::Decode(bytes);
    // A journal that is not this file's is never played in, and stays for the user: it may
    // be the only way back for the file it was made for.
    if (c.newer)
        throw EDatabaseError(
            Format("Journal '%s' of database file '%s' cannot be played back: "
                   "%s; it was left in place and nothing was changed",
                   path.c_str(), fileName_.c_str(), c.why.c_str()));
    if (c.valid) {
        std::string mismatch = JournalMismatch(c);
        if (!mismatch.empty())
            throw EDatabaseError(
                Format("Journal '%s' does not belong to database file '%s' (%s); it was left in "
                       "place and nothing was changed: move it away if the database is correct",
                       path.c_str(), fileName_.c_str(), mismatch.c_str()));
    }
    if (readOnly_) {
        if (!c.valid) return;  // torn: nothing to undo, and no right to remove it
        throw EDatabaseError(
            Format("Database file '%s' has an unfinished transaction in '%s'; open it for "
                   "writing to roll it back",
                   fileName_.c_str(), path.c_str()));
    }
    if (c.valid) {
        PlayBack(c, true);
        disk_->Truncate(c.header.originalLength);
        disk_->Flush();
    }
    try {
        env->RemoveFile(path);
    } catch (const EInOutError& e) {
        if (env->DirectoryWritable(path)) throw;
        throw EInOutError(Format(
            "The journal '%s' of database file '%s' %s, but it cannot be removed (%s): the "
            "folder '%s' must be writable by this user; give write permission on it (or have "
            "its owner remove the journal, which is no longer needed) and open the database "
            "again",
            path.c_str(), fileName_.c_str(),
            c.valid ? "was rolled back" : "is incomplete and was ignored", e.Message().c_str(),
            FolderOf(path).c_str()));
    }
    journalRemovalOwed_ = true;
    SyncRemovedJournal();  // played back for good: it must not come back
}

int32_t TTarnDBFileIO::TableOffset(int table) const {
    if (table < 0 || table >= directory_.TableCount())
        throw EDatabaseError(Format("Table number %d is not in the directory", table));
    return directory_.TableOffset(table);
}

void TTarnDBFileIO::ReadTableHeader(int table, TableHeader& header) {
    int32_t offset = TableOffset(table);
    if (offset < kFirstFreeOffset)
        Damaged(
            Format("table %d has its header at offset %d, inside the file head", table, offset));
    ReadAt(offset, kTableHeaderSize, header.raw.data());
}

void TTarnDBFileIO::WriteTableHeader(int table, const TableHeader& header) {
    WriteTableHeaderPart(table, header, 0, kTableHeaderSize);
}

void TTarnDBFileIO::WriteTableHeaderPart(int table, const TableHeader& header, size_t from,
                                         size_t count) {
    if (from > header.raw.size() || count > header.raw.size() - from)
        throw EDatabaseError("Table header part outside the header");
    WriteAt(static_cast<int64_t>(TableOffset(table)) + static_cast<int64_t>(from),
            header.raw.data() + from, count);
}

void TTarnDBFileIO::ListTableNames(std::vector<std::string>& names) {
    std::vector<std::string> list;
    TableHeader header;
    for (int t = 0; t < directory_.TableCount(); ++t) {
        ReadTableHeader(t, header);
        list.push_back(header.TableName());
    }
    names = std::move(list);  // one batch: the caller's list changes only on success
}

void TTarnDBFileIO::CheckBlockChain(int32_t total, int32_t blockSize, const char* what) {
    if (total <= 0) return;
    int64_t blockCount = (static_cast<int64_t>(total) + kItemsPerBlock - 1) / kItemsPerBlock;
    // Blocks never overlap, so a table cannot have more of them than fit in the file; this
    // bounds the work for a damaged count or a chain that loops.
    if (blockCount * blockSize > FileSize())
        Damaged(Format("%s of %d items needs %lld blocks, more than the file can hold", what, total,
                       static_cast<long long>(blockCount)));
}

int32_t TTarnDBFileIO::ReadChainBlock(int32_t offset, int64_t blk, int32_t blockSize,
                                      std::vector<uint8_t>& block, const char* what) {
    if (offset < kFirstFreeOffset)
        Damaged(Format("%s block %lld is at offset %d", what, static_cast<long long>(blk), offset));
    // Whole blocks are read (not viewed): a read copies them from the page cache without
    // faulting the mapping in page by page, which costs more than the copy.
    block.resize(static_cast<size_t>(blockSize));
    ReadAt(offset, block.size(), block.data());
    return b::GetI32(block, 0);
}

void TTarnDBFileIO::ReadBlockChain(
    int32_t first, int32_t total, int32_t blockSize, std::vector<int32_t>& blocks, const char* what,
    const std::function<void(int64_t, const uint8_t*, int64_t)>& take) {
    blocks.clear();
    if (total <= 0) return;
    CheckBlockChain(total, blockSize, what);
    int64_t blockCount = (static_cast<int64_t>(total) + kItemsPerBlock - 1) / kItemsPerBlock;
    blocks.reserve(static_cast<size_t>(blockCount));
    std::vector<uint8_t> block;
    int32_t offset = first;
    for (int64_t blk = 0; blk < blockCount; ++blk) {
        int64_t inBlock = std::min<int64_t>(kItemsPerBlock, total - blk * kItemsPerBlock);
        int32_t next = ReadChainBlock(offset, blk, blockSize, block, what);
        blocks.push_back(offset);
        if (take) take(blk * kItemsPerBlock, block.data() + kBlockLinkSize, inBlock);
        offset = next;
    }
}

void TTarnDBFileIO::ReadRecordTable(const TableHeader& header, std::vector<RecordTabItem>& items,
                                    std::vector<int32_t>& blocks) {
    int32_t total = header.RecordTotal();
    if (total < 0)
        Damaged(Format("table '%s' has a negative record total", header.TableName().c_str()));
    items.clear();
    ReadBlockChain(
        header.RecTabOffset(), total, kRecBlockSize, blocks, "record table",
        [&](int64_t first, const uint8_t* p, int64_t count) {
            if (items.empty()) items.resize(static_cast<size_t>(total));
            for (int64_t i = 0; i < count; ++i, p += kRecItemSize)
                items[static_cast<size_t>(first + i)] = RecordTabItem::Decode({p, kRecItemSize});
        });
}

void TTarnDBFileIO::ReadIndexTable(const TableHeader& header, int index,
                                   std::vector<IndexTabItem>& items, std::vector<int32_t>& blocks) {
    int32_t total = header.RecordTotal();
    items.clear();
    blocks.clear();
    if (total <= 0 || header.IndexTabOffset(index) == 0) return;
    ReadBlockChain(
        header.IndexTabOffset(index), total, kIdxBlockSize, blocks, "index table",
        [&](int64_t first, const uint8_t* p, int64_t count) {
            if (items.empty()) items.resize(static_cast<size_t>(total));
            for (int64_t i = 0; i < count; ++i, p += kIdxItemSize)
                items[static_cast<size_t>(first + i)] = IndexTabItem::Decode({p, kIdxItemSize});
        });
}

void TTarnDBFileIO::MarkDeleted(int64_t itemOffset) {
    uint8_t item[kRecItemSize];
    ReadAt(itemOffset, kRecItemSize, item);
    RecordTabItem marked = RecordTabItem::Decode(item);
    marked.deleted = true;
    marked.Encode(item);
    WriteAt(itemOffset, item, kRecItemSize);
}

void TTarnDBFileIO::ReadFieldValue(int64_t itemOffset, int32_t slotOffset, int32_t slotSize,
                                   bool blob, bool decrypt, bool decompress, TStream& dest) {
    uint8_t item[kRecItemSize];
    std::vector<uint8_t> slot(blob ? 0 : static_cast<size_t>(slotSize));
    int64_t dataOffset;
    {
        ReadLockGuard lock(*this);
        ReadAt(itemOffset, kRecItemSize, item);
        dataOffset = RecordTabItem::Decode(item).dataOffset;
        if (!blob) ReadAt(dataOffset + slotOffset, slot.size(), slot.data());
    }
    if (!blob) {
        std::vector<uint8_t> plain(slot.size());
        DecodeStoredBuffer(slot.data(), plain.data(), decrypt, slot.size());
        dest.WriteBuffer(plain.data(), plain.size());
        return;
    }
    TMemoryStream plain;
    ReadBlobValue(dataOffset + slotOffset, decrypt, decompress, plain);
    plain.SetPosition(0);
    dest.CopyFrom(plain, plain.Size());
}

void TTarnDBFileIO::ReadBlobValue(int64_t descriptorOffset, bool decrypt, bool decompress,
                                  TMemoryStream& dest) {
    uint8_t desc[kBlobDescriptorSize];
    // Blob streams load their value when first read, outside any table operation: the
    // stored bytes are read under the lock like every record (and decoded after it).
    std::optional<ReadLockGuard> lock(std::in_place, *this);
    ReadAt(descriptorOffset, kBlobDescriptorSize, desc);
    TBlobDescriptor descriptor = TBlobDescriptor::Decode(desc);
    int32_t blobOffset = descriptor.offset;
    int32_t blobLength = descriptor.length;
    auto outside = [&] {
        Damaged(
            Format("blob of %d bytes at offset %d, described at offset %lld, lies outside the file",
                   blobLength, blobOffset, static_cast<long long>(descriptorOffset)));
    };
    if (blobLength < 0 || blobOffset < 0) outside();
    // A small value is copied from the mapping, which checks its bounds; a large one is
    // checked against the file's size before anything is allocated for it, then read.
    const uint8_t* mapped = nullptr;
    if (blobLength > 0 && blobLength <= kMappedBlobRead) {
        mapped = View(blobOffset, static_cast<size_t>(blobLength));
    } else if (static_cast<int64_t>(blobOffset) + blobLength > FileSize()) {
        outside();
    }
    TMemoryStream stored;
    // Stored as it is, the value goes straight into the destination.
    TMemoryStream& into = !decrypt && !decompress ? dest : stored;
    into.SetSize(blobLength);
    if (mapped) {
        // Within the length learnt under the lock; the guard is for a program that cuts the
        // file all the same.
        if (!CopyFromMapping(into.Memory(), mapped, static_cast<size_t>(blobLength)))
            Damaged(Format("blob of %d bytes at offset %d was cut off while it was read",
                           blobLength, blobOffset));
    } else {
        ReadAt(blobOffset, static_cast<size_t>(blobLength), into.Memory());
    }
    lock.reset();
    if (&into == &dest) {
        dest.Seek(0, SeekOrigin::End);  // positioned at the end, as after decoding
        return;
    }
    DecodeStoredStream(stored, dest, decompress, decrypt);
}

void TTarnDBFileIO::EncodeStoredStream(TMemoryStream& source, TMemoryStream& dest, bool compress,
                                       bool encrypt) {
    codec_.EncodeStoredStream(source, dest, compress, encrypt);
}

void TTarnDBFileIO::DecodeStoredStream(TMemoryStream& source, TMemoryStream& dest, bool compress,
                                       bool encrypt) {
    codec_.DecodeStoredStream(source, dest, compress, encrypt);
}

void TTarnDBFileIO::EncodeStoredBuffer(const uint8_t* source, uint8_t* dest, bool encrypt,
                                       size_t count) {
    if (!encrypt) {
        if (source != dest && count) std::memmove(dest, source, count);
        return;
    }
    codec_.EncodeStoredBuffer(source, dest, encrypt, static_cast<int32_t>(count));
}

void TTarnDBFileIO::DecodeStoredBuffer(const uint8_t* source, uint8_t* dest, bool encrypt,
                                       size_t count) {
    if (!encrypt) {
        if (source != dest && count) std::memmove(dest, source, count);
        return;
    }
    codec_.DecodeStoredBuffer(source, dest, encrypt, static_cast<int32_t>(count));
}

}  // namespace tarn

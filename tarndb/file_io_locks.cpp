// The lock states of a database file (shared, reserved, pending, exclusive) and of a memory
// image shared by database objects of this process: taking, settling and dropping them,
// with the waits and time-outs of the session's lock settings. See file_io.h.
#include <algorithm>
#include <map>
#include <mutex>

#include "platform/os/env.h"
#include "tarndb/errors.h"
#include "tarndb/file_io.h"

namespace tarn {

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

}  // namespace tarn

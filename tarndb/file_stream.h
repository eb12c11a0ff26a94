// TTarnDBFileStream: the disk stream of an open database file. A positioned file stream
// over a platform file that remembers whether anything was written since the last flush,
// and serves reads through a shared mapping of the file that follows its growth, so the
// many small reads of loading and key comparison cost no system call each while other
// processes' writes stay visible exactly as with plain reads.
//
// A file cut short under the mapping. Writers of this format only ever grow the file (a
// rollback cuts back only what its own transaction appended, under the lock), but another
// program may cut or rewrite it at any moment, and touching a mapped page past the end of the
// file kills the process with SIGBUS. Two rules keep every read through the mapping safe:
//   - Pointers into the mapping (View) are handed out only while the file lock is held, and
//     only within the length learnt from the system under that holding of the lock.
//   - Copies and comparisons (ReadAt, Holds) go through the SIGBUS guard of
//     platform/os/mapped_read.h, held for the one memcpy / memcmp only: a cut there reads as
//     the end of the file (a short read, which callers report as a damaged file), whether
//     the lock is held or not. The guard costs no system call, so reads without the lock
//     (the walks' comparison of their read-ahead copies with the file) stay as cheap as
//     before; pread there would cost a system call per row.
// What the guard cannot cover is a pointer handed out under the lock and read after another
// program cut the file within that holding of the lock (a program that ignores the lock).
//
// Owned by the database file object; used from the thread that owns the database.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "platform/os/env.h"
#include "tarndb/stream.h"

namespace tarn {

class TTarnDBFileStream : public TStream {
public:
    static constexpr size_t kDirectReadSize = 4096;
    // Small reads go to the system until this many have been asked for, and only then is
    // the file mapped: a mapping pays for itself over many reads, but making it and taking
    // it down again (with its first page faults) costs far more than the few reads of an
    // open that looks at a row or two and closes.
    static constexpr int kReadsBeforeMapping = 32;

    explicit TTarnDBFileStream(std::unique_ptr<File> file) : file_(std::move(file)) {}

    // TStream over the current position.
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    // The file's length: asked of the system, except while the file lock is held, when the
    // length learnt once (by this call or by the mapping) is kept and moved by this
    // stream's own writes, since no other writer can change it then.
    int64_t Size() override;

    // Positioned I/O. ReadAt returns the number of bytes read (short only at the end of
    // the file, also when the file was cut while it was read); WriteAt writes everything or
    // raises EInOutError.
    size_t ReadAt(int64_t offset, void* buffer, size_t count);
    void WriteAt(int64_t offset, const void* buffer, size_t count);
    // A pointer to `count` bytes at `offset` in the mapping, or nullptr when they lie
    // beyond the end of the file, the file is not mapped yet (kReadsBeforeMapping) or
    // cannot be mapped, or the file lock is not held. Valid until the next call on this
    // stream, and while the lock stays held.
    const uint8_t* View(int64_t offset, size_t count);
    // Whether the file holds exactly `bytes` at `offset`, as far as the mapping shows;
    // false also when they lie beyond the end, the file is not mapped or was cut under the
    // mapping. Needs no lock: without one, the answer is only as current as the call.
    bool Holds(int64_t offset, const uint8_t* bytes, size_t count);
    // Another program may have cut the file short since we last looked: the next read
    // through the mapping asks the system for the file's size first, so that no pointer
    // handed out under the lock reaches a page beyond the end (which would kill the
    // process). The file object calls it whenever it takes the lock; ReleaseLength when it
    // drops it.
    void RecheckLength() {
        knownLength_ = 0;
        lengthKnown_ = false;
        locked_ = true;
    }
    void ReleaseLength() {
        lengthKnown_ = false;
        locked_ = false;
    }
    // Cuts the file to `length` bytes: only a rollback does, taking back what its
    // transaction appended.
    void Truncate(int64_t length);

    // The flushed flag may be read and the flush run from a timer thread while the owning
    // thread writes: a flush claims the flag before it syncs, so a write that lands during
    // the sync leaves the flag false for the next tick.
    bool Flushed() const { return flushed_.load(); }
    void Flush();

    File& PlatformFile() { return *file_; }
    // Called on the writing thread by the first write after a flush.
    std::function<void()> OnDirty;

private:
    // The bytes in the mapping, mapping or growing it as View did; nullptr as View says, but
    // also without the lock (then within the length last learnt, which a cut may have
    // made stale: read only through the guard).
    const uint8_t* Mapped(int64_t offset, size_t count);
    // A guarded read found the file cut: learn its length again before the next read.
    void Cut() {
        knownLength_ = 0;
        lengthKnown_ = false;
    }

    std::unique_ptr<File> file_;
    int64_t position_ = 0;
    std::atomic<bool> flushed_{true};
    const uint8_t* map_ = nullptr;
    int64_t knownLength_ = 0;   // bytes of the mapping known to exist in the file
    int64_t capacity_ = 0;      // length of the mapping
    int unmappedReads_ = 0;     // small reads asked for before the file was mapped
    bool locked_ = false;       // the file lock is held: nobody else changes the length
    bool lengthKnown_ = false;  // length_ is the file's length (only while locked_)
    int64_t length_ = 0;
};

}  // namespace tarn

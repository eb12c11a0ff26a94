// A test Env that watches the files it opens: every read goes through ReadAt (the files
// refuse to be mapped, so no read can slip past), each read and write is logged with its
// offset and length, and a write may be altered on its way to the file (to stand for a
// disk that does not keep what it was given). It keeps FaultEnv's write faults and
// CrashAfterWrites. The log is of database files: a rollback journal's (`<file>-journal`)
// reads and writes meet the faults but are not logged. `events` tells, in order and for
// every file (journals included, by file name), what reaches the disk and when it is made
// durable: "create F", "write F OFFSET", "truncate F", "sync F", "remove F", "syncdir F" (the
// directory holding F synced). Used from one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/os/fault_env.h"

namespace tarn::testing {

struct FileAccess {
    int64_t offset;
    size_t count;
};

class RecordingEnv : public FaultEnv {
public:
    std::vector<FileAccess> reads, writes;
    // Sees each write's bytes before they reach the file and may change them.
    std::function<void(int64_t offset, std::vector<uint8_t>& bytes)> alterWrite;
    std::vector<std::string> events;
    std::function<void(const std::string& event)> onEvent;  // told each event as it happens

    void ForgetAccesses() {
        reads.clear();
        writes.clear();
        events.clear();
    }
    // Reads (writes) that start at `offset`, optionally of exactly `count` bytes.
    size_t ReadsAt(int64_t offset, size_t count = SIZE_MAX) const {
        return Count(reads, offset, count);
    }
    size_t WritesAt(int64_t offset, size_t count = SIZE_MAX) const {
        return Count(writes, offset, count);
    }
    // Reads (writes) that touch any byte of [offset, offset + count).
    size_t ReadsOverlapping(int64_t offset, size_t count) const {
        return Overlapping(reads, offset, count);
    }
    size_t WritesOverlapping(int64_t offset, size_t count) const {
        return Overlapping(writes, offset, count);
    }

    std::unique_ptr<File> OpenFile(const std::string& path, OpenAccess access,
                                   OpenSharing sharing) override {
        return std::make_unique<Recorded>(FaultEnv::OpenFile(path, access, sharing), *this);
    }
    std::unique_ptr<File> CreateFile(const std::string& path, OpenSharing sharing) override {
        auto file = std::make_unique<Recorded>(FaultEnv::CreateFile(path, sharing), *this);
        Note("create", path);
        return file;
    }
    bool RemoveFile(const std::string& path) override {
        bool removed = FaultEnv::RemoveFile(path);
        if (removed) Note("remove", path);
        return removed;
    }
    void SyncDirectoryOf(const std::string& path) override {
        FaultEnv::SyncDirectoryOf(path);
        Note("syncdir", path);
    }

private:
    void Note(const char* what, const std::string& path, const std::string& more = "") {
        size_t slash = path.find_last_of('/');
        events.push_back(std::string(what) + " " +
                         (slash == std::string::npos ? path : path.substr(slash + 1)) + more);
        if (onEvent) onEvent(events.back());
    }
    static size_t Overlapping(const std::vector<FileAccess>& list, int64_t offset, size_t count) {
        size_t n = 0;
        for (const FileAccess& a : list)
            if (a.offset < offset + static_cast<int64_t>(count) &&
                offset < a.offset + static_cast<int64_t>(a.count))
                ++n;
        return n;
    }
    static size_t Count(const std::vector<FileAccess>& list, int64_t offset, size_t count) {
        size_t n = 0;
        for (const FileAccess& a : list)
            if (a.offset == offset && (count == SIZE_MAX || a.count == count)) ++n;
        return n;
    }

    class Recorded final : public File {
    public:
        Recorded(std::unique_ptr<File> inner, RecordingEnv& env)
            : File(inner->Path()),
              inner_(std::move(inner)),
              env_(env),
              logged_(!Path().ends_with("-journal")) {}
        size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
            if (!logged_) return inner_->ReadAt(offset, buffer, count);
            env_.reads.push_back({offset, count});
            return inner_->ReadAt(offset, buffer, count);
        }
        void WriteAt(int64_t offset, const void* buffer, size_t count) override {
            Write(offset, buffer, count);
            // After the write: a failed one reached nothing.
            env_.Note("write", Path(), " " + std::to_string(offset));
        }
        int64_t Size() override { return inner_->Size(); }
        void Truncate(int64_t length) override {
            inner_->Truncate(length);
            env_.Note("truncate", Path());
        }
        void Sync() override {
            inner_->Sync();
            env_.Note("sync", Path());
        }
        bool TryLockByte(int64_t offset) override { return inner_->TryLockByte(offset); }
        bool TryReadLockByte(int64_t offset) override { return inner_->TryReadLockByte(offset); }
        void UnlockByte(int64_t offset) override { inner_->UnlockByte(offset); }
        bool LockHeldElsewhere(int64_t offset) override {
            return inner_->LockHeldElsewhere(offset);
        }
        bool TryLockRange(int64_t offset, int64_t count, bool write) override {
            return inner_->TryLockRange(offset, count, write);
        }
        void UnlockRange(int64_t offset, int64_t count) override {
            inner_->UnlockRange(offset, count);
        }
        const uint8_t* MapView(int64_t& length, int64_t& capacity) override {
            length = capacity = 0;
            return nullptr;
        }

    private:
        void Write(int64_t offset, const void* buffer, size_t count) {
            if (!logged_) return inner_->WriteAt(offset, buffer, count);
            env_.writes.push_back({offset, count});
            if (!env_.alterWrite) return inner_->WriteAt(offset, buffer, count);
            const auto* p = static_cast<const uint8_t*>(buffer);
            std::vector<uint8_t> bytes(p, p + count);
            env_.alterWrite(offset, bytes);
            inner_->WriteAt(offset, bytes.data(), bytes.size());
        }

        std::unique_ptr<File> inner_;
        RecordingEnv& env_;
        bool logged_;
    };
};

}  // namespace tarn::testing

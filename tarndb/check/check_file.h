// The checker's view of a database file: bounds-checked positioned reads that report
// "outside the file" instead of raising, over a mapping when the system gives one. Holds
// the engine's file lock (byte 1) for its life when it can be had.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/os/env.h"

namespace tarn::check {

class TCheckFile {
public:
    // Opens `path` for reading, shared with everybody. Raises the platform's open error.
    explicit TCheckFile(const std::string& path);
    ~TCheckFile();
    TCheckFile(const TCheckFile&) = delete;
    TCheckFile& operator=(const TCheckFile&) = delete;

    int64_t Size() const { return size_; }
    // Whether [offset, offset + count) lies inside the file.
    bool Inside(int64_t offset, int64_t count) const {
        return offset >= 0 && count >= 0 && offset <= size_ && count <= size_ - offset;
    }
    // Copies the bytes; false (and nothing read) when they are not all inside the file.
    bool Read(int64_t offset, size_t count, void* out);
    // Tries the file lock for about two seconds; false when another process holds it. A
    // file opened read-only is read without the lock (true).
    bool Lock();

private:
    std::unique_ptr<File> file_;
    const uint8_t* map_ = nullptr;
    bool mapTried_ = false;
    int64_t size_ = 0;
    bool locked_ = false;
    bool lockable_ = false;
};

}  // namespace tarn::check

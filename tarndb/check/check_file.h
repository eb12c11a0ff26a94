// The checker's view of a database file: bounds-checked positioned reads that report
// "outside the file" instead of raising. Holds the engine's file lock (byte 1) for its life
// when it can be had.
//
// The file is read with positioned reads, never through a mapping: another program may cut
// or rewrite the file while it is checked (it need not ask for the lock), and a mapped read
// past the new end would kill the process. A read the file no longer holds is reported as
// lying outside the file, like any other.
//
// With a journal laid over it (LayOver), the view is the file as the next open will leave it
// after playing the journal back: the journal's saved pages in place of the file's bytes and
// the length the file had when the journal began. Nothing is written.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/os/env.h"
#include "tarndb/journal.h"

namespace tarn::check {

class TCheckFile {
public:
    // Opens `path` for reading, shared with everybody. Raises the platform's open error.
    explicit TCheckFile(const std::string& path);
    ~TCheckFile();
    TCheckFile(const TCheckFile&) = delete;
    TCheckFile& operator=(const TCheckFile&) = delete;

    // The length of the file as it is checked: the length seen (under the lock, when it was
    // had), or the journal's original length once one is laid over.
    int64_t Size() const { return size_; }
    // The length of the file on disk when it was last looked at.
    int64_t DiskSize() const { return diskSize_; }
    // Whether [offset, offset + count) lies inside the file.
    bool Inside(int64_t offset, int64_t count) const {
        return offset >= 0 && count >= 0 && offset <= size_ && count <= size_ - offset;
    }
    // Copies the bytes; false when they are not all inside the file (also when the file
    // was cut since its length was seen). The contents of `out` are then unspecified.
    bool Read(int64_t offset, size_t count, void* out);
    // Reads the file's own bytes, without the journal's pages; same contract as Read, with
    // the disk's length.
    bool ReadDisk(int64_t offset, size_t count, void* out);
    // Tries the file lock for about two seconds; false when another process holds it. A
    // file opened read-only is read without the lock (true).
    bool Lock();
    // From now on, presents the file as playing `journal` (a valid one) back would leave
    // it. Requires DiskSize() >= journal.header.originalLength.
    void LayOver(const journal::Contents& journal);
    // The file's length once a read found it shorter than the length seen before (another
    // program cut it while it was checked); -1 while that did not happen.
    int64_t CutTo() const { return cutTo_; }

private:
    bool Short(size_t got, size_t wanted);

    bool ReadCached(int64_t offset, size_t count, uint8_t* out);

    std::unique_ptr<File> file_;
    int64_t size_ = 0;
    int64_t diskSize_ = 0;
    bool locked_ = false;
    bool lockable_ = false;
    int64_t cutTo_ = -1;
    // Small reads are served from one window of the file, read at once.
    std::vector<uint8_t> window_;
    int64_t windowStart_ = -1;
    // The journal's saved pages by offset (a later record of an offset replaces an earlier
    // one, as playback writes them in order).
    std::map<int64_t, std::vector<uint8_t>> pages_;
};

}  // namespace tarn::check

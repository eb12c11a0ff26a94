#include "tarndb/file_stream.h"

#include <cstring>

#include "platform/os/mapped_read.h"
#include "tarndb/errors.h"

namespace tarn {

size_t TTarnDBFileStream::Read(void* buffer, size_t count) {
    size_t n = ReadAt(position_, buffer, count);
    position_ += static_cast<int64_t>(n);
    return n;
}

size_t TTarnDBFileStream::Write(const void* buffer, size_t count) {
    WriteAt(position_, buffer, count);
    position_ += static_cast<int64_t>(count);
    return count;
}

int64_t TTarnDBFileStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = origin == SeekOrigin::Beginning ? 0
                   : origin == SeekOrigin::Current ? position_
                                                   : file_->Size();
    position_ = base + offset < 0 ? 0 : base + offset;
    return position_;
}

void TTarnDBFileStream::SetSize(int64_t) {
    throw EInOutError("A database file is never truncated or resized");
}

int64_t TTarnDBFileStream::Size() {
    if (lengthKnown_) return length_;
    int64_t n = file_->Size();
    if (locked_) {
        length_ = n;
        lengthKnown_ = true;
        // The mapping may serve up to the length just learnt without asking again.
        if (map_ != nullptr && n <= capacity_ && n > knownLength_) knownLength_ = n;
    }
    return n;
}

size_t TTarnDBFileStream::ReadAt(int64_t offset, void* buffer, size_t count) {
    if (count == 0) return 0;
    // Large reads (whole blocks of the record and index tables at load time) go to the
    // system directly: faulting them in through the mapping costs more than one read.
    if (count >= kDirectReadSize) return file_->ReadAt(offset, buffer, count);
    // Without the guard, the mapping is read only within the length learnt under the lock.
    if (!locked_ && !MappedReadsGuarded()) return file_->ReadAt(offset, buffer, count);
    if (const uint8_t* p = Mapped(offset, count)) {
        if (CopyFromMapping(buffer, p, count)) return count;
        Cut();  // the system's read below says how much is left
    }
    return file_->ReadAt(offset, buffer, count);
}

void TTarnDBFileStream::WriteAt(int64_t offset, const void* buffer, size_t count) {
    if (count == 0) return;
    int64_t end = offset + static_cast<int64_t>(count);
    try {
        file_->WriteAt(offset, buffer, count);
    } catch (...) {
        lengthKnown_ = false;  // a part may have reached the file
        throw;
    }
    if (lengthKnown_ && end > length_) length_ = end;
    if (flushed_.exchange(false) && OnDirty) OnDirty();
    // What was just written exists: reads of it need not ask the system for the size.
    if (map_ != nullptr && end <= capacity_ && end > knownLength_) knownLength_ = end;
}

void TTarnDBFileStream::Truncate(int64_t length) {
    knownLength_ = 0;  // no read through the mapping may reach past the new end
    lengthKnown_ = false;
    file_->Truncate(length);
    if (flushed_.exchange(false) && OnDirty) OnDirty();
}

const uint8_t* TTarnDBFileStream::View(int64_t offset, size_t count) {
    return locked_ ? Mapped(offset, count) : nullptr;
}

bool TTarnDBFileStream::Holds(int64_t offset, const uint8_t* bytes, size_t count) {
    if (!locked_ && !MappedReadsGuarded()) return false;
    const uint8_t* p = Mapped(offset, count);
    if (p == nullptr) return false;
    switch (CompareWithMapping(p, bytes, count)) {
        case TMappedCompare::Same:
            return true;
        case TMappedCompare::Differs:
            return false;
        case TMappedCompare::Gone:
            break;
    }
    Cut();
    return false;
}

const uint8_t* TTarnDBFileStream::Mapped(int64_t offset, size_t count) {
    if (offset < 0) return nullptr;
    int64_t end = offset + static_cast<int64_t>(count);
    if (map_ == nullptr && unmappedReads_ < kReadsBeforeMapping) {
        ++unmappedReads_;
        return nullptr;
    }
    if (map_ == nullptr || end > knownLength_) {
        // The file may have grown since we last looked (here or in another process).
        map_ = file_->MapView(knownLength_, capacity_);
        if (map_ != nullptr && locked_) {
            length_ = knownLength_;  // what the system just said
            lengthKnown_ = true;
        }
        if (map_ == nullptr || end > knownLength_) return nullptr;
    }
    return map_ + offset;
}

void TTarnDBFileStream::Flush() {
    flushed_.store(true);
    try {
        file_->Sync();
    } catch (...) {
        flushed_.store(false);
        throw;
    }
}

}  // namespace tarn

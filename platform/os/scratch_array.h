// Scratch arrays of one operation that are large, in pages of their own.
//
// The allocator keeps the space of a large freed block in the process for later use, so a
// multi-megabyte vector freed at the end of a load stays resident and looks like memory the
// open table holds. These arrays are mapped on their own and unmapped when they go: their
// pages are back with the system as soon as the operation ends.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

namespace tarn {

template <typename T>
class TScratchArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    // `count` zero-filled elements.
    explicit TScratchArray(size_t count) : count_(count) {
        if (count == 0) return;
        if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        void* p = mmap(nullptr, Bytes(), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        data_ = static_cast<T*>(p);
    }
    ~TScratchArray() {
        if (data_ != nullptr) munmap(data_, Bytes());
    }
    TScratchArray(const TScratchArray&) = delete;
    TScratchArray& operator=(const TScratchArray&) = delete;

    size_t size() const { return count_; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }

private:
    size_t Bytes() const { return count_ * sizeof(T); }
    T* data_ = nullptr;
    size_t count_;
};

}  // namespace tarn

// TRecordList: an ordered list of record-list entries (DataOffset, record number) with cheap
// positional insert, erase and access at any size. A flat array would cost a memmove of
// megabytes per insert or erase in the middle of a million-entry list; this keeps entries
// in chunks of at most kMaxChunk with a running count per chunk, so every operation costs
// O(chunks + kMaxChunk) word moves at worst and positional access a binary search.
//
// Positions mean exactly what they mean in a flat array: 0 .. Count() - 1 in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarn {

struct TRecordEntry {
    int32_t dataOffset = 0;
    int32_t recNo = 0;
    bool operator==(const TRecordEntry&) const = default;
};

class TRecordList {
public:
    static constexpr size_t kMaxChunk = 2048;

    int Count() const { return count_; }
    bool Empty() const { return count_ == 0; }
    const TRecordEntry& At(int position) const;
    void Insert(int position, const TRecordEntry& e);
    void PushBack(const TRecordEntry& e);
    // Replaces the contents with `entries` (in order), in one pass.
    void Assign(const std::vector<TRecordEntry>& entries);
    // Appends `entries` (1 to kMaxChunk of them, in order) as a chunk of their own, taking
    // their memory: for loading a list in bulk.
    void AppendChunk(std::vector<TRecordEntry>&& entries);
    void Erase(int position);
    void Clear();
    // Position of the first entry whose record number is >= recNo, for lists kept in
    // ascending record number (list 0); Count() when there is none.
    int LowerBoundRecNo(int32_t recNo) const;
    // Position of the entry with record number recNo, by linear scan; -1 when absent.
    int FindRecNo(int32_t recNo) const;
    std::vector<TRecordEntry> ToVector() const;

private:
    // Chunk and offset within it of `position` (0 <= position <= count_).
    void Locate(int position, size_t& chunk, size_t& offset) const;
    void RebuildStarts(size_t fromChunk);

    std::vector<std::vector<TRecordEntry>> chunks_;
    std::vector<int> starts_;  // starts_[c] = position of chunks_[c][0]
    mutable size_t hint_ = 0;  // the chunk of the last access: walks stay in it
    int count_ = 0;
};

}  // namespace tarn

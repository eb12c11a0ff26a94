// TRecordList: an ordered list of record-list entries (DataOffset, record number) with cheap
// positional insert, erase and access at any size. A flat array would cost a memmove of
// megabytes per insert or erase in the middle of a million-entry list; this keeps entries
// in chunks of at most kMaxChunk with a running count per chunk, so every operation costs
// O(chunks + kMaxChunk) word moves at worst and positional access a binary search.
//
// Positions mean exactly what they mean in a flat array: 0 .. Count() - 1 in order.
//
// A chunk whose record numbers run on by one (list 0 read from a record-table block without
// deletions, and rows appended after it) keeps its first record number only and four bytes
// per entry; the first insert or erase inside it that breaks the run gives it a record
// number per entry again. Entries are therefore handed out by value.
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
    // Inline for the common case of a walk, which stays in the chunk of the last access.
    TRecordEntry At(int position) const {
        if (hint_ < chunks_.size()) {
            const Chunk& ch = chunks_[hint_];
            const int at = position - starts_[hint_];
            if (at >= 0 && static_cast<size_t>(at) < ch.Size() && position < count_)
                return {ch.offsets[static_cast<size_t>(at)], ch.RecNo(static_cast<size_t>(at))};
        }
        return AtElsewhere(position);
    }
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
    struct Chunk {
        std::vector<int32_t> offsets;  // DataOffset of every entry
        std::vector<int32_t> recNos;   // record number of every entry; empty in a run
        int32_t base = 0;              // in a run: the record number of entry 0
        size_t Size() const { return offsets.size(); }
        bool Run() const { return recNos.empty(); }
        int32_t RecNo(size_t i) const {
            return recNos.empty() ? base + static_cast<int32_t>(i) : recNos[i];
        }
        // Gives every entry its own record number (before a change that breaks the run).
        void Expand();
    };
    // A chunk holding [first, last), exactly sized, as a run when the record numbers allow.
    static Chunk MakeChunk(const TRecordEntry* first, const TRecordEntry* last);

    // Chunk and offset within it of `position` (0 <= position <= count_).
    void Locate(int position, size_t& chunk, size_t& offset) const;
    void ShiftStarts(size_t fromChunk, int by);
    TRecordEntry AtElsewhere(int position) const;

    std::vector<Chunk> chunks_;
    std::vector<int> starts_;  // starts_[c] = position of chunks_[c]'s entry 0
    mutable size_t hint_ = 0;  // the chunk of the last access: walks stay in it
    int count_ = 0;
};

}  // namespace tarn

#include "tarndb/record_list.h"

#include <algorithm>
#include <string>

#include "tarndb/errors.h"

namespace tarn {

namespace {
[[noreturn]] void PositionError(const char* what, int position, int count) {
    throw EDatabaseError(
        Format("Record list %s position %d is outside 0..%d", what, position, count));
}
}  // namespace

void TRecordList::Chunk::Expand() {
    if (!recNos.empty()) return;
    recNos.reserve(offsets.capacity());
    for (size_t i = 0; i < offsets.size(); ++i) recNos.push_back(base + static_cast<int32_t>(i));
}

TRecordList::Chunk TRecordList::MakeChunk(const TRecordEntry* first, const TRecordEntry* last) {
    Chunk c;
    const size_t n = static_cast<size_t>(last - first);
    c.offsets.reserve(n);
    bool run = true;
    for (size_t i = 0; i < n; ++i) {
        c.offsets.push_back(first[i].dataOffset);
        // Compared as differences, so that no record number can overflow the test.
        if (i > 0 && static_cast<int64_t>(first[i].recNo) - first[i - 1].recNo != 1) run = false;
    }
    if (n > 0) c.base = first[0].recNo;
    if (!run) {
        c.recNos.reserve(n);
        for (size_t i = 0; i < n; ++i) c.recNos.push_back(first[i].recNo);
    }
    return c;
}

void TRecordList::Locate(int position, size_t& chunk, size_t& offset) const {
    if (hint_ < chunks_.size() && position >= starts_[hint_] &&
        position < starts_[hint_] + static_cast<int>(chunks_[hint_].Size())) {
        chunk = hint_;
        offset = static_cast<size_t>(position - starts_[hint_]);
        return;
    }
    // Last chunk whose start is <= position.
    auto it = std::upper_bound(starts_.begin(), starts_.end(), position);
    chunk = static_cast<size_t>(it - starts_.begin()) - 1;
    offset = static_cast<size_t>(position - starts_[chunk]);
    hint_ = chunk;
}

TRecordEntry TRecordList::AtElsewhere(int position) const {
    if (position < 0 || position >= count_) PositionError("read", position, count_ - 1);
    size_t c, o;
    Locate(position, c, o);
    const Chunk& ch = chunks_[c];
    return {ch.offsets[o], ch.RecNo(o)};
}

void TRecordList::PushBack(const TRecordEntry& e) {
    if (chunks_.empty() || chunks_.back().Size() >= kMaxChunk) {
        chunks_.emplace_back();
        chunks_.back().offsets.reserve(kMaxChunk);
        chunks_.back().base = e.recNo;
        starts_.push_back(count_);
    }
    Chunk& ch = chunks_.back();
    if (ch.Run() && ch.Size() > 0 &&
        static_cast<int64_t>(e.recNo) - ch.base != static_cast<int64_t>(ch.Size()))
        ch.Expand();
    ch.offsets.push_back(e.dataOffset);
    if (!ch.Run()) ch.recNos.push_back(e.recNo);
    ++count_;
}

void TRecordList::Assign(const std::vector<TRecordEntry>& entries) {
    Clear();
    for (size_t from = 0; from < entries.size(); from += kMaxChunk) {
        size_t to = std::min(entries.size(), from + kMaxChunk);
        chunks_.push_back(MakeChunk(entries.data() + from, entries.data() + to));
        starts_.push_back(static_cast<int>(from));
    }
    count_ = static_cast<int>(entries.size());
}

void TRecordList::AppendChunk(std::vector<TRecordEntry>&& entries) {
    if (entries.empty() || entries.size() > kMaxChunk)
        throw EDatabaseError(Format("Record list chunk of %zu entries is outside 1..%zu",
                                    entries.size(), kMaxChunk));
    chunks_.push_back(MakeChunk(entries.data(), entries.data() + entries.size()));
    starts_.push_back(count_);
    count_ += static_cast<int>(entries.size());
    entries = {};
}

void TRecordList::Insert(int position, const TRecordEntry& e) {
    if (position < 0 || position > count_) PositionError("insert", position, count_);
    if (position == count_) {
        PushBack(e);
        return;
    }
    size_t c, o;
    Locate(position, c, o);
    Chunk& ch = chunks_[c];
    ch.Expand();
    ch.offsets.insert(ch.offsets.begin() + static_cast<long>(o), e.dataOffset);
    ch.recNos.insert(ch.recNos.begin() + static_cast<long>(o), e.recNo);
    ++count_;
    if (ch.Size() > kMaxChunk) {
        // Split in two halves so that inserts stay cheap.
        const long half = static_cast<long>(ch.Size() / 2);
        Chunk tail;
        tail.offsets.reserve(kMaxChunk);
        tail.recNos.reserve(kMaxChunk);
        tail.offsets.assign(ch.offsets.begin() + half, ch.offsets.end());
        tail.recNos.assign(ch.recNos.begin() + half, ch.recNos.end());
        ch.offsets.resize(static_cast<size_t>(half));
        ch.recNos.resize(static_cast<size_t>(half));
        chunks_.insert(chunks_.begin() + static_cast<long>(c) + 1, std::move(tail));
        starts_.insert(starts_.begin() + static_cast<long>(c) + 1, starts_[c] + half);
        ShiftStarts(c + 2, 1);
        return;
    }
    ShiftStarts(c + 1, 1);
}

void TRecordList::Erase(int position) {
    if (position < 0 || position >= count_) PositionError("erase", position, count_ - 1);
    size_t c, o;
    Locate(position, c, o);
    Chunk& ch = chunks_[c];
    if (ch.Run() && o == 0) {
        ++ch.base;  // the run goes on from the next record number
    } else if (!(ch.Run() && o + 1 == ch.Size())) {
        ch.Expand();
        ch.recNos.erase(ch.recNos.begin() + static_cast<long>(o));
    }
    ch.offsets.erase(ch.offsets.begin() + static_cast<long>(o));
    --count_;
    if (ch.Size() == 0) {
        chunks_.erase(chunks_.begin() + static_cast<long>(c));
        starts_.erase(starts_.begin() + static_cast<long>(c));
        ShiftStarts(c, -1);
        return;
    }
    ShiftStarts(c + 1, -1);
}

// The chunks after a change move by the entries it added or took away: a pass over the
// starts alone (a few kilobytes at a million entries), not over every chunk.
void TRecordList::ShiftStarts(size_t fromChunk, int by) {
    for (size_t c = fromChunk; c < starts_.size(); ++c) starts_[c] += by;
}

void TRecordList::Clear() {
    chunks_.clear();
    starts_.clear();
    count_ = 0;
    hint_ = 0;
}

int TRecordList::LowerBoundRecNo(int32_t recNo) const {
    // The chunk that may hold recNo: the last whose first record number is <= recNo.
    auto cit = std::upper_bound(chunks_.begin(), chunks_.end(), recNo,
                                [](int32_t r, const Chunk& ch) { return r < ch.RecNo(0); });
    if (cit == chunks_.begin()) return 0;
    size_t c = static_cast<size_t>(cit - chunks_.begin()) - 1;
    const Chunk& ch = chunks_[c];
    if (ch.Run()) {
        const int64_t at = static_cast<int64_t>(recNo) - ch.base;
        return starts_[c] +
               static_cast<int>(std::min<int64_t>(at, static_cast<int64_t>(ch.Size())));
    }
    auto it = std::lower_bound(ch.recNos.begin(), ch.recNos.end(), recNo);
    return starts_[c] + static_cast<int>(it - ch.recNos.begin());
}

int TRecordList::FindRecNo(int32_t recNo) const {
    for (size_t c = 0; c < chunks_.size(); ++c) {
        const Chunk& ch = chunks_[c];
        if (ch.Run()) {
            const int64_t at = static_cast<int64_t>(recNo) - ch.base;
            if (at >= 0 && at < static_cast<int64_t>(ch.Size()))
                return starts_[c] + static_cast<int>(at);
            continue;
        }
        for (size_t o = 0; o < ch.Size(); ++o)
            if (ch.recNos[o] == recNo) return starts_[c] + static_cast<int>(o);
    }
    return -1;
}

std::vector<TRecordEntry> TRecordList::ToVector() const {
    std::vector<TRecordEntry> v;
    v.reserve(static_cast<size_t>(count_));
    for (const Chunk& ch : chunks_)
        for (size_t o = 0; o < ch.Size(); ++o) v.push_back({ch.offsets[o], ch.RecNo(o)});
    return v;
}

}  // namespace tarn

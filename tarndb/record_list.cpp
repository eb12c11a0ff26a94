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

void TRecordList::Locate(int position, size_t& chunk, size_t& offset) const {
    if (hint_ < chunks_.size() && position >= starts_[hint_] &&
        position < starts_[hint_] + static_cast<int>(chunks_[hint_].size())) {
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

void TRecordList::RebuildStarts(size_t fromChunk) {
    starts_.resize(chunks_.size());
    int pos = fromChunk == 0
                  ? 0
                  : starts_[fromChunk - 1] + static_cast<int>(chunks_[fromChunk - 1].size());
    for (size_t c = fromChunk; c < chunks_.size(); ++c) {
        starts_[c] = pos;
        pos += static_cast<int>(chunks_[c].size());
    }
}

const TRecordEntry& TRecordList::At(int position) const {
    if (position < 0 || position >= count_) PositionError("read", position, count_ - 1);
    size_t c, o;
    Locate(position, c, o);
    return chunks_[c][o];
}

void TRecordList::PushBack(const TRecordEntry& e) {
    if (chunks_.empty() || chunks_.back().size() >= kMaxChunk) {
        chunks_.emplace_back();
        chunks_.back().reserve(kMaxChunk);
        starts_.push_back(count_);
    }
    chunks_.back().push_back(e);
    ++count_;
}

void TRecordList::Assign(const std::vector<TRecordEntry>& entries) {
    Clear();
    for (size_t from = 0; from < entries.size(); from += kMaxChunk) {
        size_t to = std::min(entries.size(), from + kMaxChunk);
        chunks_.emplace_back();
        chunks_.back().reserve(kMaxChunk);
        chunks_.back().assign(entries.begin() + static_cast<long>(from),
                              entries.begin() + static_cast<long>(to));
        starts_.push_back(static_cast<int>(from));
    }
    count_ = static_cast<int>(entries.size());
}

void TRecordList::AppendChunk(std::vector<TRecordEntry>&& entries) {
    if (entries.empty() || entries.size() > kMaxChunk)
        throw EDatabaseError(Format("Record list chunk of %zu entries is outside 1..%zu",
                                    entries.size(), kMaxChunk));
    starts_.push_back(count_);
    count_ += static_cast<int>(entries.size());
    chunks_.push_back(std::move(entries));
}

void TRecordList::Insert(int position, const TRecordEntry& e) {
    if (position < 0 || position > count_) PositionError("insert", position, count_);
    if (position == count_) {
        PushBack(e);
        return;
    }
    size_t c, o;
    Locate(position, c, o);
    auto& chunk = chunks_[c];
    chunk.insert(chunk.begin() + static_cast<long>(o), e);
    ++count_;
    if (chunk.size() > kMaxChunk) {
        // Split in two halves so that inserts stay cheap.
        std::vector<TRecordEntry> tail(chunk.begin() + static_cast<long>(chunk.size() / 2),
                                       chunk.end());
        chunk.resize(chunk.size() / 2);
        tail.reserve(kMaxChunk);
        chunks_.insert(chunks_.begin() + static_cast<long>(c) + 1, std::move(tail));
    }
    RebuildStarts(c);
}

void TRecordList::Erase(int position) {
    if (position < 0 || position >= count_) PositionError("erase", position, count_ - 1);
    size_t c, o;
    Locate(position, c, o);
    auto& chunk = chunks_[c];
    chunk.erase(chunk.begin() + static_cast<long>(o));
    --count_;
    if (chunk.empty()) chunks_.erase(chunks_.begin() + static_cast<long>(c));
    if (c < chunks_.size())
        RebuildStarts(c);
    else
        starts_.resize(chunks_.size());
}

void TRecordList::Clear() {
    chunks_.clear();
    starts_.clear();
    count_ = 0;
}

int TRecordList::LowerBoundRecNo(int32_t recNo) const {
    // The chunk that may hold recNo: the last whose first record number is <= recNo.
    auto cit = std::upper_bound(
        chunks_.begin(), chunks_.end(), recNo,
        [](int32_t r, const std::vector<TRecordEntry>& ch) { return r < ch.front().recNo; });
    if (cit == chunks_.begin()) return 0;
    size_t c = static_cast<size_t>(cit - chunks_.begin()) - 1;
    const auto& ch = chunks_[c];
    auto it = std::lower_bound(ch.begin(), ch.end(), recNo,
                               [](const TRecordEntry& e, int32_t r) { return e.recNo < r; });
    return starts_[c] + static_cast<int>(it - ch.begin());
}

int TRecordList::FindRecNo(int32_t recNo) const {
    for (size_t c = 0; c < chunks_.size(); ++c)
        for (size_t o = 0; o < chunks_[c].size(); ++o)
            if (chunks_[c][o].recNo == recNo) return starts_[c] + static_cast<int>(o);
    return -1;
}

std::vector<TRecordEntry> TRecordList::ToVector() const {
    std::vector<TRecordEntry> v;
    v.reserve(static_cast<size_t>(count_));
    for (const auto& ch : chunks_) v.insert(v.end(), ch.begin(), ch.end());
    return v;
}

}  // namespace tarn

#include "tarndb/index_links.h"

#include <algorithm>

#include "platform/bytes.h"
#include "tarndb/errors.h"
#include "tarndb/file_io.h"

namespace tarn::index_disk {

namespace b = tarn::bytes;
using namespace tarn::format;

namespace {
constexpr int kBlocksPerWrite = 64;
}

int32_t ChangeCount(const TableHeader& h) { return b::GetI32(h.raw, kHdrChangeCount); }
void SetChangeCount(TableHeader& h, int32_t v) { b::PutI32(h.raw, kHdrChangeCount, v); }

int32_t MovingRecord(const TableHeader& h) {
    int32_t v = b::GetI32(h.raw, kHdrMovingRecord);
    return v > 0 ? v - 1 : -1;
}
void SetMovingRecord(TableHeader& h, int32_t recNo) {
    b::PutI32(h.raw, kHdrMovingRecord, recNo >= 0 ? recNo + 1 : 0);
}

size_t IndexTabOffsetAt(int index) {
    return kHdrIndexes + static_cast<size_t>(index) * kIndexEntrySize + kIdxTabOffset;
}
size_t IndexHeadAt(int index) {
    return kHdrIndexes + static_cast<size_t>(index) * kIndexEntrySize + kIdxHead;
}

int64_t ItemOffset(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t recNo) {
    size_t block = static_cast<size_t>(recNo) / kItemsPerBlock;
    if (recNo < 0 || block >= blocks.size())
        io.Damaged(Format("index item %d lies beyond the %zu blocks of its index table", recNo,
                          blocks.size()));
    return static_cast<int64_t>(blocks[block]) + kBlockLinkSize +
           static_cast<int64_t>(recNo % kItemsPerBlock) * kIdxItemSize;
}

int32_t ReadNext(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t recNo) {
    uint8_t word[4];
    io.ReadAt(ItemOffset(io, blocks, recNo) + 4, sizeof word, word);
    return b::GetI32(word, 0);
}

void WriteNext(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t recNo, int32_t next) {
    uint8_t word[4];
    b::PutI32(word, 0, next);
    io.WriteAt(ItemOffset(io, blocks, recNo) + 4, word, sizeof word);
}

void WriteItem(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t recNo, int32_t next) {
    uint8_t item[kIdxItemSize];
    IndexTabItem{recNo, next}.Encode(item);
    io.WriteAt(ItemOffset(io, blocks, recNo), item, sizeof item);
}

int32_t AppendBlock(TTarnDBFileIO& io, int32_t previousLast, int32_t firstRecNo, int32_t next) {
    int64_t end = io.FileSize();
    if (end + kIdxBlockSize > INT32_MAX)
        throw EDatabaseError(
            Format("Database file '%s' cannot grow beyond 2 GB", io.FileName().c_str()));
    std::vector<uint8_t> block(static_cast<size_t>(kIdxBlockSize), 0);
    b::PutI32(block, kBlockLinkSize, firstRecNo);
    b::PutI32(block, kBlockLinkSize + 4, next);
    io.WriteAt(end, block.data(), block.size());
    if (previousLast != 0) {
        uint8_t link[4];
        b::PutI32(link, 0, static_cast<int32_t>(end));
        io.WriteAt(previousLast, link, sizeof link);
    }
    return static_cast<int32_t>(end);
}

bool ReadItemBeyond(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t total,
                    int32_t& next) {
    if (blocks.empty() || total < 0) return false;
    size_t block = static_cast<size_t>(total) / kItemsPerBlock;
    int64_t blockOffset;
    if (block < blocks.size()) {
        blockOffset = blocks[block];
    } else {
        uint8_t link[4];
        io.ReadAt(blocks.back(), sizeof link, link);
        blockOffset = b::GetI32(link, 0);
        if (blockOffset == 0) return false;
        if (blockOffset < kFirstFreeOffset)
            io.Damaged(
                Format("index block linked at offset %lld", static_cast<long long>(blockOffset)));
    }
    uint8_t item[kIdxItemSize];
    io.ReadAt(
        blockOffset + kBlockLinkSize + static_cast<int64_t>(total % kItemsPerBlock) * kIdxItemSize,
        sizeof item, item);
    next = IndexTabItem::Decode(item).nextRecord;
    return true;
}

bool HasLeftover(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t total) {
    if (blocks.empty() || total <= 0) return false;
    if (total % kItemsPerBlock == 0) {
        uint8_t copy[4];
        const uint8_t* link = io.ViewOrRead(blocks.back(), 4, copy);
        return b::GetI32(std::span<const uint8_t>(link, 4), 0) != 0;
    }
    int64_t offset = ItemOffset(io, blocks, total);
    uint8_t copy[4];
    const uint8_t* own = io.ViewOrRead(offset, 4, copy);
    return b::GetI32(std::span<const uint8_t>(own, 4), 0) == total;
}

void ClearLeftover(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t total) {
    if (blocks.empty() || total <= 0) return;
    if (total % kItemsPerBlock == 0) {
        uint8_t zero[4] = {};
        io.WriteAt(blocks.back(), zero, sizeof zero);
    } else {
        uint8_t zero[kIdxItemSize] = {};
        io.WriteAt(ItemOffset(io, blocks, total), zero, sizeof zero);
    }
}

std::vector<int32_t> WriteTable(TTarnDBFileIO& io, int32_t total, const TRecordList& order) {
    std::vector<int32_t> blocks;
    if (total <= 0) return blocks;
    std::vector<int32_t> next(static_cast<size_t>(total), -1);
    std::vector<TRecordEntry> entries = order.ToVector();
    for (size_t j = 0; j + 1 < entries.size(); ++j) {
        int32_t k = entries[j].recNo;
        if (k < 0 || k >= total) throw EDatabaseError(Format("Record number %d out of range", k));
        next[static_cast<size_t>(k)] = entries[j + 1].recNo;
    }
    int64_t blockCount = (static_cast<int64_t>(total) + kItemsPerBlock - 1) / kItemsPerBlock;
    int64_t start = io.FileSize();
    if (start + blockCount * kIdxBlockSize > INT32_MAX)
        throw EDatabaseError(
            Format("Database file '%s' cannot grow beyond 2 GB", io.FileName().c_str()));
    std::vector<uint8_t> chunk;
    for (int64_t first = 0; first < blockCount; first += kBlocksPerWrite) {
        int64_t count = std::min<int64_t>(kBlocksPerWrite, blockCount - first);
        chunk.assign(static_cast<size_t>(count * kIdxBlockSize), 0);
        for (int64_t blk = first; blk < first + count; ++blk) {
            std::span<uint8_t> block(chunk.data() + (blk - first) * kIdxBlockSize,
                                     static_cast<size_t>(kIdxBlockSize));
            int32_t offset = static_cast<int32_t>(start + blk * kIdxBlockSize);
            blocks.push_back(offset);
            b::PutI32(block, 0, blk + 1 < blockCount ? offset + kIdxBlockSize : 0);
            for (int32_t k = static_cast<int32_t>(blk * kItemsPerBlock);
                 k < total && k < static_cast<int32_t>((blk + 1) * kItemsPerBlock); ++k) {
                size_t at =
                    static_cast<size_t>(kBlockLinkSize + (k % kItemsPerBlock) * kIdxItemSize);
                b::PutI32(block, at, k);
                b::PutI32(block, at + 4, next[static_cast<size_t>(k)]);
            }
        }
        io.WriteAt(start + first * kIdxBlockSize, chunk.data(), chunk.size());
    }
    return blocks;
}

}  // namespace tarn::index_disk

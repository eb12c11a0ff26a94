// Loading key order from the chains on disk, and repairing chains that an interrupted write
// left behind (the write order and the traces it can leave are explained in indexes.cpp).
#include <algorithm>

#include "platform/os/scratch_array.h"
#include "tarndb/errors.h"
#include "tarndb/file_io.h"
#include "tarndb/index_links.h"
#include "tarndb/indexes.h"

namespace tarn {

using format::TableHeader;

bool TTarnTableIO::TIndexRepair::Pending() const {
    if (clearMoving) return true;
    for (size_t i = 0; i < rebuild.size(); ++i)
        if (rebuild[i] || clearLeftover[i]) return true;
    return false;
}

namespace {

// Where an entry with `entry`'s key goes in `list`: after every equal key, so that records
// placed in ascending record number keep that order among equal keys.
int AfterEqualKeys(TTarnTableIO& table, int index, const TRecordList& list,
                   const TRecordEntry& entry) {
    TKeyValues key(table, entry);
    TKeyComparer cmp(table, index, key);
    TKeySearch last = tarn::SearchKeyBound(cmp, TListView(list), false);
    if (last.outcome == -2) return 0;
    return last.outcome == -1 ? last.position : last.position + 1;
}

}  // namespace

void TTableIndexes::BeginKeyOrderLoad(TTarnTableIO& table) {
    const int count = table.IndexCount();
    TTarnTableIO::TIndexRepair& repair = table.indexRepair_;
    repair.rebuild.assign(static_cast<size_t>(count), 0);
    repair.clearLeftover.assign(static_cast<size_t>(count), 0);
    repair.findings.clear();
    table.indexBlocks_.assign(static_cast<size_t>(count), {});
    // A rewrite that was moving this record did not finish: its place is decided anew.
    int32_t moving = index_disk::MovingRecord(table.header_);
    repair.clearMoving = count > 0 && moving >= 0;
    if (repair.clearMoving)
        repair.findings.push_back(Format(
            "table '%s': a rewrite of record %d stopped while it moved the record in the index "
            "chains; the record is placed by its stored key",
            table.TableName().c_str(), moving));
}

namespace {

// Where each record is in list 0, which holds the live records in ascending record number:
// per record-table block, the position of its first live record and how many it has. A
// block without deletions maps record numbers to positions by arithmetic; others are
// searched. Small (8 bytes per 1024 records), so a load keeps no per-record scratch.
class TPhysicalPositions {
public:
    TPhysicalPositions(const TRecordList& physical, int32_t total)
        : physical_(physical), total_(total) {
        size_t blocks =
            (static_cast<size_t>(total) + format::kItemsPerBlock - 1) / format::kItemsPerBlock;
        first_.assign(blocks, 0);
        live_.assign(blocks, 0);
        for (int p = 0; p < physical.Count(); ++p) {
            int32_t k = physical.At(p).recNo;
            if (k < 0 || k >= total)
                throw EDatabaseError(Format("Record number %d out of range", k));
            size_t b = static_cast<size_t>(k) / format::kItemsPerBlock;
            if (live_[b]++ == 0) first_[b] = p;
        }
    }
    // Position of record k (0 <= k < total) in list 0; -1 when it is not live.
    int Find(int32_t k) const {
        size_t b = static_cast<size_t>(k) / format::kItemsPerBlock;
        int32_t n = live_[b];
        if (n == 0) return -1;
        int32_t inBlock = std::min<int32_t>(
            format::kItemsPerBlock, total_ - static_cast<int32_t>(b) * format::kItemsPerBlock);
        if (n == inBlock) return first_[b] + k % format::kItemsPerBlock;
        int lo = first_[b], hi = first_[b] + n - 1;
        while (lo <= hi) {
            int mid = lo + (hi - lo) / 2;
            int32_t r = physical_.At(mid).recNo;
            if (r == k) return mid;
            if (r < k)
                lo = mid + 1;
            else
                hi = mid - 1;
        }
        return -1;
    }

private:
    const TRecordList& physical_;
    int32_t total_;
    std::vector<int32_t> first_;
    std::vector<int32_t> live_;
};

// NextRecord of every item 0 .. total - 1 of an index table whose blocks were checked to lie
// in the file, read block by block. The chain meets the items in key order, all over the
// index table: following it through this dense array instead of the mapped file spares
// each step the view of the file and most of its cache and page misses.
void ReadSuccessors(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t total,
                    TScratchArray<int32_t>& next) {
    constexpr int32_t perBlock = format::kItemsPerBlock;
    if (static_cast<int64_t>(blocks.size()) * perBlock < total)
        throw EDatabaseError(
            Format("it has %zu blocks for %d records", blocks.size(), static_cast<int>(total)));
    std::vector<uint8_t> copy;
    for (int32_t first = 0; first < total; first += perBlock) {
        const size_t n = static_cast<size_t>(std::min(perBlock, total - first));
        const size_t size = n * format::kIdxItemSize;
        const int64_t at = static_cast<int64_t>(blocks[static_cast<size_t>(first / perBlock)]) +
                           format::kBlockLinkSize;
        const uint8_t* items = io.ViewOrRead(at, size, copy);
        // Little-endian words, inside the `size` bytes just viewed or read.
        const uint8_t* word = items + format::IndexTabItem::kNextRecord;
        for (size_t j = 0; j < n; ++j, word += format::kIdxItemSize)
            next[static_cast<size_t>(first) + j] =
                static_cast<int32_t>(uint32_t{word[0]} | uint32_t{word[1]} << 8 |
                                     uint32_t{word[2]} << 16 | uint32_t{word[3]} << 24);
    }
}

}  // namespace

void TTableIndexes::LoadKeyOrder(TTarnTableIO& table, TTarnDBFileIO& io, int i) {
    const TableHeader& header = table.header_;
    const int32_t total = header.RecordTotal();
    const char* tableName = table.TableName().c_str();
    TTarnTableIO::TIndexRepair& repair = table.indexRepair_;
    TRecordList& list = table.lists_[static_cast<size_t>(i) + 1];
    list.Clear();
    repair.rebuild[static_cast<size_t>(i)] = 0;
    repair.clearLeftover[static_cast<size_t>(i)] = 0;
    if (total <= 0) return;  // no records: the chain is not in use
    // The records as the load found them: list 0 is read with the header and nothing has
    // been written since (every write reads the key lists first).
    const TRecordList& physical = table.lists_[0];
    const TPhysicalPositions positions(physical, total);
    auto live = [&](int32_t k) { return positions.Find(k) >= 0; };
    // k is live: its entry as list 0 holds it.
    auto entryOf = [&](int32_t k) { return physical.At(positions.Find(k)); };
    int32_t moving = index_disk::MovingRecord(header);
    bool movingLive = moving >= 0 && moving < total && live(moving);

    const char* indexName = table.IndexDefs()[i].Name().c_str();
    std::vector<int32_t>& blocks = table.indexBlocks_[static_cast<size_t>(i)];
    blocks.clear();
    std::vector<int32_t> misplaced;
    // One bit per record: visited by the walk.
    std::vector<uint64_t> seen(static_cast<size_t>(total) / 64 + 1, 0);
    auto wasSeen = [&](int32_t k) { return (seen[static_cast<size_t>(k) / 64] >> (k % 64)) & 1; };
    // Why the chain cannot be followed; empty while it can.
    std::string damage;
    if (header.IndexTabOffset(i) == 0) {
        // Records but no index table: every live record is placed by its key.
        damage = "it has no index table";
    } else {
        try {
            io.ReadBlockChain(header.IndexTabOffset(i), total, format::kIdxBlockSize, blocks,
                              "index table", nullptr);
        } catch (const EDatabaseError& e) {
            damage = e.Message();
            blocks.clear();
        }
    }
    if (damage.empty()) {
        bool steppedOver = false;
        int32_t k = header.IndexHead(i);
        // Each record is visited at most once and the one beyond the last at most once,
        // so the walk ends after at most total + 1 steps or finds the damage.
        try {
            // Two arrays of a word per record, in pages of their own (a load of a million
            // records would otherwise leave 8 MB resident after it).
            TScratchArray<int32_t> next(static_cast<size_t>(total));
            ReadSuccessors(io, blocks, total, next);
            // The records in chain order; their entries are looked up after the walk, so
            // that the walk itself depends on one array only.
            TScratchArray<int32_t> order(static_cast<size_t>(total));
            size_t ordered = 0;
            while (k != -1 && damage.empty()) {
                if (k >= 0 && k < total) {
                    if (wasSeen(k)) {
                        damage = Format("it visits record %d twice", k);
                        break;
                    }
                    seen[static_cast<size_t>(k) / 64] |= uint64_t{1} << (k % 64);
                    if (!(movingLive && k == moving)) order[ordered++] = k;
                    k = next[static_cast<size_t>(k)];
                } else if (k == total && !steppedOver) {
                    // An append of record `total` linked it and stopped before its commit:
                    // step over it along its own item, which holds the former successor.
                    steppedOver = true;
                    int32_t next = 0;
                    if (!index_disk::ReadItemBeyond(io, blocks, total, next)) {
                        damage = Format("it links to record %d, which has no index item", k);
                        break;
                    }
                    repair.rebuild[static_cast<size_t>(i)] = 1;
                    repair.findings.push_back(Format(
                        "index '%s' of table '%s': the chain passes through record %d, which an "
                        "unfinished append linked in; it is stepped over",
                        indexName, tableName, total));
                    k = next;
                } else {
                    damage = Format("it links to record %d of %d", k, total);
                }
            }
            // The links have been followed: their array now takes the data offset of every
            // live record by record number, from one pass over list 0 in order, so that the
            // entries are looked up by index, not by position.
            TScratchArray<int32_t>& offsetOf = next;
            for (int p = 0; p < physical.Count() && damage.empty(); ++p) {
                const TRecordEntry e = physical.At(p);
                offsetOf[static_cast<size_t>(e.recNo)] = e.dataOffset;
            }
            std::vector<TRecordEntry> chunk;
            for (size_t j = 0; j < ordered && damage.empty(); ++j) {
                const int32_t r = order[j];
                if (!live(r)) continue;  // deleted: the chains keep it
                if (chunk.capacity() == 0) chunk.reserve(TRecordList::kMaxChunk);
                chunk.push_back({offsetOf[static_cast<size_t>(r)], r});
                if (chunk.size() == TRecordList::kMaxChunk) list.AppendChunk(std::move(chunk));
            }
            if (!chunk.empty() && damage.empty()) list.AppendChunk(std::move(chunk));
        } catch (const EDatabaseError& e) {
            damage = e.Message();
        }
    }
    if (!damage.empty()) {
        // The chain cannot be trusted: the key order comes from the records alone.
        list.Clear();
        repair.findings.push_back(
            Format("index '%s' of table '%s' is damaged (%s); its key order was built from "
                   "the records' keys",
                   indexName, tableName, damage.c_str()));
        repair.rebuild[static_cast<size_t>(i)] = 1;
        for (int32_t r = 0; r < total; ++r) {
            if (!live(r)) continue;
            TRecordEntry entry = entryOf(r);
            list.Insert(AfterEqualKeys(table, i, list, entry), entry);
        }
        return;
    }
    for (int32_t r = 0; r < total; ++r)
        if (!wasSeen(r) && live(r) && !(movingLive && r == moving)) misplaced.push_back(r);
    if (!misplaced.empty())
        repair.findings.push_back(
            Format("index '%s' of table '%s': the chain misses %zu live record%s; placed by "
                   "their keys",
                   indexName, tableName, misplaced.size(), misplaced.size() == 1 ? "" : "s"));
    if (movingLive) misplaced.push_back(moving);
    if (!repair.rebuild[static_cast<size_t>(i)] && misplaced.empty() &&
        index_disk::HasLeftover(io, blocks, total)) {
        repair.clearLeftover[static_cast<size_t>(i)] = 1;
        repair.findings.push_back(
            Format("index '%s' of table '%s': an unfinished append left an index item beyond "
                   "the last record",
                   indexName, tableName));
    }
    if (misplaced.empty()) return;
    repair.rebuild[static_cast<size_t>(i)] = 1;
    for (int32_t r : misplaced) {
        TRecordEntry entry = entryOf(r);
        TKeyValues key(table, entry);
        TKeyComparer cmp(table, i, key);
        list.Insert(tarn::InsertPosition(cmp, TListView(list)), entry);
    }
}

bool TTableIndexes::HasAppendLeftovers(TTarnTableIO& table, TTarnDBFileIO& io) {
    int32_t total = table.header_.RecordTotal();
    for (int i = 0; i < table.IndexCount(); ++i)
        if (index_disk::HasLeftover(io, table.indexBlocks_[static_cast<size_t>(i)], total))
            return true;
    return false;
}

void TTableIndexes::RepairChains(TTarnTableIO& table, TTarnDBFileIO& io) {
    TTarnTableIO::TIndexRepair& repair = table.indexRepair_;
    // A repair rewrites the header (the moving mark, index tables): every key list is read
    // before, from the chains as they are.
    table.LoadPendingKeyLists(io);
    if (!repair.Pending()) return;
    const int32_t total = table.header_.RecordTotal();
    TableHeader h = table.header_;
    bool switchHeader = repair.clearMoving;
    std::vector<std::vector<int32_t>> rebuilt(static_cast<size_t>(table.IndexCount()));
    for (int i = 0; i < table.IndexCount(); ++i) {
        const TRecordList& list = table.RecordList(i + 1);
        if (repair.rebuild[static_cast<size_t>(i)]) {
            // A new index table from the key list; the header write below puts it in force.
            rebuilt[static_cast<size_t>(i)] = index_disk::WriteTable(io, total, list);
            h.SetIndexTabOffset(i, rebuilt[static_cast<size_t>(i)].empty()
                                       ? 0
                                       : rebuilt[static_cast<size_t>(i)][0]);
            h.SetIndexHead(i, list.Empty() ? -1 : list.At(0).recNo);
            switchHeader = true;
        } else if (repair.clearLeftover[static_cast<size_t>(i)]) {
            index_disk::ClearLeftover(io, table.indexBlocks_[static_cast<size_t>(i)], total);
        }
    }
    if (switchHeader) {
        index_disk::SetMovingRecord(h, -1);
        index_disk::SetChangeCount(h, index_disk::ChangeCount(h) + 1);
        io.WriteTableHeader(table.TableNo(), h);
        table.header_ = h;
        for (int i = 0; i < table.IndexCount(); ++i)
            if (repair.rebuild[static_cast<size_t>(i)])
                table.indexBlocks_[static_cast<size_t>(i)] =
                    std::move(rebuilt[static_cast<size_t>(i)]);
    }
    repair.rebuild.assign(repair.rebuild.size(), 0);
    repair.clearLeftover.assign(repair.clearLeftover.size(), 0);
    repair.clearMoving = false;
}

void TTableIndexes::RepairOnOpen(TTarnTableIO& table, TTarnDBFileIO& io) {
    if (io.ReadOnly() || !table.indexRepair_.Pending()) return;
    try {
        RepairChains(table, io);
    } catch (const Exception& e) {
        // The file is left as a crash at that point would leave it, and the lists in memory
        // are right: the table opens all the same, and its next write operation reloads and
        // repairs again.
        table.stale_ = true;
        table.indexRepair_.findings.push_back("the index chains could not be rewritten: " +
                                              e.Message());
    }
}

}  // namespace tarn

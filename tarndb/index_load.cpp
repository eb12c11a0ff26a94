// Loading key order from the chains on disk, and repairing chains that an interrupted write
// left behind (the write order and the traces it can leave are explained in indexes.cpp).
#include "tarndb/errors.h"
#include "tarndb/file_io.h"
#include "tarndb/index_links.h"
#include "tarndb/indexes.h"

namespace tarn {

using format::RecordTabItem;
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

void TTableIndexes::LoadKeyOrder(TTarnTableIO& table, TTarnDBFileIO& io,
                                 const std::vector<RecordTabItem>& items) {
    const int count = table.IndexCount();
    const TableHeader& header = table.header_;
    const int32_t total = static_cast<int32_t>(items.size());
    const char* tableName = table.TableName().c_str();
    TTarnTableIO::TIndexRepair& repair = table.indexRepair_;
    repair.rebuild.assign(static_cast<size_t>(count), 0);
    repair.clearLeftover.assign(static_cast<size_t>(count), 0);
    repair.findings.clear();
    table.indexBlocks_.assign(static_cast<size_t>(count), {});
    if (count == 0) {
        repair.clearMoving = false;
        return;
    }
    // A rewrite that was moving this record did not finish: its place is decided anew.
    int32_t moving = index_disk::MovingRecord(header);
    repair.clearMoving = moving >= 0;
    bool movingLive = moving >= 0 && moving < total && !items[static_cast<size_t>(moving)].deleted;
    if (moving >= 0)
        repair.findings.push_back(Format(
            "table '%s': a rewrite of record %d stopped while it moved the record in the index "
            "chains; the record is placed by its stored key",
            tableName, moving));
    auto live = [&](int32_t k) { return !items[static_cast<size_t>(k)].deleted; };

    std::vector<format::IndexTabItem> links;
    std::vector<uint8_t> seen;
    for (int i = 0; i < count; ++i) {
        TRecordList& list = table.lists_[static_cast<size_t>(i) + 1];
        list.Clear();
        if (total == 0) continue;  // no records: the chain is not in use
        const char* indexName = table.IndexDefs()[i].Name().c_str();
        std::vector<int32_t>& blocks = table.indexBlocks_[static_cast<size_t>(i)];
        std::vector<int32_t> misplaced;
        // Why the chain cannot be followed; empty while it can.
        std::string damage;
        if (header.IndexTabOffset(i) == 0) {
            // Records but no index table: every live record is placed by its key.
            damage = "it has no index table";
        } else {
            try {
                io.ReadIndexTable(header, i, links, blocks);
            } catch (const EDatabaseError& e) {
                damage = e.Message();
                blocks.clear();
            }
        }
        if (damage.empty()) {
            seen.assign(static_cast<size_t>(total), 0);
            bool steppedOver = false;
            int32_t k = header.IndexHead(i);
            // Each record is visited at most once and the one beyond the last at most once,
            // so the walk ends after at most total + 1 steps or finds the damage.
            while (k != -1 && damage.empty()) {
                if (k >= 0 && k < total) {
                    if (seen[static_cast<size_t>(k)]++) {
                        damage = Format("it visits record %d twice", k);
                        break;
                    }
                    if (live(k) && !(movingLive && k == moving))
                        list.PushBack({items[static_cast<size_t>(k)].dataOffset, k});
                    k = links[static_cast<size_t>(k)].nextRecord;
                } else if (k == total && !steppedOver) {
                    // An append of record `total` linked it and stopped before its commit:
                    // step over it along its own item, which holds the former successor.
                    steppedOver = true;
                    int32_t next = 0;
                    bool found = false;
                    try {
                        found = index_disk::ReadItemBeyond(io, blocks, total, next);
                    } catch (const EDatabaseError& e) {
                        damage = e.Message();
                        break;
                    }
                    if (!found) {
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
                TRecordEntry entry{items[static_cast<size_t>(r)].dataOffset, r};
                list.Insert(AfterEqualKeys(table, i, list, entry), entry);
            }
            continue;
        }
        for (int32_t r = 0; r < total; ++r)
            if (!seen[static_cast<size_t>(r)] && live(r) && !(movingLive && r == moving))
                misplaced.push_back(r);
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
        if (misplaced.empty()) continue;
        repair.rebuild[static_cast<size_t>(i)] = 1;
        for (int32_t r : misplaced) {
            TRecordEntry entry{items[static_cast<size_t>(r)].dataOffset, r};
            TKeyValues key(table, entry);
            TKeyComparer cmp(table, i, key);
            list.Insert(tarn::InsertPosition(cmp, TListView(list)), entry);
        }
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

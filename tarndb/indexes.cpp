// Key order maintenance: uniqueness, append, rewrite, delete.
//
// Write order and what a crash leaves
// ===================================
// A write operation can stop after any of its writes (the process is killed, a write
// fails). The next load must find chains that hold exactly the live records in key order,
// and the next write must not build on a half-done one. A record exists for a load once
// RecordTotal counts it; index items of record numbers >= RecordTotal are not interpreted.
//
// Append of record k (RecordTotal = k before), under the lock:
//   1. data: the fixed part and blob areas at the end of the file;
//   2. record-table item k (or a new record-table block, linked from the last block);
//   3. per index: item k = (k, successor in key order), in a new index block appended at
//      the end and linked from the last block when k mod 1024 = 0; then the predecessor's
//      NextRecord := k. When k goes first, the new IndexHead is left for step 4;
//   4. commit: one header write with RecordTotal = k + 1, RecTabOffset, AutoIncCounter
//      and, where they changed, IndexHead and IndexTabOffset.
//   - Crash after 1 or 2, or in 3 before a predecessor is redirected: only bytes beyond
//     what the header describes; the load ignores them.
//   - Crash in 3 after some redirect: that chain passes through record k >= RecordTotal.
//     Item k was written first and holds the predecessor's former successor, so the load
//     steps over k along it and the chain loses nothing. As record number k is handed out
//     again, the stale link must go first: the load notes the index for a rebuild (see
//     Repair), and every write operation first looks for items an unfinished append left
//     (item k with OwnRecord = k, or a block linked after the last) and reloads when it
//     finds them, also when another process was the one interrupted.
//   - Crash after 4: the append is complete.
//
// Rewrite of record k that moves it in some index (after the uniqueness check and after
// every new position was computed, so nothing is written for a refused rewrite):
//   1. header: change count + 1 and "moving record" := k (8 bytes at 4805);
//   2. data: blob values, then the fixed part with the new key;
//   3. per moving index, in index order: unlink (the predecessor's NextRecord, or
//      IndexHead, := k's NextRecord), then link (k's NextRecord := the new predecessor's
//      NextRecord, then that NextRecord, or IndexHead, := k);
//   4. header: "moving record" := none.
//   A singly linked chain cannot move an element with one write: between unlink and link
//   k is in no chain, and in the indexes not yet handled it stands at its old key's place
//   while the file holds the new key. Step 1 makes all these states recognisable: a load
//   that finds the mark takes record k out of every key list and puts it back by the key
//   stored at that moment (old before 2, new after), and notes every index for a rebuild.
//   - Crash after 1, in 2 or after 2: k is put in place by its stored key; rebuild.
//   - Crash in 3: chains of the handled indexes moved, k possibly in no chain of the
//     current one, the others unchanged: the same treatment gives the right lists.
//   - Crash after 4: complete.
//   A rewrite that leaves every index's key bytes as they were writes no mark and no index
//   item; one whose new key lands at its old place neither.
//
// Delete of record k: change count + 1, then the Deleted flag. The chains keep k. A crash
// between the two leaves k live and the other processes reloading for nothing.
//
// Repair (done by the load that opens the table when the file may be written, else by the
// next write operation right after it synchronised with the file, before anything else;
// always under the lock): for each index noted by the load, a whole new index table is
// written at the end of the file from the in-memory key list; then one header write
// switches IndexTabOffset and IndexHead of all of them, clears the mark and bumps the
// change count. A crash before that write leaves the old chains in force and the load
// finds the same traces again. The load notes the same repair for chains that miss live
// records, have no index table at all or cannot be followed (a link outside the records, a
// record met twice: a torn link write leaves these), whatever wrote them; a chain that
// cannot be followed is not trusted at all, its order is built from the records' keys.
//
// Several writers: every write operation starts with SyncWithDisk, which reloads when
// the table header on disk differs from the one in memory. Appends change RecordTotal;
// deletes and moves bump the change count first, so a process never writes links from a
// key list that another process's writes have made stale.
//
// A failing write (an I/O error, a failing module) leaves the file as a crash at that
// point would; the table then reloads before its next write operation.
#include "tarndb/indexes.h"

#include <algorithm>

#include "platform/bytes.h"
#include "tarndb/errors.h"
#include "tarndb/file_io.h"
#include "tarndb/index_links.h"
#include "tarndb/key_text.h"

namespace tarn {

using format::TableHeader;

namespace {

bool IsUnique(const TTarnIndexDef& def) {
    return def.Options.Has(tiPrimary) || def.Options.Has(tiUnique);
}

bool HasUniqueIndex(TTarnTableIO& table) {
    for (int i = 0; i < table.IndexCount(); ++i)
        if (IsUnique(table.IndexDefs()[i])) return true;
    return false;
}

[[noreturn]] void Duplicate(TTarnTableIO& table, int index, const TKeyValues& key) {
    std::string text;
    const TTarnIndexDef& def = table.IndexDefs()[index];
    for (size_t j = 0; j < def.KeyFields.size(); ++j) {
        int f = def.KeyFields[j];
        if (j) text += ",";
        text += KeyValueText(table.FieldDefs()[f].FieldType, key.Value(f));
    }
    throw EDatabaseError(Format("Invalid unique field value '%s'", text.c_str()));
}

bool SameKeyBytes(TTarnTableIO& table, int index, const TKeyValues& a, const TKeyValues& b) {
    for (int32_t f : table.IndexDefs()[index].KeyFields) {
        std::span<const uint8_t> x = a.Value(f), y = b.Value(f);
        if (x.size() != y.size() || !std::equal(x.begin(), x.end(), y.begin())) return false;
    }
    return true;
}

// Position of `entry` in key list index + 1, `key` being its stored key.
//
// The format would find it by a linear scan of the list. Searching is equivalent while
// the list is in key order: the comparison is a total preorder for every type but
// date-times (strings by a collation, numbers by value, NaN below all), so the entries
// whose key compares equal to the record's own key form one contiguous run; SearchKeyBound
// returns its first and last position, and since a key compares equal to itself the
// record lies inside the run, which is scanned for its record number. Where the
// assumption fails (date-times compare equal within 1000 ms, which is not transitive; a
// file ordered under another locale's collation; a damaged order) the run may miss the
// record, and the linear scan answers, so the result is always the scan's.
//
// The run is walked from its first entry; a few steps compare each entry to notice the end
// of the run, a longer run is bounded by a second search and walked by record number only.
int FindPosition(TTarnTableIO& table, int index, const TRecordEntry& entry, const TKeyValues& key) {
    constexpr int kComparedSteps = 8;
    const TRecordList& list = table.RecordList(index + 1);
    TKeyComparer cmp(table, index, key);
    TKeySearch first = SearchKeyBound(cmp, TListView(list), true);
    if (first.outcome == 0) {
        int p = first.position;
        for (int step = 0; p < list.Count(); ++p, ++step) {
            if (list.At(p).recNo == entry.recNo) return p;
            if (step == kComparedSteps) {
                TKeySearch last = SearchKeyBound(cmp, TListView(list), false);
                for (; p <= last.position; ++p)
                    if (list.At(p).recNo == entry.recNo) return p;
                break;
            }
            if (p + 1 < list.Count() && cmp.Compare(list.At(p + 1)) != 0)
                break;  // the run ends here
        }
    }
    return list.FindRecNo(entry.recNo);
}

// Fails when the rewrite's new key, where it differs from the stored one, equals another
// record's key in a unique index. A key that stays as it is cannot create a duplicate.
void CheckUniqueRewrite(TTarnTableIO& table, const TRecordEntry& entry, const TKeyValues& oldKey,
                        const TKeyValues& key) {
    for (int i = 0; i < table.IndexCount(); ++i) {
        if (!IsUnique(table.IndexDefs()[i]) || SameKeyBytes(table, i, oldKey, key)) continue;
        const TRecordList& list = table.RecordList(i + 1);
        TKeyComparer cmp(table, i, key);
        // Every entry equal to the new key, not just the one a bisection meets: the
        // record's own entry among them is no conflict, any other is.
        TKeySearch first = SearchKeyBound(cmp, TListView(list), true);
        if (first.outcome != 0) continue;
        TKeySearch last = SearchKeyBound(cmp, TListView(list), false);
        for (int p = first.position; p <= last.position; ++p)
            if (list.At(p).recNo != entry.recNo) Duplicate(table, i, key);
    }
}

// Sets a 4-byte word of the table header, in memory and in the file.
void WriteHeaderWord(TTarnTableIO& table, TTarnDBFileIO& io, TableHeader& header, size_t offset) {
    io.WriteTableHeaderPart(table.TableNo(), header, offset, 4);
}

}  // namespace

bool TRelinkPlan::Moves() const {
    for (size_t i = 0; i < from.size(); ++i)
        if (from[i] >= 0 && to[i] != from[i]) return true;
    return false;
}

// ---- searches -------------------------------------------------------------------------------
// Each search holds the read lock (only counted when the caller holds it already): key
// values are read from the file, and reads check the file's size when the lock is taken.

int TTableIndexes::CompareKey(TTarnTableIO& table, const TFieldBuffers& buffers, int32_t recNo,
                              int index, int fieldCount, bool partial) {
    TTarnDBFileIO& io = table.File();
    ReadLockGuard lock(io);
    uint8_t item[format::kRecItemSize];
    io.ReadAt(table.RecordItemOffset(recNo), sizeof item, item);
    TRecordEntry entry{format::RecordTabItem::Decode(item).dataOffset, recNo};
    TKeyValues key(table, buffers, TKeySource::Search);
    TKeyComparer cmp(table, index, key, fieldCount, partial);
    return cmp.Compare(entry);
}

TKeySearch TTableIndexes::SearchKey(TTarnTableIO& table, const TFieldBuffers& buffers,
                                    const TRecordList& list, bool partial, int fieldCount,
                                    int index) {
    ReadLockGuard lock(table.File());
    TKeyValues key(table, buffers, TKeySource::Search);
    TKeyComparer cmp(table, index, key, fieldCount, partial);
    return tarn::SearchKey(cmp, TListView(list));
}

int TTableIndexes::InsertPosition(TTarnTableIO& table, const TFieldBuffers& buffers, int index) {
    ReadLockGuard lock(table.File());
    TKeyValues key(table, buffers, TKeySource::Search);
    TKeyComparer cmp(table, index, key);
    return tarn::InsertPosition(cmp, TListView(table.RecordList(index + 1)));
}

TKeySearch TTableIndexes::SearchKeyBound(TTarnTableIO& table, const TFieldBuffers& buffers,
                                         const TRecordList& list, bool partial, int fieldCount,
                                         bool first, int index) {
    ReadLockGuard lock(table.File());
    TKeyValues key(table, buffers, TKeySource::Search);
    TKeyComparer cmp(table, index, key, fieldCount, partial);
    return tarn::SearchKeyBound(cmp, TListView(list), first);
}

int TTableIndexes::KeyPositionOf(TTarnTableIO& table, int index, const TRecordEntry& entry) {
    TKeyValues key(table, entry);
    return FindPosition(table, index, entry, key);
}

// ---- uniqueness -----------------------------------------------------------------------------

void TTableIndexes::CheckUniqueForAdd(TTarnTableIO& table, TFieldBuffers& buffers) {
    if (!HasUniqueIndex(table)) return;
    TKeyValues key(table, buffers, TKeySource::Append);
    for (int i = 0; i < table.IndexCount(); ++i) {
        if (!IsUnique(table.IndexDefs()[i])) continue;
        TKeyComparer cmp(table, i, key);
        if (tarn::SearchKey(cmp, TListView(table.RecordList(i + 1))).outcome == 0)
            Duplicate(table, i, key);
    }
}

void TTableIndexes::CheckUniqueForModify(TTarnTableIO& table, TFieldBuffers& buffers,
                                         int physicalPosition) {
    if (!HasUniqueIndex(table)) return;
    TRecordEntry entry = table.RecordList(0).At(physicalPosition);
    CheckUniqueRewrite(table, entry, TKeyValues(table, entry),
                       TKeyValues(table, buffers, TKeySource::Rewrite, &entry));
}

// ---- append ---------------------------------------------------------------------------------

TAppendPlan TTableIndexes::PlanNewRecord(TTarnTableIO& table, TFieldBuffers& buffers) {
    TAppendPlan plan;
    if (table.IndexCount() == 0) return plan;
    TKeyValues key(table, buffers, TKeySource::Append);
    for (int i = 0; i < table.IndexCount(); ++i) {
        TKeyComparer cmp(table, i, key);
        plan.positions.push_back(tarn::InsertPosition(cmp, TListView(table.RecordList(i + 1))));
    }
    return plan;
}

void TTableIndexes::LinkNewRecord(TTarnTableIO& table, TTarnDBFileIO& io, const TAppendPlan& plan,
                                  int32_t k, TableHeader& next) {
    for (int i = 0; i < table.IndexCount(); ++i) {
        const TRecordList& list = table.RecordList(i + 1);
        std::vector<int32_t>& blocks = table.indexBlocks_[static_cast<size_t>(i)];
        int p = plan.positions[static_cast<size_t>(i)];
        int32_t pred = p > 0 ? list.At(p - 1).recNo : -1;
        int32_t succ = k == 0     ? -1
                       : pred < 0 ? next.IndexHead(i)
                                  : index_disk::ReadNext(io, blocks, pred);
        if (k % format::kItemsPerBlock == 0) {
            if (k == 0) {
                blocks.clear();
            } else if (blocks.size() != static_cast<size_t>(k / format::kItemsPerBlock)) {
                io.Damaged(Format("index '%s' of table '%s' has %zu blocks for %d records",
                                  table.IndexDefs()[i].Name().c_str(), table.TableName().c_str(),
                                  blocks.size(), k));
            }
            int32_t offset =
                index_disk::AppendBlock(io, blocks.empty() ? 0 : blocks.back(), k, succ);
            blocks.push_back(offset);
            if (k == 0) next.SetIndexTabOffset(i, offset);
        } else {
            index_disk::WriteItem(io, blocks, k, succ);
        }
        if (pred >= 0)
            index_disk::WriteNext(io, blocks, pred, k);
        else
            next.SetIndexHead(i, k);
    }
}

void TTableIndexes::InsertNewRecord(TTarnTableIO& table, const TAppendPlan& plan,
                                    const TRecordEntry& entry, const TInsertNotify& onInsert) {
    if (onInsert) onInsert(-1, -1, entry);
    for (int i = 0; i < table.IndexCount(); ++i) {
        int p = plan.positions[static_cast<size_t>(i)];
        if (onInsert) onInsert(i, p, entry);
        table.RecordList(i + 1).Insert(p, entry);
    }
}

// ---- rewrite --------------------------------------------------------------------------------

TRelinkPlan TTableIndexes::PlanRelink(TTarnTableIO& table, TFieldBuffers& buffers,
                                      int physicalPosition) {
    TRelinkPlan plan;
    TRecordEntry entry = table.RecordList(0).At(physicalPosition);
    plan.recNo = entry.recNo;
    plan.physicalPosition = physicalPosition;
    if (table.IndexCount() == 0) return plan;
    TKeyValues oldKey(table, entry);
    TKeyValues newKey(table, buffers, TKeySource::Rewrite, &entry);
    CheckUniqueRewrite(table, entry, oldKey, newKey);
    for (int i = 0; i < table.IndexCount(); ++i) {
        int a = -1, b = -1;  // an index whose key bytes stay keeps the record where it is
        if (!SameKeyBytes(table, i, oldKey, newKey)) {
            a = FindPosition(table, i, entry, oldKey);
            if (a >= 0) {
                TKeyComparer cmp(table, i, newKey);
                b = tarn::InsertPosition(cmp, TListView(table.RecordList(i + 1), a));
            }
        }
        plan.from.push_back(a);
        plan.to.push_back(b);
    }
    return plan;
}

void TTableIndexes::BeginRelink(TTarnTableIO& table, TTarnDBFileIO& io, const TRelinkPlan& plan) {
    if (!plan.Moves()) return;
    TableHeader h = table.header_;
    index_disk::SetChangeCount(h, index_disk::ChangeCount(h) + 1);
    index_disk::SetMovingRecord(h, plan.recNo);
    io.WriteTableHeaderPart(table.TableNo(), h, format::kHdrChangeCount, 8);
    table.header_ = h;
}

void TTableIndexes::RelinkRecord(TTarnTableIO& table, TTarnDBFileIO& io, const TRelinkPlan& plan,
                                 const TMoveNotify& onMove) {
    if (!plan.Moves()) return;
    const int32_t k = plan.recNo;
    TableHeader& header = table.header_;
    for (int i = 0; i < table.IndexCount(); ++i) {
        int a = plan.from[static_cast<size_t>(i)], b = plan.to[static_cast<size_t>(i)];
        if (a < 0 || a == b) continue;
        int t = a < b ? b + 1 : b;  // the target counted in the list that still holds k at a
        TRecordList& list = table.RecordList(i + 1);
        std::vector<int32_t>& blocks = table.indexBlocks_[static_cast<size_t>(i)];
        TRecordEntry entry = list.At(a);
        if (onMove) onMove(i, a, t);
        // Unlink from the old place.
        int32_t kNext = index_disk::ReadNext(io, blocks, k);
        if (a == 0) {
            header.SetIndexHead(i, kNext);
            WriteHeaderWord(table, io, header, index_disk::IndexHeadAt(i));
        } else {
            index_disk::WriteNext(io, blocks, list.At(a - 1).recNo, kNext);
        }
        // Link at the new place (the reads see the unlink).
        if (t == 0) {
            index_disk::WriteNext(io, blocks, k, header.IndexHead(i));
            header.SetIndexHead(i, k);
            WriteHeaderWord(table, io, header, index_disk::IndexHeadAt(i));
        } else {
            int32_t q2 = list.At(t - 1).recNo;
            index_disk::WriteNext(io, blocks, k, index_disk::ReadNext(io, blocks, q2));
            index_disk::WriteNext(io, blocks, q2, k);
        }
        list.Erase(a);
        list.Insert(b, entry);
    }
    index_disk::SetMovingRecord(header, -1);
    WriteHeaderWord(table, io, header, format::kHdrMovingRecord);
}

// ---- delete ---------------------------------------------------------------------------------

void TTableIndexes::NoteDeletion(TTarnTableIO& table, TTarnDBFileIO& io) {
    // Every table's: a delete changes nothing else in the header, and a reader holding the
    // table's lists learns from the header alone that they are stale.
    TableHeader& header = table.header_;
    index_disk::SetChangeCount(header, index_disk::ChangeCount(header) + 1);
    WriteHeaderWord(table, io, header, format::kHdrChangeCount);
}

void TTableIndexes::UnlinkRecord(TTarnTableIO& table, int physicalPosition) {
    if (table.IndexCount() == 0) return;
    TRecordEntry entry = table.RecordList(0).At(physicalPosition);
    TKeyValues key(table, entry);
    std::vector<int> positions;
    for (int i = 0; i < table.IndexCount(); ++i)
        positions.push_back(FindPosition(table, i, entry, key));
    for (int i = 0; i < table.IndexCount(); ++i)
        if (positions[static_cast<size_t>(i)] >= 0)
            table.RecordList(i + 1).Erase(positions[static_cast<size_t>(i)]);
}

}  // namespace tarn

// The checker's index pass: each index table's block chain and items, and the chain of
// records from IndexHead: that it ends, visits every live record exactly once, keeps the
// key order and holds no equal keys in a unique index.
#include <optional>
#include <set>

#include "platform/bytes.h"
#include "tarndb/check/check_internal.h"
#include "tarndb/errors.h"
#include "tarndb/filter/value_compare.h"
#include "tarndb/index_links.h"

namespace tarn::check {

using namespace tarn::format;

namespace {

// Live records of a broken chain reported one by one before a summary takes over.
constexpr int kMissingReported = 5;

}  // namespace

void Checker::CheckIndexes(TableInfo& t) {
    const TableHeader& h = t.header;
    const int32_t n = t.total;
    // A record marked as being moved by an interrupted rewrite: the engine takes it out of
    // every chain and puts it back by its stored key, so its place in a chain is no fault.
    const int32_t moving = [&] {
        int32_t m = index_disk::MovingRecord(h);
        return m >= 0 && m < t.readable && !t.items[static_cast<size_t>(m)].deleted ? m : -1;
    }();
    for (size_t i = 0; i < t.indexes.size(); ++i) {
        const IndexEntry& x = t.indexes[i];
        std::string name = "index " + Shown(x.name);
        if (h.RecordTotal() <= 0) {
            if (x.indexTabOffset != 0 || x.indexHead != 0)
                Problem(&t, -1,
                        name + " of a table that never held a record has IndexTabOffset " +
                            std::to_string(x.indexTabOffset) + " and IndexHead " +
                            std::to_string(x.indexHead) + " (both must be 0)");
            continue;
        }
        if (n == 0) continue;  // the record table itself is unusable
        Advance(n);
        if (x.indexTabOffset == 0) {
            Problem(&t, -1,
                    name + " has no index table although the table holds " + std::to_string(n) +
                        " records");
            continue;
        }
        // The blocks and their items.
        int64_t blockCount = (static_cast<int64_t>(n) + kItemsPerBlock - 1) / kItemsPerBlock;
        std::vector<IndexTabItem> items;
        items.reserve(static_cast<size_t>(n));
        std::set<int64_t> seenBlocks;
        std::vector<uint8_t> block(static_cast<size_t>(kIdxBlockSize));
        int64_t offset = x.indexTabOffset;
        int64_t ownReported = 0;
        // Items linking outside the table: reported after the chain walk, which may find
        // one of them to be the link an unfinished append made.
        std::vector<int32_t> badLinks;
        bool complete = true;
        std::optional<IndexTabItem> beyond;
        for (int64_t b = 0; b < blockCount; ++b) {
            int64_t first = b * kItemsPerBlock;
            if (offset < kFirstFreeOffset || !file_.Inside(offset, kIdxBlockSize) ||
                !seenBlocks.insert(offset).second) {
                Problem(&t, first,
                        name + ": index-table block " + std::to_string(b) + " at offset " +
                            std::to_string(offset) + " " +
                            (seenBlocks.count(offset) && offset >= kFirstFreeOffset
                                 ? "was met before (the chain loops)"
                             : offset < kFirstFreeOffset ? "lies inside the file head"
                                                         : "lies past the end of the file") +
                            ": the chain cannot be followed past record " +
                            std::to_string(first - 1));
                complete = false;
                break;
            }
            file_.Read(offset, block.size(), block.data());
            AddExtent({offset, offset + kIdxBlockSize, t.number, static_cast<int32_t>(b),
                       static_cast<int16_t>(i), Kind::IndexBlock});
            int64_t inBlock = std::min<int64_t>(kItemsPerBlock, n - first);
            for (int64_t k = 0; k < inBlock; ++k) {
                std::span<const uint8_t> item(block.data() + kBlockLinkSize + k * kIdxItemSize,
                                              kIdxItemSize);
                IndexTabItem it = IndexTabItem::Decode(item);
                int64_t rec = first + k;
                if (it.ownRecord != rec && ownReported++ < 3)
                    Problem(&t, rec,
                            name + ": its index item names record " + std::to_string(it.ownRecord));
                if (it.nextRecord < -1 || it.nextRecord >= n)
                    badLinks.push_back(static_cast<int32_t>(rec));
                items.push_back(it);
            }
            int32_t next = bytes::GetI32(block, 0);
            // The item of record n (RecordTotal) beyond the counted ones: an append that
            // stopped before its commit may have linked it into the chain already.
            if (b + 1 == blockCount) {
                if (inBlock < kItemsPerBlock) {
                    std::span<const uint8_t> item(
                        block.data() + kBlockLinkSize + inBlock * kIdxItemSize, kIdxItemSize);
                    beyond = IndexTabItem::Decode(item);
                } else if (next >= kFirstFreeOffset && file_.Inside(next, kIdxBlockSize)) {
                    uint8_t item[kIdxItemSize];
                    file_.Read(next + kBlockLinkSize, sizeof item, item);
                    beyond = IndexTabItem::Decode(item);
                }
            }
            offset = next;
        }
        auto reportBadLinks = [&](int32_t excused) {
            int64_t reported = 0;
            for (int32_t rec : badLinks)
                if (rec != excused && reported++ < 3)
                    Problem(&t, rec,
                            name + ": its index item links to record " +
                                std::to_string(items[static_cast<size_t>(rec)].nextRecord) +
                                ", which does not exist");
        };
        auto engineRebuilds = [&] {
            Note("table " + Shown(t.name) + ", " + name +
                 ": the engine builds its key order from the records' keys instead of this "
                 "chain when it opens the table, and writes a new chain when it may write the "
                 "file");
        };
        if (!complete) {
            reportBadLinks(-2);
            engineRebuilds();
            continue;
        }

        // The chain in key order.
        bool keysReadable = t.layoutKnown && codecUsable_ && t.indexUsable[i];
        for (int32_t k : x.keyFields)
            if (keysReadable && !ValueReadable(t.fields[static_cast<size_t>(k)]))
                keysReadable = false;
        const bool unique = x.options.Has(tiPrimary) || x.options.Has(tiUnique);
        const bool descending = x.options.Has(tiDescending);
        const bool noCase = x.options.Has(tiCaseInsensitive);
        std::vector<uint8_t> visited(static_cast<size_t>(n), 0);
        std::vector<std::vector<uint8_t>> prevKey, key;
        int32_t prev = -1;
        bool orderChecked = keysReadable;
        int32_t k = x.indexHead;
        int64_t orderReported = 0;
        std::vector<uint8_t> data;
        bool passedBeyond = false;
        bool broken = false;        // the chain cannot be followed to its end
        int32_t cameFrom = -1;      // the record whose link the walk followed last
        int32_t linkedBeyond = -2;  // the record whose link led to record n, if the walk met it
        for (int64_t step = 0; k != -1; ++step) {
            if (k == n && !passedBeyond && beyond && beyond->ownRecord == n) {
                // Stepping over the record an unfinished append linked in, as the engine does.
                passedBeyond = true;
                linkedBeyond = cameFrom;
                Note("table " + Shown(t.name) + ", " + name + ": the chain passes through record " +
                     std::to_string(n) +
                     ", which an unfinished append linked in; the engine steps over it and "
                     "rewrites the chain when it next opens the file for writing");
                k = beyond->nextRecord;
                continue;
            }
            if (k < 0 || k >= n) {
                Problem(&t, cameFrom,
                        name + ": the chain " + (cameFrom < 0 ? "starts at" : "goes on to") +
                            " record " + std::to_string(k) + ", which does not exist");
                broken = true;
                break;
            }
            if (visited[static_cast<size_t>(k)]) {
                Problem(&t, k, name + ": the chain comes back to this record (it loops)");
                broken = true;
                break;
            }
            visited[static_cast<size_t>(k)] = 1;
            cameFrom = k;
            if (k == moving) {
                // Its place in this chain is the old key's or none; the engine places it by
                // the key stored now.
            } else if (static_cast<size_t>(k) < t.items.size() &&
                       !t.items[static_cast<size_t>(k)].deleted && orderChecked) {
                key.clear();
                if (!ReadRecord(t, k, data)) {
                    orderChecked = false;
                } else {
                    try {
                        for (int32_t f : x.keyFields) {
                            if (IsBlobType(t.fields[static_cast<size_t>(f)].type)) {
                                std::string value, error;
                                if (!BlobValue(t, data, f, value, error))
                                    throw EDatabaseError(error);
                                key.emplace_back(value.begin(), value.end());
                            } else {
                                key.push_back(SlotValue(t, data, f));
                            }
                        }
                        if (prev >= 0) {
                            int c = 0;
                            for (size_t j = 0; j < key.size() && c == 0; ++j) {
                                int type = t.fields[static_cast<size_t>(x.keyFields[j])].type;
                                c = CompareFieldValues(type, prevKey[j], key[j], noCase);
                            }
                            if (descending) c = -c;
                            if (c > 0 && orderReported++ < 3)
                                Problem(&t, k,
                                        name + ": the chain puts this record after record " +
                                            std::to_string(prev) +
                                            ", whose key sorts after its key");
                            else if (c == 0 && unique && orderReported++ < 3)
                                Problem(
                                    &t, k,
                                    name +
                                        " is unique, but this record's key equals that of record " +
                                        std::to_string(prev));
                        }
                        prevKey.swap(key);
                        prev = k;
                    } catch (const Exception& e) {
                        Note("table " + Shown(t.name) + ", " + name +
                             ": key order not checked: " + MessageText(e.Message()));
                        orderChecked = false;
                    }
                }
            } else if (static_cast<size_t>(k) < t.items.size() &&
                       !t.items[static_cast<size_t>(k)].deleted) {
                prev = k;
            }
            if (static_cast<size_t>(k) >= items.size()) break;
            k = items[static_cast<size_t>(k)].nextRecord;
        }
        if (orderReported > 3)
            Problem(&t, -1,
                    name + ": " + std::to_string(orderReported - 3) +
                        " more records are out of key order");
        // Every live record must be on the chain.
        int64_t missing = 0;
        for (int32_t r = 0; r < t.readable; ++r) {
            if (t.items[static_cast<size_t>(r)].deleted || visited[static_cast<size_t>(r)] ||
                r == moving)
                continue;
            if (missing++ < kMissingReported)
                Problem(&t, r,
                        "the record is live but the chain of " + name + " does not reach it");
        }
        if (missing > kMissingReported)
            Problem(&t, -1,
                    name + ": " + std::to_string(missing - kMissingReported) +
                        " more live records are not on its chain");
        reportBadLinks(linkedBeyond);
        if (broken)
            engineRebuilds();
        else if (missing > 0)
            Note("table " + Shown(t.name) + ", " + name +
                 ": the engine places the live records this chain misses by their keys when it "
                 "opens the table, and writes a new chain when it may write the file");
    }
}

}  // namespace tarn::check

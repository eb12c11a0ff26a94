// The checker's record pass: a table's record-table chain, every record's fixed part, its
// blob descriptors and areas, and the autoinc counter.
#include <set>

#include "platform/bytes.h"
#include "tarndb/check/check_internal.h"
#include "tarndb/index_links.h"

namespace tarn::check {

using namespace tarn::format;

namespace {

std::string Plural(int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

void Checker::CheckRecords(TableInfo& t) {
    const TableHeader& h = t.header;
    int32_t n = h.RecordTotal();
    if (n < 0) {
        Problem(&t, -1, "the header counts " + std::to_string(n) + " records");
        return;
    }
    int32_t moving = index_disk::MovingRecord(h);
    if (moving >= 0)
        Note("table " + Shown(t.name) + ": a rewrite of record " + std::to_string(moving) +
             " was interrupted while it moved in the index chains; the engine puts it in key "
             "order by its stored key when it opens the table, and rewrites the chains when it "
             "next opens the file for writing");
    if (n == 0) return;
    int64_t blockCount = (static_cast<int64_t>(n) + kItemsPerBlock - 1) / kItemsPerBlock;
    if (blockCount * kRecBlockSize > file_.Size()) {
        Problem(&t, -1,
                "the header counts " + std::to_string(n) + " records, whose record table needs " +
                    Plural(blockCount, "block", "blocks") + ", more than the file can hold");
        return;
    }
    t.total = n;
    t.items.resize(static_cast<size_t>(n));
    std::set<int64_t> seenBlocks;
    int64_t offset = h.RecTabOffset();
    std::vector<uint8_t> block(static_cast<size_t>(kRecBlockSize));
    for (int64_t b = 0; b < blockCount; ++b) {
        int64_t firstRecord = b * kItemsPerBlock;
        std::string which = b == 0 ? "the first record-table block (RecTabOffset)"
                                   : "record-table block " + std::to_string(b);
        if (offset < kFirstFreeOffset || !file_.Inside(offset, kRecBlockSize)) {
            Problem(&t, firstRecord,
                    which + " is at offset " + std::to_string(offset) + ", " +
                        (offset < kFirstFreeOffset ? "inside the file head"
                                                   : "past the end of the file") +
                        ": records " + std::to_string(firstRecord) + " to " +
                        std::to_string(n - 1) + " cannot be read");
            break;
        }
        if (!seenBlocks.insert(offset).second) {
            Problem(&t, firstRecord,
                    "the record-table chain loops back to offset " + std::to_string(offset) +
                        ": records " + std::to_string(firstRecord) + " to " +
                        std::to_string(n - 1) + " cannot be read");
            break;
        }
        file_.Read(offset, block.size(), block.data());
        AddExtent({offset, offset + kRecBlockSize, t.number, static_cast<int32_t>(b), -1,
                   Kind::RecordBlock});
        int64_t inBlock = std::min<int64_t>(kItemsPerBlock, n - firstRecord);
        for (int64_t i = 0; i < inBlock; ++i) {
            std::span<const uint8_t> item(block.data() + kBlockLinkSize + i * kRecItemSize,
                                          kRecItemSize);
            t.items[static_cast<size_t>(firstRecord + i)] = RecordTabItem::Decode(item);
        }
        t.readable = static_cast<int32_t>(firstRecord + inBlock);
        int32_t next = bytes::GetI32(block, 0);
        // A link after the last block is what an append leaves when it stops between
        // linking its new block and counting the record: readers never follow it.
        if (b + 1 == blockCount && next != 0)
            Note("table " + Shown(t.name) + ": the last record-table block links on to offset " +
                 std::to_string(next) +
                 ", past the records the header counts (an unfinished append leaves this; "
                 "readers ignore it)");
        offset = next;
    }
    t.items.resize(static_cast<size_t>(t.readable));
    t.dataInside.assign(static_cast<size_t>(t.readable), 0);

    // Every record's fixed part and blob areas.
    const bool autoIncReadable = [&] {
        for (const FieldEntry& f : t.fields)
            if (f.type == ftAutoInc) return ValueReadable(f);
        return false;
    }();
    int autoIncField = -1;
    for (size_t i = 0; i < t.fields.size(); ++i)
        if (t.fields[i].type == ftAutoInc) {
            autoIncField = static_cast<int>(i);
            break;
        }
    int32_t counter = h.AutoIncCounter();
    int64_t counterReported = 0;
    std::vector<uint8_t> data;
    int64_t live = 0;
    for (int32_t k = 0; k < t.readable; ++k) {
        const RecordTabItem& item = t.items[static_cast<size_t>(k)];
        if (!item.deleted) ++live;
        Advance(1);
        if (!t.layoutKnown) continue;
        const char* state = item.deleted ? " (deleted)" : "";
        if (item.dataOffset < kFirstFreeOffset || !file_.Inside(item.dataOffset, t.recordSize)) {
            Problem(&t, k,
                    std::string("its data") + state + " at offset " +
                        std::to_string(item.dataOffset) + " (" + std::to_string(t.recordSize) +
                        " bytes) lies " +
                        (item.dataOffset < kFirstFreeOffset ? "inside the file head"
                                                            : "past the end of the file") +
                        " (" + std::to_string(file_.Size()) + " bytes)");
            continue;
        }
        t.dataInside[static_cast<size_t>(k)] = 1;
        if (t.recordSize > 0)
            AddExtent({item.dataOffset, item.dataOffset + t.recordSize, t.number, k, -1,
                       Kind::RecordData});
        ReadRecord(t, k, data);
        for (size_t f = 0; f < t.fields.size(); ++f) {
            if (!IsBlobType(t.fields[f].type)) continue;
            std::span<const uint8_t> desc(data.data() + t.slotOffsets[f], kBlobDescriptorSize);
            const TBlobDescriptor d = TBlobDescriptor::Decode(desc);
            int32_t blobOffset = d.offset;
            int32_t length = d.length;
            int32_t area = d.areaSize;
            std::string what = "the blob of field " + FieldName(t, static_cast<int>(f)) + state;
            if (blobOffset == 0 && length == 0 && area == 0) {
                Problem(&t, k,
                        what + " has an empty descriptor: the record was never completely written");
                continue;
            }
            if (length < 0 || area <= 0 || area % kBlobAreaUnit != 0 || area <= length) {
                Problem(&t, k,
                        what + " has the descriptor length " + std::to_string(length) + ", area " +
                            std::to_string(area) +
                            " (an area is a multiple of 64 larger than the length)");
                continue;
            }
            if (blobOffset < kFirstFreeOffset || !file_.Inside(blobOffset, area)) {
                Problem(&t, k,
                        what + " at offset " + std::to_string(blobOffset) + " (" +
                            std::to_string(area) + " bytes) lies " +
                            (blobOffset < kFirstFreeOffset ? "inside the file head"
                                                           : "past the end of the file") +
                            " (" + std::to_string(file_.Size()) + " bytes)");
                continue;
            }
            AddExtent({blobOffset, static_cast<int64_t>(blobOffset) + area, t.number, k,
                       static_cast<int16_t>(f), Kind::BlobArea});
            if (!item.deleted && codecUsable_ && ValueReadable(t.fields[f])) {
                std::string value, error;
                if (!BlobValue(t, data, static_cast<int>(f), value, error))
                    Problem(&t, k, what + " cannot be decoded: " + error);
            }
        }
        if (autoIncField >= 0 && autoIncReadable && codecUsable_) {
            std::vector<uint8_t> v = SlotValue(t, data, autoIncField);
            int32_t stored = bytes::GetI32(v, 0);
            if (stored > counter && counterReported++ < 3)
                Problem(&t, k,
                        "it holds the autoinc value " + std::to_string(stored) +
                            ", above the table's counter " + std::to_string(counter) +
                            ": a record appended later would get a number in use");
        }
    }
    report_.records += live;
    if (t.readable < n) Advance(n - t.readable);
}

}  // namespace tarn::check

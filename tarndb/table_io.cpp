#include "tarndb/table_io.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <vector>

#include "dataproc/encrypt_base.h"
#include "platform/bytes.h"
#include "platform/dataset/names.h"
#include "tarndb/blob_stream.h"
#include "tarndb/errors.h"
#include "tarndb/file_io.h"
#include "tarndb/index_links.h"
#include "tarndb/indexes.h"

namespace tarn {

namespace b = tarn::bytes;
using namespace tarn::format;

namespace {

constexpr int64_t kMaxRecordSize = 1 << 24;
// Bytes of the table header that hold RecTabOffset, RecordTotal and AutoIncCounter.
constexpr size_t kBookkeepingFrom = kHdrRecTabOffset;
constexpr size_t kBookkeepingSize = 12;

}  // namespace

// Marks an indexed table stale when a write operation fails part-way.
class TStaleOnFailure {
public:
    explicit TStaleOnFailure(TTarnTableIO& table)
        : table_(table), exceptions_(std::uncaught_exceptions()) {}
    ~TStaleOnFailure() {
        if (std::uncaught_exceptions() <= exceptions_) return;
        table_.syncedEpoch_ = 0;  // compare with the file again before the next write
        if (table_.IndexCount() > 0) table_.stale_ = true;
    }
    TStaleOnFailure(const TStaleOnFailure&) = delete;
    TStaleOnFailure& operator=(const TStaleOnFailure&) = delete;

private:
    TTarnTableIO& table_;
    int exceptions_;
};

// Gives lists new change stamps when a scope that changes them ends, also by an error
// (the lists may then be changed in part). The notifications inside see the old stamps.
class TListChangeGuard {
public:
    TListChangeGuard(TTarnTableIO& table, int list) : table_(table), list_(list) {}
    ~TListChangeGuard() { table_.ListChanged(list_); }
    TListChangeGuard(const TListChangeGuard&) = delete;
    TListChangeGuard& operator=(const TListChangeGuard&) = delete;

private:
    TTarnTableIO& table_;
    int list_;
};

TTarnTableIO::TTarnTableIO(TTableStorageHost& database, std::string tableName)
    : database_(database), tableName_(std::move(tableName)) {}

TTarnDBFileIO& TTarnTableIO::File() {
    TTarnDBFileIO* io = database_.StorageFile();
    if (io == nullptr || !io->IsOpen()) {
        std::string name = database_.StorageComponentName();
        throw EDatabaseError((name.empty() ? "" : name + ": ") +
                             "Cannot perform this operation on a closed database");
    }
    return *io;
}

void TTarnTableIO::CheckLoaded() const {
    if (openCount_ == 0 && tableNo_ < 0)
        throw EDatabaseError(Format("Table '%s' is not open", tableName_.c_str()));
}

void TTarnTableIO::AcquireTable() {
    if (openCount_ == 0) LoadTable();
    ++openCount_;
}

void TTarnTableIO::ReleaseTable() {
    if (openCount_ == 0) return;
    if (--openCount_ == 0) {
        fieldDefs_.Clear();
        indexDefs_.Clear();
        lists_.clear();
        keyListPending_.clear();
        recBlocks_.clear();
        recPull_ = RecordPull();
        indexBlocks_.clear();
        slotOffsets_.clear();
        slotSizes_.clear();
        indexRepair_ = TIndexRepair();
        stale_ = false;
        syncedEpoch_ = 0;
        tableNo_ = -1;
    }
}

void TTarnTableIO::LoadTable() {
    TTarnDBFileIO& io = File();
    ReadLockGuard lock(io);
    tableNo_ = -1;
    io.ReloadDirectory();  // tables may have been added since the database connected
    // The first table of that name in directory order; its header is read once.
    int found = -1;
    for (int t = 0; t < io.TableCount() && found < 0; ++t) {
        io.ReadTableHeader(t, header_);
        if (SameName(header_.TableName(), tableName_)) found = t;
    }
    if (found < 0) throw EDatabaseError(Format("Table '%s' not found", tableName_.c_str()));
    BuildDefinitions();
    tableNo_ = found;
    try {
        ReadBookkeeping(io);
    } catch (...) {
        tableNo_ = -1;
        throw;
    }
    // An append cut short leaves its record-table item beyond the last record before it
    // links its index items: then the key lists are read now, so that the chains are
    // repaired before any reader meets the traces.
    if (!io.ReadOnly() && IndexCount() > 0 && RecordTableLeftover(io)) LoadPendingKeyLists(io);
    TTableIndexes::RepairOnOpen(*this, io);
    // Where the load has read the whole record table already (an indexed table this process
    // may write), a counter left below a stored value is mended now too; elsewhere the first
    // write operation does it (SyncWithDisk), before any value is handed out.
    if (recPull_.done && !stale_) {
        try {
            RaiseAutoIncPastStored(io);
        } catch (const Exception&) {
            syncedEpoch_ = 0;  // the table opens all the same; its first write tries again
        }
    }
}

void TTarnTableIO::RaiseAutoIncPastStored(TTarnDBFileIO& io) {
    if (autoIncField_ < 0 || io.ReadOnly() || SlotSize(autoIncField_) < 4) return;
    const TRecordList& list = lists_[0];
    if (list.Count() == 0) return;
    auto valueOf = [&](const TRecordEntry& e) {
        return b::GetI32(StoredSlot(e, autoIncField_).first(4), 0);
    };
    const int32_t counter = header_.AutoIncCounter();
    // Values are handed out in append order, so the last record holds the largest one
    // unless values were given; it is the record a torn commit publishes.
    if (valueOf(list.At(list.Count() - 1)) <= counter) return;
    int32_t largest = counter;
    for (int p = 0; p < list.Count(); ++p) largest = std::max(largest, valueOf(list.At(p)));
    TableHeader next = header_;
    next.SetAutoIncCounter(largest);
    io.WriteTableHeaderPart(tableNo_, next, kHdrAutoIncCounter, 4);
    header_ = next;
}

bool TTarnTableIO::RecordTableLeftover(TTarnDBFileIO& io) {
    const int32_t total = header_.RecordTotal();
    PullAllRecordBlocks(io);
    if (total <= 0 || recBlocks_.empty()) return false;
    const int64_t last = recBlocks_.back();
    if (total % kItemsPerBlock == 0) {
        uint8_t link[kBlockLinkSize];
        io.ReadAt(last, sizeof link, link);
        return b::GetI32(link, 0) != 0;
    }
    uint8_t item[kRecItemSize];
    io.ReadAt(last + kBlockLinkSize + static_cast<int64_t>(total % kItemsPerBlock) * kRecItemSize,
              sizeof item, item);
    return std::any_of(std::begin(item), std::end(item), [](uint8_t x) { return x != 0; });
}

void TTarnTableIO::BuildDefinitions() {
    int32_t fieldCount = header_.FieldCount();
    int32_t indexCount = header_.IndexCount();
    TTarnDBFileIO& io = File();
    if (fieldCount < 0 || fieldCount > kMaxFields)
        io.Damaged(Format("table '%s' has %d fields", tableName_.c_str(), fieldCount));
    if (indexCount < 0 || indexCount > kMaxIndexes)
        io.Damaged(Format("table '%s' has %d indexes", tableName_.c_str(), indexCount));
    fieldDefs_.Clear();
    indexDefs_.Clear();
    slotOffsets_.clear();
    slotSizes_.clear();
    autoIncField_ = -1;
    int64_t offset = 0;
    for (int i = 0; i < fieldCount; ++i) {
        FieldEntry f = header_.Field(i);
        TTarnFieldDef& def = fieldDefs_.Add();
        def.SetName(f.name);
        def.FieldType = f.type;
        def.Size = f.size;
        def.StorePlain = f.storePlain;
        if (format::SlotSize(f.type, 0) != 0 && IsStringType(f.type) &&
            (f.size < 0 || f.size >= kMaxRecordSize))
            io.Damaged(Format("field '%s' of table '%s' declares size %d", f.name.c_str(),
                              tableName_.c_str(), f.size));
        int32_t slot = format::SlotSize(f.type, f.size);
        if (slot == 0) throw EDatabaseError("General error");
        slotOffsets_.push_back(static_cast<int32_t>(offset));
        slotSizes_.push_back(slot);
        offset += slot;
        if (offset > kMaxRecordSize)
            io.Damaged(Format("records of table '%s' exceed %lld bytes", tableName_.c_str(),
                              static_cast<long long>(kMaxRecordSize)));
        if (f.type == ftAutoInc && autoIncField_ < 0) autoIncField_ = i;
    }
    recordSize_ = static_cast<int32_t>(offset);
    for (int i = 0; i < indexCount; ++i) {
        IndexEntry e = header_.Index(i);
        for (int32_t k : e.keyFields)
            if (k < 0 || k >= fieldCount)
                io.Damaged(Format("index '%s' of table '%s' names field number %d", e.name.c_str(),
                                  tableName_.c_str(), k));
        TTarnIndexDef& def = indexDefs_.Add();
        def.SetName(e.name);
        def.Options = e.options;
        def.KeyFields = e.keyFields;
    }
}

void TTarnTableIO::ReloadBookkeeping() {
    if (openCount_ == 0 || tableNo_ < 0) return;
    TTarnDBFileIO& io = File();
    ReadLockGuard lock(io);
    io.ReadTableHeader(tableNo_, header_);
    ReadBookkeeping(io);
    if (OnReloaded) OnReloaded();
}

bool TTarnTableIO::CatchUp() {
    if (openCount_ == 0 || tableNo_ < 0) return false;
    TTarnDBFileIO& io = File();
    ReadLockGuard lock(io);
    if (!ReloadIfChanged(io)) return false;
    if (OnReloaded) OnReloaded();
    return true;
}

void TTarnTableIO::ReadBookkeeping(TTarnDBFileIO& io) {
    Written();
    const int32_t total = header_.RecordTotal();
    if (total < 0)
        io.Damaged(Format("table '%s' has a negative record total", header_.TableName().c_str()));
    io.CheckBlockChain(total, kRecBlockSize, "record table");
    lists_.assign(static_cast<size_t>(IndexCount()) + 1, TRecordList());
    // List 0 is read from the record-table blocks as rows are asked for, the key lists
    // when they are first used.
    recBlocks_.clear();
    recPull_.nextBlock = 0;
    recPull_.nextOffset = header_.RecTabOffset();
    recPull_.done = total == 0;
    TTableIndexes::BeginKeyOrderLoad(*this);
    keyListPending_.assign(static_cast<size_t>(IndexCount()), total > 0 ? 1 : 0);
    stale_ = false;
    loadStamp_ = ++lastStamp_;
    ListChanged(-1);
}

bool TTarnTableIO::PullRecordBlock(TTarnDBFileIO& io) {
    if (recPull_.done) return false;
    const int32_t total = header_.RecordTotal();
    const int64_t blk = recPull_.nextBlock;
    const int64_t first = blk * kItemsPerBlock;
    const int64_t count = std::min<int64_t>(kItemsPerBlock, total - first);
    const int32_t next =
        io.ReadChainBlock(recPull_.nextOffset, blk, kRecBlockSize, recPull_.block, "record table");
    const uint8_t* items = recPull_.block.data() + kBlockLinkSize;
    size_t live = 0;
    for (int64_t i = 0; i < count; ++i) live += items[i * kRecItemSize + 4] == 0;
    if (live > 0) {
        std::vector<TRecordEntry> entries;
        entries.reserve(live);
        for (int64_t i = 0; i < count; ++i) {
            const uint8_t* p = items + i * kRecItemSize;
            if (p[4] == 0)
                entries.push_back({b::GetI32(std::span<const uint8_t>(p, 4), 0),
                                   static_cast<int32_t>(first + i)});
        }
        lists_[0].AppendChunk(std::move(entries));
    }
    recBlocks_.push_back(recPull_.nextOffset);
    recPull_.nextOffset = next;
    recPull_.nextBlock = blk + 1;
    recPull_.done = first + count >= total;
    if (recPull_.done) recPull_.block = {};
    return true;
}

void TTarnTableIO::PullAllRecordBlocks(TTarnDBFileIO& io) {
    while (PullRecordBlock(io)) {
    }
}

void TTarnTableIO::CompleteRecordList(int until) {
    TTarnDBFileIO& io = File();
    ReadLockGuard lock(io);
    const bool reloaded = ReloadIfChanged(io);
    while ((until < 0 || lists_[0].Count() <= until) && PullRecordBlock(io)) {
    }
    if (reloaded && OnReloaded) OnReloaded();
}

bool TTarnTableIO::HeaderChanged(TTarnDBFileIO& io) {
    const uint64_t epoch = io.LockEpoch();
    if (epoch != 0 && epoch == syncedEpoch_) return false;
    const uint8_t* disk = io.View(io.TableOffset(tableNo_), kTableHeaderSize);
    if (disk != nullptr && std::memcmp(disk, header_.raw.data(), header_.raw.size()) == 0)
        return false;
    TableHeader fresh;
    io.ReadTableHeader(tableNo_, fresh);
    return fresh.raw != header_.raw;
}

void TTarnTableIO::LoadDeferredKeyList(int index) {
    TTarnDBFileIO& io = File();
    ReadLockGuard lock(io);
    if (ReloadIfChanged(io) && OnReloaded) OnReloaded();
    PullAllRecordBlocks(io);
    LoadPendingKeyList(io, static_cast<size_t>(index));
    // Traces of an interrupted write found in the chains are mended at once where this
    // process may write, as they are when a table is opened.
    TTableIndexes::RepairOnOpen(*this, io);
}

void TTarnTableIO::LoadPendingKeyLists(TTarnDBFileIO& io) {
    PullAllRecordBlocks(io);
    for (size_t i = 0; i < keyListPending_.size(); ++i) LoadPendingKeyList(io, i);
}

void TTarnTableIO::LoadPendingKeyList(TTarnDBFileIO& io, size_t index) {
    if (!keyListPending_[index]) return;
    keyListPending_[index] = 0;
    try {
        TTableIndexes::LoadKeyOrder(*this, io, static_cast<int>(index));
    } catch (...) {
        keyListPending_[index] = 1;  // read again, whole, the next time it is asked for
        lists_[index + 1].Clear();
        throw;
    }
}

bool TTarnTableIO::ReloadIfChanged(TTarnDBFileIO& io) {
    if (!HeaderChanged(io)) return false;
    io.ReadTableHeader(tableNo_, header_);
    ReadBookkeeping(io);
    return true;
}

void TTarnTableIO::Written() {
    readAhead_.Clear();
    ++writeCount_;
}

void TTarnTableIO::ListChanged(int list) {
    listStamps_.resize(lists_.size());
    for (size_t i = 0; i < listStamps_.size(); ++i)
        if (list < 0 || static_cast<size_t>(list) == i) listStamps_[i] = ++lastStamp_;
}

bool TTarnTableIO::SyncWithDisk(TTarnDBFileIO& io) {
    bool reload = stale_;
    // Within one holding of the lock in which this table has synchronised already (a
    // transaction's writes), no other writer can have changed anything.
    const uint64_t epoch = io.LockEpoch();
    const bool checked = epoch != 0 && epoch == syncedEpoch_;
    if (!reload && !checked) reload = HeaderChanged(io);
    // Every key list is needed by a write: the ones not read yet are read now, from the
    // file that the header compare has just found in step with memory.
    if (!reload) LoadPendingKeyLists(io);  // list 0 whole as well
    // An append of this or another process that stopped before its commit may have left
    // links the key lists in memory do not know.
    if (!reload && !checked && IndexCount() > 0 && !indexRepair_.Pending())
        reload = TTableIndexes::HasAppendLeftovers(*this, io);
    if (reload) {
        // Another process wrote to this table (or a write failed): take the bookkeeping from
        // the file before writing.
        io.ReadTableHeader(tableNo_, header_);
        ReadBookkeeping(io);
        if (OnReloaded) OnReloaded();
        LoadPendingKeyLists(io);
    }
    TTableIndexes::RepairChains(*this, io);
    // Once in every holding of the lock: the counter a write hands out from must lie above
    // every stored value (list 0 is whole here).
    if (!checked) RaiseAutoIncPastStored(io);
    syncedEpoch_ = epoch;
    return reload;
}

int TTarnTableIO::ReacquirePosition(const TRecordEntry& entry) {
    int p = lists_[0].LowerBoundRecNo(entry.recNo);
    if (p >= lists_[0].Count() || lists_[0].At(p).recNo != entry.recNo)
        throw EDatabaseError(kRecordGone);
    return p;
}

int64_t TTarnTableIO::RecordItemOffset(int32_t recNo) {
    size_t block = static_cast<size_t>(recNo) / kItemsPerBlock;
    if (recNo >= 0 && block >= recBlocks_.size() && !recPull_.done) CompleteRecordList();
    if (recNo < 0 || block >= recBlocks_.size())
        throw EDatabaseError(Format("Record number %d out of range", recNo));
    return static_cast<int64_t>(recBlocks_[block]) + kBlockLinkSize +
           static_cast<int64_t>(recNo % kItemsPerBlock) * kRecItemSize;
}

bool TTarnTableIO::Encrypt(int field) {
    bool encrypted = File().Info().Encrypted();
    return encrypted && !fieldDefs_[field].StorePlain;
}

bool TTarnTableIO::Compress(int field) {
    bool compressed = File().Info().Compressed();
    return compressed && IsBlobType(fieldDefs_[field].FieldType) && !fieldDefs_[field].StorePlain;
}

void TTarnTableIO::FetchRecord(TFieldBuffers& buffers, int list, int position) {
    // A row of list 0 needs only the record-table blocks up to it, read under the same
    // holding of the lock as the row.
    if (list == 0 && !recPull_.done && position >= lists_[0].Count()) {
        ReadLockGuard lock(File());
        CompleteRecordList(position);
        FetchEntry(buffers, lists_[0].At(position));
        return;
    }
    FetchEntry(buffers, (list == 0 ? lists_[0] : RecordList(list)).At(position));
}

void TTarnTableIO::ReadAhead(const TRecordList& list, int from, int count) {
    TTarnDBFileIO& io = File();
    readAhead_.Clear();
    int end = std::min(list.Count(), from + count);
    if (from < 0 || from >= end || recordSize_ == 0) return;
    const size_t size = static_cast<size_t>(recordSize_);
    const size_t need = static_cast<size_t>(end - from) * size;
    // The buffers keep their size from one read-ahead to the next: every byte used below is
    // written first, so growing them is the only time they are filled.
    if (readAhead_.bytes.size() < need) readAhead_.bytes.resize(need);
    {
        ReadLockGuard lock(io);
        // The records of a key range lie all over the file. Asking the memory for every one
        // of them before copying any lets it fetch them side by side instead of one after
        // the other (the pointers are only hints: the copies below read through ReadAt).
        for (int p = from; p < end; ++p) {
            const TRecordEntry& e = list.At(p);
            readAhead_.offsets.push_back(e.dataOffset);
            if (const uint8_t* mapped = io.View(e.dataOffset, size)) {
                __builtin_prefetch(mapped);
                __builtin_prefetch(mapped + size - 1);
            }
        }
        for (size_t i = 0; i < readAhead_.offsets.size(); ++i)
            io.ReadAt(readAhead_.offsets[i], size, readAhead_.bytes.data() + i * size);
    }
    // Decrypting every slot of the copies in one call lets the cipher work on many blocks
    // at once; each slot still decodes on its own, as a fetch would decode it. The clear
    // twin holds only the decrypted slots: a fetch takes nothing else from it.
    if (!io.Info().Encrypted()) return;
    encryptedSlots_.clear();
    for (int i = 0; i < FieldCount(); ++i)
        if (Encrypt(i) && !IsBlobType(fieldDefs_[i].FieldType))
            encryptedSlots_.emplace_back(SlotOffset(i), SlotSize(i));
    if (encryptedSlots_.empty()) return;
    if (readAhead_.clear.size() < need) readAhead_.clear.resize(need);
    decryptUnits_.clear();
    decryptUnits_.reserve(readAhead_.offsets.size() * encryptedSlots_.size());
    for (size_t r = 0; r < readAhead_.offsets.size(); ++r) {
        const uint8_t* stored = readAhead_.bytes.data() + r * size;
        uint8_t* record = readAhead_.clear.data() + r * size;
        for (const auto& [offset, slotSize] : encryptedSlots_)
            decryptUnits_.push_back({stored + offset, record + offset, slotSize});
    }
    readAhead_.decrypted = need;
    try {
        io.DecryptStoredSlots(decryptUnits_);
    } catch (...) {
        readAhead_.Clear();  // no half-decrypted twin: fetches read the file afresh
        throw;
    }
}

void TTarnTableIO::ReadAheadCache::Clear() {
    offsets.clear();
    // Decrypted values do not outlive the copies they came from.
    if (decrypted != 0) SecureZero(clear.data(), decrypted);
    decrypted = 0;
    next = 0;
}

const uint8_t* TTarnTableIO::FromReadAhead(TTarnDBFileIO& io, int32_t dataOffset) {
    auto& c = readAhead_;
    // Walks ask for the copy after the last one (or the same again): look there only, so a
    // miss costs two comparisons.
    size_t i = c.next;
    if (i < c.offsets.size() && c.offsets[i] != dataOffset) ++i;
    if (i >= c.offsets.size() || c.offsets[i] != dataOffset) return nullptr;
    c.next = i;
    // The copy is good while the file holds the same bytes: a write committed since it was
    // taken (here or elsewhere) shows in the mapping, and then the fetch reads the record
    // afresh under the lock. No lock for the comparison: taking it for every row is what
    // reading ahead saves. Any write that changes the bytes meanwhile is one that was not
    // committed when the fetch ran.
    // The comparison reads the mapping through its SIGBUS guard (a file another program cut
    // meanwhile then differs, and the fetch under the lock reports it damaged).
    const uint8_t* copy = c.bytes.data() + i * static_cast<size_t>(recordSize_);
    if (!io.StillHolds(dataOffset, copy, static_cast<size_t>(recordSize_))) return nullptr;
    return copy;
}

void TTarnTableIO::FetchEntry(TFieldBuffers& buffers, const TRecordEntry& e) {
    TTarnDBFileIO& io = File();
    const uint8_t* record = FromReadAhead(io, e.dataOffset);
    // The read-ahead copy's decrypted twin, when there is one.
    const uint8_t* clear = record && readAhead_.decrypted != 0
                               ? readAhead_.clear.data() + (record - readAhead_.bytes.data())
                               : nullptr;
    std::optional<ReadLockGuard> lock;
    if (record == nullptr) {
        lock.emplace(io);
        // A copy (guarded against a file cut under the mapping), not a view: decoding from
        // the mapping would read it field by field, unguarded.
        scratch_.resize(static_cast<size_t>(recordSize_));
        io.ReadAt(e.dataOffset, scratch_.size(), scratch_.data());
        record = scratch_.data();
    }
    bool encrypted = io.Info().Encrypted();
    bool compressed = io.Info().Compressed();
    int n = std::min(buffers.Count(), FieldCount());
    decryptUnits_.clear();
    for (int i = 0; i < n; ++i) {
        TFieldBufferItem& item = buffers.Item(i);
        if (!item.active) continue;
        const TTarnFieldDef& def = fieldDefs_[i];
        bool encrypt = encrypted && !def.StorePlain;
        if (item.blob != nullptr || IsBlobType(def.FieldType)) {
            if (item.blob)
                item.blob->SetStoredLocation(static_cast<int64_t>(e.dataOffset) + SlotOffset(i),
                                             encrypt, compressed && !def.StorePlain);
            continue;
        }
        if (item.buffer == nullptr || item.dataSize > SlotSize(i))
            throw EDatabaseError(Format("Field buffer of %d bytes does not fit field '%s'",
                                        item.dataSize, def.Name().c_str()));
        if (encrypt && clear && item.dataSize == SlotSize(i))
            std::memcpy(item.buffer, clear + SlotOffset(i), static_cast<size_t>(item.dataSize));
        else if (encrypt)  // decrypted below, together with the record's other slots
            decryptUnits_.push_back({record + SlotOffset(i), item.buffer, item.dataSize});
        else
            io.DecodeStoredBuffer(record + SlotOffset(i), item.buffer, false,
                                  static_cast<size_t>(item.dataSize));
    }
    io.DecryptStoredSlots(decryptUnits_);
}

void TTarnTableIO::CutStrings(TFieldBuffers& buffers) {
    int n = std::min(buffers.Count(), FieldCount());
    for (int i = 0; i < n; ++i) {
        TFieldBufferItem& item = buffers.Item(i);
        if (!item.active || item.buffer == nullptr || !IsStringType(item.fieldType) ||
            item.dataSize <= 0)
            continue;
        const void* nul = std::memchr(item.buffer, 0, static_cast<size_t>(item.dataSize));
        size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - item.buffer)
                         : static_cast<size_t>(item.dataSize);
        len = std::min(len, static_cast<size_t>(item.dataSize - 1));
        std::memset(item.buffer + len, 0, static_cast<size_t>(item.dataSize) - len);
    }
}

// ---- append ---------------------------------------------------------------------------------
//
// An append of record k (k = RecordTotal before it) runs these steps in this order, all
// under the file lock. The order is what makes it crash-safe: until step 4 the file holds
// only bytes that nothing the header describes refers to, so an append cut short at any
// write loads as if it never began (indexes.cpp tells what the index part leaves).
//   Settle        auto-increment value, uniqueness, key positions: a refusal writes nothing
//   LayOut        the fixed part with the blob areas behind it, built in memory
//   1 WriteData   the fixed part and the blob areas at the end of the file
//   2 WriteItem   record-table item k, or a new record-table block holding it
//   3 LinkIndexes index items, linked after their predecessors
//   4 Commit      one header write: RecordTotal, RecTabOffset, AutoIncCounter and the
//                 IndexHead / IndexTabOffset words that changed; the record now exists
//   Publish       the entry goes into list 0 and every key list, with the notifications
class TTarnTableIO::TAppend {
public:
    TAppend(TTarnTableIO& table, TTarnDBFileIO& io, TFieldBuffers& buffers)
        : t_(table),
          io_(io),
          buffers_(buffers),
          n_(std::min(buffers.Count(), table.FieldCount())) {}

    void Run(const TInsertNotify& onInsert) {
        Settle();
        TStaleOnFailure staleOnFailure(t_);
        LayOut();
        WriteData();
        WriteItem();
        LinkIndexes();
        Commit();
        Publish(onInsert);
    }

private:
    struct Blob {
        int field;
        int64_t offset;
        std::span<const uint8_t> stored;
        TMemoryStream encoded;
    };

    void Settle();
    void LayOut();
    void WriteData();
    void WriteItem();
    void LinkIndexes();
    void Commit();
    void Publish(const TInsertNotify& onInsert);

    TTarnTableIO& t_;
    TTarnDBFileIO& io_;
    TFieldBuffers& buffers_;
    const int n_;
    int32_t counter_ = 0;  // AutoIncCounter after the append
    TAppendPlan plan_;
    int32_t k_ = 0;
    int64_t end_ = 0;  // the file's end before the append
    bool newBlock_ = false;
    int64_t dataOffset_ = 0;
    std::vector<uint8_t> record_;
    std::vector<Blob> blobs_;
    int32_t recTabOffset_ = 0;
    TableHeader next_;  // the header the commit writes
};

void TTarnTableIO::TAppend::Settle() {
    counter_ = t_.header_.AutoIncCounter();
    // The auto-increment value is settled before the uniqueness check, so that the check
    // sees the key as it will be stored; a refused append gives the caller its 0 back.
    uint8_t* assigned = nullptr;
    if (t_.autoIncField_ >= 0 && t_.autoIncField_ < n_) {
        TFieldBufferItem& item = buffers_.Item(t_.autoIncField_);
        if (item.active && item.buffer && item.dataSize >= 4) {
            int32_t v = b::GetI32(std::span<const uint8_t>(item.buffer, 4), 0);
            if (v == 0) {
                if (counter_ == INT32_MAX)
                    throw EDatabaseError(
                        Format("Table '%s' has used up its auto-increment values (the last is %d)",
                               t_.tableName_.c_str(), INT32_MAX));
                v = ++counter_;
                b::PutI32(std::span<uint8_t>(item.buffer, 4), 0, v);
                assigned = item.buffer;
            } else if (v > counter_) {
                counter_ = v;
            }
        }
    }
    try {
        TTableIndexes::CheckUniqueForAdd(t_, buffers_);
        plan_ = TTableIndexes::PlanNewRecord(t_, buffers_);
    } catch (...) {
        if (assigned) b::PutI32(std::span<uint8_t>(assigned, 4), 0, 0);
        throw;
    }
    k_ = t_.header_.RecordTotal();
    if (k_ == INT32_MAX) throw EDatabaseError(Format("Table '%s' is full", t_.tableName_.c_str()));
    end_ = io_.FileSize();
    newBlock_ = k_ % kItemsPerBlock == 0;
    dataOffset_ = newBlock_ ? end_ + kRecBlockSize : end_;
}

void TTarnTableIO::TAppend::LayOut() {
    t_.CutStrings(buffers_);
    record_.assign(static_cast<size_t>(t_.recordSize_), 0);
    blobs_.reserve(
        static_cast<size_t>(t_.FieldCount()));  // never moved: `stored` may point into `encoded`
    int64_t blobPos = dataOffset_ + t_.recordSize_;
    bool encrypted = io_.Info().Encrypted();
    for (int i = 0; i < t_.FieldCount(); ++i) {
        const TTarnFieldDef& def = t_.fieldDefs_[i];
        uint8_t* slot = record_.data() + t_.SlotOffset(i);
        if (IsBlobType(def.FieldType)) {
            Blob& blob = blobs_.emplace_back();
            blob.field = i;
            blob.offset = blobPos;
            if (i < n_) blob.stored = t_.StoredBlobBytes(buffers_, i, blob.encoded);
            int32_t len = static_cast<int32_t>(blob.stored.size());
            TBlobDescriptor{static_cast<int32_t>(blobPos), len, BlobAreaSize(len)}.Encode(
                std::span<uint8_t>(slot, kBlobDescriptorSize));
            blobPos += BlobAreaSize(len);
            continue;
        }
        if (i >= n_) continue;
        const TFieldBufferItem& item = buffers_.Item(i);
        if (!item.active || item.buffer == nullptr) continue;
        int32_t size = std::min(item.dataSize, t_.SlotSize(i));
        io_.EncodeStoredBuffer(item.buffer, slot, encrypted && !def.StorePlain,
                               static_cast<size_t>(size));
    }
    if (blobPos > INT32_MAX)
        throw EDatabaseError(
            Format("Database file '%s' cannot grow beyond 2 GB", io_.FileName().c_str()));
}

void TTarnTableIO::TAppend::WriteData() {
    // Consecutive pieces go out in one write; a large value is written from its own memory
    // instead of being copied.
    std::vector<uint8_t>& run = t_.writeRun_;
    run.assign(record_.begin(), record_.end());
    int64_t runStart = dataOffset_;
    for (const Blob& blob : blobs_) {
        int32_t len = static_cast<int32_t>(blob.stored.size());
        if (blob.stored.size() >= kBlobCopyLimit) {
            if (!run.empty()) io_.WriteAt(runStart, run.data(), run.size());
            t_.WriteBlobArea(io_, blob.offset, blob.stored, BlobAreaSize(len) - len);
            run.clear();
            runStart = blob.offset + BlobAreaSize(len);
            continue;
        }
        run.insert(run.end(), blob.stored.begin(), blob.stored.end());
        run.insert(run.end(), static_cast<size_t>(BlobAreaSize(len) - len), 0);
    }
    if (!run.empty()) io_.WriteAt(runStart, run.data(), run.size());
    if (io_.Info().VerifyBlobWrites())
        for (Blob& blob : blobs_) {
            int32_t len = static_cast<int32_t>(blob.stored.size());
            t_.VerifyBlobArea(io_, blob.offset, blob.stored, BlobAreaSize(len) - len, buffers_,
                              blob.field, blob.encoded);
        }
}

void TTarnTableIO::TAppend::WriteItem() {
    recTabOffset_ = t_.header_.RecTabOffset();
    if (newBlock_) {
        std::vector<uint8_t> block(static_cast<size_t>(kRecBlockSize), 0);
        b::PutI32(block, kBlockLinkSize, static_cast<int32_t>(dataOffset_));
        io_.WriteAt(end_, block.data(), block.size());
        if (k_ == 0) {
            recTabOffset_ = static_cast<int32_t>(end_);
        } else {
            uint8_t link[4];
            b::PutI32(link, 0, static_cast<int32_t>(end_));
            io_.WriteAt(t_.recBlocks_.back(), link, sizeof link);
        }
        return;
    }
    uint8_t item[kRecItemSize];
    RecordTabItem{static_cast<int32_t>(dataOffset_), false}.Encode(item);
    int64_t itemOffset = static_cast<int64_t>(t_.recBlocks_.back()) + kBlockLinkSize +
                         static_cast<int64_t>(k_ % kItemsPerBlock) * kRecItemSize;
    io_.WriteAt(itemOffset, item, sizeof item);
}

void TTarnTableIO::TAppend::LinkIndexes() {
    // Not interpreted before the header counts the record (the load steps over links to it).
    next_ = t_.header_;
    TTableIndexes::LinkNewRecord(t_, io_, plan_, k_, next_);
}

void TTarnTableIO::TAppend::Commit() {
    next_.SetRecTabOffset(recTabOffset_);
    next_.SetRecordTotal(k_ + 1);
    next_.SetAutoIncCounter(counter_);
    // One write from the bookkeeping to the last index word that changed.
    size_t headerEnd = kBookkeepingFrom + kBookkeepingSize;
    for (int i = t_.IndexCount() - 1; i >= 0; --i) {
        size_t at = index_disk::IndexTabOffsetAt(i);
        if (std::memcmp(next_.raw.data() + at, t_.header_.raw.data() + at, 8) != 0) {
            headerEnd = at + 8;
            break;
        }
    }
    io_.WriteTableHeaderPart(t_.tableNo_, next_, kBookkeepingFrom, headerEnd - kBookkeepingFrom);
    t_.header_ = next_;
    if (newBlock_) t_.recBlocks_.push_back(static_cast<int32_t>(end_));
}

void TTarnTableIO::TAppend::Publish(const TInsertNotify& onInsert) {
    TRecordEntry entry{static_cast<int32_t>(dataOffset_), k_};
    TListChangeGuard changed(t_, -1);
    t_.lists_[0].PushBack(entry);
    TTableIndexes::InsertNewRecord(t_, plan_, entry, onInsert);
}

void TTarnTableIO::AddRecord(TFieldBuffers& buffers, bool flush, const TInsertNotify& onInsert) {
    Written();
    TTarnDBFileIO& io = File();
    FileLockGuard lock(io);
    SyncWithDisk(io);
    TAppend(*this, io, buffers).Run(onInsert);
    if (flush) io.FlushStorage();
}

// ---- rewrite --------------------------------------------------------------------------------
//
// A rewrite of the record at a physical position, under the file lock, in this order:
//   Plan          uniqueness and every index's move: a refusal writes nothing
//   1 Mark        when the record moves in some index: change count and moving mark
//   2 WriteBlobs  each rewritten blob value where the placement rules put it (in its old
//                 area when that is larger, at its old place when that ends the file,
//                 else at the end), the new descriptors into the fixed part in memory
//   3 WriteRecord the fixed part at its DataOffset
//   4 Relink      the moves in the index chains, then the moving mark cleared
// A value written over its old area in step 2 is not safe by order alone (the old
// descriptor points at new bytes until step 3), so a rewrite with blob values runs as a
// transaction of its own when none is active: a crash shows the old record or the new.
// Where that transaction cannot be had (no journal can be made in the file's folder), step
// 2 writes every value at the end of the file instead, and the one write of step 3
// switches the record to them: a crash of the program leaves the old record or the new.
class TTarnTableIO::TRewrite {
public:
    TRewrite(TTarnTableIO& table, TTarnDBFileIO& io, TFieldBuffers& buffers,
             const TRecordEntry& entry)
        : t_(table),
          io_(io),
          buffers_(buffers),
          entry_(entry),
          n_(std::min(buffers.Count(), table.FieldCount())) {}

    void Run(int physicalPosition, const TMoveNotify& onMove) {
        TRelinkPlan plan = TTableIndexes::PlanRelink(t_, buffers_, physicalPosition);
        ImplicitTransaction atomic(io_, HasActiveBlob());
        TStaleOnFailure staleOnFailure(t_);
        TTableIndexes::BeginRelink(t_, io_, plan);
        record_.resize(static_cast<size_t>(t_.recordSize_));
        io_.ReadAt(entry_.dataOffset, record_.size(), record_.data());
        EncodeFields();
        io_.WriteAt(entry_.dataOffset, record_.data(), record_.size());
        TTableIndexes::RelinkRecord(t_, io_, plan,
                                    [&](int index, int oldPosition, int newPosition) {
                                        TListChangeGuard changed(t_, index + 1);
                                        if (onMove) onMove(index, oldPosition, newPosition);
                                    });
        atomic.Commit();
    }

private:
    bool HasActiveBlob() const {
        for (int i = 0; i < n_; ++i)
            if (buffers_.Item(i).active && IsBlobType(t_.fieldDefs_[i].FieldType)) return true;
        return false;
    }
    // Step 2 and the other slots: every active field into the fixed part in memory.
    void EncodeFields();
    // Writes blob field `field`'s new value and puts its descriptor into `desc`.
    void WriteBlob(int field, std::span<uint8_t> desc);
    // An auto-increment value given: stored, and the counter raised first when it is larger.
    void SetAutoInc(const TFieldBufferItem& item, uint8_t* slot, int32_t size, bool encrypt);

    TTarnTableIO& t_;
    TTarnDBFileIO& io_;
    TFieldBuffers& buffers_;
    const TRecordEntry entry_;
    const int n_;
    std::vector<uint8_t> record_;
};

void TTarnTableIO::TRewrite::EncodeFields() {
    bool encrypted = io_.Info().Encrypted();
    for (int i = 0; i < n_; ++i) {
        TFieldBufferItem& item = buffers_.Item(i);
        if (!item.active) continue;  // inactive items keep their stored slots and values
        const TTarnFieldDef& def = t_.fieldDefs_[i];
        uint8_t* slot = record_.data() + t_.SlotOffset(i);
        if (IsBlobType(def.FieldType)) {
            WriteBlob(i, std::span<uint8_t>(slot, kBlobDescriptorSize));
            continue;
        }
        if (item.buffer == nullptr) continue;
        int32_t size = std::min(item.dataSize, t_.SlotSize(i));
        bool encrypt = encrypted && !def.StorePlain;
        if (i == t_.autoIncField_ && size >= 4) {
            SetAutoInc(item, slot, size, encrypt);
            continue;
        }
        io_.EncodeStoredBuffer(item.buffer, slot, encrypt, static_cast<size_t>(size));
    }
}

void TTarnTableIO::TRewrite::WriteBlob(int field, std::span<uint8_t> desc) {
    TMemoryStream encoded;
    std::span<const uint8_t> stored = t_.StoredBlobBytes(buffers_, field, encoded);
    int32_t len = static_cast<int32_t>(stored.size());
    const TBlobDescriptor old = TBlobDescriptor::Decode(desc);
    int32_t oldOffset = old.offset;
    int32_t oldArea = old.areaSize;
    int64_t end = io_.FileSize();
    // The old area counts only where it lies wholly in the file behind the head (a damaged
    // descriptor must not make us write over other data), and only under a journal that can
    // put its bytes back.
    bool oldInFile = io_.InTransaction() && oldOffset >= kFirstFreeOffset && oldArea > 0 &&
                     static_cast<int64_t>(oldOffset) + oldArea <= end;
    int64_t place;
    int32_t area;
    if (oldInFile && oldArea > len) {
        place = oldOffset;
        area = oldArea;
    } else if (oldInFile && static_cast<int64_t>(oldOffset) + oldArea == end) {
        place = oldOffset;
        area = BlobAreaSize(len);
    } else {
        place = end;
        area = BlobAreaSize(len);
    }
    // The fill never runs past the area (an old one may be smaller than a whole unit).
    int32_t fill = std::min(BlobAreaSize(len), area) - len;
    t_.WriteBlobArea(io_, place, stored, fill);
    if (io_.Info().VerifyBlobWrites())
        t_.VerifyBlobArea(io_, place, stored, fill, buffers_, field, encoded);
    TBlobDescriptor{static_cast<int32_t>(place), len, area}.Encode(desc);
}

void TTarnTableIO::TRewrite::SetAutoInc(const TFieldBufferItem& item, uint8_t* slot, int32_t size,
                                        bool encrypt) {
    int32_t v = b::GetI32(std::span<const uint8_t>(item.buffer, 4), 0);
    if (v == 0) return;  // keeps the stored value
    io_.EncodeStoredBuffer(item.buffer, slot, encrypt, static_cast<size_t>(size));
    if (v > t_.header_.AutoIncCounter()) {
        // The counter first: a crash before the record is written leaves a gap, never a
        // counter below a stored value.
        TableHeader next = t_.header_;
        next.SetAutoIncCounter(v);
        io_.WriteTableHeaderPart(t_.tableNo_, next, kHdrAutoIncCounter, 4);
        t_.header_ = next;
    }
}

void TTarnTableIO::ModifyRecord(TFieldBuffers& buffers, int physicalPosition, bool flush,
                                const TMoveNotify& onMove) {
    Written();
    TTarnDBFileIO& io = File();
    FileLockGuard lock(io);
    TRecordEntry entry = RecordList(0).At(physicalPosition);
    if (SyncWithDisk(io)) physicalPosition = ReacquirePosition(entry);
    TRewrite(*this, io, buffers, entry).Run(physicalPosition, onMove);
    if (flush) io.FlushStorage();
}

// A delete of record k: the change count first (other processes' key lists go stale),
// then the Deleted flag of item k (from here on the record is gone), then the lists. The
// record's data, blob areas and index items stay in the file.
void TTarnTableIO::RemoveRecord(int physicalPosition, bool flush) {
    Written();
    TTarnDBFileIO& io = File();
    FileLockGuard lock(io);
    TRecordEntry entry = RecordList(0).At(physicalPosition);
    if (SyncWithDisk(io)) physicalPosition = ReacquirePosition(entry);
    TStaleOnFailure staleOnFailure(*this);
    TTableIndexes::NoteDeletion(*this, io);
    io.MarkDeleted(RecordItemOffset(entry.recNo));
    {
        TListChangeGuard changed(*this, -1);
        TTableIndexes::UnlinkRecord(*this, physicalPosition);
        lists_[0].Erase(physicalPosition);
    }
    if (flush) io.FlushStorage();
}

std::span<const uint8_t> TTarnTableIO::StoredSlot(const TRecordEntry& entry, int field) {
    TTarnDBFileIO& io = File();
    size_t size = static_cast<size_t>(SlotSize(field));
    int64_t at = static_cast<int64_t>(entry.dataOffset) + SlotOffset(field);
    const uint8_t* slot = io.ViewOrRead(at, size, slotScratch_);
    if (!Encrypt(field)) return {slot, size};
    slotScratch_.resize(size);
    io.DecodeStoredBuffer(slot, slotScratch_.data(), true, size);
    return {slotScratch_.data(), size};
}

void TTarnTableIO::ReadStoredField(int32_t recNo, int field, TStream& dest) {
    bool blob = IsBlobType(fieldDefs_[field].FieldType);
    File().ReadFieldValue(RecordItemOffset(recNo), SlotOffset(field),
                          blob ? kBlobDescriptorSize : SlotSize(field), blob, Encrypt(field),
                          Compress(field), dest);
}

int TTarnTableIO::PhysicalPosition(int list, int position) {
    if (list == 0) return position;
    int32_t recNo = RecordList(list).At(position).recNo;
    int p = lists_[0].LowerBoundRecNo(recNo);
    return p < lists_[0].Count() && lists_[0].At(p).recNo == recNo ? p : -1;
}

int TTarnTableIO::KeyPosition(int list, int physicalPosition) {
    if (list == 0) return physicalPosition;
    return TTableIndexes::KeyPositionOf(*this, list - 1, RecordList(0).At(physicalPosition));
}

}  // namespace tarn

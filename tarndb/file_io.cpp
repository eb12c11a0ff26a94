#include "tarndb/file_io.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "dataproc/standard_modules.h"
#include "platform/bytes.h"
#include "platform/os/env.h"
#include "platform/os/mapped_read.h"
#include "tarndb/errors.h"
#include "tarndb/memory_registry.h"

namespace tarn {

namespace b = tarn::bytes;
using namespace tarn::format;

TTarnDBFileIO::TTarnDBFileIO(TTarnDBFileOwner* owner, TTarnDBMediumType medium, bool exclusive)
    : owner_(owner), medium_(medium), exclusive_(exclusive), codec_(owner) {}

TTarnDBFileIO::~TTarnDBFileIO() {
    try {
        CloseStorage();
    } catch (...) {
    }
}

void TTarnDBFileIO::Damaged(const std::string& detail) const {
    throw EDatabaseError(
        Format("Database file '%s' is damaged: %s", fileName_.c_str(), detail.c_str()));
}

void TTarnDBFileIO::OpenStorage(const std::string& name, TTarnDBMediumType medium, bool exclusive) {
    if (IsOpen()) return;
    medium_ = medium;
    exclusive_ = exclusive;
    if (medium == TTarnDBMediumType::mtMemory)
        OpenMemory(name);
    else
        OpenDisk(name, exclusive);
}

void TTarnDBFileIO::CheckHead(const uint8_t* head, const std::string& name) {
    std::span<const uint8_t, kHeadSize> h(head, kHeadSize);
    if (!HasMagic(h))
        throw EDatabaseError(Format("Database file '%s' is an invalid TarnDB", name.c_str()));
    switch (CheckVersion(h)) {
        case HeadCheck::Version100:
            throw EDatabaseError("Version 1.00 is not compatible");
        case HeadCheck::VersionTooHigh:
            throw EDatabaseError("Version of database file is too High");
        default:
            break;
    }
}

void TTarnDBFileIO::OpenDisk(const std::string& name, bool exclusive) {
    Env* env = CurrentEnv();
    if (!env->FileExists(name)) throw EDatabaseError(Format("Cannot open file %s", name.c_str()));
    bool readOnly = openReadOnly_ || env->IsReadOnly(name);
    // One open does for the check and for good: it shares the file as the final open must,
    // so it fails while another holds the file exclusively, and a file that turns out not to
    // be a database is closed again before anything else happens.
    auto file = env->OpenFile(name, readOnly ? OpenAccess::ReadOnly : OpenAccess::ReadWrite,
                              exclusive ? OpenSharing::Exclusive : OpenSharing::Shared);
    // The head, the information block and the directory lie together at the start of the
    // file: one read brings all three, without mapping the file for a few small reads.
    std::vector<uint8_t> start(static_cast<size_t>(kDirOffset + kDirSize));
    size_t got = file->ReadAt(kHeadOffset, start.data(), start.size());
    if (got < static_cast<size_t>(kHeadSize))
        throw EDatabaseError(Format("Database file '%s' is an invalid TarnDB", name.c_str()));
    CheckHead(start.data(), name);
    disk_ = std::make_unique<TTarnDBFileStream>(std::move(file));
    disk_->OnDirty = [this] {
        if (onDirty_) onDirty_();
    };
    readOnly_ = readOnly;
    fileName_ = name;
    // The journal belongs to the file, not to the name it was opened by: a symbolic link or
    // a working directory changed before a commit must not put it elsewhere.
    journalPath_ = journal::JournalPath(name);
    try {
        // A transaction of a writer that died is undone before anything is read; what was
        // read above may be older than the playback, so it is read again then.
        if (env->FileExists(JournalPath())) {
            ReadLockGuard recover(*this);  // rolls a hot journal back first
            ReadSettings();
        } else if (got == start.size()) {
            ReadSettings(start.data());
        } else {
            ReadSettings();  // a file cut short: the reads report where
        }
    } catch (...) {
        // The file is of no use without its settings; leave the object closed.
        CloseStorage();
        throw;
    }
}

void TTarnDBFileIO::OpenMemory(const std::string& name) {
    TMemoryStream* stream = LookupMemoryStream(name);
    if (stream == nullptr) throw EDatabaseError(Format("Invalid database name '%s'", name.c_str()));
    if (stream->Size() < kHeadSize)
        throw EDatabaseError(Format("Database file '%s' is an invalid TarnDB", name.c_str()));
    CheckHead(stream->Memory(), name);
    memory_ = stream;
    readOnly_ = false;
    fileName_ = name;
    try {
        ReadSettings();
    } catch (...) {
        CloseStorage();
        throw;
    }
}

void TTarnDBFileIO::ReadSettings(const uint8_t* start) {
    if (start != nullptr)
        std::memcpy(info_.raw.data(), start + kInfoOffset, kInfoSize);
    else
        ReadAt(kInfoOffset, kInfoSize, info_.raw.data());
    RegisterStandardModules();
    codec_.SelectModules(info_.Compressed(), info_.CompressModuleName(), info_.Encrypted(),
                         info_.EncryptModuleName(), info_.EncryptMode());
    if (start != nullptr) {
        std::memcpy(directory_.raw.data(), start + kDirOffset, kDirSize);
        CheckDirectory();
    } else {
        ReloadDirectory();
    }
}

void TTarnDBFileIO::ReloadDirectory() {
    ReadAt(kDirOffset, kDirSize, directory_.raw.data());
    CheckDirectory();
}

void TTarnDBFileIO::CheckDirectory() const {
    int32_t count = directory_.TableCount();
    if (count < 0 || count > kMaxTables)
        Damaged(Format("table count %d in the directory is outside 0..%d", count, kMaxTables));
}

void TTarnDBFileIO::CloseStorage() {
    if (txn_.active) AbandonTransaction();  // closing undoes an unfinished transaction
    // Closing the file drops the locks with it (the image's are dropped here); nothing may
    // stay locked behind us.
    if (memory_) DropMemoryLocks(memory_, this);
    hold_ = LockHolding{};
    readDepth_ = writeDepth_ = exclusiveAtRead_ = 0;
    disk_.reset();
    memory_ = nullptr;
}

bool TTarnDBFileIO::IsFlushed() const {
    if (memory_ != nullptr || !disk_) return true;
    return disk_->Flushed();
}

void TTarnDBFileIO::FlushStorage() {
    if (!disk_) return;
    // A removed journal first: once the flush is done, none can come back to undo it.
    SyncRemovedJournal();
    disk_->Flush();
}

bool TTarnDBFileIO::CheckPassword(const std::string& password) {
    if (!IsOpen()) return false;
    if (!info_.Encrypted()) return true;
    return codec_.CheckPassword(password, info_.PasswordCheck());
}

int64_t TTarnDBFileIO::FileSize() {
    if (txn_.cached && txn_.writing) return txn_.tailBase + txn_.tailLength;
    if (memory_) return memory_->Size();
    if (disk_) return disk_->Size();
    throw EDatabaseError("Database is not open");
}

const uint8_t* TTarnDBFileIO::View(int64_t offset, size_t count) {
    if (offset < 0) Damaged(Format("negative offset %lld", static_cast<long long>(offset)));
    if (txn_.tailLength > 0 && count > 0 && offset + static_cast<int64_t>(count) > txn_.tailBase) {
        // Bytes the transaction appended and keeps in memory.
        if (offset >= txn_.tailBase &&
            offset + static_cast<int64_t>(count) <= txn_.tailBase + txn_.tailLength) {
            int64_t at = offset - txn_.tailBase;
            size_t chunk = static_cast<size_t>(at / kTailChunk);
            if ((at + static_cast<int64_t>(count) - 1) / kTailChunk ==
                    static_cast<int64_t>(chunk) &&
                txn_.tailChunks[chunk])
                return txn_.tailChunks[chunk].get() + at % kTailChunk;
        }
        std::vector<uint8_t>& scratch = viewScratch_[nextScratch_];
        nextScratch_ = (nextScratch_ + 1) % std::size(viewScratch_);
        scratch.resize(count);
        ReadAt(offset, count, scratch.data());
        return scratch.data();
    }
    if (!txn_.dirty.empty() && OverlayTouches(offset, count)) {
        int64_t size = FileSize();
        if (offset > size || static_cast<int64_t>(count) > size - offset)
            Damaged(Format("%zu bytes at offset %lld lie beyond the end of the file (%lld bytes)",
                           count, static_cast<long long>(offset), static_cast<long long>(size)));
        // Within one page copy: straight from it.
        int64_t page = offset / kPageSize;
        int64_t pageEnd = std::min((page + 1) * kPageSize, txn_.originalLength);
        if (offset + static_cast<int64_t>(count) <= pageEnd &&
            txn_.copies[static_cast<size_t>(page)])
            return txn_.copies[static_cast<size_t>(page)].get() + (offset - page * kPageSize);
        std::vector<uint8_t>& scratch = viewScratch_[nextScratch_];
        nextScratch_ = (nextScratch_ + 1) % std::size(viewScratch_);
        scratch.resize(count);
        ReadAt(offset, count, scratch.data());
        return scratch.data();
    }
    return ViewStored(offset, count);
}

const uint8_t* TTarnDBFileIO::ViewStored(int64_t offset, size_t count) {
    if (offset < 0) Damaged(Format("negative offset %lld", static_cast<long long>(offset)));
    if (memory_) {
        int64_t size = memory_->Size();
        if (offset > size || static_cast<int64_t>(count) > size - offset)
            Damaged(Format("%zu bytes at offset %lld lie beyond the end of the file (%lld bytes)",
                           count, static_cast<long long>(offset), static_cast<long long>(size)));
        return memory_->Memory() + offset;
    }
    if (!disk_) throw EDatabaseError("Database is not open");
    if (const uint8_t* p = disk_->View(offset, count)) return p;
    int64_t size = disk_->Size();
    if (offset > size || static_cast<int64_t>(count) > size - offset)
        Damaged(Format("%zu bytes at offset %lld lie beyond the end of the file (%lld bytes)",
                       count, static_cast<long long>(offset), static_cast<long long>(size)));
    return nullptr;  // mapping refused by the system: callers fall back to ReadAt
}

bool TTarnDBFileIO::StillHolds(int64_t offset, const uint8_t* bytes, size_t count) {
    // Without a transaction's bytes in memory the file answers through the guard, with or
    // without the lock; otherwise the transaction holds the lock and its view decides.
    if (disk_ && txn_.tailLength == 0 && txn_.dirty.empty()) {
        if (offset < 0) return false;
        return disk_->Holds(offset, bytes, count);
    }
    const uint8_t* p = View(offset, count);
    return p != nullptr && std::memcmp(p, bytes, count) == 0;
}

void TTarnDBFileIO::ReadAt(int64_t offset, size_t count, void* buffer) {
    auto* out = static_cast<uint8_t*>(buffer);
    if (txn_.tailLength > 0 && offset + static_cast<int64_t>(count) > txn_.tailBase && count > 0) {
        int64_t end = offset + static_cast<int64_t>(count);
        if (offset < 0 || end > txn_.tailBase + txn_.tailLength)
            Damaged(Format("%zu bytes at offset %lld lie beyond the end of the file (%lld bytes)",
                           count, static_cast<long long>(offset),
                           static_cast<long long>(FileSize())));
        int64_t split = std::max(offset, txn_.tailBase);
        if (split > offset) ReadAt(offset, static_cast<size_t>(split - offset), out);
        CopyTail(split, out + (split - offset), nullptr, static_cast<size_t>(end - split));
        return;
    }
    ReadStored(offset, count, buffer);
    if (!txn_.dirty.empty()) Overlay(offset, count, out);
}

void TTarnDBFileIO::ReadStored(int64_t offset, size_t count, void* buffer) {
    if (count == 0) return;
    if (!disk_) {
        std::memcpy(buffer, ViewStored(offset, count), count);
        return;
    }
    if (offset < 0) Damaged(Format("negative offset %lld", static_cast<long long>(offset)));
    // The stream copies from the mapping under its guard: bytes another program cut off
    // meanwhile read short, as past the end of the file, and are reported so here.
    if (disk_->ReadAt(offset, buffer, count) == count) return;
    Damaged(Format("%zu bytes at offset %lld lie beyond the end of the file (%lld bytes)", count,
                   static_cast<long long>(offset), static_cast<long long>(disk_->Size())));
}

void TTarnDBFileIO::WriteAt(int64_t offset, const void* buffer, size_t count) {
    if (readOnly_)
        throw EDatabaseError(Format("Database file '%s' is read-only", fileName_.c_str()));
    if (offset < 0 || offset + static_cast<int64_t>(count) > INT32_MAX)
        throw EDatabaseError(
            Format("Database file '%s' cannot grow beyond 2 GB", fileName_.c_str()));
    if (!memory_ && !disk_) throw EDatabaseError("Database is not open");
    if (count == 0) return;
    if (txn_.active) {
        WriteInTransaction(offset, static_cast<const uint8_t*>(buffer), count);
        return;
    }
    WriteStored(offset, buffer, count);
}

void TTarnDBFileIO::WriteStored(int64_t offset, const void* buffer, size_t count) {
    if (memory_) {
        EnsureExclusive();
        memory_->SetPosition(offset);
        memory_->WriteBuffer(buffer, count);
        return;
    }
    EnsureExclusive();
    disk_->WriteAt(offset, buffer, count);
}

int32_t TTarnDBFileIO::TableOffset(int table) const {
    if (table < 0 || table >= directory_.TableCount())
        throw EDatabaseError(Format("Table number %d is not in the directory", table));
    return directory_.TableOffset(table);
}

void TTarnDBFileIO::ReadTableHeader(int table, TableHeader& header) {
    int32_t offset = TableOffset(table);
    if (offset < kFirstFreeOffset)
        Damaged(
            Format("table %d has its header at offset %d, inside the file head", table, offset));
    ReadAt(offset, kTableHeaderSize, header.raw.data());
}

void TTarnDBFileIO::WriteTableHeader(int table, const TableHeader& header) {
    WriteTableHeaderPart(table, header, 0, kTableHeaderSize);
}

void TTarnDBFileIO::WriteTableHeaderPart(int table, const TableHeader& header, size_t from,
                                         size_t count) {
    if (from > header.raw.size() || count > header.raw.size() - from)
        throw EDatabaseError("Table header part outside the header");
    WriteAt(static_cast<int64_t>(TableOffset(table)) + static_cast<int64_t>(from),
            header.raw.data() + from, count);
}

void TTarnDBFileIO::ListTableNames(std::vector<std::string>& names) {
    std::vector<std::string> list;
    TableHeader header;
    for (int t = 0; t < directory_.TableCount(); ++t) {
        ReadTableHeader(t, header);
        list.push_back(header.TableName());
    }
    names = std::move(list);  // one batch: the caller's list changes only on success
}

void TTarnDBFileIO::CheckBlockChain(int32_t total, int32_t blockSize, const char* what) {
    if (total <= 0) return;
    int64_t blockCount = (static_cast<int64_t>(total) + kItemsPerBlock - 1) / kItemsPerBlock;
    // Blocks never overlap, so a table cannot have more of them than fit in the file; this
    // bounds the work for a damaged count or a chain that loops.
    if (blockCount * blockSize > FileSize())
        Damaged(Format("%s of %d items needs %lld blocks, more than the file can hold", what, total,
                       static_cast<long long>(blockCount)));
}

int32_t TTarnDBFileIO::ReadChainBlock(int32_t offset, int64_t blk, int32_t blockSize,
                                      std::vector<uint8_t>& block, const char* what) {
    if (offset < kFirstFreeOffset)
        Damaged(Format("%s block %lld is at offset %d", what, static_cast<long long>(blk), offset));
    // Whole blocks are read (not viewed): a read copies them from the page cache without
    // faulting the mapping in page by page, which costs more than the copy.
    block.resize(static_cast<size_t>(blockSize));
    ReadAt(offset, block.size(), block.data());
    return b::GetI32(block, 0);
}

void TTarnDBFileIO::ReadBlockChain(
    int32_t first, int32_t total, int32_t blockSize, std::vector<int32_t>& blocks, const char* what,
    const std::function<void(int64_t, const uint8_t*, int64_t)>& take) {
    blocks.clear();
    if (total <= 0) return;
    CheckBlockChain(total, blockSize, what);
    int64_t blockCount = (static_cast<int64_t>(total) + kItemsPerBlock - 1) / kItemsPerBlock;
    blocks.reserve(static_cast<size_t>(blockCount));
    std::vector<uint8_t> block;
    int32_t offset = first;
    for (int64_t blk = 0; blk < blockCount; ++blk) {
        int64_t inBlock = std::min<int64_t>(kItemsPerBlock, total - blk * kItemsPerBlock);
        int32_t next = ReadChainBlock(offset, blk, blockSize, block, what);
        blocks.push_back(offset);
        if (take) take(blk * kItemsPerBlock, block.data() + kBlockLinkSize, inBlock);
        offset = next;
    }
}

void TTarnDBFileIO::ReadRecordTable(const TableHeader& header, std::vector<RecordTabItem>& items,
                                    std::vector<int32_t>& blocks) {
    int32_t total = header.RecordTotal();
    if (total < 0)
        Damaged(Format("table '%s' has a negative record total", header.TableName().c_str()));
    items.clear();
    ReadBlockChain(
        header.RecTabOffset(), total, kRecBlockSize, blocks, "record table",
        [&](int64_t first, const uint8_t* p, int64_t count) {
            if (items.empty()) items.resize(static_cast<size_t>(total));
            for (int64_t i = 0; i < count; ++i, p += kRecItemSize)
                items[static_cast<size_t>(first + i)] = RecordTabItem::Decode({p, kRecItemSize});
        });
}

void TTarnDBFileIO::ReadIndexTable(const TableHeader& header, int index,
                                   std::vector<IndexTabItem>& items, std::vector<int32_t>& blocks) {
    int32_t total = header.RecordTotal();
    items.clear();
    blocks.clear();
    if (total <= 0 || header.IndexTabOffset(index) == 0) return;
    ReadBlockChain(
        header.IndexTabOffset(index), total, kIdxBlockSize, blocks, "index table",
        [&](int64_t first, const uint8_t* p, int64_t count) {
            if (items.empty()) items.resize(static_cast<size_t>(total));
            for (int64_t i = 0; i < count; ++i, p += kIdxItemSize)
                items[static_cast<size_t>(first + i)] = IndexTabItem::Decode({p, kIdxItemSize});
        });
}

void TTarnDBFileIO::MarkDeleted(int64_t itemOffset) {
    uint8_t item[kRecItemSize];
    ReadAt(itemOffset, kRecItemSize, item);
    RecordTabItem marked = RecordTabItem::Decode(item);
    marked.deleted = true;
    marked.Encode(item);
    WriteAt(itemOffset, item, kRecItemSize);
}

void TTarnDBFileIO::ReadFieldValue(int64_t itemOffset, int32_t slotOffset, int32_t slotSize,
                                   bool blob, bool decrypt, bool decompress, TStream& dest) {
    uint8_t item[kRecItemSize];
    std::vector<uint8_t> slot(blob ? 0 : static_cast<size_t>(slotSize));
    int64_t dataOffset;
    {
        ReadLockGuard lock(*this);
        ReadAt(itemOffset, kRecItemSize, item);
        dataOffset = RecordTabItem::Decode(item).dataOffset;
        if (!blob) ReadAt(dataOffset + slotOffset, slot.size(), slot.data());
    }
    if (!blob) {
        std::vector<uint8_t> plain(slot.size());
        DecodeStoredBuffer(slot.data(), plain.data(), decrypt, slot.size());
        dest.WriteBuffer(plain.data(), plain.size());
        return;
    }
    TMemoryStream plain;
    ReadBlobValue(dataOffset + slotOffset, decrypt, decompress, plain);
    plain.SetPosition(0);
    dest.CopyFrom(plain, plain.Size());
}

void TTarnDBFileIO::ReadBlobValue(int64_t descriptorOffset, bool decrypt, bool decompress,
                                  TMemoryStream& dest) {
    uint8_t desc[kBlobDescriptorSize];
    // Blob streams load their value when first read, outside any table operation: the
    // stored bytes are read under the lock like every record (and decoded after it).
    std::optional<ReadLockGuard> lock(std::in_place, *this);
    ReadAt(descriptorOffset, kBlobDescriptorSize, desc);
    TBlobDescriptor descriptor = TBlobDescriptor::Decode(desc);
    int32_t blobOffset = descriptor.offset;
    int32_t blobLength = descriptor.length;
    auto outside = [&] {
        Damaged(
            Format("blob of %d bytes at offset %d, described at offset %lld, lies outside the file",
                   blobLength, blobOffset, static_cast<long long>(descriptorOffset)));
    };
    if (blobLength < 0 || blobOffset < 0) outside();
    // A small value is copied from the mapping, which checks its bounds; a large one is
    // checked against the file's size before anything is allocated for it, then read.
    const uint8_t* mapped = nullptr;
    if (blobLength > 0 && blobLength <= kMappedBlobRead) {
        mapped = View(blobOffset, static_cast<size_t>(blobLength));
    } else if (static_cast<int64_t>(blobOffset) + blobLength > FileSize()) {
        outside();
    }
    TMemoryStream stored;
    // Stored as it is, the value goes straight into the destination.
    TMemoryStream& into = !decrypt && !decompress ? dest : stored;
    into.SetSize(blobLength);
    if (mapped) {
        // Within the length learnt under the lock; the guard is for a program that cuts the
        // file all the same.
        if (!CopyFromMapping(into.Memory(), mapped, static_cast<size_t>(blobLength)))
            Damaged(Format("blob of %d bytes at offset %d was cut off while it was read",
                           blobLength, blobOffset));
    } else {
        ReadAt(blobOffset, static_cast<size_t>(blobLength), into.Memory());
    }
    lock.reset();
    if (&into == &dest) {
        dest.Seek(0, SeekOrigin::End);  // positioned at the end, as after decoding
        return;
    }
    DecodeStoredStream(stored, dest, decompress, decrypt);
}

void TTarnDBFileIO::EncodeStoredStream(TMemoryStream& source, TMemoryStream& dest, bool compress,
                                       bool encrypt) {
    codec_.EncodeStoredStream(source, dest, compress, encrypt);
}

void TTarnDBFileIO::DecodeStoredStream(TMemoryStream& source, TMemoryStream& dest, bool compress,
                                       bool encrypt) {
    codec_.DecodeStoredStream(source, dest, compress, encrypt);
}

void TTarnDBFileIO::EncodeStoredBuffer(const uint8_t* source, uint8_t* dest, bool encrypt,
                                       size_t count) {
    if (!encrypt) {
        if (source != dest && count) std::memmove(dest, source, count);
        return;
    }
    codec_.EncodeStoredBuffer(source, dest, encrypt, static_cast<int32_t>(count));
}

void TTarnDBFileIO::DecodeStoredBuffer(const uint8_t* source, uint8_t* dest, bool encrypt,
                                       size_t count) {
    if (!encrypt) {
        if (source != dest && count) std::memmove(dest, source, count);
        return;
    }
    codec_.DecodeStoredBuffer(source, dest, encrypt, static_cast<int32_t>(count));
}

}  // namespace tarn

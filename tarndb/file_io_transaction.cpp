// Transactions of a database file: page copies and appended bytes kept in memory, the
// rollback journal written before the file is overwritten, commit, rollback, and the
// recovery of a journal a writer left behind. See file_io.h and journal.h.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <system_error>

#include "platform/bytes.h"
#include "platform/os/env.h"
#include "platform/os/file_kind.h"
#include "tarndb/errors.h"
#include "tarndb/file_io.h"

namespace tarn {

namespace b = tarn::bytes;
using namespace tarn::format;

void TTarnDBFileIO::CopyTail(int64_t offset, uint8_t* out, const uint8_t* in, size_t count) {
    // Chunks are not cleared when they are made: only bytes below the tail's end are ever
    // read, and each of them was written, or zeroed here: a gap a write leaves behind the
    // end in the chunks there are, and in a chunk made later, the bytes below the end that
    // its first write does not cover.
    const int64_t tailEnd = txn_.tailBase + txn_.tailLength;
    if (in && offset > tailEnd) {
        for (int64_t at = tailEnd - txn_.tailBase; at < offset - txn_.tailBase;) {
            size_t chunk = static_cast<size_t>(at / kTailChunk);
            size_t within = static_cast<size_t>(at % kTailChunk);
            size_t n = static_cast<size_t>(std::min<int64_t>(
                kTailChunk - static_cast<int64_t>(within), offset - txn_.tailBase - at));
            if (chunk < txn_.tailChunks.size() && txn_.tailChunks[chunk])
                std::memset(txn_.tailChunks[chunk].get() + within, 0, n);
            at += static_cast<int64_t>(n);
        }
    }
    int64_t at = offset - txn_.tailBase;
    while (count > 0) {
        size_t chunk = static_cast<size_t>(at / kTailChunk);
        size_t within = static_cast<size_t>(at % kTailChunk);
        size_t n = std::min(count, static_cast<size_t>(kTailChunk) - within);
        if (in) {
            if (chunk >= txn_.tailChunks.size()) txn_.tailChunks.resize(chunk + 1);
            if (!txn_.tailChunks[chunk]) {
                auto& made = txn_.tailChunks[chunk];
                made = std::make_unique_for_overwrite<uint8_t[]>(kTailChunk);
                // What lies below the tail's end besides this write reads as zeros.
                std::memset(made.get(), 0, within);
                int64_t chunkBase = static_cast<int64_t>(chunk) * kTailChunk;
                size_t below = static_cast<size_t>(
                    std::clamp<int64_t>(tailEnd - txn_.tailBase - chunkBase, 0, kTailChunk));
                if (below > within + n) std::memset(made.get() + within + n, 0, below - within - n);
            }
            std::memcpy(txn_.tailChunks[chunk].get() + within, in, n);
            in += n;
        } else {
            // A chunk nothing was written to holds zeros, as the file would.
            if (chunk < txn_.tailChunks.size() && txn_.tailChunks[chunk])
                std::memcpy(out, txn_.tailChunks[chunk].get() + within, n);
            else
                std::memset(out, 0, n);
            out += n;
        }
        at += static_cast<int64_t>(n);
        count -= n;
    }
}

void TTarnDBFileIO::FlushTail() {
    if (txn_.tailLength == 0) return;
    // The journal's header first: it records the original length, so that a rollback or a
    // recovery after a crash cuts off the bytes written below.
    if (disk_ && !txn_.journalStarted) JournalPages({});
    int64_t at = 0;
    for (size_t c = 0; at < txn_.tailLength; ++c, at += kTailChunk) {
        size_t n = static_cast<size_t>(std::min<int64_t>(kTailChunk, txn_.tailLength - at));
        if (txn_.tailChunks[c])
            WriteStored(txn_.tailBase + at, txn_.tailChunks[c].get(), n);
        else {
            std::vector<uint8_t> zeros(n);
            WriteStored(txn_.tailBase + at, zeros.data(), n);
        }
    }
    txn_.tailBase += txn_.tailLength;
    txn_.tailLength = 0;
    txn_.tailChunks.clear();
}

bool TTarnDBFileIO::OverlayTouches(int64_t offset, size_t count) const {
    int64_t end = std::min(offset + static_cast<int64_t>(count), txn_.originalLength);
    if (count == 0 || offset < 0 || offset >= end) return false;
    for (int64_t p = offset / kPageSize; p <= (end - 1) / kPageSize; ++p)
        if (txn_.copies[static_cast<size_t>(p)]) return true;
    return false;
}

void TTarnDBFileIO::Overlay(int64_t offset, size_t count, uint8_t* buffer) {
    int64_t end = std::min(offset + static_cast<int64_t>(count), txn_.originalLength);
    if (count == 0 || offset < 0 || offset >= end) return;
    for (int64_t p = offset / kPageSize; p <= (end - 1) / kPageSize; ++p) {
        const uint8_t* copy = txn_.copies[static_cast<size_t>(p)].get();
        if (!copy) continue;
        int64_t from = std::max(offset, p * kPageSize);
        int64_t to = std::min(end, (p + 1) * kPageSize);
        std::memcpy(buffer + (from - offset), copy + (from - p * kPageSize),
                    static_cast<size_t>(to - from));
    }
}

// ---- transactions ---------------------------------------------------------------------------

void TTarnDBFileIO::BeginTransaction() {
    if (!IsOpen()) throw EDatabaseError("Database is not open");
    if (txn_.active) throw EDatabaseError("A transaction is already active");
    // The right to write is taken now, not at the first write: what the transaction reads
    // cannot be changed by another writer before it commits.
    try {
        if (!readOnly_) TakeReserved();
        if (!hold_.shared) TakeShared();
    } catch (...) {
        SettleLocks();
        throw;
    }
    StartTransaction(false);
    txn_.locked = true;
}

bool TTarnDBFileIO::BeginImplicitTransaction() {
    if (txn_.active || !IsOpen() || readOnly_) return false;
    // Where no journal can be made beside the file, the caller goes without one and orders
    // its writes instead (see ImplicitTransaction).
    if (disk_ && !CurrentEnv()->DirectoryWritable(JournalPath())) return false;
    StartTransaction(true);
    return true;
}

void TTarnDBFileIO::StartTransaction(bool implicit) {
    txn_ = Transaction{};
    txn_.active = true;
    txn_.implicit = implicit;
    // A transaction keeps its writes to itself until the commit, on disk and in memory
    // alike: another database object on the same image must not see them, and a rollback
    // must not touch the image.
    txn_.cached = !implicit;
}

void TTarnDBFileIO::StartWriting() {
    AcquireFileLock();  // held to the end of the transaction
    try {
        txn_.originalLength = FileSize();
    } catch (...) {
        ReleaseFileLock();
        throw;
    }
    txn_.writing = true;
    txn_.tailBase = txn_.originalLength;
    size_t pages = static_cast<size_t>((txn_.originalLength + kPageSize - 1) / kPageSize);
    txn_.journalled.assign(pages, 0);
    if (txn_.cached) txn_.copies.resize(pages);
    // Tells this journal's records from any earlier journal's, and (as the file's stamp) this
    // journal from any other: drawn at random, never 0 (the stamp of a file never stamped).
    static std::mt19937 draw{std::random_device{}()};
    static std::mutex drawLock;
    {
        std::lock_guard<std::mutex> lock(drawLock);
        do {
            txn_.salt = static_cast<uint32_t>(draw());
        } while (txn_.salt == 0);
    }
}

void TTarnDBFileIO::WriteInTransaction(int64_t offset, const uint8_t* buffer, size_t count) {
    if (!txn_.writing) StartWriting();
    const int64_t end = offset + static_cast<int64_t>(count);
    const int64_t original = txn_.originalLength;
    if (offset < original) {
        const int64_t cut = std::min(end, original);
        const int64_t first = offset / kPageSize, last = (cut - 1) / kPageSize;
        if (!txn_.cached) {
            // Written through: the old bytes of each page go to the journal first.
            std::vector<int64_t> fresh;
            for (int64_t p = first; p <= last; ++p)
                if (!txn_.journalled[static_cast<size_t>(p)]) fresh.push_back(p);
            if (!fresh.empty()) JournalPages(fresh);
            WriteStored(offset, buffer, count);
            return;
        }
        int64_t runStart = -1;  // a run of pages saved already: written to the file
        auto flushRun = [&](int64_t upTo) {
            if (runStart < 0) return;
            WriteStored(runStart, buffer + (runStart - offset),
                        static_cast<size_t>(upTo - runStart));
            runStart = -1;
        };
        for (int64_t p = first; p <= last; ++p) {
            int64_t from = std::max(offset, p * kPageSize);
            int64_t to = std::min(cut, (p + 1) * kPageSize);
            if (txn_.journalled[static_cast<size_t>(p)]) {
                if (runStart < 0) runStart = from;
                continue;
            }
            flushRun(from);
            auto& copy = txn_.copies[static_cast<size_t>(p)];
            if (!copy) {
                size_t length = static_cast<size_t>(std::min(kPageSize, original - p * kPageSize));
                copy = TakePageBuffer();
                ReadStored(p * kPageSize, length, copy.get());
                // The last page of the file: nothing of an earlier transaction past its end.
                std::memset(copy.get() + length, 0, static_cast<size_t>(kPageSize) - length);
                txn_.dirty.push_back(p);
                txn_.copyBytes += static_cast<size_t>(kPageSize);
            }
            std::memcpy(copy.get() + (from - p * kPageSize), buffer + (from - offset),
                        static_cast<size_t>(to - from));
        }
        flushRun(cut);
    }
    if (end > original) {
        int64_t from = std::max(offset, original);
        if (txn_.cached) {
            // Appended bytes are kept in memory too (past what was written out early).
            int64_t split = std::clamp(txn_.tailBase, from, end);  // written out early below it
            if (split > from)
                WriteStored(from, buffer + (from - offset), static_cast<size_t>(split - from));
            if (end > split) {
                CopyTail(split, nullptr, buffer + (split - offset),
                         static_cast<size_t>(end - split));
                txn_.tailLength = std::max(txn_.tailLength, end - txn_.tailBase);
            }
        } else {
            WriteStored(from, buffer + (from - offset), static_cast<size_t>(end - from));
        }
    }
    if (txn_.copyBytes > spillBytes_) SpillCopies();
    if (static_cast<size_t>(txn_.tailLength) > spillBytes_) FlushTail();
}

namespace {
constexpr size_t kSparePages = 2048;       // 8 MiB of page buffers kept between transactions
constexpr size_t kScratchKept = 8u << 20;  // a larger scratch buffer is given back after use

void ReleaseIfLarge(std::vector<uint8_t>& scratch) {
    if (scratch.capacity() > kScratchKept) std::vector<uint8_t>().swap(scratch);
}
}  // namespace

std::unique_ptr<uint8_t[]> TTarnDBFileIO::TakePageBuffer() {
    if (sparePages_.empty()) return std::make_unique<uint8_t[]>(static_cast<size_t>(kPageSize));
    std::unique_ptr<uint8_t[]> page = std::move(sparePages_.back());
    sparePages_.pop_back();
    return page;
}

void TTarnDBFileIO::ReturnPageBuffer(std::unique_ptr<uint8_t[]> page) {
    if (page && sparePages_.size() < kSparePages) sparePages_.push_back(std::move(page));
}

void TTarnDBFileIO::JournalPages(const std::vector<int64_t>& listed) {
    std::vector<uint8_t>& out = journalScratch_;
    out.clear();
    // Before the first page a disk journal saves, page 0, whose stamp the journal changes
    // right after (journal.h). A journal that only records the length (for appended bytes
    // written early) changes nothing below it, and leaves the stamp alone.
    const bool stamp = !memory_ && !txn_.stamped && !listed.empty() &&
                       txn_.originalLength >= journal::kStampOffset + int64_t{journal::kStampSize};
    std::vector<int64_t> withStamp;
    if (stamp && !txn_.journalled[0]) {
        withStamp.push_back(0);
        for (int64_t p : listed)
            if (p != 0) withStamp.push_back(p);
    }
    const std::vector<int64_t>& pages = withStamp.empty() ? listed : withStamp;
    if (!txn_.journalStarted) {
        journal::Header header{static_cast<uint32_t>(kPageSize), txn_.originalLength, txn_.salt};
        // Nothing below the original length was overwritten yet: the file as stored is the
        // state the journal begins from. (A memory journal never meets another file.)
        if (!memory_) {
            auto stored = [this](int64_t offset, size_t count, uint8_t* o) {
                ReadStored(offset, count, o);
            };
            header.stateChecksum = journal::StateChecksum(txn_.originalLength, stored);
            if (txn_.originalLength >= journal::kStampOffset + int64_t{journal::kStampSize}) {
                uint8_t was[journal::kStampSize];
                stored(journal::kStampOffset, sizeof was, was);
                header.previousStamp = b::GetU32(was, 0);
                txn_.stampedFirst = header.previousStamp == 0;
            }
        }
        journal::AppendHeader(out, header);
    }
    std::vector<uint8_t> old(static_cast<size_t>(kPageSize));
    for (int64_t p : pages) {
        size_t length =
            static_cast<size_t>(std::min(kPageSize, txn_.originalLength - p * kPageSize));
        ReadStored(p * kPageSize, length, old.data());
        journal::AppendRecord(out, txn_.salt, p * kPageSize,
                              std::span<const uint8_t>(old.data(), length));
    }
    if (memory_) {
        txn_.journalMemory.insert(txn_.journalMemory.end(), out.begin(), out.end());
    } else {
        bool created = !txn_.journalFile;
        // A journal exists only while its writer holds EXCLUSIVE: one found beside the file
        // under SHARED is one whose writer is gone.
        if (created) EnsureExclusive();
        if (created) txn_.journalFile = CreateJournalFile();
        txn_.journalFile->WriteAt(txn_.journalSize, out.data(), out.size());
        txn_.journalSize += static_cast<int64_t>(out.size());
        // The saved bytes are on the disk before the first of the pages is overwritten, and
        // so is the journal's name: a power cut must not lose the file.
        if (!txn_.implicit && syncCommit_) {
            txn_.journalFile->Sync();
            if (created) CurrentEnv()->SyncDirectoryOf(JournalPath());
        }
    }
    txn_.journalStarted = true;
    for (int64_t p : pages) txn_.journalled[static_cast<size_t>(p)] = 1;
    ReleaseIfLarge(out);
    if (stamp) {
        txn_.stamped = true;
        // The first overwrite: the file now names this journal as its last. Page 0 is
        // saved, so later writes to it go through to the file (or come from its copy).
        uint8_t salt[journal::kStampSize];
        b::PutU32(salt, 0, txn_.salt);
        if (txn_.cached && !txn_.copies.empty() && txn_.copies[0]) {
            // A page copy of page 0 goes out with the stamp: a saved page has no copy.
            uint8_t* copy = txn_.copies[0].get();
            std::memcpy(copy + journal::kStampOffset, salt, sizeof salt);
            WriteStored(0, copy, static_cast<size_t>(std::min(kPageSize, txn_.originalLength)));
            ReturnPageBuffer(std::move(txn_.copies[0]));
            std::erase(txn_.dirty, int64_t{0});
            txn_.copyBytes -= static_cast<size_t>(kPageSize);
        } else {
            WriteStored(journal::kStampOffset, salt, sizeof salt);
        }
        // A file never stamped before: the stamp is durable before any other overwrite, so
        // that a file still without it is known not to have been overwritten (journal.h).
        if (txn_.stampedFirst && !txn_.implicit && syncCommit_) disk_->Flush();
    }
}

void TTarnDBFileIO::SpillCopies() {
    JournalCopies();
    WriteCopies();
}

void TTarnDBFileIO::JournalCopies() {
    if (txn_.dirty.empty()) return;
    std::sort(txn_.dirty.begin(), txn_.dirty.end());
    std::vector<int64_t> fresh;
    for (int64_t p : txn_.dirty)
        if (!txn_.journalled[static_cast<size_t>(p)]) fresh.push_back(p);
    if (!fresh.empty()) JournalPages(fresh);
}

void TTarnDBFileIO::WriteCopies() {
    if (txn_.dirty.empty()) return;
    std::vector<int64_t> pages = txn_.dirty;
    std::sort(pages.begin(), pages.end());
    // Consecutive pages go out in one write.
    std::vector<uint8_t>& run = spillScratch_;
    run.clear();
    int64_t runStart = -1, runEnd = -1;
    auto flushRun = [&] {
        if (!run.empty()) WriteStored(runStart, run.data(), run.size());
        run.clear();
    };
    for (int64_t p : pages) {
        int64_t from = p * kPageSize;
        size_t length = static_cast<size_t>(std::min(kPageSize, txn_.originalLength - from));
        if (from != runEnd) {
            flushRun();
            runStart = from;
        }
        const uint8_t* copy = txn_.copies[static_cast<size_t>(p)].get();
        run.insert(run.end(), copy, copy + length);
        runEnd = from + static_cast<int64_t>(length);
    }
    flushRun();
    ReleaseIfLarge(run);
    for (int64_t p : pages) ReturnPageBuffer(std::move(txn_.copies[static_cast<size_t>(p)]));
    txn_.dirty.clear();
    txn_.copyBytes = 0;
}

void TTarnDBFileIO::CommitTransaction() {
    if (!txn_.active) throw EDatabaseError("No transaction is active");
    lastCommitCommitted_ = false;
    try {
        if (txn_.writing) {
            // The readers there are leave first; new ones wait for the commit.
            EnsureExclusive();
            // The old bytes of the pages to overwrite go to the journal (with its header,
            // which records the original length) before anything reaches the file; then the
            // appended bytes (nothing refers to them before the overwrites); then the
            // overwrites.
            JournalCopies();
            FlushTail();
            WriteCopies();
            if (disk_) {
                if (!txn_.implicit && syncCommit_) disk_->Flush();
                // The commit point: without its journal the transaction cannot be undone.
                if (txn_.journalFile) RemoveJournalFile();
            }
        }
        lastCommitCommitted_ = true;
    } catch (...) {
        AbandonTransaction();
        throw;
    }
    const bool durable = !txn_.implicit && syncCommit_;
    EndTransaction();
    // Past the commit point: a failure here reports that the commit may not survive a
    // power cut, and undoes nothing.
    if (durable) SyncRemovedJournal();
}

void TTarnDBFileIO::RollbackTransaction() {
    if (!txn_.active) throw EDatabaseError("No transaction is active");
    try {
        UndoTransaction();
    } catch (...) {
        EndTransaction();
        throw;
    }
    EndTransaction();
}

void TTarnDBFileIO::UndoTransaction() {
    if (!txn_.writing) return;
    txn_.tailChunks.clear();
    txn_.tailLength = 0;
    for (int64_t p : txn_.dirty) txn_.copies[static_cast<size_t>(p)].reset();
    txn_.dirty.clear();
    txn_.copyBytes = 0;
    if (memory_) {
        journal::Contents c = journal::Decode(txn_.journalMemory);
        for (const journal::SavedPage& page : c.pages)
            WriteStored(page.offset, page.bytes.data(), page.bytes.size());
        if (memory_->Size() != txn_.originalLength) memory_->SetSize(txn_.originalLength);
        return;
    }
    if (!disk_) return;
    if (txn_.journalFile) {
        std::vector<uint8_t> bytes(static_cast<size_t>(txn_.journalSize));
        if (txn_.journalFile->ReadAt(0, bytes.data(), bytes.size()) != bytes.size())
            throw EDatabaseError(
                Format("The journal of '%s' could not be read back", fileName_.c_str()));
        PlayBack(journal::Decode(bytes), !txn_.implicit && syncCommit_);
    }
    // Without EXCLUSIVE nothing of the transaction reached the file, and under its RESERVED
    // nobody else may have grown it: the cut then changes nothing.
    disk_->Truncate(txn_.originalLength);
    if (txn_.journalFile) {
        if (!txn_.implicit && syncCommit_) disk_->Flush();
        RemoveJournalFile();
        if (!txn_.implicit && syncCommit_) SyncRemovedJournal();
    }
}

void TTarnDBFileIO::PlayBack(const journal::Contents& c, bool durable) {
    // Page 0, which holds the stamp, goes back last (journal.h): a file that shows its old
    // stamp again has all its other pages back. Where the old stamp was 0 (nothing tells
    // this journal's file from another then but its bytes), the others are made durable
    // first.
    const journal::SavedPage* first = nullptr;
    for (const journal::SavedPage& page : c.pages) {
        if (page.offset == 0 && first == nullptr) {
            first = &page;
            continue;
        }
        if (page.offset == 0) continue;  // only the first record of a page is the original
        disk_->WriteAt(page.offset, page.bytes.data(), page.bytes.size());
    }
    if (first == nullptr) return;
    if (durable && c.header.version != journal::kOldVersion && c.header.previousStamp == 0)
        disk_->Flush();
    disk_->WriteAt(0, first->bytes.data(), first->bytes.size());
}

void TTarnDBFileIO::RemoveJournalFile() {
    // Kept open until it is gone: a removal that fails leaves the undo its saved pages.
    CurrentEnv()->RemoveFile(JournalPath());
    txn_.journalFile.reset();
    // A journal that came back after a power cut would undo the transaction and whatever was
    // written after it: its removal is made durable by SyncRemovedJournal, at the latest by
    // the next flush.
    journalRemovalOwed_ = true;
}

void TTarnDBFileIO::SyncRemovedJournal() {
    if (!journalRemovalOwed_.exchange(false)) return;
    try {
        CurrentEnv()->SyncDirectoryOf(JournalPath());
    } catch (...) {
        journalRemovalOwed_ = true;
        throw;
    }
}

void TTarnDBFileIO::AbandonTransaction() {
    // When undoing fails the journal stays, and the next open rolls it back.
    try {
        UndoTransaction();
    } catch (...) {
    }
    EndTransaction();
}

void TTarnDBFileIO::EndTransaction() {
    bool held = txn_.writing;
    txn_ = Transaction{};
    if (held) ReleaseFileLock();
    SettleLocks();  // the transaction's RESERVED (and EXCLUSIVE) go
}

namespace {
// The folder that holds `path`, for messages.
std::string FolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}
}  // namespace

std::unique_ptr<File> TTarnDBFileIO::CreateJournalFile() {
    Env* env = CurrentEnv();
    const std::string& path = JournalPath();
    // One left over (a torn one the lock's check could not remove) is replaced.
    if (env->FileExists(path)) env->RemoveFile(path);
    try {
        return env->CreateFile(path, OpenSharing::Everybody);
    } catch (const EFOpenError& e) {
        std::string why;
        const std::string kind = NotARegularFile(path);
        if (!env->DirectoryWritable(path))
            why = Format(
                "the folder '%s' must be writable by this user to change the database; "
                "give write permission on it and try again",
                FolderOf(path).c_str());
        else if (!kind.empty() &&
                 kind != std::make_error_code(std::errc::no_such_file_or_directory).message())
            why = Format(
                "that name is taken by something that is not a journal (%s); move it "
                "away and try again",
                kind.c_str());
        else
            why = e.Message();
        throw EFOpenError(Format("Cannot create the journal '%s' of database file '%s': %s",
                                 path.c_str(), fileName_.c_str(), why.c_str()));
    }
}

std::string TTarnDBFileIO::JournalMismatch(const journal::Contents& c) {
    File& file = disk_->PlatformFile();
    return journal::Mismatch(c, file.Size(), [&](int64_t offset, size_t count, uint8_t* out) {
        if (file.ReadAt(offset, out, count) != count)
            Damaged(Format("short read of %zu bytes at offset %lld", count,
                           static_cast<long long>(offset)));
    });
}

void TTarnDBFileIO::RecoverJournal() {
    Env* env = CurrentEnv();
    const std::string path = JournalPath();
    std::vector<uint8_t> bytes;
    {
        std::unique_ptr<File> file =
            env->OpenFile(path, OpenAccess::ReadOnly, OpenSharing::Everybody);
        int64_t size = file->Size();
        // Nothing larger than the whole file in pages and their record overhead is a journal.
        if (size > 0 && size <= 2 * static_cast<int64_t>(INT32_MAX)) {
            bytes.resize(static_cast<size_t>(size));
            bytes.resize(file->ReadAt(0, bytes.data(), bytes.size()));
        }
    }
    journal::Contents c = journal::Decode(bytes);
    // A journal that is not this file's is never played in, and stays for the user: it may
    // be the only way back for the file it was made for.
    if (c.newer)
        throw EDatabaseError(
            Format("Journal '%s' of database file '%s' cannot be played back: "
                   "%s; it was left in place and nothing was changed",
                   path.c_str(), fileName_.c_str(), c.why.c_str()));
    if (c.valid) {
        std::string mismatch = JournalMismatch(c);
        if (!mismatch.empty())
            throw EDatabaseError(
                Format("Journal '%s' does not belong to database file '%s' (%s); it was left in "
                       "place and nothing was changed: move it away if the database is correct",
                       path.c_str(), fileName_.c_str(), mismatch.c_str()));
    }
    if (readOnly_) {
        if (!c.valid) return;  // torn: nothing to undo, and no right to remove it
        throw EDatabaseError(
            Format("Database file '%s' has an unfinished transaction in '%s'; open it for "
                   "writing to roll it back",
                   fileName_.c_str(), path.c_str()));
    }
    if (c.valid) {
        PlayBack(c, true);
        disk_->Truncate(c.header.originalLength);
        disk_->Flush();
    }
    try {
        env->RemoveFile(path);
    } catch (const EInOutError& e) {
        if (env->DirectoryWritable(path)) throw;
        throw EInOutError(Format(
            "The journal '%s' of database file '%s' %s, but it cannot be removed (%s): the "
            "folder '%s' must be writable by this user; give write permission on it (or have "
            "its owner remove the journal, which is no longer needed) and open the database "
            "again",
            path.c_str(), fileName_.c_str(),
            c.valid ? "was rolled back" : "is incomplete and was ignored", e.Message().c_str(),
            FolderOf(path).c_str()));
    }
    journalRemovalOwed_ = true;
    SyncRemovedJournal();  // played back for good: it must not come back
}

}  // namespace tarn

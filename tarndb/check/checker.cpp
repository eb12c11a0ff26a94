// The checker's driver and its first passes: the head, the settings, the table directory
// and the table headers.
#include <algorithm>
#include <cstring>

#include "dataproc/standard_modules.h"
#include "platform/bytes.h"
#include "platform/dataset/names.h"
#include "tarndb/check.h"
#include "tarndb/check/check_internal.h"
#include "tarndb/errors.h"
#include "tarndb/file_io.h"
#include "tarndb/journal.h"

namespace tarn {

namespace check {

using namespace tarn::format;

namespace {
// Record sizes beyond this are damage, whatever the declared sizes say.
constexpr int64_t kMaxRecordSize = 1 << 24;
}  // namespace

void Checker::Problem(const TableInfo* t, int64_t record, std::string text) {
    ++report_.problemCount;
    if (report_.problems.size() >= options_.maxProblems) return;
    TCheckProblem p;
    if (t) {
        p.table = Shown(t->name);
        p.tableNo = t->number;
    }
    p.record = record;
    p.text = std::move(text);
    report_.problems.push_back(std::move(p));
}

void Checker::Advance(int64_t work) {
    workDone_ += work;
    if (options_.progress) options_.progress(std::min(workDone_, workTotal_), workTotal_);
}

std::string Checker::Shown(const std::string& stored) { return "'" + StoredText(stored) + "'"; }

std::string Checker::FieldName(const TableInfo& t, int field) const {
    if (field < 0 || static_cast<size_t>(field) >= t.fields.size())
        return "#" + std::to_string(field);
    return Shown(t.fields[static_cast<size_t>(field)].name);
}

bool Checker::CheckHead() {
    std::array<uint8_t, kHeadSize> head{};
    if (!file_.Read(0, head.size(), head.data())) {
        report_.unreadable =
            "the file is " + std::to_string(file_.Size()) + " bytes long: it is no database file";
        return false;
    }
    if (!HasMagic(head)) {
        report_.unreadable =
            "the file does not start with the magic \"TarnDB\": it is no database file";
        return false;
    }
    switch (CheckVersion(head)) {
        case HeadCheck::Version100:
            report_.unreadable = "Version 1.00 is not compatible";
            return false;
        case HeadCheck::VersionTooHigh:
            report_.unreadable = "Version of database file is too High";
            return false;
        default:
            break;
    }
    if (file_.Size() < kFirstFreeOffset) {
        FileProblem("the file is " + std::to_string(file_.Size()) +
                    " bytes long; its head, settings and table "
                    "directory alone take " +
                    std::to_string(kFirstFreeOffset));
        return false;
    }
    AddExtent({0, kFirstFreeOffset, -1, -1, -1, Kind::FileHead});
    return true;
}

void Checker::CheckSettings() {
    DatabaseInfo info;
    file_.Read(kInfoOffset, info.raw.size(), info.raw.data());
    compressed_ = info.Compressed();
    encrypted_ = info.Encrypted();
    RegisterStandardModules();
    codec_ = std::make_unique<TStoredDataCodec>(nullptr);
    try {
        codec_->SelectModules(compressed_, info.CompressModuleName(), encrypted_,
                              info.EncryptModuleName(), info.EncryptMode());
        codecUsable_ = true;
    } catch (const Exception& e) {
        FileProblem("settings: the block is damaged, or names a module this build does not have (" +
                    MessageText(e.Message()) + "); stored values cannot be decoded");
    }
    if (!encrypted_) return;
    std::string check = info.PasswordCheck();
    if (check.empty()) {
        FileProblem("settings: the database is encrypted but holds no password check");
        return;
    }
    if (!codecUsable_) return;
    std::optional<std::string> password = options_.password ? options_.password() : std::nullopt;
    if (!password) {
        Note(
            "the database is encrypted and no password was given: encrypted values (key order, "
            "autoinc "
            "values, blob contents) were not checked");
        return;
    }
    passwordOk_ = codec_->CheckPassword(*password, check);
    std::fill(password->begin(), password->end(), '\0');
    if (!passwordOk_) report_.unreadable = "wrong password";
}

void Checker::CheckDirectory() {
    TableDirectory dir;
    file_.Read(kDirOffset, dir.raw.size(), dir.raw.data());
    int32_t count = dir.TableCount();
    if (count < 0 || count > kMaxTables) {
        FileProblem("the table directory counts " + std::to_string(count) +
                    " tables; a database holds 0 to " + std::to_string(kMaxTables));
        count = std::clamp(count, 0, kMaxTables);
    }
    for (int t = 0; t < count; ++t) {
        TableInfo info;
        info.number = t;
        info.headerOffset = dir.TableOffset(t);
        if (info.headerOffset < kFirstFreeOffset ||
            !file_.Inside(info.headerOffset, kTableHeaderSize)) {
            FileProblem("table " + std::to_string(t) + ": its header at offset " +
                        std::to_string(info.headerOffset) + " lies " +
                        (info.headerOffset < kFirstFreeOffset ? "inside the file head"
                                                              : "past the end of the file") +
                        "; the table cannot be read");
            continue;
        }
        file_.Read(info.headerOffset, kTableHeaderSize, info.header.raw.data());
        info.name = info.header.TableName();
        AddExtent({info.headerOffset, info.headerOffset + kTableHeaderSize, t, -1, -1,
                   Kind::TableHeader});
        tables_.push_back(std::move(info));
    }
    for (size_t i = 0; i < tables_.size(); ++i) {
        if (tables_[i].name.empty())
            Problem(&tables_[i], -1, "the table has an empty name and cannot be opened");
        for (size_t j = 0; j < i; ++j)
            if (!tables_[i].name.empty() && SameName(tables_[i].name, tables_[j].name)) {
                Problem(&tables_[i], -1,
                        "table " + std::to_string(tables_[j].number) +
                            " has the same name: this one "
                            "cannot be opened by name");
                break;
            }
    }
}

void Checker::CheckTableHeader(TableInfo& t) {
    const TableHeader& h = t.header;
    int32_t fieldCount = h.FieldCount();
    int32_t indexCount = h.IndexCount();
    if (fieldCount < 0 || fieldCount > kMaxFields) {
        Problem(&t, -1,
                "the header counts " + std::to_string(fieldCount) + " fields; a table holds 0 to " +
                    std::to_string(kMaxFields) + "; its records cannot be read");
        return;
    }
    bool layoutOk = true;
    int64_t offset = 0;
    for (int i = 0; i < fieldCount; ++i) {
        FieldEntry f = h.Field(i);
        t.fields.push_back(f);
        std::string name = Shown(f.name);
        if (f.name.empty()) Problem(&t, -1, "field " + std::to_string(i) + " has an empty name");
        for (int j = 0; j < i; ++j)
            if (!f.name.empty() && SameName(t.fields[static_cast<size_t>(j)].name, f.name)) {
                Problem(&t, -1,
                        "fields " + std::to_string(j) + " and " + std::to_string(i) +
                            " are both named " + name);
                break;
            }
        int32_t slot = 0;
        if (SlotSize(f.type, 0) != 0 && IsStringType(f.type) &&
            (f.size < 0 || f.size >= kMaxRecordSize)) {
            Problem(&t, -1, "field " + name + " declares the size " + std::to_string(f.size));
            layoutOk = false;
        } else {
            slot = SlotSize(f.type, f.size);
            if (slot == 0) {
                Problem(&t, -1,
                        "field " + name + " has the type code " + std::to_string(f.type) +
                            ", which records cannot hold: the table cannot be opened (\"General "
                            "error\")");
                layoutOk = false;
            }
        }
        t.slotOffsets.push_back(static_cast<int32_t>(std::min<int64_t>(offset, INT32_MAX)));
        t.slotSizes.push_back(slot);
        offset += slot;
    }
    if (layoutOk && offset > kMaxRecordSize) {
        Problem(&t, -1, "its records would be " + std::to_string(offset) + " bytes long");
        layoutOk = false;
    }
    t.layoutKnown = layoutOk;
    t.recordSize = offset;

    if (indexCount < 0 || indexCount > kMaxIndexes) {
        Problem(&t, -1,
                "the header counts " + std::to_string(indexCount) +
                    " indexes; a table holds 0 to " + std::to_string(kMaxIndexes));
        indexCount = 0;
    }
    for (int i = 0; i < indexCount; ++i) {
        IndexEntry x = h.Index(i);
        std::string name = Shown(x.name);
        bool usable = true;
        if (x.name.empty()) Problem(&t, -1, "index " + std::to_string(i) + " has an empty name");
        for (size_t j = 0; j < t.indexes.size(); ++j)
            if (!x.name.empty() && SameName(t.indexes[j].name, x.name)) {
                Problem(&t, -1,
                        "indexes " + std::to_string(j) + " and " + std::to_string(i) +
                            " are both named " + name);
                break;
            }
        if (x.keyFields.empty()) {
            Problem(&t, -1, "index " + name + " has no key fields");
            usable = false;
        }
        for (int32_t k : x.keyFields)
            if (k < 0 || k >= fieldCount) {
                Problem(&t, -1,
                        "index " + name + " names field number " + std::to_string(k) +
                            ", which does not exist");
                usable = false;
            }
        t.indexes.push_back(std::move(x));
        t.indexUsable.push_back(usable);
    }
}

bool Checker::ReadRecord(const TableInfo& t, int32_t k, std::vector<uint8_t>& data) {
    if (k < 0 || k >= t.readable || !t.dataInside[static_cast<size_t>(k)]) return false;
    data.resize(static_cast<size_t>(t.recordSize));
    return file_.Read(t.items[static_cast<size_t>(k)].dataOffset, data.size(), data.data());
}

std::vector<uint8_t> Checker::SlotValue(const TableInfo& t, const std::vector<uint8_t>& data,
                                        int field) {
    size_t f = static_cast<size_t>(field);
    const uint8_t* slot = data.data() + t.slotOffsets[f];
    std::vector<uint8_t> value(slot, slot + t.slotSizes[f]);
    if (encrypted_ && !t.fields[f].storePlain)
        codec_->DecodeStoredBuffer(slot, value.data(), true, static_cast<int32_t>(value.size()));
    return value;
}

bool Checker::BlobValue(const TableInfo& t, const std::vector<uint8_t>& data, int field,
                        std::string& value, std::string& error) {
    size_t f = static_cast<size_t>(field);
    std::span<const uint8_t> desc(data.data() + t.slotOffsets[f], kBlobDescriptorSize);
    const TBlobDescriptor d = TBlobDescriptor::Decode(desc);
    int32_t offset = d.offset;
    int32_t length = d.length;
    TMemoryStream stored;
    stored.SetSize(std::max(length, 0));
    if (length < 0 || !file_.Read(offset, static_cast<size_t>(length), stored.Memory())) {
        error = "its stored bytes lie outside the file";
        return false;
    }
    bool plain = t.fields[f].storePlain;
    TMemoryStream decoded;
    try {
        codec_->DecodeStoredStream(stored, decoded, compressed_ && !plain, encrypted_ && !plain);
    } catch (const Exception& e) {
        error = MessageText(e.Message());
        return false;
    }
    value = decoded.Bytes();
    return true;
}

void Checker::Run() {
    if (!CheckHead()) return;
    CheckSettings();
    if (!report_.unreadable.empty()) return;
    CheckDirectory();
    for (TableInfo& t : tables_) {
        CheckTableHeader(t);
        int32_t n = t.header.RecordTotal();
        if (n > 0)
            workTotal_ += static_cast<int64_t>(n) * (1 + static_cast<int64_t>(t.indexes.size()));
    }
    report_.tables = static_cast<int>(tables_.size());
    for (TableInfo& t : tables_) {
        CheckRecords(t);
        CheckIndexes(t);
        report_.indexes += static_cast<int>(t.indexes.size());
    }
    CheckOverlaps();
}

}  // namespace check

namespace check {
namespace {

std::string Bytes(int64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

// Plays a journal beside `path` back, as an open for writing does. Returns what was done
// ("" when there was no journal); raises what the open raises.
std::string RecoverJournal(const std::string& path) {
    const std::string journalPath = journal::JournalPath(path);
    if (!CurrentEnv()->FileExists(journalPath)) return "";
    TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
    io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    io.CloseStorage();
    return "'" + journalPath + "' was played back and removed before the check";
}

// Looks at the journal beside the file (under the file's lock, when it was had): says in
// the report what the next open will do with it and, for one it will play back, lays it
// over the file so that the check sees what that open will leave.
void LookAtJournal(const std::string& path, TCheckFile& file, TCheckReport& report) {
    Env* env = CurrentEnv();
    const std::string journalPath = journal::JournalPath(path);
    if (!env->FileExists(journalPath)) return;
    const std::string named = "'" + journalPath + "'";
    std::vector<uint8_t> bytes;
    try {
        std::unique_ptr<File> f =
            env->OpenFile(journalPath, OpenAccess::ReadOnly, OpenSharing::Everybody);
        int64_t size = f->Size();
        // Nothing larger than the whole file in pages and their record overhead is a
        // journal; the next open reads no more of it either.
        if (size > 0 && size <= 2 * static_cast<int64_t>(INT32_MAX)) {
            bytes.resize(static_cast<size_t>(size));
            bytes.resize(f->ReadAt(0, bytes.data(), bytes.size()));
        }
    } catch (const Exception& e) {
        report.journal = named + " is there but cannot be read (" + MessageText(e.Message()) +
                         "): the next open will fail on it as well; the file was checked as it is";
        return;
    }
    journal::Contents c = journal::Decode(bytes);
    if (c.newer) {
        report.journal = named + " cannot be played back: " + c.why +
                         "; the next open will refuse the file and leave the journal; the file "
                         "was checked as it is";
        return;
    }
    if (!c.valid) {
        report.journal = named + " is incomplete (" + c.why +
                         ") and will be discarded by the next open: the transaction it began "
                         "never changed the file";
        return;
    }
    // The same test as the open's: a journal it refuses changes nothing.
    const int64_t length = c.header.originalLength;
    bool readable = true;
    std::string mismatch =
        journal::Mismatch(c, file.DiskSize(), [&](int64_t offset, size_t count, uint8_t* out) {
            if (!file.ReadDisk(offset, count, out)) {
                readable = false;
                std::memset(out, 0, count);
            }
        });
    if (!readable) mismatch = "the file could not be read where the journal's checks look";
    if (!mismatch.empty()) {
        report.journal = named + " does not belong to this file (" + mismatch +
                         "): the next open will refuse the file and leave the journal; the "
                         "file was checked as it is";
        return;
    }
    const size_t pages = c.pages.size();
    report.journal = named + " holds an unfinished transaction: the next open will roll back " +
                     std::to_string(pages) + (pages == 1 ? " page" : " pages") +
                     " and cut the file to " + Bytes(length) + " (it has " +
                     Bytes(file.DiskSize()) + " now); the file was checked as that will leave it";
    report.journalPlayedOver = true;
    file.LayOver(c);
}

}  // namespace
}  // namespace check

TCheckReport CheckDatabaseFile(const std::string& path, const TCheckOptions& options) {
    using check::MessageText;
    using check::TCheckFile;
    TCheckReport report;
    report.unreadable = NotARegularFile(path);
    if (!report.unreadable.empty()) return report;
    if (options.recover) {
        try {
            report.journal = check::RecoverJournal(path);
        } catch (const Exception& e) {
            report.unreadable = MessageText(e.Message());
            return report;
        }
    }
    std::unique_ptr<TCheckFile> file;
    try {
        file = std::make_unique<TCheckFile>(path);
    } catch (const Exception& e) {
        report.unreadable = MessageText(e.Message());
        return report;
    }
    if (!file->Lock())
        report.notes.push_back(
            "another process held the database's file lock for 2 seconds; the file was checked "
            "without it and may show that process's work half done");
    check::LookAtJournal(path, *file, report);
    check::Checker checker(*file, options, report);
    try {
        checker.Run();
    } catch (const std::exception& e) {
        // Every read is bounds-checked, so this is a fault of the checker itself; the
        // report still shows what was found before it.
        report.problems.push_back(
            {"", -1, -1, std::string("the check stopped early: ") + e.what()});
        ++report.problemCount;
    }
    if (file->CutTo() >= 0) {
        report.problems.push_back(
            {"", -1, -1,
             "the file shrank from " + check::Bytes(file->DiskSize()) + " to " +
                 check::Bytes(file->CutTo()) +
                 " while it was checked (another program cut it): what lay past its new end "
                 "could not be read, and the report may miss problems there"});
        ++report.problemCount;
    }
    return report;
}

}  // namespace tarn

#include "tarndb/compact.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/bytes.h"
#include "platform/os/env.h"
#include "tarndb/blob_stream.h"
#include "tarndb/check.h"
#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/errors.h"
#include "tarndb/field_buffers.h"
#include "tarndb/file_format.h"
#include "tarndb/file_io.h"
#include "tarndb/table_io.h"

namespace tarn {

namespace {

namespace fs = std::filesystem;

std::string UniqueDatabaseName(const char* what) {
    static std::atomic<int> counter{0};
    return std::string("compact-") + what + "-" + std::to_string(::getpid()) + "-" +
           std::to_string(++counter);
}

// One record of a loaded table: each field's slot bytes, a blob stream per blob field,
// read from the source table and appended to the copy through the same field buffers (a
// blob stream loads its value from the source file when the copy asks for it).
class TRecordCopy {
public:
    explicit TRecordCopy(TTarnTableIO& source) {
        std::vector<size_t> offsets;
        size_t size = 0;
        for (int i = 0; i < source.FieldCount(); ++i) {
            offsets.push_back(size);
            if (!IsBlobType(source.FieldDefs()[i].FieldType))
                size += static_cast<size_t>(source.SlotSize(i));
        }
        bytes_.assign(size, 0);
        for (int i = 0; i < source.FieldCount(); ++i) {
            TFieldType type = source.FieldDefs()[i].FieldType;
            if (IsBlobType(type)) {
                blobs_.push_back(std::make_unique<TOptimBlobStream>(
                    [&source]() -> TTarnDBFileIO& { return source.File(); }));
                blobFields_.push_back(i);
                buffers_.AddBlob(blobs_.back().get(), type);
            } else {
                buffers_.Add(bytes_.data() + offsets[static_cast<size_t>(i)], type,
                             source.SlotSize(i));
            }
        }
    }
    TFieldBuffers& Buffers() { return buffers_; }
    // Reads and decodes every blob value of the record fetched last, one field at a time;
    // `field` tells which field is being read, so that an error can name it.
    void LoadBlobs(int& field) {
        for (size_t b = 0; b < blobs_.size(); ++b) {
            field = blobFields_[b];
            blobs_[b]->EnsureLoaded();
        }
        field = -1;
    }

private:
    std::vector<uint8_t> bytes_;
    std::vector<std::unique_ptr<TOptimBlobStream>> blobs_;
    std::vector<int> blobFields_;
    TFieldBuffers buffers_;
};

// A database object on `path`, connected in the given sharing mode, with the password.
std::unique_ptr<TTarnDatabase> Connect(const std::string& path, bool exclusive,
                                       const std::string& password, const char* what,
                                       bool readOnly = false) {
    auto db = std::make_unique<TTarnDatabase>(nullptr, "");
    db->SetDatabaseName(UniqueDatabaseName(what));
    db->SetFileName(path);
    db->SetExclusive(exclusive);
    db->SetReadOnly(readOnly);
    if (!password.empty()) db->SupplyPassword(password);
    db->Open();
    return db;
}

// Writes `value` as the table's autoinc counter in the header of table `tableNo` of a file
// nobody else has open.
void WriteAutoIncCounter(TTarnDBFileIO& io, int tableNo, int32_t value) {
    FileLockGuard lock(io);
    format::TableDirectory dir;
    io.ReadAt(format::kDirOffset, dir.raw.size(), dir.raw.data());
    int64_t header = dir.TableOffset(tableNo);
    uint8_t bytes[4];
    bytes::PutI32(std::span<uint8_t>(bytes, 4), 0, value);
    io.WriteAt(header + static_cast<int64_t>(format::kHdrAutoIncCounter), bytes, sizeof bytes);
}

// The compacted file is written beside its target as ".NAME.compact-<pid>" and renamed onto
// the target at the end. A compact that was killed leaves its temporary file behind; the
// next compact of the same target removes every such file whose process is gone and that
// nobody holds open (a running compact holds its temporary file open from its creation to
// its rename).
std::string TemporaryPrefix(const fs::path& target) {
    return "." + target.filename().string() + ".compact-";
}

bool ProcessGone(const std::string& pid) {
    std::error_code ec;
    // Without /proc nothing can be said: the open test below decides alone.
    if (!fs::exists("/proc/self", ec)) return true;
    return !fs::exists(fs::path("/proc") / pid, ec);
}

void RemoveLeftTemporaries(const fs::path& target) {
    Env* env = CurrentEnv();
    const std::string prefix = TemporaryPrefix(target);
    const std::string ours = std::to_string(::getpid());
    fs::path folder = target.parent_path();
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string pid = name.substr(prefix.size());
        if (pid == ours || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code kind;
        if (!fs::is_regular_file(fs::symlink_status(it->path(), kind))) continue;
        if (!ProcessGone(pid)) continue;
        try {
            // Nobody else may have it open (the exclusive open fails otherwise).
            env->OpenFile(it->path().string(), OpenAccess::ReadWrite, OpenSharing::Exclusive);
        } catch (const Exception&) {
            continue;
        }
        std::error_code removed;
        fs::remove(it->path(), removed);
    }
}

// The system's text of a platform error ("Cannot open file "x". No such file or directory"
// gives "No such file or directory").
std::string Cause(const Exception& e) {
    const std::string& m = e.Message();
    size_t at = m.rfind("\". ");
    return at == std::string::npos ? m : m.substr(at + 3);
}

// Gives the new file the owner, group and permissions of the database it replaces. Raises
// EInOutError when the owner or group cannot be kept: the database's owner would lose it.
void KeepOwner(const std::string& database, const std::string& temp, const std::string& shown) {
    struct stat was {};
    if (::stat(database.c_str(), &was) != 0) return;  // the rename reports what is wrong
    struct stat now {};
    if (::stat(temp.c_str(), &now) != 0) return;
    if (now.st_uid == was.st_uid && now.st_gid == was.st_gid) return;
    if (::chown(temp.c_str(), was.st_uid, was.st_gid) == 0) return;
    const int err = errno;
    throw EInOutError(Format(
        "Cannot compact database file '%s' in place: the compacted file cannot be given the "
        "database's owner and group (user %u, group %u) (%s), so its owner could lose access "
        "to it; compact it as its owner (or as root), or write the result elsewhere with an "
        "output file",
        shown.c_str(), static_cast<unsigned>(was.st_uid), static_cast<unsigned>(was.st_gid),
        std::strerror(err)));
}

// Removes the temporary file unless it was put in place.
class TTemporaryFile {
public:
    explicit TTemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TTemporaryFile() {
        held_.reset();
        if (path_.empty()) return;
        std::error_code ec;
        fs::remove(path_, ec);
    }
    const std::string& Path() const { return path_; }
    // Holds the file open (shared) so that another compact does not take it for one left
    // by a killed run.
    void Hold() {
        held_ = CurrentEnv()->OpenFile(path_, OpenAccess::ReadOnly, OpenSharing::Shared);
    }
    void Release() { held_.reset(); }
    void Kept() { path_.clear(); }

private:
    std::string path_;
    std::unique_ptr<File> held_;
};

// The place of a record, or of one of its fields, for messages: "table 'T', record R" and
// ", field 'F'".
std::string Place(const std::string& table, int32_t record, TTarnTableIO& t, int field) {
    std::string s = "table '" + table + "'";
    if (record >= 0) s += ", record " + std::to_string(record);
    if (field >= 0) s += ", field '" + t.FieldDefs()[field].Name() + "'";
    return s;
}

}  // namespace

TCompactResult CompactDatabase(const std::string& path, const TCompactOptions& options) {
    Env* env = CurrentEnv();
    TCompactResult result;
    const bool replace = options.output.empty();
    result.output = replace ? path : options.output;
    std::error_code ec;
    if (!replace &&
        (env->FileExists(options.output) ||
         fs::symlink_status(fs::path(options.output), ec).type() != fs::file_type::not_found))
        throw EDatabaseError(options.output + " exists already; compact writes new files only");

    // A database opened through a symbolic link is compacted where it lies: the link stays
    // and points at the compacted file.
    std::string real = path;
    if (replace) {
        fs::path resolved = fs::canonical(fs::path(path), ec);
        if (!ec) real = resolved.string();
    }

    // A plain open first: a missing file, one that is no database, a version refused are
    // reported as such. Then the exclusive open, which only another open can refuse. With
    // an output file the database is only read: it is opened for reading only, so that
    // nothing is written to it (also not what an open for writing would repair).
    Connect(path, false, "", "probe", !replace)->Close();
    std::unique_ptr<TTarnDatabase> source;
    try {
        source = Connect(path, true, options.password, "source", !replace);
    } catch (const EFOpenError&) {
        throw EDatabaseError("Database file '" + path +
                             "' is in use: another program or connection has it open; "
                             "compacting needs it to itself");
    }
    TTarnDBFileIO& in = *source->FileIO();
    const format::DatabaseInfo& info = in.Info();
    if (info.Encrypted() && !source->CanAccess()) throw EDatabaseError("Access denied");
    result.sizeBefore = in.FileSize();

    TDatabaseSettings settings;
    settings.compressed = info.Compressed();
    if (settings.compressed) settings.compressModule = info.CompressModuleName();
    settings.encrypted = info.Encrypted();
    if (settings.encrypted) {
        settings.encryptModule = info.EncryptModuleName();
        settings.encryptMode = info.EncryptMode();
        settings.password = options.password;
    }
    settings.verifyBlobWrites = info.VerifyBlobWrites();

    // The new file goes beside its target, so that the rename stays on one file system.
    const fs::path target = fs::path(replace ? real : options.output);
    const fs::path folder = target.parent_path();
    if (!fs::is_directory(folder.empty() ? fs::path(".") : folder, ec))
        throw EInOutError("Cannot write the compacted file '" + result.output + "': the folder '" +
                          folder.string() + "' does not exist");
    // Only one compact of a target runs at a time (the database is held exclusively), so
    // what is left of earlier ones is theirs to lose.
    RemoveLeftTemporaries(target);
    TTemporaryFile temp((folder / (TemporaryPrefix(target) + std::to_string(::getpid()))).string());
    try {
        TTarnDBCreator::CreateDatabase(temp.Path(), settings);
        temp.Hold();
    } catch (const EFOpenError& e) {
        throw EInOutError("Cannot write the compacted file '" + result.output + "': " + Cause(e));
    }
    std::fill(settings.password.begin(), settings.password.end(), '\0');
    if (replace) KeepOwner(real, temp.Path(), path);

    std::vector<std::string> names;
    source->ListTableNames(names);
    std::vector<TTarnTableIO*> tables;
    int64_t total = 0;
    struct Release {
        std::vector<TTarnTableIO*>& t;
        ~Release() {
            for (TTarnTableIO* x : t) x->ReleaseTable();
        }
    } release{tables};
    for (const std::string& name : names) {
        TTarnTableIO* t = nullptr;
        try {
            t = source->FindTableStorage(name);
            if (t == nullptr) throw EDatabaseError("Table '" + name + "' not found");
            t->AcquireTable();
        } catch (const Exception& e) {
            // A table whose header cannot be read.
            if (dynamic_cast<const EInOutError*>(&e)) throw;
            throw EDatabaseError("table '" + name + "': " + DescribeReadFailure(e));
        }
        tables.push_back(t);
        total += t->RecordList(0).Count();
        std::vector<TFieldDefinition> fields;
        for (int i = 0; i < t->FieldCount(); ++i) {
            const TTarnFieldDef& f = t->FieldDefs()[i];
            fields.push_back({f.Name(), f.FieldType, f.Size, f.StorePlain});
        }
        std::vector<TIndexDefinition> indexes;
        for (int i = 0; i < t->IndexCount(); ++i) {
            const TTarnIndexDef& x = t->IndexDefs()[i];
            TIndexDefinition definition{x.Name(), x.Options, {}};
            for (int32_t k : x.KeyFields) definition.keyFields.push_back(t->FieldDefs()[k].Name());
            indexes.push_back(std::move(definition));
        }
        TTarnDBCreator::AddTable(temp.Path(), name, fields, indexes);
    }

    {
        std::unique_ptr<TTarnDatabase> copy = Connect(temp.Path(), false, options.password, "copy");
        int64_t done = 0;
        for (size_t n = 0; n < tables.size(); ++n) {
            TTarnTableIO& from = *tables[n];
            TTarnTableIO* to = copy->FindTableStorage(names[n]);
            if (to == nullptr) throw EDatabaseError("Table '" + names[n] + "' not found");
            to->AcquireTable();
            try {
                TRecordCopy record(from);
                // Physical order: the copy lists its records as the database did, and
                // each keeps its autoinc value.
                for (int p = 0; p < from.RecordList(0).Count(); ++p) {
                    const int32_t recNo = from.RecordList(0).At(p).recNo;
                    int field = -1;
                    // What cannot be read from the database is damage there, named by
                    // table, record and field as `check` and `dump` name it.
                    try {
                        from.FetchRecord(record.Buffers(), 0, p);
                        record.LoadBlobs(field);
                    } catch (const std::exception& e) {
                        if (dynamic_cast<const EInOutError*>(&e)) throw;
                        throw EDatabaseError(Place(names[n], recNo, from, field) + ": " +
                                             DescribeReadFailure(e));
                    }
                    try {
                        to->AddRecord(record.Buffers(), false, nullptr);
                    } catch (const EInOutError& e) {
                        throw EInOutError("Cannot write the compacted file '" + result.output +
                                          "': " + e.Message());
                    } catch (const Exception& e) {
                        // The new file took every record of a sound database: a record it
                        // refuses (a key its unique index holds already) is damage of the
                        // database, whose index let two such records in.
                        throw EDatabaseError(Place(names[n], recNo, from, -1) +
                                             ": the file is damaged: this record cannot be "
                                             "copied (" +
                                             e.Message() + ")");
                    }
                    if (options.progress) options.progress(++done, total);
                }
            } catch (...) {
                to->ReleaseTable();
                throw;
            }
            int32_t counter = from.Header().AutoIncCounter();
            bool raise = from.AutoIncField() >= 0 && counter > to->Header().AutoIncCounter();
            int tableNo = to->TableNo();
            to->ReleaseTable();
            if (raise) WriteAutoIncCounter(*copy->FileIO(), tableNo, counter);
        }
        copy->Flush();
        result.sizeAfter = copy->FileIO()->FileSize();
        copy->Close();
    }

    // The permissions of the database (an output file takes them too: a copy of a private
    // database must not be readable by everybody).
    const fs::file_status was = fs::status(fs::path(path), ec);
    if (!ec) {
        fs::permissions(temp.Path(), was.permissions() & fs::perms::mask, fs::perm_options::replace,
                        ec);
        if (ec)
            throw EInOutError("Cannot give the compacted file '" + result.output +
                              "' the permissions of the database: " + ec.message());
    }

    // The source stays open, exclusively, until the copy has its name: nobody writes to
    // the old file meanwhile.
    temp.Release();
    fs::rename(temp.Path(), target, ec);
    if (ec)
        throw EInOutError("Cannot put the compacted file in place as '" + result.output +
                          "': " + ec.message());
    temp.Kept();
    // The new name is durable before we report success: after a power cut the name holds
    // the whole compacted file (synced by its close) or the old one.
    env->SyncDirectoryOf(target.string());
    for (TTarnTableIO* t : tables) t->ReleaseTable();
    tables.clear();
    source->Close();
    return result;
}

}  // namespace tarn

#include "tarndb/compact.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/bytes.h"
#include "platform/os/env.h"
#include "tarndb/blob_stream.h"
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
                buffers_.AddBlob(blobs_.back().get(), type);
            } else {
                buffers_.Add(bytes_.data() + offsets[static_cast<size_t>(i)], type,
                             source.SlotSize(i));
            }
        }
    }
    TFieldBuffers& Buffers() { return buffers_; }

private:
    std::vector<uint8_t> bytes_;
    std::vector<std::unique_ptr<TOptimBlobStream>> blobs_;
    TFieldBuffers buffers_;
};

// A database object on `path`, connected in the given sharing mode, with the password.
std::unique_ptr<TTarnDatabase> Connect(const std::string& path, bool exclusive,
                                       const std::string& password, const char* what) {
    auto db = std::make_unique<TTarnDatabase>(nullptr, "");
    db->SetDatabaseName(UniqueDatabaseName(what));
    db->SetFileName(path);
    db->SetExclusive(exclusive);
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

// Removes the temporary file unless it was put in place.
class TTemporaryFile {
public:
    explicit TTemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TTemporaryFile() {
        if (path_.empty()) return;
        std::error_code ec;
        fs::remove(path_, ec);
    }
    const std::string& Path() const { return path_; }
    void Kept() { path_.clear(); }

private:
    std::string path_;
};

}  // namespace

TCompactResult CompactDatabase(const std::string& path, const TCompactOptions& options) {
    Env* env = CurrentEnv();
    TCompactResult result;
    const bool replace = options.output.empty();
    result.output = replace ? path : options.output;
    if (!replace && (env->FileExists(options.output) || fs::exists(fs::path(options.output))))
        throw EDatabaseError(options.output + " exists already; compact writes new files only");

    // A plain open first: a missing file, one that is no database, a version refused are
    // reported as such. Then the exclusive open, which only another open can refuse.
    Connect(path, false, "", "probe")->Close();
    std::unique_ptr<TTarnDatabase> source;
    try {
        source = Connect(path, true, options.password, "source");
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
    fs::path target = fs::path(result.output);
    fs::path folder = target.parent_path();
    std::string tempName =
        "." + target.filename().string() + ".compact-" + std::to_string(::getpid());
    TTemporaryFile temp((folder / tempName).string());
    TTarnDBCreator::CreateDatabase(temp.Path(), settings);
    std::fill(settings.password.begin(), settings.password.end(), '\0');

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
        TTarnTableIO* t = source->FindTableStorage(name);
        if (t == nullptr) throw EDatabaseError("Table '" + name + "' not found");
        t->AcquireTable();
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
        std::unique_ptr<TTarnDatabase> copy = Connect(temp.Path(), true, options.password, "copy");
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
                    from.FetchRecord(record.Buffers(), 0, p);
                    to->AddRecord(record.Buffers(), false, nullptr);
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

    // The source stays open, exclusively, until the copy has its name: nobody writes to
    // the old file meanwhile.
    std::error_code ec;
    fs::rename(temp.Path(), result.output, ec);
    if (ec)
        throw EInOutError("Cannot put the compacted file " + temp.Path() + " in place as " +
                          result.output + ": " + ec.message());
    temp.Kept();
    // The new name is durable before we report success: after a power cut the name holds
    // the whole compacted file (synced by its close) or the old one.
    env->SyncDirectoryOf(result.output);
    for (TTarnTableIO* t : tables) t->ReleaseTable();
    tables.clear();
    source->Close();
    return result;
}

}  // namespace tarn

#include "tarndb/creator.h"

#include <algorithm>

#include "dataproc/standard_modules.h"
#include "dataproc/stored_codec.h"
#include "platform/dataset/names.h"
#include "platform/os/env.h"
#include "tarndb/errors.h"
#include "tarndb/file_format.h"
#include "tarndb/file_io.h"
#include "tarndb/memory_registry.h"

namespace tarn {

using namespace tarn::format;

namespace {

// Longest string a field may declare; keeps record sizes sane.
constexpr int32_t kMaxStringSize = 65535;
constexpr int64_t kMaxRecordSize = 1 << 24;

void CheckName(const std::string& what, const std::string& name) {
    if (name.empty()) throw EDatabaseError(what + " name is empty");
    if (name.size() > static_cast<size_t>(kNameSize))
        throw EDatabaseError(
            Format("%s name '%s' is longer than %d bytes", what.c_str(), name.c_str(), kNameSize));
}

DatabaseInfo MakeInfo(const TDatabaseSettings& settings) {
    DatabaseInfo info;
    if (settings.compressed) {
        CheckName("Compression module", settings.compressModule);
        info.SetCompressed(true, settings.compressModule);
    }
    if (settings.encrypted) {
        CheckName("Encryption module", settings.encryptModule);
        if (settings.password.empty())
            throw EDatabaseError("An encrypted database needs a password");
        info.SetEncrypted(true, settings.encryptModule, settings.encryptMode,
                          PasswordCheckText(settings.password));
    }
    // Selecting the modules proves that the names are registered and the mode is known.
    RegisterStandardModules();
    TStoredDataCodec codec(nullptr);
    codec.SelectModules(settings.compressed, settings.compressModule, settings.encrypted,
                        settings.encryptModule, settings.encryptMode);
    info.SetVerifyBlobWrites(settings.verifyBlobWrites);
    return info;
}

std::string ImageBytes(const TDatabaseSettings& settings) {
    DatabaseInfo info = MakeInfo(settings);
    std::string image(static_cast<size_t>(kFirstFreeOffset), '\0');
    auto head = MakeHead();
    std::copy(head.begin(), head.end(), image.begin() + kHeadOffset);
    std::copy(info.raw.begin(), info.raw.end(), image.begin() + kInfoOffset);
    // The directory of an empty database is all zero: no tables.
    return image;
}

int FieldNumber(const std::vector<TFieldDefinition>& fields, const std::string& name) {
    for (size_t i = 0; i < fields.size(); ++i)
        if (SameName(fields[i].name, name)) return static_cast<int>(i);
    return -1;
}

TableHeader BuildHeader(const std::string& tableName, const std::vector<TFieldDefinition>& fields,
                        const std::vector<TIndexDefinition>& indexes) {
    CheckName("Table", tableName);
    if (fields.empty())
        throw EDatabaseError(Format("Table '%s' needs at least one field", tableName.c_str()));
    if (fields.size() > static_cast<size_t>(kMaxFields))
        throw EDatabaseError(Format("Table '%s' has %zu fields; a table holds at most %d",
                                    tableName.c_str(), fields.size(), kMaxFields));
    if (indexes.size() > static_cast<size_t>(kMaxIndexes))
        throw EDatabaseError(Format("Table '%s' has %zu indexes; a table holds at most %d",
                                    tableName.c_str(), indexes.size(), kMaxIndexes));
    TableHeader h;
    h.SetTableName(tableName);
    int64_t recordSize = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const TFieldDefinition& f = fields[i];
        CheckName("Field", f.name);
        if (FieldNumber(fields, f.name) != static_cast<int>(i))
            throw EDatabaseError(Format("Field name '%s' appears twice in table '%s'",
                                        f.name.c_str(), tableName.c_str()));
        int32_t size = f.size;
        // Records hold only some types: the others (ftWideString and ftGuid among the
        // string types) are refused whatever their size.
        if (SlotSize(f.type, 0) == 0)
            throw EDatabaseError(Format("Field '%s' has the unsupported type code %d",
                                        f.name.c_str(), static_cast<int>(f.type)));
        if (IsStringType(f.type)) {
            if (size < 1 || size > kMaxStringSize)
                throw EDatabaseError(
                    Format("String field '%s' must have a size from 1 to %d, not %d",
                           f.name.c_str(), kMaxStringSize, size));
        } else {
            size = 0;
        }
        recordSize += SlotSize(f.type, size);
        if (recordSize > kMaxRecordSize)
            throw EDatabaseError(Format("Records of table '%s' would exceed %lld bytes",
                                        tableName.c_str(), static_cast<long long>(kMaxRecordSize)));
        h.SetField(static_cast<int>(i), FieldEntry{f.name, f.type, size, f.storePlain});
    }
    h.SetFieldCount(static_cast<int32_t>(fields.size()));
    for (size_t i = 0; i < indexes.size(); ++i) {
        const TIndexDefinition& x = indexes[i];
        CheckName("Index", x.name);
        for (size_t j = 0; j < i; ++j)
            if (SameName(indexes[j].name, x.name))
                throw EDatabaseError(Format("Index name '%s' appears twice in table '%s'",
                                            x.name.c_str(), tableName.c_str()));
        if (x.keyFields.empty() || x.keyFields.size() > static_cast<size_t>(kMaxKeyFields))
            throw EDatabaseError(
                Format("Index '%s' must have 1 to %d key fields", x.name.c_str(), kMaxKeyFields));
        if (x.options.HasUnknownBits())
            throw EDatabaseError(
                Format("Index '%s' has unknown options %d", x.name.c_str(), x.options.Byte()));
        IndexEntry e;
        e.name = x.name;
        e.options = x.options;
        for (const std::string& key : x.keyFields) {
            int n = FieldNumber(fields, key);
            if (n < 0)
                throw EDatabaseError(
                    Format("Index '%s' names the unknown field '%s'", x.name.c_str(), key.c_str()));
            if (IsBlobType(fields[static_cast<size_t>(n)].type))
                throw EDatabaseError(Format("Index '%s' cannot have the blob field '%s' in its key",
                                            x.name.c_str(), key.c_str()));
            e.keyFields.push_back(n);
        }
        // A new table has never held a record: IndexTabOffset 0 and IndexHead 0.
        h.SetIndex(static_cast<int>(i), e);
    }
    h.SetIndexCount(static_cast<int32_t>(indexes.size()));
    return h;
}

}  // namespace

void TTarnDBCreator::CreateDatabase(const std::string& path, const TDatabaseSettings& settings) {
    std::string image = ImageBytes(settings);  // validates before anything is created
    auto file = CurrentEnv()->CreateFile(path, OpenSharing::Shared);
    file->WriteAt(0, image.data(), image.size());
    file->Sync();
}

std::string TTarnDBCreator::CreateImage(const TDatabaseSettings& settings) {
    return ImageBytes(settings);
}

void TTarnDBCreator::AddTable(const std::string& database, const std::string& tableName,
                              const std::vector<TFieldDefinition>& fields,
                              const std::vector<TIndexDefinition>& indexes) {
    TableHeader header = BuildHeader(tableName, fields, indexes);
    TTarnDBMediumType medium =
        IsMemoryStreamName(database) ? TTarnDBMediumType::mtMemory : TTarnDBMediumType::mtDisk;
    TTarnDBFileIO io(nullptr, medium, false);
    io.OpenStorage(database, medium, false);
    FileLockGuard lock(io);
    io.ReloadDirectory();  // under the lock: another process may have added a table
    std::vector<std::string> names;
    io.ListTableNames(names);
    for (const std::string& n : names)
        if (SameName(n, tableName))
            throw EDatabaseError(Format("Table '%s' already exists", tableName.c_str()));
    int t = io.TableCount();
    if (t >= kMaxTables)
        throw EDatabaseError(Format("A database holds at most %d tables", kMaxTables));
    int64_t end = io.FileSize();
    if (end < kFirstFreeOffset)
        io.Damaged(Format("the file is only %lld bytes long", static_cast<long long>(end)));
    // Header first, then its directory entry, then the count: an interrupted add leaves the
    // directory as it was.
    io.WriteAt(end, header.raw.data(), header.raw.size());
    TableDirectory dir = io.Directory();
    dir.SetTableOffset(t, static_cast<int32_t>(end));
    io.WriteAt(kDirOffset + static_cast<int64_t>(TableDirectory::EntryPosition(t)),
               dir.raw.data() + TableDirectory::EntryPosition(t), 4);
    dir.SetTableCount(t + 1);
    io.WriteAt(kDirOffset, dir.raw.data(), 4);
    io.ReloadDirectory();
}

}  // namespace tarn

#include "tarndb/database_info.h"

#include "platform/bytes.h"
#include "tarndb/errors.h"
#include "tarndb/file_format.h"
#include "tarndb/file_io.h"
#include "tarndb/table_io.h"

namespace tarn {

namespace {

// Fills in what a loaded table knows of itself.
void DescribeTable(TTarnTableIO& table, TTableInfo& info) {
    // The key lists are read when first used; what their loading found in the chains is
    // part of the description.
    for (int list = 1; list < table.ListCount(); ++list) table.RecordList(list);
    info.repairNotes = table.IndexRepair().findings;
    info.liveRecords = table.RecordList(0).Count();
    info.recordTotal = table.Header().RecordTotal();
    info.recordSize = table.RecordSize();
    info.hasAutoInc = table.AutoIncField() >= 0;
    info.autoIncCounter = table.Header().AutoIncCounter();
    for (int i = 0; i < table.FieldCount(); ++i) {
        const TTarnFieldDef& f = table.FieldDefs()[i];
        TFieldInfo field;
        field.name = f.Name();
        field.type = FieldTypeFromCode(f.FieldType).value_or(ftUnknown);
        field.size = IsStringType(f.FieldType) ? f.Size : 0;
        field.storePlain = f.StorePlain;
        info.fields.push_back(std::move(field));
    }
    for (int i = 0; i < table.IndexCount(); ++i) {
        const TTarnIndexDef& x = table.IndexDefs()[i];
        TIndexInfo index;
        index.name = x.Name();
        index.options = x.Options;
        for (int32_t k : x.KeyFields)
            index.keyFields.push_back(k >= 0 && k < table.FieldCount() ? table.FieldDefs()[k].Name()
                                                                       : std::string());
        info.indexes.push_back(std::move(index));
    }
}

}  // namespace

TDatabaseInfo ReadDatabaseInfo(TTarnDatabase& database) {
    TTarnDBFileIO* io = database.FileIO();
    if (!database.Connected() || io == nullptr) throw EDatabaseError("Database is not connected");
    TDatabaseInfo out;
    out.fileName = database.FileName();
    out.fileSize = io->FileSize();
    uint8_t head[format::kHeadSize];
    io->ReadAt(0, sizeof head, head);
    out.formatVersion = bytes::GetName(head, format::kHeadVersionOffset, format::kHeadVersionSize);
    const format::DatabaseInfo& settings = io->Info();
    out.compressed = settings.Compressed();
    if (out.compressed) out.compressModule = settings.CompressModuleName();
    out.encrypted = settings.Encrypted();
    if (out.encrypted) {
        out.encryptModule = settings.EncryptModuleName();
        out.encryptMode = settings.EncryptMode();
    }
    out.verifyBlobWrites = settings.VerifyBlobWrites();

    io->ReloadDirectory();
    std::vector<std::string> names;
    database.ListTableNames(names);
    for (const std::string& name : names) {
        TTableInfo info;
        info.name = name;
        TTarnTableIO* table = database.FindTableStorage(name);
        if (table == nullptr) {
            info.loadError = "Table '" + name + "' not found";
            out.tables.push_back(std::move(info));
            continue;
        }
        try {
            table->AcquireTable();
        } catch (const Exception& e) {
            info.loadError = e.Message();
            out.tables.push_back(std::move(info));
            continue;
        }
        try {
            DescribeTable(*table, info);
        } catch (...) {
            table->ReleaseTable();
            throw;
        }
        table->ReleaseTable();
        out.tables.push_back(std::move(info));
    }
    return out;
}

}  // namespace tarn

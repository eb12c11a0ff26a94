// What a database file holds, as a program shows it to people: the file's settings (format
// version, compression, encryption module and mode, blob write verification) and for each
// table its fields, indexes and record counts, together with what opening the table found
// in its index chains. `tarndb info` prints it.
//
// Everything is read through a connected TTarnDatabase; the schema and the bookkeeping are
// never encrypted, so no password is needed. Names and module names are as stored (in the
// data code page); the caller converts them for display.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tarndb/database.h"
#include "tarndb/dataset/field_types.h"
#include "tarndb/dataset/index_options.h"

namespace tarn {

struct TFieldInfo {
    std::string name;
    TFieldType type = ftUnknown;
    int32_t size = 0;         // declared bytes of a string or fixedchar field; 0 otherwise
    bool storePlain = false;  // stored without compression and encryption
};

struct TIndexInfo {
    std::string name;
    TIndexOptions options;               // as stored, uninterpreted bits included
    std::vector<std::string> keyFields;  // field names, in key order
};

struct TTableInfo {
    std::string name;
    // Why the table could not be loaded (the engine's message); empty when it was, and only
    // then are the other members filled in.
    std::string loadError;
    // What opening the table found in its index chains (the traces of a writer that died, a
    // damaged chain whose key order was built from the records' keys), one text each.
    std::vector<std::string> repairNotes;
    int32_t liveRecords = 0;
    int32_t recordTotal = 0;  // records ever appended, deleted ones included
    int32_t recordSize = 0;   // bytes of a record's fixed part in the file
    bool hasAutoInc = false;
    int32_t autoIncCounter = 0;  // the last autoinc value handed out or stored
    std::vector<TFieldInfo> fields;
    std::vector<TIndexInfo> indexes;
};

struct TDatabaseInfo {
    std::string fileName;
    int64_t fileSize = 0;
    std::string formatVersion;  // as the file's head states it, e.g. "1.00"
    bool compressed = false;
    std::string compressModule;  // the module's name when compressed
    bool encrypted = false;
    std::string encryptModule;  // the module's name when encrypted
    int encryptMode = 0;
    bool verifyBlobWrites = false;
    std::vector<TTableInfo> tables;  // in directory order
};

// Reads what `database` (connected, so Connected() is true) holds. Each table is loaded for
// the time of the call: in a file that may be written, loading repairs index chains as
// every open does (see doc/file-format.md, "Write order"). A table that cannot be loaded is
// described by its `loadError` and does not stop the others.
//
// Raises: EDatabaseError "Database is not connected" when it is not connected; EInOutError
// when the file's head or directory cannot be read.
TDatabaseInfo ReadDatabaseInfo(TTarnDatabase& database);

}  // namespace tarn

// The database creator: makes new database files (or memory images) and adds tables with
// their fields and indexes, writing exactly the structures of the file format and keeping
// every invariant readers rely on. Creating and changing schemas is not an operation of the
// engine itself; the tool, the version manager and the tests build their files here.
//
// Raises: EDatabaseError with a clear message for every bad definition (too many tables,
// fields, indexes or key fields; an empty, over-long or duplicate name; an unknown type
// code; a key field that does not exist; an unknown module or mode; an encrypted database
// without a password); the file is left unchanged. EFOpenError when the file cannot be
// created.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tarndb/dataset/field_types.h"
#include "tarndb/dataset/index_options.h"

namespace tarn {

struct TDatabaseSettings {
    bool compressed = false;
    std::string compressModule = "ZLIB";
    bool encrypted = false;
    std::string encryptModule;  // "Blowfish", "Twofish" or "Gost"
    uint8_t encryptMode = 0;    // 0..4
    std::string password;
    bool verifyBlobWrites = false;
};

// A field of a new table: {"Name", ftString, 40}, {"ID", ftAutoInc}.
struct TFieldDefinition {
    std::string name;
    TFieldType type = ftUnknown;
    int32_t size = 0;  // maximum characters for strings; ignored otherwise
    bool storePlain = false;
};

// An index of a new table: {"ByName", tiUnique | tiCaseInsensitive, {"Name"}}.
struct TIndexDefinition {
    std::string name;
    TIndexOptions options;
    std::vector<std::string> keyFields;  // field names, in key order
};

class TTarnDBCreator {
public:
    // Writes a new, empty database file; fails when `path` exists.
    // Raises: EDatabaseError for bad settings (unknown module or mode, encryption without a
    // password); EFOpenError when the file exists or cannot be created; EInOutError when a
    // write fails.
    static void CreateDatabase(const std::string& path, const TDatabaseSettings& settings = {});
    // The bytes of a new, empty database image (for a memory stream).
    // Raises: EDatabaseError for bad settings.
    static std::string CreateImage(const TDatabaseSettings& settings = {});
    // Adds a table to the database named `database` (a path, or a ":" + hex memory name),
    // under the file lock. The table starts empty.
    // Raises: EDatabaseError for a bad definition (the message names it), a table name
    // already used, a full directory or a damaged file; EFOpenError when the database cannot
    // be opened; EInOutError when a lock, read or write fails. The file is unchanged after
    // every definition error.
    static void AddTable(const std::string& database, const std::string& tableName,
                         const std::vector<TFieldDefinition>& fields,
                         const std::vector<TIndexDefinition>& indexes = {});
};

}  // namespace tarn

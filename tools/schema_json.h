// A database's settings and a table's definition as JSON, the one form `info --format json`
// shows and `export` writes (and `restore` reads back):
//
//   settings: {"compression": "zlib" | null,
//              "encryption": {"cipher": "blowfish", "mode": 0} | null,
//              "verifyBlobWrites": false}          (never the password)
//   field:    {"name": "书名", "type": "string", "size": 40, "plain": true}
//             (size for string and fixedchar only; plain only when true)
//   index:    {"name": "by作者", "options": "unique,nocase", "fields": ["作者"]}
//
// Names are UTF-8; type names and options as add-table takes them (schema_text.h).
#pragma once

#include <string>

#include "tarndb/database_info.h"

namespace tarn::cli {

// A module as create takes its name ("blowfish", "zlib") for the stored name ("Blowfish").
std::string ModuleName(const std::string& module);

std::string SettingsJson(const TDatabaseInfo& info);
std::string FieldJson(const TFieldInfo& field);
std::string IndexJson(const TIndexInfo& index);

}  // namespace tarn::cli

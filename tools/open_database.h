// Opening a database file for a command: a connected TTarnDatabase over the file, the
// password of an encrypted database (from TARNDB_PASSWORD, else asked on the terminal), and
// the table storage of a table named on the command line, acquired for the command's life.
//
// Errors: EToolError for a wrong or missing password and an unknown table (naming the
// tables there are); the engine's errors for files it cannot open.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tarndb/database.h"
#include "tarndb/table_io.h"
#include "tools/cli_common.h"

namespace tarn::cli {

// The password for `path`: TARNDB_PASSWORD when set, else asked on the terminal (twice with
// `confirm`). Raises EToolError when neither gives one.
std::string ObtainPassword(TToolContext& ctx, const std::string& path, bool confirm);

class TOpenedDatabase {
public:
    // Connects to `path`. With `needValues` the values of an encrypted database must be
    // readable: the password is obtained and checked ("wrong password" otherwise).
    TOpenedDatabase(TToolContext& ctx, const std::string& path, bool needValues);
    ~TOpenedDatabase();
    TOpenedDatabase(const TOpenedDatabase&) = delete;
    TOpenedDatabase& operator=(const TOpenedDatabase&) = delete;

    TTarnDatabase& Database() { return *db_; }
    TTarnDBFileIO& File() { return *db_->FileIO(); }
    // The table named `name` (UTF-8 from the command line), loaded until this object dies.
    TTarnTableIO& OpenTable(const std::string& name);
    // Table names as stored, in directory order.
    std::vector<std::string> TableNames();
    // Forces what was written to the disk.
    void Flush();

private:
    std::unique_ptr<TTarnDatabase> db_;
    std::vector<TTarnTableIO*> acquired_;
};

}  // namespace tarn::cli

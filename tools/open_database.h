// Opening a database file for a command: a connected TTarnDatabase over the file, the
// password of an encrypted database (from TARNDB_PASSWORD, else asked on the terminal), and
// the tables named on the command line, as table components on that database.
//
// Errors: EToolError for a wrong or missing password and an unknown table (naming the
// tables there are); the engine's errors for files it cannot open.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tarndb/database.h"
#include "tarndb/table.h"
#include "tools/cli_common.h"

namespace tarn::cli {

// An engine error raised while reading stored bytes, as the tool shows it: that the file is
// damaged (as `check` says) with the engine's words, or the system's error as it is.
std::string ReadFailureText(const std::exception& e);

// The password for `path`: TARNDB_PASSWORD when set, else asked on the terminal (twice with
// `confirm`). Raises EToolError when neither gives one.
std::string ObtainPassword(TToolContext& ctx, const std::string& path, bool confirm);

class TOpenedDatabase {
public:
    // Connects to `path`. With `needValues` the values of an encrypted database must be
    // readable: the password is obtained and checked ("wrong password" otherwise). With
    // `readOnly` the file is opened for reading only and nothing is written to it. A
    // non-empty `password` is used instead of asking for one (restore has it from create).
    TOpenedDatabase(TToolContext& ctx, const std::string& path, bool needValues,
                    bool readOnly = false, const std::string& password = "");
    ~TOpenedDatabase();
    TOpenedDatabase(const TOpenedDatabase&) = delete;
    TOpenedDatabase& operator=(const TOpenedDatabase&) = delete;

    TTarnDatabase& Database() { return *db_; }
    // The stored name of the table named `name` (UTF-8 from the command line); raises
    // EToolError naming the tables there are when it has none of that name.
    std::string RequireTable(const std::string& name);
    // A table component on the table `storedName` of this database, not yet opened. It must
    // be destroyed before this object.
    std::unique_ptr<TTarnTable> NewTable(const std::string& storedName);
    // Opens `table`; a table whose header cannot be read raises EToolError "table 'T': the
    // file is damaged: ...".
    static void OpenTable(TTarnTable& table);
    // Table names as stored, in directory order.
    std::vector<std::string> TableNames();
    // Forces what was written to the disk.
    void Flush() { db_->Flush(); }

private:
    std::unique_ptr<TTarnDatabase> db_;
};

}  // namespace tarn::cli

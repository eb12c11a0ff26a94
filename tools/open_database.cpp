#include "tools/open_database.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/dataset/names.h"
#include "tarndb/check.h"
#include "tarndb/errors.h"

namespace tarn::cli {

namespace {

// The first line of the password file, without its line break.
std::string ReadPasswordFile(const std::string& file) {
    FILE* f = file == "-" ? stdin : std::fopen(file.c_str(), "rb");
    if (f == nullptr)
        throw EToolError("cannot read the password file " + file + ": " + std::strerror(errno));
    std::string password;
    int c;
    while ((c = std::fgetc(f)) != EOF && c != '\n') password.push_back(static_cast<char>(c));
    bool failed = std::ferror(f) != 0;
    if (f != stdin) std::fclose(f);
    if (failed) throw EToolError("cannot read the password file " + file);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.empty())
        throw EToolError("the password file " + file + " holds no password on its first line");
    return password;
}

}  // namespace

std::string ObtainPassword(TToolContext& ctx, const std::string& path, bool confirm) {
    std::string password;
    if (!ctx.passwordFile.empty()) return ReadPasswordFile(ctx.passwordFile);
    if (ctx.getEnv && ctx.getEnv("TARNDB_PASSWORD", password)) {
        if (password.empty()) throw EToolError("TARNDB_PASSWORD is set but empty");
        return password;
    }
    if (ctx.readPassword && ctx.readPassword("Password for " + path + ": ", confirm, password)) {
        if (password.empty()) throw EToolError("the password is empty");
        return password;
    }
    throw EToolError(
        "the database " + path +
        " is encrypted: give its password in the environment variable TARNDB_PASSWORD or run "
        "tarndb on a terminal to be asked for it");
}

TOpenedDatabase::TOpenedDatabase(TToolContext& ctx, const std::string& path, bool needValues,
                                 bool readOnly, const std::string& knownPassword) {
    static std::atomic<int> counter{0};
    db_ = std::make_unique<TTarnDatabase>(nullptr, "");
    db_->SetDatabaseName("tarndb-cli-" + std::to_string(++counter));
    RequireRegularFile(path);
    db_->SetFileName(path);
    // Table components attached for a while (dump --filter) must not disconnect it when
    // they close.
    db_->SetKeepConnection(true);
    db_->SetReadOnly(readOnly);
    try {
        db_->Open();
    } catch (const EDatabaseError& e) {
        // The settings block names the compression and encryption modules; a name this
        // build does not know is, short of a file made by another build, damage there.
        if (e.Message().find(" module '") != std::string::npos &&
            e.Message().find("' not found") != std::string::npos)
            throw EToolError("cannot open " + path +
                             ": its settings block is damaged, or names a module this build "
                             "does not have (" +
                             EngineMessageToTerminal(e.Message()) + ")");
        throw;
    }
    if (needValues && !db_->CanAccess()) {
        std::string password =
            knownPassword.empty() ? ObtainPassword(ctx, path, false) : knownPassword;
        db_->SupplyPassword(password);
        std::fill(password.begin(), password.end(), '\0');
        if (!db_->CanAccess()) throw EToolError("wrong password for " + path);
    }
}

TOpenedDatabase::~TOpenedDatabase() {
    try {
        db_->Close();
    } catch (...) {
    }
}

std::string ReadFailureText(const std::exception& e) {
    if (const auto* x = dynamic_cast<const Exception*>(&e);
        x && x->Message() == "Wait for unlock time out")
        return "another program held the database's file lock too long (" + x->Message() + ")";
    return EngineMessageToTerminal(DescribeReadFailure(e));
}

void TOpenedDatabase::OpenTable(TTarnTable& table) {
    try {
        table.Open();
    } catch (const std::exception& e) {
        throw EToolError("table '" + ToTerminal(table.TableName()) + "': " + ReadFailureText(e));
    }
}

std::vector<std::string> TOpenedDatabase::TableNames() {
    std::vector<std::string> names;
    db_->ListTableNames(names);
    return names;
}

std::string TOpenedDatabase::RequireTable(const std::string& name) {
    std::string stored = ToStored(name, "the table name");
    std::vector<std::string> names = TableNames();
    for (const std::string& n : names)
        if (SameName(n, stored)) return n;
    std::string known;
    for (const std::string& n : names) known += (known.empty() ? "" : ", ") + ToTerminal(n);
    throw EToolError("no table '" + name + "' in " + db_->FileName() +
                     (known.empty() ? " (it has no tables)" : " (tables: " + known + ")"));
}

std::unique_ptr<TTarnTable> TOpenedDatabase::NewTable(const std::string& storedName) {
    auto table = std::make_unique<TTarnTable>(nullptr, "");
    table->SetDatabaseName(db_->DatabaseName());
    table->SetTableName(storedName);
    return table;
}

}  // namespace tarn::cli

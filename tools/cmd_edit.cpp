// tarndb insert / update / delete: one row from arguments or JSON, or the rows a filter
// selects. Every value is converted before anything is written, and each command is one
// transaction: a row the engine refuses (a repeated unique key, a full disk) rolls back the
// rows changed before it, and the message says so. --dry-run counts and checks, writing
// nothing.
//
// update and delete first note the rows the filter selects (their bookmarks) and then change
// them with the filter off: a row that an update moves out of the filter is not skipped, and
// one it moves into the filter is not changed twice.
#include <set>

#include "platform/os/env.h"
#include "tarndb/database.h"
#include "tarndb/errors.h"
#include "tarndb/table.h"
#include "tarndb/table_rows.h"
#include "tools/commands.h"
#include "tools/json_value.h"
#include "tools/open_database.h"
#include "tools/table_view.h"
#include "tools/value_text.h"

namespace tarn::cli {

namespace {

// One field's new value: its text in the tool's text forms (value_text.h) and where it was
// given, for messages.
struct TAssignment {
    int field;
    std::string text;
    std::string source;
};

std::vector<TAssignment> ReadAssignments(const TParsedArgs& a, const TTableView& view) {
    std::vector<TAssignment> out;
    std::set<int> named;
    auto add = [&](const std::string& name, std::string text, std::string source) {
        int field = view.RequireField(name, source);
        if (!named.insert(field).second)
            throw UsageError("the field '" + view.Name(field) + "' is given more than once");
        out.push_back({field, std::move(text), std::move(source)});
    };
    for (const std::string& set : a.Values("set")) {
        size_t eq = set.find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError("--set takes FIELD=VALUE, not '" + set + "'");
        add(set.substr(0, eq), set.substr(eq + 1), "--set " + set);
    }
    if (a.Has("json")) {
        TJsonValue doc = ParseJson(a.Value("json"), "--json");
        if (doc.kind != TJsonValue::Kind::Object)
            throw EToolError(std::string("--json takes an object of field values, not ") +
                             doc.KindName());
        for (const auto& [name, value] : doc.members) {
            if (value.kind == TJsonValue::Kind::Array || value.kind == TJsonValue::Kind::Object)
                throw EToolError("--json: the value of '" + name + "' is " + value.KindName() +
                                 "; a field holds a string, a number, true, false or null");
            // null: the engine stores no NULL; the field takes its empty value.
            add(name, value.text, "--json \"" + name + "\"");
        }
    }
    return out;
}

// Converts every assignment into `record` (the fields not assigned keep what it holds).
void Convert(const std::vector<TAssignment>& assignments, TTableView& view) {
    TToolRecord& record = view.Record();
    std::string error, blob;
    for (const TAssignment& s : assignments) {
        TFieldType type = view.FieldType(s.field);
        bool ok;
        if (view.IsBlob(s.field)) {
            ok = ParseBlob(type, s.text, blob, error);
            if (ok) record.SetBlobValue(s.field, blob);
        } else {
            ok = ParseValue(type, s.text, record.Value(s.field), error);
        }
        if (!ok) throw EToolError(s.source + ": " + error);
    }
}

std::string Rows(int64_t n) { return std::to_string(n) + (n == 1 ? " row" : " rows"); }

// Undoes the transaction of a failed command; says what became of its changes.
std::string RollBack(TTarnDatabase& database) {
    try {
        database.Rollback();
    } catch (const Exception& e) {
        return "; rolling back the changes made before it failed too: " +
               EngineMessageToTerminal(e.Message());
    }
    return "; nothing was changed";
}

// Commits; a failed commit says whether the changes stand.
void CommitChanges(TTarnDatabase& database, const std::string& path, const std::string& done) {
    try {
        database.Commit();
    } catch (const Exception& e) {
        const std::string why = EngineMessageToTerminal(e.Message());
        if (!database.LastCommitCommitted())
            throw EToolError("cannot write to " + path + ": the commit failed (" + why +
                             "); nothing was changed");
        throw EToolError(done +
                         " and committed, but the commit could not make sure of it on "
                         "the disk (" +
                         why + "): a power cut now could still undo it");
    }
}

void RequireWritable(const std::string& path, bool dryRun) {
    // The engine opens a file it may not write for reading, and would refuse the first
    // change without saying why.
    if (!dryRun && CurrentEnv()->IsReadOnly(path))
        throw EToolError("cannot change " + path +
                         ": this user may not write the file (it is read-only); nothing was "
                         "changed");
}

// Runs `body` in one transaction of `database` (none for a dry run): an error inside rolls
// back and says so.
template <class Body>
void Transaction(TTarnDatabase& database, bool dryRun, Body body) {
    if (dryRun) {
        body();
        return;
    }
    database.StartTransaction();
    try {
        body();
    } catch (const EToolError& e) {
        throw EToolError(e.Message() + RollBack(database), e.ExitCode());
    } catch (const Exception& e) {
        std::string message = EngineMessageToTerminal(e.Message());
        throw EToolError(message + RollBack(database));
    } catch (...) {
        RollBack(database);
        throw;
    }
}

// update / delete: the bookmarks of the rows the filter (or --all) selects.
std::vector<TBookmark> SelectedRows(TToolContext& ctx, TTableView& view, const TParsedArgs& a) {
    if (a.Has("filter")) ApplyFilter(ctx, view.Table(), a.Value("filter"));
    std::vector<TBookmark> rows;
    int count = view.Count();
    rows.reserve(static_cast<size_t>(count));
    for (int pos = 1; pos <= count; ++pos) {
        view.Go(pos);
        rows.push_back(view.Table().GetBookmark());
    }
    if (a.Has("filter")) view.Table().SetFiltered(false);
    return rows;
}

void RequireSelection(const TParsedArgs& a, const char* command) {
    if (a.Has("filter") == a.Has("all"))
        throw UsageError(std::string(command) +
                         (a.Has("all") ? " takes --filter or --all, not both"
                                       : " needs --filter EXPR to select the rows (or --all for "
                                         "every row)"));
}

}  // namespace

int RunInsert(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {"set", "json"}, {"dry-run"});
    RequirePositional(a, {"FILE", "TABLE"});
    if (!a.Has("set") && !a.Has("json"))
        throw UsageError("give the values with --set FIELD=VALUE or --json '{...}'");
    const std::string& path = a.positional[0];
    const bool dryRun = a.Has("dry-run");
    TOpenedDatabase db(ctx, path, true);
    RequireWritable(path, dryRun);
    std::unique_ptr<TTarnTable> table = db.NewTable(db.RequireTable(a.positional[1]));
    TTarnDatabase& database = db.Database();
    std::string id;
    Transaction(database, dryRun, [&] {
        TOpenedDatabase::OpenTable(*table);
        TTableView view(*table);
        std::vector<TAssignment> assignments = ReadAssignments(a, view);
        view.Record().Clear();  // fields not named take their empty value, autoinc the next
        Convert(assignments, view);
        TTarnTable& t = *table;
        t.Append();
        try {
            view.Record().Store();
            if (dryRun)
                CheckUniqueKeys(t);
            else
                t.Post();
        } catch (...) {
            t.Cancel();
            throw;
        }
        if (dryRun) {
            t.Cancel();
            return;
        }
        for (int i = 0; i < view.FieldCount(); ++i)
            if (view.FieldType(i) == ftAutoInc) id = " (" + view.Name(i) + " " + view.Cell(i) + ")";
    });
    if (dryRun) {
        std::fprintf(ctx.out, "would insert 1 row into %s (dry run: nothing was written)\n",
                     a.positional[1].c_str());
        return kExitOk;
    }
    CommitChanges(database, path, "the row was inserted into " + a.positional[1]);
    std::fprintf(ctx.out, "inserted 1 row into %s%s\n", a.positional[1].c_str(), id.c_str());
    return kExitOk;
}

int RunUpdate(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {"set", "json", "filter"}, {"dry-run", "all"});
    RequirePositional(a, {"FILE", "TABLE"});
    if (!a.Has("set") && !a.Has("json"))
        throw UsageError("give the new values with --set FIELD=VALUE or --json '{...}'");
    RequireSelection(a, "update");
    const std::string& path = a.positional[0];
    const bool dryRun = a.Has("dry-run");
    TOpenedDatabase db(ctx, path, true);
    RequireWritable(path, dryRun);
    std::unique_ptr<TTarnTable> table = db.NewTable(db.RequireTable(a.positional[1]));
    TTarnDatabase& database = db.Database();
    int64_t updated = 0, selected = 0;
    Transaction(database, dryRun, [&] {
        TOpenedDatabase::OpenTable(*table);
        TTableView view(*table);
        std::vector<TAssignment> assignments = ReadAssignments(a, view);
        Convert(assignments, view);
        std::vector<TBookmark> rows = SelectedRows(ctx, view, a);
        selected = static_cast<int64_t>(rows.size());
        if (dryRun) return;
        TTarnTable& t = *table;
        for (const TBookmark& row : rows) {
            t.GotoBookmark(row);
            std::string where = "table '" + ToTerminal(t.TableName()) + "', record " +
                                std::to_string(RecordNumberOf(t, t.RecNo()));
            t.Edit();
            try {
                for (const TAssignment& s : assignments) view.Record().StoreField(s.field);
                t.Post();
            } catch (const Exception& e) {
                t.Cancel();
                throw EToolError(where + ": " + EngineMessageToTerminal(e.Message()));
            }
            ++updated;
        }
    });
    if (dryRun) {
        std::fprintf(ctx.out, "would update %s in %s (dry run: nothing was written)\n",
                     Rows(selected).c_str(), a.positional[1].c_str());
        return kExitOk;
    }
    CommitChanges(database, path, Rows(updated) + " of " + a.positional[1] + " were updated");
    std::fprintf(ctx.out, "updated %s in %s\n", Rows(updated).c_str(), a.positional[1].c_str());
    return kExitOk;
}

int RunDelete(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {"filter"}, {"dry-run", "all"});
    RequirePositional(a, {"FILE", "TABLE"});
    RequireSelection(a, "delete");
    const std::string& path = a.positional[0];
    const bool dryRun = a.Has("dry-run");
    // Deleting every row reads no value, but a filter does; ask for the password either way,
    // so that only those who may read the rows remove them.
    TOpenedDatabase db(ctx, path, true);
    RequireWritable(path, dryRun);
    std::unique_ptr<TTarnTable> table = db.NewTable(db.RequireTable(a.positional[1]));
    TTarnDatabase& database = db.Database();
    int64_t deleted = 0, selected = 0;
    Transaction(database, dryRun, [&] {
        TOpenedDatabase::OpenTable(*table);
        TTableView view(*table);
        std::vector<TBookmark> rows = SelectedRows(ctx, view, a);
        selected = static_cast<int64_t>(rows.size());
        if (dryRun) return;
        TTarnTable& t = *table;
        for (const TBookmark& row : rows) {
            t.GotoBookmark(row);
            t.Delete();
            ++deleted;
        }
    });
    if (dryRun) {
        std::fprintf(ctx.out, "would delete %s from %s (dry run: nothing was written)\n",
                     Rows(selected).c_str(), a.positional[1].c_str());
        return kExitOk;
    }
    CommitChanges(database, path, Rows(deleted) + " of " + a.positional[1] + " were deleted");
    std::fprintf(ctx.out, "deleted %s from %s\n", Rows(deleted).c_str(), a.positional[1].c_str());
    return kExitOk;
}

}  // namespace tarn::cli

// tarndb import FILE TABLE DATA.csv: appends the rows of a CSV file. The file is read twice:
// the first pass converts every value and stops at the first bad one (nothing is written),
// the second appends the rows in one transaction, so an import that fails part-way leaves
// the database as it was.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/dataset/names.h"
#include "platform/os/env.h"
#include "platform/text/codepage.h"
#include "tarndb/database.h"
#include "tarndb/errors.h"
#include "tarndb/table.h"
#include "tarndb/table_rows.h"
#include "tools/commands.h"
#include "tools/csv.h"
#include "tools/open_database.h"
#include "tools/record_buffer.h"
#include "tools/terminal.h"
#include "tools/value_text.h"

namespace tarn::cli {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// The CSV input as a seekable file: standard input is copied to a temporary file first.
FilePtr OpenInput(const std::string& path, int64_t& size) {
    FilePtr f;
    if (path == "-") {
        f.reset(std::tmpfile());
        if (!f) throw EToolError("cannot create a temporary file for standard input");
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0)
            if (std::fwrite(buf, 1, n, f.get()) != n)
                throw EToolError("cannot buffer standard input");
    } else {
        // The file is read twice, which a pipe cannot do; and opening a FIFO would wait.
        std::string why = NotARegularFile(path);
        if (!why.empty())
            throw EToolError("cannot open " + path + ": " + why +
                             (why.rfind("not a regular file", 0) == 0
                                  ? " (the input is read twice; give - to read it from standard "
                                    "input)"
                                  : ""));
        f.reset(std::fopen(path.c_str(), "rb"));
        if (!f) throw EToolError("cannot open " + path + ": " + std::strerror(errno));
    }
    std::fseek(f.get(), 0, SEEK_END);
    size = std::ftell(f.get());
    std::rewind(f.get());
    return f;
}

class TImporter {
public:
    TImporter(TTarnTable& table, const std::string& csvName)
        : table_(table),
          csvName_(csvName),
          record_(table),
          hasUniqueIndex_(HasUniqueIndex(table)) {}

    // Reads the header row and maps its columns to fields.
    void ReadHeader(TCsvReader& reader) {
        std::vector<std::string> names;
        std::vector<int64_t> lines;
        if (!reader.Next(names, lines))
            throw EToolError(csvName_ + ": the file is empty; its first row must name the fields");
        columns_.clear();
        for (size_t c = 0; c < names.size(); ++c) {
            std::string name = names[c];
            if (!IsValidUtf8(name))
                throw Bad(lines[c], c, "the field name is not valid UTF-8 text");
            std::string stored = ToStored(name, "a field name");
            int field = -1;
            for (int i = 0; i < record_.FieldCount(); ++i)
                if (SameName(record_.FieldName(i), stored)) {
                    field = i;
                    break;
                }
            if (field < 0) {
                std::string known;
                for (int i = 0; i < record_.FieldCount(); ++i)
                    known += (known.empty() ? "" : ", ") + ToTerminal(record_.FieldName(i));
                throw Bad(lines[c], c,
                          "the table has no field '" + name + "' (fields: " + known + ")");
            }
            for (size_t d = 0; d < c; ++d)
                if (columns_[d] == field)
                    throw Bad(lines[c], c, "the field '" + name + "' is named twice");
            columns_.push_back(field);
        }
    }

    // Converts one row into the record buffer; raises the error with line and column. With
    // `checkKeys`, a key that a unique or primary index holds already is refused too.
    void Convert(const std::vector<std::string>& values, const std::vector<int64_t>& lines,
                 int64_t rowLine, bool checkKeys) {
        if (values.size() != columns_.size())
            throw EToolError(csvName_ + ": line " + std::to_string(rowLine) + ": the row has " +
                             std::to_string(values.size()) + " value" +
                             (values.size() == 1 ? "" : "s") + "; the header names " +
                             std::to_string(columns_.size()) + " fields");
        record_.Clear();
        std::string error, blob;
        for (size_t c = 0; c < values.size(); ++c) {
            int field = columns_[c];
            TFieldType type = record_.FieldType(field);
            bool ok;
            if (record_.IsBlob(field)) {
                ok = ParseBlob(type, values[c], blob, error);
                if (ok) record_.SetBlobValue(field, blob);
            } else {
                ok = ParseValue(type, values[c], record_.Value(field), error);
            }
            if (!ok) throw Bad(lines[c], c, error);
        }
        if (checkKeys && hasUniqueIndex_) {
            table_.Append();
            try {
                record_.Store();
                CheckUniqueKeys(table_);
            } catch (const Exception& e) {
                table_.Cancel();
                throw EToolError(csvName_ + ": line " + std::to_string(rowLine) + ": " +
                                 EngineMessageToTerminal(e.Message()) +
                                 " (the table holds this key already)");
            }
            table_.Cancel();
        }
    }

    // Appends the converted row. A row the table refuses is cancelled.
    void Append() {
        table_.Append();
        try {
            record_.Store();
            table_.Post();
        } catch (...) {
            table_.Cancel();
            throw;
        }
    }

private:
    EToolError Bad(int64_t line, size_t column, const std::string& what) const {
        std::string field;
        if (column < columns_.size())
            field = " (" + ToTerminal(record_.FieldName(columns_[column])) + ")";
        return EToolError(csvName_ + ": line " + std::to_string(line) + ", column " +
                          std::to_string(column + 1) + field + ": " + what);
    }

    TTarnTable& table_;
    std::string csvName_;
    TToolRecord record_;
    std::vector<int> columns_;
    bool hasUniqueIndex_;
};

// Undoes the transaction of a failed import; says what became of its rows.
std::string RollBackImport(TTarnDatabase& database, int64_t appended) {
    try {
        database.Rollback();
    } catch (const Exception& e) {
        return "; rolling back the " + std::to_string(appended) +
               " rows imported before it failed too: " + EngineMessageToTerminal(e.Message());
    }
    if (appended == 0) return "; nothing was written";
    return "; the " + std::to_string(appended) + " row" + (appended == 1 ? "" : "s") +
           " imported before it " + (appended == 1 ? "was" : "were") + " rolled back";
}

}  // namespace

int RunImport(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {}, {});
    RequirePositional(a, {"FILE", "TABLE", "DATA.csv"});
    const std::string& csvPath = a.positional[2];
    std::string csvName = csvPath == "-" ? "standard input" : csvPath;
    const std::string& path = a.positional[0];
    TOpenedDatabase db(ctx, path, true);
    // The engine opens a file it may not write for reading, and would refuse the first row
    // without saying why.
    if (CurrentEnv()->IsReadOnly(path))
        throw EToolError("cannot import into " + path +
                         ": this user may not write the file (it is read-only); nothing was "
                         "written");
    std::unique_ptr<TTarnTable> opened = db.NewTable(db.RequireTable(a.positional[1]));
    TTarnTable& table = *opened;
    TOpenedDatabase::OpenTable(table);
    int64_t size = 0;
    FilePtr input = OpenInput(csvPath, size);
    TImporter importer(table, csvName);
    std::vector<std::string> values;
    std::vector<int64_t> lines;

    // Pass 1: every value must convert before anything is written.
    int64_t rows = 0;
    {
        TCsvReader reader(input.get(), csvName);
        importer.ReadHeader(reader);
        TProgressBar progress(ctx.err, ctx.errIsTerminal, "checking " + csvName, size);
        while (reader.Next(values, lines)) {
            importer.Convert(values, lines, reader.RecordLine(), true);
            ++rows;
            progress.Update(reader.BytesRead());
        }
    }

    // Pass 2: append, in one transaction. Should the engine refuse a row now (a key
    // repeated within the file, a full disk), the transaction is rolled back.
    std::rewind(input.get());
    TCsvReader reader(input.get(), csvName);
    importer.ReadHeader(reader);
    int64_t written = 0;
    TTarnDatabase& database = db.Database();
    database.StartTransaction();
    {
        TProgressBar progress(ctx.err, ctx.errIsTerminal, "importing into " + a.positional[1],
                              rows);
        while (reader.Next(values, lines)) {
            int64_t line = reader.RecordLine();
            try {
                importer.Convert(values, lines, line, false);
                importer.Append();
                ++written;
            } catch (const EToolError& e) {
                // The file changed between the passes: treated like a refused row.
                throw EToolError(e.Message() + RollBackImport(database, written));
            } catch (const Exception& e) {
                std::string undo = RollBackImport(database, written);
                throw EToolError(csvName + ": line " + std::to_string(line) + ": " +
                                 EngineMessageToTerminal(e.Message()) + undo);
            }
            progress.Update(written);
        }
    }
    try {
        database.Commit();
    } catch (const Exception& e) {
        const std::string why = EngineMessageToTerminal(e.Message());
        if (!database.LastCommitCommitted())
            throw EToolError("cannot import into " + path + ": the commit failed (" + why +
                             "); nothing was written, the " + std::to_string(written) + " row" +
                             (written == 1 ? " was" : "s were") + " rolled back");
        throw EToolError("the " + std::to_string(written) + " row" + (written == 1 ? "" : "s") +
                         " imported into " + a.positional[1] +
                         " are committed, but the commit could not make sure of it on the "
                         "disk (" +
                         why + "): a power cut now could still undo them");
    }
    std::fprintf(ctx.out, "imported %lld row%s into %s\n", static_cast<long long>(written),
                 written == 1 ? "" : "s", a.positional[1].c_str());
    return kExitOk;
}

}  // namespace tarn::cli

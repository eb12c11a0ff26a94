// The command table, the help texts and the dispatcher of the tarndb tool.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tarndb/errors.h"
#include "tools/commands.h"
#include "tools/schema_text.h"

namespace tarn::cli {

namespace {

const char kCreateUsage[] =
    "usage: tarndb create FILE [--compress zlib] [--encrypt blowfish|twofish|gost [--mode 0..4]]\n"
    "                          [--verify-blob-writes]\n"
    "\n"
    "Creates an empty database file (it must not exist yet).\n"
    "\n"
    "  --compress zlib        store blob values compressed\n"
    "  --encrypt CIPHER       store field values encrypted with blowfish, twofish or gost;\n"
    "                         the password comes from --password-file FILE or TARNDB_PASSWORD,\n"
    "                         or is asked twice on the terminal without echo\n"
    "  --mode N               the cipher's mode, 0 to 4 (default 0)\n"
    "  --verify-blob-writes   read every blob value back after writing it\n";

const char kAddTableUsage[] =
    "usage: tarndb add-table FILE TABLE --field NAME:TYPE[:SIZE][:plain] ...\n"
    "                        [--index NAME:OPTIONS:FIELD[,FIELD...] ...]\n"
    "\n"
    "Adds an empty table. Give one --field per field, in record order:\n"
    "  TYPE    one of: %s\n"
    "  SIZE    for string and fixedchar: the most bytes a value may take (a Chinese\n"
    "          character takes 2 bytes in the data code page GB18030)\n"
    "  plain   store this field without compression and encryption\n"
    "Give one --index per index (at most 8):\n"
    "  OPTIONS a comma list of primary, unique, descending, nocase; may be empty\n"
    "  FIELD   the key fields in key order (at most 8)\n"
    "\n"
    "example: tarndb add-table books.tdb books --field id:autoinc --field title:string:80 \\\n"
    "             --field added:date --index byTitle:nocase:title\n";

const char kInfoUsage[] =
    "usage: tarndb info FILE [--format text|json]\n"
    "\n"
    "Shows the format version, the settings (compression, encryption module and mode, blob\n"
    "write verification) and every table with its fields, indexes and live record count.\n"
    "Needs no password.\n"
    "  --format json   one JSON object for scripts (fields and indexes as export writes them)\n";

const char kDumpUsage[] =
    "usage: tarndb dump FILE TABLE [--index NAME] [--filter EXPR] [--format table|csv|tsv|json]\n"
    "                              [--header on|off] [--output OUT]\n"
    "\n"
    "Prints the live records of a table, in physical order or in the key order of an index.\n"
    "  --index NAME     list the records in the key order of this index\n"
    "  --filter EXPR    only records for which the filter expression holds\n"
    "  --format table   aligned columns for reading (the default)\n"
    "  --format csv     a header row and one row per record; `import` reads it back\n"
    "  --format tsv     values separated by tabs (tab, line break, backslash written \\t \\n "
    "\\\\)\n"
    "  --format json    an array of objects, one per record\n"
    "  --header off     leave out the header row (and the table's record count)\n"
    "  --output OUT     write to the file OUT (created or emptied) instead of standard output\n";

const char kQueryUsage[] =
    "usage: tarndb query FILE TABLE [--fields F1,F2,...] [--filter EXPR] [--index NAME]\n"
    "                               [--order-by F1,F2,... [--desc]] [--limit N] [--offset N]\n"
    "                               [--format table|csv|tsv|json] [--header on|off] [--output "
    "OUT]\n"
    "       tarndb query FILE TABLE --aggregate FN[:FIELD] ... [--group-by FIELD [--desc]]\n"
    "                               [--filter EXPR] [--limit N] [--offset N] [--format ...]\n"
    "\n"
    "Prints chosen fields of the records a filter keeps, in the order asked for.\n"
    "  --fields F1,F2   the fields to show, in this order (default: all)\n"
    "  --filter EXPR    only records for which the filter expression holds\n"
    "  --index NAME     read the records in the key order of this index\n"
    "  --order-by F,..  sort by these fields (any field, with or without an index): numbers\n"
    "                   by value, text as string indexes sort it; equal keys keep the order\n"
    "  --desc           sort in descending order\n"
    "  --limit N        show at most N records;  --offset N  skip the first N\n"
    "  --aggregate FN   compute over the records instead of listing them; FN is count,\n"
    "                   sum:FIELD, min:FIELD, max:FIELD or avg:FIELD (sum and avg need a number\n"
    "                   field); repeat for more columns\n"
    "  --group-by F     one row of aggregates per value of F, in the order of F\n"
    "  --format, --header, --output   as for dump\n"
    "\n"
    "example: tarndb query books.tdb books --fields title,price --filter \"price < 50\" \\\n"
    "             --order-by price --desc --limit 10\n"
    "         tarndb query books.tdb books --aggregate count --aggregate avg:price --group-by "
    "author\n";

const char kCountUsage[] =
    "usage: tarndb count FILE TABLE [--filter EXPR]\n"
    "\n"
    "Prints the number of live records of a table, or of those the filter expression keeps.\n";

const char kImportUsage[] =
    "usage: tarndb import FILE TABLE DATA.csv\n"
    "\n"
    "Appends the rows of a CSV file (UTF-8; \"-\" reads standard input). The first row names\n"
    "the fields; fields it does not name get empty values (autoinc fields the next number).\n"
    "The engine stores no NULL: an empty cell becomes the field's empty value, 0, false, \"\"\n"
    "or no date.\n"
    "Values are read by the field's type: integers, true/false, numbers such as 1.5, dates\n"
    "yyyy-mm-dd, times hh:mm:ss, date-times yyyy-mm-dd hh:mm:ss, binary blobs as 0x and hex.\n"
    "The whole file is read and checked first: a bad value stops the import with its line\n"
    "and column, and nothing is written.\n";

const char kInsertUsage[] =
    "usage: tarndb insert FILE TABLE --set FIELD=VALUE ... [--json '{\"FIELD\": VALUE, ...}']\n"
    "                               [--dry-run]\n"
    "\n"
    "Adds one record. Values are written as dump shows them (see import); fields not given\n"
    "take their empty value (0, false, \"\", no date) and an autoinc field the next number,\n"
    "which is printed. In --json, null stands for the empty value: the engine stores no NULL.\n"
    "  --set FIELD=VALUE  the value of one field (repeat for more)\n"
    "  --json OBJECT      the values as one JSON object of field names\n"
    "  --dry-run          check the values and the unique keys, write nothing\n";

const char kUpdateUsage[] =
    "usage: tarndb update FILE TABLE (--filter EXPR | --all) --set FIELD=VALUE ...\n"
    "                               [--json '{...}'] [--dry-run]\n"
    "\n"
    "Sets fields of the records a filter selects (or of every record with --all) and prints\n"
    "how many were updated. All of it is one transaction: when a record cannot be changed\n"
    "(a unique key taken already) nothing is changed.\n"
    "  --filter EXPR      the records to change, in the filter language of dump\n"
    "  --set FIELD=VALUE  a new value (repeat for more); --json takes them as one object\n"
    "  --dry-run          print how many records would change, write nothing\n";

const char kDeleteUsage[] =
    "usage: tarndb delete FILE TABLE (--filter EXPR | --all) [--dry-run]\n"
    "\n"
    "Deletes the records a filter selects (or every record with --all) in one transaction and\n"
    "prints how many. `compact` gives their space back.\n"
    "  --dry-run          print how many records would go, delete nothing\n";

const char kExportUsage[] =
    "usage: tarndb export FILE [--output OUT]\n"
    "\n"
    "Writes the whole database as one JSON document: the settings (compression, encryption\n"
    "cipher and mode, never the password), every table's fields, indexes and autoinc counter,\n"
    "and its live records (binary blobs in base64). `restore` builds a database from it.\n"
    "  --output OUT   write to the file OUT instead of standard output\n";

const char kRestoreUsage[] =
    "usage: tarndb restore EXPORT.json NEW\n"
    "\n"
    "Builds the new database file NEW (it must not exist) from a document `export` wrote\n"
    "(\"-\" reads standard input): the same settings, tables, indexes and records, with their\n"
    "autoinc values. An encrypted database's password is asked as create asks it (or taken\n"
    "from --password-file or TARNDB_PASSWORD). When anything fails NEW is removed again.\n";

const char kShellUsage[] =
    "usage: tarndb shell FILE [-c COMMAND]...\n"
    "\n"
    "Runs tarndb commands against FILE: each -c COMMAND in turn, or else each line of standard\n"
    "input (with a prompt on a terminal). A command is written without the file name, e.g.\n"
    "\"query books --order-by title --limit 5\"; words group in '...' or \"...\", # begins a\n"
    "comment. Also: help COMMAND, .tables (list the tables), .help, .quit. The password of an\n"
    "encrypted database is asked once. A failed command does not stop the ones after it; the\n"
    "exit status is that of the last one that failed.\n";

const char kCheckUsage[] =
    "usage: tarndb check FILE [--recover]\n"
    "\n"
    "Verifies every structure of the file: the head and settings, the table directory and\n"
    "headers, record tables, index chains against their key order, record data and blob\n"
    "areas inside the file, and that no two structures overlap. Each problem is reported\n"
    "with its table and record number. Key order and values of an encrypted database are\n"
    "checked when its password is given (--password-file, TARNDB_PASSWORD or the terminal).\n"
    "\n"
    "A journal beside the file (FILE-journal, left by a program that stopped inside a\n"
    "transaction) is reported with what the next open will do with it; the file is checked\n"
    "as that open will leave it, without writing anything.\n"
    "\n"
    "  --recover   roll the journal back now (this writes to FILE), then check\n"
    "\n"
    "Exit status: 0 the file is sound, 1 problems were found, 2 the file cannot be read.\n";

const char kCompactUsage[] =
    "usage: tarndb compact FILE [--output OUT]\n"
    "\n"
    "Writes the live records of every table, with their indexes, the settings and the\n"
    "autoinc counters, into a new file: the space of deleted records and replaced values is\n"
    "given back. The new file replaces FILE (by an atomic rename once it is on the disk), or\n"
    "with --output is written as OUT (which must not exist) and FILE stays as it is.\n"
    "Nobody else may have FILE open meanwhile. An encrypted database needs its password\n"
    "(--password-file, TARNDB_PASSWORD or the terminal).\n"
    "\n"
    "  --output OUT   write the compacted database to OUT instead of replacing FILE\n";

const char kOverview[] =
    "usage: tarndb <command> [arguments] [--password-file FILE]\n"
    "       tarndb --version\n"
    "\n"
    "Commands:\n";

std::string AddTableUsage() {
    std::string list = TypeNameList();
    std::string s(kAddTableUsage);
    size_t p = s.find("%s");
    s.replace(p, 2, list);
    return s;
}

void PrintOverview(FILE* f) {
    std::fputs(kOverview, f);
    for (const TCommand& c : Commands()) std::fprintf(f, "  %-10s %s\n", c.name, c.summary);
    std::fputs(
        "\nThe password of an encrypted database is the first line of --password-file FILE\n"
        "(\"-\": standard input), else TARNDB_PASSWORD, else asked on the terminal.\n"
        "\nRun 'tarndb <command> --help' for the arguments of a command.\n",
        f);
}

void PrintUsage(FILE* f, const TCommand& c) {
    if (std::strcmp(c.name, "add-table") == 0)
        std::fputs(AddTableUsage().c_str(), f);
    else
        std::fputs(c.usage, f);
}

// What a command printed must have reached standard output: a full disk or a closed pipe
// under `dump ... > backup.csv` is a failure, not a success with a cut file.
int FinishOutput(TToolContext& ctx, const std::string& who, int rc) {
    int err = 0;
    if (std::fflush(ctx.out) != 0) err = errno;
    if (err == 0 && std::ferror(ctx.out)) err = EIO;
    if (err == 0) return rc;
    std::clearerr(ctx.out);
    std::fprintf(ctx.err, "%s: cannot write to standard output: %s\n", who.c_str(),
                 std::strerror(err));
    return kExitFailure;
}

}  // namespace

const std::vector<TCommand>& Commands() {
    static const std::vector<TCommand> commands = {
        {"create", "create an empty database file", kCreateUsage, RunCreate},
        {"add-table", "add a table with its fields and indexes", kAddTableUsage, RunAddTable},
        {"info", "show the settings and the tables of a database", kInfoUsage, RunInfo},
        {"dump", "print the records of a table", kDumpUsage, RunDump},
        {"query", "print chosen, sorted or aggregated records of a table", kQueryUsage, RunQuery},
        {"count", "count the records of a table", kCountUsage, RunCount},
        {"insert", "add one record to a table", kInsertUsage, RunInsert},
        {"update", "change the records a filter selects", kUpdateUsage, RunUpdate},
        {"delete", "delete the records a filter selects", kDeleteUsage, RunDelete},
        {"import", "append the rows of a CSV file to a table", kImportUsage, RunImport},
        {"export", "write a whole database as one JSON document", kExportUsage, RunExport},
        {"restore", "build a new database from an export", kRestoreUsage, RunRestore},
        {"shell", "run commands against one database, from -c or standard input", kShellUsage,
         RunShell},
        {"check", "verify every structure of a database file", kCheckUsage, RunCheck},
        {"compact", "give back the space of deleted records", kCompactUsage, RunCompact},
    };
    return commands;
}

int RunTool(const std::vector<std::string>& args, TToolContext& ctx) {
    if (args.empty()) {
        PrintOverview(ctx.err);
        return kExitUsage;
    }
    if (args[0] == "--version" || args[0] == "-V") {
        std::fprintf(ctx.out, "tarndb %s\n", TARNDB_TOOL_VERSION);
        return FinishOutput(ctx, "tarndb", kExitOk);
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        if (args.size() > 1) {
            for (const TCommand& c : Commands())
                if (args[1] == c.name) {
                    PrintUsage(ctx.out, c);
                    return FinishOutput(ctx, "tarndb", kExitOk);
                }
        }
        PrintOverview(ctx.out);
        return FinishOutput(ctx, "tarndb", kExitOk);
    }
    const TCommand* command = nullptr;
    for (const TCommand& c : Commands())
        if (args[0] == c.name) command = &c;
    if (command == nullptr) {
        std::fprintf(ctx.err, "tarndb: unknown command '%s'\n\n", args[0].c_str());
        PrintOverview(ctx.err);
        return kExitUsage;
    }
    ctx.args.clear();
    // --password-file belongs to every command that may need a password.
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            ctx.args.insert(ctx.args.end(), args.begin() + static_cast<std::ptrdiff_t>(i),
                            args.end());
            break;
        }
        if (a == "--password-file" && i + 1 < args.size()) {
            ctx.passwordFile = args[++i];
        } else if (a.rfind("--password-file=", 0) == 0) {
            ctx.passwordFile = a.substr(16);
        } else {
            ctx.args.push_back(a);
        }
    }
    for (const std::string& a : ctx.args)
        if (a == "--help" || a == "-h") {
            PrintUsage(ctx.out, *command);
            return FinishOutput(ctx, std::string("tarndb ") + command->name, kExitOk);
        }
    try {
        if (ctx.passwordFile == "-" &&
            std::find(ctx.args.begin(), ctx.args.end(), "-") != ctx.args.end())
            throw UsageError(
                "--password-file - and the data both read standard input; give one of them a file");
        return FinishOutput(ctx, std::string("tarndb ") + command->name, command->run(ctx));
    } catch (const EToolError& e) {
        std::fprintf(ctx.err, "tarndb %s: %s\n", command->name, e.Message().c_str());
        if (e.ExitCode() == kExitUsage) {
            std::fputc('\n', ctx.err);
            PrintUsage(ctx.err, *command);
        }
        return e.ExitCode();
    } catch (const EAbort&) {
        std::fprintf(ctx.err, "tarndb %s: cancelled\n", command->name);
        return kExitFailure;
    } catch (const Exception& e) {
        std::fprintf(ctx.err, "tarndb %s: %s\n", command->name,
                     EngineMessageToTerminal(e.Message()).c_str());
        return kExitFailure;
    } catch (const std::bad_alloc&) {
        std::fprintf(ctx.err, "tarndb %s: out of memory\n", command->name);
        return kExitFailure;
    } catch (const std::exception& e) {
        std::fprintf(ctx.err, "tarndb %s: %s\n", command->name, e.what());
        return kExitFailure;
    }
}

}  // namespace tarn::cli

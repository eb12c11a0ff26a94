// What the tool says when it cannot do its work: a damaged value named by table, record
// and field; a path that is no database file named with the system's reason, without
// waiting on it and with the exit status the manual gives.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/bytes.h"
#include "tests/support/file_layout.h"
#include "tests/support/temp_dir.h"
#include "tools/testing/run_tool.h"

namespace tarn::cli {
namespace {

using namespace tarn::testing::layout;
using tarn::format::DatabaseInfo;
using testing::RunTarndb;
using testing::ToolRun;
namespace b = tarn::bytes;

// Table "books": id autoinc (slot 0), title string:20 (slot 4), cover blob (slot 25),
// three records, a unique index on title; blob values are stored compressed.
constexpr int32_t kTitleSlot = 4;
constexpr int32_t kCoverSlot = 25;

class DamagedBlob : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_EQ(RunTarndb({"create", db, "--compress", "zlib"}, dir.path()).status, 0);
        ASSERT_EQ(RunTarndb({"add-table", db, "books", "--field", "id:autoinc", "--field",
                             "title:string:20", "--field", "cover:blob", "--index",
                             "byTitle:unique:title"},
                            dir.path())
                      .status,
                  0);
        std::string cover = "0x" + std::string(400, '7');
        std::ofstream(dir.file("b.csv")) << "title,cover\nalpha," << cover << "\nbravo," << cover
                                         << "\ncharlie," << cover << "\n";
        ASSERT_EQ(RunTarndb({"import", db, "books", dir.file("b.csv")}, dir.path()).status, 0);
        bytes = testing::ReadWhole(db);
    }
    std::span<uint8_t> Span() {
        return std::span<uint8_t>(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
    }
    // File offset of record k's blob descriptor of the cover field.
    size_t Descriptor(int k) { return Data(k) + kCoverSlot; }
    // File offset of record k's fixed part.
    size_t Data(int k) {
        auto s = Span();
        size_t header = static_cast<size_t>(b::GetI32(s, kDirOffset + 8));
        size_t recTab = static_cast<size_t>(b::GetI32(s, header + kHdrRecTabOffset));
        return static_cast<size_t>(
            b::GetI32(s, recTab + kBlockLinkSize + static_cast<size_t>(k) * kRecItemSize));
    }
    void Save() { std::ofstream(db, std::ios::binary | std::ios::trunc) << bytes; }

    tarn::testing::TempDir dir;
    std::string db = dir.file("books.tdb");
    std::string bytes;
};

TEST_F(DamagedBlob, DumpNamesTableRecordAndField) {
    struct Case {
        const char* name;
        std::function<void(DamagedBlob&, size_t descriptor, size_t stored)> plant;
    } cases[] = {
        {"zlib header", [](DamagedBlob& f, size_t, size_t at) { f.bytes[at + 4] = 0x79; }},
        {"stream cut short",
         [](DamagedBlob& f, size_t, size_t at) {
             for (size_t i = at + 12; i < at + 40; ++i) f.bytes[i] = 0;
         }},
        {"length beyond the stream",
         [](DamagedBlob& f, size_t, size_t at) { b::PutI32(f.Span(), at, 1 << 20); }},
        {"area past the end",
         [](DamagedBlob& f, size_t d, size_t) {
             b::PutI32(f.Span(), d, static_cast<int32_t>(f.bytes.size()));
         }},
    };
    std::string sound = bytes;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bytes = sound;
        size_t d = Descriptor(1);
        size_t stored = static_cast<size_t>(b::GetI32(Span(), d));
        c.plant(*this, d, stored);
        Save();
        ToolRun r = RunTarndb({"dump", db, "books", "--format", "csv"}, dir.path());
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_NE(r.err.find("tarndb dump: table 'books', record 1, field 'cover': "),
                  std::string::npos)
            << r.err;
    }
}

// Every command that meets damage says that the file is damaged and where, as `check` does:
// the table, record and field of a value, or the block of the file.
TEST_F(DamagedBlob, EveryCommandSaysDamagedAndNamesThePlace) {
    struct Run {
        std::vector<std::string> args;  // "@" stands for the database, "#" for a new file
        int status;
        std::vector<const char*> says;  // in what the command printed
    };
    struct Case {
        const char* name;
        std::function<void(DamagedBlob&)> plant;
        std::vector<Run> runs;
    };
    const Case cases[] = {
        {"a blob that does not decompress",
         [](DamagedBlob& f) {
             f.bytes[static_cast<size_t>(b::GetI32(f.Span(), f.Descriptor(1))) + 4] = 0x79;
         },
         {{{"dump", "@", "books"}, 1, {"table 'books', record 1, field 'cover': ", "damaged"}},
          {{"query", "@", "books", "--order-by", "title", "--format", "json"},
           1,
           {"table 'books', record 1, field 'cover': ", "damaged"}},
          {{"export", "@"}, 1, {"table 'books', record 1, field 'cover': ", "damaged"}},
          {{"compact", "@"}, 1, {"table 'books', record 1, field 'cover': ", "damaged"}},
          {{"compact", "@", "--output", "#"},
           1,
           {"table 'books', record 1, field 'cover': ", "damaged"}},
          {{"check", "@"}, 1, {"table 'books', record 1: "}}}},
        {"a damaged settings block",
         [](DamagedBlob& f) {
             f.bytes[kInfoOffset + DatabaseInfo::kCompressModuleName + 1] = '\xDD';
         },
         {{{"info", "@"}, 1, {"settings block is damaged"}},
          {{"dump", "@", "books"}, 1, {"settings block is damaged"}},
          {{"compact", "@"}, 1, {"settings block is damaged"}},
          {{"check", "@"}, 1, {"settings: the block is damaged"}}}},
        {"a field type that records cannot hold",
         [](DamagedBlob& f) {
             size_t header = static_cast<size_t>(b::GetI32(f.Span(), kDirOffset + 8));
             f.bytes[header + kHdrFields + kFieldEntrySize + 33] = 12;  // title's type
         },
         {{{"dump", "@", "books"}, 1, {"table 'books': the file is damaged"}},
          {{"info", "@"}, 1, {"table books", "cannot be loaded: the file is damaged"}},
          {{"compact", "@"}, 1, {"table 'books': the file is damaged"}},
          {{"check", "@"}, 1, {"table 'books': field 'title' has the type code 12"}}}},
        {"duplicate keys in a unique index",
         [](DamagedBlob& f) {
             // Record 2 ("charlie") gets the title of record 0 ("alpha").
             std::memcpy(f.bytes.data() + f.Data(2) + kTitleSlot,
                         f.bytes.data() + f.Data(0) + kTitleSlot, 21);
         },
         {{{"compact", "@"}, 1, {"table 'books', record 2: ", "damaged"}},
          {{"compact", "@", "--output", "#"}, 1, {"table 'books', record 2: ", "damaged"}},
          {{"check", "@"}, 1, {"table 'books', record 2"}}}},
    };
    const std::string sound = bytes;
    for (const Case& c : cases) {
        bytes = sound;
        c.plant(*this);
        Save();
        const std::string damaged = testing::ReadWhole(db);
        for (const Run& run : c.runs) {
            std::vector<std::string> args = run.args;
            std::string shown;
            for (std::string& a : args) {
                if (a == "@") a = db;
                if (a == "#") a = dir.file("out.tdb");
                shown += a + " ";
            }
            SCOPED_TRACE(std::string(c.name) + ": " + shown);
            std::filesystem::remove(dir.file("out.tdb"));
            ToolRun r = RunTarndb(args, dir.path());
            EXPECT_EQ(r.signal, 0);
            EXPECT_EQ(r.status, run.status) << r.out << r.err;
            const std::string said = r.out + r.err;
            for (const char* s : run.says) EXPECT_NE(said.find(s), std::string::npos) << said;
            // A failed compact leaves the file as it was and nothing beside it.
            EXPECT_EQ(testing::ReadWhole(db), damaged);
            EXPECT_FALSE(std::filesystem::exists(dir.file("out.tdb")));
        }
    }
}

struct BadPath {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the path
    std::function<void(const std::string& path)> make;
    int status;
    const char* says;
};

void PrintTo(const BadPath& c, std::ostream* os) { *os << c.name; }

class ToolOnBadPath : public ::testing::TestWithParam<BadPath> {};

TEST_P(ToolOnBadPath, NamesTheReasonWithoutWaiting) {
    const BadPath& c = GetParam();
    tarn::testing::TempDir dir;
    std::string path = dir.file("target");
    if (c.make) c.make(path);
    std::vector<std::string> args = c.args;
    for (std::string& a : args)
        if (a == "@") a = path;
    std::ofstream(dir.file("rows.csv")) << "id\n1\n";
    // A check of anything must come back at once; the limit only keeps a hang from
    // stopping the suite.
    ToolRun r = RunTarndb(args, dir.path(), {}, "", 60);
    EXPECT_EQ(r.signal, 0) << "the tool did not come back";
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
}

void MakeFifo(const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }
void MakeDirectory(const std::string& p) { std::filesystem::create_directory(p); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ToolOnBadPath,
    ::testing::Values(
        BadPath{"check_fifo", {"check", "@"}, MakeFifo, 2, "not a regular file"},
        BadPath{"check_directory", {"check", "@"}, MakeDirectory, 2, "Is a directory"},
        BadPath{"check_missing", {"check", "@"}, nullptr, 2, "No such file or directory"},
        BadPath{"info_missing", {"info", "@"}, nullptr, 1, "No such file or directory"},
        BadPath{"dump_missing", {"dump", "@", "t"}, nullptr, 1, "No such file or directory"},
        BadPath{"import_missing",
                {"import", "@", "t", "rows.csv"},
                nullptr,
                1,
                "No such file or directory"},
        BadPath{"info_fifo", {"info", "@"}, MakeFifo, 1, "not a regular file"},
        BadPath{"dump_directory", {"dump", "@", "t"}, MakeDirectory, 1, "Is a directory"}),
    [](const ::testing::TestParamInfo<BadPath>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace tarn::cli

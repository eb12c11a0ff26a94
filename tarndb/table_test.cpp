#include "tarndb/table.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>

#include "platform/text/codepage.h"
#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/session.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using testing::TempDir;

// Text in the data code page, from UTF-8 source text.
std::string A(const char* utf8) { return Utf8ToAnsi(utf8); }

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

// The catalogue the version manager keeps: three tables with Chinese names.
class CatalogueRoad : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file(A("版本控制.dat"));
    void SetUp() override {
        TTarnDBCreator::CreateDatabase(path);
        TTarnDBCreator::AddTable(path, A("数据存储区"),
                                 {{A("存储区序号"), ftAutoInc},
                                  {A("名称"), ftString, 255},
                                  {A("目录"), ftString, 1024}});
        TTarnDBCreator::AddTable(path, A("文件索引表"),
                                 {{A("文件序号"), ftAutoInc},
                                  {A("存储区序号"), ftInteger},
                                  {A("源文件名称"), ftString, 1024},
                                  {A("备份文件目录"), ftString, 1024},
                                  {A("大小"), ftString, 32}});
    }
    void OpenTable(TTarnTable& t, const char* table) {
        t.SetDatabaseName(path);
        t.SetTableName(A(table));
        t.Open();
    }
};

TEST_F(CatalogueRoad, TheVersionManagersRoadThroughTheEngine) {
    TTarnTable areas(nullptr, "Tbarea"), files(nullptr, "Tbfileid");
    OpenTable(areas, "数据存储区");
    OpenTable(files, "文件索引表");
    EXPECT_EQ(areas.RecordCount(), 0);
    EXPECT_TRUE(areas.Eof());

    // Append areas; the table hands out the area numbers.
    for (const char* name : {"文档", "Photos", "代码"}) {
        areas.Append();
        areas.FieldByName(A("名称"))->SetAsString(A(name));
        areas.FieldByName(A("目录"))->SetAsString("/home/u/" + A(name));
        areas.Post();
        EXPECT_EQ(areas.FieldByName(A("存储区序号"))->AsInteger(), areas.RecordCount());
    }
    EXPECT_EQ(areas.FieldByName(A("存储区序号"))->AsString(), "3");
    EXPECT_EQ(areas.FieldByName(A("名称"))->AsString(), A("代码"));

    // Files in areas 1 and 2.
    int areaOf[] = {1, 2, 1, 1, 2};
    for (int i = 0; i < 5; ++i) {
        files.Append();
        files.FieldByName(A("存储区序号"))->SetAsInteger(areaOf[i]);
        files.FieldByName(A("源文件名称"))->SetAsString("/home/u/doc" + std::to_string(i) + ".txt");
        files.Post();
    }

    // Walk every area.
    std::vector<std::string> names;
    for (areas.First(); !areas.Eof(); areas.Next())
        names.push_back(AnsiToUtf8(areas.FieldByName(A("名称"))->AsString()));
    EXPECT_EQ(names, (std::vector<std::string>{"文档", "Photos", "代码"}));

    // The filter the application builds: "存储区序号=" followed by the area number.
    files.SetFilter(A("存储区序号=") + "1");
    EXPECT_EQ(files.RecordCount(), 5);  // compiled, not applied yet
    files.SetFiltered(true);
    EXPECT_EQ(files.RecordCount(), 3);
    std::vector<int> seen;
    for (files.First(); !files.Eof(); files.Next())
        seen.push_back(files.FieldByName(A("文件序号"))->AsInteger());
    EXPECT_EQ(seen, (std::vector<int>{1, 3, 4}));
    files.SetFilter(A("存储区序号=") + "2");  // re-filters at once
    EXPECT_EQ(files.RecordCount(), 2);
    EXPECT_EQ(files.FieldByName(A("文件序号"))->AsInteger(), 2);
    EXPECT_EQ(ErrorOf([&] { files.SetFilter(A("存储区序号=") + "'"); }),
              "Unterminated string constant");
    EXPECT_EQ(files.Filter(), A("存储区序号=") + "2");  // the old text stays
    files.SetFiltered(false);
    EXPECT_EQ(files.RecordCount(), 5);

    // Locate by name: case-insensitive and partial key.
    EXPECT_TRUE(areas.Locate(A("名称"), TVariant("photos"), loCaseInsensitive));
    EXPECT_EQ(areas.FieldByName(A("存储区序号"))->AsInteger(), 2);
    EXPECT_FALSE(areas.Locate(A("名称"), TVariant("photos"), 0));
    EXPECT_EQ(areas.FieldByName(A("存储区序号"))->AsInteger(), 2);  // unchanged
    EXPECT_TRUE(files.Locate(A("源文件名称"), TVariant("/home/u/doc3"), loPartialKey));
    EXPECT_EQ(files.FieldByName(A("文件序号"))->AsInteger(), 4);
    EXPECT_FALSE(files.Locate(A("源文件名称"), TVariant("/home/u/doc3"), 0));

    // Edit, Post, read back; Delete.
    files.Edit();
    files.FieldByName(A("大小"))->SetAsString("2026-12-10-04-30-00");
    files.Post();
    EXPECT_EQ(files.FieldByName(A("大小"))->AsString(), "2026-12-10-04-30-00");
    files.Delete();
    EXPECT_EQ(files.RecordCount(), 4);
    areas.Close();
    files.Close();

    // A fresh open sees everything as written.
    TTarnTable again;
    OpenTable(again, "文件索引表");
    EXPECT_EQ(again.RecordCount(), 4);
    EXPECT_TRUE(again.Locate(A("文件序号"), TVariant(int32_t(3)), 0));
    EXPECT_EQ(again.FieldByName(A("源文件名称"))->AsString(), "/home/u/doc2.txt");
}

TEST_F(CatalogueRoad, ThreeTablesShareOneDatabaseThatIsFreedWithTheLast) {
    TTarnTable a, b;
    OpenTable(a, "数据存储区");
    OpenTable(b, "文件索引表");
    EXPECT_EQ(a.Database(), b.Database());
    EXPECT_EQ(a.Database()->RefCount(), 2);
    a.Close();
    EXPECT_NE(Sessions().DefaultSession().LookupDatabase(path), nullptr);
    b.Close();
    EXPECT_EQ(Sessions().DefaultSession().LookupDatabase(path), nullptr);
}

class TableTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("t.dat");
    void SetUp() override {
        TTarnDBCreator::CreateDatabase(path);
        TTarnDBCreator::AddTable(path, "Plain",
                                 {{"ID", ftAutoInc},
                                  {"Name", ftString, 20},
                                  {"N", ftInteger},
                                  {"Body", ftMemo},
                                  {"Day", ftDate},
                                  {"At", ftTime},
                                  {"Stamp", ftDateTime}});
    }
    void Open(TTarnTable& t, const std::string& table = "Plain") {
        t.SetDatabaseName(path);
        t.SetTableName(table);
        t.Open();
    }
    // The same file by another name: a database object of its own, with its own storage.
    void OpenByAnotherName(TTarnTable& t) {
        t.SetDatabaseName(std::filesystem::relative(path).string());
        t.SetTableName("Plain");
        t.Open();
    }
    void Add(TTarnTable& t, const std::string& name, int n) {
        t.Append();
        t.FieldByName("Name")->SetAsString(name);
        t.FieldByName("N")->SetAsInteger(n);
        t.Post();
    }
};

TEST_F(TableTest, RecNoCountsAndNewRecordDefaults) {
    TTarnTable t(nullptr, "T1");
    Open(t);
    EXPECT_EQ(t.RecNo(), 0);
    t.Append();
    // New records: today, the time of day now, 1899-12-30 00:00; numbers and strings empty.
    EXPECT_NEAR(t.FieldByName("Day")->AsDateTime(), std::floor(Now()), 1.0);
    EXPECT_NEAR(t.FieldByName("At")->AsDateTime(), Now() - std::floor(Now()), 0.01);
    EXPECT_EQ(t.FieldByName("Stamp")->AsDateTime(), 0.0);
    EXPECT_EQ(t.FieldByName("N")->AsInteger(), 0);
    EXPECT_EQ(t.FieldByName("Name")->AsString(), "");
    EXPECT_FALSE(t.FieldByName("N")->IsNull());
    t.Cancel();
    for (int i = 0; i < 3; ++i) Add(t, "r" + std::to_string(i), i);
    t.SetRecNo(0);
    EXPECT_EQ(t.RecNo(), 1);
    t.SetRecNo(4);  // RecordCount + 1 is ignored
    EXPECT_EQ(t.RecNo(), 1);
    t.SetRecNo(3);
    EXPECT_EQ(t.FieldByName("Name")->AsString(), "r2");
    // Deleting the last row makes the new last row current.
    t.Delete();
    EXPECT_EQ(t.FieldByName("Name")->AsString(), "r1");
    EXPECT_EQ(t.RecordCount(), 2);
}

TEST_F(TableTest, DatesRoundTripIncludingDaysBefore1899) {
    TTarnTable t;
    Open(t);
    struct Case {
        double stamp;
    } cases[] = {{45000.75}, {-1.25}, {-600000.5}, {0.0}};
    for (const Case& c : cases) {
        t.Append();
        t.FieldByName("Stamp")->SetAsDateTime(c.stamp);
        t.FieldByName("Day")->SetAsDateTime(c.stamp);
        t.Post();
        EXPECT_DOUBLE_EQ(t.FieldByName("Stamp")->AsDateTime(), c.stamp);
        EXPECT_DOUBLE_EQ(t.FieldByName("Day")->AsDateTime(),
                         c.stamp < 0 ? std::ceil(c.stamp) : std::floor(c.stamp));
    }
}

TEST_F(TableTest, MemoFieldsReadAndWriteTheirWholeValue) {
    TTarnTable t;
    Open(t);
    t.Append();
    t.FieldByName("Body")->SetAsString(std::string(5000, 'm'));
    t.Post();
    t.Append();
    t.Post();
    TTarnTable u;
    Open(u);
    u.First();
    EXPECT_EQ(u.FieldByName("Body")->AsString(), std::string(5000, 'm'));
    u.Next();
    EXPECT_EQ(u.FieldByName("Body")->AsString(), "");
    // A filter on the memo text.
    u.SetFilter("Body LIKE 'mmm%'");
    u.SetFiltered(true);
    EXPECT_EQ(u.RecordCount(), 1);
}

TEST_F(TableTest, FailuresAndTheirMessages) {
    TTarnTable t(nullptr, "T9");
    t.SetDatabaseName(path);
    t.SetTableName("Missing");
    EXPECT_EQ(ErrorOf([&] { t.Open(); }), "T9: Table 'Missing' not found");
    EXPECT_FALSE(t.Active());
    // Assigning DatabaseName empties TableName.
    t.SetTableName("Plain");
    t.SetDatabaseName(path);
    EXPECT_EQ(t.TableName(), "");
    t.SetTableName("Plain");
    t.Open();
    EXPECT_EQ(ErrorOf([&] { t.SetTableName("x"); }),
              "T9: Cannot perform this operation on an open dataset");
    EXPECT_EQ(ErrorOf([&] { t.FieldByName("Nope"); }), "T9: Field 'Nope' not found");
    EXPECT_TRUE(t.Lookup("Name", TVariant("zzz"), "N").IsNull());
    t.SetReadOnly(true);
    EXPECT_EQ(ErrorOf([&] { t.Append(); }), "T9: Cannot modify a read-only dataset");
    // A filter that does not parse, set on a closed dataset, raises at open and leaves it
    // open on all rows with Filtered still true.
    TTarnTable f;
    f.SetDatabaseName(path);
    f.SetTableName("Plain");
    f.SetFilter("N = = 1");
    f.SetFiltered(true);
    EXPECT_NE(ErrorOf([&] { f.Open(); }), "(no error)");
    EXPECT_TRUE(f.Active());
    EXPECT_TRUE(f.Filtered());
}

TEST_F(TableTest, ReadOnlyFilesAndUnknownSessions) {
    TTarnTable s(nullptr, "TS");
    s.SetDatabaseName(path);
    s.SetTableName("Plain");
    s.SetSessionName("Nope");
    EXPECT_EQ(ErrorOf([&] { s.Open(); }), "Invalid session name Nope");
    EXPECT_FALSE(s.Active());

    {
        TTarnTable w;
        Open(w);
        Add(w, "kept", 1);
    }
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    TTarnTable t(nullptr, "RO");
    Open(t);
    EXPECT_EQ(t.RecordCount(), 1);
    EXPECT_FALSE(t.CanModify());
    EXPECT_EQ(ErrorOf([&] { t.Edit(); }), "RO: Cannot modify a read-only dataset");
    EXPECT_EQ(ErrorOf([&] { t.Delete(); }), "RO: Cannot modify a read-only dataset");
    EXPECT_EQ(t.FieldByName("Name")->AsString(), "kept");
}

TEST_F(TableTest, AWalkShowsWhatAnotherDatabaseObjectWroteAndPostsOnlyItsOwnChange) {
    TTarnTable a(nullptr, "A");
    Open(a);
    for (int i = 0; i < 5; ++i) Add(a, "r" + std::to_string(i), i);
    TTarnTable b(nullptr, "B");
    OpenByAnotherName(b);
    ASSERT_NE(a.Database(), b.Database());

    a.First();  // the walk reads the following rows ahead
    b.SetRecNo(3);
    b.Edit();
    b.FieldByName("Name")->SetAsString("renamed by b");
    b.Post();
    a.Next();
    a.Next();
    EXPECT_EQ(a.FieldByName("Name")->AsString(), "renamed by b");
    // a changes another field of the row: b's change stays.
    a.Edit();
    a.FieldByName("N")->SetAsInteger(100);
    a.Post();
    TTarnTable c;
    Open(c);
    c.SetRecNo(3);
    EXPECT_EQ(c.FieldByName("Name")->AsString(), "renamed by b");
    EXPECT_EQ(c.FieldByName("N")->AsInteger(), 100);
    // And the other way round, with a walking backwards.
    a.Last();
    b.SetRecNo(2);
    b.Edit();
    b.FieldByName("N")->SetAsInteger(-2);
    b.Post();
    a.Prior();
    a.Prior();
    a.Prior();
    EXPECT_EQ(a.FieldByName("Name")->AsString(), "r1");
    EXPECT_EQ(a.FieldByName("N")->AsInteger(), -2);
}

TEST_F(TableTest, JumpsInASmallTableShowWhatWasWrittenSinceTheyReadItAhead) {
    TTarnTable a(nullptr, "A");
    Open(a);
    for (int i = 0; i < 6; ++i) Add(a, "r" + std::to_string(i), i);
    TTarnTable b(nullptr, "B");
    OpenByAnotherName(b);
    ASSERT_NE(a.Database(), b.Database());

    a.SetRecNo(5);
    a.SetRecNo(2);  // the second jump reads every row ahead
    EXPECT_EQ(a.FieldByName("Name")->AsString(), "r1");
    b.SetRecNo(4);
    b.Edit();
    b.FieldByName("Name")->SetAsString("renamed by b");
    b.Post();
    a.SetRecNo(4);
    EXPECT_EQ(a.FieldByName("Name")->AsString(), "renamed by b");
    a.SetRecNo(6);
    EXPECT_EQ(a.FieldByName("Name")->AsString(), "r5");
    // A write through the table itself, then jumps again.
    a.SetRecNo(3);
    a.Edit();
    a.FieldByName("N")->SetAsInteger(-3);
    a.Post();
    for (int recNo : {1, 3, 6, 3}) a.SetRecNo(recNo);
    EXPECT_EQ(a.FieldByName("N")->AsInteger(), -3);
    b.SetRecNo(1);
    b.Edit();
    b.FieldByName("N")->SetAsInteger(-1);
    b.Post();
    a.SetRecNo(1);
    EXPECT_EQ(a.FieldByName("N")->AsInteger(), -1);
    EXPECT_EQ(a.FieldByName("Name")->AsString(), "r0");
}

TEST_F(TableTest, LongWalksMeetEveryRowOnceAndSeeChangesAheadOfThem) {
    TTarnTable a(nullptr, "A");
    Open(a);
    constexpr int kRows = 5000;  // walks read ever more rows ahead: several sizes are met
    a.Database()->StartTransaction();
    for (int i = 0; i < kRows; ++i) Add(a, "r", i);
    a.Database()->Commit();
    TTarnTable b(nullptr, "B");
    OpenByAnotherName(b);
    // Each thousandth row is changed by b just before a reaches it: mostly after a took
    // its copy (a row that begins the next read-ahead is read afresh anyway).
    auto changed = [](int row) { return row > 0 && row % 1000 == 1; };

    int row = 0;
    for (a.First(); !a.Eof(); a.Next(), ++row) {
        ASSERT_EQ(a.FieldByName("N")->AsInteger(), changed(row) ? -row : row);
        if (changed(row + 1)) {
            b.SetRecNo(row + 2);
            b.Edit();
            b.FieldByName("N")->SetAsInteger(-(row + 1));
            b.Post();
        }
    }
    EXPECT_EQ(row, kRows);
    for (a.Last(); !a.Bof(); a.Prior()) {
        --row;
        ASSERT_EQ(a.FieldByName("N")->AsInteger(), changed(row) ? -row : row);
    }
    EXPECT_EQ(row, 0);
}

TEST_F(TableTest, FindFirstSearchesWithoutFiltering) {
    TTarnTable t;
    Open(t);
    for (int i = 0; i < 5; ++i) Add(t, "r" + std::to_string(i), i * 10);
    t.First();
    t.SetFilter("N >= 25");
    EXPECT_TRUE(t.FindFirst());
    EXPECT_EQ(t.FieldByName("N")->AsInteger(), 30);
    EXPECT_EQ(t.RecordCount(), 5);
    EXPECT_TRUE(t.FindNext());
    EXPECT_EQ(t.FieldByName("N")->AsInteger(), 40);
    EXPECT_FALSE(t.FindNext());
    EXPECT_EQ(t.FieldByName("N")->AsInteger(), 40);
    EXPECT_TRUE(t.FindFirst());
    t.SetFilter("N > 1000");
    EXPECT_FALSE(t.FindFirst());
    EXPECT_EQ(t.FieldByName("N")->AsInteger(), 30);
    // Filter that matches nothing, and OnFilterRecord in front of the expression.
    t.SetFiltered(true);
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_EQ(t.RecNo(), 0);
    EXPECT_TRUE(t.IsEmpty());
    int asked = 0;
    t.OnFilterRecord = [&](TDataSet& ds, bool& accept) {
        ++asked;
        accept = ds.FieldByName("N")->AsInteger() != 20;
    };
    t.SetFilter("");
    t.Refresh();
    EXPECT_EQ(t.RecordCount(), 4);
    EXPECT_GT(asked, 0);
}

// A search that fails part-way (the filter raises, or the filter event throws) keeps the
// current row as it was: its fields show its own stored values, so an edit posted after the
// failure writes only what was changed, and the row the search stopped on stays untouched.
TEST_F(TableTest, FailedSearchLeavesTheCurrentRowItsOwnValues) {
    struct Case {
        const char* what;
        int startId;  // the current row before the search
        bool (TDataSet::*search)();
        bool handlerThrows;  // else the filter text raises (division by zero at ID 3)
    } cases[] = {
        {"FindFirst, filter raises", 1, &TDataSet::FindFirst, false},
        {"FindNext, filter raises", 1, &TDataSet::FindNext, false},
        {"FindLast, filter raises", 5, &TDataSet::FindLast, false},
        {"FindPrior, filter raises", 5, &TDataSet::FindPrior, false},
        {"FindNext, event throws", 1, &TDataSet::FindNext, true},
        {"FindPrior, event throws", 5, &TDataSet::FindPrior, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        path = dir.file(std::string("search-") + std::to_string(&c - cases) + ".dat");
        TTarnDBCreator::CreateDatabase(path);
        TTarnDBCreator::AddTable(path, "Plain",
                                 {{"ID", ftAutoInc}, {"Name", ftString, 20}, {"N", ftInteger}});
        {
            TTarnTable t(nullptr, "T");
            Open(t);
            for (int i = 1; i <= 5; ++i) Add(t, "r" + std::to_string(i), i * 10);
            ASSERT_TRUE(t.Locate("ID", TVariant(c.startId), 0));
            if (c.handlerThrows) {
                t.OnFilterRecord = [](TDataSet& ds, bool& accept) {
                    if (ds.FieldByName("ID")->AsInteger() == 3)
                        throw EDatabaseError("handler failed");
                    accept = false;
                };
            } else {
                t.SetFilter("10 / (ID - 3) > 100");
            }
            EXPECT_THROW((t.*c.search)(), Exception);
            EXPECT_EQ(t.State(), dsBrowse);
            EXPECT_EQ(t.FieldByName("ID")->AsInteger(), c.startId);
            EXPECT_EQ(t.FieldByName("Name")->AsString(), "r" + std::to_string(c.startId));
            t.OnFilterRecord = nullptr;
            t.Edit();
            t.FieldByName("N")->SetAsInteger(999);
            t.Post();
        }
        TTarnTable check;
        Open(check);
        std::vector<std::string> rows;
        for (check.First(); !check.Eof(); check.Next())
            rows.push_back(check.FieldByName("ID")->AsString() + ":" +
                           check.FieldByName("Name")->AsString() + ":" +
                           check.FieldByName("N")->AsString());
        std::vector<std::string> want = {"1:r1:10", "2:r2:20", "3:r3:30", "4:r4:40", "5:r5:50"};
        want[static_cast<size_t>(c.startId - 1)] =
            std::to_string(c.startId) + ":r" + std::to_string(c.startId) + ":999";
        EXPECT_EQ(rows, want);
    }
}

}  // namespace
}  // namespace tarn

// The table component over indexed tables: key order, placing posted rows, Locate through
// an index, master-detail ranges, filtering in index order.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "tarndb/creator.h"
#include "tarndb/dataset/data_source.h"
#include "tarndb/errors.h"
#include "tarndb/table.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using testing::TempDir;

class IndexedTable : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("i.dat");
    void SetUp() override {
        TTarnDBCreator::CreateDatabase(path);
        TTarnDBCreator::AddTable(
            path, "Areas", {{"AreaNo", ftAutoInc}, {"Name", ftString, 20}},
            {{"PK", tiPrimary | tiUnique, {"AreaNo"}}, {"ByName", tiCaseInsensitive, {"Name"}}});
        TTarnDBCreator::AddTable(
            path, "Files", {{"FileNo", ftAutoInc}, {"AreaNo", ftInteger}, {"Path", ftString, 40}},
            {{"ByArea", {}, {"AreaNo"}}, {"ByPath", tiDescending, {"Path"}}});
    }
    void Open(TTarnTable& t, const std::string& table, const std::string& index = "") {
        t.SetDatabaseName(path);
        t.SetTableName(table);
        t.SetIndexName(index);
        t.Open();
    }
    static std::vector<std::string> Column(TTarnTable& t, const std::string& field) {
        std::vector<std::string> out;
        for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName(field)->AsString());
        return out;
    }
    void AddArea(TTarnTable& areas, const std::string& name) {
        areas.Append();
        areas.FieldByName("Name")->SetAsString(name);
        areas.Post();
    }
    void AddFile(TTarnTable& files, int area, const std::string& p) {
        files.Append();
        files.FieldByName("AreaNo")->SetAsInteger(area);
        files.FieldByName("Path")->SetAsString(p);
        files.Post();
    }
};

TEST_F(IndexedTable, PrimaryIndexOrdersThePostedRowAndFollowsKeyChanges) {
    TTarnTable areas;
    Open(areas, "Areas");  // no index name: the primary index
    EXPECT_EQ(areas.CurIndex(), 0);
    for (const char* n : {"b", "a", "c"}) {
        areas.Append();
        areas.FieldByName("Name")->SetAsString(n);
        areas.Post();
        EXPECT_EQ(areas.FieldByName("Name")->AsString(), n);  // the posted row is current
    }
    // Give area 1 the key 10: it moves to the end and stays current.
    areas.First();
    areas.Edit();
    areas.FieldByName("AreaNo")->SetAsInteger(10);
    areas.Post();
    EXPECT_EQ(areas.FieldByName("Name")->AsString(), "b");
    EXPECT_EQ(areas.RecNo(), 3);
    EXPECT_EQ(Column(areas, "AreaNo"), (std::vector<std::string>{"2", "3", "10"}));
    // A duplicate key is refused and the dataset stays in its edit state.
    areas.First();
    areas.Edit();
    areas.FieldByName("AreaNo")->SetAsInteger(3);
    try {
        areas.Post();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Invalid unique field value '3'");
    }
    EXPECT_EQ(areas.State(), dsEdit);
    areas.Cancel();
    // Another order by index name, case-insensitive.
    areas.SetIndexName("byname");
    EXPECT_EQ(Column(areas, "Name"), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(IndexedTable, RowsPostedAfterAnotherDatasetsWritesKeepTheViewInKeyOrder) {
    TTarnTable a(nullptr, "A"), b(nullptr, "B");
    Open(a, "Areas");
    for (int no : {1, 2, 3, 4, 5, 10}) {
        a.Append();
        a.FieldByName("AreaNo")->SetAsInteger(no);
        a.Post();
    }
    Open(b, "Areas");  // the same storage, a view of its own
    auto deleteAndAppend = [&](int gone, int added) {
        ASSERT_TRUE(b.Locate("AreaNo", TVariant(gone), 0));
        b.Delete();
        b.Append();
        b.FieldByName("AreaNo")->SetAsInteger(added);
        b.Post();
    };
    // b leaves as many rows as a shows, but other ones; a's view keeps its rows.
    deleteAndAppend(5, 20);
    a.Append();
    a.FieldByName("AreaNo")->SetAsInteger(7);
    a.Post();
    EXPECT_EQ(a.FieldByName("AreaNo")->AsInteger(), 7);
    EXPECT_EQ(Column(a, "AreaNo"), (std::vector<std::string>{"1", "2", "3", "4", "5", "7", "10"}));
    EXPECT_TRUE(a.Locate("AreaNo", TVariant(10), 0));
    // The same for a row whose key moves it.
    a.Refresh();
    deleteAndAppend(20, 6);
    ASSERT_TRUE(a.Locate("AreaNo", TVariant(2), 0));
    a.Edit();
    a.FieldByName("AreaNo")->SetAsInteger(15);
    a.Post();
    EXPECT_EQ(a.FieldByName("AreaNo")->AsInteger(), 15);
    EXPECT_EQ(Column(a, "AreaNo"),
              (std::vector<std::string>{"1", "3", "4", "7", "10", "15", "20"}));
    EXPECT_TRUE(a.Locate("AreaNo", TVariant(10), 0));
    // Once a's view is read again it shows the storage as it is.
    a.Refresh();
    EXPECT_EQ(Column(a, "AreaNo"), (std::vector<std::string>{"1", "3", "4", "6", "7", "10", "15"}));
}

// Integer keys of every width order by value: signed small and large integers below zero,
// words above 32767, a descending index and a key of two integer fields. Every value is
// found again through its index.
TEST_F(IndexedTable, IntegerKeysOfEveryWidthSortByValueAndAreFound) {
    TTarnDBCreator::AddTable(
        path, "Nums", {{"S", ftSmallint}, {"W", ftWord}, {"I", ftInteger}, {"L", ftLargeint}},
        {{"ByS", {}, {"S"}},
         {"ByW", {}, {"W"}},
         {"ByIDown", tiDescending, {"I"}},
         {"ByL", {}, {"L"}},
         {"ByIS", {}, {"I", "S"}}});
    struct Row {
        int s, w, i;
        int64_t l;
    };
    const std::vector<Row> rows = {
        {-32768, 65535, 7, int64_t{1} << 40},
        {32767, 0, -7, -(int64_t{1} << 40)},
        {-1, 32768, 7, -1},
        {0, 32767, INT32_MIN, INT64_MIN},
        {1, 1, INT32_MAX, INT64_MAX},
        {-300, 40000, -7, 4294967296},
        {300, 200, 0, 4294967295},
        {-2, 65534, 7, -4294967296},
    };
    TTarnTable t;
    Open(t, "Nums");
    for (const Row& r : rows) {
        t.Append();
        t.FieldByName("S")->SetAsInteger(r.s);
        t.FieldByName("W")->SetAsInteger(r.w);
        t.FieldByName("I")->SetAsInteger(r.i);
        t.FieldByName("L")->SetAsLargeInt(r.l);
        t.Post();
    }
    auto sorted = [&](auto less, auto text) {
        std::vector<Row> v = rows;
        std::stable_sort(v.begin(), v.end(), less);
        std::vector<std::string> out;
        for (const Row& r : v) out.push_back(text(r));
        return out;
    };
    auto str = [](auto n) { return std::to_string(n); };
    t.SetIndexName("ByS");
    EXPECT_EQ(Column(t, "S"), sorted([](const Row& a, const Row& b) { return a.s < b.s; },
                                     [&](const Row& r) { return str(r.s); }));
    t.SetIndexName("ByW");
    EXPECT_EQ(Column(t, "W"), sorted([](const Row& a, const Row& b) { return a.w < b.w; },
                                     [&](const Row& r) { return str(r.w); }));
    t.SetIndexName("ByIDown");
    EXPECT_EQ(Column(t, "I"), sorted([](const Row& a, const Row& b) { return a.i > b.i; },
                                     [&](const Row& r) { return str(r.i); }));
    t.SetIndexName("ByL");
    EXPECT_EQ(Column(t, "L"), sorted([](const Row& a, const Row& b) { return a.l < b.l; },
                                     [&](const Row& r) { return str(r.l); }));
    t.SetIndexName("ByIS");
    std::vector<std::string> pairs;
    for (t.First(); !t.Eof(); t.Next())
        pairs.push_back(t.FieldByName("I")->AsString() + "/" + t.FieldByName("S")->AsString());
    EXPECT_EQ(pairs,
              sorted([](const Row& a, const Row& b) { return a.i != b.i ? a.i < b.i : a.s < b.s; },
                     [&](const Row& r) { return str(r.i) + "/" + str(r.s); }));
    for (const Row& r : rows) {
        t.SetIndexName("ByW");
        EXPECT_TRUE(t.Locate("W", TVariant(int32_t{r.w}), 0)) << r.w;
        EXPECT_EQ(t.FieldByName("S")->AsInteger(), r.s);
        t.SetIndexName("ByL");
        EXPECT_TRUE(t.Locate("L", TVariant(r.l), 0)) << r.l;
        EXPECT_EQ(t.FieldByName("S")->AsInteger(), r.s);
        t.SetIndexName("ByIS");
        EXPECT_TRUE(t.Locate("I;S", TVariant::Array({r.i, r.s}), 0)) << r.i;
        EXPECT_EQ(t.FieldByName("L")->AsLargeInt(), r.l);
    }
}

TEST_F(IndexedTable, LocateThroughAnIndexOnlyFindsRowsInView) {
    TTarnTable files;
    Open(files, "Files");
    AddFile(files, 1, "/a/one");
    AddFile(files, 2, "/b/two");
    AddFile(files, 1, "/a/three");
    // The ByPath index is case-sensitive: used by a case-sensitive Locate.
    EXPECT_TRUE(files.Locate("Path", TVariant("/b/two"), 0));
    EXPECT_EQ(files.FieldByName("FileNo")->AsInteger(), 2);
    files.SetFilter("AreaNo = 1");
    files.SetFiltered(true);
    EXPECT_FALSE(files.Locate("Path", TVariant("/b/two"), 0));  // filtered out of view
    EXPECT_TRUE(files.Locate("Path", TVariant("/a/t"), loPartialKey));
    EXPECT_EQ(files.FieldByName("FileNo")->AsInteger(), 3);
    // A filtered table re-ordered by IndexName keeps only the rows that pass.
    files.SetIndexName("ByPath");  // descending
    EXPECT_EQ(Column(files, "Path"), (std::vector<std::string>{"/a/three", "/a/one"}));
    EXPECT_EQ(files.Lookup("Path", TVariant("/a/one"), "FileNo").AsInt64(), 1);
}

TEST_F(IndexedTable, DetailRowsFollowTheMaster) {
    TTarnTable areas, files;
    Open(areas, "Areas");
    for (const char* n : {"x", "y", "z"}) {
        areas.Append();
        areas.FieldByName("Name")->SetAsString(n);
        areas.Post();
    }
    Open(files, "Files", "ByArea");
    AddFile(files, 1, "/1/a");
    AddFile(files, 3, "/3/a");
    AddFile(files, 1, "/1/b");
    files.Close();

    TDataSource source(&areas);
    files.SetMasterSource(&source);
    files.SetMasterFields("AreaNo");
    files.Open();
    areas.First();
    EXPECT_TRUE(files.RangeActive());
    EXPECT_EQ(Column(files, "Path"), (std::vector<std::string>{"/1/a", "/1/b"}));
    areas.Next();  // area 2 has no files
    EXPECT_EQ(files.RecordCount(), 0);
    areas.Next();
    EXPECT_EQ(Column(files, "Path"), (std::vector<std::string>{"/3/a"}));
    areas.Close();  // the master closes: every row again
    EXPECT_EQ(files.RecordCount(), 3);
}

// Ranges of every size, from none to many rows, at the start, middle and end of the key
// list, visited in an order that jumps back and forth.
TEST_F(IndexedTable, DetailRangesOfEverySize) {
    constexpr int kAreas = 12;
    auto rowsOf = [](int area) { return area % 4 == 2 ? 0 : (area * area) % 37; };
    TTarnTable areas, files;
    Open(areas, "Areas");
    for (int a = 1; a <= kAreas; ++a) AddArea(areas, "a" + std::to_string(a));
    Open(files, "Files", "ByArea");
    for (int round = 0; round < 40; ++round)
        for (int a = kAreas; a >= 1; --a)
            if (round < rowsOf(a))
                AddFile(files, a, std::to_string(a) + "/" + std::to_string(round));
    files.Close();
    TDataSource source(&areas);
    files.SetMasterSource(&source);
    files.SetMasterFields("AreaNo");
    files.Open();
    for (int visit = 0; visit < 3 * kAreas; ++visit) {
        const int area = 1 + (visit * 5) % kAreas;
        SCOPED_TRACE(area);
        areas.SetRecNo(area);
        int count = 0;
        for (files.First(); !files.Eof(); files.Next(), ++count)
            ASSERT_EQ(files.FieldByName("AreaNo")->AsInteger(), area);
        EXPECT_EQ(count, rowsOf(area));
        EXPECT_EQ(files.RecordCount(), rowsOf(area));
    }
}

// A filter on a detail table works within the master's range; switching it off, changing it
// or refreshing keeps the range as long as the master link is active.
TEST_F(IndexedTable, DetailFilterStaysWithinTheMasterRange) {
    TTarnTable areas, files;
    Open(areas, "Areas");
    AddArea(areas, "x");
    AddArea(areas, "y");
    Open(files, "Files", "ByArea");
    AddFile(files, 1, "/1/a");
    AddFile(files, 2, "/2/a");
    AddFile(files, 1, "/1/b");
    AddFile(files, 2, "/2/b");
    files.Close();
    TDataSource source(&areas);
    files.SetMasterSource(&source);
    files.SetMasterFields("AreaNo");
    files.Open();
    areas.First();
    const std::vector<std::string> areaOne = {"/1/a", "/1/b"};
    ASSERT_EQ(Column(files, "Path"), areaOne);

    files.SetFilter("Path LIKE '%b'");
    files.SetFiltered(true);
    EXPECT_EQ(Column(files, "Path"), (std::vector<std::string>{"/1/b"}));
    files.SetFilter("Path LIKE '%a'");  // a new text re-filters the range, not the table
    EXPECT_EQ(Column(files, "Path"), (std::vector<std::string>{"/1/a"}));
    files.Refresh();
    EXPECT_EQ(Column(files, "Path"), (std::vector<std::string>{"/1/a"}));
    files.SetFiltered(false);
    EXPECT_TRUE(files.RangeActive());
    EXPECT_EQ(Column(files, "Path"), areaOne);
    files.Refresh();
    EXPECT_EQ(Column(files, "Path"), areaOne);
    areas.Next();  // the master still leads
    EXPECT_EQ(Column(files, "Path"), (std::vector<std::string>{"/2/a", "/2/b"}));
}

// Losing the master's data source ends the range, as closing the master does.
TEST_F(IndexedTable, DestroyingTheMasterSourceShowsAllDetailRows) {
    TTarnTable areas, files;
    Open(areas, "Areas");
    AddArea(areas, "x");
    AddArea(areas, "y");
    Open(files, "Files", "ByArea");
    AddFile(files, 1, "/1/a");
    AddFile(files, 2, "/2/a");
    AddFile(files, 1, "/1/b");
    files.Close();
    auto source = std::make_unique<TDataSource>(&areas);
    files.SetMasterSource(source.get());
    files.SetMasterFields("AreaNo");
    files.Open();
    areas.First();
    ASSERT_EQ(files.RecordCount(), 2);
    source.reset();
    EXPECT_EQ(files.MasterSource(), nullptr);
    EXPECT_FALSE(files.RangeActive());
    EXPECT_EQ(files.RecordCount(), 3);
    areas.Next();  // no longer followed
    EXPECT_EQ(files.RecordCount(), 3);
    files.Refresh();
    EXPECT_EQ(files.RecordCount(), 3);
}

TEST_F(IndexedTable, CircularMasterSourceIsRefused) {
    TTarnTable a(nullptr, "A"), b(nullptr, "B");
    TDataSource sa(&a), sb(&b);
    b.SetMasterSource(&sa);
    try {
        a.SetMasterSource(&sb);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "A: Circular datalinks are not allowed");
    }
}

}  // namespace
}  // namespace tarn

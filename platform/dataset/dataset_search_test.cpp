// Bookmarks and the generic searches (Locate, Lookup, FindFirst and its sisters).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/memory_dataset.h"

namespace tarn {
namespace {

using testing::MemoryDataSet;

std::unique_ptr<MemoryDataSet> Versions() {
    auto ds = std::make_unique<MemoryDataSet>(
        std::vector<testing::MemColumn>{{"FileNo", ftInteger}, {"Version", ftString, 20}});
    ds->Open();
    ds->AppendRecord({TVariant(1), TVariant("2024-01-01")});
    ds->AppendRecord({TVariant(2), TVariant("Report")});
    ds->AppendRecord({TVariant(2), TVariant("REPORT-final")});
    ds->AppendRecord({TVariant(3), TVariant("2024-02-02")});
    ds->First();
    return ds;
}

std::string Current(TDataSet& ds) { return ds.FieldByName("Version")->AsString(); }

TEST(Bookmarks, GoBackToAMarkedRecord) {
    auto ds = Versions();
    ds->Next();
    TBookmark mark = ds->GetBookmark();
    ASSERT_EQ(4u, mark.size());
    EXPECT_TRUE(ds->BookmarkValid(mark));
    ds->Last();
    TBookmark last = ds->GetBookmark();
    EXPECT_LT(ds->CompareBookmarks(mark, last), 0);
    EXPECT_GT(ds->CompareBookmarks(last, mark), 0);
    EXPECT_EQ(0, ds->CompareBookmarks(mark, mark));
    EXPECT_EQ(0, ds->CompareBookmarks({}, {}));

    std::vector<std::string> events;
    ds->BeforeScroll = [&](TDataSet& d) { events.push_back("Before:" + Current(d)); };
    ds->AfterScroll = [&](TDataSet& d) { events.push_back("After:" + Current(d)); };
    ds->GotoBookmark(mark);
    EXPECT_EQ("Report", Current(*ds));
    EXPECT_EQ(2, ds->RecNo());
    EXPECT_FALSE(ds->Eof());
    EXPECT_EQ((std::vector<std::string>{"Before:2024-02-02", "After:Report"}), events);
    ds->GotoBookmark({});  // no bookmark: nothing happens
    EXPECT_EQ(2u, events.size());
}

TEST(Bookmarks, ADeletedRecordsBookmarkIsNoLongerValid) {
    auto ds = Versions();
    ds->Next();
    TBookmark gone = ds->GetBookmark();
    ds->Delete();
    EXPECT_FALSE(ds->BookmarkValid(gone));
    ds->Last();
    try {
        ds->GotoBookmark(gone);
        FAIL() << "bookmark of a deleted record";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("Bookmark not found", e.Message());
    }
    EXPECT_EQ("2024-02-02", Current(*ds));  // the current record stays

    // A record being inserted has no bookmark yet.
    ds->Append();
    EXPECT_FALSE(ds->BookmarkAvailable());
    EXPECT_TRUE(ds->GetBookmark().empty());
    ds->Cancel();
    ds->Close();
    EXPECT_FALSE(ds->BookmarkValid(gone));
}

TEST(Locate, FindsTheFirstMatchInOrderAndHonoursTheOptions) {
    auto ds = Versions();
    struct Case {
        TVariant key;
        TLocateOptions options;
        const char* found;  // nullptr: not found
    };
    const Case cases[] = {
        {TVariant("Report"), 0, "Report"},
        {TVariant("report"), 0, nullptr},
        {TVariant("report"), loCaseInsensitive, "Report"},
        {TVariant("REPORT-"), 0, nullptr},
        {TVariant("REPORT-"), loPartialKey, "REPORT-final"},
        {TVariant("rep"), loPartialKey | loCaseInsensitive, "Report"},
        {TVariant("2024"), loPartialKey, "2024-01-01"},
        {TVariant::Array({TVariant("Report")}), 0, "Report"},  // element 0 of an array
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.IsArray() ? "array" : c.key.AsString());
        ds->Last();
        bool found = ds->Locate("Version", c.key, c.options);
        EXPECT_EQ(c.found != nullptr, found);
        EXPECT_EQ(c.found ? c.found : "2024-02-02", Current(*ds));
    }
}

TEST(Locate, SeveralKeyFieldsAndEvents) {
    auto ds = Versions();
    std::vector<std::string> events;
    ds->BeforeScroll = [&](TDataSet&) { events.push_back("Before"); };
    ds->AfterScroll = [&](TDataSet&) { events.push_back("After"); };
    EXPECT_TRUE(
        ds->Locate("FileNo;Version", TVariant::Array({TVariant(2), TVariant("REPORT-final")}), 0));
    EXPECT_EQ(3, ds->RecNo());
    EXPECT_EQ((std::vector<std::string>{"Before", "After"}), events);
    events.clear();
    EXPECT_FALSE(ds->Locate("FileNo", TVariant(99), 0));
    EXPECT_EQ((std::vector<std::string>{"Before"}), events);  // nothing found: no after-scroll
    EXPECT_EQ(3, ds->RecNo());
    EXPECT_TRUE(ds->Locate("FileNo", TVariant("3"), 0));  // the key converts to the field type
    EXPECT_EQ(4, ds->RecNo());

    EXPECT_THROW(ds->Locate("Nope", TVariant(1), 0), EDatabaseError);
    EXPECT_THROW(ds->Locate("FileNo;Version", TVariant(1), 0), EDatabaseError);
    EXPECT_EQ(dsBrowse, ds->State());
}

TEST(Lookup, ReturnsValuesWithoutMoving) {
    auto ds = Versions();
    ds->Next();
    EXPECT_EQ(TVariant("2024-02-02"), ds->Lookup("FileNo", TVariant(3), "Version"));
    TVariant both = ds->Lookup("Version", TVariant("REPORT-final"), "FileNo;Version");
    ASSERT_TRUE(both.IsArray());
    EXPECT_EQ(TVariant(2), both[0]);
    EXPECT_EQ(TVariant("REPORT-final"), both[1]);
    EXPECT_TRUE(ds->Lookup("FileNo", TVariant(42), "Version").IsNull());
    EXPECT_TRUE(ds->Lookup("Version", TVariant("report"), "FileNo").IsNull());  // exact only
    EXPECT_EQ("Report", Current(*ds));
    EXPECT_THROW(ds->Lookup("FileNo", TVariant(1), "Nope"), EDatabaseError);
}

TEST(FindRecord, SearchesByTheFilterEventWithoutFiltering) {
    auto ds = Versions();
    ds->OnFilterRecord = [](TDataSet& d, bool& accept) {
        accept = d.FieldByName("FileNo")->AsInteger() == 2;
    };
    EXPECT_TRUE(ds->FindFirst());
    EXPECT_TRUE(ds->Found());
    EXPECT_EQ("Report", Current(*ds));
    EXPECT_TRUE(ds->FindNext());
    EXPECT_EQ("REPORT-final", Current(*ds));
    EXPECT_FALSE(ds->FindNext());
    EXPECT_FALSE(ds->Found());
    EXPECT_EQ("REPORT-final", Current(*ds));  // not found: the record stays
    EXPECT_TRUE(ds->FindPrior());
    EXPECT_EQ("Report", Current(*ds));
    EXPECT_TRUE(ds->FindLast());
    EXPECT_EQ("REPORT-final", Current(*ds));
    EXPECT_EQ(4, ds->RecordCount());  // the search filters nothing

    auto empty = std::make_unique<MemoryDataSet>(std::vector<testing::MemColumn>{{"X", ftInteger}});
    empty->Open();
    EXPECT_FALSE(empty->FindFirst());
    EXPECT_FALSE(empty->FindLast());
}

TEST(FindRecord, AThrowingFilterEventLeavesTheCurrentRecord) {
    auto ds = Versions();
    ds->Next();  // "Report"
    ds->OnFilterRecord = [](TDataSet& d, bool& accept) {
        if (d.FieldByName("FileNo")->AsInteger() == 3) throw EDatabaseError("handler failed");
        accept = false;
    };
    EXPECT_THROW(ds->FindNext(), EDatabaseError);
    EXPECT_EQ(dsBrowse, ds->State());
    EXPECT_EQ("Report", Current(*ds));
    ds->OnFilterRecord = nullptr;
    ds->Edit();
    ds->FieldByName("Version")->SetAsString("Edited");
    ds->Post();
    std::vector<std::string> rows;
    for (ds->First(); !ds->Eof(); ds->Next())
        rows.push_back(ds->FieldByName("FileNo")->AsString() + ":" + Current(*ds));
    EXPECT_EQ(
        (std::vector<std::string>{"1:2024-01-01", "2:Edited", "2:REPORT-final", "3:2024-02-02"}),
        rows);
}

}  // namespace
}  // namespace tarn

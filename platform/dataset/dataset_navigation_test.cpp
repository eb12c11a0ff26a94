#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/memory_dataset.h"

namespace tarn {
namespace {

using testing::MemoryDataSet;

// Three people, ids 1..3, names Ann, Bob, Cid.
std::unique_ptr<MemoryDataSet> People(int rows = 3) {
    auto ds = std::make_unique<MemoryDataSet>(
        std::vector<testing::MemColumn>{{"ID", ftInteger, 0}, {"Name", ftString, 10}});
    ds->Open();
    const char* names[] = {"Ann", "Bob", "Cid", "Dan", "Eve"};
    for (int i = 0; i < rows; ++i) ds->AppendRecord({TVariant(i + 1), TVariant(names[i])});
    ds->First();
    return ds;
}

std::vector<std::string> WalkForward(TDataSet& ds) {
    std::vector<std::string> seen;
    for (ds.First(); !ds.Eof(); ds.Next()) seen.push_back(ds.FieldByName("Name")->AsString());
    return seen;
}

TEST(DataSetNavigation, OpenShowsTheFirstRecordAndWalksToEof) {
    auto ds = People();
    ds->Close();
    std::vector<std::string> events;
    ds->BeforeOpen = [&](TDataSet&) { events.push_back("BeforeOpen"); };
    ds->AfterOpen = [&](TDataSet& d) {
        events.push_back("AfterOpen:" + d.FieldByName("Name")->AsString());
    };
    ds->AfterScroll = [&](TDataSet&) { events.push_back("AfterScroll"); };
    ds->Open();
    ds->Open();  // already open: nothing happens
    EXPECT_EQ((std::vector<std::string>{"BeforeOpen", "AfterOpen:Ann", "AfterScroll"}), events);
    EXPECT_EQ(1, ds->InternalOpenCalls() - ds->InternalCloseCalls());
    EXPECT_TRUE(ds->Bof());
    EXPECT_FALSE(ds->Eof());
    EXPECT_EQ(1, ds->RecNo());
    EXPECT_EQ(3, ds->RecordCount());
    EXPECT_EQ(dsBrowse, ds->State());

    ds->AfterScroll = nullptr;
    EXPECT_EQ((std::vector<std::string>{"Ann", "Bob", "Cid"}), WalkForward(*ds));
    // Next on the last record sets Eof and keeps the last record current.
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ("Cid", ds->FieldByName("Name")->AsString());
    EXPECT_EQ(3, ds->RecNo());
}

TEST(DataSetNavigation, PriorLastAndMoveByStopAtTheEnds) {
    auto ds = People(5);
    ds->Last();
    EXPECT_TRUE(ds->Eof());
    EXPECT_FALSE(ds->Bof());
    EXPECT_EQ("Eve", ds->FieldByName("Name")->AsString());
    ds->Prior();
    EXPECT_EQ("Dan", ds->FieldByName("Name")->AsString());
    EXPECT_FALSE(ds->Eof());

    EXPECT_EQ(-3, ds->MoveBy(-10));  // Dan -> Ann, then stops
    EXPECT_TRUE(ds->Bof());
    EXPECT_EQ("Ann", ds->FieldByName("Name")->AsString());
    ds->Prior();  // at Bof: nothing moves
    EXPECT_EQ(1, ds->RecNo());

    EXPECT_EQ(2, ds->MoveBy(2));
    EXPECT_EQ("Cid", ds->FieldByName("Name")->AsString());
    EXPECT_EQ(2, ds->MoveBy(7));
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(5, ds->RecNo());
    EXPECT_EQ(0, ds->MoveBy(1));
}

TEST(DataSetNavigation, SingleRecordIsBothFirstAndLast) {
    auto ds = People(1);
    EXPECT_TRUE(ds->Bof());
    EXPECT_FALSE(ds->Eof());
    ds->Next();
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ("Ann", ds->FieldByName("Name")->AsString());
    ds->Last();
    ds->Prior();
    EXPECT_TRUE(ds->Bof());
    EXPECT_EQ(1, ds->RecNo());
}

TEST(DataSetNavigation, EmptyDataSetHasNoCurrentRecord) {
    auto ds = People(0);
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->Bof());
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(0, ds->RecNo());
    EXPECT_EQ(0, ds->RecordCount());
    EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
    EXPECT_EQ("", ds->FieldByName("Name")->AsString());
    EXPECT_EQ(0, ds->FieldByName("ID")->AsInteger());
    ds->Next();
    ds->Last();
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->GetBookmark().empty());
}

TEST(DataSetNavigation, RecNoAssignment) {
    auto ds = People(3);
    ds->SetRecNo(3);
    EXPECT_EQ("Cid", ds->FieldByName("Name")->AsString());
    ds->SetRecNo(0);  // lands on the first record
    EXPECT_EQ("Ann", ds->FieldByName("Name")->AsString());
    ds->SetRecNo(4);  // past the end: ignored
    EXPECT_EQ(1, ds->RecNo());
    ds->SetRecNo(-1);
    EXPECT_EQ(1, ds->RecNo());
}

TEST(DataSetNavigation, ScrollEventsFramePerformedMoves) {
    auto ds = People(2);
    std::vector<std::string> events;
    ds->BeforeScroll = [&](TDataSet& d) {
        events.push_back("Before:" + d.FieldByName("Name")->AsString());
    };
    ds->AfterScroll = [&](TDataSet& d) {
        events.push_back("After:" + d.FieldByName("Name")->AsString());
    };
    ds->Next();
    ds->Next();  // at the last record: before-scroll only, no move and no after-scroll
    ds->Next();  // at Eof: before-scroll only
    EXPECT_EQ((std::vector<std::string>{"Before:Ann", "After:Bob", "Before:Bob", "After:Bob",
                                        "Before:Bob"}),
              events);
}

TEST(DataSetNavigation, ClosedDataSetRefusesNavigation) {
    auto ds = People(2);
    ds->SetName("Tbarea");
    std::vector<std::string> events;
    ds->BeforeClose = [&](TDataSet& d) { events.push_back(d.Active() ? "Before:open" : "?"); };
    ds->AfterClose = [&](TDataSet& d) { events.push_back(d.Active() ? "?" : "After:closed"); };
    ds->Close();
    EXPECT_EQ((std::vector<std::string>{"Before:open", "After:closed"}), events);
    EXPECT_EQ(dsInactive, ds->State());
    try {
        ds->First();
        FAIL() << "First on a closed dataset";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("Tbarea: Cannot perform this operation on a closed dataset", e.Message());
    }
    EXPECT_THROW(ds->Edit(), EDatabaseError);
    ds->Open();
    try {
        ds->CheckInactive();
        FAIL() << "CheckInactive on an open dataset";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("Tbarea: Cannot perform this operation on an open dataset", e.Message());
    }
}

TEST(DataSetNavigation, FailedOpenLeavesTheDataSetClosed) {
    auto ds = People(2);
    ds->Close();
    ds->SetName("T1");
    ds->FailNextOpen("Table 'x' not found");
    bool afterOpen = false;
    ds->AfterOpen = [&](TDataSet&) { afterOpen = true; };
    try {
        ds->Open();
        FAIL() << "open should fail";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("T1: Table 'x' not found", e.Message());
    }
    EXPECT_FALSE(ds->Active());
    EXPECT_FALSE(afterOpen);
    // The partial open was released.
    EXPECT_EQ(ds->InternalOpenCalls(), ds->InternalCloseCalls());
    ds->Open();
    EXPECT_EQ(2, ds->RecordCount());
}

TEST(DataSetNavigation, AnErrorAfterOpeningLeavesTheDataSetOpen) {
    auto ds = People(2);
    ds->Close();
    ds->AfterOpen = [](TDataSet&) { throw EDatabaseError("Type mismatch in expression"); };
    EXPECT_THROW(ds->Open(), EDatabaseError);
    EXPECT_TRUE(ds->Active());
    EXPECT_EQ(dsBrowse, ds->State());
    EXPECT_EQ("Ann", ds->FieldByName("Name")->AsString());
}

TEST(DataSetNavigation, RefreshKeepsTheCurrentRecord) {
    auto ds = People(3);
    ds->Next();
    std::vector<std::string> events;
    ds->BeforeRefresh = [&](TDataSet&) { events.push_back("BeforeRefresh"); };
    ds->AfterRefresh = [&](TDataSet& d) {
        events.push_back("AfterRefresh:" + d.FieldByName("Name")->AsString());
    };
    ds->Edit();
    ds->FieldByName("Name")->SetAsString("Bert");
    ds->Refresh();  // posts the pending change first
    EXPECT_EQ((std::vector<std::string>{"BeforeRefresh", "AfterRefresh:Bert"}), events);
    EXPECT_EQ(dsBrowse, ds->State());
    EXPECT_EQ(2, ds->RecNo());
}

}  // namespace
}  // namespace tarn

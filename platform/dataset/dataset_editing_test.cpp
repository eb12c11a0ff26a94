#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/memory_dataset.h"

namespace tarn {
namespace {

using testing::MemoryDataSet;

std::unique_ptr<MemoryDataSet> People(std::vector<std::string> names) {
    auto ds = std::make_unique<MemoryDataSet>(
        std::vector<testing::MemColumn>{{"ID", ftInteger, 0}, {"Name", ftString, 10}});
    ds->Open();
    int id = 1;
    for (const auto& n : names) ds->AppendRecord({TVariant(id++), TVariant(n)});
    ds->First();
    return ds;
}

std::vector<std::string> Names(TDataSet& ds) {
    std::vector<std::string> seen;
    for (ds.First(); !ds.Eof(); ds.Next()) seen.push_back(ds.FieldByName("Name")->AsString());
    return seen;
}

std::string Current(TDataSet& ds) { return ds.FieldByName("Name")->AsString(); }

// Records every event of the dataset with the state it saw.
struct EventLog {
    std::vector<std::string> events;
    void Attach(TDataSet& ds) {
        auto add = [this](const char* name) {
            return [this, name](TDataSet&) { events.push_back(name); };
        };
        ds.BeforeInsert = add("BeforeInsert");
        ds.AfterInsert = add("AfterInsert");
        ds.BeforeEdit = add("BeforeEdit");
        ds.AfterEdit = add("AfterEdit");
        ds.BeforePost = add("BeforePost");
        ds.AfterPost = add("AfterPost");
        ds.BeforeCancel = add("BeforeCancel");
        ds.AfterCancel = add("AfterCancel");
        ds.BeforeDelete = add("BeforeDelete");
        ds.AfterDelete = add("AfterDelete");
        ds.BeforeScroll = add("BeforeScroll");
        ds.AfterScroll = add("AfterScroll");
        ds.OnNewRecord = add("OnNewRecord");
    }
    std::vector<std::string> Take() { return std::exchange(events, {}); }
};

TEST(DataSetEditing, AppendAndPostMakeTheNewRecordCurrentAndLast) {
    auto ds = People({"Ann", "Bob"});
    EventLog log;
    log.Attach(*ds);
    ds->Append();
    EXPECT_EQ(dsInsert, ds->State());
    EXPECT_FALSE(ds->Modified());
    ds->FieldByName("ID")->SetAsInteger(9);
    ds->FieldByName("Name")->SetAsString("Zed");
    EXPECT_TRUE(ds->Modified());
    ds->Post();
    EXPECT_EQ((std::vector<std::string>{"BeforeInsert", "BeforeScroll", "OnNewRecord",
                                        "AfterInsert", "AfterScroll", "BeforePost", "AfterPost"}),
              log.Take());
    EXPECT_EQ(dsBrowse, ds->State());
    EXPECT_EQ("Zed", Current(*ds));
    EXPECT_EQ(9, ds->FieldByName("ID")->AsInteger());
    EXPECT_EQ(3, ds->RecNo());
    EXPECT_EQ(3, ds->RecordCount());
    log.events.clear();
    ds->BeforeScroll = nullptr;
    ds->AfterScroll = nullptr;
    EXPECT_EQ((std::vector<std::string>{"Ann", "Bob", "Zed"}), Names(*ds));
}

TEST(DataSetEditing, InsertGoesBeforeTheCurrentRecord) {
    auto ds = People({"Ann", "Bob", "Cid"});
    ds->Next();
    ds->Insert();
    ds->FieldByName("Name")->SetAsString("New");
    ds->Post();
    EXPECT_EQ("New", Current(*ds));
    EXPECT_EQ(2, ds->RecNo());
    EXPECT_EQ((std::vector<std::string>{"Ann", "New", "Bob", "Cid"}), Names(*ds));

    auto empty = People({});
    empty->Insert();
    empty->FieldByName("Name")->SetAsString("Only");
    empty->Post();
    EXPECT_EQ((std::vector<std::string>{"Only"}), Names(*empty));
}

TEST(DataSetEditing, EditAndPostKeepTheChange) {
    auto ds = People({"Ann", "Bob"});
    ds->Next();
    EventLog log;
    log.Attach(*ds);
    ds->Edit();
    EXPECT_EQ(dsEdit, ds->State());
    ds->FieldByName("Name")->SetAsString("Bobby");
    ds->Post();
    EXPECT_EQ((std::vector<std::string>{"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost"}),
              log.Take());
    EXPECT_EQ("Bobby", Current(*ds));
    ds->BeforeScroll = nullptr;
    ds->AfterScroll = nullptr;
    EXPECT_EQ((std::vector<std::string>{"Ann", "Bobby"}), Names(*ds));
}

TEST(DataSetEditing, CancelRestoresTheRecordAndReturnsToBrowse) {
    auto ds = People({"Ann", "Bob", "Cid"});
    ds->Next();
    EventLog log;
    log.Attach(*ds);

    ds->Edit();
    ds->FieldByName("Name")->SetAsString("Changed");
    ds->Cancel();
    EXPECT_EQ((std::vector<std::string>{"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel"}),
              log.Take());
    EXPECT_EQ("Bob", Current(*ds));

    // A cancelled insert returns to the record that was current; scroll events frame it.
    ds->Insert();
    ds->FieldByName("Name")->SetAsString("Gone");
    log.Take();
    ds->Cancel();
    EXPECT_EQ(
        (std::vector<std::string>{"BeforeCancel", "BeforeScroll", "AfterScroll", "AfterCancel"}),
        log.Take());
    EXPECT_EQ("Bob", Current(*ds));
    EXPECT_EQ(3, ds->RecordCount());

    // A cancelled append ends on the last record.
    ds->First();
    ds->Append();
    ds->Cancel();
    EXPECT_EQ("Cid", Current(*ds));
    EXPECT_EQ(3u, ds->StoredRows());
}

TEST(DataSetEditing, DeletingTheLastRecordMakesTheNewLastCurrent) {
    auto ds = People({"Ann", "Bob", "Cid"});
    ds->Last();
    EventLog log;
    log.Attach(*ds);
    ds->Delete();
    EXPECT_EQ(
        (std::vector<std::string>{"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}),
        log.Take());
    EXPECT_EQ("Bob", Current(*ds));
    EXPECT_EQ(2, ds->RecNo());
    EXPECT_EQ(2, ds->RecordCount());

    // Deleting in the middle shows the record that took its place.
    ds->First();
    ds->Delete();
    EXPECT_EQ("Bob", Current(*ds));

    ds->Delete();  // the only record
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(0, ds->RecordCount());
    ds->SetName("Tbfileid");
    try {
        ds->Delete();
        FAIL() << "Delete on an empty dataset";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("Tbfileid: Cannot perform this operation on an empty dataset", e.Message());
    }
}

TEST(DataSetEditing, DeleteDuringInsertCancelsTheInsert) {
    auto ds = People({"Ann"});
    ds->Append();
    ds->Delete();
    EXPECT_EQ(dsBrowse, ds->State());
    EXPECT_EQ(1, ds->RecordCount());
    EXPECT_EQ("Ann", Current(*ds));
}

TEST(DataSetEditing, WritesOutsideEditStatesAreRefused) {
    auto ds = People({"Ann"});
    ds->SetName("People");
    try {
        ds->FieldByName("Name")->SetAsString("X");
        FAIL() << "write in browse state";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("People: Dataset not in edit or insert mode", e.Message());
    }
    EXPECT_THROW(ds->Post(), EDatabaseError);
    EXPECT_EQ("Ann", Current(*ds));

    ds->FieldByName("ID")->SetReadOnly(true);
    ds->Edit();
    try {
        ds->FieldByName("ID")->SetAsInteger(5);
        FAIL() << "write to a read-only field";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("People: Field 'ID' cannot be modified", e.Message());
    }
    ds->Cancel();
}

TEST(DataSetEditing, ReadOnlyDataSetRefusesEveryChange) {
    auto ds = People({"Ann"});
    ds->SetReadOnly(true);
    for (auto change : {&TDataSet::Edit, &TDataSet::Append, &TDataSet::Insert, &TDataSet::Delete}) {
        try {
            ((*ds).*change)();
            FAIL() << "change of a read-only dataset";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ("Cannot modify a read-only dataset", e.Message());
        }
        EXPECT_EQ(dsBrowse, ds->State());
    }
    EXPECT_EQ(1, ds->RecordCount());
}

TEST(DataSetEditing, PostErrorHandlerDecides) {
    auto ds = People({"Ann"});
    // Default: the error passes on and the edit stays pending.
    ds->FailPosts("Invalid unique field value '1'", 1);
    ds->Edit();
    ds->FieldByName("Name")->SetAsString("Ann2");
    EXPECT_THROW(ds->Post(), EDatabaseError);
    EXPECT_EQ(dsEdit, ds->State());
    EXPECT_EQ("Ann2", Current(*ds));

    // Retry: the handler is asked once per failure, then the post succeeds.
    int asked = 0;
    ds->OnPostError = [&](TDataSet&, const EDatabaseError& e, TDataAction& action) {
        EXPECT_EQ("busy", e.Message());
        ++asked;
        action = daRetry;
    };
    ds->FailPosts("busy", 2);
    ds->Post();
    EXPECT_EQ(2, asked);
    EXPECT_EQ(dsBrowse, ds->State());
    EXPECT_EQ("Ann2", Current(*ds));

    // Abort: a silent abort, still editing.
    ds->OnPostError = [](TDataSet&, const EDatabaseError&, TDataAction& action) {
        action = daAbort;
    };
    ds->Edit();
    ds->FieldByName("Name")->SetAsString("Ann3");
    ds->FailPosts("busy", 1);
    EXPECT_THROW(ds->Post(), EAbort);
    EXPECT_EQ(dsEdit, ds->State());
    ds->Cancel();
    EXPECT_EQ("Ann2", Current(*ds));
}

TEST(DataSetEditing, LeavingARecordPostsChangesAndCancelsUntouchedOnes) {
    auto ds = People({"Ann", "Bob"});
    ds->Edit();
    ds->FieldByName("Name")->SetAsString("Anna");
    ds->Next();  // posts
    EXPECT_EQ(dsBrowse, ds->State());
    EXPECT_EQ("Bob", Current(*ds));

    // A new record with only OnNewRecord defaults is not modified: leaving cancels it.
    ds->OnNewRecord = [](TDataSet& d) { d.FieldByName("Name")->SetAsString("Default"); };
    ds->Append();
    EXPECT_EQ("Default", Current(*ds));
    EXPECT_FALSE(ds->Modified());
    ds->First();
    EXPECT_EQ((std::vector<std::string>{"Anna", "Bob"}), Names(*ds));

    // Closing discards a pending edit.
    ds->Edit();
    ds->FieldByName("Name")->SetAsString("Lost");
    ds->Close();
    ds->Open();
    EXPECT_EQ("Anna", Current(*ds));
}

TEST(DataSetEditing, AppendRecordAndInsertRecordPostAtOnce) {
    auto ds = People({"Ann", "Bob"});
    EventLog log;
    log.Attach(*ds);
    ds->Next();
    log.Take();
    ds->InsertRecord({TVariant(7), TVariant("Ins")});
    EXPECT_EQ((std::vector<std::string>{"BeforeInsert", "BeforeScroll", "OnNewRecord", "BeforePost",
                                        "AfterPost", "AfterScroll"}),
              log.Take());
    EXPECT_EQ("Ins", Current(*ds));
    EXPECT_EQ(7, ds->FieldByName("ID")->AsInteger());
    ds->AppendRecord({TVariant(), TVariant("App")});
    EXPECT_EQ("App", Current(*ds));
    EXPECT_EQ(0, ds->FieldByName("ID")->AsInteger());  // Null left the initial value

    try {
        ds->AppendRecord({TVariant(1), TVariant("x"), TVariant("extra")});
        FAIL() << "too many values";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("Number of values does not match the fields", e.Message());
    }
    EXPECT_EQ(dsBrowse, ds->State());
    ds->BeforeScroll = nullptr;
    ds->AfterScroll = nullptr;
    EXPECT_EQ((std::vector<std::string>{"Ann", "Ins", "Bob", "App"}), Names(*ds));
}

TEST(DataSetEditing, EditOnAnEmptyDataSetInserts) {
    auto ds = People({});
    ds->Edit();
    EXPECT_EQ(dsInsert, ds->State());
    ds->FieldByName("Name")->SetAsString("First");
    ds->Post();
    EXPECT_EQ(1, ds->RecordCount());
}

}  // namespace
}  // namespace tarn

// Data sources, data links and the master link between a master and a detail dataset.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tarndb/dataset/master_data_link.h"
#include "tests/support/memory_dataset.h"

namespace tarn {
namespace {

using testing::MemoryDataSet;

// A dataset that can follow a master, as a table does: it owns its master link.
class DetailSet : public MemoryDataSet {
public:
    DetailSet() : MemoryDataSet({{"ID", ftInteger}, {"Name", ftString, 10}}), link(this) {}

    TDataSource* GetDataSource() const override { return link.DataSource(); }
    void SetMasterSource(TDataSource* source) {
        if (source != nullptr && IsLinkedTo(source)) DatabaseError(msg::kCircularDataLink, this);
        link.SetDataSource(source);
    }

    TMasterDataLink link;
};

void Fill(TDataSet& ds, int rows) {
    const char* names[] = {"Ann", "Bob", "Cid"};
    for (int i = 0; i < rows; ++i) ds.AppendRecord({TVariant(i + 1), TVariant(names[i])});
    ds.First();
}

class MasterDetail : public ::testing::Test {
protected:
    void SetUp() override {
        master.SetName("Master");
        master.Open();
        Fill(master, 3);
        master.Close();
        detail.Open();
        Fill(detail, 2);
        detail.link.SetFieldNames("ID");
        detail.link.OnMasterChange = [this](TMasterDataLink& l) {
            ASSERT_EQ(1u, l.Fields().size());
            notes.push_back("change:" + l.Fields()[0]->AsString());
        };
        detail.link.OnMasterDisable = [this](TMasterDataLink&) { notes.push_back("disable"); };
        detail.SetMasterSource(&source);
    }
    std::vector<std::string> Take() { return std::exchange(notes, {}); }

    DetailSet master;
    TDataSource source{&master};
    DetailSet detail;
    std::vector<std::string> notes;
};

TEST_F(MasterDetail, MasterOpeningScrollingAndClosingReachTheDetail) {
    EXPECT_TRUE(Take().empty());  // the master is closed: nothing yet
    EXPECT_FALSE(detail.link.Active());
    master.Open();
    EXPECT_TRUE(detail.link.Active());
    EXPECT_EQ((std::vector<std::string>{"change:1"}), Take());
    master.Next();
    EXPECT_EQ((std::vector<std::string>{"change:2"}), Take());
    master.Last();
    EXPECT_EQ((std::vector<std::string>{"change:3"}), Take());
    master.Close();
    EXPECT_EQ((std::vector<std::string>{"disable"}), Take());
    EXPECT_TRUE(detail.link.Fields().empty());
}

TEST_F(MasterDetail, OnlyLinkFieldChangesCount) {
    master.Open();
    Take();
    master.Edit();  // the record as a whole may change now
    EXPECT_EQ((std::vector<std::string>{"change:1"}), Take());
    master.FieldByName("Name")->SetAsString("Other");
    EXPECT_TRUE(Take().empty());
    master.FieldByName("ID")->SetAsInteger(7);
    EXPECT_EQ((std::vector<std::string>{"change:7"}), Take());
    master.Cancel();
    EXPECT_EQ((std::vector<std::string>{"change:1"}), Take());
}

TEST_F(MasterDetail, ClosedDetailIsNotNotified) {
    detail.Close();
    master.Open();
    master.Next();
    master.Close();
    EXPECT_TRUE(Take().empty());
}

TEST_F(MasterDetail, MasterLeavingItsRecordPostsTheDetail) {
    master.Open();
    detail.Edit();
    detail.FieldByName("Name")->SetAsString("Posted");
    master.Next();
    EXPECT_EQ(dsBrowse, detail.State());
    EXPECT_EQ("Posted", detail.FieldByName("Name")->AsString());
}

TEST_F(MasterDetail, DisabledControlsHoldNotificationsBack) {
    master.Open();
    Take();
    master.DisableControls();
    master.DisableControls();
    master.Next();
    master.Next();
    master.EnableControls();
    EXPECT_TRUE(Take().empty());
    master.EnableControls();
    EXPECT_EQ((std::vector<std::string>{"change:3"}), Take());
}

TEST_F(MasterDetail, ChangingTheLinkFields) {
    master.Open();
    Take();
    try {
        detail.link.SetFieldNames("Nope");
        FAIL() << "unknown master field";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("Master: Field 'Nope' not found", e.Message());
    }
    EXPECT_TRUE(detail.link.Fields().empty());
    detail.link.SetFieldNames("");
    EXPECT_EQ((std::vector<std::string>{"disable"}), Take());
    detail.link.OnMasterChange = [this](TMasterDataLink& l) {
        notes.push_back("fields:" + std::to_string(l.Fields().size()));
    };
    detail.link.SetFieldNames("ID;Name");
    EXPECT_EQ((std::vector<std::string>{"fields:2"}), Take());
    detail.SetMasterSource(nullptr);
    EXPECT_EQ((std::vector<std::string>{"disable"}), Take());
}

TEST_F(MasterDetail, CircularLinksAreRefused) {
    TDataSource detailSource(&detail);
    try {
        master.SetMasterSource(&detailSource);
        FAIL() << "master following its own detail";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("Master: Circular datalinks are not allowed", e.Message());
    }
    EXPECT_EQ(nullptr, master.GetDataSource());
    // The same circle closed from the data source's side.
    TDataSource loop;
    loop.SetName("Loop");
    master.SetMasterSource(&loop);
    try {
        loop.SetDataSet(&detail);
        FAIL() << "circle through a data source";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("Loop: Circular datalinks are not allowed", e.Message());
    }
    EXPECT_EQ(nullptr, loop.DataSet());
    master.SetMasterSource(nullptr);
}

TEST_F(MasterDetail, DestroyingTheDataSourceDisablesTheDetail) {
    DetailSet other;
    auto otherSource = std::make_unique<TDataSource>(&master);
    other.Open();
    other.link.SetFieldNames("ID");
    other.link.OnMasterChange = [this](TMasterDataLink&) { notes.push_back("other change"); };
    other.link.OnMasterDisable = [this](TMasterDataLink&) { notes.push_back("other disable"); };
    other.SetMasterSource(otherSource.get());
    master.Open();
    EXPECT_EQ((std::vector<std::string>{"change:1", "other change"}), Take());
    otherSource.reset();  // the master stays open; only this source goes
    EXPECT_EQ((std::vector<std::string>{"other disable"}), Take());
    EXPECT_FALSE(other.link.Active());
    EXPECT_TRUE(other.link.Fields().empty());
    EXPECT_EQ(nullptr, other.GetDataSource());
    master.Next();  // the other link's fields no longer follow; the first detail still does
    EXPECT_EQ((std::vector<std::string>{"change:2"}), Take());
}

TEST(DataSource, ReportsStateAndDataChanges) {
    MemoryDataSet ds({{"ID", ftInteger}});
    TDataSource source;
    std::vector<std::string> seen;
    source.OnStateChange = [&](TDataSource& s) {
        seen.push_back("state:" + std::to_string(static_cast<int>(s.State())));
    };
    source.OnDataChange = [&](TDataSource&, TField* f) {
        seen.push_back(f ? "field:" + f->FieldName() : "data");
    };
    source.SetDataSet(&ds);
    ds.Open();
    ds.Append();
    ds.FieldByName("ID")->SetAsInteger(5);
    ds.Post();
    source.SetEnabled(false);
    ds.Edit();  // not seen: the source is disabled
    ds.Cancel();
    EXPECT_EQ((std::vector<std::string>{"state:1", "data", "state:3", "data", "field:ID", "state:1",
                                        "data", "state:0"}),
              seen);
}

TEST(DataSource, EitherSideMayGoFirst) {
    auto ds = std::make_unique<MemoryDataSet>(std::vector<testing::MemColumn>{{"ID", ftInteger}});
    auto source = std::make_unique<TDataSource>(ds.get());
    TMasterDataLink link(nullptr);
    link.SetDataSource(source.get());
    ds->Open();
    EXPECT_TRUE(link.Active());
    ds.reset();  // the dataset goes first
    EXPECT_EQ(nullptr, source->DataSet());
    EXPECT_FALSE(link.Active());
    source.reset();  // then the data source
    EXPECT_EQ(nullptr, link.DataSource());
    EXPECT_EQ(nullptr, link.DataSet());
}

}  // namespace
}  // namespace tarn

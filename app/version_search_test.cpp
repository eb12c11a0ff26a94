#include "app/version_search.h"

#include <gtest/gtest.h>

#include <QTreeWidget>
#include <set>

#include "app/catalogue.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

// A real catalogue with versions of two files; the area lives under a directory named
// "Draft", which no search for "draft" may match.
class SearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        catalogue.Open(QString::fromStdString(dir.file("版本控制.dat")));
        Add(1, "v1", "/home/Draft/plan.txt-bak/plan{v1}.txt", "First DRAFT 初稿");
        Add(1, "v2", "/home/Draft/plan.txt-bak/plan{v2}.txt", "fixed a typo");
        Add(2, "v1", "/home/Draft/notes.md-bak/notes{v1}.md", "a draft of notes");
        Add(2, "v2", "/home/Draft/notes.md-bak/notes{v2}.md", "it's done, 100% sure");
        Add(2, "v3", "/home/Draft/notes.md-bak/notes{v3}.md", std::string(300, 'x') + "y");
        Add(2, "v4", "/home/Draft/notes.md-bak/notes{v4}.md", "tab\there");
    }
    void Add(int32_t fileNo, const char* name, const char* copy, const std::string& remark) {
        TVersionRow row{fileNo, name, copy, QString::fromStdString(remark), "1", ".txt"};
        verinfo rec;
        catalogue.AddVersion(row, rec);
    }
    // "<file>:<version>" of each hit; the index the window searches as the user types
    // finds the same.
    std::set<std::string> Find(const QString& word) {
        std::set<std::string> out, indexed;
        for (const verinfo& v : catalogue.SearchVersions(word))
            out.insert(std::to_string(v.FileNo) + ":" + v.VerName.toStdString());
        TVersionSearchIndex index;
        index.Load(catalogue.SearchVersions(QString()), {});
        for (const verinfo& v : index.Find(word))
            indexed.insert(std::to_string(v.FileNo) + ":" + v.VerName.toStdString());
        EXPECT_EQ(indexed, out) << word.toStdString();
        return out;
    }

    tarn::testing::TempDir dir;
    TCatalogue catalogue;
};

TEST_F(SearchTest, FindsExactlyTheVersionsWithTheWord) {
    using S = std::set<std::string>;
    EXPECT_EQ(Find("draft"), (S{"1:v1", "2:v1"}));  // any letter case, not the directory
    EXPECT_EQ(Find("初稿"), (S{"1:v1"}));
    EXPECT_EQ(Find("TYPO"), (S{"1:v2"}));
    EXPECT_EQ(Find("it's"), (S{"2:v2"}));  // a quote in the word
    EXPECT_EQ(Find("100%"), (S{"2:v2"}));  // "%" is a plain character
    EXPECT_EQ(Find("_"), S{});
    EXPECT_EQ(Find("notes{v3"), (S{"2:v3"}));  // the stored copy's file name
    EXPECT_EQ(Find("plan"), (S{"1:v1", "1:v2"}));
    EXPECT_EQ(Find("tab\there"), (S{"2:v4"}));
    // A word longer than a filter string holds is still matched whole.
    EXPECT_EQ(Find(QString(300, 'x') + "y"), (S{"2:v3"}));
    EXPECT_EQ(Find(QString(299, 'x') + "z"), S{});
    EXPECT_EQ(Find("nowhere"), S{});
    EXPECT_EQ(Find("").size(), 6u);

    // Every field of a hit, and the table is unfiltered again for the other lookups.
    const std::vector<verinfo> hits = catalogue.SearchVersions("typo");
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].FilePath, "/home/Draft/plan.txt-bak/plan{v2}.txt");
    EXPECT_EQ(hits[0].Remark, "fixed a typo");
    EXPECT_EQ(hits[0].SizeText, "1");
    EXPECT_EQ(hits[0].FileExt, ".txt");
    EXPECT_EQ(catalogue.VersionNamesOfFile(2).size(), 4u);
    verinfo rec;
    catalogue.FindVersionByName("v3", rec, 2);
    EXPECT_EQ(rec.FileNo, 2);
}

TEST(FilterCatalogueTree, ShowsOnlyMatchingAreasFilesAndVersions) {
    QTreeWidget tree;
    auto* a = new QTreeWidgetItem(&tree, {"A"});
    auto* plan = new QTreeWidgetItem(a, {"/d/plan.txt"});
    auto* p1 = new QTreeWidgetItem(plan, {"v1"});
    auto* p2 = new QTreeWidgetItem(plan, {"v2"});
    auto* notes = new QTreeWidgetItem(a, {"/d/notes.md"});
    auto* n1 = new QTreeWidgetItem(notes, {"v1"});
    auto* b = new QTreeWidgetItem(&tree, {"B"});
    auto* twice = new QTreeWidgetItem(b, {"/d/plan.txt"});  // registered a second time
    auto* t1 = new QTreeWidgetItem(twice, {"v1"});
    QMultiHash<QString, int32_t> fileNos;
    fileNos.insert("/d/plan.txt", 1);
    fileNos.insert("/d/notes.md", 2);
    fileNos.insert("/d/plan.txt", 3);

    verinfo hit;
    hit.FileNo = 1;
    hit.VerName = "v2";
    FilterCatalogueTree(tree, {hit}, fileNos);
    auto shown = [](QTreeWidgetItem* n) { return !n->isHidden(); };
    EXPECT_TRUE(shown(a) && shown(plan) && shown(p2));
    EXPECT_FALSE(shown(p1) || shown(notes) || shown(n1));
    // The same version name of another file is no hit; B holds nothing that matches.
    EXPECT_FALSE(shown(b) || shown(twice) || shown(t1));

    // A node knows its file by its path only: the nodes of a path registered twice show
    // the hits of either registration.
    hit.FileNo = 3;
    hit.VerName = "v1";
    FilterCatalogueTree(tree, {hit}, fileNos);
    EXPECT_TRUE(shown(b) && shown(twice) && shown(t1) && shown(a) && shown(plan) && shown(p1));
    EXPECT_FALSE(shown(p2) || shown(notes) || shown(n1));

    ShowWholeTree(tree);
    for (QTreeWidgetItem* n : {a, plan, p1, p2, notes, n1, b, twice, t1}) EXPECT_TRUE(shown(n));
}

}  // namespace
}  // namespace filever

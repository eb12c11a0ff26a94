// Retention over a real catalogue: the settings' table (added to a catalogue made before
// it existed), what a plan lists and frees, and carrying it out.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <filesystem>
#include <fstream>

#include "app/catalogue.h"
#include "app/gb_text.h"
#include "app/testing/files.h"
#include "app/testing/original_catalogue.h"
#include "app/testing/test_file_times.h"
#include "app/version_capture.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

using testing::Q;
using testing::SetLocalMTime;

TEST(RetentionSettings, KeptPerAreaAndAddedToAnOlderCatalogue) {
    tarn::testing::TempDir dir;
    const std::string path = dir.file("版本控制.dat");
    testing::CreateOriginalCatalogue(path);
    const TRetentionPolicy last3{TRetentionMode::KeepLast, 3, 0};
    const TRetentionPolicy staggeredCap{TRetentionMode::Staggered, 10, 5'000'000'000};
    {
        TCatalogue c;
        c.Open(Q(path));
        const int32_t a = c.AddArea("a", Q(dir.path()));
        const int32_t b = c.AddArea("b", Q(dir.path()));
        EXPECT_EQ(c.Retention(a), TRetentionPolicy{});
        c.SetRetention(a, last3);
        c.SetRetention(b, last3);
        c.SetRetention(b, staggeredCap);  // the row is changed, not added again
        EXPECT_EQ(c.Retention(a), last3);
    }
    TCatalogue c;
    c.Open(Q(path));
    EXPECT_EQ(c.Retention(1), last3);
    EXPECT_EQ(c.Retention(2), staggeredCap);
    // The area's setting goes with the area.
    ASSERT_TRUE(RemoveAreaWithFiles(c, 2));
    EXPECT_EQ(c.Retention(2), TRetentionPolicy{});
    EXPECT_EQ(c.Retention(1), last3);
}

// plan.txt with five versions, a day apart, the second described; the fourth captured
// twice at one time, so two rows share its copy.
class RetentionOverCatalogue : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.file("docs"));
        std::filesystem::create_directories(dir.file("store"));
        c.Open(Q(dir.file("版本控制.dat")));
        area = c.AddArea("area", Q(dir.path() + "/store"));
        ASSERT_TRUE(RegisterFile(c, area, Q(source)));
        for (int day = 1; day <= 5; ++day) {
            std::ofstream(source) << std::string(static_cast<size_t>(day) * 100, 'x');
            SetLocalMTime(source, 2024, 3, day, 12, 0, 0);
            verinfo rec;
            ASSERT_TRUE(CaptureVersion(c, Q(source), day == 2 ? "发布版" : "", rec));
            if (day == 4) {
                TVersionCopy copy;
                copy.FileNo = rec.FileNo;
                copy.VerName = rec.VerName;
                copy.CopyPath = rec.FilePath;
                copy.SizeText = rec.SizeText;
                copy.FileExt = rec.FileExt;
                RecordVersion(c, copy, "", rec);  // a second row naming the same copy
            }
        }
    }
    QStringList Names() {
        QStringList out;
        for (const TVersionRow& v : c.VersionsOfFile(1)) out << v.VerName.left(10);
        return out;
    }

    tarn::testing::TempDir dir;
    std::string source = dir.file("docs/plan.txt");
    TCatalogue c;
    int32_t area = 0;
};

TEST_F(RetentionOverCatalogue, APlanListsWhatGoesAndApplyingRemovesRowsThenCopies) {
    ASSERT_EQ(Names(), QStringList({"2024-03-01", "2024-03-02", "2024-03-03", "2024-03-04",
                                    "2024-03-04", "2024-03-05"}));
    const int64_t now = QDateTime(QDate(2024, 3, 6), QTime(12, 0)).toSecsSinceEpoch();
    EXPECT_TRUE(PlanRetention(c, area, {}, now).Remove.empty());

    // The newest one only: the described one stays; one row of the shared copy goes, but
    // its copy frees nothing until the other row goes too.
    const TRetentionPlan plan = PlanRetention(c, area, {TRetentionMode::KeepLast, 1, 0}, now);
    QStringList listed;
    for (const auto& item : plan.Remove) {
        EXPECT_EQ(item.SourcePath, Q(source));
        listed << item.Version.VerName.left(10);
    }
    EXPECT_EQ(listed, QStringList({"2024-03-01", "2024-03-03", "2024-03-04", "2024-03-04"}));
    EXPECT_EQ(plan.FreedBytes, 100 + 300 + 400);
    const QStringList copiesBefore = QDir(Q(dir.file("store/plan.txt-bak"))).entryList(QDir::Files);
    ASSERT_EQ(copiesBefore.size(), 5);

    EXPECT_EQ(ApplyRetention(c, plan), 4);
    EXPECT_EQ(Names(), QStringList({"2024-03-02", "2024-03-05"}));
    const QStringList copiesAfter = QDir(Q(dir.file("store/plan.txt-bak"))).entryList(QDir::Files);
    EXPECT_EQ(copiesAfter.size(), 2);
    for (const TVersionRow& v : c.VersionsOfFile(1)) EXPECT_TRUE(QFile::exists(v.FilePath));
    EXPECT_EQ(AreaStorageBytes(c, area), 200 + 500);
}

TEST_F(RetentionOverCatalogue, RemovingOneOfTwoRowsOfACopyKeepsTheCopy) {
    const std::vector<TVersionRow> rows = c.VersionsOfFile(1);
    TRetentionPlan plan;
    plan.Remove.push_back({Q(source), rows[3]});
    EXPECT_EQ(ApplyRetention(c, plan), 1);
    EXPECT_TRUE(QFile::exists(rows[4].FilePath));
    EXPECT_EQ(c.VersionsOfFile(1).size(), 5u);
}

}  // namespace
}  // namespace filever

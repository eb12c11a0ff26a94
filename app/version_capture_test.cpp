#include "app/version_capture.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/catalogue.h"
#include "app/catalogue_model.h"
#include "app/os/file_time.h"
#include "app/testing/files.h"
#include "app/testing/test_file_times.h"
#include "tarndb/errors.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

using testing::Content;
using testing::Q;
using testing::SetLocalMTime;

TEST(VersionNames, ExtensionBaseAndBackupDirectory) {
    struct Case {
        const char* path;
        const char* ext;
        const char* copy;
    } cases[] = {
        {"/d/plan.txt", ".txt", "plan{V}.txt"},
        {"/d/archive.tar.gz", ".gz", "archive.tar{V}.gz"},
        {"/d/Makefile", "", "Makefile{V}"},
        {"/d.dir/noext", "", "noext{V}"},  // a dot in the directory is no extension
        {"/d/.bashrc", ".bashrc", "{V}.bashrc"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileExtension(c.path), c.ext) << c.path;
        EXPECT_EQ(VersionCopyName(c.path, "V"), c.copy) << c.path;
    }
    EXPECT_EQ(BackupDirFor("/store", "/docs/plan.txt"), "/store/plan.txt-bak");
    EXPECT_EQ(BackupDirFor("/store/", "/docs/plan.txt"), "/store/plan.txt-bak");
}

// An area at <tmp>/store and a watched file <tmp>/docs/plan.txt registered in it.
class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.file("docs"));
        std::filesystem::create_directories(dir.file("store"));
        source = dir.file("docs/plan.txt");
        std::ofstream(source) << "first";
        SetLocalMTime(source, 2024, 3, 5, 14, 7, 33);
        catalogue.Open(Q(dir.file("版本控制.dat")));
        catalogue.AddArea("area", Q(dir.file("store")));
        ASSERT_TRUE(RegisterFile(catalogue, 1, Q(source)));
    }
    std::vector<TFileRow> Files() { return catalogue.AllFiles(); }
    QString RecordedTime() { return Files().at(0).RecordedTime; }
    size_t VersionCount() { return catalogue.VersionNamesOfFile(1).size(); }
    // The monitoring pass. The captures here write to the catalogue around the model, so
    // it is told before every pass.
    void Scan(QStringList& pending) {
        model.Invalidate();
        model.ScanForChanges(pending);
    }

    tarn::testing::TempDir dir;
    std::string source;
    TCatalogue catalogue;
    TCatalogueModel model{catalogue};
};

TEST_F(CaptureTest, RegisterMakesTheBackupDirectoryAndTheRow) {
    ASSERT_EQ(Files().size(), 1u);
    EXPECT_EQ(Files()[0].AreaNo, 1);
    EXPECT_EQ(Files()[0].SourcePath, Q(source));
    EXPECT_EQ(Files()[0].BackupDir, Q(dir.file("store/plan.txt-bak")));
    EXPECT_EQ(RecordedTime(), "");
    EXPECT_TRUE(QDir(Q(dir.file("store/plan.txt-bak"))).exists());
    // No area of that number: nothing registered.
    EXPECT_FALSE(RegisterFile(catalogue, 2, Q(source)));
    EXPECT_EQ(Files().size(), 1u);
}

TEST_F(CaptureTest, CaptureCopiesAndRecordsTheVersion) {
    verinfo rec;
    ASSERT_TRUE(CaptureVersion(catalogue, Q(source), "first draft", rec));
    const QString copy = Q(dir.file("store/plan.txt-bak/plan{2024-03-05-14-07-32}.txt"));
    EXPECT_EQ(rec.VerName, "2024-03-05-14-07-32");
    EXPECT_EQ(rec.FilePath, copy);
    EXPECT_EQ(rec.Remark, "first draft");
    EXPECT_EQ(rec.SizeText, "5");
    EXPECT_EQ(rec.FileExt, ".txt");
    EXPECT_EQ(rec.FileNo, Files()[0].FileNo);
    EXPECT_EQ(RecordedTime(), "2024-03-05-14-07-32");
    ASSERT_EQ(VersionCount(), 1u);
    EXPECT_EQ(Content(copy), "first");
}

// Saved again with the bytes of the latest version: no copy and no row, only the recorded
// time moves on. Compared with the latest version only, and byte for byte.
// A batch keeps what it can: a file whose row is refused (a description too long for the
// catalogue) and a file whose copy cannot be stored fail alone, with nothing recorded for
// them, while the others' versions and recorded times are written; an unchanged file only
// has its recorded time moved on, and an unregistered path is left alone.
TEST_F(CaptureTest, ABatchFailsOnlyTheFilesThatFail) {
    using R = TBatchCapture::TResult;
    const std::string names[] = {"a.txt", "long.txt", "blocked.txt", "same.txt"};
    for (const std::string& name : names) {
        testing::Write(dir.file("docs/" + name), "one " + name, 1600000000);
        TRegistration reg;
        ASSERT_TRUE(RegisterFileWithVersion(catalogue, 1, Q(dir.file("docs/" + name)), reg));
        ASSERT_TRUE(reg.Captured);
    }
    for (const std::string& name : names)
        testing::Write(dir.file("docs/" + name), name == "same.txt" ? "one " + name : "two",
                       1600000100);
    // The backup directory of "blocked.txt" is a file now: its copy cannot be stored.
    std::filesystem::remove_all(dir.file("store/blocked.txt-bak"));
    testing::Write(dir.file("store/blocked.txt-bak"), "in the way");

    std::vector<TBatchCapture> items(5);
    for (int i = 0; i < 4; ++i) items[i].Path = Q(dir.file("docs/" + names[i]));
    items[0].Description = QStringLiteral("kept");
    items[1].Description = QString(TCatalogue::kRemarkBytes + 1, QLatin1Char('x'));
    items[4].Path = Q(dir.file("docs/unknown.txt"));
    CaptureVersions(catalogue, items);

    const R expected[] = {R::Kept, R::Failed, R::Failed, R::Identical, R::NotRegistered};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(items[i].Result, expected[i]) << i;
    EXPECT_FALSE(items[1].Error.isEmpty());
    EXPECT_FALSE(items[2].Error.isEmpty());
    const QString later = FormatVersionTime(GetFileTime(items[0].Path, ftkLastWrite));
    std::map<QString, std::pair<size_t, QString>> found;  // path -> versions, recorded time
    for (const TFileRow& f : catalogue.AllFiles())
        found[f.SourcePath] = {catalogue.VersionNamesOfFile(f.FileNo).size(), f.RecordedTime};
    EXPECT_EQ(found[items[0].Path].first, 2u);
    EXPECT_EQ(found[items[0].Path].second, later);
    EXPECT_EQ(items[0].Version.Remark, QStringLiteral("kept"));
    EXPECT_EQ(Content(items[0].Version.FilePath.toStdString()), "two");
    for (int i : {1, 2}) {
        EXPECT_EQ(found[items[i].Path].first, 1u) << i;
        EXPECT_NE(found[items[i].Path].second, later) << i;
    }
    EXPECT_EQ(found[items[3].Path].first, 1u);
    EXPECT_EQ(found[items[3].Path].second, later);
}

TEST_F(CaptureTest, AnIdenticalSaveMakesNoVersion) {
    verinfo rec;
    ASSERT_TRUE(CaptureVersion(catalogue, Q(source), "", rec));
    const auto save = [&](const char* text, int second) {
        std::ofstream(source) << text;
        SetLocalMTime(source, 2024, 3, 5, 15, 0, second);
        verinfo r;
        return CaptureVersion(catalogue, Q(source), "", r);
    };
    struct Step {
        const char* text;
        bool kept;
    } steps[] = {
        {"first", false},  // a touch
        {"firsT", true},   // same size, other bytes
        {"firsT", false},  // the editor saves the same text again
        {"first", true},   // back to an older version's bytes: the latest differs
        {"first!", true},  // another size
        {"", true},        // emptied
        {"", false},
    };
    size_t expected = 1;
    int second = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.text);
        second += 2;
        EXPECT_EQ(save(step.text, second), step.kept);
        expected += step.kept;
        EXPECT_EQ(VersionCount(), expected);
        EXPECT_EQ(RecordedTime(), FormatVersionTime(GetFileTime(Q(source), ftkLastWrite)));
        QStringList pending;
        Scan(pending);
        EXPECT_TRUE(pending.isEmpty());
    }
    // No copy was made for a save that was not kept.
    EXPECT_EQ(QDir(Q(dir.file("store/plan.txt-bak"))).entryList(QDir::Files).size(), expected);
}

// A save whose last-write time goes back to that of a stored version (an archive unpacked
// or a file copied with its times kept): the new bytes get a copy and a version name of
// their own (two seconds on), and the older version's copy keeps its bytes. The recorded
// time is the file's own.
TEST_F(CaptureTest, ASaveDatedLikeAnOlderVersionKeepsThatVersionsCopy) {
    const auto save = [&](const char* text, int second) {
        std::ofstream(source) << text;
        SetLocalMTime(source, 2024, 3, 5, 14, 7, second);
        verinfo rec;
        EXPECT_TRUE(CaptureVersion(catalogue, Q(source), "", rec)) << text;
        return rec;
    };
    const verinfo first = save("first", 33);
    save("second", 41);
    const verinfo third = save("third!", 33);
    EXPECT_EQ(first.VerName, "2024-03-05-14-07-32");
    EXPECT_EQ(third.VerName, "2024-03-05-14-07-34");
    EXPECT_EQ(RecordedTime(), "2024-03-05-14-07-32");
    EXPECT_NE(third.FilePath, first.FilePath);
    EXPECT_EQ(Content(first.FilePath), "first");
    EXPECT_EQ(Content(third.FilePath), "third!");
    const std::vector<TVersionRow> versions = catalogue.VersionsOfFile(1);
    ASSERT_EQ(versions.size(), 3u);
    EXPECT_EQ(Content(versions.front().FilePath), "first");
    EXPECT_EQ(Content(versions.back().FilePath), "third!");
}

// Two watched files of one name in one area, saved in the same second: each keeps its own
// copies (the second gets a backup directory of its own).
TEST_F(CaptureTest, FilesOfOneNameInOneAreaKeepTheirOwnCopies) {
    std::filesystem::create_directories(dir.file("other"));
    const std::string twin = dir.file("other/plan.txt");
    std::ofstream(twin) << "the other plan";
    SetLocalMTime(twin, 2024, 3, 5, 14, 7, 33);  // the same second as the first
    verinfo rec;
    ASSERT_TRUE(CaptureVersion(catalogue, Q(source), "", rec));
    TRegistration second;
    ASSERT_TRUE(RegisterFileWithVersion(catalogue, 1, Q(twin), second));
    ASSERT_TRUE(second.Captured);
    const std::vector<TFileRow> files = Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].BackupDir, Q(dir.file("store/plan.txt-bak")));
    EXPECT_NE(files[1].BackupDir, files[0].BackupDir);
    const std::vector<TVersionRow> mine = catalogue.VersionsOfFile(files[0].FileNo);
    const std::vector<TVersionRow> theirs = catalogue.VersionsOfFile(files[1].FileNo);
    ASSERT_EQ(mine.size(), 1u);
    ASSERT_EQ(theirs.size(), 1u);
    EXPECT_NE(mine[0].FilePath, theirs[0].FilePath);
    EXPECT_EQ(Content(mine[0].FilePath), "first");
    EXPECT_EQ(Content(theirs[0].FilePath), "the other plan");
    // The same file registered again (after its row went) finds its own directory again.
    ASSERT_TRUE(RemoveWatchedFile(catalogue, Q(source)));
    ASSERT_TRUE(RegisterFile(catalogue, 1, Q(source)));
    EXPECT_EQ(Files().back().BackupDir, Q(dir.file("store/plan.txt-bak")));
}

TEST_F(CaptureTest, RowIsFoundWithoutRegardToLetterCase) {
    ASSERT_TRUE(catalogue.RemoveFile(Q(source)));
    catalogue.AddFile(1, Q(source).toUpper(), Q(dir.file("store/plan.txt-bak")));
    verinfo rec;
    ASSERT_TRUE(CaptureVersion(catalogue, Q(source), "", rec));
    EXPECT_EQ(RecordedTime(), "2024-03-05-14-07-32");
}

TEST_F(CaptureTest, ScanCollectsChangedFilesOnce) {
    QStringList pending;
    Scan(pending);  // never captured: the empty time differs
    EXPECT_EQ(pending, QStringList{Q(source)});
    verinfo rec;
    ASSERT_TRUE(CaptureVersion(catalogue, Q(source), "", rec));
    pending.clear();
    Scan(pending);
    EXPECT_TRUE(pending.isEmpty());
    // A save within the same two-second step is no change.
    SetLocalMTime(source, 2024, 3, 5, 14, 7, 32);
    Scan(pending);
    EXPECT_TRUE(pending.isEmpty());
    SetLocalMTime(source, 2024, 3, 5, 14, 7, 34);
    Scan(pending);
    Scan(pending);  // already there: not added twice
    EXPECT_EQ(pending, QStringList{Q(source)});
    // A path registered a second time is still collected once.
    catalogue.AddFile(1, Q(source).toUpper(), "x");
    pending.clear();
    Scan(pending);
    EXPECT_EQ(pending.size(), 1);
}

TEST_F(CaptureTest, UnregisteredPathChangesNothing) {
    verinfo rec;
    EXPECT_FALSE(CaptureVersion(catalogue, Q(dir.file("docs/other.txt")), "", rec));
    EXPECT_EQ(VersionCount(), 0u);
    EXPECT_EQ(RecordedTime(), "");
}

TEST_F(CaptureTest, FailedCopyWritesNoRow) {
    // The backup directory's place is taken by a file: the copy cannot be made.
    std::filesystem::remove_all(dir.file("store/plan.txt-bak"));
    std::ofstream(dir.file("store/plan.txt-bak")) << "in the way";
    verinfo rec;
    EXPECT_THROW(CaptureVersion(catalogue, Q(source), "", rec), tarn::EFOpenError);
    EXPECT_EQ(VersionCount(), 0u);
    EXPECT_EQ(RecordedTime(), "");
}

TEST_F(CaptureTest, ARefusedVersionRowLeavesTheFileToBeCapturedAgain) {
    verinfo rec;
    const QString tooLong(TCatalogue::kRemarkBytes + 1, QLatin1Char('d'));
    EXPECT_THROW(CaptureVersion(catalogue, Q(source), tooLong, rec), tarn::EDatabaseError);
    EXPECT_EQ(VersionCount(), 0u);
    EXPECT_EQ(RecordedTime(), "");  // still differs from the file's time
    QStringList pending;
    Scan(pending);
    EXPECT_EQ(pending, QStringList{Q(source)});
    ASSERT_TRUE(CaptureVersion(catalogue, Q(source), "shorter", rec));
    EXPECT_EQ(VersionCount(), 1u);
}

TEST_F(CaptureTest, MissingSourceIsAnErrorAndNoRow) {
    std::filesystem::remove(source);
    verinfo rec;
    EXPECT_THROW(CaptureVersion(catalogue, Q(source), "", rec), tarn::EFOpenError);
    EXPECT_EQ(VersionCount(), 0u);
}

}  // namespace
}  // namespace filever

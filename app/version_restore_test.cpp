#include "app/version_restore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "app/catalogue_model.h"
#include "app/os/file_time.h"
#include "app/testing/catalogue_double.h"
#include "app/testing/files.h"
#include "app/version_capture.h"
#include "tarndb/errors.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

using testing::Content;
using testing::Entries;
using testing::Q;
using testing::Write;

// A watched file <tmp>/docs/plan.txt with two captured versions, "one" and "two", and a
// third state "three" saved after the last capture.
class RestoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.file("docs"));
        std::filesystem::create_directories(dir.file("store"));
        source = dir.file("docs/plan.txt");
        Write(source, "one", 1700000000);
        catalogue.AddArea("area", Q(dir.file("store")));
        ASSERT_TRUE(RegisterFile(catalogue, 1, Q(source)));
        ASSERT_TRUE(CaptureVersion(catalogue, Q(source), "first", v1));
        Write(source, "two", 1700000100);
        ASSERT_TRUE(CaptureVersion(catalogue, Q(source), "second", v2));
        Write(source, "three", 1700000200);
    }
    QString CurrentTime() const { return FormatVersionTime(GetFileTime(Q(source), ftkLastWrite)); }

    tarn::testing::TempDir dir;
    std::string source;
    testing::CatalogueDouble catalogue;
    verinfo v1, v2;
};

TEST_F(RestoreTest, PutsTheOlderBytesBackAndKeepsTheStateBeforeAsAVersion) {
    ASSERT_EQ(chmod(source.c_str(), 0640), 0);
    // A file of another user keeps its owner where the restorer may give files away.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(source.c_str(), 65534, 65534), 0);
    }
    const QString beforeTime = CurrentTime();
    TRestoreOutcome outcome;
    RestoreVersion(catalogue, Q(source), v1, outcome);

    EXPECT_EQ(Content(source), "one");
    struct stat st;
    ASSERT_EQ(stat(source.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
    // The unsaved state "three" is now a version of its own, described as such.
    ASSERT_TRUE(outcome.captured);
    ASSERT_EQ(catalogue.versions.size(), 3u);
    const TVersionRow& kept = catalogue.versions.back();
    EXPECT_EQ(kept.VerName, beforeTime);
    EXPECT_EQ(kept.Remark, RestoreBackupRemark(v1.VerName));
    EXPECT_EQ(Content(kept.FilePath), "three");
    EXPECT_EQ(outcome.capturedVersion.VerName, beforeTime);
    // The restored state is the file's recorded time: the next pass finds no change.
    EXPECT_EQ(outcome.restoredTime, CurrentTime());
    EXPECT_EQ(catalogue.files[0].RecordedTime, outcome.restoredTime);
    QStringList pending;
    TCatalogueModel(catalogue).ScanForChanges(pending);
    EXPECT_TRUE(pending.isEmpty());
    // No temporary file is left beside it; the stored copies are untouched.
    EXPECT_EQ(Entries(dir.file("docs")), QStringList{"plan.txt"});
    EXPECT_EQ(Content(v2.FilePath), "two");

    // Restoring again right away: the current state is the recorded one, nothing new is
    // captured.
    TRestoreOutcome again;
    RestoreVersion(catalogue, Q(source), v2, again);
    EXPECT_EQ(Content(source), "two");
    EXPECT_FALSE(again.captured);
    EXPECT_EQ(catalogue.versions.size(), 3u);
}

// Saved again within the two-second step of its last capture, the file shows no new time;
// a restore still keeps those bytes as a version first, under a name of its own, and a
// second restore does not keep the restored bytes again.
TEST_F(RestoreTest, AStateSavedInTheStepOfTheLastCaptureIsKeptBeforeARestore) {
    Write(source, "two, amended", 1700000101);
    ASSERT_EQ(CurrentTime(), v2.VerName);
    TRestoreOutcome outcome;
    RestoreVersion(catalogue, Q(source), v1, outcome);
    EXPECT_EQ(Content(source), "one");
    ASSERT_TRUE(outcome.captured);
    EXPECT_NE(outcome.capturedVersion.VerName, v2.VerName);
    EXPECT_EQ(Content(outcome.capturedVersion.FilePath), "two, amended");
    EXPECT_EQ(Content(v2.FilePath), "two");
    std::vector<QString> names = catalogue.VersionNamesOfFile(v1.FileNo);
    EXPECT_EQ(names.size(), 3u);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());

    TRestoreOutcome again;
    RestoreVersion(catalogue, Q(source), v2, again);
    EXPECT_FALSE(again.captured);
    EXPECT_EQ(Content(source), "two");
}

TEST_F(RestoreTest, DeletedOrLinkedFilesAreRestoredInPlace) {
    // A deleted watched file is made again; there is nothing to capture.
    std::filesystem::remove(source);
    TRestoreOutcome outcome;
    RestoreVersion(catalogue, Q(source), v2, outcome);
    EXPECT_EQ(Content(source), "two");
    EXPECT_FALSE(outcome.captured);
    EXPECT_EQ(catalogue.versions.size(), 2u);

    // A watched path that is a link: the file it points to gets the bytes, the link stays.
    const std::string real = dir.file("docs/real.txt");
    Write(real, "linked", 1700000300);
    std::filesystem::remove(source);
    std::filesystem::create_symlink(real, source);
    RestoreVersion(catalogue, Q(source), v1, outcome);
    EXPECT_TRUE(std::filesystem::is_symlink(source));
    EXPECT_EQ(Content(real), "one");
    EXPECT_EQ(Content(catalogue.versions.back().FilePath), "linked");
}

TEST_F(RestoreTest, RefusedRestoresChangeNothing) {
    const size_t versions = catalogue.versions.size();
    const QString recorded = catalogue.files[0].RecordedTime;
    TRestoreOutcome outcome;

    // The stored copy has gone.
    verinfo gone = v1;
    gone.FilePath = Q(dir.file("store/plan.txt-bak/missing.txt"));
    EXPECT_THROW(RestoreVersion(catalogue, Q(source), gone, outcome), tarn::EFOpenError);
    // A version of another file, and a path that is not registered.
    verinfo other = v1;
    other.FileNo = 99;
    EXPECT_THROW(RestoreVersion(catalogue, Q(source), other, outcome), tarn::EDatabaseError);
    EXPECT_THROW(RestoreVersion(catalogue, Q(source).toUpper(), v1, outcome), tarn::EDatabaseError);

    EXPECT_EQ(Content(source), "three");
    EXPECT_EQ(catalogue.versions.size(), versions);
    EXPECT_EQ(catalogue.files[0].RecordedTime, recorded);
    EXPECT_EQ(Entries(dir.file("docs")), QStringList{"plan.txt"});
}

// The restore as a user who may not write into the watched file's directory: for root (who
// writes anywhere) in a child process that has given up its rights, else after taking the
// directory's write bits away. The child reports through its exit code: 0 when the restore
// raised EFOpenError and left the catalogue as it was.
TEST_F(RestoreTest, ReadOnlyDirectoryFailsCleanly) {
    const size_t versions = catalogue.versions.size();
    const QString recorded = catalogue.files[0].RecordedTime;
    auto attempt = [&]() -> int {
        TRestoreOutcome outcome;
        try {
            RestoreVersion(catalogue, Q(source), v1, outcome);
        } catch (const tarn::EFOpenError&) {
            const bool unchanged = catalogue.versions.size() == versions &&
                                   catalogue.files[0].RecordedTime == recorded && !outcome.captured;
            return unchanged ? 0 : 3;
        } catch (...) {
            return 4;
        }
        return 1;
    };
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(dir.file("docs").c_str(), 0555), 0);
        EXPECT_EQ(attempt(), 0);
        chmod(dir.file("docs").c_str(), 0755);
    } else {
        ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
        // The backup directory takes files from anyone: only the watched file's
        // directory refuses, so a capture before the check would show.
        ASSERT_EQ(chmod(dir.file("store/plan.txt-bak").c_str(), 0777), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
            _exit(attempt());
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_EQ(Content(source), "three");
    EXPECT_EQ(Entries(dir.file("docs")), QStringList{"plan.txt"});
    EXPECT_EQ(Entries(dir.file("store/plan.txt-bak")).size(), 2);
}

}  // namespace
}  // namespace filever

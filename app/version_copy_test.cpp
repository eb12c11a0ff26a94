#include "app/os/version_copy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QString>
#include <filesystem>
#include <fstream>

#include "app/testing/files.h"
#include "tarndb/errors.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

using testing::Content;
using testing::Entries;
using testing::Q;
using testing::SetMTime;

TEST(CopyVersionFile, ReplacesTheTargetAndLeavesNoTemporaryFile) {
    tarn::testing::TempDir dir;
    const std::string source = dir.file("plan.txt");
    std::filesystem::create_directory(dir.file("bak"));
    const std::string target = dir.file("bak/plan{2024-03-05-14-07-32}.txt");
    std::ofstream(target) << "an older copy that is longer than the new one";
    std::string content(200000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 + 7);
    std::ofstream(source, std::ios::binary) << content;
    SetMTime(source, 1700000000);

    CopyVersionFile(Q(source), Q(target));

    EXPECT_EQ(Content(target), QByteArray::fromStdString(content));
    EXPECT_EQ(Entries(dir.file("bak")), QStringList{"plan{2024-03-05-14-07-32}.txt"});
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1700000000);  // the copy keeps the last-write time
}

TEST(CopyVersionFile, EmptySourceGivesEmptyCopy) {
    tarn::testing::TempDir dir;
    std::ofstream(dir.file("empty"));
    CopyVersionFile(Q(dir.file("empty")), Q(dir.file("copy")));
    EXPECT_EQ(Content(dir.file("copy")), "");
}

// Runs the copy as a user who may not write into the backup directory: for root (who
// writes anywhere) in a child process that has given up its rights, else after taking
// the directory's write bits away. True when the copy raised EFOpenError.
bool CopyRefused(const tarn::testing::TempDir& dir, const std::string& source,
                 const std::string& target) {
    const QString src = Q(source), dst = Q(target);
    if (geteuid() != 0) {
        chmod(dir.file("bak").c_str(), 0555);
        bool refused = false;
        try {
            CopyVersionFile(src, dst);
        } catch (const tarn::EFOpenError&) {
            refused = true;
        }
        chmod(dir.file("bak").c_str(), 0755);
        return refused;
    }
    chmod(dir.path().c_str(), 0755);
    chmod(source.c_str(), 0644);
    pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        try {
            CopyVersionFile(src, dst);
        } catch (const tarn::EFOpenError&) {
            _exit(0);
        } catch (...) {
        }
        _exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(CopyVersionFile, FailsCleanlyInAReadOnlyDirectory) {
    tarn::testing::TempDir dir;
    std::ofstream(dir.file("plan.txt")) << "new";
    std::filesystem::create_directory(dir.file("bak"));
    std::ofstream(dir.file("bak/plan{v}.txt")) << "old";
    EXPECT_TRUE(CopyRefused(dir, dir.file("plan.txt"), dir.file("bak/plan{v}.txt")));
    EXPECT_EQ(Content(dir.file("bak/plan{v}.txt")), "old");
    EXPECT_EQ(Entries(dir.file("bak")), QStringList{"plan{v}.txt"});
}

TEST(CopyVersionFile, MissingSourceOrDirectoryIsAnError) {
    tarn::testing::TempDir dir;
    std::ofstream(dir.file("plan.txt")) << "x";
    EXPECT_THROW(CopyVersionFile(Q(dir.file("gone.txt")), Q(dir.file("copy"))), tarn::EFOpenError);
    EXPECT_THROW(CopyVersionFile(Q(dir.file("plan.txt")), Q(dir.file("no/such/dir/copy"))),
                 tarn::EFOpenError);
    EXPECT_THROW(CopyVersionFile(Q(dir.path()), Q(dir.file("copy"))), tarn::EFOpenError);
    EXPECT_EQ(Entries(dir.path()), QStringList{"plan.txt"});
}

}  // namespace
}  // namespace filever

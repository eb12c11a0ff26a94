// The single-instance guard, the autostart entry and the catalogue's location.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <filesystem>
#include <fstream>

#include "app/gb_text.h"
#include "app/os/autostart.h"
#include "app/os/catalogue_path.h"
#include "app/os/single_instance.h"
#include "tarndb/errors.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        had_ = qEnvironmentVariableIsSet(name);
        old_ = qgetenv(name);
        qputenv(name, QByteArray::fromStdString(value));
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

using TResult = TSingleInstanceLock::TResult;

TEST(SingleInstance, OneHolderRefusesOthersUntilItDies) {
    tarn::testing::TempDir dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path());
    EXPECT_EQ(TSingleInstanceLock::LockFilePath("hkOneCopy"),
              QString::fromStdString(dir.file("hkOneCopy.lock")));

    // A child process takes the lock, says so through a pipe and waits to be killed.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    if (child == 0) {
        std::unique_ptr<TSingleInstanceLock> lock;
        char ok = TSingleInstanceLock::TryAcquire("hkOneCopy", lock) == TResult::Acquired;
        if (write(ready[1], &ok, 1) != 1) _exit(1);
        for (;;) pause();
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 1);

    std::unique_ptr<TSingleInstanceLock> second;
    EXPECT_EQ(TSingleInstanceLock::TryAcquire("hkOneCopy", second), TResult::HeldByOther);
    EXPECT_EQ(second, nullptr);

    // The holder ends without letting go: the lock is free for the next instance.
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    std::unique_ptr<TSingleInstanceLock> next;
    EXPECT_EQ(TSingleInstanceLock::TryAcquire("hkOneCopy", next), TResult::Acquired);
    // ... and while this one holds it, another open in this process is refused too.
    std::unique_ptr<TSingleInstanceLock> third;
    EXPECT_EQ(TSingleInstanceLock::TryAcquire("hkOneCopy", third), TResult::HeldByOther);
}

TEST(SingleInstance, WithoutRuntimeDirTheTempNameCarriesTheUserId) {
    ScopedEnv runtime("XDG_RUNTIME_DIR", "");
    EXPECT_EQ(TSingleInstanceLock::LockFilePath("hkOneCopy"),
              QDir::tempPath() + "/hkOneCopy-" + QString::number(getuid()) + ".lock");
}

TEST(SingleInstance, ALinkPlantedInPlaceOfTheLockIsNotFollowed) {
    tarn::testing::TempDir dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path());
    std::ofstream(dir.file("victim")) << "keep";
    ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("hkOneCopy.lock").c_str()), 0);
    std::unique_ptr<TSingleInstanceLock> lock;
    EXPECT_EQ(TSingleInstanceLock::TryAcquire("hkOneCopy", lock), TResult::Unavailable);
}

TEST(AutoStart, TickingWritesTheEntryClearingRemovesIt) {
    tarn::testing::TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.path());
    const QString entry = QString::fromStdString(dir.file("autostart/filever.desktop"));
    EXPECT_EQ(AutoStartFilePath(), entry);
    EXPECT_FALSE(AutoStartEnabled());

    WriteAutoStart(QStringLiteral("文件版本控制"), QStringLiteral("/opt/file ver/filever"), true);
    ASSERT_TRUE(AutoStartEnabled());
    QFile f(entry);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nName=文件版本控制\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/opt/file ver/filever\"\n")) << text.toStdString();
    f.close();

    WriteAutoStart(QStringLiteral("文件版本控制"), QStringLiteral("/opt/file ver/filever"), false);
    EXPECT_FALSE(AutoStartEnabled());
    EXPECT_FALSE(QFile::exists(entry));
    // Clearing when there is nothing to clear is no error.
    WriteAutoStart(QStringLiteral("文件版本控制"), QStringLiteral("/x"), false);
}

TEST(AutoStart, UnwritableDirectoryReportsFailedToCreateKey) {
    tarn::testing::TempDir dir;
    // A file where the configuration directory should be: no user can create it.
    std::ofstream(dir.file("config")) << "";
    ScopedEnv config("XDG_CONFIG_HOME", dir.file("config"));
    try {
        WriteAutoStart(QStringLiteral("文件版本控制"), QStringLiteral("/usr/bin/filever"), true);
        FAIL() << "no error";
    } catch (const tarn::Exception& e) {
        EXPECT_EQ(AnsiToQString(e.Message()),
                  "Failed to create key " + QString::fromStdString(dir.file("config/autostart")));
    }
    EXPECT_FALSE(AutoStartEnabled());
}

TEST(CatalogueFileName, BesideTheExecutableWhenPresentElseUserData) {
    tarn::testing::TempDir dir;
    ScopedEnv data("XDG_DATA_HOME", dir.file("data"));
    std::filesystem::create_directory(dir.file("bin"));
    const QString exeDir = QString::fromStdString(dir.file("bin"));
    EXPECT_EQ(CatalogueFileNameFor(exeDir),
              QString::fromStdString(dir.file("data")) + QStringLiteral("/filever/版本控制.dat"));
    QFile beside(exeDir + QStringLiteral("/版本控制.dat"));
    ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
    beside.close();
    EXPECT_EQ(CatalogueFileNameFor(exeDir), exeDir + QStringLiteral("/版本控制.dat"));
}

TEST(GbText, RoundTripsChineseAndCharactersBeyondCodePage936) {
    const QString text = QStringLiteral("版本控制.dat 😀 é");
    const std::string ansi = QStringToAnsi(text);
    EXPECT_EQ(ansi.substr(0, 4), std::string("\xB0\xE6\xB1\xBE"));  // 版本 in code page 936
    EXPECT_EQ(AnsiToQString(ansi), text);
    EXPECT_EQ(AnsiToQString(""), QString());
    EXPECT_EQ(AnsiToQString("\x81"), QString(QChar(0xFFFD)));  // a lead byte alone
}

}  // namespace
}  // namespace filever

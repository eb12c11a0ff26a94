// A database file cut short by another program while this one reads it: every kind of
// read ends with the damaged-file error (or with data that is still in the file), never
// with SIGBUS from a mapped page past the end. Each case runs in a child process, so that a
// signal shows as that case's failure.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "platform/os/env.h"
#include "platform/os/mapped_read.h"
#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/indexes.h"
#include "tarndb/table_io.h"
#include "tests/support/quiet_timers.h"
#include "tests/support/table_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

using testing::RecordBuffer;
using testing::TempDir;
using testing::TestHost;

namespace fs = std::filesystem;

constexpr int kRows = 40;
constexpr int64_t kPage = 4096;

// Forwards to the system's file, and once armed, cuts the file (as another program would,
// through an open of its own) right after the engine has learnt its length for the mapping:
// the cut then falls inside the engine's holding of the file lock.
class CutAfterMapFile final : public File {
public:
    CutAfterMapFile(std::unique_ptr<File> target, int64_t& cutTo)
        : File(target->Path()), target_(std::move(target)), cutTo_(cutTo) {}
    size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
        return target_->ReadAt(offset, buffer, count);
    }
    void WriteAt(int64_t offset, const void* buffer, size_t count) override {
        target_->WriteAt(offset, buffer, count);
    }
    int64_t Size() override { return target_->Size(); }
    void Truncate(int64_t length) override { target_->Truncate(length); }
    void Sync() override { target_->Sync(); }
    bool TryLockByte(int64_t offset) override { return target_->TryLockByte(offset); }
    bool TryReadLockByte(int64_t offset) override { return target_->TryReadLockByte(offset); }
    void UnlockByte(int64_t offset) override { target_->UnlockByte(offset); }
    bool LockHeldElsewhere(int64_t offset) override { return target_->LockHeldElsewhere(offset); }
    bool TryLockRange(int64_t offset, int64_t count, bool write) override {
        return target_->TryLockRange(offset, count, write);
    }
    void UnlockRange(int64_t offset, int64_t count) override {
        target_->UnlockRange(offset, count);
    }
    const uint8_t* MapView(int64_t& length, int64_t& capacity) override {
        const uint8_t* p = target_->MapView(length, capacity);
        if (cutTo_ >= 0) {
            fs::resize_file(Path(), static_cast<uintmax_t>(cutTo_));
            cutTo_ = -1;
        }
        return p;
    }

private:
    std::unique_ptr<File> target_;
    int64_t& cutTo_;
};

class CutAfterMapEnv final : public EnvWrapper {
public:
    CutAfterMapEnv() : EnvWrapper(Env::Default()) {}
    int64_t cutTo = -1;  // armed while >= 0
    std::unique_ptr<File> OpenFile(const std::string& path, OpenAccess access,
                                   OpenSharing sharing) override {
        return std::make_unique<CutAfterMapFile>(EnvWrapper::OpenFile(path, access, sharing),
                                                 cutTo);
    }
};

// T: ID autoinc, Name string (index ByName), Body memo of 6,000 bytes a row, so that the
// rows' fixed parts and memos lie on pages of their own.
class FileCut : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("cut.tdb");
    std::string base = dir.file("base.tdb");

    void SetUp() override {
        TTarnDBCreator::CreateDatabase(path);
        TTarnDBCreator::AddTable(path, "T",
                                 {{"ID", ftAutoInc}, {"Name", ftString, 20}, {"Body", ftMemo}},
                                 {{"ByName", tiCaseInsensitive, {"Name"}}});
        TestHost host(path);
        TTarnTableIO t(host, "T");
        t.AcquireTable();
        RecordBuffer rec(t);
        for (int i = 0; i < kRows; ++i) {
            rec.Clear();
            rec.SetString(1, Name(i));
            rec.SetBlob(2, std::string(6000, static_cast<char>('a' + i % 26)));
            rec.Append();
        }
        t.ReleaseTable();
        fs::copy_file(path, base);
    }

    static std::string Name(int i) { return "row" + std::to_string(1000 + i); }

    // What a child reports through its exit status.
    enum Outcome { kDamaged = 10, kFinished = 11, kOtherError = 12 };

    // Runs `read` in a child on a fresh copy of the file, with `env` (if any) underneath,
    // after the child has walked the whole table once (so the file is mapped); `read` gets
    // the offset to cut at: a page boundary below row kRows / 2's fixed part.
    void Expect(const char* what, Env* env,
                const std::function<void(TTarnTableIO&, RecordBuffer&, int64_t)>& read) {
        SCOPED_TRACE(what);
        fs::copy_file(base, path, fs::copy_options::overwrite_existing);
        testing::TQuietTimers quietTimers;  // the test forks
        std::fflush(nullptr);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int code = kFinished;
            try {
                if (env) SetCurrentEnv(env);
                TestHost host(path);
                TTarnTableIO t(host, "T");
                t.AcquireTable();
                RecordBuffer rec(t);
                t.ReadAhead(t.RecordList(0), 0, kRows);
                for (int p = 0; p < kRows; ++p) {
                    rec.Fetch(0, p);
                    if (rec.BlobValue(2).size() != 6000) std::_Exit(kOtherError);
                }
                t.RecordList(1);
                const int64_t cut = t.RecordList(0).At(kRows / 2).dataOffset / kPage * kPage;
                read(t, rec, cut);
            } catch (const EDatabaseError& e) {
                code = e.Message().find("is damaged") != std::string::npos ? kDamaged : kOtherError;
                if (code != kDamaged) std::fprintf(stderr, "%s\n", e.Message().c_str());
            } catch (const Exception& e) {
                std::fprintf(stderr, "%s\n", e.Message().c_str());
                code = kOtherError;
            }
            std::fflush(nullptr);
            std::_Exit(code);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_FALSE(WIFSIGNALED(status)) << "the reader died of signal " << WTERMSIG(status);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), kDamaged)
            << "10: the damaged-file error; 11: the read finished over a cut file; 12: another "
               "error; else a sanitizer's report of a signal";
    }
};

// The cut happens between two reads, while this process holds no lock: the mapping still
// spans the old length.
TEST_F(FileCut, EveryKindOfReadAfterAnotherProgramCutTheFile) {
    auto cut = [this](int64_t at) { fs::resize_file(path, static_cast<uintmax_t>(at)); };
    Expect("a walk over copies read ahead", nullptr,
           [&](TTarnTableIO& t, RecordBuffer& rec, int64_t at) {
               t.ReadAhead(t.RecordList(0), 0, kRows);
               cut(at);
               for (int p = 0; p < kRows; ++p) rec.Fetch(0, p);
           });
    Expect("a walk in key order over a read-ahead range", nullptr,
           [&](TTarnTableIO& t, RecordBuffer& rec, int64_t at) {
               t.ReadAhead(t.RecordList(1), kRows / 4, kRows / 2);
               cut(at);
               for (int p = kRows / 4; p < kRows; ++p) rec.Fetch(1, p);
           });
    Expect("a key search", nullptr, [&](TTarnTableIO& t, RecordBuffer& rec, int64_t at) {
        cut(at);
        rec.Clear();
        rec.SetString(1, Name(kRows - 1));
        TFieldBuffers key = rec.Buffers();
        TTableIndexes::SearchKey(t, key, t.RecordList(1), false, 1, 0);
    });
    Expect("a memo read", nullptr, [&](TTarnTableIO&, RecordBuffer& rec, int64_t at) {
        rec.Fetch(0, kRows - 1);  // the memo is loaded when first read
        cut(at);
        rec.BlobValue(2);
    });
    Expect("a field read", nullptr, [&](TTarnTableIO& t, RecordBuffer&, int64_t at) {
        cut(at);
        TMemoryStream value;
        t.ReadStoredField(kRows - 1, 1, value);
    });
}

// The cut happens while this process holds the lock, after it learnt the file's length: the
// reads that copy out of the mapping find the bytes gone.
TEST_F(FileCut, CopiesOutOfTheMappingWhenTheFileIsCutUnderTheLock) {
    if (!MappedReadsGuarded()) GTEST_SKIP() << "SIGBUS is kept by a sanitizer (handle_sigbus=2)";
    CutAfterMapEnv env;
    Expect("a memo read", &env, [&](TTarnTableIO& t, RecordBuffer& rec, int64_t) {
        rec.Fetch(0, kRows - 1);
        // The record's fixed part stays; its memo, behind it, is cut off.
        const int64_t fixedEnd = t.RecordList(0).At(kRows - 1).dataOffset + t.RecordSize();
        env.cutTo = (fixedEnd + kPage - 1) / kPage * kPage;
        rec.BlobValue(2);
    });
    Expect("a field read", &env, [&](TTarnTableIO& t, RecordBuffer&, int64_t at) {
        env.cutTo = at;
        TMemoryStream value;
        t.ReadStoredField(kRows - 1, 1, value);
    });
    Expect("a record read without read-ahead", &env,
           [&](TTarnTableIO& t, RecordBuffer& rec, int64_t at) {
               t.ReadAhead(t.RecordList(0), 0, 0);  // no copies: the fetch reads the file
               env.cutTo = at;
               rec.Fetch(0, kRows - 1);
           });
}

// The guard itself: a copy or comparison over a page past the end of a mapped file reports
// the bytes gone; over the pages still there it works as memcpy / memcmp.
TEST(MappedRead, ReportsBytesCutOffUnderAMapping) {
    if (!MappedReadsGuarded()) GTEST_SKIP() << "SIGBUS is kept by a sanitizer (handle_sigbus=2)";
    TempDir dir;
    std::string file = dir.file("m.bin");
    {
        std::FILE* f = std::fopen(file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::string bytes(3 * kPage, 'x');
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    auto opened = Env::Default()->OpenFile(file, OpenAccess::ReadOnly, OpenSharing::Everybody);
    int64_t length = 0, capacity = 0;
    const uint8_t* map = opened->MapView(length, capacity);
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(length, 3 * kPage);
    fs::resize_file(file, kPage + 10);
    uint8_t out[64];
    const std::string xs(sizeof out, 'x');
    EXPECT_TRUE(CopyFromMapping(out, map + 8, sizeof out));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), sizeof out), xs);
    EXPECT_EQ(CompareWithMapping(map, xs.data(), xs.size()), TMappedCompare::Same);
    EXPECT_EQ(CompareWithMapping(map, "xxy", 3), TMappedCompare::Differs);
    // Across the last page that still exists into the first that does not, and beyond.
    EXPECT_FALSE(CopyFromMapping(out, map + 2 * kPage - 16, sizeof out));
    EXPECT_FALSE(CopyFromMapping(out, map + 2 * kPage + 100, sizeof out));
    EXPECT_EQ(CompareWithMapping(map + 2 * kPage + 100, xs.data(), xs.size()),
              TMappedCompare::Gone);
    // The guard leaves nothing behind: the next copy works, and the next fault is caught.
    EXPECT_TRUE(CopyFromMapping(out, map + kPage, 10));
    EXPECT_FALSE(CopyFromMapping(out, map + 2 * kPage, 1));
}

// A fault that is not a guarded read's goes on to the handler from before (the sanitizer's,
// or the default action): the process does not carry on over it.
TEST(MappedRead, LeavesOtherFaultsToTheHandlerBefore) {
    TempDir dir;
    std::string file = dir.file("m.bin");
    {
        std::FILE* f = std::fopen(file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::string bytes(3 * kPage, 'x');
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    testing::TQuietTimers quietTimers;  // the test forks
    std::fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        alarm(20);  // a handler that let the fault repeat for ever ends here, by SIGALRM
        auto opened = Env::Default()->OpenFile(file, OpenAccess::ReadOnly, OpenSharing::Everybody);
        int64_t length = 0, capacity = 0;
        const uint8_t* map = opened->MapView(length, capacity);
        uint8_t out[8];
        if (map == nullptr || !CopyFromMapping(out, map, sizeof out)) std::_Exit(3);
        fs::resize_file(file, kPage);
        volatile const uint8_t* past = map + 2 * kPage;
        const uint8_t value = *past;  // a volatile read: it is made
        static_cast<void>(value);
        std::_Exit(0);  // the process carried on over the fault
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_FALSE(WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 3))
        << "exit status " << WEXITSTATUS(status);
    EXPECT_FALSE(WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) << "the fault repeated";
}

}  // namespace
}  // namespace tarn

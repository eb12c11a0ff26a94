#include "tarndb/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/bytes.h"
#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/file_stream.h"
#include "tarndb/memory_registry.h"
#include "tests/support/quiet_timers.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

using namespace tarn::format;
using testing::TempDir;

struct LockSettings : TTarnDBFileOwner {
    int retry = 20, wait = 100;
    int LockRetryCount() const override { return retry; }
    int LockWaitTime() const override { return wait; }
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Spit(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

class FileIOTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("db.dat");
    void SetUp() override { TTarnDBCreator::CreateDatabase(path); }
    std::string OpenError(const std::string& name) {
        return ErrorOf([&] {
            TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
            io.OpenStorage(name, TTarnDBMediumType::mtDisk, false);
        });
    }
};

TEST_F(FileIOTest, HeadChecksAcceptAndRefuseVersionsAndMagic) {
    struct Case {
        std::string magic, version, message;
    } cases[] = {
        {"TarnDB", "2.0", "(no error)"},
        {"TarnDB", "1.5", "(no error)"},
        {"TarnDB", "10.0", "(no error)"},
        {"TarnDB", "1.00", "Version 1.00 is not compatible"},
        {"TarnDB", "2.00", "Version of database file is too High"},
        {"TarnDB", "2.1", "Version of database file is too High"},
        {"tarndb", "2.0", "Database file '" + path + "' is an invalid TarnDB"},
        {"TarnDX", "2.0", "Database file '" + path + "' is an invalid TarnDB"},
    };
    std::string image = Slurp(path);
    for (const Case& c : cases) {
        std::string bytes = image;
        std::fill(bytes.begin(), bytes.begin() + kHeadSize, '\0');
        bytes.replace(0, c.magic.size(), c.magic);
        bytes.replace(kHeadVersionOffset, c.version.size(), c.version);
        Spit(path, bytes);
        EXPECT_EQ(OpenError(path), c.message) << c.magic << " " << c.version;
    }
    Spit(path, "TarnDB");
    EXPECT_EQ(OpenError(path), "Database file '" + path + "' is an invalid TarnDB");
    EXPECT_EQ(OpenError(dir.file("missing.dat")), "Cannot open file " + dir.file("missing.dat"));
}

TEST_F(FileIOTest, DamagedStructuresRaiseClearErrors) {
    std::string image = Slurp(path);
    // A table count beyond the format's limit.
    std::string bytes = image;
    bytes[kDirOffset] = 0x2C;  // 300
    bytes[kDirOffset + 1] = 0x01;
    Spit(path, bytes);
    EXPECT_NE(OpenError(path).find("is damaged: table count 300"), std::string::npos);
    // A file cut inside its information block.
    Spit(path, image.substr(0, kInfoOffset + 10));
    EXPECT_NE(OpenError(path).find("is damaged"), std::string::npos);
    // A table header offset beyond the end.
    bytes = image;
    bytes[kDirOffset] = 1;
    bytes[kDirOffset + 8] = 0x00;
    bytes[kDirOffset + 9] = 0x00;
    bytes[kDirOffset + 10] = 0x10;  // 1 MiB
    Spit(path, bytes);
    TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
    io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    std::vector<std::string> names = {"kept"};
    EXPECT_NE(ErrorOf([&] { io.ListTableNames(names); }).find("lie beyond the end of the file"),
              std::string::npos);
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
}

TEST_F(FileIOTest, CompressedOrEncryptedFileWithoutModuleIsRefused) {
    std::string image = Slurp(path);
    std::string bytes = image;
    bytes[kInfoOffset + DatabaseInfo::kCompressed] = 1;
    bytes.replace(kInfoOffset + DatabaseInfo::kCompressModuleName, 4, "LZMA");
    Spit(path, bytes);
    EXPECT_EQ(OpenError(path), "Compression algorithm module 'LZMA' not found");
    bytes = image;
    bytes[kInfoOffset + DatabaseInfo::kEncrypted] = 1;
    bytes.replace(kInfoOffset + DatabaseInfo::kEncryptModuleName, 4, "Rot1");
    Spit(path, bytes);
    EXPECT_EQ(OpenError(path), "Encryption algorithm module 'Rot1' not found");
}

TEST(MemoryDatabase, NamesAndCallerOwnedStream) {
    TMemoryStream stream(TTarnDBCreator::CreateImage());
    std::string name = RegisterMemoryStream(&stream);
    for (std::string bad : {":", "0A1b", ":12G4", ":FFFFFFFFFFFFFFFFF"}) {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtMemory, false);
        EXPECT_EQ(ErrorOf([&] { io.OpenStorage(bad, TTarnDBMediumType::mtMemory, false); }),
                  "Invalid database name '" + bad + "'");
        EXPECT_FALSE(io.IsOpen());
    }
    EXPECT_TRUE(IsMemoryStreamName(":0A1b"));
    // A well-formed name that no stream was registered under.
    EXPECT_EQ(ErrorOf([&] {
                  TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtMemory, false);
                  io.OpenStorage(":0A1b", TTarnDBMediumType::mtMemory, false);
              }),
              "Invalid database name ':0A1b'");

    {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtMemory, false);
        io.OpenStorage(name, TTarnDBMediumType::mtMemory, false);
        EXPECT_TRUE(io.IsFlushed());
        io.WriteAt(io.FileSize(), "xyz", 3);
        EXPECT_TRUE(io.IsFlushed());
        io.AcquireFileLock();  // nothing to lock in memory
        io.ReleaseFileLock();
        io.CloseStorage();
        EXPECT_FALSE(io.IsOpen());
    }
    // The caller's stream survives with every write made while open.
    EXPECT_EQ(stream.Size(), kFirstFreeOffset + 3);
    EXPECT_EQ(stream.Bytes().substr(kFirstFreeOffset), "xyz");
    UnregisterMemoryStream(name);
}

TEST_F(FileIOTest, FlushedFlagFollowsWritesAndFlushes) {
    TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
    io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    EXPECT_TRUE(io.IsFlushed());
    io.WriteAt(io.FileSize(), "abc", 3);
    EXPECT_FALSE(io.IsFlushed());
    io.FlushStorage();
    EXPECT_TRUE(io.IsFlushed());
    // Reads see the write, also from a second open, before and after it maps the file.
    TTarnDBFileIO other(nullptr, TTarnDBMediumType::mtDisk, false);
    other.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    char buf[3];
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        io.WriteAt(kFirstFreeOffset, "abc", 3);
        other.ReadAt(kFirstFreeOffset, 3, buf);
        EXPECT_EQ(std::string(buf, 3), "abc");
        io.WriteAt(kFirstFreeOffset, "XY", 2);
        io.WriteAt(kFirstFreeOffset + 3, "Z", 1);
        other.ReadAt(kFirstFreeOffset, 3, buf);
        EXPECT_EQ(std::string(buf, 3), "XYc");
        other.ReadAt(kFirstFreeOffset + 1, 3, buf);
        EXPECT_EQ(std::string(buf, 3), "YcZ");
        for (int i = 0; i < TTarnDBFileStream::kReadsBeforeMapping; ++i)
            other.ReadAt(kFirstFreeOffset, 1, buf);  // enough small reads to map the file
    }
}

// Appended bytes a transaction keeps in memory: bytes nothing wrote (gaps behind the end,
// whole chunks skipped and written into later) read as zeros, before and after the commit.
TEST_F(FileIOTest, TransactionTailGapsReadAsZeros) {
    TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
    io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    io.SetSyncCommit(false);
    const int64_t base = io.FileSize();
    const int64_t chunk = TTarnDBFileIO::kTailChunk;
    std::vector<uint8_t> expect(static_cast<size_t>(base));
    io.ReadAt(0, expect.size(), expect.data());
    io.BeginTransaction();
    auto write = [&](int64_t at, size_t n, uint8_t v) {
        std::vector<uint8_t> bytes(n, v);
        io.WriteAt(at, bytes.data(), n);
        if (expect.size() < static_cast<size_t>(at) + n) expect.resize(static_cast<size_t>(at) + n);
        std::fill_n(expect.begin() + at, n, v);
    };
    write(base + 10, 5, 0xC1);               // a gap at the old end
    write(base + 3 * chunk + 100, 7, 0xC2);  // skips two chunks, starts inside a third
    write(base + chunk + 500, 9, 0xC3);      // into a skipped chunk, below the end
    write(base + 3 * chunk + 200, 4, 0xC4);  // a gap inside a chunk that exists
    ASSERT_EQ(io.FileSize(), static_cast<int64_t>(expect.size()));
    std::vector<uint8_t> read(expect.size());
    io.ReadAt(0, read.size(), read.data());
    EXPECT_TRUE(read == expect);
    io.CommitTransaction();
    std::vector<uint8_t> file(expect.size());
    ASSERT_EQ(io.FileSize(), static_cast<int64_t>(expect.size()));
    io.ReadAt(0, file.size(), file.data());
    EXPECT_TRUE(file == expect);
}

TEST_F(FileIOTest, ReadOnlyFileOpensAndRefusesWrites) {
    chmod(path.c_str(), 0444);
    TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
    io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    EXPECT_TRUE(io.ReadOnly());
    EXPECT_NE(ErrorOf([&] { io.WriteAt(kFirstFreeOffset, "x", 1); }).find("is read-only"),
              std::string::npos);
}

TEST_F(FileIOTest, ExclusiveOpenExcludesOthersAndSharedOpensCoexist) {
    testing::TQuietTimers quietTimers;  // the test forks
    TTarnDBFileIO a(nullptr, TTarnDBMediumType::mtDisk, false);
    TTarnDBFileIO b(nullptr, TTarnDBMediumType::mtDisk, false);
    a.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    b.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    TTarnDBFileIO x(nullptr, TTarnDBMediumType::mtDisk, true);
    EXPECT_THROW(x.OpenStorage(path, TTarnDBMediumType::mtDisk, true), EFOpenError);
    a.CloseStorage();
    b.CloseStorage();
    x.OpenStorage(path, TTarnDBMediumType::mtDisk, true);
    std::string msg = ErrorOf([&] { a.OpenStorage(path, TTarnDBMediumType::mtDisk, false); });
    EXPECT_NE(msg.find(path), std::string::npos) << msg;
    EXPECT_NE(msg.find("sharing violation"), std::string::npos) << msg;

    // Another process is refused the same way while we hold the file exclusively.
    pid_t pid = fork();
    if (pid == 0) {
        int code = 0;
        try {
            TTarnDBFileIO c(nullptr, TTarnDBMediumType::mtDisk, false);
            c.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        } catch (const EFOpenError&) {
            code = 7;
        } catch (...) {
            code = 1;
        }
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST_F(FileIOTest, ExclusiveOpenOfAReadOnlyFile) {
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    auto open = [&](TTarnDBFileIO& io, bool exclusive) {
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, exclusive);
    };
    {
        TTarnDBFileIO x(nullptr, TTarnDBMediumType::mtDisk, true);
        open(x, true);
        EXPECT_TRUE(x.ReadOnly());
        x.AcquireFileLock();
        x.ReleaseFileLock();
        EXPECT_EQ(x.Directory().TableCount(), 0);
        // Nobody else gets in: neither a shared nor another exclusive open, nor a writer
        // (here the superuser, whom the file's mode does not stop).
        TTarnDBFileIO s(nullptr, TTarnDBMediumType::mtDisk, false),
            y(nullptr, TTarnDBMediumType::mtDisk, true);
        EXPECT_THROW(open(s, false), EFOpenError);
        EXPECT_THROW(open(y, true), EFOpenError);
        for (OpenSharing sharing : {OpenSharing::Shared, OpenSharing::Exclusive})
            EXPECT_THROW(CurrentEnv()->OpenFile(path, OpenAccess::ReadWrite, sharing), EFOpenError);
    }
    // Nor does it get in while another has the file open.
    TTarnDBFileIO s(nullptr, TTarnDBMediumType::mtDisk, false);
    open(s, false);
    TTarnDBFileIO x(nullptr, TTarnDBMediumType::mtDisk, true);
    std::string msg = ErrorOf([&] { open(x, true); });
    EXPECT_NE(msg.find("sharing violation"), std::string::npos) << msg;
    s.CloseStorage();
    {
        auto writer = CurrentEnv()->OpenFile(path, OpenAccess::ReadWrite, OpenSharing::Exclusive);
        EXPECT_THROW(open(x, true), EFOpenError);
    }
    open(x, true);
    EXPECT_TRUE(x.IsOpen());
}

TEST_F(FileIOTest, LockRetriesThenTimesOut) {
    testing::SleepRecordingEnv env;
    testing::ScopedEnv scoped(&env);
    LockSettings settings;
    settings.retry = 2;
    settings.wait = 50;
    TTarnDBFileIO holder(nullptr, TTarnDBMediumType::mtDisk, false);
    TTarnDBFileIO waiter(&settings, TTarnDBMediumType::mtDisk, false);
    holder.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    waiter.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    holder.AcquireFileLock();
    EXPECT_EQ(ErrorOf([&] { waiter.AcquireFileLock(); }),
              "Wait for unlock time out: database file '" + path +
                  "' is locked by another connection's transaction");
    EXPECT_EQ(env.sleeps, (std::vector<int>{50, 50}));  // 3 attempts, 2 waits

    // Retry count 0 waits without end: here until the holder lets go after 5 waits.
    settings.retry = 0;
    env.sleeps.clear();
    env.onSleep = [&] {
        if (env.sleeps.size() == 5) holder.ReleaseFileLock();
    };
    waiter.AcquireFileLock();
    EXPECT_EQ(env.sleeps.size(), 5u);
    waiter.ReleaseFileLock();
}

// The lock states between three opens: readers share the file with a transaction being
// built; its commit waits for the readers there are while new ones wait for it (so that a
// stream of readers cannot starve it), and a second writer waits for the whole transaction.
TEST_F(FileIOTest, ACommitWaitsForTheReadersThereAreAndNewReadersWaitForIt) {
    testing::SleepRecordingEnv env;
    testing::ScopedEnv scoped(&env);
    LockSettings patient, brief;
    patient.retry = 0;  // for ever
    patient.wait = brief.wait = 1;
    brief.retry = 1;
    TTarnDBFileIO writer(&patient, TTarnDBMediumType::mtDisk, false);
    TTarnDBFileIO reader(&brief, TTarnDBMediumType::mtDisk, false);
    TTarnDBFileIO late(&brief, TTarnDBMediumType::mtDisk, false);
    for (TTarnDBFileIO* io : {&writer, &reader, &late})
        io->OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    const std::string held = "Wait for unlock time out: database file '" + path +
                             "' is locked by another connection's transaction";

    reader.AcquireReadLock();
    writer.BeginTransaction();
    uint8_t word[4], old[4];
    writer.ReadAt(format::kDirOffset + 4, sizeof old, old);  // not interpreted
    std::memcpy(word, "TXN!", 4);
    writer.WriteAt(format::kDirOffset + 4, word, sizeof word);
    late.AcquireReadLock();  // a transaction being built keeps no reader out
    late.ReleaseReadLock();
    EXPECT_EQ(ErrorOf([&] { late.AcquireFileLock(); }), held);  // nor lets a writer in

    std::string lateWhileCommitting;
    bool inside = false;
    env.onSleep = [&] {
        if (inside) return;
        inside = true;
        // The commit waits for `reader`, and holds PENDING meanwhile: a new reader waits.
        lateWhileCommitting = ErrorOf([&] { late.AcquireReadLock(); });
        reader.ReleaseReadLock();
    };
    env.sleeps.clear();
    writer.CommitTransaction();
    EXPECT_EQ(lateWhileCommitting, held);
    EXPECT_TRUE(writer.LastCommitCommitted());
    env.onSleep = nullptr;
    late.AcquireReadLock();
    uint8_t seen[4];
    late.ReadAt(format::kDirOffset + 4, sizeof seen, seen);
    EXPECT_EQ(std::memcmp(seen, word, 4), 0);
    late.ReleaseReadLock();
}

// A reader that wants to write while a writer waits for it to commit would wait for the
// writer as the writer waits for it: it gives up at once, without a wait, and the commit
// goes through once it lets go.
TEST_F(FileIOTest, AReaderThatWantsToWriteWhileACommitWaitsForItGivesUpAtOnce) {
    testing::SleepRecordingEnv env;
    testing::ScopedEnv scoped(&env);
    LockSettings patient, brief;
    patient.retry = 0;
    patient.wait = brief.wait = 1;
    brief.retry = 5;
    TTarnDBFileIO writer(&patient, TTarnDBMediumType::mtDisk, false);
    TTarnDBFileIO reader(&brief, TTarnDBMediumType::mtDisk, false);
    writer.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    reader.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    reader.AcquireReadLock();
    writer.BeginTransaction();
    uint8_t word[4] = {'T', 'X', 'N', '!'};
    writer.WriteAt(format::kDirOffset + 4, word, sizeof word);
    std::string readerWriting;
    size_t sleepsBefore = 0, sleepsAfter = 0;
    bool inside = false;
    env.onSleep = [&] {
        if (inside) return;
        inside = true;
        sleepsBefore = env.sleeps.size();
        readerWriting = ErrorOf([&] { reader.AcquireFileLock(); });
        sleepsAfter = env.sleeps.size();
        reader.ReleaseReadLock();
    };
    writer.CommitTransaction();
    env.onSleep = nullptr;
    EXPECT_EQ(readerWriting, "Wait for unlock time out: database file '" + path +
                                 "' is locked by another connection's transaction");
    EXPECT_EQ(sleepsAfter, sleepsBefore) << "the reader waited";
    EXPECT_TRUE(writer.LastCommitCommitted());
    reader.AcquireFileLock();  // free now
    reader.ReleaseFileLock();
}

TEST_F(FileIOTest, LockExcludesAnotherProcess) {
    testing::TQuietTimers quietTimers;  // the test forks
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    pid_t pid = fork();
    if (pid == 0) {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        io.AcquireFileLock();
        char c = 'L';
        if (write(toParent[1], &c, 1) != 1) _exit(1);
        if (read(toChild[0], &c, 1) != 1) _exit(1);  // hold until told
        io.ReleaseFileLock();
        c = 'U';
        if (write(toParent[1], &c, 1) != 1) _exit(1);
        if (read(toChild[0], &c, 1) != 1) _exit(1);
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    LockSettings settings;
    settings.retry = 1;
    settings.wait = 1;
    TTarnDBFileIO io(&settings, TTarnDBMediumType::mtDisk, false);
    io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    EXPECT_EQ(ErrorOf([&] { io.AcquireFileLock(); }),
              "Wait for unlock time out: database file '" + path +
                  "' is locked by another connection's transaction");
    c = 'R';
    ASSERT_EQ(write(toChild[1], &c, 1), 1);
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    io.AcquireFileLock();  // free now
    io.ReleaseFileLock();
    ASSERT_EQ(write(toChild[1], &c, 1), 1);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace tarn

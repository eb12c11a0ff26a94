// Blob values on their way into the file: the read-back check of VerifyBlobWrites, and what
// an append or a rewrite cut short at any write leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/bytes.h"
#include "tarndb/check.h"
#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/memory_registry.h"
#include "tarndb/table_io.h"
#include "tests/support/recording_env.h"
#include "tests/support/table_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

using testing::RecordBuffer;
using testing::RecordingEnv;
using testing::ScopedEnv;
using testing::TempDir;
using testing::TestHost;

constexpr int kName = 0, kBody = 1, kExtra = 2;

struct Descriptor {
    int32_t offset, length, area;
};

Descriptor ReadDescriptor(TTarnTableIO& table, int position, int field) {
    uint8_t d[format::kBlobDescriptorSize];
    table.File().ReadAt(table.RecordList(0).At(position).dataOffset + table.SlotOffset(field),
                        sizeof d, d);
    format::TBlobDescriptor x = format::TBlobDescriptor::Decode(d);
    return {x.offset, x.length, x.areaSize};
}

// A value that compresses but not to nothing, and differs for every seed.
std::string Value(size_t length, int seed) {
    std::string v(length, '\0');
    uint32_t x = 2463534242u + static_cast<uint32_t>(seed) * 7919u;
    for (size_t i = 0; i < length; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v[i] = static_cast<char>('a' + (x % 8));
    }
    return v;
}

void CreateDocs(const std::string& path, const TDatabaseSettings& settings) {
    TTarnDBCreator::CreateDatabase(path, settings);
    TTarnDBCreator::AddTable(path, "Docs",
                             {{"Name", ftString, 10}, {"Body", ftMemo}, {"Extra", ftMemo}});
}

// ---- VerifyBlobWrites ---------------------------------------------------------------------

struct Modules {
    const char* name;
    bool compressed;
    const char* cipher;
};

class VerifiedBlobWrites : public ::testing::TestWithParam<Modules> {};

TEST_P(VerifiedBlobWrites, EachValueIsWrittenOnceAndReadBackOnce) {
    TempDir dir;
    std::string path = dir.file("v.dat");
    TDatabaseSettings settings;
    settings.verifyBlobWrites = true;
    settings.compressed = GetParam().compressed;
    settings.encrypted = *GetParam().cipher != '\0';
    settings.encryptModule = GetParam().cipher;
    settings.password = "pw";
    CreateDocs(path, settings);

    RecordingEnv env;
    ScopedEnv scoped(&env);
    TestHost host(path);
    ASSERT_TRUE(host.io.CheckPassword("pw"));
    TTarnTableIO table(host, "Docs");
    table.AcquireTable();
    RecordBuffer rec(table);
    rec.SetString(kName, "a");
    rec.SetBlob(kBody, Value(20000, 1));
    rec.SetBlob(kExtra, "");
    env.ForgetAccesses();
    rec.Append();
    // (Reading the descriptors adds reads of their own 20 bytes only.)
    Descriptor body = ReadDescriptor(table, 0, kBody), extra = ReadDescriptor(table, 0, kExtra);
    ASSERT_GT(body.length, 0);
    EXPECT_EQ(env.WritesOverlapping(body.offset, static_cast<size_t>(body.length)), 1u);
    EXPECT_EQ(env.ReadsAt(body.offset, static_cast<size_t>(body.length)), 1u);
    EXPECT_EQ(env.WritesOverlapping(extra.offset, format::kBlobAreaUnit), 1u);
    EXPECT_EQ(env.ReadsOverlapping(extra.offset, format::kBlobAreaUnit), 0u)
        << "an empty value has nothing to read back";

    // A rewrite that moves the value to the end of the file; large enough to be written
    // from its own memory.
    rec.SetBlob(kBody, Value(300000, 2));
    TFieldBuffers fb = rec.Buffers({kExtra});
    env.ForgetAccesses();
    table.ModifyRecord(fb, 0, false, nullptr);
    Descriptor moved = ReadDescriptor(table, 0, kBody);
    EXPECT_GT(moved.offset, body.offset);
    EXPECT_EQ(env.WritesOverlapping(moved.offset, static_cast<size_t>(moved.length)), 1u);
    EXPECT_EQ(env.ReadsAt(moved.offset, static_cast<size_t>(moved.length)), 1u);
    env.ForgetAccesses();
    table.ModifyRecord(fb, 0, false, nullptr);  // the same value again: in place this time
    EXPECT_EQ(ReadDescriptor(table, 0, kBody).offset, moved.offset);
    EXPECT_EQ(env.WritesOverlapping(moved.offset, static_cast<size_t>(moved.length)), 1u);
    EXPECT_EQ(env.ReadsAt(moved.offset, static_cast<size_t>(moved.length)), 1u);

    RecordBuffer check(table);
    check.Fetch(0, 0);
    EXPECT_EQ(check.BlobValue(kBody), Value(300000, 2));
    EXPECT_EQ(check.BlobValue(kExtra), "");
}

INSTANTIATE_TEST_SUITE_P(Modules, VerifiedBlobWrites,
                         ::testing::Values(Modules{"plain", false, ""}, Modules{"zlib", true, ""},
                                           Modules{"zlib_blowfish", true, "Blowfish"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A disk that does not keep what it is given: every write carrying the marker is changed.
void SpoilMarkedWrites(RecordingEnv& env) {
    env.alterWrite = [](int64_t, std::vector<uint8_t>& bytes) {
        static const std::string marker = "SPOILME";
        auto at = std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end());
        if (at != bytes.end()) *at = 'X';
    };
}

TEST(VerifiedBlobWritesFailing, GiveUpAfterThreeAttemptsWithAClearError) {
    TempDir dir;
    std::string path = dir.file("f.dat");
    TDatabaseSettings settings;
    settings.verifyBlobWrites = true;
    CreateDocs(path, settings);
    RecordingEnv env;
    ScopedEnv scoped(&env);
    {
        TestHost host(path);
        TTarnTableIO table(host, "Docs");
        table.AcquireTable();
        RecordBuffer rec(table);
        rec.SetString(kName, "kept");
        rec.SetBlob(kBody, "fine");
        rec.Append();

        SpoilMarkedWrites(env);
        int64_t end = host.io.FileSize();
        rec.SetString(kName, "new");
        rec.SetBlob(kBody, "a value to SPOILME on the way");
        env.ForgetAccesses();
        try {
            rec.Append();
            FAIL() << "no error";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(),
                      "Blob value of field 'Body' could not be written: reading it back gave other "
                      "bytes 3 times");
        }
        // The value's area follows the new fixed part; it was written three times.
        EXPECT_EQ(env.WritesOverlapping(end + table.RecordSize(), 8), 3u);
        EXPECT_EQ(table.RecordList(0).Count(), 1);

        // A rewrite that would move the value to the end fails the same way and keeps the
        // stored record.
        rec.SetBlob(kBody, std::string(200, '-') + "SPOILME");
        TFieldBuffers fb = rec.Buffers();
        EXPECT_THROW(table.ModifyRecord(fb, 0, false, nullptr), EDatabaseError);
    }
    TestHost host(path);
    TTarnTableIO table(host, "Docs");
    table.AcquireTable();
    ASSERT_EQ(table.RecordList(0).Count(), 1);
    RecordBuffer check(table);
    check.Fetch(0, 0);
    EXPECT_EQ(check.String(kName), "kept");
    EXPECT_EQ(check.BlobValue(kBody), "fine");
}

TEST(VerifiedBlobWritesFailing, WithoutTheCheckTheSpoiltValueGoesUnnoticed) {
    TempDir dir;
    std::string path = dir.file("u.dat");
    CreateDocs(path, {});
    RecordingEnv env;
    ScopedEnv scoped(&env);
    SpoilMarkedWrites(env);
    TestHost host(path);
    TTarnTableIO table(host, "Docs");
    table.AcquireTable();
    RecordBuffer rec(table);
    rec.SetBlob(kBody, "SPOILME");
    rec.Append();
    RecordBuffer check(table);
    check.Fetch(0, 0);
    EXPECT_EQ(check.BlobValue(kBody), "XPOILME");
}

// ---- crashes ----------------------------------------------------------------------------------

// Replays `op` with a crash after each of its writes; after each, `check` sees the reloaded
// table and the file checks clean. Every replay starts from a copy of the file as `prepare`
// left it. Without `foldersWritable`, `op` runs where no file can be created or removed
// beside the database (no journal). `isNew`, when given, must hold once `op` has finished.
void ReplayEveryWrite(const std::string& path, const std::function<void(TTarnTableIO&)>& op,
                      const std::function<void(TTarnTableIO&)>& check, bool foldersWritable = true,
                      const std::function<bool(TTarnTableIO&)>& isNew = nullptr) {
    TempDir work;
    std::string base = work.file("base.dat");
    std::filesystem::copy_file(path, base);
    auto run = [&](FaultEnv& env, long crashAfter) {
        ScopedEnv scoped(&env);
        TestHost host(path);
        TTarnTableIO table(host, "Docs");
        table.AcquireTable();
        env.ResetCounters();
        env.SetFoldersWritable(foldersWritable);
        if (crashAfter >= 0) env.CrashAfterWrites(crashAfter);
        op(table);
    };
    FaultEnv counting;
    run(counting, -1);
    long writes = counting.Writes();
    ASSERT_GE(writes, 2);
    for (long n = 0; n <= writes; ++n) {
        std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
        FaultEnv env;
        if (n < writes)
            EXPECT_THROW(run(env, n), EInOutError) << "crash after write " << n;
        else
            run(env, n);
        TestHost host(path);
        TTarnTableIO table(host, "Docs");
        table.AcquireTable();
        SCOPED_TRACE("crash after write " + std::to_string(n) + " of " + std::to_string(writes));
        check(table);
        if (n == writes && isNew) {
            EXPECT_TRUE(isNew(table)) << "the finished operation is not in the file";
        }
        TCheckReport report = CheckDatabaseFile(path, {});
        EXPECT_EQ(report.problemCount, 0)
            << (report.problems.empty() ? report.unreadable : report.problems[0].text);
    }
}

class BlobCrashes : public ::testing::TestWithParam<bool> {
protected:
    TempDir dir;
    std::string path = dir.file("c.dat");
    void SetUp() override {
        TDatabaseSettings settings;
        settings.compressed = GetParam();  // a torn compressed value cannot even be decoded
        CreateDocs(path, settings);
        TestHost host(path);
        TTarnTableIO table(host, "Docs");
        table.AcquireTable();
        RecordBuffer rec(table);
        for (int i = 0; i < 3; ++i) {
            rec.SetString(kName, "r" + std::to_string(i));
            rec.SetBlob(kBody, Value(100, i));
            rec.SetBlob(kExtra, Value(10, i));
            rec.Append();
        }
    }
    // Record `position` holds the values of seed `seed` (name, body of `bodyLength`, extra).
    static bool Holds(TTarnTableIO& table, int position, int seed, size_t bodyLength) {
        RecordBuffer r(table);
        r.Fetch(0, position);
        return r.String(kName) == "r" + std::to_string(seed) &&
               r.BlobValue(kBody) == Value(bodyLength, seed) &&
               r.BlobValue(kExtra) == Value(10, seed);
    }
};

TEST_P(BlobCrashes, AnAppendCutShortLeavesNoRecordPointingAtUnwrittenBytes) {
    ReplayEveryWrite(
        path,
        [](TTarnTableIO& table) {
            RecordBuffer rec(table);
            rec.SetString(kName, "r3");
            rec.SetBlob(kBody, Value(100000, 3));  // plain: written from its own memory
            rec.SetBlob(kExtra, Value(10, 3));
            rec.Append();
        },
        [](TTarnTableIO& table) {
            int n = table.RecordList(0).Count();
            ASSERT_TRUE(n == 3 || n == 4) << n;
            for (int p = 0; p < 3; ++p) EXPECT_TRUE(Holds(table, p, p, 100)) << "record " << p;
            if (n == 4) {
                EXPECT_TRUE(Holds(table, 3, 3, 100000));
            }
        });
}

TEST_P(BlobCrashes, ARewriteThatMovesABlobShowsTheOldOrTheNewRecord) {
    // Record 1's body (area 128) gets 500 bytes: they go to the end of the file; its extra
    // value is rewritten unchanged in place.
    ReplayEveryWrite(
        path,
        [](TTarnTableIO& table) {
            RecordBuffer rec(table);
            rec.Fetch(0, 1);
            rec.SetString(kName, "r7");
            rec.SetBlob(kBody, Value(500, 7));
            rec.SetBlob(kExtra, Value(10, 7));  // same length: in place (area 64)
            TFieldBuffers fb = rec.Buffers();
            table.ModifyRecord(fb, 1, false, nullptr);
        },
        [](TTarnTableIO& table) {
            ASSERT_EQ(table.RecordList(0).Count(), 3);
            EXPECT_TRUE(Holds(table, 0, 0, 100));
            EXPECT_TRUE(Holds(table, 2, 2, 100));
            RecordBuffer r(table);
            r.Fetch(0, 1);
            std::string name = r.String(kName);
            // The extra value is rewritten in place before the fixed part: the rewrite's own
            // journal puts its old bytes back after a crash between the two.
            EXPECT_TRUE(name == "r1" ? Holds(table, 1, 1, 100) : Holds(table, 1, 7, 500)) << name;
        });
}

TEST_P(BlobCrashes, WithoutAJournalARewriteGoesOutOfPlaceAndShowsTheOldOrTheNewRecord) {
    // In a folder where no journal can be made, the values that would go over their old
    // bytes (a shorter body in its larger area, an extra of the same length) go to the end,
    // and the one write of the fixed part switches the record to them.
    ReplayEveryWrite(
        path,
        [](TTarnTableIO& table) {
            RecordBuffer rec(table);
            rec.Fetch(0, 1);
            rec.SetString(kName, "r7");
            rec.SetBlob(kBody, Value(60, 7));
            rec.SetBlob(kExtra, Value(10, 7));
            TFieldBuffers fb = rec.Buffers();
            table.ModifyRecord(fb, 1, false, nullptr);
        },
        [](TTarnTableIO& table) {
            ASSERT_EQ(table.RecordList(0).Count(), 3);
            EXPECT_TRUE(Holds(table, 0, 0, 100));
            EXPECT_TRUE(Holds(table, 2, 2, 100));
            RecordBuffer r(table);
            r.Fetch(0, 1);
            std::string name = r.String(kName);
            EXPECT_TRUE(name == "r1" ? Holds(table, 1, 1, 100) : Holds(table, 1, 7, 60)) << name;
        },
        /*foldersWritable=*/false, [](TTarnTableIO& table) { return Holds(table, 1, 7, 60); });
}

TEST(BlobCrashesWithoutAJournal, ARewriteThatMovesItsKeyShowsTheOldOrTheNewRecordInEveryList) {
    // The record moves in the index as well: the change count and the moving mark, the
    // values at the end, the fixed part, then the index chains, each crash-ordered.
    TempDir dir;
    std::string path = dir.file("k.dat");
    TTarnDBCreator::CreateDatabase(path);
    TTarnDBCreator::AddTable(path, "Docs",
                             {{"Name", ftString, 10}, {"Body", ftMemo}, {"Extra", ftMemo}},
                             {{"ByName", {}, {"Name"}}});
    {
        TestHost host(path);
        TTarnTableIO table(host, "Docs");
        table.AcquireTable();
        RecordBuffer rec(table);
        for (int i = 0; i < 3; ++i) {
            rec.SetString(kName, "r" + std::to_string(i));
            rec.SetBlob(kBody, Value(100, i));
            rec.SetBlob(kExtra, Value(10, i));
            rec.Append();
        }
    }
    auto record = [](TTarnTableIO& table, int list, int position) {
        RecordBuffer r(table);
        r.Fetch(list, position);
        return r.String(kName) + ":" + r.BlobValue(kBody) + ":" + r.BlobValue(kExtra);
    };
    auto as = [](int seed, size_t bodyLength) {
        return "r" + std::to_string(seed) + ":" + Value(bodyLength, seed) + ":" + Value(10, seed);
    };
    ReplayEveryWrite(
        path,
        [](TTarnTableIO& table) {
            RecordBuffer rec(table);
            rec.Fetch(0, 1);
            rec.SetString(kName, "r9");
            rec.SetBlob(kBody, Value(60, 9));
            rec.SetBlob(kExtra, Value(10, 9));
            TFieldBuffers fb = rec.Buffers();
            table.ModifyRecord(fb, 1, false, nullptr);
        },
        [&](TTarnTableIO& table) {
            ASSERT_EQ(table.RecordList(0).Count(), 3);
            ASSERT_EQ(table.RecordList(1).Count(), 3);
            bool moved = record(table, 0, 1) == as(9, 60);
            EXPECT_TRUE(moved || record(table, 0, 1) == as(1, 100)) << record(table, 0, 1);
            EXPECT_EQ(record(table, 0, 0), as(0, 100));
            EXPECT_EQ(record(table, 0, 2), as(2, 100));
            // The key order follows the record the fixed part shows.
            EXPECT_EQ(record(table, 1, 0), as(0, 100));
            EXPECT_EQ(record(table, 1, 1), moved ? as(2, 100) : as(1, 100));
            EXPECT_EQ(record(table, 1, 2), moved ? as(9, 60) : as(2, 100));
        },
        /*foldersWritable=*/false,
        [&](TTarnTableIO& table) { return record(table, 0, 1) == as(9, 60); });
}

INSTANTIATE_TEST_SUITE_P(Storage, BlobCrashes, ::testing::Values(false, true),
                         [](const auto& info) {
                             return info.param ? std::string("zlib") : std::string("plain");
                         });

// ---- memory databases ---------------------------------------------------------------------

// A caller's memory stream that raises at its write numbered `failAt` (counted from when it
// is set), after taking half of that write's bytes.
class FailingStream : public TMemoryStream {
public:
    using TMemoryStream::TMemoryStream;
    long writes = 0, failAt = 0;
    size_t Write(const void* buffer, size_t count) override {
        if (++writes == failAt) {
            TMemoryStream::Write(buffer, count / 2);
            throw EWriteError("Stream write error");
        }
        return TMemoryStream::Write(buffer, count);
    }
};

// A rewrite of a memory database's record that fails at any of its writes leaves the image
// byte for byte as it was: a value rewritten in its old area must not be left behind the
// old descriptor (the shorter new text, then zeros up to the old length).
TEST(MemoryBlobRewrites, AFailedWriteLeavesTheImageUntouched) {
    FailingStream image(TTarnDBCreator::CreateImage());
    std::string name = RegisterMemoryStream(&image);
    struct Unregister {
        std::string name;
        ~Unregister() { UnregisterMemoryStream(name); }
    } unregister{name};
    TTarnDBCreator::AddTable(name, "Docs",
                             {{"Name", ftString, 10}, {"Body", ftMemo}, {"Extra", ftMemo}});
    TestHost host(name, TTarnDBMediumType::mtMemory);
    TTarnTableIO table(host, "Docs");
    table.AcquireTable();
    RecordBuffer rec(table);
    rec.SetString(kName, "old");
    rec.SetBlob(kBody, std::string(40, 'o'));
    rec.SetBlob(kExtra, std::string(300, 'x'));
    rec.Append();
    const std::string before = image.Bytes();
    auto rewrite = [&] {
        RecordBuffer r(table);
        r.Fetch(0, 0);
        r.SetString(kName, "new");
        r.SetBlob(kBody, "new");                   // in its old area
        r.SetBlob(kExtra, std::string(900, 'y'));  // moved to the end
        TFieldBuffers fb = r.Buffers();
        table.ModifyRecord(fb, 0, false, nullptr);
    };
    image.failAt = 0;
    image.writes = 0;
    rewrite();
    const long writes = image.writes;
    const std::string after = image.Bytes();
    ASSERT_GE(writes, 3);

    for (long n = 1; n <= writes; ++n) {
        SCOPED_TRACE("write " + std::to_string(n) + " of " + std::to_string(writes) + " fails");
        image.failAt = 0;
        image.SetSize(0);
        image.WriteBuffer(before.data(), before.size());
        table.ReleaseTable();
        table.AcquireTable();
        image.writes = 0;
        image.failAt = n;
        EXPECT_THROW(rewrite(), EWriteError);
        image.failAt = 0;
        EXPECT_EQ(image.Bytes() == before, true) << "the image changed";
        table.ReleaseTable();
        table.AcquireTable();
        RecordBuffer check(table);
        check.Fetch(0, 0);
        EXPECT_EQ(check.String(kName), "old");
        EXPECT_EQ(check.BlobValue(kBody), std::string(40, 'o'));
        EXPECT_EQ(check.BlobValue(kExtra), std::string(300, 'x'));
        // And the same rewrite goes through once the stream takes it.
        rewrite();
        EXPECT_EQ(image.Bytes() == after, true) << "the rewrite lands as it did the first time";
    }
}

}  // namespace
}  // namespace tarn

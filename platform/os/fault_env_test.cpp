// The fault Env's power cuts: what survives is what was synced, per file and per directory
// entry, and optionally a seeded choice of unsynced sectors; and its unwritable folders.
#include "platform/os/fault_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "tarndb/errors.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using testing::TempDir;

// What the real file holds ("<none>" when there is no file).
std::string Real(const std::string& path) {
    if (!std::filesystem::exists(path)) return "<none>";
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

void Write(File& f, int64_t at, const std::string& bytes) {
    f.WriteAt(at, bytes.data(), bytes.size());
}

struct CutCase {
    const char* name;
    // Runs against files "a" (holding "old" beforehand) and "b" (none beforehand).
    std::function<void(FaultEnv&, const std::string& a, const std::string& b)> run;
    const char* a;  // what survives the cut
    const char* b;
};

class PowerCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(PowerCut, KeepsWhatWasSyncedOnly) {
    TempDir dir;
    std::string a = dir.file("a"), b = dir.file("b");
    Put(a, "old");
    FaultEnv env;
    env.CutPowerAfterWrites(1000);
    GetParam().run(env, a, b);
    env.ApplyPowerCut();
    EXPECT_EQ(Real(a), GetParam().a);
    EXPECT_EQ(Real(b), GetParam().b);
}

auto OpenRw(FaultEnv& env, const std::string& path) {
    return env.OpenFile(path, OpenAccess::ReadWrite, OpenSharing::Everybody);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PowerCut,
    ::testing::Values(CutCase{"UnsyncedWriteIsLost",
                              [](FaultEnv& env, const std::string& a, const std::string&) {
                                  Write(*OpenRw(env, a), 0, "new and longer");
                              },
                              "old", "<none>"},
                      CutCase{"SyncedWriteSurvivesLaterOnesDoNot",
                              [](FaultEnv& env, const std::string& a, const std::string&) {
                                  auto f = OpenRw(env, a);
                                  Write(*f, 0, "NEW");
                                  f->Sync();
                                  Write(*f, 3, "tail");
                                  Write(*f, 0, "X");
                              },
                              "NEW", "<none>"},
                      CutCase{"UnsyncedTruncationIsLost",
                              [](FaultEnv& env, const std::string& a, const std::string&) {
                                  OpenRw(env, a)->Truncate(1);
                              },
                              "old", "<none>"},
                      CutCase{"SyncedTruncationSurvives",
                              [](FaultEnv& env, const std::string& a, const std::string&) {
                                  auto f = OpenRw(env, a);
                                  f->Truncate(1);
                                  f->Sync();
                              },
                              "o", "<none>"},
                      CutCase{"CreatedFileWithoutDirectorySyncDisappears",
                              [](FaultEnv& env, const std::string&, const std::string& b) {
                                  auto f = env.CreateFile(b, OpenSharing::Everybody);
                                  Write(*f, 0, "journal");
                                  f->Sync();
                              },
                              "old", "<none>"},
                      CutCase{"CreatedFileAfterDirectorySyncStaysWithItsSyncedContent",
                              [](FaultEnv& env, const std::string&, const std::string& b) {
                                  auto f = env.CreateFile(b, OpenSharing::Everybody);
                                  Write(*f, 0, "journal");
                                  f->Sync();
                                  env.SyncDirectoryOf(b);
                                  Write(*f, 0, "J");
                              },
                              "old", "journal"},
                      CutCase{"DirectorySyncBeforeTheFileSyncKeepsAnEmptyFile",
                              [](FaultEnv& env, const std::string&, const std::string& b) {
                                  auto f = env.CreateFile(b, OpenSharing::Everybody);
                                  env.SyncDirectoryOf(b);
                                  Write(*f, 0, "journal");
                              },
                              "old", ""},
                      CutCase{"RemovedFileWithoutDirectorySyncComesBack",
                              [](FaultEnv& env, const std::string& a, const std::string&) {
                                  EXPECT_TRUE(env.RemoveFile(a));
                              },
                              "old", "<none>"},
                      CutCase{"RemovedFileAfterDirectorySyncStaysAway",
                              [](FaultEnv& env, const std::string& a, const std::string&) {
                                  EXPECT_TRUE(env.RemoveFile(a));
                                  env.SyncDirectoryOf(a);
                              },
                              "<none>", "<none>"},
                      CutCase{"RemovedJournalComesBackWithItsSyncedContent",
                              [](FaultEnv& env, const std::string&, const std::string& b) {
                                  {
                                      auto f = env.CreateFile(b, OpenSharing::Everybody);
                                      Write(*f, 0, "saved");
                                      f->Sync();
                                      env.SyncDirectoryOf(b);
                                      Write(*f, 5, " and more");
                                  }
                                  EXPECT_TRUE(env.RemoveFile(b));
                              },
                              "old", "saved"},
                      CutCase{"RemovedAndCreatedAgainUnsyncedIsTheDurableOne",
                              [](FaultEnv& env, const std::string& a, const std::string&) {
                                  EXPECT_TRUE(env.RemoveFile(a));
                                  auto f = env.CreateFile(a, OpenSharing::Everybody);
                                  Write(*f, 0, "other");
                                  f->Sync();
                              },
                              "old", "<none>"},
                      CutCase{"WritesThroughAFileOpenedBeforeTheModeAreRecorded",
                              [](FaultEnv& env, const std::string& a, const std::string&) {
                                  // (the file is opened first, the mode asked for again: records
                                  // start then)
                                  auto f = OpenRw(env, a);
                                  env.CutPowerAfterWrites(1000);
                                  Write(*f, 0, "ab");
                                  f->Sync();
                                  Write(*f, 0, "zz");
                              },
                              "abd", "<none>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PowerCutPoint, StopsEveryChangeAfterTheLastWriteAllowed) {
    TempDir dir;
    std::string a = dir.file("a"), b = dir.file("b");
    Put(a, "0123456789");
    FaultEnv env;
    env.CutPowerAfterWrites(2);
    auto f = OpenRw(env, a);
    Write(*f, 0, "AB");
    f->Sync();
    Write(*f, 2, "CD");  // the second write: given, not synced
    EXPECT_FALSE(env.PowerWentOff());
    EXPECT_THROW(Write(*f, 4, "EF"), EInOutError);
    EXPECT_TRUE(env.PowerWentOff());
    // Nothing after the cut reaches the disk or counts as durable.
    EXPECT_THROW(f->Sync(), EInOutError);
    EXPECT_THROW(f->Truncate(0), EInOutError);
    EXPECT_THROW(env.CreateFile(b, OpenSharing::Everybody), EInOutError);
    EXPECT_THROW(env.RemoveFile(a), EInOutError);
    EXPECT_THROW(env.SyncDirectoryOf(a), EInOutError);
    EXPECT_EQ(Real(a), "ABCD456789") << "before the cut is applied, the file is as a crash left it";
    f.reset();
    env.ApplyPowerCut();
    EXPECT_EQ(Real(a), "AB23456789");
    EXPECT_EQ(Real(b), "<none>");
    // The mode has ended: the Env writes and syncs as usual.
    auto g = OpenRw(env, a);
    Write(*g, 0, "x");
    g->Sync();
    EXPECT_EQ(Real(a), "xB23456789");
}

TEST(PowerCutTear, UnsyncedSectorsSurviveWholeOrNotAtAll) {
    constexpr size_t kSectors = 6;
    const size_t sector = static_cast<size_t>(FaultEnv::kSectorSize);
    std::set<std::string> outcomes;
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        TempDir dir;
        std::string a = dir.file("a");
        Put(a, std::string(kSectors * sector, 'o'));
        FaultEnv env;
        env.CutPowerAfterWrites(1000, seed);
        {
            auto f = OpenRw(env, a);
            // One write over sectors 1..4 (starting and ending inside sectors 1 and 4), one
            // appended sector.
            Write(*f, static_cast<int64_t>(sector + 100), std::string(3 * sector + 10, 'n'));
            Write(*f, static_cast<int64_t>(kSectors * sector), std::string(sector, 'p'));
        }
        env.ApplyPowerCut();
        std::string got = Real(a);
        ASSERT_TRUE(got.size() == kSectors * sector || got.size() == (kSectors + 1) * sector)
            << "seed " << seed << ": length " << got.size();
        std::string shape;
        for (size_t s = 0; s < got.size() / sector; ++s) {
            std::string old(sector, 'o');
            std::string fresh = std::string(sector, 'n');
            if (s == 1) fresh = std::string(100, 'o') + std::string(sector - 100, 'n');
            if (s == 4) fresh = std::string(110, 'n') + std::string(sector - 110, 'o');
            if (s == kSectors) old = std::string(sector, '\0'), fresh = std::string(sector, 'p');
            std::string bytes = got.substr(s * sector, sector);
            ASSERT_TRUE(bytes == old || bytes == fresh) << "seed " << seed << ", sector " << s;
            if (s == 0 || s == 5) {
                EXPECT_EQ(bytes, old) << "a sector nobody wrote";
            }
            shape += bytes == fresh && bytes != old ? 'N' : 'o';
        }
        outcomes.insert(shape);
    }
    // The seed decides: some cuts keep part of one write and not the rest of it.
    EXPECT_GT(outcomes.size(), 4u);
    EXPECT_TRUE(std::any_of(outcomes.begin(), outcomes.end(), [](const std::string& s) {
        return s.substr(1, 4).find('N') != std::string::npos &&
               s.substr(1, 4).find('o') != std::string::npos;
    }));
}

TEST(UnwritableFolders, RefuseCreationAndRemovalAsTheSystemWould) {
    TempDir dir;
    std::string a = dir.file("a"), b = dir.file("b");
    Put(a, "old");
    FaultEnv env;
    EXPECT_TRUE(env.DirectoryWritable(a));
    EXPECT_FALSE(env.DirectoryWritable(dir.file("missing/x")))
        << "a folder that does not exist cannot take a file";
    env.SetFoldersWritable(false);
    EXPECT_FALSE(env.DirectoryWritable(a));
    EXPECT_THROW(env.CreateFile(b, OpenSharing::Everybody), EFOpenError);
    EXPECT_THROW(env.RemoveFile(a), EInOutError);
    EXPECT_FALSE(env.RemoveFile(b)) << "nothing to remove is not an error";
    // The files themselves stay writable.
    Write(*OpenRw(env, a), 0, "new");
    EXPECT_EQ(Real(a), "new");
    EXPECT_EQ(Real(b), "<none>");
    env.SetFoldersWritable(true);
    EXPECT_TRUE(env.RemoveFile(a));
}

}  // namespace
}  // namespace tarn

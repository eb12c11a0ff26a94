// The version manager's file work and catalogue writes under faults: a failed write in
// the middle of one user action leaves the catalogue as it was, and a crash after any
// step of a capture or a restore leaves nothing half done that the next start does not
// tidy: no half copy under a version name, the watched file never lost, every version row
// with its copy, and a recorded time that matches the file only when its state is kept.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "app/catalogue.h"
#include "app/os/file_system.h"
#include "app/os/file_time.h"
#include "app/testing/crash_file_system.h"
#include "app/testing/files.h"
#include "app/testing/test_file_times.h"
#include "app/version_capture.h"
#include "app/version_restore.h"
#include "platform/os/fault_env.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace filever {
namespace {

using testing::CrashFileSystem;
using testing::SetLocalMTime;

using testing::Content;
using testing::Q;
using testing::Write;

// Every row of the catalogue, as text.
QStringList Dump(TCatalogue& c) {
    QStringList out;
    for (const TAreaRow& a : c.Areas()) {
        out << QStringLiteral("area %1 %2 %3").arg(a.AreaNo).arg(a.Name, a.Dir);
        for (const TFileRow& f : c.FilesOfArea(a.AreaNo)) {
            out << QStringLiteral("file %1 %2 %3 [%4]")
                       .arg(f.FileNo)
                       .arg(f.SourcePath, f.BackupDir, f.RecordedTime);
            for (const TVersionRow& v : c.VersionsOfFile(f.FileNo))
                out << QStringLiteral("version %1 %2 %3 %4 %5")
                           .arg(v.FileNo)
                           .arg(v.VerName, v.FilePath, v.Remark, v.SizeText);
        }
    }
    return out;
}

// Hidden temporary files under a directory (what an interrupted copy or restore leaves).
QStringList Leftovers(const QString& dir) {
    QStringList out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.toStdString()))
        if (e.path().filename().string().starts_with('.')) out << Q(e.path().string());
    return out;
}

// <tmp>/docs/plan.txt registered in area "area" (<tmp>/store) with one version holding
// "first"; the catalogue at <tmp>/版本控制.dat.
struct Scene {
    tarn::testing::TempDir dir;
    std::string source = dir.file("docs/plan.txt");
    QString cataloguePath = Q(dir.file("版本控制.dat"));
    QString firstVersion;

    Scene() {
        std::filesystem::create_directories(dir.file("docs"));
        std::filesystem::create_directories(dir.file("store"));
        Write(source, "first");
        SetLocalMTime(source, 2024, 3, 5, 14, 7, 32);
        TCatalogue c;
        c.Open(cataloguePath);
        c.AddArea("area", Q(dir.file("store")));
        TRegistration r;
        EXPECT_TRUE(RegisterFileWithVersion(c, 1, Q(source), r));
        EXPECT_TRUE(r.Captured) << r.CopyError.toStdString();
        firstVersion = r.Version.VerName;
    }
    // The file saved again with other bytes.
    void Change() {
        Write(source, "second, longer");
        SetLocalMTime(source, 2024, 3, 6, 9, 0, 0);
    }
    QString Time() { return FormatVersionTime(GetFileTime(Q(source), ftkLastWrite)); }
};

// Runs `action` on a catalogue opened under a fault-injecting Env and file system; with
// `crashAfter` >= 0 the process "dies" after that many steps (catalogue writes and file
// steps together). Returns the steps made.
long RunCrashing(Scene& scene, long crashAfter, const std::function<void(TCatalogue&)>& action,
                 QStringList* log = nullptr) {
    tarn::FaultEnv env;
    CrashFileSystem fs(env);
    {
        tarn::testing::ScopedEnv scopedEnv(&env);
        TScopedFileSystem scopedFs(&fs);
        auto catalogue = std::make_unique<TCatalogue>();
        catalogue->Open(scene.cataloguePath);
        env.ResetCounters();
        if (crashAfter >= 0) env.CrashAfterWrites(crashAfter);
        try {
            action(*catalogue);
        } catch (...) {
            EXPECT_GE(crashAfter, 0) << "the action failed without a fault";
        }
        catalogue.reset();  // a close after the crash cannot roll back: the journal stays
    }
    if (log) *log = fs.log;
    return env.Writes();
}

// What the next start finds, after it tidied.
struct Restarted {
    TCatalogue catalogue;
    std::vector<TVersionRow> versions;
    TFileRow file;
    explicit Restarted(Scene& scene) {
        catalogue.Open(scene.cataloguePath);  // rolls a journal back
        TidyLeftovers(catalogue);
        const auto files = catalogue.AllFiles();
        EXPECT_EQ(files.size(), 1u);
        if (!files.empty()) file = files[0];
        versions = catalogue.VersionsOfFile(file.FileNo);
    }
};

TEST(CopySteps, TheCopysNameReachesTheDiskBeforeItsRow) {
    Scene scene;
    scene.Change();
    QStringList log;
    RunCrashing(
        scene, -1,
        [&](TCatalogue& c) {
            verinfo rec;
            ASSERT_TRUE(CaptureVersion(c, Q(scene.source), "", rec));
        },
        &log);
    const QString backup = Q(scene.dir.file("store/plan.txt-bak"));
    const qsizetype rename = log.indexOf(
        QRegularExpression("^rename .* -> " + QRegularExpression::escape(backup) + "/.*"));
    ASSERT_GE(rename, 0) << log.join('\n').toStdString();
    ASSERT_LT(rename + 1, log.size());
    EXPECT_EQ(log[rename + 1], "syncdir " + backup) << log.join('\n').toStdString();
}

TEST(CrashReplay, CaptureAtEveryStep) {
    long steps = 0;
    {
        Scene scene;
        scene.Change();
        steps = RunCrashing(scene, -1, [&](TCatalogue& c) {
            verinfo rec;
            ASSERT_TRUE(CaptureVersion(c, Q(scene.source), "why", rec));
        });
    }
    ASSERT_GE(steps, 8);
    int sawBefore = 0, sawAfter = 0;
    for (long n = 0; n <= steps; ++n) {
        SCOPED_TRACE("crash after step " + std::to_string(n) + " of " + std::to_string(steps));
        Scene scene;
        scene.Change();
        RunCrashing(scene, n, [&](TCatalogue& c) {
            verinfo rec;
            CaptureVersion(c, Q(scene.source), "why", rec);
        });
        Restarted after(scene);
        EXPECT_EQ(Content(Q(scene.source)), "second, longer");
        ASSERT_GE(after.versions.size(), 1u);
        ASSERT_LE(after.versions.size(), 2u);
        EXPECT_EQ(Content(after.versions[0].FilePath), "first");
        const bool kept = after.versions.size() == 2;
        if (kept) {
            EXPECT_EQ(after.versions[1].VerName, scene.Time());
            EXPECT_EQ(after.versions[1].Remark, "why");
            EXPECT_EQ(Content(after.versions[1].FilePath), "second, longer");
        }
        // A matching recorded time says "kept": never without the version.
        EXPECT_EQ(after.file.RecordedTime, kept ? scene.Time() : scene.firstVersion);
        EXPECT_EQ(Leftovers(Q(scene.dir.path())), QStringList());
        sawBefore += !kept;
        sawAfter += kept;
    }
    EXPECT_GT(sawBefore, 0);
    EXPECT_GT(sawAfter, 0);
}

TEST(CrashReplay, RestoreAtEveryStep) {
    const auto restore = [](Scene& scene, TCatalogue& c) {
        verinfo v;
        c.FindVersionByName(scene.firstVersion, v);
        TRestoreOutcome outcome;
        RestoreVersion(c, Q(scene.source), v, outcome);
    };
    long steps = 0;
    {
        Scene scene;
        scene.Change();
        steps = RunCrashing(scene, -1, [&](TCatalogue& c) { restore(scene, c); });
        EXPECT_EQ(Content(Q(scene.source)), "first");
    }
    ASSERT_GE(steps, 12);
    int sawOld = 0, sawRestored = 0;
    for (long n = 0; n <= steps; ++n) {
        SCOPED_TRACE("crash after step " + std::to_string(n) + " of " + std::to_string(steps));
        Scene scene;
        scene.Change();
        const QString changedTime = scene.Time();
        RunCrashing(scene, n, [&](TCatalogue& c) { restore(scene, c); });
        Restarted after(scene);
        const QByteArray now = Content(Q(scene.source));
        ASSERT_TRUE(now == "first" || now == "second, longer") << now.toStdString();
        // Every row has its whole copy.
        for (const TVersionRow& v : after.versions)
            EXPECT_EQ(Content(v.FilePath),
                      v.VerName == scene.firstVersion ? "first" : "second, longer");
        bool beforeKept = false;
        for (const TVersionRow& v : after.versions) beforeKept |= v.VerName == changedTime;
        // The state the restore replaced is never lost.
        if (now == "first") {
            EXPECT_TRUE(beforeKept);
        }
        // A matching recorded time says the file's state is kept in a version.
        if (after.file.RecordedTime == scene.Time()) {
            bool inAVersion = false;
            for (const TVersionRow& v : after.versions) inAVersion |= Content(v.FilePath) == now;
            EXPECT_TRUE(inAVersion);
        }
        EXPECT_EQ(Leftovers(Q(scene.dir.path())), QStringList());
        sawOld += now != "first";
        sawRestored += now == "first";
    }
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawRestored, 0);
}

// One user action whose catalogue writes fail at write k, for every k: it raises, and the
// catalogue (in this process and after a reopen) holds what it held before.
struct Action {
    const char* name;
    std::function<void(Scene&)> prepare;
    std::function<void(Scene&, TCatalogue&)> run;
};

TEST(Atomicity, AFailedWriteInTheMiddleLeavesTheCatalogueAsBefore) {
    const Action actions[] = {
        {"register with the first version",
         [](Scene& s) { Write(s.dir.file("docs/b.txt"), "bbb"); },
         [](Scene& s, TCatalogue& c) {
             TRegistration r;
             RegisterFileWithVersion(c, 1, Q(s.dir.file("docs/b.txt")), r);
         }},
        {"record a version", [](Scene& s) { s.Change(); },
         [](Scene& s, TCatalogue& c) {
             verinfo rec;
             CaptureVersion(c, Q(s.source), "d", rec);
         }},
        {"remove an area",
         [](Scene& s) {
             Write(s.dir.file("docs/b.txt"), "bbb");
             TCatalogue c;
             c.Open(s.cataloguePath);
             TRegistration r;
             RegisterFileWithVersion(c, 1, Q(s.dir.file("docs/b.txt")), r);
         },
         [](Scene&, TCatalogue& c) { RemoveAreaWithFiles(c, 1); }},
        {"apply a retention setting",
         [](Scene& s) {
             TCatalogue c;
             c.Open(s.cataloguePath);
             for (int day = 6; day <= 8; ++day) {
                 Write(s.source, std::string(static_cast<size_t>(day), 'x').c_str());
                 SetLocalMTime(s.source, 2024, 3, day, 9, 0, 0);
                 verinfo rec;
                 CaptureVersion(c, Q(s.source), "", rec);
             }
         },
         [](Scene&, TCatalogue& c) {
             const TRetentionPlan plan =
                 PlanRetention(c, 1, {TRetentionMode::KeepLast, 1, 0}, 1900000000);
             ASSERT_EQ(plan.Remove.size(), 3u);
             ApplyRetention(c, plan);
         }},
    };
    for (const Action& a : actions) {
        SCOPED_TRACE(a.name);
        long writes = 0;
        {
            Scene scene;
            a.prepare(scene);
            tarn::FaultEnv env;
            tarn::testing::ScopedEnv scoped(&env);
            TCatalogue c;
            c.Open(scene.cataloguePath);
            const QStringList before = Dump(c);
            env.ResetCounters();
            a.run(scene, c);
            writes = env.Writes();
            ASSERT_NE(Dump(c), before);
        }
        ASSERT_GE(writes, 2);
        for (long k = 1; k <= writes; ++k) {
            SCOPED_TRACE("write " + std::to_string(k) + " of " + std::to_string(writes) + " fails");
            Scene scene;
            a.prepare(scene);
            QStringList before, copiesBefore;
            {
                tarn::FaultEnv env;
                tarn::testing::ScopedEnv scoped(&env);
                TCatalogue c;
                c.Open(scene.cataloguePath);
                before = Dump(c);
                copiesBefore = QDir(Q(scene.dir.file("store/plan.txt-bak"))).entryList(QDir::Files);
                env.ResetCounters();
                env.FailWrite(k);
                EXPECT_ANY_THROW(a.run(scene, c));
                EXPECT_EQ(Dump(c), before);
            }
            TCatalogue reopened;
            reopened.Open(scene.cataloguePath);
            EXPECT_EQ(Dump(reopened), before);
            // Nothing was deleted: every copy is still there.
            const QStringList copiesAfter =
                QDir(Q(scene.dir.file("store/plan.txt-bak"))).entryList(QDir::Files);
            for (const QString& copy : copiesBefore)
                EXPECT_TRUE(copiesAfter.contains(copy)) << copy.toStdString();
        }
    }
}

TEST(Tidy, RemovesOnlyWhatAnInterruptedCopyOrRestoreLeft) {
    Scene scene;
    const std::string backup = scene.dir.file("store/plan.txt-bak");
    const std::string temps[] = {backup + "/.plan{2024-03-06-09-00-00}.txt.tmp-a1B2c3",
                                 scene.dir.file("docs/.plan.txt.restore-Zz9yX8")};
    const std::string others[] = {backup + "/.keep", backup + "/.plan.txt.tmp-toolong7",
                                  scene.dir.file("docs/.other.txt.restore-Zz9yX8")};
    for (const auto& p : temps) Write(p, "half");
    for (const auto& p : others) Write(p, "mine");
    TCatalogue c;
    c.Open(scene.cataloguePath);
    EXPECT_EQ(TidyLeftovers(c), 2);
    for (const auto& p : temps) EXPECT_FALSE(std::filesystem::exists(p)) << p;
    for (const auto& p : others) EXPECT_TRUE(std::filesystem::exists(p)) << p;
}

}  // namespace
}  // namespace filever

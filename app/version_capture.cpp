#include "app/version_capture.h"

#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

#include "app/gb_text.h"
#include "app/os/file_system.h"
#include "app/os/file_time.h"
#include "app/os/version_copy.h"
#include "tarndb/errors.h"

namespace filever {

QString FileExtension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QString BackupDirFor(const QString& areaDir, const QString& sourcePath) {
    QString dir = areaDir;
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/'))) dir.chop(1);
    return dir + QLatin1Char('/') + QFileInfo(sourcePath).fileName() + QStringLiteral("-bak");
}

QString VersionCopyName(const QString& sourcePath, const QString& versionName) {
    const QString name = QFileInfo(sourcePath).fileName();
    const QString ext = FileExtension(sourcePath);
    const QString base = name.left(name.size() - ext.size());
    return base + QLatin1Char('{') + versionName + QLatin1Char('}') + ext;
}

bool SameBytes(const QString& path, const QString& copyPath) {
    QFile a(path), b(copyPath);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly)) return false;
    if (a.size() != b.size()) return false;
    constexpr qint64 kChunk = 1 << 16;
    QByteArray x, y;
    for (;;) {
        x = a.read(kChunk);
        y = b.read(kChunk);
        if (x != y) return false;
        if (x.isEmpty())
            return a.error() == QFileDevice::NoError && b.error() == QFileDevice::NoError;
    }
}

namespace {

// `name`, or the first name two seconds on, four seconds on, ... that no version in
// `versions` has: the window finds a version by its name.
QString FreeVersionName(const QString& name, const std::vector<TVersionRow>& versions) {
    const auto taken = [&](const QString& candidate) {
        return std::any_of(versions.begin(), versions.end(),
                           [&](const TVersionRow& v) { return v.VerName == candidate; });
    };
    if (!taken(name)) return name;
    const QString format = QStringLiteral("yyyy-MM-dd-HH-mm-ss");
    QDateTime time = QDateTime::fromString(name, format);
    if (!time.isValid()) return name;
    time.setTimeSpec(Qt::UTC);  // plain arithmetic on the text, no daylight saving
    QString candidate = name;
    while (taken(candidate)) {
        time = time.addSecs(2);
        candidate = time.toString(format);
    }
    return candidate;
}

// A name in `backupDir` for a new copy of `path` taken as version `versionName`: the usual
// one, or "<name>{<version>}-2<ext>", "-3", ... when a copy of that name is stored already.
// Version names are last-write times, which can come back (a file unpacked or copied with
// its times kept), and the copy is renamed over whatever has its name: an older version's
// bytes must not be replaced.
QString FreeCopyPath(const QString& backupDir, const QString& path, const QString& versionName) {
    const QString usual = backupDir + QLatin1Char('/') + VersionCopyName(path, versionName);
    if (!QFileInfo::exists(usual)) return usual;
    const QString ext = FileExtension(path);
    const QString stem = usual.left(usual.size() - ext.size());
    for (int n = 2;; ++n) {
        const QString candidate = stem + QLatin1Char('-') + QString::number(n) + ext;
        if (!QFileInfo::exists(candidate)) return candidate;
    }
}

// The copy of `path` stored in `backupDir` (made again when it has gone) under the name of
// the file's current last-write time.
void StoreCopy(const QString& path, const QString& backupDir, TVersionCopy& copy,
               const std::vector<TVersionRow>& versions = {}, bool flush = true) {
    copy.FileTime = FormatVersionTime(GetFileTime(path, ftkLastWrite));
    copy.VerName = FreeVersionName(copy.FileTime, versions);
    copy.SizeText = QString::number(FileSize(path));
    copy.FileExt = FileExtension(path);
    copy.CopyPath = FreeCopyPath(backupDir, path, copy.VerName);
    // A directory that cannot be made shows up as the copy's error.
    TFileSystem::Current().MakePath(QFile::encodeName(backupDir));
    CopyVersionFile(path, copy.CopyPath, flush);
}

QString DirOf(const QString& path) { return QFileInfo(path).path(); }

}  // namespace

// The backup directory for a file about to be registered: the usual "<name>-bak", unless
// another registered file of the same name keeps its copies there (copies are named by
// the name and the time only, so two files would overwrite each other's): then the first
// of "<name>-bak-2", "<name>-bak-3", ... that no other file uses. Only a directory that
// exists can be in use, so the owners are looked up only then. `owners` gives the source
// path registered with a backup directory (empty when none).
QString FreeBackupDir(const QString& areaDir, const QString& path,
                      const std::function<QString(const QString&)>& owners) {
    const QString usual = BackupDirFor(areaDir, path);
    auto usedByAnother = [&](const QString& dir) {
        if (!QFileInfo::exists(dir)) return false;
        const QString owner = owners(dir);
        return !owner.isEmpty() && owner != path;
    };
    QString dir = usual;
    for (int n = 2; usedByAnother(dir); ++n) dir = usual + QLatin1Char('-') + QString::number(n);
    return dir;
}

namespace {

// The same, reading the catalogue's file rows once, and only when a directory exists.
QString FreeBackupDirIn(TCatalogue& catalogue, const QString& areaDir, const QString& path) {
    std::vector<TFileRow> rows;
    bool read = false;
    return FreeBackupDir(areaDir, path, [&](const QString& dir) {
        if (!read) {
            rows = catalogue.AllFiles();
            read = true;
        }
        // Another file than `path` keeping its copies in `dir`, if any.
        for (const TFileRow& row : rows)
            if (row.BackupDir == dir && row.SourcePath != path) return row.SourcePath;
        return QString();
    });
}

}  // namespace

bool TakeVersionCopy(TCatalogue& catalogue, const QString& path, TVersionCopy& copy) {
    TFileRow file;
    if (!catalogue.FindFileIgnoreCase(path, file)) return false;
    copy.FileNo = file.FileNo;
    const std::vector<TVersionRow> versions = catalogue.VersionsOfFile(file.FileNo);
    if (!versions.empty() && SameBytes(path, versions.back().FilePath)) {
        // Saved without a change: the latest version holds these bytes already.
        copy.VerName = copy.FileTime = FormatVersionTime(GetFileTime(path, ftkLastWrite));
        copy.FileExt = FileExtension(path);
        copy.Identical = true;
        catalogue.SetRecordedTime(file.FileNo, copy.VerName);
        return true;
    }
    StoreCopy(path, file.BackupDir, copy, versions);
    return true;
}

namespace {

TVersionRow RowOf(const TVersionCopy& copy, const QString& description) {
    TVersionRow row;
    row.FileNo = copy.FileNo;
    row.VerName = copy.VerName;
    row.FilePath = copy.CopyPath;
    row.Remark = description;
    row.SizeText = copy.SizeText;
    row.FileExt = copy.FileExt;
    return row;
}

}  // namespace

void RecordVersion(TCatalogue& catalogue, const TVersionCopy& copy, const QString& description,
                   verinfo& rec) {
    // One transaction: when the row is refused (a description too long for the catalogue)
    // the recorded time stays too, the file stays changed and the next pass asks again.
    catalogue.Transaction([&] {
        catalogue.AddVersion(RowOf(copy, description), rec);
        catalogue.SetRecordedTime(copy.FileNo, copy.FileTime);
    });
}

namespace {

// Flushes the file system of each directory once (syncfs): every copy stored there without
// a flush of its own, and its name, reach the disk. Returns the directories whose flush
// failed, each with the error.
QHash<QString, QString> FlushDirs(const QStringList& dirs) {
    TFileSystem& fs = TFileSystem::Current();
    QHash<dev_t, int> flushed;  // device -> errno of its flush (0: done)
    QHash<QString, QString> failures;
    for (const QString& dir : dirs) {
        const QByteArray native = QFile::encodeName(dir);
        struct stat st;
        int err = 0;
        if (stat(native.constData(), &st) != 0) {
            err = errno;
        } else if (const auto f = flushed.constFind(st.st_dev); f != flushed.constEnd()) {
            err = f.value();
        } else {
            err = fs.SyncFileSystem(native) == 0 ? 0 : errno;
            flushed.insert(st.st_dev, err);
        }
        if (err != 0)
            failures.insert(dir, QStringLiteral("Flush failed on \"%1\": %2")
                                     .arg(dir, QString::fromLocal8Bit(std::strerror(err))));
    }
    return failures;
}

}  // namespace

void CaptureVersions(TCatalogue& catalogue, std::vector<TBatchCapture>& items) {
    CaptureVersions(catalogue, items, catalogue.AllFiles());
}

void CaptureVersions(TCatalogue& catalogue, std::vector<TBatchCapture>& items,
                     const std::vector<TFileRow>& files) {
    using TResult = TBatchCapture::TResult;
    struct Work {
        TBatchCapture* Item;
        TVersionCopy Copy;
    };
    // Each path's row: the first in table order with that path, letter case ignored.
    QHash<QString, size_t> rowOf;
    for (size_t i = 0; i < files.size(); ++i) {
        const QString key = files[i].SourcePath.toCaseFolded();
        if (!rowOf.contains(key)) rowOf.insert(key, i);
    }
    std::vector<const TFileRow*> rows(items.size(), nullptr);
    std::vector<int32_t> fileNos;
    for (size_t i = 0; i < items.size(); ++i) {
        const auto found = rowOf.constFind(items[i].Path.toCaseFolded());
        if (found == rowOf.constEnd()) continue;
        rows[i] = &files[found.value()];
        fileNos.push_back(rows[i]->FileNo);
    }
    // The versions of all of them in one read of the version table.
    const std::map<int32_t, std::vector<TVersionRow>> versionsOf =
        fileNos.empty() ? std::map<int32_t, std::vector<TVersionRow>>()
                        : catalogue.VersionsOfFiles(fileNos);
    std::vector<Work> work;
    // Backup directories that took a copy, with the files whose copies went there.
    QHash<QString, std::vector<size_t>> dirs;
    for (size_t i = 0; i < items.size(); ++i) {
        TBatchCapture& item = items[i];
        item.Result = TResult::NotRegistered;
        item.Error.clear();
        if (!rows[i]) continue;
        const TFileRow& file = *rows[i];
        Work w{&item, {}};
        w.Copy.FileNo = file.FileNo;
        const std::vector<TVersionRow>& versions = versionsOf.at(file.FileNo);
        if (!versions.empty() && SameBytes(item.Path, versions.back().FilePath)) {
            w.Copy.VerName = w.Copy.FileTime =
                FormatVersionTime(GetFileTime(item.Path, ftkLastWrite));
            w.Copy.Identical = true;
            item.Result = TResult::Identical;
            work.push_back(std::move(w));
            continue;
        }
        try {
            StoreCopy(item.Path, file.BackupDir, w.Copy, versions, false);
        } catch (const tarn::Exception& e) {
            item.Result = TResult::Failed;
            item.Error = AnsiToQString(e.Message());
            continue;
        }
        item.Result = TResult::Kept;
        dirs[file.BackupDir].push_back(work.size());
        work.push_back(std::move(w));
    }
    // One flush per file system: the copies' bytes and names before any row names them.
    const QHash<QString, QString> failures = FlushDirs(dirs.keys());
    for (auto d = dirs.cbegin(); d != dirs.cend(); ++d) {
        const auto failed = failures.constFind(d.key());
        if (failed == failures.constEnd()) continue;
        for (size_t i : d.value()) {
            work[i].Item->Result = TResult::Failed;
            work[i].Item->Error = failed.value();
        }
    }
    const auto write = [&](Work& w) {
        if (w.Item->Result == TResult::Kept)
            catalogue.AddVersion(RowOf(w.Copy, w.Item->Description), w.Item->Version);
        if (w.Item->Result != TResult::Failed)
            catalogue.SetRecordedTime(w.Copy.FileNo, w.Copy.FileTime);
    };
    try {
        catalogue.Transaction([&] {
            std::map<int32_t, QString> times;
            for (Work& w : work) {
                if (w.Item->Result == TResult::Kept)
                    catalogue.AddVersion(RowOf(w.Copy, w.Item->Description), w.Item->Version);
                if (w.Item->Result != TResult::Failed) times[w.Copy.FileNo] = w.Copy.FileTime;
            }
            catalogue.SetRecordedTimes(times);
        });
        return;
    } catch (...) {
        // Some row was refused: each file on its own, so that one fails alone.
    }
    for (Work& w : work) {
        if (w.Item->Result == TResult::Failed) continue;
        try {
            w.Item->Version = verinfo{};
            catalogue.Transaction([&] { write(w); });
        } catch (const tarn::Exception& e) {
            w.Item->Result = TResult::Failed;
            w.Item->Error = AnsiToQString(e.Message());
        }
    }
}

bool CaptureVersion(TCatalogue& catalogue, const QString& path, const QString& description,
                    verinfo& rec) {
    TVersionCopy copy;
    if (!TakeVersionCopy(catalogue, path, copy) || copy.Identical) return false;
    rec.VerName = copy.VerName;
    RecordVersion(catalogue, copy, description, rec);
    return true;
}

namespace {

// The row of area `areaNo`; false when there is none. Areas are few: the table is read.
bool AreaOfNumber(TCatalogue& catalogue, int32_t areaNo, TAreaRow& out) {
    for (const TAreaRow& area : catalogue.Areas())
        if (area.AreaNo == areaNo) {
            out = area;
            return true;
        }
    return false;
}

}  // namespace

bool RegisterFile(TCatalogue& catalogue, int32_t areaNo, const QString& path) {
    TAreaRow area;
    if (!AreaOfNumber(catalogue, areaNo, area)) return false;
    const QString backup = FreeBackupDirIn(catalogue, area.Dir, path);
    catalogue.AddFile(area.AreaNo, path, backup);
    // A directory that cannot be made shows up as the first capture's copy error.
    TFileSystem::Current().MakePath(QFile::encodeName(backup));
    return true;
}

bool RegisterFileWithVersion(TCatalogue& catalogue, int32_t areaNo, const QString& path,
                             TRegistration& out) {
    TAreaRow area;
    if (!AreaOfNumber(catalogue, areaNo, area)) return false;
    RegisterFileWithVersion(catalogue, area, FreeBackupDirIn(catalogue, area.Dir, path), path, out);
    return true;
}

void RegisterFileWithVersion(TCatalogue& catalogue, const TAreaRow& area, const QString& backup,
                             const QString& path, TRegistration& out) {
    TVersionCopy copy;
    bool copied = false;
    bool existed = false;
    try {
        StoreCopy(path, backup, copy);
        copied = true;
    } catch (const tarn::EInOutError& e) {
        out.CopyError = AnsiToQString(e.Message());
    } catch (const tarn::EFOpenError& e) {
        out.CopyError = AnsiToQString(e.Message());
    }
    try {
        catalogue.Transaction([&] {
            out.FileNo = copy.FileNo = catalogue.AddFile(area.AreaNo, path, backup);
            if (!copied) return;
            existed = catalogue.CopyInUse(copy.CopyPath);
            catalogue.AddVersion(RowOf(copy, QString()), out.Version);
            catalogue.SetRecordedTime(copy.FileNo, copy.FileTime);
        });
    } catch (...) {
        // Nothing was registered: the new copy goes too, unless another row names it.
        if (copied && !existed) RemoveCopies(catalogue, {copy.CopyPath});
        throw;
    }
    out.Captured = copied;
    out.BackupDir = backup;
}

void RegisterFilesWithVersions(TCatalogue& catalogue, const TAreaRow& area,
                               std::vector<TNewFile>& files,
                               const std::function<void(size_t)>& registered) {
    std::vector<TVersionCopy> copies(files.size());
    std::vector<bool> copied(files.size(), false);
    QStringList dirs;
    for (size_t i = 0; i < files.size(); ++i) {
        TRegistration& out = files[i].Registration;
        out = TRegistration{};
        out.BackupDir = files[i].BackupDir;
        try {
            StoreCopy(files[i].Path, files[i].BackupDir, copies[i], {}, false);
            copied[i] = true;
            if (!dirs.contains(files[i].BackupDir)) dirs << files[i].BackupDir;
        } catch (const tarn::EInOutError& e) {
            out.CopyError = AnsiToQString(e.Message());
        } catch (const tarn::EFOpenError& e) {
            out.CopyError = AnsiToQString(e.Message());
        }
    }
    const QHash<QString, QString> failures = FlushDirs(dirs);
    for (size_t i = 0; i < files.size(); ++i) {
        const auto failed = failures.constFind(files[i].BackupDir);
        if (!copied[i] || failed == failures.constEnd()) continue;
        // Not known to be on the disk: registered without a version, the next pass retries.
        copied[i] = false;
        files[i].Registration.CopyError = failed.value();
        TFileSystem::Current().Remove(QFile::encodeName(copies[i].CopyPath));
    }
    const auto write = [&](size_t i) {
        TRegistration& out = files[i].Registration;
        out.FileNo = copies[i].FileNo =
            catalogue.AddFile(area.AreaNo, files[i].Path, files[i].BackupDir);
        if (!copied[i]) return;
        catalogue.AddVersion(RowOf(copies[i], QString()), out.Version);
    };
    try {
        catalogue.Transaction([&] {
            std::map<int32_t, QString> times;
            for (size_t i = 0; i < files.size(); ++i) {
                write(i);
                if (copied[i]) times[copies[i].FileNo] = copies[i].FileTime;
            }
            catalogue.SetRecordedTimes(times);
        });
    } catch (...) {
        // Some file was refused: each on its own, so the ones before it are registered and
        // it raises as a single registration does.
        for (size_t i = 0; i < files.size(); ++i) {
            files[i].Registration.FileNo = 0;
            files[i].Registration.Version = verinfo{};
            try {
                catalogue.Transaction([&] {
                    write(i);
                    if (copied[i]) catalogue.SetRecordedTime(copies[i].FileNo, copies[i].FileTime);
                });
            } catch (...) {
                for (size_t j = i; j < files.size(); ++j)
                    if (copied[j])
                        TFileSystem::Current().Remove(QFile::encodeName(copies[j].CopyPath));
                throw;
            }
            files[i].Registration.Captured = copied[i];
            if (registered) registered(i);
        }
        return;
    }
    for (size_t i = 0; i < files.size(); ++i) {
        files[i].Registration.Captured = copied[i];
        if (registered) registered(i);
    }
}

void RemoveCopies(TCatalogue& catalogue, const QStringList& copies, const QStringList& dirs) {
    TFileSystem& fs = TFileSystem::Current();
    QStringList touched;
    for (const QString& copy : copies) {
        try {
            if (catalogue.CopyInUse(copy)) continue;
        } catch (...) {
            continue;  // unsure: the copy stays
        }
        if (fs.Remove(QFile::encodeName(copy)) == 0 && !touched.contains(DirOf(copy)))
            touched << DirOf(copy);
    }
    for (const QString& dir : touched) fs.SyncDir(QFile::encodeName(dir));
    for (const QString& dir : dirs) fs.RemoveDir(QFile::encodeName(dir));  // only when empty
}

bool RemoveWatchedFile(TCatalogue& catalogue, const QString& path) {
    verinfo found;
    catalogue.FindFileByPath(path, found);
    if (found.FileNo == 0 || found.FilePath != path) return false;
    catalogue.RemoveFileNo(found.FileNo);
    return true;
}

bool RemoveAreaWithFiles(TCatalogue& catalogue, int32_t areaNo) {
    const std::vector<TAreaRow> areas = catalogue.Areas();
    if (std::none_of(areas.begin(), areas.end(),
                     [&](const TAreaRow& a) { return a.AreaNo == areaNo; }))
        return false;
    catalogue.Transaction([&] {
        for (const TFileRow& file : catalogue.FilesOfArea(areaNo))
            catalogue.RemoveFileNo(file.FileNo);
        catalogue.RemoveArea(areaNo);
    });
    return true;
}

int64_t AreaStorageBytes(TCatalogue& catalogue, int32_t areaNo) {
    int64_t total = 0;
    QSet<QString> counted;
    for (const TFileRow& file : catalogue.FilesOfArea(areaNo))
        for (const TVersionRow& v : catalogue.VersionsOfFile(file.FileNo))
            if (!counted.contains(v.FilePath)) {
                counted.insert(v.FilePath);
                total += v.SizeText.toLongLong();
            }
    return total;
}

TRetentionPlan PlanRetention(TCatalogue& catalogue, int32_t areaNo, const TRetentionPolicy& policy,
                             int64_t now) {
    TRetentionPlan plan;
    if (policy.Mode == TRetentionMode::KeepAll && policy.SizeCapBytes <= 0) return plan;
    std::vector<TRetentionPlan::Item> all;
    std::vector<TRetentionItem> items;
    for (const TFileRow& file : catalogue.FilesOfArea(areaNo))
        for (const TVersionRow& v : catalogue.VersionsOfFile(file.FileNo)) {
            const QDateTime time =
                QDateTime::fromString(v.VerName, QStringLiteral("yyyy-MM-dd-HH-mm-ss"));
            all.push_back({file.SourcePath, v});
            items.push_back({file.FileNo, time.isValid() ? time.toSecsSinceEpoch() : -1,
                             v.SizeText.toLongLong(), !v.Remark.isEmpty()});
        }
    const std::vector<size_t> chosen = SelectForRemoval(items, policy, now);
    // A copy is freed when every row that names it goes.
    QHash<QString, int> names;
    for (const auto& item : all) ++names[item.Version.FilePath];
    for (size_t i : chosen) {
        plan.Remove.push_back(all[i]);
        if (--names[all[i].Version.FilePath] == 0) plan.FreedBytes += items[i].Bytes;
    }
    return plan;
}

int ApplyRetention(TCatalogue& catalogue, const TRetentionPlan& plan) {
    if (plan.Remove.empty()) return 0;
    int removed = 0;
    QStringList copies;
    catalogue.Transaction([&] {
        removed = 0;
        for (const auto& item : plan.Remove) {
            if (!catalogue.RemoveVersion(item.Version)) continue;
            ++removed;
            if (!copies.contains(item.Version.FilePath)) copies << item.Version.FilePath;
        }
    });
    RemoveCopies(catalogue, copies);
    return removed;
}

int TidyLeftovers(TCatalogue& catalogue) {
    TFileSystem& fs = TFileSystem::Current();
    int removed = 0;
    const auto tidy = [&](const QString& dir, const QString& pattern) {
        const QRegularExpression re(QRegularExpression::anchoredPattern(pattern));
        const QDir d(dir);
        for (const QString& name : d.entryList(QDir::Files | QDir::Hidden | QDir::System))
            if (re.match(name).hasMatch() && fs.Remove(QFile::encodeName(d.filePath(name))) == 0)
                ++removed;
    };
    QStringList seen;
    for (const TFileRow& file : catalogue.AllFiles()) {
        if (!seen.contains(file.BackupDir)) {
            seen << file.BackupDir;
            tidy(file.BackupDir, QStringLiteral("\\..+\\.tmp-[A-Za-z0-9]{6}"));
        }
        const QFileInfo source(file.SourcePath);
        tidy(source.path(), QStringLiteral("\\.") + QRegularExpression::escape(source.fileName()) +
                                QStringLiteral("\\.restore-[A-Za-z0-9]{6}"));
    }
    return removed;
}

}  // namespace filever

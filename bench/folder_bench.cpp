// The version manager's watched folders: a monitoring pass over a folder of 10,000
// unchanged, registered files in 1,000 directories (listing the folder for files that
// appeared, then looking for changed ones), against the bare cost of stat on the same files
// in the same run.
//   bench_folder [--quick]
#include <sys/stat.h>

#include <QDir>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/catalogue_model.h"
#include "app/os/file_time.h"
#include "app/version_capture.h"
#include "app/watched_folders.h"
#include "bench/support/harness.h"

using namespace tarn::bench;
using filever::TCatalogue;

namespace {

double MedianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void FolderPass(int dirs, int filesPerDir, int reps) {
    const std::string root = ScratchDir() + "/folder";
    const std::string tree = root + "/tree";
    QDir().mkpath(QString::fromStdString(root + "/area"));
    std::vector<std::string> paths;
    for (int d = 0; d < dirs; ++d) {
        // Ten directories at the top, the rest below them: a tree two levels deep.
        const std::string sub = tree + "/g" + std::to_string(d % 10) + "/d" + std::to_string(d);
        QDir().mkpath(QString::fromStdString(sub));
        for (int f = 0; f < filesPerDir; ++f) {
            const std::string p = sub + "/f" + std::to_string(f) + ".txt";
            std::ofstream(p) << "content " << d << ' ' << f;
            paths.push_back(p);
        }
    }
    TCatalogue catalogue;
    catalogue.Open(QString::fromStdString(root + "/catalogue.dat"));
    const QString area = QString::fromStdString(root + "/area");
    const int32_t areaNo = catalogue.AddArea("area", area);
    // Registered as adding the folder would leave them (without copying 10,000 files):
    // every file's row with its recorded time, so the pass finds nothing new or changed.
    catalogue.Transaction([&] {
        catalogue.AddFolder(areaNo, QString::fromStdString(tree), true,
                            filever::JoinExclusions(filever::DefaultFolderExclusions()));
        for (const std::string& p : paths) {
            const QString qp = QString::fromStdString(p);
            const int32_t no = catalogue.AddFile(areaNo, qp, filever::BackupDirFor(area, qp));
            catalogue.SetRecordedTime(
                no, filever::FormatVersionTime(filever::GetFileTime(qp, filever::ftkLastWrite)));
        }
    });
    // The window's pass through the model, which keeps the registered files in memory
    // between passes; the first pass after a change of the catalogue reads them (not timed).
    filever::TCatalogueModel model(catalogue);
    {
        filever::TFolderScan first;
        QStringList changed;
        model.RegisterAppearedFiles(first);
        model.ScanForChanges(changed);
    }
    std::vector<double> pass, stats;
    for (int r = 0; r < reps; ++r) {
        filever::TFolderScan scan;
        QStringList pending;
        pass.push_back(Seconds([&] {
            model.RegisterAppearedFiles(scan);
            model.ScanForChanges(pending);
        }));
        if (!scan.Added.empty() || !pending.isEmpty() || scan.Dirs.size() < dirs) {
            std::fprintf(stderr, "BENCH folder: %zu files added, %lld changed, %lld dirs\n",
                         scan.Added.size(), static_cast<long long>(pending.size()),
                         static_cast<long long>(scan.Dirs.size()));
            std::exit(3);
        }
        stats.push_back(Seconds([&] {
            struct stat st;
            for (const std::string& p : paths) stat(p.c_str(), &st);
        }));
    }
    const double p = MedianOf(pass) * 1e6, s = MedianOf(stats) * 1e6;
    std::printf("BENCH folder_pass files=%zu dirs=%d pass_us=%.1f stat_us=%.1f ratio=%.2f\n",
                paths.size(), dirs, p, s, s > 0 ? p / s : 0);
}

}  // namespace

int main(int argc, char** argv) {
    Options o = ParseOptions(argc, argv);
    FolderPass(1000, 10, o.quick ? 3 : 5);
    return 0;
}

// The version manager at the size of a real folder:
//   capture_pass files=2000 changed=2000: a monitoring pass that keeps 2,000 changed small
//     files (the window's pass: the scan, then CaptureVersions in slices of 100: copies,
//     one flush of the file system, one transaction per slice), against `cp` of the same
//     files followed by one `sync`. Goal: ratio <= 3.
//   search_keystroke nodes=12000: one keystroke of the tree's search (the word looked for
//     in the versions held in memory, the tree's nodes shown, hidden and expanded) over a
//     tree of 2,700 files with 12,000 versions in all. Goal: <= 50 ms.
//   catalogue_bytes: what a version adds to a new catalogue, beside the catalogue size.
//   bench_capture [--quick]
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/catalogue_model.h"
#include "app/version_capture.h"
#include "app/version_search.h"
#include "bench/support/harness.h"

using namespace tarn::bench;
using filever::TCatalogue;

namespace {

double MedianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void CapturePass(int files) {
    const std::string dir = ScratchDir() + "/pass" + std::to_string(files);
    const QString area = QString::fromStdString(dir + "/area");
    QDir().mkpath(area);
    QDir().mkpath(QString::fromStdString(dir + "/src"));
    TCatalogue catalogue;
    catalogue.Open(QString::fromStdString(dir + "/catalogue.dat"));
    const int32_t areaNo = catalogue.AddArea("area", area);
    QStringList paths;
    catalogue.Transaction([&] {
        for (int i = 0; i < files; ++i) {
            const std::string p = dir + "/src/f" + std::to_string(i) + ".txt";
            std::ofstream(p) << "content of file " << i << std::string(2000, 'x');
            const QString qp = QString::fromStdString(p);
            paths << qp;
            const QString backup = filever::BackupDirFor(area, qp);
            QDir().mkpath(backup);
            catalogue.AddFile(areaNo, qp, backup);
        }
    });
    filever::TCatalogueModel model(catalogue);
    const double ours = Seconds([&] {
        QStringList pending;
        model.ScanForChanges(pending);
        for (qsizetype at = 0; at < pending.size(); at += 100) {
            std::vector<filever::TBatchCapture> items;
            for (qsizetype i = at; i < std::min(pending.size(), at + 100); ++i) {
                filever::TBatchCapture item;
                item.Path = pending[i];
                items.push_back(item);
            }
            model.Capture(items);
            for (const auto& item : items)
                if (item.Result != filever::TBatchCapture::TResult::Kept) std::exit(3);
        }
    });
    const std::string cmd = "cp -r '" + dir + "/src' '" + dir + "/cp' && sync";
    const double cp = Seconds([&] {
        if (std::system(cmd.c_str()) != 0) std::exit(3);
    });
    std::printf("BENCH capture_pass files=%d changed=%d pass_ms=%.1f cp_sync_ms=%.1f ratio=%.2f\n",
                files, files, ours * 1e3, cp * 1e3, cp > 0 ? ours / cp : 0);
    const auto bytes = QFileInfo(QString::fromStdString(dir + "/catalogue.dat")).size();
    std::printf("BENCH catalogue_bytes files=%d versions=%d bytes=%lld per_version=%.0f\n", files,
                files, static_cast<long long>(bytes), double(bytes) / files);
}

void SearchKeystroke(int fileCount, int versionCount) {
    // The tree as the window holds it, and the versions as its search holds them.
    QTreeWidget tree;
    std::vector<filever::verinfo> versions;
    std::vector<filever::TFileRow> files;
    auto* area = new QTreeWidgetItem(&tree, {"area"});
    for (int f = 0; f < fileCount; ++f) {
        const QString path =
            QStringLiteral("/home/user/project/src/module%1/file%2.cpp").arg(f / 50).arg(f);
        files.push_back({f + 1, 1, path, path + "-bak", QString()});
        auto* file = new QTreeWidgetItem(area, {path});
        const int n = versionCount / fileCount + (f < versionCount % fileCount ? 1 : 0);
        for (int v = 0; v < n; ++v) {
            const QString name = QStringLiteral("2024-%1-%2-10-00-00")
                                     .arg(v % 12 + 1, 2, 10, QLatin1Char('0'))
                                     .arg(v / 12 + 1, 2, 10, QLatin1Char('0'));
            new QTreeWidgetItem(file, {name});
            filever::verinfo rec;
            rec.FileNo = f + 1;
            rec.VerName = name;
            rec.FilePath = path + "-bak/file" + QString::number(f) + "{" + name + "}.cpp";
            rec.Remark =
                v % 7 == 0 ? QStringLiteral("fixed the build of module %1").arg(f / 50) : QString();
            versions.push_back(rec);
        }
    }
    tree.collapseAll();
    filever::TVersionSearchIndex index;
    index.Load(versions, files);
    const QStringList words = {"f",        "fi",    "fix",    "fixe",    "fixed",   "module1",
                               "module12", "file7", "file77", "file777", "2024-03", "nothing"};
    std::vector<double> times;
    for (int round = 0; round < 3; ++round)
        for (const QString& word : words)
            times.push_back(Seconds([&] {
                filever::FilterCatalogueTree(tree, index.Find(word), index.FileNos());
                QCoreApplication::processEvents();
            }));
    std::printf("BENCH search_keystroke nodes=%d median_ms=%.2f max_ms=%.2f\n",
                1 + fileCount + versionCount, MedianOf(times) * 1e3,
                *std::max_element(times.begin(), times.end()) * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
    Options o = ParseOptions(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CapturePass(o.quick ? 500 : 2000);
    SearchKeystroke(2700, 12000 - 2700 - 1);
    return 0;
}

// The version manager's costs: a monitoring pass over 1,000 and 10,000 registered files of
// which none changed, against the bare cost of stat on the same files in the same run; and
// capturing a 100 MiB file against cp of the same file.
//   bench_monitor [--quick]
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/catalogue.h"
#include "app/catalogue_model.h"
#include "app/os/file_time.h"
#include "app/os/version_copy.h"
#include "app/version_capture.h"
#include "bench/support/harness.h"

using namespace tarn::bench;
using filever::TCatalogue;

namespace {

double MedianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void MonitorPass(int files, int reps) {
    std::string dir = ScratchDir() + "/watch" + std::to_string(files);
    QDir().mkpath(QString::fromStdString(dir + "/area"));
    TCatalogue catalogue;
    catalogue.Open(QString::fromStdString(dir + "/catalogue.dat"));
    catalogue.AddArea("area", QString::fromStdString(dir + "/area"));
    std::vector<std::string> paths;
    for (int i = 0; i < files; ++i) {
        std::string p = dir + "/f" + std::to_string(i) + ".txt";
        std::ofstream(p) << "content " << i;
        paths.push_back(p);
        QString qp = QString::fromStdString(p);
        catalogue.AddFile(1, qp, filever::BackupDirFor(QString::fromStdString(dir + "/area"), qp));
    }
    // Record every file's time: the pass that follows finds nothing changed.
    for (const filever::TFileRow& row : catalogue.AllFiles())
        catalogue.SetRecordedTime(row.FileNo, filever::FormatVersionTime(filever::GetFileTime(
                                                  row.SourcePath, filever::ftkLastWrite)));
    // The window's pass: the model keeps the registered files in memory between passes;
    // the first pass after a change of the catalogue reads them (not timed, as it happens
    // once per change, not once per pass).
    filever::TCatalogueModel model(catalogue);
    {
        QStringList first;
        model.ScanForChanges(first);
    }
    std::vector<double> pass, stats;
    for (int r = 0; r < reps; ++r) {
        QStringList pending;
        pass.push_back(Seconds([&] { model.ScanForChanges(pending); }));
        if (!pending.isEmpty()) {
            std::fprintf(stderr, "BENCH monitor: %lld files reported changed\n",
                         static_cast<long long>(pending.size()));
            std::exit(3);
        }
        stats.push_back(Seconds([&] {
            struct stat st;
            for (const std::string& p : paths) stat(p.c_str(), &st);
        }));
    }
    double p = MedianOf(pass) * 1e6, s = MedianOf(stats) * 1e6;
    std::printf("BENCH monitor_pass files=%d pass_us=%.1f stat_us=%.1f ratio=%.2f\n", files, p, s,
                s > 0 ? p / s : 0);
}

void Capture(int megabytes, int reps) {
    std::string dir = ScratchDir() + "/capture";
    QDir().mkpath(QString::fromStdString(dir + "/bak"));
    std::string source = dir + "/big.bin";
    {
        std::ofstream out(source, std::ios::binary);
        std::string chunk(1 << 20, '\0');
        for (int m = 0; m < megabytes; ++m) {
            for (size_t i = 0; i < chunk.size(); i += 4096) chunk[i] = static_cast<char>(m + i);
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
    }
    std::vector<double> ours, cp;
    for (int r = 0; r < reps; ++r) {
        std::string target = dir + "/bak/big{" + std::to_string(r) + "}.bin";
        ours.push_back(Seconds([&] {
            filever::CopyVersionFile(QString::fromStdString(source),
                                     QString::fromStdString(target));
        }));
        std::remove(target.c_str());
        std::string cmd = "cp '" + source + "' '" + target + "'";
        cp.push_back(Seconds([&] {
            if (std::system(cmd.c_str()) != 0) std::exit(3);
        }));
        std::remove(target.c_str());
    }
    double o = MedianOf(ours) * 1e3, c = MedianOf(cp) * 1e3;
    std::printf("BENCH capture_%dm copy_ms=%.1f cp_ms=%.1f ratio=%.2f\n", megabytes, o, c,
                c > 0 ? o / c : 0);
}

}  // namespace

int main(int argc, char** argv) {
    Options o = ParseOptions(argc, argv);
    MonitorPass(1000, 5);
    MonitorPass(10000, o.quick ? 3 : 5);
    Capture(100, o.quick ? 3 : 5);
    return 0;
}

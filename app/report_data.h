// The figures of the "报表" page, without widgets: versions per day over a period, what
// each storage area's copies take, and the files with the most versions and with the
// largest copies. Every figure covers the watched files (the file-index rows) and their
// version rows; versions are dated by their names, the file's local last-write time
// "yyyy-mm-dd-hh-mm-ss" (app/os/file_time.h), so the chart shows when the work was done.
// A name that is no such time is left out of the daily counts.
//
// The CSV texts are UTF-8 with one header line, fields separated by "," and lines ended by
// "\n"; a field holding ",", '"' or a line break is quoted, '"' doubled. Sizes are bytes.
// Catalogue errors pass to the caller unchanged.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <cstdint>
#include <vector>

namespace filever {

class TCatalogue;

struct TDayCount {
    QDate Day;
    int Versions = 0;
};

struct TAreaFigure {
    int32_t AreaNo = 0;
    QString Name;
    int64_t Bytes = 0;  // as AreaStorageBytes: each stored copy counted once
};

struct TFileFigure {
    int32_t FileNo = 0;
    QString SourcePath;
    int Versions = 0;
    int64_t Bytes = 0;  // the file's stored copies, each counted once
};

// How many versions the ranked lists show.
inline constexpr int kReportTop = 10;

// One entry per day of the `days` days that end with `today` (oldest first, days without
// versions included), each with the number of versions dated that day. Empty for
// days <= 0.
std::vector<TDayCount> VersionsPerDay(TCatalogue& catalogue, QDate today, int days);
// Every area in table order with what its copies take.
std::vector<TAreaFigure> StoragePerArea(TCatalogue& catalogue);
// Every watched file with at least one version, with its counts; table order.
std::vector<TFileFigure> FileFigures(TCatalogue& catalogue);
// The `top` files with the most versions (ties: by path), and with the largest total of
// copies (ties: by path).
std::vector<TFileFigure> MostChangedFiles(std::vector<TFileFigure> files, int top = kReportTop);
std::vector<TFileFigure> LargestFiles(std::vector<TFileFigure> files, int top = kReportTop);

// The CSV texts of the figures.
QByteArray DaysCsv(const std::vector<TDayCount>& days);      // 日期,版本数
QByteArray AreasCsv(const std::vector<TAreaFigure>& areas);  // 存储区,字节数
QByteArray FilesCsv(const std::vector<TFileFigure>& files);  // 排名,文件,版本数,字节数

}  // namespace filever

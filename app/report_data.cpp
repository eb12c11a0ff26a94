#include "app/report_data.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSet>
#include <algorithm>
#include <map>

#include "app/catalogue.h"
#include "app/version_capture.h"

namespace filever {

namespace {

// The day of a version name "yyyy-mm-dd-hh-mm-ss"; invalid for any other text.
QDate VersionDay(const QString& name) {
    const QDateTime time = QDateTime::fromString(name, QStringLiteral("yyyy-MM-dd-HH-mm-ss"));
    return time.isValid() ? time.date() : QDate();
}

QByteArray CsvField(const QString& text) {
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') ||
        bytes.contains('\r')) {
        bytes.replace("\"", "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}

QByteArray CsvLine(const QStringList& fields) {
    QByteArray line;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        line += CsvField(fields[i]);
    }
    return line + '\n';
}

}  // namespace

std::vector<TDayCount> VersionsPerDay(TCatalogue& catalogue, QDate today, int days) {
    std::vector<TDayCount> out;
    if (days <= 0 || !today.isValid()) return out;
    const QDate first = today.addDays(-(days - 1));
    for (int i = 0; i < days; ++i) out.push_back({first.addDays(i), 0});
    for (const TFileRow& file : catalogue.AllFiles())
        for (const TVersionRow& v : catalogue.VersionsOfFile(file.FileNo)) {
            const QDate day = VersionDay(v.VerName);
            if (!day.isValid() || day < first || day > today) continue;
            ++out[static_cast<size_t>(first.daysTo(day))].Versions;
        }
    return out;
}

std::vector<TAreaFigure> StoragePerArea(TCatalogue& catalogue) {
    std::vector<TAreaFigure> out;
    for (const TAreaRow& area : catalogue.Areas())
        out.push_back({area.AreaNo, area.Name, AreaStorageBytes(catalogue, area.AreaNo)});
    return out;
}

std::vector<TFileFigure> FileFigures(TCatalogue& catalogue) {
    std::vector<TFileFigure> out;
    for (const TFileRow& file : catalogue.AllFiles()) {
        TFileFigure f{file.FileNo, file.SourcePath, 0, 0};
        QSet<QString> counted;
        for (const TVersionRow& v : catalogue.VersionsOfFile(file.FileNo)) {
            ++f.Versions;
            if (counted.contains(v.FilePath)) continue;
            counted.insert(v.FilePath);
            f.Bytes += v.SizeText.toLongLong();
        }
        if (f.Versions > 0) out.push_back(f);
    }
    return out;
}

namespace {

template <typename Less>
std::vector<TFileFigure> Top(std::vector<TFileFigure> files, int top, Less less) {
    std::stable_sort(files.begin(), files.end(), [&](const TFileFigure& a, const TFileFigure& b) {
        if (less(a, b)) return false;
        if (less(b, a)) return true;
        return a.SourcePath < b.SourcePath;
    });
    if (top >= 0 && files.size() > static_cast<size_t>(top)) files.resize(static_cast<size_t>(top));
    return files;
}

}  // namespace

std::vector<TFileFigure> MostChangedFiles(std::vector<TFileFigure> files, int top) {
    return Top(std::move(files), top,
               [](const TFileFigure& a, const TFileFigure& b) { return a.Versions < b.Versions; });
}

std::vector<TFileFigure> LargestFiles(std::vector<TFileFigure> files, int top) {
    return Top(std::move(files), top,
               [](const TFileFigure& a, const TFileFigure& b) { return a.Bytes < b.Bytes; });
}

QByteArray DaysCsv(const std::vector<TDayCount>& days) {
    QByteArray out = CsvLine({QCoreApplication::translate("filever", "日期"),
                              QCoreApplication::translate("filever", "版本数")});
    for (const TDayCount& d : days)
        out += CsvLine({d.Day.toString(Qt::ISODate), QString::number(d.Versions)});
    return out;
}

QByteArray AreasCsv(const std::vector<TAreaFigure>& areas) {
    QByteArray out = CsvLine({QCoreApplication::translate("filever", "存储区"),
                              QCoreApplication::translate("filever", "字节数")});
    for (const TAreaFigure& a : areas) out += CsvLine({a.Name, QString::number(a.Bytes)});
    return out;
}

QByteArray FilesCsv(const std::vector<TFileFigure>& files) {
    QByteArray out = CsvLine({QCoreApplication::translate("filever", "排名"),
                              QCoreApplication::translate("filever", "文件"),
                              QCoreApplication::translate("filever", "版本数"),
                              QCoreApplication::translate("filever", "字节数")});
    int rank = 0;
    for (const TFileFigure& f : files)
        out += CsvLine({QString::number(++rank), f.SourcePath, QString::number(f.Versions),
                        QString::number(f.Bytes)});
    return out;
}

}  // namespace filever

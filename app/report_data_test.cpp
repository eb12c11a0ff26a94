// The report figures over the catalogue's double: days counted by the versions' names,
// storage and rankings by the copies' recorded sizes, and their CSV texts.
#include "app/report_data.h"

#include <gtest/gtest.h>

#include <string>

#include "app/testing/catalogue_double.h"

namespace filever {
namespace {

using testing::CatalogueDouble;

// A version of file `file` named by its time, with a copy of `bytes` bytes at `copy`
// (by default a copy of its own).
TVersionRow V(int32_t file, const QString& name, int64_t bytes, QString copy = {}) {
    if (copy.isEmpty()) copy = QStringLiteral("/store/%1/%2").arg(file).arg(name);
    return {file, name, copy, QString(), QString::number(bytes), ".txt"};
}

std::vector<int> Counts(const std::vector<TDayCount>& days) {
    std::vector<int> out;
    for (const TDayCount& d : days) out.push_back(d.Versions);
    return out;
}

TEST(ReportData, VersionsPerDayCountsByTheNamesDayWithinThePeriod) {
    const QDate today(2024, 3, 10);
    struct Case {
        const char* name;
        std::vector<TVersionRow> versions;
        int days;
        std::vector<int> counts;  // oldest day first
    } cases[] = {
        {"no versions: every day zero", {}, 3, {0, 0, 0}},
        {"one day holds two versions of two files, another one",
         {V(1, "2024-03-10-08-00-00", 1), V(2, "2024-03-10-23-59-59", 1),
          V(1, "2024-03-08-00-00-00", 1)},
         3,
         {1, 0, 2}},
        {"outside the period on both sides",
         {V(1, "2024-03-07-23-59-59", 1), V(1, "2024-03-11-00-00-00", 1),
          V(1, "2024-03-08-00-00-00", 1)},
         3,
         {1, 0, 0}},
        {"names that are no time are left out",
         {V(1, "1899-12-30-00-00-00", 1), V(1, "draft", 1), V(1, "2024-02-30-00-00-00", 1),
          V(1, "2024-03-09-12-00-00", 1)},
         3,
         {0, 1, 0}},
        {"a month boundary",
         {V(1, "2024-02-29-12-00-00", 1)},
         11,
         {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"versions of a file no longer watched are not counted",
         {V(9, "2024-03-10-08-00-00", 1)},
         1,
         {0}},
        {"no days", {V(1, "2024-03-10-08-00-00", 1)}, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CatalogueDouble catalogue;
        catalogue.files = {{1, 1, "/docs/a.txt", "/store/a-bak", ""},
                           {2, 1, "/docs/b.txt", "/store/b-bak", ""}};
        catalogue.versions = c.versions;
        const std::vector<TDayCount> days = VersionsPerDay(catalogue, today, c.days);
        EXPECT_EQ(Counts(days), c.counts);
        if (!days.empty()) {
            EXPECT_EQ(days.back().Day, today);
            EXPECT_EQ(days.front().Day, today.addDays(1 - c.days));
        }
    }
}

TEST(ReportData, StorageAndRankingsCountEachCopyOnce) {
    CatalogueDouble catalogue;
    catalogue.areas = {{1, "文档", "/store"}, {2, "图片", "/pics"}, {3, "空", "/empty"}};
    catalogue.files = {{1, 1, "/docs/a.txt", "", ""},
                       {2, 1, "/docs/b.txt", "", ""},
                       {3, 2, "/pics/c.png", "", ""},
                       {4, 2, "/pics/never.png", "", ""}};
    catalogue.versions = {
        V(1, "2024-03-01-00-00-00", 100), V(1, "2024-03-02-00-00-00", 200),
        // Two captures of one last-write time share their copy.
        V(1, "2024-03-02-00-00-00", 200, "/store/1/2024-03-02-00-00-00"),
        V(2, "2024-03-01-00-00-00", 1000), V(3, "2024-03-01-00-00-00", 5000),
        V(3, "2024-03-05-00-00-00", 7000), V(3, "2024-03-06-00-00-00", 9000),
        // A version whose file is no longer watched belongs to no file and no area.
        V(8, "2024-03-01-00-00-00", 123456)};

    const std::vector<TAreaFigure> areas = StoragePerArea(catalogue);
    ASSERT_EQ(areas.size(), 3u);
    EXPECT_EQ(areas[0].Name, "文档");
    EXPECT_EQ(areas[0].Bytes, 1300);
    EXPECT_EQ(areas[1].Bytes, 21000);
    EXPECT_EQ(areas[2].Bytes, 0);

    const std::vector<TFileFigure> files = FileFigures(catalogue);
    ASSERT_EQ(files.size(), 3u) << "a file without versions is no figure";
    const auto paths = [](const std::vector<TFileFigure>& list) {
        std::vector<std::string> out;
        for (const TFileFigure& f : list)
            out.push_back(f.SourcePath.toStdString() + " " + std::to_string(f.Versions) + " " +
                          std::to_string(f.Bytes));
        return out;
    };
    EXPECT_EQ(paths(MostChangedFiles(files)),
              (std::vector<std::string>{"/docs/a.txt 3 300", "/pics/c.png 3 21000",
                                        "/docs/b.txt 1 1000"}))
        << "a tie of counts goes by path";
    EXPECT_EQ(paths(LargestFiles(files)),
              (std::vector<std::string>{"/pics/c.png 3 21000", "/docs/b.txt 1 1000",
                                        "/docs/a.txt 3 300"}));
    EXPECT_EQ(paths(LargestFiles(files, 2)).size(), 2u);
}

TEST(ReportData, RankingsKeepTheTopTen) {
    CatalogueDouble catalogue;
    for (int i = 1; i <= 12; ++i) {
        catalogue.files.push_back(
            {i, 1, QStringLiteral("/docs/%1.txt").arg(i, 2, 10, QChar('0')), "", ""});
        for (int k = 0; k < i; ++k)
            catalogue.versions.push_back(
                V(i, QStringLiteral("2024-01-%1-00-00-00").arg(k + 1, 2, 10, QChar('0')), 13 - i));
    }
    const std::vector<TFileFigure> most = MostChangedFiles(FileFigures(catalogue));
    ASSERT_EQ(most.size(), 10u);
    EXPECT_EQ(most.front().SourcePath, "/docs/12.txt");
    EXPECT_EQ(most.back().SourcePath, "/docs/03.txt");
    const std::vector<TFileFigure> largest = LargestFiles(FileFigures(catalogue));
    ASSERT_EQ(largest.size(), 10u);
    // File i has i copies of 13 - i bytes: 6 and 7 take 42 each, the path breaks the tie.
    EXPECT_EQ(largest[0].SourcePath, "/docs/06.txt");
    EXPECT_EQ(largest[1].SourcePath, "/docs/07.txt");
    EXPECT_EQ(largest[0].Bytes, 42);
}

TEST(ReportData, CsvTextsHaveAHeaderAndQuoteWhatNeedsIt) {
    EXPECT_EQ(DaysCsv({{QDate(2024, 3, 9), 0}, {QDate(2024, 3, 10), 4}}),
              QByteArray("日期,版本数\n2024-03-09,0\n2024-03-10,4\n"));
    EXPECT_EQ(AreasCsv({{1, "文档", 1300}, {2, "a,\"b\"", 0}}),
              QByteArray("存储区,字节数\n文档,1300\n\"a,\"\"b\"\"\",0\n"));
    EXPECT_EQ(
        FilesCsv({{1, "/docs/报告.txt", 3, 300}, {2, "/x/line\nbreak", 1, 5}}),
        QByteArray("排名,文件,版本数,字节数\n1,/docs/报告.txt,3,300\n2,\"/x/line\nbreak\",1,5\n"));
    EXPECT_EQ(DaysCsv({}), QByteArray("日期,版本数\n"));
}

}  // namespace
}  // namespace filever

// The catalogue on a real database file in a temporary directory.
#include "app/catalogue.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fstream>
#include <functional>

#include "app/gb_text.h"
#include "app/testing/files.h"
#include "app/testing/original_catalogue.h"
#include "tarndb/creator.h"
#include "tarndb/dataset/field_types.h"
#include "tarndb/errors.h"
#include "tarndb/table.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

using testing::Q;

std::string A(const char* utf8) { return tarn::Utf8ToAnsi(utf8); }

template <typename F>
QString ErrorOf(F&& f) {
    try {
        f();
    } catch (const tarn::Exception& e) {
        return AnsiToQString(e.Message());
    }
    return QStringLiteral("(no error)");
}

class CatalogueTest : public ::testing::Test {
protected:
    tarn::testing::TempDir dir;
    // In a directory that does not exist yet, as on a first start.
    QString path = Q(dir.file("数据/filever/版本控制.dat"));
};

TEST_F(CatalogueTest, AMissingCatalogueIsCreatedWithTheThreeTables) {
    {
        TCatalogue catalogue;
        catalogue.Open(path);
        EXPECT_TRUE(catalogue.Areas().empty());
        EXPECT_TRUE(catalogue.AllFiles().empty());
        EXPECT_TRUE(catalogue.VersionNamesOfFile(1).empty());
    }
    ASSERT_TRUE(QFileInfo(path).isFile());
    EXPECT_FALSE(QFileInfo::exists(path + ".new"));

    // The tables and fields under their own names, as any program of the engine sees them.
    // The long texts (paths, descriptions) are memo fields, stored compressed: they take
    // what their text takes, where a fixed-width field takes its width in every row.
    struct Field {
        const char* name;
        tarn::TFieldType type;
        int minSize;
    };
    struct Table {
        const char* name;
        std::vector<Field> fields;
    } tables[] = {
        {"数据存储区",
         {{"存储区序号", tarn::ftAutoInc, 0},
          {"名称", tarn::ftString, 255},
          {"目录", tarn::ftMemo, 0}}},
        {"文件索引表",
         {{"文件序号", tarn::ftAutoInc, 0},
          {"存储区序号", tarn::ftInteger, 0},
          {"源文件名称", tarn::ftMemo, 0},
          {"备份文件目录", tarn::ftMemo, 0},
          {"大小", tarn::ftString, 19}}},
        {"文件版本表",
         {{"文件序号", tarn::ftInteger, 0},
          {"版本", tarn::ftString, 19},
          {"文件名称", tarn::ftMemo, 0},
          {"说明", tarn::ftMemo, 0},
          {"大小", tarn::ftString, 20},
          {"文件扩展名", tarn::ftString, 32}}},
    };
    for (const Table& table : tables) {
        tarn::TTarnTable t;
        t.SetDatabaseName(QFile::encodeName(path).toStdString());
        t.SetTableName(A(table.name));
        t.Open();
        ASSERT_EQ(t.FieldCount(), static_cast<int>(table.fields.size())) << table.name;
        for (const Field& f : table.fields) {
            tarn::TField* field = t.FieldByName(A(f.name));
            EXPECT_EQ(field->DataType(), f.type) << table.name << "." << f.name;
            EXPECT_GE(field->Size(), f.minSize) << table.name << "." << f.name;
        }
    }
}

TEST_F(CatalogueTest, AFileThatIsNoCatalogueIsReportedAndLeftAlone) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QFile junk(path);
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
    }
    TCatalogue catalogue;
    const QString error = ErrorOf([&] { catalogue.Open(path); });
    // The path reads as the user sees it, Chinese included.
    EXPECT_EQ(error, QStringLiteral("Database file '%1' is an invalid TarnDB").arg(path));
    EXPECT_EQ(QFileInfo(path).size(), 4096);

    // A catalogue that cannot be made: a file stands where its directory should be.
    TCatalogue blocked;
    const QString inside = path + QStringLiteral("/版本控制.dat");
    EXPECT_TRUE(ErrorOf([&] { blocked.Open(inside); }).contains(path));
    EXPECT_EQ(QFileInfo(path).size(), 4096);

    // A database of the engine without the catalogue's tables.
    const std::string other = dir.file("other.dat");
    tarn::TTarnDBCreator::CreateDatabase(other);
    TCatalogue second;
    EXPECT_EQ(ErrorOf([&] { second.Open(Q(other)); }),
              QStringLiteral("Tbarea: Table '数据存储区' not found"));
}

TEST_F(CatalogueTest, ACatalogueThatFailedToOpenRefusesEveryCallWithTheReason) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QFile junk(path);
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
    }
    TCatalogue catalogue;
    const QString cause = ErrorOf([&] { catalogue.Open(path); });
    const QString reason = QStringLiteral("版本目录“%1”没有打开：%2").arg(path, cause);
    verinfo rec;
    TAreaRow area;
    TFileRow file;
    const std::pair<const char*, std::function<void()>> calls[] = {
        {"Areas", [&] { catalogue.Areas(); }},
        {"FilesOfArea", [&] { catalogue.FilesOfArea(1); }},
        {"VersionNamesOfFile", [&] { catalogue.VersionNamesOfFile(1); }},
        {"AllFiles", [&] { catalogue.AllFiles(); }},
        {"FindFileByPath", [&] { catalogue.FindFileByPath("/a", rec); }},
        {"FindVersionByName", [&] { catalogue.FindVersionByName("v", rec); }},
        {"AddArea", [&] { catalogue.AddArea(QStringLiteral("文档"), "/store"); }},
        {"FindArea", [&] { catalogue.FindArea(QStringLiteral("文档"), area); }},
        {"AddFile", [&] { catalogue.AddFile(1, "/a", "/store/a-bak"); }},
        {"RemoveFile", [&] { catalogue.RemoveFile("/a"); }},
        {"FindFileIgnoreCase", [&] { catalogue.FindFileIgnoreCase("/a", file); }},
        {"SetRecordedTime", [&] { catalogue.SetRecordedTime(1, "t"); }},
        {"AddVersion",
         [&] {
             catalogue.AddVersion({1, "v", "/c", "", "1", ".txt"}, rec);
         }},
        {"SetVersionDescription", [&] { catalogue.SetVersionDescription(1, "v", "d"); }},
        {"SearchVersions", [&] { catalogue.SearchVersions("v"); }},
    };
    for (const auto& [name, call] : calls) EXPECT_EQ(ErrorOf(call), reason) << name;
    EXPECT_EQ(QFileInfo(path).size(), 4096);

    // Never opened at all: said as plainly.
    TCatalogue unopened;
    EXPECT_EQ(ErrorOf([&] { unopened.Areas(); }), QStringLiteral("版本目录没有打开"));

    // Opened after all (the file replaced by a catalogue): in use again.
    ASSERT_TRUE(QFile::remove(path));
    catalogue.Open(path);
    catalogue.AddArea(QStringLiteral("文档"), "/store");
    EXPECT_EQ(catalogue.Areas().size(), 1u);
}

// A catalogue with two areas and files whose paths begin like each other.
class CatalogueRows : public CatalogueTest {
protected:
    void SetUp() override {
        catalogue.Open(path);
        catalogue.AddArea(QStringLiteral("文档"), "/store/文档");
        catalogue.AddArea(QStringLiteral("文档备份"), "/store/b");
        catalogue.AddFile(1, "/docs/计划.txt.old", "/store/文档/计划.txt.old-bak");
        catalogue.AddFile(2, "/docs/b.txt", "/store/b/b.txt-bak");
        catalogue.AddFile(1, "/docs/计划.txt", "/store/文档/计划.txt-bak");
    }
    TVersionRow Version(int32_t fileNo, const char* name, const char* remark) {
        return {fileNo, name,   QStringLiteral("/copy/%1/%2").arg(fileNo).arg(name),
                remark, "1536", ".txt"};
    }
    TCatalogue catalogue;
};

TEST_F(CatalogueRows, AreasAndFilesComeBackInTableOrderWithTheirNumbers) {
    const auto areas = catalogue.Areas();
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[1].AreaNo, 2);
    EXPECT_EQ(areas[0].Name, QStringLiteral("文档"));
    EXPECT_EQ(areas[0].Dir, QStringLiteral("/store/文档"));

    const auto first = catalogue.FilesOfArea(1);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].FileNo, 1);
    EXPECT_EQ(first[1].FileNo, 3);
    EXPECT_EQ(first[1].SourcePath, QStringLiteral("/docs/计划.txt"));
    EXPECT_EQ(first[1].BackupDir, QStringLiteral("/store/文档/计划.txt-bak"));
    EXPECT_EQ(first[1].RecordedTime, "");
    EXPECT_EQ(catalogue.FilesOfArea(2).size(), 1u);
    EXPECT_TRUE(catalogue.FilesOfArea(7).empty());
    catalogue.FilesOfArea(2);
    catalogue.AddFile(1, "/docs/new.txt", "/store/new.txt-bak");
    EXPECT_EQ(catalogue.FilesOfArea(2).size(), 1u);
    EXPECT_EQ(catalogue.AllFiles().size(), 4u);  // the filter is off again
}

TEST_F(CatalogueRows, LookupsMatchTheWholeValue) {
    TAreaRow area;
    ASSERT_TRUE(catalogue.FindArea(QStringLiteral("文档"), area));
    EXPECT_EQ(area.AreaNo, 1);  // not "文档备份", nor the other way round
    ASSERT_TRUE(catalogue.FindArea(QStringLiteral("文档备份"), area));
    EXPECT_EQ(area.AreaNo, 2);
    EXPECT_FALSE(catalogue.FindArea(QStringLiteral("文"), area));

    verinfo rec;
    catalogue.FindFileByPath(QStringLiteral("/docs/计划.txt"), rec);
    EXPECT_EQ(rec.FileNo, 3);  // not the ".old" row added before it
    verinfo none;
    catalogue.FindFileByPath("/docs/b", none);
    EXPECT_EQ(none.FileNo, 0);
    EXPECT_TRUE(none.FilePath.isEmpty());

    TFileRow file;
    ASSERT_TRUE(catalogue.FindFileIgnoreCase("/DOCS/B.TXT", file));
    EXPECT_EQ(file.FileNo, 2);
    EXPECT_FALSE(catalogue.FindFileIgnoreCase("/docs/b.tx", file));

    // Removing a file deletes its own row only.
    ASSERT_TRUE(catalogue.RemoveFile(QStringLiteral("/docs/计划.txt")));
    EXPECT_FALSE(catalogue.RemoveFile(QStringLiteral("/docs/计划.txt")));
    const auto rest = catalogue.AllFiles();
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[0].SourcePath, QStringLiteral("/docs/计划.txt.old"));
}

TEST_F(CatalogueRows, VersionsAreWrittenReadAndAnnotatedWithinTheirOwnFile) {
    verinfo rec;
    catalogue.AddVersion(Version(3, "2024-03-05-14-07-32", "第一版"), rec);
    // Rows appended while the table shows one file's versions are not taken for that
    // file's the next time it is asked for.
    EXPECT_EQ(catalogue.VersionNamesOfFile(3).size(), 1u);
    EXPECT_EQ(rec.FileNo, 3);
    EXPECT_EQ(rec.VerName, "2024-03-05-14-07-32");
    EXPECT_EQ(rec.FilePath, "/copy/3/2024-03-05-14-07-32");
    EXPECT_EQ(rec.Remark, QStringLiteral("第一版"));
    EXPECT_EQ(rec.SizeText, "1536");
    EXPECT_EQ(rec.FileExt, ".txt");
    catalogue.AddVersion(Version(2, "2024-03-05-14-07-32", "b"), rec);  // same name, other file
    catalogue.AddVersion(Version(3, "2024-03-06-09-00-00", ""), rec);
    catalogue.SetRecordedTime(3, "2024-03-06-09-00-00");

    EXPECT_EQ(catalogue.VersionNamesOfFile(3),
              (std::vector<QString>{"2024-03-05-14-07-32", "2024-03-06-09-00-00"}));
    verinfo of2;
    catalogue.FindVersionByName("2024-03-05-14-07-32", of2, 2);
    EXPECT_EQ(of2.Remark, "b");
    verinfo any;
    catalogue.FindVersionByName("2024-03-05-14-07-32", any);
    EXPECT_EQ(any.FileNo, 3);  // the first in table order
    verinfo untouched;
    untouched.Remark = "kept";
    catalogue.FindVersionByName("2024-03-05-14-07-3", untouched);
    EXPECT_EQ(untouched.Remark, "kept");

    EXPECT_TRUE(catalogue.SetVersionDescription(2, "2024-03-05-14-07-32", QStringLiteral("改过")));
    EXPECT_FALSE(catalogue.SetVersionDescription(1, "2024-03-05-14-07-32", "x"));
    catalogue.FindVersionByName("2024-03-05-14-07-32", any, 3);
    EXPECT_EQ(any.Remark, QStringLiteral("第一版"));

    TFileRow file;
    ASSERT_TRUE(catalogue.FindFileIgnoreCase(QStringLiteral("/docs/计划.txt"), file));
    EXPECT_EQ(file.RecordedTime, "2024-03-06-09-00-00");
}

TEST_F(CatalogueRows, TextTooLongForItsFieldIsRefusedAndNothingIsWritten) {
    const QString longPath = "/docs/" + QString(TCatalogue::kPathBytes, QLatin1Char('p'));
    // Two bytes a character in the data code page: half the width in Chinese is too long.
    const QString longChinese = QString(TCatalogue::kNameBytes / 2 + 1, QChar(0x6587));
    const QString nearlyLong = "/d/" + QString(TCatalogue::kPathBytes - 40, QLatin1Char('n'));
    verinfo rec;
    struct Case {
        const char* what;
        std::function<void()> write;
        const char* field;
    } cases[] = {
        {"area name", [&] { catalogue.AddArea(longChinese, "/store"); }, "名称"},
        {"area directory", [&] { catalogue.AddArea("x", longPath); }, "目录"},
        {"source path", [&] { catalogue.AddFile(1, longPath, "/store/b"); }, "源文件名称"},
        // The path fits, its copies' path would not.
        {"copy path", [&] { catalogue.AddFile(1, nearlyLong, "/store/" + nearlyLong); },
         "文件名称"},
        {"description",
         [&] {
             TVersionRow row = Version(1, "v", "");
             row.Remark = QString(TCatalogue::kRemarkBytes + 1, QLatin1Char('r'));
             catalogue.AddVersion(row, rec);
         },
         "说明"},
    };
    for (const Case& c : cases) {
        const QString error = ErrorOf(c.write);
        EXPECT_TRUE(error.contains(QStringLiteral("太长")))
            << c.what << ": " << error.toStdString();
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.field))) << c.what;
    }
    EXPECT_EQ(catalogue.Areas().size(), 2u);
    EXPECT_EQ(catalogue.AllFiles().size(), 3u);
    EXPECT_TRUE(catalogue.VersionNamesOfFile(1).empty());
    EXPECT_FALSE(catalogue.SetVersionDescription(1, "v", "x"));
    // The tables are usable afterwards, and a value of exactly the width is kept whole.
    const QString exact = "/" + QString(TCatalogue::kPathBytes - 1, QLatin1Char('e'));
    catalogue.AddArea(QString(TCatalogue::kNameBytes / 2, QChar(0x6587)), exact);
    EXPECT_EQ(catalogue.Areas().back().Dir, exact);
}

}  // namespace
}  // namespace filever

namespace filever {
namespace {

// A new catalogue keeps a version in well under a kilobyte (paths and descriptions take
// what their text takes, compressed); a catalogue made with fixed-width text fields opens
// and works as ever. Both refuse the same over-long texts.
TEST(CatalogueSize, ANewCatalogueIsSmallAndAnOldOneStillWorks) {
    tarn::testing::TempDir dir;
    for (const bool old : {false, true}) {
        SCOPED_TRACE(old ? "fixed-width catalogue" : "new catalogue");
        const std::string path = dir.file(old ? "old.dat" : "new.dat");
        if (old) testing::CreateOriginalCatalogue(path);
        TCatalogue catalogue;
        catalogue.Open(testing::Q(path));
        const int32_t area = catalogue.AddArea(QStringLiteral("文档"), "/home/user/store");
        const QString source = "/home/user/projects/annual-report/report-final.docx";
        const QString backup = "/home/user/store/report-final.docx-bak";
        const int32_t fileNo = catalogue.AddFile(area, source, backup);
        const auto before = QFileInfo(testing::Q(path)).size();
        constexpr int kVersions = 200;
        for (int i = 0; i < kVersions; ++i) {
            const QString name = QStringLiteral("2024-03-05-14-%1-%2")
                                     .arg(i / 30, 2, 10, QLatin1Char('0'))
                                     .arg(i % 30 * 2, 2, 10, QLatin1Char('0'));
            catalogue.Transaction([&] {
                verinfo rec;
                catalogue.AddVersion(
                    {fileNo, name, backup + "/report-final{" + name + "}.docx",
                     i % 2 ? QStringLiteral("第 %1 稿").arg(i) : QString(), "48213", ".docx"},
                    rec);
                catalogue.SetRecordedTime(fileNo, name);
            });
        }
        const double perVersion =
            double(QFileInfo(testing::Q(path)).size() - before) / double(kVersions);
        if (!old) {
            EXPECT_LE(perVersion, 1024.0) << "bytes per version";
        }

        // Everything reads back from either kind.
        const std::vector<TVersionRow> rows = catalogue.VersionsOfFile(fileNo);
        ASSERT_EQ(rows.size(), size_t(kVersions));
        EXPECT_EQ(rows[1].FilePath, backup + "/report-final{" + rows[1].VerName + "}.docx");
        EXPECT_EQ(rows[1].Remark, QStringLiteral("第 1 稿"));
        EXPECT_EQ(catalogue.SearchVersions(QStringLiteral("第 7 稿")).size(), 1u);
        EXPECT_TRUE(catalogue.CopyInUse(rows[0].FilePath));
        TFileRow file;
        ASSERT_TRUE(catalogue.FindFileIgnoreCase(source.toUpper(), file));
        EXPECT_EQ(file.SourcePath, source);
        EXPECT_EQ(file.BackupDir, backup);
        EXPECT_EQ(file.RecordedTime, rows.back().VerName);
        EXPECT_TRUE(catalogue.SetVersionDescription(fileNo, rows[0].VerName, "定稿"));
        verinfo found;
        catalogue.FindVersionByName(rows[0].VerName, found, fileNo);
        EXPECT_EQ(found.Remark, QStringLiteral("定稿"));
        EXPECT_THROW(
            catalogue.SetVersionDescription(
                fileNo, rows[0].VerName, QString(TCatalogue::kRemarkBytes + 1, QLatin1Char('r'))),
            tarn::EDatabaseError);
        EXPECT_THROW(catalogue.AddFile(area, "/" + QString(TCatalogue::kPathBytes, 'p'), backup),
                     tarn::EDatabaseError);
        EXPECT_TRUE(catalogue.RemoveVersion(rows[0]));
        EXPECT_EQ(catalogue.VersionsOfFile(fileNo).size(), size_t(kVersions - 1));
    }
}

}  // namespace
}  // namespace filever

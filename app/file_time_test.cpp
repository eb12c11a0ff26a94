#include "app/os/file_time.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <ctime>
#include <fstream>

#include "app/testing/test_file_times.h"
#include "tarndb/errors.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

using testing::SetLocalMTime;

TEST(GetFileTime, VersionNamesHaveTwoSecondSteps) {
    tarn::testing::TempDir dir;
    const std::string path = dir.file("plan.txt");
    std::ofstream(path) << "x";
    struct Case {
        int y, mo, d, h, mi, s;
        const char* expected;
    } cases[] = {
        {2024, 3, 5, 14, 7, 33, "2024-03-05-14-07-32"},  // odd seconds count as the even below
        {2024, 3, 5, 14, 7, 32, "2024-03-05-14-07-32"},
        {2024, 3, 5, 14, 7, 59, "2024-03-05-14-07-58"},
        {1980, 1, 1, 0, 0, 1, "1980-01-01-00-00-00"},  // first moment the DOS words hold
        {2000, 2, 29, 23, 59, 59, "2000-02-29-23-59-58"},
        {1975, 6, 1, 12, 0, 7, "1975-06-01-12-00-06"},  // before the DOS range: still even
    };
    for (const Case& c : cases) {
        SetLocalMTime(path, c.y, c.mo, c.d, c.h, c.mi, c.s);
        EXPECT_EQ(FormatVersionTime(GetFileTime(QString::fromStdString(path), ftkLastWrite)),
                  QString::fromLatin1(c.expected));
    }
}

TEST(GetFileTime, MissingFileIsZeroAndFormatsAsTheEpoch) {
    tarn::testing::TempDir dir;
    EXPECT_EQ(GetFileTime(QString::fromStdString(dir.file("gone.txt")), ftkLastWrite), 0.0);
    EXPECT_EQ(FormatVersionTime(0.0), QStringLiteral("1899-12-30-00-00-00"));
}

TEST(GetFileTime, DosWordsRoundTrip) {
    std::tm tm{};
    tm.tm_year = 2107 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 31;
    tm.tm_hour = 23;
    tm.tm_min = 59;
    tm.tm_sec = 59;
    TDosDateTime dos;
    ASSERT_TRUE(LocalTimeToDos(tm, dos));
    EXPECT_EQ(dos.date, (127 << 9) | (12 << 5) | 31);
    EXPECT_EQ(dos.time, (23 << 11) | (59 << 5) | 29);
    EXPECT_EQ(FormatVersionTime(DosToDateTime(dos)), QStringLiteral("2107-12-31-23-59-58"));
    tm.tm_year = 2108 - 1900;
    EXPECT_FALSE(LocalTimeToDos(tm, dos));
}

TEST(FileSize, CountsBytesAndRefusesWhatCannotBeOpened) {
    tarn::testing::TempDir dir;
    const std::string path = dir.file("data.bin");
    std::ofstream(path) << std::string(1536, 'a');
    EXPECT_EQ(FileSize(QString::fromStdString(path)), 1536);
    try {
        FileSize(QString::fromStdString(dir.file("missing")));
        FAIL() << "no error for a missing file";
    } catch (const tarn::EFOpenError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot open file \"" + dir.file("missing") + "\". ", 0), 0u)
            << e.Message();
    }
    EXPECT_THROW(FileSize(QString::fromStdString(dir.path())), tarn::EFOpenError);
}

}  // namespace
}  // namespace filever

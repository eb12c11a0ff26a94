// The tool's value codec: text in, value bytes, text out, for every type the tool reads.
#include "tools/value_text.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/text/codepage.h"
#include "tarndb/file_format.h"

namespace tarn::cli {
namespace {

struct Case {
    uint8_t type;
    int32_t declared;  // string size
    const char* in;
    const char* out;  // nullptr: refused
};

TEST(ValueText, ReadsAndShowsEveryTypeOrRefusesTheText) {
    const Case cases[] = {
        {1, 5, "abc", "abc"},
        {1, 5, "abcde", "abcde"},
        {1, 5, "abcdef", nullptr},
        {1, 4, "中文", "中文"},  // 4 bytes in GB18030
        {1, 3, "中文", nullptr},
        {1, 8, " keeps blanks ", nullptr},  // too long: blanks of strings count
        {1, 20, " keeps blanks ", " keeps blanks "},
        {2, 0, "-32768", "-32768"},
        {2, 0, "32768", nullptr},
        {2, 0, " 12 ", "12"},
        {2, 0, "", "0"},
        {4, 0, "65535", "65535"},
        {4, 0, "-1", nullptr},
        {3, 0, "+7", "7"},
        {3, 0, "2147483648", nullptr},
        {3, 0, "1.0", nullptr},
        {3, 0, "0x10", nullptr},
        {25, 0, "-9223372036854775808", "-9223372036854775808"},
        {25, 0, "9223372036854775808", nullptr},
        {5, 0, "YES", "true"},
        {5, 0, "f", "false"},
        {5, 0, "2", nullptr},
        {6, 0, "0.1", "0.1"},
        {6, 0, "-1.5e-3", "-0.0015"},
        {6, 0, "1,5", nullptr},
        {6, 0, "nan", nullptr},
        {6, 0, "1e999", nullptr},
        {7, 0, "19.99", "19.99"},
        {9, 0, "2024-02-29", "2024-02-29"},
        {9, 0, "2023-02-29", nullptr},
        {9, 0, "0001-01-01", "0001-01-01"},
        {9, 0, "24-01-01", nullptr},
        {9, 0, "", ""},
        {10, 0, "7:05", "07:05:00"},
        {10, 0, "23:59:59.5", "23:59:59.500"},
        {10, 0, "24:00", nullptr},
        {10, 0, "12:60", nullptr},
        {11, 0, "2024-01-02T03:04:05.006", "2024-01-02 03:04:05.006"},
        {11, 0, "2024-01-02", "2024-01-02 00:00:00"},
        {11, 0, "2024-01-02 ", "2024-01-02 00:00:00"},  // blanks around numbers are trimmed
        {11, 0, "2024-01-02 3", nullptr},
        {14, 0, "", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("type ") + std::to_string(c.type) + " text '" + c.in + "'");
        std::vector<uint8_t> bytes(static_cast<size_t>(format::SlotSize(c.type, c.declared)), 0xAA);
        std::string error;
        bool ok = ParseValue(c.type, c.in, bytes, error);
        if (c.out == nullptr) {
            EXPECT_FALSE(ok);
            EXPECT_FALSE(error.empty());
            continue;
        }
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(FormatValue(c.type, bytes), c.out);
    }
}

TEST(ValueText, StringsAreStoredInTheDataCodePage) {
    std::vector<uint8_t> bytes(11, 0xAA);
    std::string error;
    ASSERT_TRUE(ParseValue(1, "版本", bytes, error));
    std::string stored = Utf8ToAnsi("版本");
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), stored);
    EXPECT_TRUE(std::all_of(bytes.begin() + 4, bytes.end(), [](uint8_t b) { return b == 0; }));
}

TEST(ValueText, StoredValuesOutsideTheTextFormsStayVisible) {
    uint8_t day[4] = {0xFB, 0xFF, 0xFF, 0xFF};  // -5
    EXPECT_EQ(FormatValue(9, day), "(day -5)");
    EXPECT_EQ(FormatValue(10, day), "(ms -5)");
    uint8_t noNul[3] = {'a', 'b', 'c'};  // a slot without its NUL shows all its bytes
    EXPECT_EQ(FormatValue(1, noNul), "abc");
}

TEST(ValueText, BlobsAsTextOrHex) {
    std::string bytes, error;
    ASSERT_TRUE(ParseBlob(15, "0x00FFa0", bytes, error));
    EXPECT_EQ(bytes, std::string("\0\xff\xa0", 3));
    EXPECT_EQ(FormatBlob(15, bytes), "0x00ffa0");
    EXPECT_FALSE(ParseBlob(15, "00ff", bytes, error));
    EXPECT_FALSE(ParseBlob(15, "0x0", bytes, error));
    ASSERT_TRUE(ParseBlob(16, "备注\n第二行", bytes, error));
    EXPECT_EQ(bytes, Utf8ToAnsi("备注\n第二行"));
    EXPECT_EQ(FormatBlob(16, bytes), "备注\n第二行");
    EXPECT_FALSE(ParseBlob(16, "\xC3\x28", bytes, error));
}

}  // namespace
}  // namespace tarn::cli

// The tool's value codec: text in, value bytes, text out, for every type the tool reads.
#include "tools/value_text.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/text/codepage.h"

namespace tarn::cli {
namespace {

// The bytes a value of the type takes in a record: declared size + 1 for strings.
size_t SlotSize(TFieldType type, int32_t declared) {
    switch (type) {
        case ftString:
        case ftFixedChar:
            return static_cast<size_t>(declared) + 1;
        case ftSmallint:
        case ftWord:
        case ftBoolean:
            return 2;
        case ftInteger:
        case ftAutoInc:
        case ftDate:
        case ftTime:
            return 4;
        default:
            return 8;
    }
}

struct Case {
    TFieldType type;
    int32_t declared;  // string size
    const char* in;
    const char* out;  // nullptr: refused
};

TEST(ValueText, ReadsAndShowsEveryTypeOrRefusesTheText) {
    const Case cases[] = {
        {ftString, 5, "abc", "abc"},
        {ftString, 5, "abcde", "abcde"},
        {ftString, 5, "abcdef", nullptr},
        {ftString, 4, "中文", "中文"},  // 4 bytes in GB18030
        {ftString, 3, "中文", nullptr},
        {ftString, 8, " keeps blanks ", nullptr},  // too long: blanks of strings count
        {ftString, 20, " keeps blanks ", " keeps blanks "},
        {ftSmallint, 0, "-32768", "-32768"},
        {ftSmallint, 0, "32768", nullptr},
        {ftSmallint, 0, " 12 ", "12"},
        {ftSmallint, 0, "", "0"},
        {ftWord, 0, "65535", "65535"},
        {ftWord, 0, "-1", nullptr},
        {ftInteger, 0, "+7", "7"},
        {ftInteger, 0, "2147483648", nullptr},
        {ftInteger, 0, "1.0", nullptr},
        {ftInteger, 0, "0x10", nullptr},
        {ftLargeint, 0, "-9223372036854775808", "-9223372036854775808"},
        {ftLargeint, 0, "9223372036854775808", nullptr},
        {ftBoolean, 0, "YES", "true"},
        {ftBoolean, 0, "f", "false"},
        {ftBoolean, 0, "2", nullptr},
        {ftFloat, 0, "0.1", "0.1"},
        {ftFloat, 0, "-1.5e-3", "-0.0015"},
        {ftFloat, 0, "1,5", nullptr},
        // What dump shows of a NaN or an infinity reads back as it (dump and import
        // round-trip every stored value); other spellings are no number.
        {ftFloat, 0, "nan", "nan"},
        {ftFloat, 0, "inf", "inf"},
        {ftCurrency, 0, "-inf", "-inf"},
        {ftFloat, 0, "NaN", nullptr},
        {ftFloat, 0, "infinity", nullptr},
        {ftFloat, 0, "1e999", nullptr},
        {ftCurrency, 0, "19.99", "19.99"},
        {ftDate, 0, "2024-02-29", "2024-02-29"},
        {ftDate, 0, "2023-02-29", nullptr},
        {ftDate, 0, "0001-01-01", "0001-01-01"},
        {ftDate, 0, "24-01-01", nullptr},
        {ftDate, 0, "", ""},
        {ftTime, 0, "7:05", "07:05:00"},
        {ftTime, 0, "23:59:59.5", "23:59:59.500"},
        {ftTime, 0, "24:00", nullptr},
        {ftTime, 0, "12:60", nullptr},
        {ftDateTime, 0, "2024-01-02T03:04:05.006", "2024-01-02 03:04:05.006"},
        {ftDateTime, 0, "2024-01-02", "2024-01-02 00:00:00"},
        {ftDateTime, 0, "2024-01-02 ", "2024-01-02 00:00:00"},  // blanks around numbers are trimmed
        {ftDateTime, 0, "2024-01-02 3", nullptr},
        {ftAutoInc, 0, "", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("type ") + std::to_string(static_cast<int>(c.type)) + " text '" +
                     c.in + "'");
        std::vector<uint8_t> bytes(static_cast<size_t>(SlotSize(c.type, c.declared)), 0xAA);
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
    ASSERT_TRUE(ParseValue(ftString, "版本", bytes, error));
    std::string stored = Utf8ToAnsi("版本");
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), stored);
    EXPECT_TRUE(std::all_of(bytes.begin() + 4, bytes.end(), [](uint8_t b) { return b == 0; }));
}

TEST(ValueText, StoredValuesOutsideTheTextFormsStayVisible) {
    uint8_t day[4] = {0xFB, 0xFF, 0xFF, 0xFF};  // -5
    EXPECT_EQ(FormatValue(ftDate, day), "(day -5)");
    EXPECT_EQ(FormatValue(ftTime, day), "(ms -5)");
    uint8_t noNul[3] = {'a', 'b', 'c'};  // a slot without its NUL shows all its bytes
    EXPECT_EQ(FormatValue(ftString, noNul), "abc");
}

TEST(ValueText, BlobsAsTextOrHex) {
    std::string bytes, error;
    ASSERT_TRUE(ParseBlob(ftBlob, "0x00FFa0", bytes, error));
    EXPECT_EQ(bytes, std::string("\0\xff\xa0", 3));
    EXPECT_EQ(FormatBlob(ftBlob, bytes), "0x00ffa0");
    EXPECT_FALSE(ParseBlob(ftBlob, "00ff", bytes, error));
    EXPECT_FALSE(ParseBlob(ftBlob, "0x0", bytes, error));
    ASSERT_TRUE(ParseBlob(ftMemo, "备注\n第二行", bytes, error));
    EXPECT_EQ(bytes, Utf8ToAnsi("备注\n第二行"));
    EXPECT_EQ(FormatBlob(ftMemo, bytes), "备注\n第二行");
    EXPECT_FALSE(ParseBlob(ftMemo, "\xC3\x28", bytes, error));
}

}  // namespace
}  // namespace tarn::cli

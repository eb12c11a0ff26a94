#include "tarndb/key_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/bytes.h"

namespace tarn {
namespace {

std::vector<uint8_t> I32(int32_t v) {
    std::vector<uint8_t> b(4);
    bytes::PutI32(b, 0, v);
    return b;
}
std::vector<uint8_t> I16(uint16_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}
std::vector<uint8_t> I64(int64_t v) {
    std::vector<uint8_t> b(8);
    bytes::PutI64(b, 0, v);
    return b;
}
std::vector<uint8_t> F64(double v) {
    std::vector<uint8_t> b(8);
    bytes::PutF64(b, 0, v);
    return b;
}
std::vector<uint8_t> Str(const std::string& s, size_t slot) {
    std::vector<uint8_t> b(slot, 0);
    std::copy(s.begin(), s.end(), b.begin());
    return b;
}

TEST(KeyText, EveryFieldTypeAsTheMessageShowsIt) {
    constexpr double kDay = 86400000.0;
    struct Case {
        int type;
        std::vector<uint8_t> value;
        std::string text;
    } cases[] = {
        {1, Str("abc", 11), "abc"},
        {23, Str("fixed", 6), "fixed"},  // no NUL inside the slot: all its bytes
        {3, I32(-42), "-42"},
        {14, I32(7), "7"},
        {2, I16(0xFFFF), "-1"},
        {4, I16(0xFFFF), "65535"},
        {25, I64(1LL << 40), "1099511627776"},
        {5, I16(1), "True"},
        {5, I16(0), "False"},
        {6, F64(2.5), "2.5"},
        {6, F64(-3), "-3"},
        {6, F64(0.1 + 0.2), "0.3"},
        {6, F64(1e20), "1E20"},
        {6, F64(0.0001), "0.0001"},
        {6, F64(0.00001), "1E-5"},
        {7, F64(123456789012345.0), "123456789012345"},
        {6, F64(1234567890123456.0), "1.23456789012346E15"},
        {9, I32(693594), "12/30/1899"},
        {9, I32(0), ""},  // no valid date
        {10, I32(13 * 3600000 + 5 * 60000 + 9250), "13:05:09"},
        {10, I32(-1), ""},
        {11, F64(693594 * kDay + 3600000), "12/30/1899 01:00:00"},
        {11, F64(738000 * kDay), "7/29/2021"},  // midnight: the date alone
        {16, Str(std::string("x\0y", 3), 3), "x"},
        {12, I32(5), ""},  // a type a key cannot show
    };
    for (const Case& c : cases)
        EXPECT_EQ(KeyValueText(c.type, c.value), c.text) << "type " << c.type;
}

TEST(KeyText, FollowsTheLocaleSettings) {
    TFormatSettings fs;
    fs.ShortDateFormat = "dd/MM/yyyy";
    fs.DecimalSeparator = ',';
    fs.LongTimeFormat = "h:nn AMPM";
    fs.TimePMString = "PM";
    std::string out;
    ASSERT_TRUE(FormatDateText(693594, fs, out));
    EXPECT_EQ(out, "30/12/1899");  // '/' stands for the date separator
    fs.DateSeparator = '.';
    FormatDateText(693594, fs, out);
    EXPECT_EQ(out, "30.12.1899");
    EXPECT_EQ(GeneralFloatText(-1.25, fs), "-1,25");
    ASSERT_TRUE(FormatTimeText(13 * 3600000 + 60000, fs, out));
    EXPECT_EQ(out, "1:01 PM");
}

}  // namespace
}  // namespace tarn

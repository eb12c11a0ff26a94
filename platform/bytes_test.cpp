// The little-endian readers and writers: exact byte order, and one failure for every access
// past the end of its span, the engine's error naming what was read.
#include "platform/bytes.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

namespace tarn::bytes {
namespace {

TEST(Bytes, LittleEndianRoundTrip) {
    std::array<uint8_t, 12> raw{};
    PutI32(raw, 0, -2);
    PutU16(raw, 4, 0xBEEF);
    PutF64(std::span<uint8_t>(raw).subspan(4), 0, 1.5);
    EXPECT_EQ(raw[0], 0xFE);
    EXPECT_EQ(raw[3], 0xFF);
    EXPECT_EQ(GetI32(raw, 0), -2);
    EXPECT_EQ(GetF64(raw, 4), 1.5);
    PutI32(raw, 8, 0x01020304);
    EXPECT_EQ(raw[8], 0x04);
    EXPECT_EQ(LoadU32(raw.data() + 8), 0x01020304u);
    EXPECT_EQ(GetName(std::span<const uint8_t>(raw).subspan(8), 0, 4), "\x04\x03\x02\x01");
}

// Every checked access outside its span raises EDatabaseError (never std::out_of_range),
// naming what it accessed and where.
TEST(Bytes, AccessPastTheEndRaisesTheEngineError) {
    std::array<uint8_t, 20> raw{};
    std::span<const uint8_t> in(raw);
    std::span<uint8_t> out(raw);
    struct Case {
        const char* name;
        std::function<void()> access;
        const char* message;
    } cases[] = {
        {"I32 at the end", [&] { GetI32(in, 18, "blob descriptor"); },
         "Reading 4 bytes at offset 18 of a blob descriptor of 20 bytes goes past its end"},
        {"U16 past the end", [&] { GetU16(in, 21, "record-table item"); },
         "Reading 2 bytes at offset 21 of a record-table item of 20 bytes goes past its end"},
        {"F64 on a short span", [&] { GetF64(in.first(7), 0, "field value"); },
         "Reading 8 bytes at offset 0 of a field value of 7 bytes goes past its end"},
        {"huge offset", [&] { GetU64(in, SIZE_MAX - 2); }, nullptr},
        {"name field", [&] { GetName(in, 10, 11); }, nullptr},
        {"write", [&] { PutI32(out, 17, 1, "index-table item"); },
         "Writing 4 bytes at offset 17 of a index-table item of 20 bytes goes past its end"},
        {"name too long", [&] { PutName(out, 0, 3, "abcd"); }, nullptr},
    };
    for (const Case& c : cases) {
        try {
            c.access();
            ADD_FAILURE() << c.name << ": no error";
        } catch (const EDatabaseError& e) {
            if (c.message) {
                EXPECT_EQ(e.Message(), c.message) << c.name;
            }
        } catch (const std::exception& e) {
            ADD_FAILURE() << c.name << ": raised outside the family: " << e.what();
        }
    }
}

}  // namespace
}  // namespace tarn::bytes

#include "tarndb/stream.h"

#include <gtest/gtest.h>

#include "tarndb/errors.h"

namespace tarn {
namespace {

TEST(MemoryStream, WritesGrowAndSeeksPastEndExtendOnWrite) {
    TMemoryStream s;
    s.WriteBuffer("abc", 3);
    EXPECT_EQ(s.Size(), 3);
    s.SetPosition(5);
    s.WriteBuffer("z", 1);
    EXPECT_EQ(s.Bytes(), std::string("abc\0\0z", 6));
    s.SetPosition(1);
    char buf[2];
    s.ReadBuffer(buf, 2);
    EXPECT_EQ(std::string(buf, 2), "bc");
}

TEST(MemoryStream, ShortReadRaisesStreamReadError) {
    TMemoryStream s(std::string("ab"));
    char buf[3];
    EXPECT_EQ(s.Read(buf, 3), 2u);
    s.SetPosition(0);
    try {
        s.ReadBuffer(buf, 3);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
    }
}

TEST(MemoryStream, CopyFromWholeSourceWhenCountIsZero) {
    TMemoryStream src(std::string("hello"));
    src.SetPosition(3);
    TMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 0), 5);
    EXPECT_EQ(dst.Bytes(), "hello");
    src.SetPosition(1);
    TMemoryStream part;
    part.CopyFrom(src, 2);
    EXPECT_EQ(part.Bytes(), "el");
}

}  // namespace
}  // namespace tarn

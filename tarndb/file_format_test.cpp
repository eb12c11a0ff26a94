// The typed accessors of the small file structures: exact bytes, the bytes the engine does
// not interpret left alone, and a short span refused with the engine's error.
#include "tarndb/file_format.h"

#include <gtest/gtest.h>

#include <array>

#include "tarndb/errors.h"

namespace tarn::format {
namespace {

TEST(FileFormat, BlobDescriptorKeepsTheBytesItDoesNotInterpret) {
    std::array<uint8_t, kBlobDescriptorSize> slot;
    slot.fill(0xAB);
    TBlobDescriptor{4096, 100, BlobAreaSize(100)}.Encode(slot);
    EXPECT_EQ(slot[0], 0x00);
    EXPECT_EQ(slot[1], 0x10);  // 4096 little-endian
    EXPECT_EQ(slot[4], 100);
    EXPECT_EQ(slot[8], 128);
    for (size_t i = 12; i < slot.size(); ++i) EXPECT_EQ(slot[i], 0xAB) << i;
    TBlobDescriptor d = TBlobDescriptor::Decode(slot);
    EXPECT_EQ(d.offset, 4096);
    EXPECT_EQ(d.length, 100);
    EXPECT_EQ(d.areaSize, 128);
    EXPECT_FALSE(d.Empty());
    EXPECT_TRUE(TBlobDescriptor{}.Empty());
}

TEST(FileFormat, TableItemsRoundTripAndShortSpansAreRefused) {
    std::array<uint8_t, kRecItemSize> rec{};
    RecordTabItem{12345, true}.Encode(rec);
    EXPECT_EQ(rec[4], 1);
    RecordTabItem r = RecordTabItem::Decode(rec);
    EXPECT_EQ(r.dataOffset, 12345);
    EXPECT_TRUE(r.deleted);

    std::array<uint8_t, kIdxItemSize> idx{};
    IndexTabItem{7, -1}.Encode(idx);
    IndexTabItem x = IndexTabItem::Decode(idx);
    EXPECT_EQ(x.ownRecord, 7);
    EXPECT_EQ(x.nextRecord, -1);

    std::array<uint8_t, kBlobDescriptorSize> slot{};
    EXPECT_THROW(TBlobDescriptor::Decode(std::span<const uint8_t>(slot).first(19)), EDatabaseError);
    EXPECT_THROW(TBlobDescriptor{}.Encode(std::span<uint8_t>(slot).first(12)), EDatabaseError);
    EXPECT_THROW(RecordTabItem::Decode(std::span<const uint8_t>(rec).first(4)), EDatabaseError);
    EXPECT_THROW(IndexTabItem::Decode(std::span<const uint8_t>(idx).first(7)), EDatabaseError);
}

}  // namespace
}  // namespace tarn::format

#include "tarndb/dataset/field_types.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

// The ordinals are stored in database files: they must match the stored type codes.
TEST(FieldTypes, OrdinalsMatchStoredCodes) {
    EXPECT_EQ(0, ftUnknown);
    EXPECT_EQ(1, ftString);
    EXPECT_EQ(3, ftInteger);
    EXPECT_EQ(9, ftDate);
    EXPECT_EQ(11, ftDateTime);
    EXPECT_EQ(14, ftAutoInc);
    EXPECT_EQ(15, ftBlob);
    EXPECT_EQ(21, ftTypedBinary);
    EXPECT_EQ(23, ftFixedChar);
    EXPECT_EQ(25, ftLargeint);
    EXPECT_EQ(30, ftOraBlob);
    EXPECT_EQ(31, ftOraClob);
    EXPECT_EQ(35, ftGuid);
}

TEST(FieldTypes, CodesOutsideTheEnumerationAreRefused) {
    EXPECT_FALSE(FieldTypeFromCode(-1).has_value());
    EXPECT_FALSE(FieldTypeFromCode(36).has_value());
    EXPECT_FALSE(FieldTypeFromCode(255).has_value());
    EXPECT_EQ(ftOraClob, FieldTypeFromCode(31).value());
    EXPECT_STREQ("ftLargeint", FieldTypeName(ftLargeint));
    EXPECT_STREQ("ftUnknown", FieldTypeName(static_cast<TFieldType>(200)));
}

TEST(FieldTypes, BlobTypes) {
    for (int c = 0; c <= kLastFieldType; ++c) {
        TFieldType t = static_cast<TFieldType>(c);
        bool expected = (c >= 15 && c <= 21) || c == 30 || c == 31;
        EXPECT_EQ(expected, IsBlobType(t)) << FieldTypeName(t);
    }
}

}  // namespace
}  // namespace tarn

// The record list's position checks raise the engine's error, like every error a caller of
// the engine can see.
#include "tarndb/record_list.h"

#include <gtest/gtest.h>

#include "tarndb/errors.h"

namespace tarn {
namespace {

TEST(RecordList, PositionsOutsideTheListRaiseEDatabaseError) {
    TRecordList list;
    list.Insert(0, TRecordEntry{100, 0});
    list.Insert(1, TRecordEntry{200, 1});
    EXPECT_EQ(list.At(1).dataOffset, 200);
    EXPECT_THROW(list.At(2), EDatabaseError);
    EXPECT_THROW(list.At(-1), EDatabaseError);
    EXPECT_THROW(list.Insert(3, TRecordEntry{300, 2}), EDatabaseError);
    EXPECT_THROW(list.Erase(2), EDatabaseError);
    EXPECT_EQ(list.Count(), 2);
}

}  // namespace
}  // namespace tarn

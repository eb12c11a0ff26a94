// The generic Locate and Lookup refuse key value lists that do not fit their key fields
// with the dataset's own error, not an error of the variant array.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/memory_dataset.h"

namespace tarn {
namespace {

using testing::MemoryDataSet;

TEST(KeyValues, ValueListsThatDoNotFitTheFieldsAreDatabaseErrors) {
    MemoryDataSet ds(
        std::vector<testing::MemColumn>{{"FileNo", ftInteger}, {"Version", ftString, 20}});
    ds.Open();
    ds.AppendRecord({TVariant(1), TVariant("a")});
    ds.AppendRecord({TVariant(2), TVariant("b")});
    ds.First();
    struct Call {
        std::string fields;
        TVariant values;
    } calls[] = {
        {"FileNo", TVariant::Array({})},
        {"FileNo;Version", TVariant::Array({TVariant(2)})},
        {"FileNo;Version", TVariant(2)},
    };
    for (const Call& c : calls) {
        SCOPED_TRACE(c.fields);
        try {
            ds.Locate(c.fields, c.values, 0);
            ADD_FAILURE() << "Locate accepted the values";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), "Number of values does not match the fields");
        }
        EXPECT_THROW(ds.Lookup(c.fields, c.values, "Version"), EDatabaseError);
        EXPECT_EQ(ds.FieldByName("FileNo")->AsInteger(), 1);  // the current record stays
    }
    // One value for one field, plain or as a one-element array.
    EXPECT_TRUE(ds.Locate("FileNo", TVariant::Array({TVariant(2)}), 0));
    EXPECT_EQ(ds.Lookup("FileNo", TVariant(1), "Version").AsString(), "a");
}

}  // namespace
}  // namespace tarn

// Locate without an index on the fields a scan compares as stored (integers, dates,
// times): the same rows are found in plain and encrypted databases, in every cipher mode.
#include <gtest/gtest.h>

#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/table.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

struct Storage {
    const char* name;
    const char* cipher;
    uint8_t mode;
};

class ScanLocate : public ::testing::TestWithParam<Storage> {
protected:
    testing::TempDir dir;
    std::string path = dir.file("l.dat");
    TTarnDatabase db{nullptr, "LocateDB"};
    TTarnTable t;

    void SetUp() override {
        TDatabaseSettings settings;
        settings.encrypted = *GetParam().cipher != '\0';
        settings.encryptModule = GetParam().cipher;
        settings.encryptMode = GetParam().mode;
        settings.password = "pw";
        TTarnDBCreator::CreateDatabase(path, settings);
        TTarnDBCreator::AddTable(path, "T",
                                 {{"ID", ftAutoInc},
                                  {"S", ftSmallint},
                                  {"I", ftInteger},
                                  {"L", ftLargeint},
                                  {"D", ftDate},
                                  {"Tm", ftTime},
                                  {"Name", ftString, 12}});
        db.SetDatabaseName("locatedb");
        db.SetFileName(path);
        db.SupplyPassword("pw");
        db.Open();
        t.SetDatabaseName("locatedb");
        t.SetTableName("T");
        t.Open();
        // Row r: S = r - 3, I = (r % 4) * -1000, L = r << 40, D = 40000 + r, Tm = r hours.
        for (int r = 0; r < 8; ++r) {
            t.Append();
            t.FieldByName("S")->SetAsInteger(r - 3);
            t.FieldByName("I")->SetAsInteger((r % 4) * -1000);
            t.FieldByName("L")->SetAsLargeInt(int64_t(r) << 40);
            t.FieldByName("D")->SetAsDateTime(40000 + r);
            t.FieldByName("Tm")->SetAsDateTime(r / 24.0);
            t.FieldByName("Name")->SetAsString("n" + std::to_string(r % 2));
            t.Post();
        }
    }
    // The ID of the row Locate makes current, or 0 when it finds none.
    int Found(const std::string& fields, const TVariant& values) {
        t.First();
        return t.Locate(fields, values, 0) ? t.FieldByName("ID")->AsInteger() : 0;
    }
};

TEST_P(ScanLocate, FindsTheFirstRowWithTheValue) {
    EXPECT_EQ(Found("S", TVariant(int32_t(-3))), 1);
    EXPECT_EQ(Found("S", TVariant(int32_t(4))), 8);
    EXPECT_EQ(Found("S", TVariant(int32_t(5))), 0);
    EXPECT_EQ(Found("I", TVariant(int32_t(-2000))), 3);  // rows 2 and 6: the first
    EXPECT_EQ(Found("I", TVariant(int32_t(2000))), 0);
    EXPECT_EQ(Found("L", TVariant(int64_t(5) << 40)), 6);
    EXPECT_EQ(Found("D", TVariant::FromDateTime(40007)), 8);
    EXPECT_EQ(Found("Tm", TVariant::FromDateTime(3 / 24.0)), 4);
    EXPECT_EQ(Found("ID", TVariant(int32_t(7))), 7);
    // With a field compared by value (a string) in the key too.
    EXPECT_EQ(Found("I;Name", TVariant::Array({TVariant(int32_t(-1000)), TVariant("n1")})), 2);
    EXPECT_EQ(Found("I;Name", TVariant::Array({TVariant(int32_t(-1000)), TVariant("n0")})), 0);
    EXPECT_EQ(Found("Name;S", TVariant::Array({TVariant("n0"), TVariant(int32_t(1))})), 5);
    // A changed value is found where it now is.
    t.First();
    t.Edit();
    t.FieldByName("S")->SetAsInteger(4);
    t.Post();
    EXPECT_EQ(Found("S", TVariant(int32_t(4))), 1);
    EXPECT_EQ(Found("S", TVariant(int32_t(-3))), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Storages, ScanLocate,
    ::testing::Values(Storage{"plain", "", 0}, Storage{"blowfish0", "Blowfish", 0},
                      Storage{"twofish1", "Twofish", 1}, Storage{"gost2", "Gost", 2},
                      Storage{"blowfish3", "Blowfish", 3}, Storage{"twofish4", "Twofish", 4}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn

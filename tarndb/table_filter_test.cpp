// Filtering a table by its expression: an expression of field tests runs on the stored
// records, and must keep exactly the rows the general evaluator keeps over the record
// buffer. The general evaluator is forced by a record event that accepts every row.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/errors.h"
#include "tarndb/table.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using testing::TempDir;

constexpr const char* kPassword = "filter password";

// Rows with edge values; a row leaves the fields of its `nulls` mask unset.
struct Row {
    int32_t i;
    int16_t s;
    uint16_t w;
    int64_t l;
    double f;
    bool b;
    double dt;
    const char* name;
    const char* memo;
    unsigned nulls;
};
enum : unsigned { kNullI = 1, kNullF = 2, kNullName = 4, kNullDt = 8, kNullB = 16, kNullAll = 31 };

const Row kRows[] = {
    {3, -1, 65535, 1LL << 40, 0.5, true, 44197.25, "apple", "memo a", 0},
    {-7, 32767, 0, -1, -0.0, false, 44197.0, "Apple", "", 0},
    {0, 0, 1, 0, std::nan(""), true, 44228.999, "apricot*", "xx", 0},
    {INT32_MAX, -32768, 7, INT64_MIN, 1e300, false, 0.0, "b", "apple", 0},
    {INT32_MIN, 5, 8, INT64_MAX, -1e-300, true, -1.5, "", "a", 0},
    {3, 3, 3, 3, 3.0, false, 44200.5, "a", "b", 0},
    {0, 0, 0, 0, 0, false, 0, nullptr, nullptr, kNullAll},
    {42, 1, 2, 3, 2.5, true, 45000.75, "appl", nullptr, kNullF | kNullDt},
    {5, 2, 2, 5, 5.0, false, 44197.0000001, "APPLE", "A", kNullI | kNullB},
    {9, 9, 9, 9, 9.0, true, 44198.0, "\xb0\xa1pple", "\xb0\xa1", 0},  // a double-byte letter
    {10, 10, 10, 10, 10.0, false, 44199.0, "a_b%c", "%", 0},
    {11, 11, 11, 11, 11.0, true, 44199.0, " apple", " ", 0},
};

const char* const kExpressions[] = {
    "i = 3",
    "i <> 3",
    "i > 0",
    "i >= -7",
    "i < 0",
    "i <= 0",
    "i = 3.0",
    "i > 2.5",
    "s < 0",
    "w > 1",
    "w = 65535",
    "l > 0",
    "l = 3",
    "l < -1",
    "f > 0",
    "f = 0",
    "f <= 2.5",
    "f <> 3",
    "f > 2",
    "b = True",
    "b <> False",
    "dt >= '1/1/2021'",
    "(dt >= '1/1/2021') AND (dt < '2/1/2021')",
    "dt = '1/1/2021'",
    "dt > 0",
    "name = 'apple'",
    "name <> 'apple'",
    "name = 'APPLE'",
    "name > 'apple'",
    "name < 'b'",
    "name = ''",
    "name <> ''",
    "name = 'ap*'",
    "name = 'apricot*'",
    "name = '*'",
    "name LIKE 'a%'",
    "name LIKE 'A%'",
    "name LIKE 'app%'",
    "name LIKE 'apple'",
    "name LIKE 'a_p%'",
    "name LIKE '%pp%'",
    "name LIKE 'a%%'",
    "name LIKE '%'",
    "name LIKE ''",
    "name LIKE 'a_b%'",
    "name LIKE ' %'",
    "name LIKE '\xb0\xa1%'",
    "memo = 'apple'",
    "memo LIKE 'a%'",
    "NOT (i = 3)",
    "(i = 3) OR (name LIKE 'b%')",
    "(i > 0) AND (f > 1) AND NOT (name = 'appl')",
    "((i = 0) OR (i = 3)) AND (b = True)",
    "i + 1 = 4",
    "UPPER(name) = 'APPLE'",
    "i IN (3, 9, 42)",
    "3 = i",
    "i = s",
    "True",
    "b",
};

class TableFilter : public ::testing::TestWithParam<bool> {
protected:
    TempDir dir;
    std::string path = dir.file("f.dat");
    TTarnDatabase db{nullptr, "filterdb"};

    void SetUp() override {
        TDatabaseSettings settings;
        if (GetParam()) {
            settings.encrypted = true;
            settings.encryptModule = "Blowfish";
            settings.password = kPassword;
        }
        TTarnDBCreator::CreateDatabase(path, settings);
        TTarnDBCreator::AddTable(path, "T",
                                 {{"id", ftAutoInc},
                                  {"i", ftInteger},
                                  {"s", ftSmallint},
                                  {"w", ftWord},
                                  {"l", ftLargeint},
                                  {"f", ftFloat},
                                  {"b", ftBoolean},
                                  {"dt", ftDateTime},
                                  {"name", ftString, 20},
                                  {"memo", ftMemo}});
        db.SetDatabaseName("filterdb");
        db.SetFileName(path);
        db.SetKeepConnection(true);
        if (GetParam()) db.SupplyPassword(kPassword);
        db.Open();
        TTarnTable t;
        Open(t);
        for (const Row& r : kRows) {
            t.Append();
            if (!(r.nulls & kNullI)) t.FieldByName("i")->SetAsInteger(r.i);
            t.FieldByName("s")->SetAsInteger(r.s);
            t.FieldByName("w")->SetAsInteger(r.w);
            t.FieldByName("l")->SetAsLargeInt(r.l);
            if (!(r.nulls & kNullF)) t.FieldByName("f")->SetAsFloat(r.f);
            if (!(r.nulls & kNullB)) t.FieldByName("b")->SetAsBoolean(r.b);
            if (!(r.nulls & kNullDt)) t.FieldByName("dt")->SetAsDateTime(r.dt);
            if (!(r.nulls & kNullName)) t.FieldByName("name")->SetAsString(r.name);
            if (r.memo) t.FieldByName("memo")->SetAsString(r.memo);
            t.Post();
        }
    }

    void Open(TTarnTable& t) {
        t.SetDatabaseName("filterdb");
        t.SetTableName("T");
        t.Open();
    }

    // The ids the filter keeps, or the error it raises.
    static std::string Kept(TTarnTable& t, const std::string& filter, TFilterOptions options) {
        std::string out;
        try {
            t.SetFiltered(false);
            t.SetFilterOptions(options);
            t.SetFilter(filter);
            t.SetFiltered(true);
            for (t.First(); !t.Eof(); t.Next())
                out += std::to_string(t.FieldByName("id")->AsInteger()) + " ";
            out += "(" + std::to_string(t.RecordCount()) + ")";
        } catch (const Exception& e) {
            out = "error: " + e.Message();
        }
        return out;
    }
};

TEST_P(TableFilter, StoredRecordTestsKeepTheRowsOfTheGeneralEvaluator) {
    TTarnTable direct, general;
    Open(direct);
    Open(general);
    general.OnFilterRecord = [](TDataSet&, bool& accept) { accept = true; };
    int keptSome = 0;
    for (TFilterOptions options : {0u, unsigned{foCaseInsensitive}, unsigned{foNoPartialCompare},
                                   unsigned{foCaseInsensitive | foNoPartialCompare}}) {
        for (const char* expression : kExpressions) {
            SCOPED_TRACE(std::string(expression) + " options " + std::to_string(options));
            std::string expected = Kept(general, expression, options);
            EXPECT_EQ(Kept(direct, expression, options), expected);
            if (expected.find("(0)") == std::string::npos &&
                expected.find("(12)") == std::string::npos)
                ++keptSome;
        }
    }
    // The table of cases is only worth something while most of them split the rows.
    EXPECT_GT(keptSome, 100);
}

TEST_P(TableFilter, KnownAnswers) {
    TTarnTable t;
    Open(t);
    EXPECT_EQ(Kept(t, "i = 3", 0), "1 6 (2)");
    EXPECT_EQ(Kept(t, "name LIKE 'a%'", 0), "1 3 6 8 11 (5)");
    EXPECT_EQ(Kept(t, "name LIKE 'a%'", foCaseInsensitive), "1 2 3 6 8 9 11 (7)");
    EXPECT_EQ(Kept(t, "name = 'ap*'", 0), "1 3 8 (3)");
    EXPECT_EQ(Kept(t, "name = 'ap*'", foNoPartialCompare), "(0)");
    EXPECT_EQ(Kept(t, "(dt >= '1/1/2021') AND (dt < '2/1/2021')", 0), "1 2 6 9 10 11 12 (7)");
}

INSTANTIATE_TEST_SUITE_P(PlainAndEncrypted, TableFilter, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Encrypted" : "Plain"; });

}  // namespace
}  // namespace tarn

// Locate and Lookup through indexes against the same search by a scan: partial keys over
// text whose characters take one, two or four bytes, case-blind keys next to full-width
// forms, duplicates outside the view, and key value lists of the wrong length.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/table.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using testing::TempDir;

// GB18030 spellings.
const std::string kAUml = "\x81\x30\x87\x32";  // Ä (four bytes)
const std::string kaUml = "\x81\x30\x8A\x31";  // ä (four bytes)
const std::string kZhong = "\xD6\xD0";         // 中
const std::string kWide2 = "\xA3\xB2";         // ２ (full-width digit two)
const std::string kWideA = "\xA3\xC1";         // Ａ (full-width capital A)
const std::string kWidea = "\xA3\xE1";         // ａ (full-width small a)

// Rows (N, S), appended in this order: each full-width form before its ASCII twin, so
// that a case-insensitive index, which orders by letters only, holds it first.
const std::vector<std::pair<int, std::string>> kRows = {
    {1, "ab"},         {1, kaUml + "c"}, {1, kaUml + "d"},
    {1, "a" + kZhong}, {1, "a" + kAUml}, {1, "a" + kAUml + "b"},
    {1, kWide2},       {1, "2"},         {1, kWideA + "x"},
    {1, "Ax"},         {2, "ab"},        {2, kWidea + "y"},
};

// The same rows twice: in table "I" with case-sensitive and case-insensitive indexes on S
// and on N;S, in table "P" without an index (every Locate scans it).
class KeyLocate : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("k.dat");
    TTarnTable indexed, plain;

    void SetUp() override {
        TTarnDBCreator::CreateDatabase(path);
        std::vector<TFieldDefinition> fields = {
            {"ID", ftAutoInc}, {"N", ftInteger}, {"S", ftString, 20}};
        TTarnDBCreator::AddTable(path, "I", fields,
                                 {{"ByS", {}, {"S"}},
                                  {"BySNoCase", tiCaseInsensitive, {"S"}},
                                  {"ByNS", {}, {"N", "S"}},
                                  {"ByNSNoCase", tiCaseInsensitive, {"N", "S"}}});
        TTarnDBCreator::AddTable(path, "P", fields);
        for (TTarnTable* t : {&indexed, &plain}) {
            t->SetDatabaseName(path);
            t->SetTableName(t == &indexed ? "I" : "P");
            t->Open();
            for (const auto& [n, s] : kRows) {
                t->Append();
                t->FieldByName("N")->SetAsInteger(n);
                t->FieldByName("S")->SetAsString(s);
                t->Post();
            }
        }
    }
    // S of the row Locate makes current, or "-" when it finds none.
    static std::string Found(TTarnTable& t, const std::string& fields, const TVariant& key,
                             TLocateOptions options) {
        t.First();
        return t.Locate(fields, key, options) ? t.FieldByName("S")->AsString() : "-";
    }
};

TEST_F(KeyLocate, IndexSearchFindsTheRowsAScanFinds) {
    constexpr TLocateOptions CI = loCaseInsensitive, P = loPartialKey;
    struct Case {
        std::string key;
        TLocateOptions options;
        std::set<std::string> rows;  // any of these may be found; empty: none
    } cases[] = {
        {"a" + kZhong, CI | P, {"a" + kZhong}},
        {"a" + kZhong, CI, {"a" + kZhong}},
        {"a" + kZhong, P, {"a" + kZhong}},
        {"a", P, {"ab", "a" + kZhong, "a" + kAUml, "a" + kAUml + "b"}},
        {"A", CI | P, {"ab", "a" + kZhong, "a" + kAUml, "a" + kAUml + "b", "Ax"}},
        {kaUml, P, {kaUml + "c", kaUml + "d"}},
        {"a" + kAUml, CI | P, {"a" + kAUml, "a" + kAUml + "b"}},
        {"ab", P, {"ab"}},
        {"x", P, {}},
        // Case-blind, not width-blind.
        {"2", CI, {"2"}},
        {"2", CI | P, {"2"}},
        {kWide2, CI, {kWide2}},
        {"ax", CI, {"Ax"}},
        {kWidea + "X", CI, {kWideA + "x"}},
        {kWidea, CI | P, {kWideA + "x", kWidea + "y"}},
        {"a", CI | P, {"ab", "a" + kZhong, "a" + kAUml, "a" + kAUml + "b", "Ax"}},
        // Whole ASCII keys, told from most rows by their bytes.
        {"ab", 0, {"ab"}},
        {"AB", 0, {}},
        {"AB", CI, {"ab"}},
        {"Ax", 0, {"Ax"}},
        {"ax", 0, {}},
        {"2", 0, {"2"}},
        {"a", 0, {}},
        {"a", CI, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("key " + c.key + " options " + std::to_string(c.options));
        for (TTarnTable* t : {&indexed, &plain}) {
            std::string got = Found(*t, "S", TVariant(c.key), c.options);
            if (c.rows.empty())
                EXPECT_EQ(got, "-") << t->TableName();
            else
                EXPECT_TRUE(c.rows.count(got)) << t->TableName() << " found " << got;
        }
    }
}

// Every prefix of every stored value, cut at every byte, with every option set: the
// indexed table finds a row exactly when the scan does.
TEST_F(KeyLocate, EveryPrefixIsFoundByIndexWhenAScanFindsIt) {
    std::set<std::string> keys;
    for (const auto& row : kRows)
        for (size_t n = 1; n <= row.second.size(); ++n) keys.insert(row.second.substr(0, n));
    for (const std::string& key : keys) {
        for (TLocateOptions options : {0u, 1u, 2u, 3u}) {
            SCOPED_TRACE("key " + key + " options " + std::to_string(options));
            bool byScan = Found(plain, "S", TVariant(key), options) != "-";
            EXPECT_EQ(Found(indexed, "S", TVariant(key), options) != "-", byScan);
            // The same through the two-field indexes, with the number in front.
            TVariant both = TVariant::Array({TVariant(int32_t(1)), TVariant(key)});
            byScan = Found(plain, "N;S", both, options) != "-";
            EXPECT_EQ(Found(indexed, "N;S", both, options) != "-", byScan);
        }
    }
}

TEST_F(KeyLocate, TwoFieldKeysWithAPartialText) {
    auto both = [](int n, const std::string& s) {
        return TVariant::Array({TVariant(int32_t(n)), TVariant(s)});
    };
    EXPECT_EQ(Found(indexed, "N;S", both(2, "a"), loPartialKey), "ab");
    EXPECT_EQ(Found(indexed, "N;S", both(2, kaUml), loPartialKey), "-");
    EXPECT_EQ(Found(indexed, "N;S", both(1, kaUml), loPartialKey).substr(0, 4), kaUml);
    EXPECT_EQ(Found(indexed, "N;S", both(2, kWideA), loPartialKey | loCaseInsensitive),
              kWidea + "y");
    EXPECT_EQ(Found(indexed, "N;S", both(2, "A"), loPartialKey | loCaseInsensitive), "ab");
}

// A key held by several rows: the row in view is found, whichever the bisection meets.
TEST_F(KeyLocate, DuplicateKeyOutsideTheViewDoesNotHideOneInView) {
    for (int n : {1, 2}) {
        SCOPED_TRACE(n);
        indexed.SetFilter("N = " + std::to_string(n));
        indexed.SetFiltered(true);
        EXPECT_TRUE(indexed.Locate("S", TVariant("ab"), 0));
        EXPECT_EQ(indexed.FieldByName("N")->AsInteger(), n);
        EXPECT_TRUE(indexed.Locate("S", TVariant("AB"), loCaseInsensitive));
        EXPECT_EQ(indexed.FieldByName("N")->AsInteger(), n);
        EXPECT_EQ(indexed.Lookup("S", TVariant("ab"), "N").AsInt64(), n);
    }
    indexed.SetFilter("N = 3");
    EXPECT_FALSE(indexed.Locate("S", TVariant("ab"), 0));
}

// Fewer key values than key fields: the dataset's own error, in browse state after it.
TEST_F(KeyLocate, TooFewKeyValuesAreADatabaseError) {
    for (TTarnTable* t : {&indexed, &plain}) {
        SCOPED_TRACE(t->TableName());
        t->First();
        struct Call {
            std::string fields;
            TVariant values;
        } calls[] = {
            {"N;S", TVariant::Array({TVariant(int32_t(1))})},
            {"S", TVariant::Array({})},
            {"ID;N;S", TVariant::Array({TVariant(int32_t(1)), TVariant(int32_t(1))})},
        };
        for (const Call& c : calls) {
            SCOPED_TRACE(c.fields);
            try {
                t->Locate(c.fields, c.values, 0);
                ADD_FAILURE() << "Locate accepted the values";
            } catch (const EDatabaseError& e) {
                EXPECT_NE(std::string(e.what()).find("Number of values does not match"),
                          std::string::npos)
                    << e.what();
            }
            EXPECT_THROW(t->Lookup(c.fields, c.values, "ID"), EDatabaseError);
            EXPECT_EQ(t->State(), dsBrowse);
            EXPECT_EQ(t->FieldByName("ID")->AsInteger(), 1);  // still on the first row
        }
    }
}

}  // namespace
}  // namespace tarn

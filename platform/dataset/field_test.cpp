#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tarndb/dataset/index_defs.h"
#include "tests/support/memory_dataset.h"

namespace tarn {
namespace {

using testing::MemoryDataSet;

std::unique_ptr<MemoryDataSet> AllTypes() {
    auto ds = std::make_unique<MemoryDataSet>(std::vector<testing::MemColumn>{
        {"S", ftString, 8},
        {"I", ftInteger},
        {"SI", ftSmallint},
        {"W", ftWord},
        {"L", ftLargeint},
        {"F", ftFloat},
        {"C", ftCurrency},
        {"B", ftBoolean},
        {"D", ftDate},
        {"T", ftTime},
        {"DT", ftDateTime},
        {"M", ftMemo},
        {"A", ftAutoInc},
    });
    ds->Open();
    ds->Append();
    return ds;
}

struct Conversion {
    const char* field;
    TVariant input;
    const char* text;  // AsString afterwards
};

TEST(Fields, ValuesConvertOnTheWayInAndOut) {
    const Conversion cases[] = {
        {"I", TVariant("42"), "42"},
        {"I", TVariant(" -7 "), "-7"},
        {"I", TVariant("$1F"), "31"},
        {"I", TVariant(3.5), "4"},  // half to even
        {"I", TVariant(2.5), "2"},
        {"I", TVariant(true), "1"},
        {"SI", TVariant(-32768), "-32768"},
        {"W", TVariant(65535), "65535"},
        {"A", TVariant(12), "12"},
        {"L", TVariant("9007199254740993"), "9007199254740993"},
        {"L", TVariant(int64_t{-5000000000}), "-5000000000"},
        {"F", TVariant("1.5E-5"), "1.5E-5"},
        {"F", TVariant(0.1), "0.1"},
        {"F", TVariant(1e20), "1E20"},
        {"F", TVariant(7), "7"},
        {"C", TVariant(12.25), "12.25"},
        {"B", TVariant("t"), "True"},
        {"B", TVariant("FALSE"), "False"},
        {"B", TVariant(0), "False"},
        {"S", TVariant(123), "123"},
        {"S", TVariant("much too long"), "much too"},
        // Cut to 8 bytes without splitting the double-byte character at bytes 8-9.
        {"S", TVariant("abc\xB0\xA1\xB0\xA1\xB0\xA1"), "abc\xB0\xA1\xB0\xA1"},
        {"S", TVariant(2.5), "2.5"},
        {"D", TVariant("3/4/2024"), "3/4/2024"},
        {"D", TVariant("2024-03-04"), "3/4/2024"},
        {"D", TVariant::FromDateTime(EncodeDate(2024, 3, 4) + EncodeTime(13, 0, 0, 0)), "3/4/2024"},
        {"T", TVariant("13:05:09"), "13:05:09"},
        {"T", TVariant("1:05 PM"), "13:05:00"},
        {"DT", TVariant("2024-03-04 13:05"), "3/4/2024 13:05:00"},
        {"DT", TVariant("3/4/2024"), "3/4/2024"},
        {"DT", TVariant(1.5), "12/31/1899 12:00:00"},
        {"DT", TVariant(-1.25), "12/29/1899 06:00:00"},
        {"M", TVariant("memo text"), "memo text"},
    };
    auto ds = AllTypes();
    for (const Conversion& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " <- " + c.input.AsString());
        TField* f = ds->FieldByName(c.field);
        f->SetAsVariant(c.input);
        EXPECT_EQ(c.text, f->AsString());
        EXPECT_FALSE(f->IsNull());
    }
}

TEST(Fields, TypedAccessors) {
    auto ds = AllTypes();
    ds->FieldByName("I")->SetAsInteger(-12);
    EXPECT_EQ(-12.0, ds->FieldByName("I")->AsFloat());
    EXPECT_EQ(TVariant(-12), ds->FieldByName("I")->AsVariant());
    EXPECT_EQ(TVariant::Kind::Int32, ds->FieldByName("I")->AsVariant().kind());
    ds->FieldByName("L")->SetAsLargeInt(int64_t{1} << 40);
    EXPECT_EQ(TVariant::Kind::Int64, ds->FieldByName("L")->AsVariant().kind());
    EXPECT_EQ(int64_t{1} << 40, ds->FieldByName("L")->AsLargeInt());
    ds->FieldByName("F")->SetAsString("2.75");
    EXPECT_EQ(2.75, ds->FieldByName("F")->AsFloat());
    EXPECT_EQ(3, ds->FieldByName("F")->AsInteger());
    ds->FieldByName("B")->SetAsBoolean(true);
    EXPECT_TRUE(ds->FieldByName("B")->AsBoolean());
    EXPECT_EQ(1, ds->FieldByName("B")->AsInteger());
    TDateTime when = EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 0);
    ds->FieldByName("DT")->SetAsDateTime(when);
    EXPECT_DOUBLE_EQ(when, ds->FieldByName("DT")->AsDateTime());
    EXPECT_EQ(TVariant::Kind::DateTime, ds->FieldByName("DT")->AsVariant().kind());
    // A date field keeps the day, a time field the time of day.
    ds->FieldByName("D")->SetAsDateTime(when);
    EXPECT_DOUBLE_EQ(EncodeDate(2001, 2, 3), ds->FieldByName("D")->AsDateTime());
    ds->FieldByName("T")->SetAsDateTime(when);
    EXPECT_DOUBLE_EQ(EncodeTime(4, 5, 6, 0), ds->FieldByName("T")->AsDateTime());
    ds->FieldByName("S")->SetAsString("12");
    EXPECT_EQ(12, ds->FieldByName("S")->AsInteger());
    // Empty text makes a non-string field null (this dataset cannot hold null in data
    // fields, so the value stays).
    ds->FieldByName("I")->SetAsString("");
    EXPECT_EQ(-12, ds->FieldByName("I")->AsInteger());
}

struct Failure {
    const char* field;
    TVariant input;
    const char* message;
};

TEST(Fields, ValuesThatDoNotConvertRaiseAndChangeNothing) {
    const Failure cases[] = {
        {"I", TVariant("abc"), "'abc' is not a valid integer value for field 'I'"},
        {"I", TVariant("1.5"), "'1.5' is not a valid integer value for field 'I'"},
        {"I", TVariant(3e10),
         "30000000000 is not a valid value for field 'I'. The allowed range is -2147483648 to "
         "2147483647"},
        {"SI", TVariant(40000),
         "40000 is not a valid value for field 'SI'. The allowed range is -32768 to 32767"},
        {"W", TVariant(-1),
         "-1 is not a valid value for field 'W'. The allowed range is 0 to 65535"},
        {"L", TVariant(1e30),
         "Overflow while converting variant of type (Double) into type (Int64) for field 'L'"},
        {"F", TVariant("1,5"), "'1,5' is not a valid floating point value for field 'F'"},
        {"F", TVariant("inf"), "'inf' is not a valid floating point value for field 'F'"},
        {"B", TVariant("maybe"), "'maybe' is not a valid boolean value for field 'B'"},
        {"D", TVariant("13/31/2024"), "'13/31/2024' is not a valid date and time for field 'D'"},
        {"D", TVariant(1e7), "Invalid date and time value for field 'D'"},
        {"DT", TVariant(true),
         "Could not convert variant of type (Boolean) into type (Date) for field 'DT'"},
        {"I", TVariant::Array({TVariant(1)}),
         "Could not convert variant of type (Array) into type (Int64) for field 'I'"},
    };
    auto ds = AllTypes();
    for (const Failure& c : cases) {
        SCOPED_TRACE(c.field);
        TField* f = ds->FieldByName(c.field);
        std::string before = f->AsString();
        try {
            f->SetAsVariant(c.input);
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const EConvertError& e) {
            EXPECT_EQ(c.message, e.Message());
        }
        EXPECT_EQ(before, f->AsString());
    }
    ds->FieldByName("S")->SetAsString("abc");
    try {
        ds->FieldByName("S")->AsInteger();
        FAIL() << "text read as integer";
    } catch (const EConvertError& e) {
        EXPECT_EQ("'abc' is not a valid integer value for field 'S'", e.Message());
    }
}

TEST(Fields, FieldByNameNamesTheDataSet) {
    auto ds = AllTypes();
    EXPECT_EQ(ds->FieldByName("dt"), ds->FindField("DT"));  // letter case does not matter
    EXPECT_EQ(nullptr, ds->FindField("nope"));
    try {
        ds->FieldByName("nope");
        FAIL() << "unknown field";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("Field 'nope' not found", e.Message());
    }
    ds->SetName("Tbfilever");
    try {
        ds->FieldByName("版本");
        FAIL() << "unknown field";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("Tbfilever: Field '版本' not found", e.Message());
    }
    EXPECT_THROW(ds->Fields(99), EDatabaseError);
    EXPECT_EQ(2, ds->FieldByName("SI")->Index());
    EXPECT_EQ(3, ds->FieldByName("SI")->FieldNo());
    EXPECT_EQ(ds->FieldByName("W"), ds->FieldByNumber(4));
    auto list = ds->GetFieldList("I; S");
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ("S", list[1]->FieldName());
}

TEST(Fields, MemoValuesTravelThroughBlobStreams) {
    auto ds = AllTypes();
    auto* memo = static_cast<TBlobField*>(ds->FieldByName("M"));
    EXPECT_TRUE(memo->IsNull());
    memo->SetAsString("first");
    EXPECT_TRUE(memo->Modified());
    EXPECT_EQ(5, memo->BlobSize());
    ds->Post();
    EXPECT_FALSE(memo->Modified());
    EXPECT_EQ("first", memo->AsString());
    EXPECT_THROW(memo->SetAsString("browse"), EDatabaseError);
    ds->Edit();
    TMemoryStream source(std::string("from a stream"));
    memo->LoadFromStream(source);
    ds->Post();
    TMemoryStream out;
    memo->SaveToStream(out);
    EXPECT_EQ("from a stream", out.Bytes());
    ds->Edit();
    memo->Clear();
    EXPECT_TRUE(memo->IsNull());
    ds->Cancel();
    EXPECT_EQ("from a stream", memo->AsString());
}

// Persistent fields: data fields bound by name, calculated fields computed per record.
class CalcFields : public ::testing::Test {
protected:
    void SetUp() override {
        ds.AddField<TIntegerField>("ID");
        ds.AddField<TStringField>("Name", 10);
        twice = ds.AddField<TIntegerField>("Twice");
        twice->SetFieldKind(fkCalculated);
        label = ds.AddField<TStringField>("Label", 20);
        label->SetFieldKind(fkCalculated);
        ds.OnCalcFields = [this](TDataSet& d) {
            ++calcRuns;
            int id = d.FieldByName("ID")->AsInteger();
            if (id > 1) twice->SetAsInteger(id * 2);
        };
        ds.Open();
        ds.AppendRecord({TVariant(1), TVariant("Ann")});
        ds.AppendRecord({TVariant(2), TVariant("Bob")});
        ds.First();
    }

    MemoryDataSet ds{{{"ID", ftInteger}, {"Name", ftString, 10}}};
    TField* twice = nullptr;
    TField* label = nullptr;
    int calcRuns = 0;
};

TEST_F(CalcFields, AreNullUntilSet) {
    EXPECT_EQ(-1, twice->FieldNo());
    EXPECT_EQ(5 + 22, ds.CalcFieldsSize());  // one flag byte + DataSize each
    EXPECT_TRUE(twice->IsNull());            // record 1: the handler sets nothing
    EXPECT_TRUE(label->IsNull());
    EXPECT_EQ(TVariant(), twice->AsVariant());
    ds.Next();
    EXPECT_FALSE(twice->IsNull());
    EXPECT_EQ(4, twice->AsInteger());
    EXPECT_TRUE(label->IsNull());
    ds.Prior();  // a value of another record does not leak into this one
    EXPECT_TRUE(twice->IsNull());
}

TEST_F(CalcFields, FollowEditsAndStartNullOnNewRecords) {
    ds.Next();
    ds.Edit();
    ds.FieldByName("ID")->SetAsInteger(21);
    EXPECT_EQ(42, twice->AsInteger());  // recomputed on the field change
    ds.SetAutoCalcFields(false);
    ds.FieldByName("ID")->SetAsInteger(22);
    EXPECT_EQ(42, twice->AsInteger());
    ds.Cancel();
    ds.Append();
    EXPECT_TRUE(twice->IsNull());
    ds.Cancel();
    EXPECT_GT(calcRuns, 0);
}

TEST(FieldBinding, PersistentFieldsMustMatchTheDefs) {
    MemoryDataSet ds({{"ID", ftInteger}, {"Name", ftString, 10}});
    ds.SetName("T");
    ds.AddField<TIntegerField>("Name");
    try {
        ds.Open();
        FAIL() << "mismatched type";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("T: Type mismatch for field 'Name', expecting: Integer actual: String",
                  e.Message());
    }
    EXPECT_FALSE(ds.Active());

    MemoryDataSet other({{"ID", ftInteger}});
    other.AddField<TStringField>("Missing", 5);
    EXPECT_THROW(other.Open(), EDatabaseError);
    EXPECT_FALSE(other.Active());
    EXPECT_THROW(other.AddField<TStringField>("Missing", 5), EDatabaseError);  // duplicate

    // A persistent string field takes its column's size; default fields come and go with
    // the open dataset.
    MemoryDataSet sized({{"Name", ftString, 30}});
    TField* name = sized.AddField<TStringField>("Name", 5);
    sized.Open();
    EXPECT_EQ(30, name->Size());
    EXPECT_FALSE(sized.DefaultFields());
    MemoryDataSet plain({{"Name", ftString, 30}});
    plain.Open();
    EXPECT_TRUE(plain.DefaultFields());
    EXPECT_EQ(1, plain.FieldCount());
    plain.Close();
    EXPECT_EQ(0, plain.FieldCount());
    EXPECT_THROW(name->SetSize(3), EDatabaseError);  // dataset open
}

TEST(FieldBinding, LookupFieldsReadTheOtherDataSet) {
    MemoryDataSet areas({{"AreaNo", ftInteger}, {"AreaName", ftString, 10}});
    areas.Open();
    areas.AppendRecord({TVariant(1), TVariant("Docs")});
    areas.AppendRecord({TVariant(2), TVariant("Photos")});

    MemoryDataSet files({{"File", ftString, 10}, {"Area", ftInteger}});
    files.AddField<TStringField>("File", 10);
    files.AddField<TIntegerField>("Area");
    TField* areaName = files.AddField<TStringField>("AreaName", 10);
    areaName->SetFieldKind(fkLookup);
    areaName->SetLookupDataSet(&areas);
    areaName->SetKeyFields("Area");
    areaName->SetLookupKeyFields("AreaNo");
    areaName->SetLookupResultField("AreaName");
    files.Open();
    files.AppendRecord({TVariant("a.txt"), TVariant(2)});
    files.AppendRecord({TVariant("b.txt"), TVariant(9)});
    files.First();
    EXPECT_EQ("Photos", areaName->AsString());
    files.Next();
    EXPECT_TRUE(areaName->IsNull());
    // The lookup did not move the other dataset.
    EXPECT_EQ(2, areas.RecNo());
}

TEST(FieldDefs, NamesAndPositions) {
    TFieldDefs defs;
    defs.Add("Id", ftAutoInc);
    defs.Add("名称", ftString, 40);
    EXPECT_EQ(2, defs.Count());
    EXPECT_EQ(2, defs.Find("名称").FieldNo());
    EXPECT_EQ(0, defs.IndexOf("ID"));
    EXPECT_EQ(-1, defs.IndexOf("nope"));
    EXPECT_THROW(defs.Add("id", ftInteger), EDatabaseError);
    EXPECT_THROW(defs[2], EDatabaseError);
    auto f = defs[1].CreateField();
    EXPECT_EQ(41, f->DataSize());
    EXPECT_THROW(MakeField(ftBCD, "Money", 0), EDatabaseError);

    TIndexDefs indexes;
    indexes.Add("ByName", "名称", ixUnique | ixCaseInsensitive);
    indexes.Add("Primary", "Id", ixPrimary);
    EXPECT_EQ(1, indexes.IndexOf("primary"));
    EXPECT_TRUE(indexes.Find("BYNAME").Has(ixCaseInsensitive));
    EXPECT_FALSE(indexes.Find("BYNAME").Has(ixPrimary));
    try {
        indexes.Find("");
        FAIL() << "empty name";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ("Index '' not found", e.Message());
    }
}

}  // namespace
}  // namespace tarn

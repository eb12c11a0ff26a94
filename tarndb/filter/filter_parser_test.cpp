#include "tarndb/filter/filter_parser.h"

#include <gtest/gtest.h>

#include "platform/text/format_settings.h"
#include "tarndb/errors.h"
#include "tarndb/filter/field_types.h"
#include "tarndb/filter/testing/fake_data_source.h"
#include "tarndb/filter/testing/tree_shape.h"

namespace tarn {
namespace {

using testing::FakeDataSource;
using testing::Shape;

const std::string kAreaNo = "\xB4\xE6\xB4\xA2\xC7\xF8\xD0\xF2\xBA\xC5";  // 存储区序号

class FilterParse : public ::testing::Test {
protected:
    FakeDataSource ds = FakeDataSource::EveryType();
    TFilterParser parser{&ds};

    std::string ShapeOf(const std::string& text) {
        parser.Parse(text);
        return Shape(parser.Root());
    }
    // The message of the error Parse raises, prefixed with its class.
    std::string ErrorOf(const std::string& text) {
        try {
            parser.Parse(text);
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(parser.Root(), nullptr) << "a tree survived a failed parse of " << text;
            return "db: " + e.Message();
        } catch (const EConvertError& e) {
            EXPECT_EQ(parser.Root(), nullptr);
            return "convert: " + e.Message();
        }
        return "parsed: " + Shape(parser.Root());
    }
};

TEST_F(FilterParse, TreeShapes) {
    struct Case {
        std::string text, shape;
    };
    const Case cases[] = {
        {kAreaNo + "=3", "(= " + kAreaNo + " 3)"},
        {"[Order Date] >= '1/2/2020'", "(>= Order Date date(2020-1-2))"},
        {"Name = 'O''Brien'", "(= Name 'O'Brien')"},
        {"Int = 1 OR Small = 2 AND Word = 3", "(OR (= Int 1) (AND (= Small 2) (= Word 3)))"},
        {"Int = 1 AND Small = 2 OR Word = 3", "(OR (AND (= Int 1) (= Small 2)) (= Word 3))"},
        {"Int=1 and Small=2 or not Word=3", "(OR (AND (= Int 1) (= Small 2)) (NOT (= Word 3)))"},
        {"NOT Int = 1", "(NOT (= Int 1))"},
        {"NOT (Int = 1 OR Active)", "(NOT (OR (= Int 1) Active))"},
        {"Int -1", "(-:int Int 1)"},
        {"Int-1", "(-:int Int 1)"},
        {"(Int)-1", "(-:int Int 1)"},
        {"[Int]-1", "(-:int Int 1)"},
        {"2-1", "(-:int 2 1)"},
        {"(-1)", "-1"},
        {"Int * -1", "(*:int Int -1)"},
        {"Int - -1", "(-:int Int -1)"},
        {"Int - 2 - 3", "(-:int (-:int Int 2) 3)"},
        {"Int + 2 * 3", "(+:int Int (*:int 2 3))"},
        {"(Int + 2) * 3", "(*:int (+:int Int 2) 3)"},
        {"Int / 2 / 4", "(/:float (/:float Int 2) 4)"},
        {"UPPER (Name) = 'X'", "(= UPPER:str(Name) 'X')"},
        {"upper(Name) LIKE 'A%'", "(LIKE upper:str(Name) 'A%')"},
        {"SUBSTRING(Name, 2, 3) = 'bcd'", "(= SUBSTRING:str(Name 2 3) 'bcd')"},
        {"TRIM(Name) + TRIMLEFT(Code) + TRIMRIGHT(Memo)",
         "(+:str (+:str TRIM:str(Name) TRIMLEFT:str(Code)) TRIMRIGHT:str(Memo))"},
        {"YEAR(Day) + MONTH(Stamp) + DAY(Day)",
         "(+:int (+:int YEAR:int(Day) MONTH:int(Stamp)) DAY:int(Day))"},
        {"HOUR(Clock) = MINUTE(Stamp)", "(= HOUR:int(Clock) MINUTE:int(Stamp))"},
        {"SECOND(Stamp)", "SECOND:int(Stamp)"},
        {"Int IN (1, 2.5)", "(IN Int 1 2.5f)"},
        {"Int in (1)", "(IN Int 1)"},
        {"Int IN (1,)", "(IN Int 1)"},
        {"Name IN ('a*', 'b', Code)", "(IN Name 'a*' 'b' Code)"},
        {"Day IN ('1/2/2020', Day + 1)", "(IN Day date(2020-1-2) (+:date Day 1))"},
        {"Active IN (True, false)", "(IN Active True False)"},
        {"/* note */ Int = 1", "(= Int 1)"},
        {"Int = /* one */ 1", "(= Int 1)"},
        {"Price > 1e3", "(> Price 1000f)"},
        {"1E+2 = Price", "(= 100f Price)"},
        {"Price = 1.5e-1", "(= Price 0.15f)"},
        {"Int = 2147483647", "(= Int 2147483647)"},
        {"Int = 2147483648", "(= Int 2.14748e+09f)"},
        {"Int = -2147483648", "(= Int -2147483648)"},
        {"Small + Word", "(+:int Small Word)"},
        {"Word + Small", "(+:int Word Small)"},
        {"Int + Big", "(+:big Int Big)"},
        {"Big + Price", "(+:float Big Price)"},
        {"Price + Amount", "(+:cur Price Amount)"},
        {"Amount - Price", "(-:cur Amount Price)"},
        {"Auto + Int", "(+:auto Auto Int)"},
        {"Int + Auto", "(+:int Int Auto)"},
        {"Small / Small", "(/:float Small Small)"},
        {"Name + Code + Memo + Ole + Wide",
         "(+:str (+:str (+:str (+:str Name Code) Memo) Ole) Wide)"},
        {"Day + 1", "(+:date Day 1)"},
        {"Clock + 1.5", "(+:time Clock 1.5f)"},
        {"Stamp + Big", "(+:dt Stamp Big)"},
        {"Day - Day", "(-:int Day Day)"},
        {"Day - 2", "(-:int Day 2)"},
        {"Clock - Clock", "(-:int Clock Clock)"},
        {"Clock - 2", "(-:int Clock 2)"},
        {"Stamp - 1", "(-:float Stamp 1)"},
        {"Stamp - Stamp", "(-:float Stamp Stamp)"},
        {"Stamp - Clock", "(-:float Stamp Clock)"},
        {"Stamp - Day", "(-:float Stamp Day)"},
        {"Day - Stamp", "(-:float Day Stamp)"},
        {"'1/2/2020' - Day", "(-:int date(2020-1-2) Day)"},
        {"Day - '1/1/2020'", "(-:int Day date(2020-1-1))"},
        {"Stamp - '1/1/2020 12:00'", "(-:float Stamp dt(2020-1-1+43200000))"},
        {"Stamp = '1/2/2020 10:00'", "(= Stamp dt(2020-1-2+36000000))"},
        {"Stamp = '1/2/2020'", "(= Stamp date(2020-1-2))"},
        {"'1/2/2020' < Stamp", "(< date(2020-1-2) Stamp)"},
        {"Clock = '10:30'", "(= Clock time(37800000))"},
        {"Clock > '1:30 PM'", "(> Clock dt(1899-12-30+48600000))"},
        {"Stamp = '10 PM'", "(= Stamp dt(1899-12-30+79200000))"},
        {"Clock = '12:00:01.5am'", "(= Clock time(1005))"},
        {"Stamp > Clock", "(> Stamp Clock)"},
        {"Day IN (Stamp)", "(IN Day Stamp)"},
        {"Name = '1/2/2020'", "(= Name '1/2/2020')"},
        {"Day >= '2000-01-01'", "(>= Day date(2000-1-1))"},
        {"'2000-01-01' <= Day", "(<= date(2000-1-1) Day)"},
        {"Stamp < '2020-01-02 10:00:00'", "(< Stamp dt(2020-1-2+36000000))"},
        {"Stamp = '2020-01-02 10:00:00.250'", "(= Stamp dt(2020-1-2+36000250))"},
        {"Stamp = '2020-01-02'", "(= Stamp date(2020-1-2))"},
        {"Day IN ('2020-01-02', '1/3/2020')", "(IN Day date(2020-1-2) date(2020-1-3))"},
        {"Day - '2020-01-01'", "(-:int Day date(2020-1-1))"},
        {"Name = '2020-01-02'", "(= Name '2020-01-02')"},
        {"Active = True", "(= Active True)"},
        {"Active <> FALSE", "(<> Active False)"},
        {"true", "True"},
        {"Name", "Name"},
        {"[Name]", "Name"},
        {"[name] = Name2", "(= name Name2)"},
        {"Name LIKE 'a%'", "(LIKE Name 'a%')"},
        {"Memo LIKE Wide", "(LIKE Memo Wide)"},
        {"Calc = 1", "(= Calc 1)"},
        {"\t Int\r\n=\x01"
         "1 ",
         "(= Int 1)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorOf(c.text), "parsed: " + c.shape) << c.text;
    }
    // A string constant is an operand: the "-" after it is the minus operator, and a string
    // minus a number is no valid arithmetic.
    EXPECT_EQ(ErrorOf("'a' -1 = 'x'"), "db: Type mismatch in expression");
    // A comparison takes at most one operator, IN included.
    EXPECT_EQ(ErrorOf("Int IN (1, 2) = True"), "db: Filter expression incorrectly terminated");
    EXPECT_EQ(ShapeOf("(Int IN (1, 2)) = True"), "(= (IN Int 1 2) True)");
}

TEST_F(FilterParse, EmbeddedNulEndsTheText) {
    parser.Parse(std::string("Int = 1\0 garbage", 16));
    EXPECT_EQ(Shape(parser.Root()), "(= Int 1)");
}

TEST_F(FilterParse, ErrorMessages) {
    struct Case {
        std::string text, error;
    };
    const Case cases[] = {
        {"", "db: Expression expected but nothing found"},
        {"Int = 1 AND -5 < Int", "db: Expression expected but '-' found"},
        {"Int < Small < Word", "db: Filter expression incorrectly terminated"},
        {"Int = 1)", "db: Filter expression incorrectly terminated"},
        {"Int Small", "db: Filter expression incorrectly terminated"},
        {"Int = 1 2", "db: Filter expression incorrectly terminated"},
        {"[Name", "db: Unterminated field name"},
        {"Name = 'abc", "db: Unterminated string constant"},
        {"Name = 'O''Brien", "db: Unterminated string constant"},
        {"Name = ''''", "parsed: (= Name ''')"},
        {"Int = 1 # 2", "db: Invalid filter expression character: '#'"},
        {"Int = 1 ; ", "db: Invalid filter expression character: ';'"},
        {"Int = \"1\"", "db: Invalid filter expression character: '\"'"},
        {"Int = 1 \x80", "db: Invalid filter expression character: '\x80'"},
        {"/* a*b */ Int = 1", "db: Invalid filter expression character: '*'"},
        {"/* open", "db: Invalid filter expression character: ''"},
        {"/**//**/Int = 1", "db: Expression expected but '/' found"},
        {"Int IN 1", "db: '(' expected but '1' found"},
        {"Int IN", "db: '(' expected but nothing found"},
        {"Int IN ()", "db: IN predicate list may not be empty"},
        {"Int IN (1, 2", "db: ')' or ',' expected but nothing found"},
        {"Int IN (1,", "db: ')' expected but nothing found"},
        {"Int IN (1 2)", "db: ')' or ',' expected but '2' found"},
        {"Name IN ('a' 'b')", "db: ')' or ',' expected but ''b'' found"},
        {"(Int = 1", "db: ')' expected but nothing found"},
        {"(Int = 1 OR (Int = 2)", "db: ')' expected but nothing found"},
        {"(Int = 1]", "db: Invalid filter expression character: ']'"},
        {"UPPER(Name", "db: ')' or ',' expected but nothing found"},
        {"UPPER(Name,", "db: ')' expected but nothing found"},
        {"= 1", "db: Expression expected but '=' found"},
        {"Int =", "db: Expression expected but nothing found"},
        {"Int = )", "db: Expression expected but ')' found"},
        {"Int = ,", "db: Expression expected but ',' found"},
        {"Int = LIKE", "db: Expression expected but 'LIKE' found"},
        {"Int = 1 OR", "db: Expression expected but nothing found"},
        {"Foo = 1", "db: Table1: Field 'Foo' not found"},
        {"UPPER/**/(Name) = 'X'", "db: Table1: Field 'UPPER' not found"},
        {"COUNT(*)", "db: Table1: Field 'COUNT' not found"},
        {"NOT NOT Active", "db: Table1: Field 'NOT' not found"},
        {"Int = 1 AND \xB4", "db: Table1: Field '\xB4' not found"},
        {"Active > True", "db: Type mismatch in expression"},
        {"Active < False", "db: Type mismatch in expression"},
        {"Int = 'abc'", "db: Type mismatch in expression"},
        {"Name = 1", "db: Type mismatch in expression"},
        {"Name LIKE 1", "db: Type mismatch in expression"},
        {"Int LIKE 1", "db: Type mismatch in expression"},
        {"Int AND Active", "db: Type mismatch in expression"},
        {"Active OR Name", "db: Type mismatch in expression"},
        {"NOT Int", "db: Type mismatch in expression"},
        {"Day * 2", "db: Type mismatch in expression"},
        {"Stamp / 2", "db: Type mismatch in expression"},
        {"Name * 2", "db: Type mismatch in expression"},
        {"Name - 'a'", "db: Type mismatch in expression"},
        {"Name + 1", "db: Type mismatch in expression"},
        {"1 + Name", "db: Type mismatch in expression"},
        {"1 + Day", "db: Type mismatch in expression"},
        {"Day + Day", "db: Type mismatch in expression"},
        {"Active + 1", "db: Type mismatch in expression"},
        {"Clock = Day", "db: Type mismatch in expression"},
        {"Day - Clock", "db: Type mismatch in expression"},
        {"Clock - Day", "db: Type mismatch in expression"},
        {"Clock - Stamp", "db: Type mismatch in expression"},
        {"Day = '10:30'", "db: Type mismatch in expression"},
        {"Day = 'xyz'",
         "db: Type mismatch in expression: 'xyz' is not a date or time (write yyyy-mm-dd, "
         "yyyy-mm-dd hh:mm:ss, hh:mm:ss or M/d/yyyy)"},
        {"Day = '2/30/2020'",
         "db: Type mismatch in expression: '2/30/2020' is not a date or time (write yyyy-mm-dd, "
         "yyyy-mm-dd hh:mm:ss, hh:mm:ss or M/d/yyyy)"},
        {"Day >= '2000-02-30'",
         "db: Type mismatch in expression: '2000-02-30' is not a date or time (write yyyy-mm-dd, "
         "yyyy-mm-dd hh:mm:ss, hh:mm:ss or M/d/yyyy)"},
        {"'2000-1-1x' < Day",
         "db: Type mismatch in expression: '2000-1-1x' is not a date or time (write yyyy-mm-dd, "
         "yyyy-mm-dd hh:mm:ss, hh:mm:ss or M/d/yyyy)"},
        {"Stamp > '2000-01-01 25:00'",
         "db: Type mismatch in expression: '2000-01-01 25:00' is not a date or time (write "
         "yyyy-mm-dd, yyyy-mm-dd hh:mm:ss, hh:mm:ss or M/d/yyyy)"},
        {"Stamp > '2000-01-01 10:00 PM'",
         "db: Type mismatch in expression: '2000-01-01 10:00 PM' is not a date or time (write "
         "yyyy-mm-dd, yyyy-mm-dd hh:mm:ss, hh:mm:ss or M/d/yyyy)"},
        {"Day - 'soon'",
         "db: Type mismatch in expression: 'soon' is not a date or time (write yyyy-mm-dd, "
         "yyyy-mm-dd hh:mm:ss, hh:mm:ss or M/d/yyyy)"},
        {"Day = Name", "db: Type mismatch in expression"},
        {"Day = 1", "db: Type mismatch in expression"},
        {"Int IN ('a')", "db: Type mismatch in expression"},
        {"Name IN (1)", "db: Type mismatch in expression"},
        {"Day IN ('x')",
         "db: Type mismatch in expression: 'x' is not a date or time (write yyyy-mm-dd, yyyy-mm-dd "
         "hh:mm:ss, hh:mm:ss or M/d/yyyy)"},
        {"Day IN (Clock)", "db: Type mismatch in expression"},
        {"Active IN (1)", "db: Type mismatch in expression"},
        {"Raw = 1", "db: Type mismatch in expression"},
        {"UPPER(Name, Name)", "db: Type mismatch in expression"},
        {"UPPER()", "db: Type mismatch in expression"},
        {"LOWER(Int)", "db: Type mismatch in expression"},
        {"SUBSTRING(Name, Int, 1)", "db: Type mismatch in expression"},
        {"SUBSTRING(Name, 1)", "db: Type mismatch in expression"},
        {"SUBSTRING(Name, 1, 1.5)", "db: Type mismatch in expression"},
        {"YEAR('1/2/2020')", "db: Type mismatch in expression"},
        {"YEAR(Clock)", "db: Type mismatch in expression"},
        {"HOUR(Day)", "db: Type mismatch in expression"},
        {"GETDATE(1)", "db: Type mismatch in expression"},
        {"Price = 1.2.3", "convert: '1.2.3' is not a valid floating point value"},
        {"Int = -", "convert: '-' is not a valid floating point value"},
        {"Int = 1e", "convert: '1e' is not a valid floating point value"},
        {"Int = 1e999", "convert: '1e999' is not a valid floating point value"},
        {"Clock = '1/2/202010:00'", "convert: '1/2/202010:00' is not a valid time"},
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.text), c.error) << c.text;
}

// The format settings' own date order keeps working beside the fixed forms, and the error for
// a text that is no date names it.
TEST_F(FilterParse, DateLiteralsInTheSettingsFormat) {
    struct Restore {
        TFormatSettings saved = FormatSettings();
        ~Restore() { FormatSettings() = saved; }
    } restore;
    FormatSettings().ShortDateFormat = "d.M.yyyy";
    FormatSettings().DateSeparator = '.';
    EXPECT_EQ(ShapeOf("Day = '2.1.2020'"), "(= Day date(2020-1-2))");
    EXPECT_EQ(ShapeOf("Day = '2020-01-02'"), "(= Day date(2020-1-2))");
    EXPECT_EQ(ShapeOf("Day = '1/2/2020'"), "(= Day date(2020-1-2))");
    EXPECT_EQ(ErrorOf("Day = '31.2.2020'"),
              "db: Type mismatch in expression: '31.2.2020' is not a date or time (write "
              "yyyy-mm-dd, yyyy-mm-dd hh:mm:ss, hh:mm:ss, M/d/yyyy or d.M.yyyy)");
}

TEST_F(FilterParse, DataSetWithoutNameGivesBareFieldMessage) {
    ds.Name.clear();
    EXPECT_EQ(ErrorOf("Foo = 1"), "db: Field 'Foo' not found");
}

TEST_F(FilterParse, DoubleByteNames) {
    // A trail byte 0x5D inside a bracketed name is not its closing bracket.
    const std::string odd = "\x81\x5D";  // 乚
    ds.Add(odd + "x", ftype::ftInteger);
    EXPECT_EQ(ShapeOf("[" + odd + "x] = 1"), "(= " + odd + "x 1)");
    // Unbracketed: one symbol that runs over double-byte characters, letters and digits.
    ds.Add(
        "\xCE\xC4\xBC\xFE"
        "2",
        ftype::ftInteger);  // 文件2
    EXPECT_EQ(ShapeOf("\xCE\xC4\xBC\xFE"
                      "2>" +
                      kAreaNo),
              "(> \xCE\xC4\xBC\xFE"
              "2 " +
                  kAreaNo + ")");
    // Field names are found ignoring case.
    EXPECT_EQ(ShapeOf("NAME = 'x'"), "(= NAME 'x')");
}

TEST_F(FilterParse, StringLiteralsKeep256Bytes) {
    const std::string longText(300, 'x');
    parser.Parse("Name = '" + longText + "'");
    const TExprNode* constant = parser.Root()->Right;
    EXPECT_EQ(constant->Text(), std::string(256, 'x'));
    EXPECT_EQ(constant->BufSize, 257);
    // Doubled quotes count as one character; the literal still ends at its closing quote.
    parser.Parse("Name = '" + std::string(255, 'y') + "''''z' OR Int = 1");
    EXPECT_EQ(parser.Root()->Left->Right->Text(), std::string(255, 'y') + "'");
}

TEST_F(FilterParse, PrefixMarkerPosition) {
    struct Case {
        const char* text;
        int32_t star;
    };
    const Case cases[] = {
        {"Name = 'AB*'", 2}, {"Name = '*'", 0}, {"Name = 'A*B*'", 1}, {"Name = 'AB'", -1}};
    for (const Case& c : cases) {
        parser.Parse(c.text);
        EXPECT_EQ(parser.Root()->Right->StarPos, c.star) << c.text;
        EXPECT_EQ(parser.Root()->Left->StarPos, -1);
    }
}

TEST_F(FilterParse, CommaDecimalSeparator) {
    TFormatSettings saved = FormatSettings();
    FormatSettings().DecimalSeparator = ',';
    EXPECT_EQ(ShapeOf("Price = 1,5"), "(= Price 1.5f)");
    EXPECT_EQ(ShapeOf("Int IN (1, 2)"), "(IN Int 1 2)");
    EXPECT_EQ(ShapeOf("Int IN (1,2)"), "(IN Int 1.2f)");
    EXPECT_EQ(ErrorOf("Price = 1.5"), "db: Invalid filter expression character: '.'");
    FormatSettings() = saved;
}

TEST_F(FilterParse, NodeListOwnsEveryNodeAndIsRebuiltByEachParse) {
    parser.Parse("Int = 1 AND Name IN ('a', 'b')");
    int count = 0;
    for (const TExprNode* n = parser.Nodes.Head; n != nullptr; n = n->Older) ++count;
    EXPECT_EQ(count, 8);  // Int 1 = Name 'a' 'b' IN AND
    EXPECT_EQ(parser.Nodes.Head, parser.Root());
    parser.Parse("Int = 2");
    count = 0;
    for (const TExprNode* n = parser.Nodes.Head; n != nullptr; n = n->Older) ++count;
    EXPECT_EQ(count, 3);
}

TEST_F(FilterParse, GetDateIsAConstantTakenAtParseTime) {
    parser.Parse("YEAR(GETDATE())");
    const TExprNode* getdate = parser.Root()->Args.at(0);
    EXPECT_EQ(getdate->Kind, TExprNodeKind::Constant);
    EXPECT_EQ(getdate->DataType, ftype::ftDateTime);
    TTimeStamp ts;
    ASSERT_TRUE(TryMSecsToTimeStamp(codec::F64(getdate->Value()), ts));
    EXPECT_NEAR(ts.Date, NowTimeStamp().Date, 1);
}

TEST_F(FilterParse, NestingAndDepthAreBounded) {
    std::string deep = std::string(200, '(') + "Int = 1" + std::string(200, ')');
    EXPECT_EQ(ErrorOf(deep), "db: Filter expression too complex");
    std::string ok = std::string(100, '(') + "Int = 1" + std::string(100, ')');
    EXPECT_EQ(ShapeOf(ok), "(= Int 1)");
    std::string chain = "Int";
    for (int i = 0; i < 1500; ++i) chain += " + Int";
    EXPECT_EQ(ErrorOf(chain), "db: Filter expression too complex");
    std::string calls;
    for (int i = 0; i < 200; ++i) calls += "UPPER(";
    calls += "Name" + std::string(200, ')');
    EXPECT_EQ(ErrorOf(calls), "db: Filter expression too complex");
}

}  // namespace
}  // namespace tarn

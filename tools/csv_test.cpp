// CSV as import reads it and dump writes it.
#include "tools/csv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "tools/cli_common.h"

namespace tarn::cli {
namespace {

struct Read {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::vector<int64_t>> lines;
};

Read ReadAll(const std::string& text) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(
        fmemopen(const_cast<char*>(text.data()), text.size(), "rb"), &fclose);
    TCsvReader reader(f.get());
    Read r;
    std::vector<std::string> row;
    std::vector<int64_t> lines;
    while (reader.Next(row, lines)) {
        r.rows.push_back(row);
        r.lines.push_back(lines);
    }
    return r;
}

TEST(Csv, QuotedFieldsLineBreaksAndLineNumbers) {
    Read r = ReadAll("a,\"b,c\",\"say \"\"hi\"\"\"\r\n\n\"two\r\nlines\",,x\nlast,\"\"");
    ASSERT_EQ(r.rows.size(), 3u);
    EXPECT_EQ(r.rows[0], (std::vector<std::string>{"a", "b,c", "say \"hi\""}));
    EXPECT_EQ(r.rows[1], (std::vector<std::string>{"two\r\nlines", "", "x"}));
    EXPECT_EQ(r.rows[2], (std::vector<std::string>{"last", ""}));
    EXPECT_EQ(r.lines[0], (std::vector<int64_t>{1, 1, 1}));
    EXPECT_EQ(r.lines[1], (std::vector<int64_t>{3, 4, 4}));
    EXPECT_EQ(r.lines[2], (std::vector<int64_t>{5, 5}));
}

TEST(Csv, AQuotedEmptyFieldIsARowAndAnEmptyLineIsNot) {
    Read r = ReadAll("\"\"\n\n\"\"\n");
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[1], std::vector<std::string>{""});
}

TEST(Csv, MalformedQuotesNameTheirLine) {
    try {
        ReadAll("ok\n\"a\"b\n");
        FAIL() << "text after a closing quote was accepted";
    } catch (const EToolError& e) {
        EXPECT_EQ(e.Message(), "line 2, column 1: text after the closing quote of a field");
    }
    EXPECT_THROW(ReadAll("a\n\"open\nstill open"), EToolError);
}

TEST(Csv, FieldsThatNeedQuotesGetThemAndReadBack) {
    const std::vector<std::string> values = {"plain", "a,b", "q\"q", "line\nbreak",
                                             " lead", "",    "中文"};
    std::string line;
    for (size_t i = 0; i < values.size(); ++i) line += (i ? "," : "") + CsvField(values[i]);
    EXPECT_EQ(line, "plain,\"a,b\",\"q\"\"q\",\"line\nbreak\",\" lead\",,中文");
    Read r = ReadAll(line + "\n");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0], values);
}

}  // namespace
}  // namespace tarn::cli

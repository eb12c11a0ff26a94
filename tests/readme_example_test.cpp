// The README's library example, run as written (in a temporary directory).
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "tarndb/creator.h"
#include "tarndb/table.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

TEST(ReadmeExample, RunsAsWritten) {
    testing::TempDir dir;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    std::ostringstream out;
    {
        TTarnDBCreator::CreateDatabase("people.tdb");
        TTarnDBCreator::AddTable("people.tdb", "People",
                                 {{"ID", ftAutoInc}, {"Name", ftString, 40}, {"Age", ftInteger}},
                                 {{"ByName", tiCaseInsensitive, {"Name"}}});
        TTarnTable people;
        people.SetDatabaseName("people.tdb");
        people.SetTableName("People");
        people.Open();
        for (auto [name, age] : {std::pair{"Ada", 36}, {"Grace", 85}, {"Alan", 41}}) {
            people.Append();
            people.FieldByName("Name")->SetAsString(name);
            people.FieldByName("Age")->SetAsInteger(age);
            people.Post();
        }
        people.SetFilter("Age > 40 AND Name LIKE 'A%'");
        people.SetFiltered(true);
        for (people.First(); !people.Eof(); people.Next())
            out << people.FieldByName("ID")->AsInteger() << " "
                << people.FieldByName("Name")->AsString() << "\n";
        people.SetFiltered(false);
        ASSERT_TRUE(people.Locate("Name", TVariant("grace"), loCaseInsensitive));
        people.Edit();
        people.FieldByName("Age")->SetAsInteger(86);
        people.Post();
        EXPECT_EQ(people.Lookup("Name", TVariant("Grace"), "Age").AsInt64(), 86);
    }
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(out.str(), "3 Alan\n");
}

}  // namespace
}  // namespace tarn

// The README's library example as a program of its own, built against an installed tarndb
// (tests/install/install_test.sh builds it twice: through CMake and through pkg-config).
#include <tarndb/creator.h>
#include <tarndb/table.h>

#include <iostream>
#include <utility>

using namespace tarn;

int main() {
    // A database file with one table (the creator writes the file format's structures).
    TTarnDBCreator::CreateDatabase("people.tdb");
    TTarnDBCreator::AddTable("people.tdb", "People",
                             {{"ID", ftAutoInc}, {"Name", ftString, 40}, {"Age", ftInteger}},
                             {{"ByName", tiCaseInsensitive, {"Name"}}});

    // Open the table by database and table name; the default session connects the file.
    TTarnTable people;
    people.SetDatabaseName("people.tdb");
    people.SetTableName("People");
    people.Open();

    // Append rows; the auto-increment value is there after Post.
    for (auto [name, age] : {std::pair{"Ada", 36}, {"Grace", 85}, {"Alan", 41}}) {
        people.Append();
        people.FieldByName("Name")->SetAsString(name);
        people.FieldByName("Age")->SetAsInteger(age);
        people.Post();
    }

    // Filter with the expression language, walk the matching rows.
    people.SetFilter("Age > 40 AND Name LIKE 'A%'");
    people.SetFiltered(true);
    for (people.First(); !people.Eof(); people.Next())
        std::cout << people.FieldByName("ID")->AsInteger() << " "
                  << people.FieldByName("Name")->AsString() << "\n";
    people.SetFiltered(false);

    // Find a row by key (case-insensitive, through the ByName index) and change it.
    if (people.Locate("Name", TVariant("grace"), loCaseInsensitive)) {
        people.Edit();
        people.FieldByName("Age")->SetAsInteger(86);
        people.Post();
    }

    // Read the change back, so the test sees that the edit was stored.
    std::cout << "Grace " << people.Lookup("Name", TVariant("Grace"), "Age").AsInt64() << "\n";
    return 0;
}

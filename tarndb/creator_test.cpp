#include "tarndb/creator.h"

#include <gtest/gtest.h>

#include <fstream>

#include "dataproc/stored_codec.h"
#include "tarndb/errors.h"
#include "tarndb/file_io.h"
#include "tarndb/memory_registry.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using namespace tarn::format;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Creator, TablesReloadWithEveryStructureAsWritten) {
    testing::TempDir dir;
    std::string path = dir.file("c.dat");
    TTarnDBCreator::CreateDatabase(path);
    EXPECT_THROW(TTarnDBCreator::CreateDatabase(path), EFOpenError);    // never overwrites
    std::string areaName = "\xca\xfd\xbe\xdd\xb4\xe6\xb4\xa2\xc7\xf8";  // 数据存储区 in GB18030
    TTarnDBCreator::AddTable(
        path, areaName,
        {{"ID", ftAutoInc},
         {"Name", ftString, 40},
         {"Secret", ftString, 8, true},
         {"When", ftDateTime},
         {"Notes", ftMemo}},
        {{"ByName", tiUnique | tiCaseInsensitive, {"name", "id"}}, {"PK", tiPrimary, {"ID"}}});
    TTarnDBCreator::AddTable(path, "Second", {{"a", ftInteger}});

    TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
    io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    std::vector<std::string> names;
    io.ListTableNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{areaName, "Second"}));
    EXPECT_EQ(io.TableOffset(0), kFirstFreeOffset);
    EXPECT_EQ(io.TableOffset(1), kFirstFreeOffset + kTableHeaderSize);
    EXPECT_EQ(io.FileSize(), kFirstFreeOffset + 2 * kTableHeaderSize);

    TableHeader h;
    io.ReadTableHeader(0, h);
    EXPECT_EQ(h.RecordTotal(), 0);
    EXPECT_EQ(h.AutoIncCounter(), 0);
    ASSERT_EQ(h.FieldCount(), 5);
    FieldEntry f = h.Field(1);
    EXPECT_EQ(f.name, "Name");
    EXPECT_EQ(f.type, ftString);
    EXPECT_EQ(f.size, 40);
    EXPECT_FALSE(f.storePlain);
    EXPECT_TRUE(h.Field(2).storePlain);
    EXPECT_EQ(h.Field(4).type, ftMemo);
    ASSERT_EQ(h.IndexCount(), 2);
    IndexEntry x = h.Index(0);
    EXPECT_EQ(x.name, "ByName");
    EXPECT_EQ(x.options, tiUnique | tiCaseInsensitive);
    EXPECT_EQ(x.keyFields, (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(x.indexTabOffset, 0);
    EXPECT_EQ(x.indexHead, 0);
    EXPECT_EQ(h.Index(1).keyFields, (std::vector<int32_t>{0}));
}

TEST(Creator, BadDefinitionsAreRefusedAndLeaveTheFileUnchanged) {
    testing::TempDir dir;
    std::string path = dir.file("c.dat");
    TTarnDBCreator::CreateDatabase(path);
    TTarnDBCreator::AddTable(path, "T", {{"a", ftInteger}});
    std::string before = Slurp(path);

    std::vector<TFieldDefinition> tooMany(97, TFieldDefinition{"", ftInteger});
    for (size_t i = 0; i < tooMany.size(); ++i) tooMany[i].name = "f" + std::to_string(i);
    std::vector<TIndexDefinition> nineIndexes;
    for (int i = 0; i < 9; ++i) nineIndexes.push_back({"i" + std::to_string(i), {}, {"a"}});

    struct Case {
        std::string table;
        std::vector<TFieldDefinition> fields;
        std::vector<TIndexDefinition> indexes;
        std::string message;
    } cases[] = {
        {"t", {{"a", ftInteger}}, {}, "Table 't' already exists"},
        {std::string(34, 'x'),
         {{"a", ftInteger}},
         {},
         "Table name '" + std::string(34, 'x') + "' is longer than 33 bytes"},
        {"", {{"a", ftInteger}}, {}, "Table name is empty"},
        {"U", {}, {}, "Table 'U' needs at least one field"},
        {"U", tooMany, {}, "Table 'U' has 97 fields; a table holds at most 96"},
        {"U",
         {{"a", ftInteger}, {"A", ftInteger}},
         {},
         "Field name 'A' appears twice in table 'U'"},
        {"U", {{"a", ftBCD}}, {}, "Field 'a' has the unsupported type code 8"},
        {"U", {{"a", ftString, 0}}, {}, "String field 'a' must have a size from 1 to 65535, not 0"},
        // String types that records cannot hold stay unsupported, with or without a size.
        {"U", {{"a", ftWideString, 10}}, {}, "Field 'a' has the unsupported type code 24"},
        {"U", {{"a", ftGuid, 38}}, {}, "Field 'a' has the unsupported type code 35"},
        {"U", {{"a", ftGuid}}, {}, "Field 'a' has the unsupported type code 35"},
        {"U", {{"a", ftInteger}}, nineIndexes, "Table 'U' has 9 indexes; a table holds at most 8"},
        {"U",
         {{"a", ftInteger}},
         {{"i", {}, {"a", "a", "a", "a", "a", "a", "a", "a", "a"}}},
         "Index 'i' must have 1 to 8 key fields"},
        {"U", {{"a", ftInteger}}, {{"i", {}, {"b"}}}, "Index 'i' names the unknown field 'b'"},
        {"U",
         {{"a", ftInteger}},
         {{"i", {}, {"a"}}, {"I", {}, {"a"}}},
         "Index name 'I' appears twice in table 'U'"},
        {"U",
         {{"a", ftBlob}},
         {{"i", {}, {"a"}}},
         "Index 'i' cannot have the blob field 'a' in its key"},
    };
    for (const Case& c : cases) {
        try {
            TTarnDBCreator::AddTable(path, c.table, c.fields, c.indexes);
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        EXPECT_EQ(Slurp(path), before);
    }
}

TEST(Creator, TableLimitOf256) {
    TMemoryStream stream(TTarnDBCreator::CreateImage());
    std::string name = RegisterMemoryStream(&stream);
    for (int t = 0; t < kMaxTables; ++t)
        TTarnDBCreator::AddTable(name, "t" + std::to_string(t), {{"a", ftInteger}});
    int64_t size = stream.Size();
    try {
        TTarnDBCreator::AddTable(name, "one-more", {{"a", ftInteger}});
        ADD_FAILURE();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "A database holds at most 256 tables");
    }
    EXPECT_EQ(stream.Size(), size);
    UnregisterMemoryStream(name);
}

TEST(Creator, EncryptionSettingsAreCheckedAndRecorded) {
    TDatabaseSettings settings;
    settings.encrypted = true;
    settings.encryptModule = "Rot13";
    settings.password = "pw";
    EXPECT_THROW(
        {
            try {
                TTarnDBCreator::CreateImage(settings);
            } catch (const EDatabaseError& e) {
                EXPECT_EQ(e.Message(), "Encryption algorithm module 'Rot13' not found");
                throw;
            }
        },
        EDatabaseError);
    settings.encryptModule = "twofish";  // module names match in any letter case
    settings.password = "";
    EXPECT_THROW(TTarnDBCreator::CreateImage(settings), EDatabaseError);
    settings.password = "pw";
    settings.encryptMode = 5;
    EXPECT_THROW(TTarnDBCreator::CreateImage(settings), EEncryptException);
    settings.encryptMode = 2;
    std::string image = TTarnDBCreator::CreateImage(settings);
    DatabaseInfo info;
    std::copy(image.begin() + kInfoOffset, image.begin() + kInfoOffset + kInfoSize,
              info.raw.begin());
    EXPECT_TRUE(info.Encrypted());
    EXPECT_EQ(info.EncryptModuleName(), "twofish");
    EXPECT_EQ(info.EncryptMode(), 2);
    EXPECT_EQ(info.PasswordCheck(), PasswordCheckText("pw"));
    EXPECT_FALSE(info.Compressed());
}

}  // namespace
}  // namespace tarn

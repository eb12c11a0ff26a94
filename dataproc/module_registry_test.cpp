// Registration and lookup rules of the module registries.
#include "dataproc/module_registry.h"

#include <gtest/gtest.h>

#include "dataproc/testing/fake_modules.h"
#include "tarndb/errors.h"

namespace tarn {
namespace {

using testing::TOtherTestCipher;
using testing::TTestCipher;

std::vector<std::string> Names(const TEncryptRegistry& r) {
    std::vector<std::string> out;
    for (const auto& e : r.Entries()) out.push_back(e.Name);
    return out;
}

TEST(ModuleRegistry, SameClassTwiceRenamesTheEntryInPlace) {
    TEncryptRegistry r;
    r.Register(TEncryptAlgoClass::Of<TTestCipher>(), "First");
    r.Register(TEncryptAlgoClass::Of<TOtherTestCipher>(), "Second");
    r.Register(TEncryptAlgoClass::Of<TTestCipher>(), "Renamed");
    EXPECT_EQ(Names(r), (std::vector<std::string>{"Renamed", "Second"}));
    EXPECT_EQ(r.IndexOf("First"), -1);
    EXPECT_EQ(r.IndexOf("Renamed"), 0);
    EXPECT_TRUE(r.Entry(0).Class == TEncryptAlgoClass::Of<TTestCipher>());
}

TEST(ModuleRegistry, NamesMatchInAnyLetterCaseAndTheFirstOfTwoWins) {
    TEncryptRegistry r;
    r.Register(TEncryptAlgoClass::Of<TTestCipher>(), "Blowfish");
    r.Register(TEncryptAlgoClass::Of<TOtherTestCipher>(), "BLOWFISH");
    EXPECT_EQ(Names(r).size(), 2u);  // different classes: both kept
    for (const char* name : {"Blowfish", "blowfish", "BLOWFISH", "bLoWfIsH"}) {
        EXPECT_EQ(r.IndexOf(name), 0) << name;
    }
    EXPECT_EQ(r.IndexOf("Blowfish2"), -1);
    EXPECT_EQ(r.IndexOf(""), -1);
    EXPECT_THROW(r.Entry(2), EDatabaseError);
    EXPECT_THROW(r.Entry(-1), EDatabaseError);
}

TEST(ModuleRegistry, OnlyAsciiLettersFold) {
    EXPECT_TRUE(SameModuleName("Zlib", "zLIB"));
    EXPECT_FALSE(SameModuleName("Zlib", "Zlib "));
    EXPECT_FALSE(SameModuleName("[", "{"));  // 5B and 7B differ by 32 but are not letters
    EXPECT_TRUE(SameModuleName("\xc3\xa9", "\xc3\xa9"));
    EXPECT_FALSE(SameModuleName("\xc3\xa9", "\xc3\x89"));
}

TEST(ModuleClass, CreatesInstancesWithTheirOwnerAndKnowsExactClass) {
    testing::TRecordingOwner owner;
    const auto cls = TEncryptAlgoClass::Of<TTestCipher>();
    auto module = cls.Create(&owner);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->Owner(), &owner);
    EXPECT_TRUE(cls.IsClassOf(*module));
    TOtherTestCipher derived(nullptr);
    EXPECT_FALSE(cls.IsClassOf(derived));  // a descendant is another class
}

}  // namespace
}  // namespace tarn

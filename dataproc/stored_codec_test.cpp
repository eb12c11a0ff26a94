// The four entry points of stored values and the password check.
#include "dataproc/stored_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "dataproc/module_registry.h"
#include "dataproc/standard_modules.h"
#include "dataproc/testing/fake_modules.h"
#include "tarndb/errors.h"

namespace tarn {
namespace {

using testing::TRecordingOwner;
using testing::TTestCipher;

TEST(PasswordCheckText, IsTheShaDigestInTheDefaultTextForm) {
    EXPECT_EQ(PasswordCheckText("abc"), "AWS4qRTNKl50xPf/CCxNl/Ht+I=");
    // SHA-0 of no bytes, f96cea198ad1dd5617ac084a3d92c6107708c0ef, in the variant.
    EXPECT_EQ(PasswordCheckText(""), "+WzqGYrR3VYXrAhKPZLGEHcIwO8=");
}

struct CodecFixture : ::testing::Test {
    static void SetUpTestSuite() {
        RegisterStandardModules();
        RegisterEncryptModule<TTestCipher>("TestCipher");
    }
    void SelectCipher() {
        codec.SelectModules(true, "zlib", true, "testcipher", 2);
        ASSERT_TRUE(codec.CheckPassword("pw", PasswordCheckText("pw")));
    }
    TTestCipher& Cipher() { return *static_cast<TTestCipher*>(codec.EncryptMgr().Module()); }

    TRecordingOwner owner;
    TStoredDataCodec codec{&owner};
};

TEST_F(CodecFixture, SelectModulesSetsTheModeAndReportsUnknownNames) {
    codec.SelectModules(false, "whatever", true, "TESTCIPHER", 2);
    ASSERT_NE(codec.EncryptMgr().Module(), nullptr);
    EXPECT_EQ(codec.EncryptMgr().Module()->GetEncryptMode(), 2);
    EXPECT_EQ(codec.CompressMgr().Module(), nullptr);  // not compressed: name not looked up
    try {
        codec.SelectModules(true, "lzma", false, "", 0);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Compression algorithm module 'lzma' not found");
    }
}

TEST_F(CodecFixture, PasswordCheckKeysOnlyOnAnExactMatch) {
    codec.SelectModules(false, "", true, "TestCipher", 0);
    const std::string stored = PasswordCheckText("Secret");
    EXPECT_FALSE(codec.CheckPassword("secret", stored));  // case matters
    EXPECT_FALSE(codec.CheckPassword("Secret", stored.substr(0, stored.size() - 1)));
    EXPECT_FALSE(Cipher().Keyed());
    std::string field = stored;
    field.resize(129, '\0');  // the raw NUL-padded field
    EXPECT_TRUE(codec.CheckPassword("Secret", field));
    EXPECT_TRUE(Cipher().Keyed());

    TStoredDataCodec noModule(nullptr);
    EXPECT_FALSE(noModule.CheckPassword("x", stored));
    EXPECT_THROW(noModule.CheckPassword("Secret", stored), EDatabaseError);  // General error
}

TEST_F(CodecFixture, PlainValuesAreCopied) {
    TMemoryStream source("blob value"), dest("old content that is longer");
    source.SetPosition(5);
    codec.EncodeStoredStream(source, dest, false, false);
    EXPECT_EQ(dest.Bytes(), "blob value");
    TMemoryStream back("junk");
    codec.DecodeStoredStream(dest, back, false, false);
    EXPECT_EQ(back.Bytes(), "blob value");

    char out[6] = "-----";
    codec.EncodeStoredBuffer("abcde", out, false, 5);
    EXPECT_STREQ(out, "abcde");
    codec.DecodeStoredBuffer("vwxyz", out, false, 5);
    EXPECT_STREQ(out, "vwxyz");
    codec.EncodeStoredBuffer("12345", out, false, 0);
    EXPECT_STREQ(out, "vwxyz");
}

TEST_F(CodecFixture, EncryptedValuesRoundTripUnitByUnit) {
    SelectCipher();
    const std::string value(5000, 'q');
    TMemoryStream source(value), stored, back;
    codec.EncodeStoredStream(source, stored, false, true);
    EXPECT_EQ(stored.Size(), 5000);
    EXPECT_NE(stored.Bytes(), value);
    codec.DecodeStoredStream(stored, back, false, true);
    EXPECT_EQ(back.Bytes(), value);
    EXPECT_EQ(owner.Percents("encrypt"), (std::vector<int>{0, 82, 100, 0}));
    EXPECT_EQ(owner.Percents("decrypt"), (std::vector<int>{0, 82, 100, 0}));

    // In place (one stream for both) gives the same bytes.
    TMemoryStream inPlace(value);
    codec.EncodeStoredStream(inPlace, inPlace, false, true);
    EXPECT_EQ(inPlace.Bytes(), stored.Bytes());

    // A slot encrypted twice encrypts the same, and decodes the same when read twice.
    char slot[9] = "12345678", enc1[8], enc2[8];
    codec.EncodeStoredBuffer(slot, enc1, true, 8);
    codec.EncodeStoredBuffer(slot, enc2, true, 8);
    EXPECT_EQ(std::string(enc1, 8), std::string(enc2, 8));
    for (int i = 0; i < 2; ++i) {
        char dec[8];
        codec.DecodeStoredBuffer(enc1, dec, true, 8);
        EXPECT_EQ(std::string(dec, 8), "12345678");
    }
}

TEST_F(CodecFixture, CompressedAndEncryptedValuesRoundTrip) {
    SelectCipher();
    std::string value;
    for (int i = 0; i < 3000; ++i) value += "row " + std::to_string(i % 97) + ";";
    struct Flags {
        bool compress, encrypt;
    };
    for (Flags f : {Flags{true, true}, Flags{true, false}, Flags{false, true}}) {
        SCOPED_TRACE(::testing::Message() << f.compress << f.encrypt);
        TMemoryStream source(value), stored, back;
        codec.EncodeStoredStream(source, stored, f.compress, f.encrypt);
        if (f.compress) {
            EXPECT_LT(stored.Size(), static_cast<int64_t>(value.size()) / 2);
        }
        codec.DecodeStoredStream(stored, back, f.compress, f.encrypt);
        EXPECT_EQ(back.Bytes(), value);
        // One stream for source and dest works as well.
        TMemoryStream same(value);
        codec.EncodeStoredStream(same, same, f.compress, f.encrypt);
        EXPECT_EQ(same.Bytes(), stored.Bytes());
        codec.DecodeStoredStream(same, same, f.compress, f.encrypt);
        EXPECT_EQ(same.Bytes(), value);
    }
    // Both: the stored unit is Encrypt(Compress(value)).
    TMemoryStream source(value), compressedOnly, both;
    codec.EncodeStoredStream(source, compressedOnly, true, false);
    codec.EncodeStoredStream(source, both, true, true);
    TMemoryStream decrypted;
    codec.DecodeStoredStream(both, decrypted, false, true);
    EXPECT_EQ(decrypted.Bytes(), compressedOnly.Bytes());
    // An empty value stays empty through both.
    TMemoryStream empty, emptyStored, emptyBack;
    codec.EncodeStoredStream(empty, emptyStored, true, true);
    EXPECT_EQ(emptyStored.Size(), 0);
    codec.DecodeStoredStream(emptyStored, emptyBack, true, true);
    EXPECT_EQ(emptyBack.Size(), 0);
}

TEST_F(CodecFixture, AFailedUnitReleasesTheLockAndTheNextStartsAfresh) {
    SelectCipher();
    char a[4] = {'a', 'b', 'c', 'd'}, first[4], second[4];
    codec.EncodeStoredBuffer(a, first, true, 4);
    Cipher().failNext = true;
    TMemoryStream source(std::string(100, 'z')), dest;
    EXPECT_THROW(codec.EncodeStoredStream(source, dest, false, true), EEncryptException);
    // The lock is free again (a second thread gets through) and the unit starts at the IV.
    std::thread other([&] { codec.EncodeStoredBuffer(a, second, true, 4); });
    other.join();
    EXPECT_EQ(std::string(first, 4), std::string(second, 4));
}

TEST_F(CodecFixture, TransformsWithoutASelectedModuleAreAGeneralError) {
    TMemoryStream source("x"), dest;
    char buf[1] = {'x'};
    EXPECT_THROW(codec.EncodeStoredStream(source, dest, false, true), EDatabaseError);
    EXPECT_THROW(codec.DecodeStoredStream(source, dest, true, false), EDatabaseError);
    EXPECT_THROW(codec.EncodeStoredBuffer(buf, buf, true, 1), EDatabaseError);
}

}  // namespace
}  // namespace tarn

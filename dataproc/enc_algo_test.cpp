// The cipher modules: registration by name, delegation to their cipher, the refused mode,
// the not-keyed error, and stream encryption with its progress reports.
#include "dataproc/enc_algo.h"

#include <gtest/gtest.h>

#include <vector>

#include "dataproc/data_process_mgr.h"
#include "dataproc/enc_test_support.h"
#include "dataproc/module_registry.h"
#include "dataproc/standard_modules.h"
#include "tarndb/errors.h"
#include "tarndb/stream.h"

namespace tarn {
namespace {

using enc_testing::ToHex;
using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t n) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    return out;
}

std::unique_ptr<TEncryptAlgo> CreateRegistered(std::string_view name) {
    RegisterStandardModules();
    const int index = EncryptModuleList().IndexOf(name);
    if (index < 0) return nullptr;
    return EncryptModuleList().Entry(index).Class.Create(nullptr);
}

TEST(CipherModules, RegisteredUnderTheirNamesInOrder) {
    RegisterStandardModules();
    const size_t before = EncryptModuleList().Entries().size();
    RegisterCipherModules();  // again: nothing changes
    const auto entries = EncryptModuleList().Entries();
    EXPECT_EQ(entries.size(), before);
    std::vector<std::string> names;
    for (const auto& e : entries)
        if (e.Name == "Blowfish" || e.Name == "Twofish" || e.Name == "Gost")
            names.push_back(e.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"Blowfish", "Twofish", "Gost"}));

    struct Case {
        const char* lookup;
        const char* cipherClass;
    };
    for (const Case& c : {Case{"blowfish", "TEnc_Blowfish"}, Case{"TWOFISH", "TEnc_Twofish"},
                          Case{"Gost", "TEnc_Gost"}}) {
        SCOPED_TRACE(c.lookup);
        auto module = CreateRegistered(c.lookup);
        ASSERT_NE(module, nullptr);
        auto* cipherModule = dynamic_cast<TEncAlgo_Base*>(module.get());
        ASSERT_NE(cipherModule, nullptr);
        EXPECT_STREQ(cipherModule->Cipher().ClassName(), c.cipherClass);
        EXPECT_STREQ(cipherModule->CipherClass()()->ClassName(), c.cipherClass);
        EXPECT_EQ(module->GetEncryptMode(), 0);
        EXPECT_FALSE(cipherModule->Cipher().Initialized());
    }
}

TEST(CipherModules, DelegateToTheirCipher) {
    for (const char* name : {"Blowfish", "Twofish", "Gost"}) {
        SCOPED_TRACE(name);
        auto module = CreateRegistered(name);
        ASSERT_NE(module, nullptr);
        module->SetEncryptMode(chCFB8);
        EXPECT_EQ(module->GetEncryptMode(), chCFB8);
        module->InitKey("password");

        auto cipher = enc_testing::MakeCipher(name);
        cipher->SetMode(chCFB8);
        cipher->InitKey("password");

        const Bytes plain = Pattern(45);
        Bytes viaModule(45), viaCipher(45);
        module->EncodeBuffer(plain.data(), viaModule.data(), 45);
        cipher->EncodeBuffer(plain.data(), viaCipher.data(), 45);
        EXPECT_EQ(ToHex(viaModule), ToHex(viaCipher));

        module->ResetFeedback();
        Bytes back(45);
        module->DecodeBuffer(viaModule.data(), back.data(), 45);
        EXPECT_EQ(ToHex(back), ToHex(plain));
    }
}

TEST(CipherModules, ModeAboveFourIsRefusedWhenSet) {
    auto module = CreateRegistered("Twofish");
    module->SetEncryptMode(chECB);
    try {
        module->SetEncryptMode(5);
        ADD_FAILURE() << "mode 5 accepted";
    } catch (const EEncryptException& e) {
        EXPECT_EQ(e.ErrorCode(), kEncryptErrInvalidMode);
    }
    EXPECT_EQ(module->GetEncryptMode(), chECB);
}

TEST(CipherModules, NotKeyedModuleFailsBuffersAndStreamsWithoutTouchingData) {
    auto module = CreateRegistered("Gost");
    uint8_t data[16] = {1, 2, 3}, out[16] = {};
    const auto expectNotInitialized = [](const auto& operation) {
        try {
            operation();
            ADD_FAILURE() << "no error";
        } catch (const EEncryptException& e) {
            EXPECT_EQ(e.ErrorCode(), 3);
            EXPECT_EQ(e.Message(), "TEnc_Gost is not initialized call Init() or InitKey() before.");
        }
    };
    expectNotInitialized([&] { module->EncodeBuffer(data, out, 16); });
    expectNotInitialized([&] { module->DecodeBuffer(data, out, 16); });
    EXPECT_EQ(ToHex(out, 16), std::string(32, '0'));

    TMemoryStream source(std::string(100, 'x')), dest;
    std::vector<int> reports;
    module->OnEncodeProgress = [&](void*, int percent) { reports.push_back(percent); };
    expectNotInitialized([&] { module->EncodeStream(&source, &dest, -1); });
    EXPECT_EQ(dest.Size(), 0);
    EXPECT_EQ(reports.back(), 0);  // the closing report is made also on error
}

// Stream encryption equals one buffer call over all bytes and reports 0, the percentage
// after every 4096-byte chunk, and a closing 0.
TEST(CipherModules, StreamEncryptionAndProgress) {
    struct Case {
        size_t size;
        std::vector<int> encodeReports;
    };
    const Case cases[] = {{0, {0, 0}}, {10000, {0, 41, 82, 100, 0}}, {4096, {0, 100, 0}}};
    for (const char* name : {"Blowfish", "Twofish", "Gost"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(c.size));
            auto module = CreateRegistered(name);
            module->InitKey("stream");
            std::vector<int> encodes, decodes;
            module->OnEncodeProgress = [&](void*, int percent) { encodes.push_back(percent); };
            module->OnDecodeProgress = [&](void*, int percent) { decodes.push_back(percent); };

            const Bytes plain = Pattern(c.size);
            TMemoryStream source(std::string(plain.begin(), plain.end())), coded;
            module->EncodeStream(&source, &coded, -1);
            EXPECT_EQ(encodes, c.encodeReports);
            EXPECT_TRUE(decodes.empty());
            ASSERT_EQ(coded.Size(), static_cast<int64_t>(c.size));

            module->ResetFeedback();
            Bytes oneCall(c.size);
            module->EncodeBuffer(plain.data(), oneCall.data(), static_cast<int32_t>(c.size));
            EXPECT_EQ(ToHex(coded.Memory(), c.size), ToHex(oneCall));

            module->ResetFeedback();
            TMemoryStream decoded;
            module->DecodeStream(&coded, &decoded, -1);
            EXPECT_EQ(decodes, c.encodeReports);
            EXPECT_EQ(decoded.Bytes(), std::string(plain.begin(), plain.end()));
        }
    }
}

// Through the encryption manager every unit starts from the initial vector, so one stored
// field decodes the same way however often it is read.
TEST(CipherModules, ManagerUnitsAreIndependent) {
    RegisterStandardModules();
    TEncryptMgr manager(nullptr);
    manager.SelectModule("blowfish");
    manager.SetEncryptMode(chXorFeedback);
    manager.InitKey("field key");
    const Bytes plain = Pattern(21);
    Bytes first(21), second(21);
    manager.EncodeBuffer(plain.data(), first.data(), 21);
    manager.EncodeBuffer(plain.data(), second.data(), 21);
    EXPECT_EQ(ToHex(first), ToHex(second));
    for (int read = 0; read < 2; ++read) {
        Bytes back(21);
        manager.DecodeBuffer(first.data(), back.data(), 21);
        EXPECT_EQ(ToHex(back), ToHex(plain));
    }
}

}  // namespace
}  // namespace tarn

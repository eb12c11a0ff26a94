// The managers: selection by name, module identity, progress forwarding, "General error"
// without a module, and the feedback reset after every unit.
#include "dataproc/data_process_mgr.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "dataproc/module_registry.h"
#include "dataproc/testing/fake_modules.h"
#include "tarndb/errors.h"

namespace tarn {
namespace {

using testing::TOtherTestCipher;
using testing::TRecordingOwner;
using testing::TTestCipher;

struct MgrFixture : ::testing::Test {
    static void SetUpTestSuite() {
        RegisterEncryptModule<TTestCipher>("TestCipher");
        RegisterEncryptModule<TOtherTestCipher>("OtherTestCipher");
    }
    TTestCipher& Cipher() { return *static_cast<TTestCipher*>(mgr.Module()); }

    TRecordingOwner owner;
    TEncryptMgr mgr{&owner};
};

template <class F>
std::string MessageOf(F f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

TEST(DataProcessMgr, UnknownNamesAreReportedAsGiven) {
    TCompressMgr cm(nullptr);
    TEncryptMgr em(nullptr);
    EXPECT_EQ(MessageOf([&] { cm.SelectModule("NoSuch"); }),
              "Compression algorithm module 'NoSuch' not found");
    EXPECT_EQ(MessageOf([&] { em.SelectModule("noSUCH"); }),
              "Encryption algorithm module 'noSUCH' not found");
    EXPECT_THROW(em.SelectModule("noSUCH"), EDatabaseError);
    EXPECT_EQ(cm.Module(), nullptr);
}

TEST(DataProcessMgr, EveryOperationNeedsAModule) {
    TCompressMgr cm(nullptr);
    TEncryptMgr em(nullptr);
    TMemoryStream s("abc"), d;
    uint8_t buf[4] = {};
    const std::string general = "General error";
    EXPECT_EQ(MessageOf([&] { cm.EncodeStream(&s, &d, -1); }), general);
    EXPECT_EQ(MessageOf([&] { cm.DecodeStream(&s, &d, -1); }), general);
    EXPECT_EQ(MessageOf([&] { em.EncodeStream(&s, &d, -1); }), general);
    EXPECT_EQ(MessageOf([&] { em.DecodeStream(&s, &d, -1); }), general);
    EXPECT_EQ(MessageOf([&] { em.EncodeBuffer(buf, buf, 4); }), general);
    EXPECT_EQ(MessageOf([&] { em.DecodeBuffer(buf, buf, 4); }), general);
    EXPECT_EQ(MessageOf([&] { em.SetEncryptMode(1); }), general);
    EXPECT_EQ(MessageOf([&] { em.InitKey("pw"); }), general);
    EXPECT_EQ(MessageOf([&] { em.ResetFeedback(); }), general);
}

TEST_F(MgrFixture, SelectingTheSameClassKeepsTheInstanceAndItsKey) {
    mgr.SelectModule("testcipher");
    ASSERT_NE(mgr.Module(), nullptr);
    EXPECT_EQ(mgr.Module()->Owner(), &owner);
    TEncryptAlgo* first = mgr.Module();
    mgr.SetEncryptMode(3);
    mgr.InitKey("secret");

    mgr.SelectModule("TESTCIPHER");
    EXPECT_EQ(mgr.Module(), first);
    EXPECT_TRUE(Cipher().Keyed());
    EXPECT_EQ(mgr.Module()->GetEncryptMode(), 3);

    mgr.SelectModule("OtherTestCipher");  // another class: a fresh, unkeyed instance
    EXPECT_NE(dynamic_cast<TOtherTestCipher*>(mgr.Module()), nullptr);
    EXPECT_FALSE(Cipher().Keyed());
    EXPECT_EQ(mgr.Module()->GetEncryptMode(), 0);
}

TEST_F(MgrFixture, EachUnitStartsFromTheInitialVector) {
    mgr.SelectModule("TestCipher");
    mgr.InitKey("secret");
    const std::string plain = "field value";
    std::string a(plain.size(), '\0'), b(plain.size(), '\0');
    mgr.EncodeBuffer(plain.data(), a.data(), static_cast<int32_t>(plain.size()));
    mgr.EncodeBuffer(plain.data(), b.data(), static_cast<int32_t>(plain.size()));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, plain);
    // Decoding twice in a row gives the value both times.
    for (int i = 0; i < 2; ++i) {
        std::string p = a;
        mgr.DecodeBuffer(p.data(), p.data(), static_cast<int32_t>(p.size()));
        EXPECT_EQ(p, plain);
    }
    // Also after a failed unit.
    Cipher().failNext = true;
    std::string c = plain;
    EXPECT_THROW(mgr.EncodeBuffer(c.data(), c.data(), 5), EEncryptException);
    EXPECT_EQ(Cipher().Feedback(), TTestCipher::kInitialVector);
    TMemoryStream src(plain), dst;
    mgr.EncodeStream(&src, &dst, -1);
    EXPECT_EQ(dst.Bytes(), a);
    EXPECT_EQ(Cipher().Feedback(), TTestCipher::kInitialVector);
}

TEST_F(MgrFixture, ModuleProgressGoesToTheOwnersEncryptEvents) {
    mgr.SelectModule("TestCipher");
    mgr.InitKey("k");
    TMemoryStream src(std::string(10000, 'v')), enc, dec;
    mgr.EncodeStream(&src, &enc, -1);
    enc.SetPosition(0);
    mgr.DecodeStream(&enc, &dec, -1);
    EXPECT_EQ(dec.Bytes(), src.Bytes());
    EXPECT_EQ(owner.Percents("encrypt"), (std::vector<int>{0, 41, 82, 100, 0}));
    EXPECT_EQ(owner.Percents("decrypt"), (std::vector<int>{0, 41, 82, 100, 0}));
    EXPECT_TRUE(owner.Percents("compress").empty());
}

TEST_F(MgrFixture, AnUnkeyedModuleFailsEveryTransform) {
    mgr.SelectModule("TestCipher");
    uint8_t buf[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    TMemoryStream s("abc"), d;
    for (auto op : std::initializer_list<std::function<void()>>{
             [&] { mgr.EncodeBuffer(buf, buf, 8); }, [&] { mgr.DecodeBuffer(buf, buf, 8); },
             [&] { mgr.EncodeStream(&s, &d, -1); }, [&] { mgr.DecodeStream(&s, &d, -1); }}) {
        try {
            op();
            ADD_FAILURE() << "transformed without a key";
        } catch (const EEncryptException& e) {
            EXPECT_EQ(e.ErrorCode(), 3);
        }
    }
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(d.Size(), 0);
}

}  // namespace
}  // namespace tarn

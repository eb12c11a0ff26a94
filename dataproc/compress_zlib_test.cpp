// The zlib module: framing, compressed versus copied form, level codes, damaged units and
// progress.
#include "dataproc/compress_zlib.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataproc/data_process_mgr.h"
#include "dataproc/module_registry.h"
#include "dataproc/standard_modules.h"
#include "dataproc/testing/fake_modules.h"
#include "tarndb/errors.h"

namespace tarn {
namespace {

using testing::TRecordingOwner;

std::string Encode(TCompAlgo_Zlib& z, const std::string& value) {
    TMemoryStream source(value), dest("stale");
    z.EncodeStream(&source, &dest, -1);
    return dest.Bytes();
}

std::string Decode(TCompAlgo_Zlib& z, const std::string& unit) {
    TMemoryStream source(unit), dest("stale");
    z.DecodeStream(&source, &dest, -1);
    return dest.Bytes();
}

std::string Int32LE(int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    return std::string{static_cast<char>(u), static_cast<char>(u >> 8), static_cast<char>(u >> 16),
                       static_cast<char>(u >> 24)};
}

// Deterministic bytes: `bits` bits of entropy per byte (8 = incompressible).
std::string Noise(size_t n, int bits, uint32_t seed = 12345) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        s[i] = static_cast<char>(((seed >> 16) & ((1u << bits) - 1)) + (bits < 8 ? 'A' : 0));
    }
    return s;
}

template <class F>
std::string ErrorOf(F f) {
    try {
        f();
    } catch (const EReadError& e) {
        return "EReadError: " + e.Message();
    } catch (const EDecompressionError& e) {
        return "EDecompressionError: " + e.Message();
    } catch (const Exception& e) {
        return "other: " + e.Message();
    }
    return "(no error)";
}

TEST(Zlib, EmptyOneByteAndIncompressibleValues) {
    TCompAlgo_Zlib z(nullptr);
    EXPECT_EQ(z.GetCompressLevel(), 1);
    EXPECT_EQ(Encode(z, ""), "");
    EXPECT_EQ(Decode(z, ""), "");
    EXPECT_EQ(Encode(z, "Q"), std::string("\xff\xff\xff\xffQ", 5));
    EXPECT_EQ(Decode(z, std::string("\xff\xff\xff\xffQ", 5)), "Q");

    const std::string random = Noise(10000, 8);
    const std::string unit = Encode(z, random);
    ASSERT_EQ(unit.size(), random.size() + 4);
    EXPECT_EQ(unit.substr(0, 4), Int32LE(-10000));
    EXPECT_EQ(unit.substr(4), random);
    EXPECT_EQ(Decode(z, unit), random);
}

TEST(Zlib, ZerosAreStoredCompressedWithTheDefaultLevel) {
    TCompAlgo_Zlib z(nullptr);
    const std::string zeros(100000, '\0');
    const std::string unit = Encode(z, zeros);
    ASSERT_GT(unit.size(), 6u);
    EXPECT_LT(unit.size(), 1000u);
    EXPECT_EQ(unit.substr(0, 6), std::string("\xa0\x86\x01\x00\x78\x9c", 6));
    EXPECT_EQ(Decode(z, unit), zeros);
}

TEST(Zlib, LevelCodesChooseTheZlibLevel) {
    struct Case {
        uint8_t code;
        int zlibLevel;
        const char* header;  // second byte of the zlib header (FLEVEL), or null: copied form
    };
    const Case cases[] = {{0, 9, "\xda"}, {1, -1, "\x9c"}, {2, 1, "\x01"},
                          {3, 1, "\x01"}, {4, 0, nullptr}, {255, 0, nullptr}};
    const std::string text = Noise(50000, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(int{c.code});
        EXPECT_EQ(TCompAlgo_Zlib::ZlibLevel(c.code), c.zlibLevel);
        TCompAlgo_Zlib z(nullptr);
        z.SetCompressLevel(c.code);
        EXPECT_EQ(z.GetCompressLevel(), c.code);
        const std::string unit = Encode(z, text);
        if (c.header != nullptr) {
            EXPECT_EQ(unit.substr(0, 4), Int32LE(50000));
            EXPECT_EQ(unit[5], c.header[0]);
        } else {
            // Stored deflate blocks are longer than the value: the copied form wins.
            EXPECT_EQ(unit.substr(0, 4), Int32LE(-50000));
        }
        EXPECT_EQ(Decode(z, unit), text);
    }
}

TEST(Zlib, TheInt32DecidesHowMuchComesOut) {
    TCompAlgo_Zlib z(nullptr);
    const std::string text(5000, 'a');
    const std::string unit = Encode(z, text);
    const std::string stream = unit.substr(4);

    // Copied form: the magnitude is not compared with what follows.
    EXPECT_EQ(Decode(z, Int32LE(-5) + "0123456789"), "0123456789");
    // Smaller than the real size: the first H bytes; bytes after them are not examined.
    EXPECT_EQ(Decode(z, Int32LE(100) + stream), std::string(100, 'a'));
    EXPECT_EQ(Decode(z, Int32LE(0) + stream), "");
    EXPECT_EQ(Decode(z, Int32LE(5000) + stream + "trailing junk"), text);
    // Larger than the real size: the stream ends first.
    EXPECT_EQ(ErrorOf([&] { Decode(z, Int32LE(5001) + stream); }), "EReadError: Stream read error");
    // A huge claimed size on a small unit fails the same way (and allocates nothing huge).
    EXPECT_EQ(ErrorOf([&] { Decode(z, Int32LE(0x7fffffff) + stream); }),
              "EReadError: Stream read error");
    // Input runs out before the value is complete.
    EXPECT_EQ(ErrorOf([&] { Decode(z, unit.substr(0, unit.size() / 2)); }),
              "EReadError: Stream read error");
    // Fewer than four bytes.
    for (const char* shortUnit : {"\x01", "\x01\x02", "\x01\x02\x03"}) {
        EXPECT_EQ(ErrorOf([&] { Decode(z, shortUnit); }), "EReadError: Stream read error");
    }
}

TEST(Zlib, DamagedStreamsAreDecompressionErrors) {
    TCompAlgo_Zlib z(nullptr);
    const std::string unit = Encode(z, std::string(100000, '\0'));
    ASSERT_EQ(static_cast<uint8_t>(unit[4]), 0x78);
    std::string badHeader = unit;
    badHeader[4] = '\x79';
    EXPECT_EQ(ErrorOf([&] { Decode(z, badHeader); }), "EDecompressionError: error");
    std::string badMethod = unit;
    badMethod[4] = '\x7a';  // method 10, header check no longer matches either
    EXPECT_EQ(ErrorOf([&] { Decode(z, badMethod); }), "EDecompressionError: error");
    std::string badBlock = unit;
    badBlock[6] = '\xff';  // an invalid block type
    EXPECT_EQ(ErrorOf([&] { Decode(z, badBlock); }), "EDecompressionError: error");
}

TEST(Zlib, CompressionProgressPerFullOutputBuffer) {
    TCompAlgo_Zlib z(nullptr);
    std::vector<int> reports;
    z.OnEncodeProgress = [&](void*, int p) { reports.push_back(p); };
    Encode(z, std::string(100000, '\0'));  // compressed stream far below 64 KiB
    EXPECT_TRUE(reports.empty());

    const std::string value = Noise(600000, 4);
    const std::string unit = Encode(z, value);
    EXPECT_EQ(unit.substr(0, 4), Int32LE(600000));
    const size_t fullBuffers = (unit.size() - 4) / TCompAlgo_Zlib::kBufferSize;
    ASSERT_GE(fullBuffers, 2u);
    EXPECT_GE(reports.size(), 1u);
    EXPECT_LE(reports.size(), fullBuffers);
    for (size_t i = 0; i < reports.size(); ++i) {
        EXPECT_GT(reports[i], 0);
        EXPECT_LE(reports[i], 100);
        if (i > 0) {
            EXPECT_GE(reports[i], reports[i - 1]);
        }
    }
}

TEST(Zlib, DecompressionProgressAtEachInputRefill) {
    TCompAlgo_Zlib z(nullptr);
    std::vector<int> reports;
    z.OnDecodeProgress = [&](void*, int p) { reports.push_back(p); };
    const std::string value = Noise(600000, 4);
    const std::string unit = Encode(z, value);
    ASSERT_EQ(Decode(z, unit), value);
    // Refills happen with 0, 65536, 131072 ... stored bytes consumed; the last stays < 100.
    std::vector<int> expected;
    const size_t stored = unit.size() - 4;
    for (size_t done = 0; done < stored; done += TCompAlgo_Zlib::kBufferSize) {
        expected.push_back(
            ProgressPercent(static_cast<int64_t>(done), static_cast<int64_t>(unit.size())));
    }
    EXPECT_EQ(reports, expected);
    EXPECT_EQ(reports.front(), 0);

    reports.clear();
    Decode(z, Int32LE(-3) + "abc");  // copied form: no reports
    EXPECT_TRUE(reports.empty());
}

TEST(Zlib, RegisteredAsZlibAndRoutedToTheOwnersEvents) {
    RegisterStandardModules();
    RegisterStandardModules();  // idempotent
    int zlibEntries = 0;
    for (const auto& e : CompressModuleList().Entries()) {
        if (e.Class == TCompressAlgoClass::Of<TCompAlgo_Zlib>()) {
            ++zlibEntries;
            EXPECT_EQ(e.Name, "ZLIB");
        }
    }
    EXPECT_EQ(zlibEntries, 1);

    TRecordingOwner owner;
    TCompressMgr mgr(&owner);
    for (const char* name : {"zlib", "ZLIB", "Zlib"}) {
        mgr.SelectModule(name);
        EXPECT_NE(dynamic_cast<TCompAlgo_Zlib*>(mgr.Module()), nullptr) << name;
    }
    const std::string value = Noise(600000, 4);
    TMemoryStream source(value), unit, back;
    mgr.EncodeStream(&source, &unit, unit.Size());
    mgr.DecodeStream(&unit, &back, -1);
    EXPECT_EQ(back.Bytes(), value);
    EXPECT_FALSE(owner.Percents("compress").empty());
    EXPECT_EQ(owner.Percents("uncompress").front(), 0);
    EXPECT_TRUE(owner.Percents("encrypt").empty());
}

}  // namespace
}  // namespace tarn

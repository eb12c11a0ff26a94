// One run of the filter language over an arbitrary input, shared by the libFuzzer target
// (fuzz/filter_fuzz.cpp) and the test that replays the kept fuzz inputs. The first byte
// picks the options, the decimal separator and one of four records (ordinary values, edge
// values, NaN and negative days, slots without NUL); the rest is the filter text. Parsing
// and evaluating may raise only the errors the language specifies (EDatabaseError,
// EConvertError, EZeroDivide); anything else escapes to the caller.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "platform/text/convert.h"
#include "tarndb/filter/filter_parser.h"
#include "tarndb/filter/testing/fake_data_source.h"

namespace tarn::testing {

inline void FillRecord(FakeDataSource& ds, int variant) {
    switch (variant) {
        case 0:
            ds.SetString("Name", "abc");
            ds.SetString("Name2", "\xB4\xE6\xB4\xA2");
            ds.SetInt("Int", 3);
            ds.SetInt("Small", -2);
            ds.SetInt("Word", 40000);
            ds.SetInt("Active", 1);
            ds.SetFloat("Price", 2.5);
            ds.SetFloat("Amount", 10);
            ds.SetDate("Day", 2020, 1, 2);
            ds.SetTime("Clock", 10, 30, 0);
            ds.SetDateTime("Stamp", 2020, 1, 2, 10, 30, 0);
            ds.SetDateTime("Order Date", 1899, 12, 29, 6, 0, 0);
            ds.SetInt("Auto", 7);
            ds.SetString("Code", "xy");
            ds.SetInt("Big", 1LL << 40);
            ds.SetInt("\xB4\xE6\xB4\xA2\xC7\xF8\xD0\xF2\xBA\xC5", 3);
            ds.SetInt("Calc", 5);
            ds.SetString("Wide", "w");
            ds.SetBlob("Memo", "memo text");
            ds.SetBlob("Ole", std::string("ole\0bytes", 9));
            break;
        case 1:
            ds.SetInt("Int", INT32_MIN);
            ds.SetInt("Small", INT16_MIN);
            ds.SetInt("Word", 0xFFFF);
            ds.SetInt("Big", INT64_MIN);
            ds.SetFloat("Price", std::numeric_limits<double>::max());
            ds.SetFloat("Amount", -std::numeric_limits<double>::infinity());
            ds.SetInt("Day", INT32_MAX);
            ds.SetInt("Clock", INT32_MAX);
            ds.SetFloat("Stamp", 1e300);
            ds.SetString("Name", std::string(20, 'z'));
            ds.SetBlob("Memo", std::string(300, '%'));
            break;
        case 2:
            ds.SetFloat("Price", std::nan(""));
            ds.SetFloat("Stamp", std::nan(""));
            ds.SetFloat("Order Date", -1e18);
            ds.SetInt("Day", -5);
            ds.SetInt("Clock", -1);
            ds.SetInt("Int", 0);
            ds.SetInt("Active", 256);
            break;
        default:
            // Slots filled to the end without a NUL, blobs with double-byte and broken text.
            for (const char* f : {"Name", "Name2", "Code", "Wide"}) {
                uint8_t* slot = ds.Slot(f);
                const auto& info = ds.Fields[static_cast<size_t>(ds.Index(f))].Info;
                std::memset(slot, 0xB4, static_cast<size_t>(info.Size));
            }
            ds.SetBlob("Memo", "\xD6\xD0\xCE\xC4\x94\x39\xFC\x36\xB4");
            ds.SetBlob("Ole", "\xFF\x80");
            break;
    }
}

inline void RunFilterInput(const uint8_t* data, size_t size) {
    if (size == 0) return;
    const uint8_t flags = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    FakeDataSource ds = FakeDataSource::EveryType();
    FillRecord(ds, (flags >> 2) & 3);
    static const TCollator root("C");
    TFormatSettings saved = FormatSettings();
    if (flags & 0x10) FormatSettings().DecimalSeparator = ',';
    struct Restore {
        TFormatSettings& target;
        TFormatSettings value;
        ~Restore() { target = value; }
    } restore{FormatSettings(), saved};
    TFilterParser parser(&ds);
    parser.SetCollator(&root);
    const TEvalOptions options{(flags & 1) != 0, (flags & 2) != 0};
    try {
        parser.Parse(text);
    } catch (const EDatabaseError&) {
        return;
    } catch (const EConvertError&) {
        return;
    }
    for (int round = 0; round < 2; ++round) {
        try {
            parser.Calculate(options);
        } catch (const EDatabaseError&) {
        } catch (const EConvertError&) {
        } catch (const EZeroDivide&) {
        }
        FillRecord(ds, round + 1);
        if (flags & 0x20) ds.Record.resize(ds.Record.size() / 2);  // a buffer too short
    }
}

}  // namespace tarn::testing

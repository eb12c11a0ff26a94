// Evaluating a compiled filter for record after record must not allocate: fields are read
// in place, constants and results live in buffers sized when the text was parsed, and string
// comparison converts into buffers that are reused. This test counts every C++ allocation
// (a replaced global operator new) and every ICU allocation (ICU's memory hooks) while a
// filter is evaluated over many different records.
#include <gtest/gtest.h>
#include <unicode/uclean.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tarndb/filter/filter_parser.h"
#include "tarndb/filter/testing/fake_data_source.h"

namespace {

std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};

void* CountedMalloc(size_t n) {
    if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
    void* p = std::malloc(n == 0 ? 1 : n);
    return p;
}

void* IcuAlloc(const void*, size_t n) { return CountedMalloc(n); }
void* IcuRealloc(const void*, void* p, size_t n) {
    if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
    return std::realloc(p, n);
}
void IcuFree(const void*, void* p) { std::free(p); }

// Installed before main, so that ICU allocates through the counters from its first use.
const bool gIcuHooked = [] {
    UErrorCode status = U_ZERO_ERROR;
    u_setMemoryFunctions(nullptr, IcuAlloc, IcuRealloc, IcuFree, &status);
    return U_SUCCESS(status);
}();

}  // namespace

__attribute__((noinline)) void* operator new(size_t n) {
    void* p = CountedMalloc(n);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return CountedMalloc(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return CountedMalloc(n); }
// Not inlined: the compiler would otherwise see free() meet a pointer from operator new.
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, size_t) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace tarn {
namespace {

using testing::FakeDataSource;

TEST(FilterAllocation, CountersSeeAllocations) {
    ASSERT_TRUE(gIcuHooked);
    gAllocations = 0;
    gCounting = true;
    auto* p = new int(1);
    TCollator probe("C");  // opens ICU collators
    gCounting = false;
    delete p;
    EXPECT_GE(gAllocations.load(), 2);
}

TEST(FilterAllocation, ComparisonsAllocateNothingPerRecord) {
    const std::string zhong = "\xD6\xD0\xCE\xC4";  // 中文
    const char* const filters[] = {
        "Int = 3",
        "Int >= 3 AND Price < 2.5 OR Big <> 7",
        "Name = 'abc'",
        "Name = 'AB*'",
        "Name > 'b' AND Code <> 'x'",
        "Name2 = '\xD6\xD0\xCE\xC4*'",
        "Stamp = '1/2/2020' AND Day <= '1/2/2020 10:00' AND Clock < '10:00'",
        "Int IN (1, 2, 3) OR Name IN ('x', 'y')",
        "NOT Active AND Active = False",
        "Int + 1 > Small * 2 AND Price / 2 > 0.1 AND Day + 1 > Day",
        "Name LIKE 'a%c'",
    };
    TCollator root("C");
    for (const char* text : filters) {
        FakeDataSource ds = FakeDataSource::EveryType();
        TFilterParser parser(&ds);
        parser.SetCollator(&root);
        parser.Parse(text);
        for (bool caseless : {false, true}) {
            const TEvalOptions options{caseless, false};
            // First evaluation: per-thread conversion buffers may grow here.
            ds.SetString("Name", "abcdefghij");
            ds.SetString("Name2", zhong + zhong + zhong);
            parser.Calculate(options);
            gAllocations = 0;
            gCounting = true;
            for (int i = 0; i < 500; ++i) {
                codec::PutI32(ds.Slot("Int"), i % 5);
                codec::PutF64(ds.Slot("Price"), i * 0.01);
                codec::PutI32(ds.Slot("Day"), 737420 + i % 10);
                codec::PutF64(ds.Slot("Stamp"), (737420.0 + i % 10) * 86400000);
                ds.Slot("Name")[0] = static_cast<uint8_t>('a' + i % 3);
                ds.Slot("Name2")[1] = static_cast<uint8_t>(0xD0 + i % 2);
                ds.Slot("Active")[0] = static_cast<uint8_t>(i % 2);
                parser.Calculate(options);
            }
            gCounting = false;
            EXPECT_EQ(gAllocations.load(), 0) << text << (caseless ? " (ignoring case)" : "");
        }
    }
}

}  // namespace
}  // namespace tarn

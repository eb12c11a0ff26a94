#include "app/retention.h"

#include <gtest/gtest.h>

#include <string>

namespace filever {
namespace {

constexpr int64_t kNow = 1'000'000'000;
constexpr int64_t kMin = 60, kHour = 3600, kDay = 86400;

TRetentionItem V(int64_t age, int32_t file = 1, int64_t bytes = 100, bool described = false) {
    return {file, age < 0 ? -1 : kNow - age, bytes, described};
}

TEST(Retention, SelectsWhatTheSettingLetsGo) {
    const TRetentionPolicy all{};
    const TRetentionPolicy last2{TRetentionMode::KeepLast, 2, 0};
    const TRetentionPolicy staggered{TRetentionMode::Staggered, 0, 0};
    struct Case {
        const char* name;
        std::vector<TRetentionItem> items;
        TRetentionPolicy policy;
        std::vector<size_t> removed;
    } cases[] = {
        {"keep all", {V(5 * kDay), V(kDay), V(kHour), V(0)}, all, {}},
        {"keep the last two", {V(4 * kMin), V(3 * kMin), V(2 * kMin), V(kMin)}, last2, {0, 1}},
        {"keep the last two, each file by itself",
         {V(9, 1), V(8, 2), V(7, 1), V(6, 2), V(5, 1), V(4, 2)},
         last2,
         {0, 1}},
        {"a described version stays",
         {V(4 * kMin, 1, 100, true), V(3 * kMin), V(2 * kMin), V(kMin)},
         last2,
         {1}},
        {"table order breaks a tie of times: the later is newer",
         {V(kMin), V(kMin), V(kMin)},
         last2,
         {0}},
        {"the newest version stays however old", {V(400 * kDay)}, last2, {}},
        {"a version of unknown time stays", {V(-1), V(2 * kMin), V(kMin), V(0)}, last2, {1}},
        {"staggered: the last hour whole, then an hour, a day, a week apart",
         {V(48 * kDay), V(41 * kDay), V(40 * kDay), V(2 * kDay + 3 * kHour), V(2 * kDay),
          V(2 * kHour), V(kHour + 40 * kMin), V(kHour + 10 * kMin), V(50 * kMin), V(30 * kMin),
          V(10 * kMin)},
         staggered,
         {1, 3, 6, 7}},
        {"staggered: a described version stays and counts as kept",
         {V(2 * kHour + 20 * kMin), V(kHour + 30 * kMin, 1, 100, true), V(10 * kMin)},
         staggered,
         {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SelectForRemoval(c.items, c.policy, kNow), c.removed);
    }
}

TEST(Retention, ASizeCapRemovesTheOldestThatMayGoAcrossFiles) {
    // File 1: 300 bytes in three versions, file 2: 200 in two; the newest of each stays.
    const std::vector<TRetentionItem> items = {V(50, 1), V(40, 2), V(30, 1), V(20, 1), V(10, 2)};
    struct Case {
        int64_t cap;
        std::vector<size_t> removed;
    } cases[] = {
        {0, {}},           // no cap
        {500, {}},         // fits
        {450, {0}},        // the oldest goes first
        {350, {0, 1}},     // then the next oldest, of the other file
        {250, {0, 1, 2}},  // all that may go
        {50, {0, 1, 2}},   // still too much: the newest of each file stays all the same
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("cap " + std::to_string(c.cap));
        EXPECT_EQ(SelectForRemoval(items, {TRetentionMode::KeepAll, 0, c.cap}, kNow), c.removed);
    }
    // With a mode, the cap counts only what the mode kept: the last two of file 1 leave
    // 400 bytes, and the oldest of what stays (file 2's older version) goes.
    EXPECT_EQ(SelectForRemoval(items, {TRetentionMode::KeepLast, 2, 400}, kNow),
              (std::vector<size_t>{0}));
    EXPECT_EQ(SelectForRemoval(items, {TRetentionMode::KeepLast, 2, 350}, kNow),
              (std::vector<size_t>{0, 1}));
}

}  // namespace
}  // namespace filever

#include "app/retention.h"

#include <algorithm>
#include <map>

namespace filever {
namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 24 * kHour;

// How far apart kept versions of this age must be (0: all kept).
int64_t Spacing(int64_t age) {
    if (age <= kHour) return 0;
    if (age <= kDay) return kHour;
    if (age <= 30 * kDay) return kDay;
    return 7 * kDay;
}

}  // namespace

std::vector<size_t> SelectForRemoval(const std::vector<TRetentionItem>& items,
                                     const TRetentionPolicy& policy, int64_t now) {
    std::vector<bool> remove(items.size(), false);
    std::vector<bool> mayGo(items.size(), false);

    // Each file's versions, newest first.
    std::map<int32_t, std::vector<size_t>> byFile;
    for (size_t i = 0; i < items.size(); ++i) byFile[items[i].File].push_back(i);
    for (auto& [file, list] : byFile) {
        std::stable_sort(list.begin(), list.end(), [&](size_t a, size_t b) {
            if (items[a].Time != items[b].Time) return items[a].Time > items[b].Time;
            return a > b;
        });
        int64_t lastKept = list.empty() ? 0 : items[list[0]].Time;
        for (size_t rank = 0; rank < list.size(); ++rank) {
            const size_t i = list[rank];
            const TRetentionItem& v = items[i];
            const bool protectedVersion = rank == 0 || v.Described || v.Time < 0;
            mayGo[i] = !protectedVersion;
            if (protectedVersion) {
                if (v.Time >= 0) lastKept = v.Time;
                continue;
            }
            switch (policy.Mode) {
                case TRetentionMode::KeepAll:
                    break;
                case TRetentionMode::KeepLast:
                    remove[i] = rank >= static_cast<size_t>(std::max(policy.KeepCount, 1));
                    break;
                case TRetentionMode::Staggered: {
                    const int64_t spacing = Spacing(now - v.Time);
                    remove[i] = spacing != 0 && lastKept - v.Time < spacing;
                    break;
                }
            }
            if (!remove[i]) lastKept = v.Time;
        }
    }

    if (policy.SizeCapBytes > 0) {
        int64_t total = 0;
        std::vector<size_t> candidates;
        for (size_t i = 0; i < items.size(); ++i) {
            if (remove[i]) continue;
            total += items[i].Bytes;
            if (mayGo[i]) candidates.push_back(i);
        }
        // Oldest first.
        std::stable_sort(candidates.begin(), candidates.end(), [&](size_t a, size_t b) {
            if (items[a].Time != items[b].Time) return items[a].Time < items[b].Time;
            return a < b;
        });
        for (size_t i : candidates) {
            if (total <= policy.SizeCapBytes) break;
            remove[i] = true;
            total -= items[i].Bytes;
        }
    }

    std::vector<size_t> out;
    for (size_t i = 0; i < items.size(); ++i)
        if (remove[i]) out.push_back(i);
    return out;
}

}  // namespace filever

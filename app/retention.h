// Which stored versions an area's retention setting lets go. The rule alone, without the
// catalogue or the clock: the caller gives every version's time and size and the time now.
//
// Settings, per area:
//   KeepAll    every version stays (the setting of a new area, and of every area of a
//              catalogue made before there were settings).
//   KeepLast   the newest KeepCount versions of each file stay.
//   Staggered  thinned out with age: every version of the last hour; of those older than
//              an hour, up to a day old, kept versions at least an hour apart; up to 30
//              days old, a day apart; older, a week apart. Going from the newest to the
//              oldest, a version stays when it is at least that far from the last one kept.
//   SizeCapBytes (any mode, 0 for none): when what stays still takes more, the oldest
//              versions that may go are removed, across the area's files, until it fits
//              or nothing more may go.
// Never removed: a version with a description, the newest version of each file (the file's
// recorded state is compared against it), and a version whose time is unknown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace filever {

enum class TRetentionMode { KeepAll = 0, KeepLast = 1, Staggered = 2 };

struct TRetentionPolicy {
    TRetentionMode Mode = TRetentionMode::KeepAll;
    int KeepCount = 10;        // KeepLast; at least 1
    int64_t SizeCapBytes = 0;  // 0: no cap
    bool operator==(const TRetentionPolicy&) const = default;
};

struct TRetentionItem {
    int32_t File = 0;        // the versions of one file are thinned together
    int64_t Time = -1;       // seconds since the epoch; below 0: unknown (kept)
    int64_t Bytes = 0;       // what removing it frees
    bool Described = false;  // has a description: kept
};

// The indexes (into `items`, ascending) of the versions to remove at time `now` (seconds
// since the epoch). Among versions of one file with equal times, the later in `items` is
// the newer.
std::vector<size_t> SelectForRemoval(const std::vector<TRetentionItem>& items,
                                     const TRetentionPolicy& policy, int64_t now);

}  // namespace filever

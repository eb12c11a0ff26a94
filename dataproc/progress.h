// Progress reports of long data operations: the event type and the percentage rule shared
// by the data-processing modules (and by any other caller that reports in percent).
#pragma once

#include <cstdint>
#include <functional>

namespace tarn {

// A progress event: `sender` is the object on whose behalf the work runs (for a module, its
// owner; for the database events, the database), `percent` 0 to 100. "Assigned" means
// non-empty. Called on the thread that does the work.
using TOnProgressEvent = std::function<void(void* sender, int percent)>;

// round(done / total * 100) in floating point, halves to even; 0 when total is 0 or less.
int ProgressPercent(int64_t done, int64_t total);

}  // namespace tarn

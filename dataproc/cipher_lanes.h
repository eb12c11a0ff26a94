// Runs a cipher's block routine over many blocks, `MaxLanes` of them side by side at a time
// (independent chains keep the processor busy while each waits on its table look-ups),
// then the blocks left over in one narrower group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace tarn {

// `run(std::integral_constant<size_t, L>{}, first)` transforms the L blocks of `BlockBytes`
// bytes each that start at `first`.
template <size_t MaxLanes, size_t BlockBytes, typename Run>
void RunInLanes(uint8_t* blocks, size_t n, Run&& run) {
    for (; n >= MaxLanes; n -= MaxLanes, blocks += MaxLanes * BlockBytes)
        run(std::integral_constant<size_t, MaxLanes>{}, blocks);
    if constexpr (MaxLanes > 1) {
        if (n > 0) RunInLanes<MaxLanes - 1, BlockBytes>(blocks, n, run);
    }
}

}  // namespace tarn

// The record list's position checks raise the engine's error, like every error a caller of
// the engine can see.
#include "tarndb/record_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tarndb/errors.h"

namespace tarn {
namespace {

TEST(RecordList, PositionsOutsideTheListRaiseEDatabaseError) {
    TRecordList list;
    list.Insert(0, TRecordEntry{100, 0});
    list.Insert(1, TRecordEntry{200, 1});
    EXPECT_EQ(list.At(1).dataOffset, 200);
    EXPECT_THROW(list.At(2), EDatabaseError);
    EXPECT_THROW(list.At(-1), EDatabaseError);
    EXPECT_THROW(list.Insert(3, TRecordEntry{300, 2}), EDatabaseError);
    EXPECT_THROW(list.Erase(2), EDatabaseError);
    EXPECT_EQ(list.Count(), 2);
}

// Every operation against a flat array, on lists whose record numbers run on by one (as
// list 0 is read and appended to) and are then broken up by inserts and erases anywhere.
TEST(RecordList, BehavesAsAFlatArrayThroughRunsAndTheirBreaking) {
    std::mt19937 rng(7);
    for (int round = 0; round < 3; ++round) {
        TRecordList list;
        std::vector<TRecordEntry> model;
        // Bulk loads as the record-table blocks give them: a run, a block with deletions.
        for (int32_t block = 0; block < 3; ++block) {
            std::vector<TRecordEntry> chunk;
            for (int32_t i = 0; i < 1024; ++i)
                if (block != 1 || i % 3 != 0)
                    chunk.push_back({5000 + block * 1024 + i, block * 1024 + i});
            model.insert(model.end(), chunk.begin(), chunk.end());
            list.AppendChunk(std::move(chunk));
        }
        int32_t next = 3 * 1024;
        for (int step = 0; step < 6000; ++step) {
            const int n = static_cast<int>(model.size());
            const unsigned op = rng() % 8;
            if (op < 3 || n == 0) {  // append the next record, sometimes after a gap
                if (rng() % 16 == 0) next += 2;
                TRecordEntry e{static_cast<int32_t>(rng() % 100000), next++};
                list.PushBack(e);
                model.push_back(e);
            } else if (op < 5) {  // erase at either end of a chunk or anywhere
                int p = rng() % 2 ? static_cast<int>(rng() % static_cast<unsigned>(n))
                                  : (rng() % 2 ? 0 : n - 1);
                list.Erase(p);
                model.erase(model.begin() + p);
            } else if (op < 6) {
                int p = static_cast<int>(rng() % static_cast<unsigned>(n + 1));
                TRecordEntry e{static_cast<int32_t>(rng() % 100000),
                               static_cast<int32_t>(rng() % 9000)};
                list.Insert(p, e);
                model.insert(model.begin() + p, e);
            } else {
                int p = static_cast<int>(rng() % static_cast<unsigned>(n));
                ASSERT_EQ(list.At(p), model[static_cast<size_t>(p)]) << "step " << step;
            }
        }
        ASSERT_EQ(list.Count(), static_cast<int>(model.size()));
        ASSERT_EQ(list.ToVector(), model);
        for (int32_t r = 0; r < next + 2; r += 7) {
            auto it = std::find_if(model.begin(), model.end(),
                                   [&](const TRecordEntry& e) { return e.recNo == r; });
            EXPECT_EQ(list.FindRecNo(r),
                      it == model.end() ? -1 : static_cast<int>(it - model.begin()))
                << r;
        }
        list.Assign(model);
        EXPECT_EQ(list.ToVector(), model);
    }
}

// Chunks that split as inserts fill them and chunks that empty as erases take their last
// entry: every position still means what it means in a flat array.
TEST(RecordList, SplitAndEmptiedChunksKeepEveryPosition) {
    TRecordList list;
    std::vector<TRecordEntry> model;
    for (int32_t i = 0; i < 6; ++i) {  // small chunks, as a list loaded block by block
        std::vector<TRecordEntry> chunk = {{100 + i, 2 * i}, {200 + i, 2 * i + 1}};
        model.insert(model.end(), chunk.begin(), chunk.end());
        list.AppendChunk(std::move(chunk));
    }
    auto same = [&] {
        ASSERT_EQ(list.Count(), static_cast<int>(model.size()));
        for (int p = 0; p < list.Count(); ++p)
            ASSERT_EQ(list.At(p), model[static_cast<size_t>(p)]) << "position " << p;
    };
    // Empty the second and fifth chunks, from their front and from their back.
    for (int p : {2, 2, 7, 6}) {
        list.Erase(p);
        model.erase(model.begin() + p);
        same();
    }
    // Fill one place until its chunk splits several times, then the front.
    for (int32_t i = 0; i < 3 * static_cast<int32_t>(TRecordList::kMaxChunk); ++i) {
        int p = i % 2 ? 3 : 0;
        list.Insert(p, {i, 1000 + i});
        model.insert(model.begin() + p, {i, 1000 + i});
    }
    same();
    while (!model.empty()) {  // and take it all away again, from the middle
        int p = static_cast<int>(model.size() / 2);
        list.Erase(p);
        model.erase(model.begin() + p);
        if (model.size() % 997 == 0) same();
    }
    same();
}

// Lower bounds on a list kept in ascending record number, inside runs, in chunks with gaps
// and between chunks.
TEST(RecordList, LowerBoundByRecordNumberInRunsAndGaps) {
    TRecordList list;
    std::vector<TRecordEntry> model;
    for (int32_t r = 0; r < 5000; ++r)
        if (r < 2048 || r % 5 != 0) model.push_back({r * 10, r});
    for (size_t from = 0; from < model.size(); from += 1000)
        list.AppendChunk(std::vector<TRecordEntry>(
            model.begin() + static_cast<long>(from),
            model.begin() + static_cast<long>(std::min(model.size(), from + 1000))));
    list.Erase(500);  // breaks the first run in the middle
    model.erase(model.begin() + 500);
    for (int32_t r = -1; r <= 5001; ++r) {
        auto it = std::lower_bound(model.begin(), model.end(), r,
                                   [](const TRecordEntry& e, int32_t v) { return e.recNo < v; });
        ASSERT_EQ(list.LowerBoundRecNo(r), static_cast<int>(it - model.begin())) << r;
    }
}

}  // namespace
}  // namespace tarn

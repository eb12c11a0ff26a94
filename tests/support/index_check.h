// Test helpers for indexed tables: checks that the key lists of a loaded table hold exactly
// its live records in key order, and that the chains in the file say the same. The chains
// are read here with a walk of their own, strictly (no link beyond the last record, no
// loop, no record missing), so that a loader which forgives too much cannot hide a fault.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tarndb/file_format.h"
#include "tarndb/file_io.h"
#include "tarndb/index_links.h"
#include "tarndb/indexes.h"
#include "tarndb/table_io.h"
#include "tests/support/table_fixture.h"

namespace tarn::testing {

inline std::vector<int32_t> RecNos(const TRecordList& list) {
    std::vector<int32_t> out;
    for (const TRecordEntry& e : list.ToVector()) out.push_back(e.recNo);
    return out;
}

// Every key list holds exactly the records of list 0, each once, adjacent entries in key
// order (compared through the engine's own CompareKey on the fetched record).
inline void ExpectListsConsistent(TTarnTableIO& table, const std::string& where = "") {
    SCOPED_TRACE(where);
    std::vector<TRecordEntry> live = table.RecordList(0).ToVector();
    std::set<int32_t> liveSet;
    for (const TRecordEntry& e : live) liveSet.insert(e.recNo);
    for (int i = 0; i < table.IndexCount(); ++i) {
        SCOPED_TRACE("index " + table.IndexDefs()[i].Name());
        const TRecordList& list = table.RecordList(i + 1);
        std::vector<TRecordEntry> entries = list.ToVector();
        ASSERT_EQ(entries.size(), live.size());
        std::set<int32_t> seen;
        for (const TRecordEntry& e : entries) {
            EXPECT_TRUE(liveSet.count(e.recNo)) << "record " << e.recNo << " is not live";
            EXPECT_TRUE(seen.insert(e.recNo).second) << "record " << e.recNo << " twice";
            auto it =
                std::lower_bound(live.begin(), live.end(), e.recNo,
                                 [](const TRecordEntry& x, int32_t r) { return x.recNo < r; });
            if (it != live.end() && it->recNo == e.recNo) {
                EXPECT_EQ(it->dataOffset, e.dataOffset);
            }
        }
        RecordBuffer rec(table);
        for (size_t j = 0; j + 1 < entries.size(); ++j) {
            rec.Fetch(i + 1, static_cast<int>(j));
            TFieldBuffers fb = rec.Buffers();
            EXPECT_LE(TTableIndexes::CompareKey(table, fb, entries[j + 1].recNo, i, 0, false), 0)
                << "records " << entries[j].recNo << " and " << entries[j + 1].recNo
                << " out of key order";
        }
    }
}

// The last load of `table` found nothing in the chains to work around or repair: what a
// file written only by operations that finished must give. (The load copes with damage and
// the traces of a crash, and an open for writing repairs them, so a load that succeeds says
// nothing by itself about the chains a writer left.)
inline void ExpectLoadFoundNothing(const TTarnTableIO& table, const std::string& where = "") {
    SCOPED_TRACE(where);
    const std::vector<std::string>& found = table.IndexRepair().findings;
    EXPECT_TRUE(found.empty()) << found.size() << " findings, the first: "
                               << (found.empty() ? std::string() : found.front());
}

// The chains read from the file equal the in-memory key lists; the header in memory is the
// one in the file and carries no mark of an unfinished rewrite.
inline void ExpectChainsMatch(TTarnTableIO& table, const std::string& where = "") {
    SCOPED_TRACE(where);
    ExpectListsConsistent(table);
    TTarnDBFileIO& io = table.File();
    format::TableHeader header;
    io.ReadTableHeader(table.TableNo(), header);
    EXPECT_TRUE(header.raw == table.Header().raw)
        << "the table header in memory differs from the file";
    EXPECT_EQ(index_disk::MovingRecord(header), -1);
    std::vector<format::RecordTabItem> items;
    std::vector<int32_t> recBlocks;
    io.ReadRecordTable(header, items, recBlocks);
    const int32_t total = header.RecordTotal();
    for (int i = 0; i < table.IndexCount(); ++i) {
        SCOPED_TRACE("chain of index " + table.IndexDefs()[i].Name());
        std::vector<format::IndexTabItem> links;
        std::vector<int32_t> blocks;
        io.ReadIndexTable(header, i, links, blocks);
        if (total == 0) {
            EXPECT_EQ(header.IndexTabOffset(i), 0);
            EXPECT_TRUE(table.RecordList(i + 1).Empty());
            continue;
        }
        ASSERT_NE(header.IndexTabOffset(i), 0);
        ASSERT_EQ(links.size(), static_cast<size_t>(total));
        std::vector<int32_t> chain;
        std::vector<bool> seen(static_cast<size_t>(total), false);
        for (int32_t k = header.IndexHead(i); k != -1;
             k = links[static_cast<size_t>(k)].nextRecord) {
            ASSERT_GE(k, 0);
            ASSERT_LT(k, total) << "the chain links beyond the last record";
            ASSERT_FALSE(seen[static_cast<size_t>(k)])
                << "the chain visits record " << k << " twice";
            seen[static_cast<size_t>(k)] = true;
            EXPECT_EQ(links[static_cast<size_t>(k)].ownRecord, k);
            if (!items[static_cast<size_t>(k)].deleted) chain.push_back(k);
        }
        EXPECT_EQ(chain, RecNos(table.RecordList(i + 1)));
    }
}

}  // namespace tarn::testing

// The on-disk side of key order: index-table items and blocks, and two words of
// bookkeeping this engine keeps in the table header's uninterpreted tail.
//
// Index table of one index: a chain of 8196-byte blocks (next-block offset, then 1024
// items of 8 bytes: OwnRecord, NextRecord), item k at block k div 1024, offset
// 4 + (k mod 1024) * 8. The records in key order are the chain from IndexHead along
// NextRecord (-1 ends it).
//
// Header tail (16 bytes at 4805 that other readers do not interpret):
// OFFSET  SIZE  MEANING
// 4805    4     change count: bumped by every delete (of any table) and key move of an
//               indexed table, so that another connection sees under the lock, from the
//               header alone, that its record lists are stale
// 4809    4     record being moved + 1 (0: none): set while a rewrite moves a record in
//               the chains; a load that finds it set puts that record in its place by key
// 4813    8     not interpreted
//
// All functions bounds-check against the block offsets they are given and raise the
// damaged-file error (EDatabaseError) rather than touch bytes outside the index table.
#pragma once

#include <cstdint>
#include <vector>

#include "tarndb/file_format.h"
#include "tarndb/record_list.h"

namespace tarn {

class TTarnDBFileIO;

namespace format {
constexpr size_t kHdrChangeCount = 4805;
constexpr size_t kHdrMovingRecord = 4809;
}  // namespace format

namespace index_disk {

int32_t ChangeCount(const format::TableHeader& h);
void SetChangeCount(format::TableHeader& h, int32_t v);
// The record number being moved, or -1.
int32_t MovingRecord(const format::TableHeader& h);
void SetMovingRecord(format::TableHeader& h, int32_t recNo);
// Offsets of an index entry's fields inside the table header.
size_t IndexTabOffsetAt(int index);
size_t IndexHeadAt(int index);

// File offset of item `recNo` of the index table whose blocks are `blocks`.
int64_t ItemOffset(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t recNo);
int32_t ReadNext(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t recNo);
// Rewrites the NextRecord word of item `recNo` (4 bytes).
void WriteNext(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t recNo, int32_t next);
// Writes item `recNo` whole: (recNo, next).
void WriteItem(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t recNo, int32_t next);
// Appends a zeroed block whose item 0 is (firstRecNo, next) at the end of the file and
// links it from `previousLast` (0: no previous block). Returns its offset.
int32_t AppendBlock(TTarnDBFileIO& io, int32_t previousLast, int32_t firstRecNo, int32_t next);
// The item just beyond `total` items (the item an unfinished append of record `total`
// wrote), reached through the next-block link of the last block when it starts a new
// block. Returns false when there is no such block.
bool ReadItemBeyond(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t total,
                    int32_t& next);
// Whether an unfinished append of record `total` left anything in this index table (its
// item, or a block linked after the last).
bool HasLeftover(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t total);
// Clears what HasLeftover found (harmless bytes beyond the table's items).
void ClearLeftover(TTarnDBFileIO& io, const std::vector<int32_t>& blocks, int32_t total);
// Writes a whole new index table for `total` records at the end of the file whose chain is
// `order`; items of records not in `order` end the chain. Returns the block offsets.
std::vector<int32_t> WriteTable(TTarnDBFileIO& io, int32_t total, const TRecordList& order);

}  // namespace index_disk
}  // namespace tarn

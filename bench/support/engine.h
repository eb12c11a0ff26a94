// The engine's side of the table workloads: a database file with the benchmark table
// (id auto-increment, k integer, name string 24, val float, pad string 50), reached
// through the table storage layer with one record buffer.
#pragma once

#include <memory>
#include <string>

#include "bench/support/harness.h"
#include "tarndb/field_buffers.h"
#include "tarndb/file_io.h"
#include "tarndb/table_io.h"

namespace tarn::bench {

class EngineTable : public TTableStorageHost {
public:
    // Creates `path` with the benchmark table (and the given indexes) when `create`.
    EngineTable(const std::string& path, bool create,
                const std::vector<std::pair<std::string, int>>& indexes = {});
    ~EngineTable() override;

    TTarnDBFileIO* StorageFile() override { return &io_; }
    std::string StorageComponentName() const override { return "bench"; }

    TTarnTableIO& Table() { return *table_; }
    TTarnDBFileIO& File() { return io_; }
    void Append(const Row& row);
    // Reads the record at `position` of `list` into the buffer.
    void Fetch(int list, int position);
    Row Current() const;
    void HashCurrent(Hash& h) const;
    // Rewrites the val field of the record at physical position `position`.
    void UpdateVal(int position, double val);
    TFieldBuffers& Buffers() { return buffers_; }
    uint8_t* Slot(int field) { return record_.data() + table_->SlotOffset(field); }

private:
    TTarnDBFileIO io_;
    std::unique_ptr<TTarnTableIO> table_;
    std::vector<uint8_t> record_;
    TFieldBuffers buffers_;
    TFieldBuffers valOnly_;
};

// Runs `op(i)` for i in [0, count): each its own write (autocommit), or kSqliteBatch per
// transaction on `io` (batched), committed without forcing anything to the disk, as the
// SQLite side runs without a sync.
template <typename Op>
void EngineLoop(TTarnDBFileIO& io, long count, bool batched, Op op) {
    io.SetSyncCommit(false);
    for (long i = 0; i < count; ++i) {
        if (batched && i % kSqliteBatch == 0) io.BeginTransaction();
        op(i);
        if (batched && (i % kSqliteBatch == kSqliteBatch - 1 || i == count - 1))
            io.CommitTransaction();
    }
}

}  // namespace tarn::bench

#include "bench/support/engine.h"

#include <cstring>

#include "platform/bytes.h"
#include "tarndb/creator.h"

namespace tarn::bench {

namespace b = tarn::bytes;

EngineTable::EngineTable(const std::string& path, bool create,
                         const std::vector<std::pair<std::string, int>>& indexes)
    : io_(nullptr, TTarnDBMediumType::mtDisk, false) {
    if (create) {
        TTarnDBCreator::CreateDatabase(path);
        std::vector<TIndexDefinition> ix;
        for (auto& [field, options] : indexes)
            ix.push_back(
                {"by_" + field, TIndexOptions::FromByte(static_cast<uint8_t>(options)), {field}});
        TTarnDBCreator::AddTable(path, "bench",
                                 {{"id", ftAutoInc},
                                  {"k", ftInteger},
                                  {"name", ftString, 24},
                                  {"val", ftFloat},
                                  {"pad", ftString, 50}},
                                 ix);
    }
    io_.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    table_ = std::make_unique<TTarnTableIO>(*this, "bench");
    table_->AcquireTable();
    record_.assign(static_cast<size_t>(table_->RecordSize()), 0);
    for (int i = 0; i < table_->FieldCount(); ++i) {
        buffers_.Add(Slot(i), table_->FieldDefs()[i].FieldType, table_->SlotSize(i));
        if (i == 3)
            valOnly_.Add(Slot(i), ftFloat, 8);
        else
            valOnly_.AddInactive();
    }
}

EngineTable::~EngineTable() {
    table_->ReleaseTable();
    if (!io_.IsFlushed()) io_.FlushStorage();
}

void EngineTable::Append(const Row& row) {
    std::memset(record_.data(), 0, record_.size());
    b::PutI32(std::span<uint8_t>(Slot(1), 4), 0, row.k);
    std::memcpy(Slot(2), row.name.data(), row.name.size());
    b::PutF64(std::span<uint8_t>(Slot(3), 8), 0, row.val);
    std::memcpy(Slot(4), row.pad.data(), row.pad.size());
    table_->AddRecord(buffers_, false, nullptr);
}

void EngineTable::Fetch(int list, int position) { table_->FetchRecord(buffers_, list, position); }

Row EngineTable::Current() const {
    auto* self = const_cast<EngineTable*>(this);
    Row r;
    r.id = b::GetI32(std::span<const uint8_t>(self->Slot(0), 4), 0);
    r.k = b::GetI32(std::span<const uint8_t>(self->Slot(1), 4), 0);
    r.name = reinterpret_cast<const char*>(self->Slot(2));
    r.val = b::GetF64(std::span<const uint8_t>(self->Slot(3), 8), 0);
    r.pad = reinterpret_cast<const char*>(self->Slot(4));
    return r;
}

void EngineTable::HashCurrent(Hash& h) const {
    Row r = Current();
    h.Add(static_cast<int64_t>(r.id));
    h.Add(static_cast<int64_t>(r.k));
    h.Add(r.name);
    h.Add(r.val);
    h.Add(r.pad);
}

void EngineTable::UpdateVal(int position, double val) {
    b::PutF64(std::span<uint8_t>(Slot(3), 8), 0, val);
    table_->ModifyRecord(valOnly_, position, false, nullptr);
}

}  // namespace tarn::bench

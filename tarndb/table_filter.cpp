// TTarnTable: applying the filter by building the list of matching rows once.
#include <mutex>

#include "tarndb/database.h"
#include "tarndb/file_io.h"
#include "tarndb/filter/compiled_filter.h"
#include "tarndb/filter/filter_parser.h"
#include "tarndb/record_list.h"
#include "tarndb/session.h"
#include "tarndb/table.h"
#include "tarndb/table_io.h"
#include "tarndb/tarn_record_buffer.h"

namespace tarn {

namespace {
std::function<void(bool)>& BusyHandler() {
    static std::function<void(bool)> handler;
    return handler;
}
}  // namespace

void TTarnTable::SetBusyHandler(std::function<void(bool busy)> handler) {
    BusyHandler() = std::move(handler);
}

void TTarnTable::ActivateFilter() {
    std::vector<TRecordEntry> matches;
    TDataSetState saved = SetTempState(dsFilter);
    bool hourGlass = Database() && Database()->Session().SQLHourGlass() && BusyHandler();
    if (hourGlass) BusyHandler()(true);
    std::exception_ptr failure;
    try {
        if (!Filter().empty()) FilterParser().Parse(Filter());
        TTarnRecordBuffer* buffer = static_cast<TTarnRecordBuffer*>(ActiveBuffer());
        SetFilterBuffer(buffer);
        // Without a record event, an expression of field tests runs on the stored records
        // themselves: nothing is decoded into the buffer.
        TCompiledFilter compiled;
        if (!Filter().empty() && !OnFilterRecord) CompileFilter(compiled);
        TTarnDBFileIO& io = tableIO_->File();
        const size_t recordSize = static_cast<size_t>(tableIO_->RecordSize());
        std::vector<uint8_t> copy;
        int n = GetRecordCount();
        matches.reserve(static_cast<size_t>(n));
        // The whole filter reads one committed state of the file: a writer's commit waits
        // for it (and it for the commit), so no row is judged by a state the others are not.
        ReadLockGuard lock(io);
        for (int j = 0; j < n; ++j) {
            curRec_ = j;
            bool accept;
            if (compiled.Compiled()) {
                const TRecordEntry& e = view_->At(j);
                accept = compiled.Accept(io.ViewOrRead(e.dataOffset, recordSize, copy));
            } else {
                ReadRecord(*buffer, j);
                accept = AcceptRecord();
            }
            if (accept) matches.push_back(view_->At(j));
            if (OnFilterProgress)
                OnFilterProgress(*this, static_cast<int>(static_cast<double>(j) / n * 100));
        }
        if (static_cast<int>(matches.size()) != n) view_->Assign(matches);
        readAheadFrom_ = readAheadUntil_ = 0;
        readAheadRows_ = kReadAheadRows;
    } catch (...) {
        failure = std::current_exception();
    }
    if (hourGlass) BusyHandler()(false);
    RestoreState(saved);
    curRec_ = -1;
    First();
    if (failure) std::rethrow_exception(failure);
}

void TTarnTable::CompileFilter(TCompiledFilter& compiled) {
    TEvalOptions options;
    options.CaseInsensitive = (FilterOptions() & foCaseInsensitive) != 0;
    options.NoPartialCompare = (FilterOptions() & foNoPartialCompare) != 0;
    // A field is read from the stored record when its slot holds its bytes as the record
    // buffer would: a stored, unencrypted, non-blob field bound to its own slot.
    auto slotOf = [this](int fieldIndex, int32_t& offset) {
        if (fieldIndex < 0 || fieldIndex >= FieldCount()) return false;
        TField* f = Fields(fieldIndex);
        if (f->IsCalculated() || f->IsBlob() || f->FieldNo() <= 0) return false;
        const int storage = f->FieldNo() - 1;
        if (storage >= tableIO_->FieldCount() ||
            fieldNoOfStorageField_[static_cast<size_t>(storage)] != f->FieldNo() ||
            tableIO_->Encrypt(storage) || IsBlobType(tableIO_->FieldDefs()[storage].FieldType) ||
            f->DataSize() > tableIO_->SlotSize(storage))
            return false;
        offset = tableIO_->SlotOffset(storage);
        return true;
    };
    TFilterParser& parser = FilterParser();
    if (compiled.Compile(parser.Root(), options, parser.Collator(), slotOf) &&
        compiled.RecordBytes() > static_cast<size_t>(tableIO_->RecordSize()))
        compiled = TCompiledFilter();
}

void TTarnTable::DeactivateFilter() {
    LoadViewList();
    // The filter worked within the master's range: the unfiltered view is that range again,
    // cut from the whole key list with the range's stored keys.
    if (rangeActive_ && curIndex_ >= 0) ApplyRange(tableIO_->RecordList(curIndex_ + 1));
    SetCanModifyFlag(true);
    curRec_ = -1;
    First();
}

}  // namespace tarn

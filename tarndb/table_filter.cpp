// TTarnTable: applying the filter by building the list of matching rows once.
#include <mutex>

#include "tarndb/database.h"
#include "tarndb/file_io.h"
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
// Rows read under one taking of the file lock during a scan.
constexpr int kRowsPerLock = 1024;
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
        int n = GetRecordCount();
        matches.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; i += kRowsPerLock) {
            FileLockGuard lock(tableIO_->File());
            for (int j = i; j < n && j < i + kRowsPerLock; ++j) {
                curRec_ = j;
                ReadRecord(*buffer, j);
                if (AcceptRecord()) matches.push_back(view_->At(j));
                if (OnFilterProgress)
                    OnFilterProgress(*this, static_cast<int>(static_cast<double>(j) / n * 100));
            }
        }
        if (static_cast<int>(matches.size()) != n) view_->Assign(matches);
        readAheadFrom_ = readAheadUntil_ = 0;
    } catch (...) {
        failure = std::current_exception();
    }
    if (hourGlass) BusyHandler()(false);
    RestoreState(saved);
    curRec_ = -1;
    First();
    if (failure) std::rethrow_exception(failure);
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

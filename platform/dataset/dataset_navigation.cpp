// TDataSet: record buffers, fetching, navigation, resynchronisation and bookmarks.
#include <algorithm>
#include <cstring>

#include "tarndb/dataset/dataset.h"

namespace tarn {

void TDataSet::AllocateBuffers() {
    active_ = AllocRecordBuffer();
    spare_ = AllocRecordBuffer();
    temp_ = AllocRecordBuffer();
    if (!active_ || !spare_ || !temp_) throw EDatabaseError("Record buffer not allocated");
}

void TDataSet::FreeBuffers() {
    hasRecord_ = false;
    cursorInSync_ = false;
    calcBuffer_ = nullptr;
    active_.reset();
    spare_.reset();
    temp_.reset();
}

void TDataSet::ClearBuffers() {
    hasRecord_ = false;
    cursorInSync_ = false;
    bof_ = true;
    eof_ = true;
}

// Fetches into the spare buffer; on success the spare becomes the current record, so a
// failed fetch leaves the current record as it was.
bool TDataSet::FetchRecord(TGetMode mode) {
    if (!spare_) return false;
    if (GetRecord(*spare_, mode, true) != grOK) {
        CursorPosChanged();
        return false;
    }
    GetCalcFields(*spare_);
    std::swap(active_, spare_);
    if (!hasRecord_) {
        bof_ = false;
        eof_ = false;
    }
    hasRecord_ = true;
    cursorInSync_ = true;
    return true;
}

bool TDataSet::GetNextRecord() {
    if (hasRecord_) UpdateCursorPos();
    return FetchRecord(gmNext);
}

bool TDataSet::GetPriorRecord() {
    if (hasRecord_) UpdateCursorPos();
    return FetchRecord(gmPrior);
}

void TDataSet::UpdateCursorPos() {
    if (!hasRecord_ || cursorInSync_ || !active_) return;
    switch (GetBookmarkFlag(*active_)) {
        case bfCurrent:
        case bfInserted:
            InternalSetToRecord(*active_);
            break;
        case bfBOF:
            InternalFirst();
            break;
        case bfEOF:
            InternalLast();
            break;
    }
    cursorInSync_ = true;
}

void TDataSet::InternalSetToRecord(TRecordBuffer& buffer) {
    TBookmark bookmark(static_cast<size_t>(std::max(bookmarkSize_, 0)));
    GetBookmarkData(buffer, bookmark);
    InternalGotoBookmark(bookmark);
}

void TDataSet::First() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalFirst();
        GetNextRecord();
    } catch (...) {
        bof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    bof_ = true;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalLast();
        GetPriorRecord();
    } catch (...) {
        eof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    eof_ = true;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
    CheckBrowseMode();
    int moved = 0;
    DoBeforeScroll();
    if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
        bof_ = false;
        eof_ = false;
        while (distance > 0) {
            if (!GetNextRecord()) {
                eof_ = true;
                break;
            }
            --distance;
            ++moved;
        }
        while (distance < 0) {
            if (!GetPriorRecord()) {
                bof_ = true;
                break;
            }
            ++distance;
            --moved;
        }
        DataEvent(deDataSetScroll);
        DoAfterScroll();
    }
    return moved;
}

void TDataSet::SetRecNo(int value) { (void)value; }

void TDataSet::Resync(unsigned mode) {
    CheckActive();
    if (!spare_) return;
    if (mode & rmExact) {
        CursorPosChanged();
        TGetResult r = GetRecord(*spare_, gmCurrent, true);
        if (r == grError) DatabaseError(msg::kRecordNotFound, this);
        if (r != grOK) {  // the dataset has no records at all
            ClearBuffers();
            DataEvent(deDataSetChange);
            return;
        }
    } else if (GetRecord(*spare_, gmCurrent, false) != grOK &&
               GetRecord(*spare_, gmNext, false) != grOK &&
               GetRecord(*spare_, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange);
        return;
    }
    GetCalcFields(*spare_);
    std::swap(active_, spare_);
    hasRecord_ = true;
    cursorInSync_ = true;
    bof_ = false;
    eof_ = false;
    DataEvent(deDataSetChange);
}

void TDataSet::Refresh() {
    DoBeforeRefresh();
    CheckBrowseMode();
    UpdateCursorPos();
    InternalRefresh();
    Resync(0);
    DoAfterRefresh();
}

bool TDataSet::BookmarkAvailable() const {
    return (state_ == dsBrowse || state_ == dsEdit || state_ == dsInsert) && hasRecord_ &&
           active_ && GetBookmarkFlag(*active_) == bfCurrent && bookmarkSize_ > 0;
}

TBookmark TDataSet::GetBookmark() const {
    if (!BookmarkAvailable()) return {};
    TBookmark bookmark(static_cast<size_t>(bookmarkSize_));
    GetBookmarkData(*active_, bookmark);
    return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty()) return;
    CheckBrowseMode();
    DoBeforeScroll();
    InternalGotoBookmark(bookmark);
    Resync(rmExact | rmCenter);
    DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark& bookmark) {
    (void)bookmark;
    return false;
}

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) const {
    if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : (a.empty() ? -1 : 1);
    if (a == b) return 0;
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end()) ? -1 : 1;
}

}  // namespace tarn

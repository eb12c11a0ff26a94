// Small types shared by the dataset framework: dataset states, data events, fetch modes,
// bookmark flags, option sets, bookmarks and the record buffer.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tarn {

// What a dataset is doing. The first four are the ordinary states; the others are
// temporary states a dataset enters with SetTempState while it works on a buffer other
// than the current record (the key buffer, the calculated-field buffer, the filter buffer,
// the new-value buffer).
enum class TDataSetState {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter,
    dsNewValue,
};
using enum TDataSetState;

// States in which field values may be written.
constexpr bool IsWriteState(TDataSetState s) {
    return s == dsEdit || s == dsInsert || s == dsSetKey || s == dsCalcFields || s == dsFilter ||
           s == dsNewValue;
}

// Notifications a dataset sends to its data sources and their links.
enum class TDataEvent {
    deFieldChange,      // a field value changed (the field is passed along)
    deRecordChange,     // the current record changed as a whole (Edit)
    deDataSetChange,    // the records shown changed (open, First, Resync, Post ...)
    deDataSetScroll,    // the current record moved (Next, Prior, MoveBy)
    deLayoutChange,     // the field list changed
    deUpdateRecord,     // Post is about to run: pending edits must be written to fields
    deUpdateState,      // the dataset's state changed
    deCheckBrowseMode,  // the dataset is leaving the current record
    dePropertyChange,   // a property that affects the data changed
    deFieldListChange,  // fields were added or removed
};
using enum TDataEvent;

// Fetch direction asked of GetRecord.
enum class TGetMode { gmCurrent, gmNext, gmPrior };
using enum TGetMode;

// Outcome of GetRecord: a record, beginning or end of data, or no record at the position.
enum class TGetResult { grOK, grBOF, grEOF, grError };
using enum TGetResult;

// The framework's mark on a record buffer: an ordinary fetched record, a new record that
// goes before the first / after the last, or a new record inserted at the current one.
enum class TBookmarkFlag : uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };
using enum TBookmarkFlag;

// Resync options (combine with |): refetch exactly the cursor's record (a missing record is
// an error), and place it in the middle of the shown records.
enum TResyncMode : unsigned { rmExact = 1, rmCenter = 2 };

// What an OnPostError / OnDeleteError / OnEditError handler wants: raise the error, end
// silently (EAbort), or try the operation again.
enum class TDataAction { daFail, daAbort, daRetry };
using enum TDataAction;

// Locate options (a set; combine with |). Their values are those the application passes.
enum TLocateOption : unsigned { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = unsigned;

// Filter options (a set).
enum TFilterOption : unsigned { foCaseInsensitive = 1, foNoPartialCompare = 2 };
using TFilterOptions = unsigned;

// Blob stream modes, with the ordinals the engine stores.
enum class TBlobStreamMode : uint8_t { bmRead = 0, bmWrite = 1, bmReadWrite = 2 };
using enum TBlobStreamMode;

enum class TFieldKind { fkData, fkCalculated, fkLookup };
using enum TFieldKind;

// A bookmark: the bytes that identify a record to the dataset that made it (BookmarkSize
// bytes). Empty means "no bookmark".
using TBookmark = std::vector<uint8_t>;

// A record buffer: a block of bytes whose layout belongs to the derived dataset that
// allocates it (AllocRecordBuffer). The framework never interprets the bytes; it hands the
// buffer back to the derived dataset's hooks. A derived dataset may subclass it to own more
// (for example the blob streams of the record); the virtual destructor frees them, so freeing
// a buffer is destroying it.
class TRecordBuffer {
public:
    explicit TRecordBuffer(size_t size) : bytes_(size, 0) {}
    virtual ~TRecordBuffer() = default;
    TRecordBuffer(const TRecordBuffer&) = delete;
    TRecordBuffer& operator=(const TRecordBuffer&) = delete;

    std::span<uint8_t> Bytes() { return bytes_; }
    std::span<const uint8_t> Bytes() const { return bytes_; }
    size_t Size() const { return bytes_.size(); }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace tarn

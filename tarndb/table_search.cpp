// TTarnTable: Locate and Lookup, and the master-detail range.
#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "platform/bytes.h"
#include "tarndb/dataset/db_errors.h"
#include "tarndb/file_io.h"
#include "tarndb/filter/value_compare.h"
#include "tarndb/indexes.h"
#include "tarndb/key_compare.h"
#include "tarndb/table.h"
#include "tarndb/tarn_record_buffer.h"

namespace tarn {

namespace {
// Types of at most 8 bytes whose values are equal exactly when their bytes are.
bool SameValueSameBytes(TFieldType t) {
    switch (t) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
        case ftLargeint:
        case ftDate:
            return true;  // not ftTime: times within 1000 ms compare equal
        default:
            return false;
    }
}
// Positions of records in the view by record number: the first question is answered by a
// scan of the view, later ones from a map built then.
class TViewPositions {
public:
    explicit TViewPositions(const TRecordList& view) : view_(view) {}
    int Of(int32_t recNo) {
        if (asked_++ == 0) return view_.FindRecNo(recNo);
        if (!built_) {
            for (int p = 0; p < view_.Count(); ++p) positions_.emplace(view_.At(p).recNo, p);
            built_ = true;
        }
        auto it = positions_.find(recNo);
        return it == positions_.end() ? -1 : it->second;
    }

private:
    const TRecordList& view_;
    int asked_ = 0;
    bool built_ = false;
    std::unordered_map<int32_t, int> positions_;
};

// The last entry of `list` at or before the key of `order`, when every entry before `start`
// is (the range's low bound): the walk gallops from `start`, so a range of n rows costs
// about 2 log n comparisons whatever the size of the list.
int LastAtOrBefore(TKeyComparer& order, const TRecordList& list, int start) {
    const int n = list.Count();
    if (start >= n || order.Compare(list.At(start)) < 0) return start - 1;
    int good = start, after = n;  // at or before the key; the first known entry after it
    for (int step = 1;; step *= 2) {
        if (step > n - good - 1) break;
        const int p = good + step;
        if (order.Compare(list.At(p)) < 0) {
            after = p;
            break;
        }
        good = p;
    }
    int lo = good + 1, hi = after - 1;
    while (lo <= hi) {
        const int p = lo + (hi - lo) / 2;
        if (order.Compare(list.At(p)) >= 0) {
            good = p;
            lo = p + 1;
        } else {
            hi = p - 1;
        }
    }
    return good;
}

}  // namespace

// ---- Locate / Lookup -------------------------------------------------------------------------

int TTarnTable::ChooseLocateIndex(const std::vector<TField*>& fields, bool caseInsensitive) const {
    bool anyString = std::any_of(fields.begin(), fields.end(),
                                 [](TField* f) { return IsStringType(f->DataType()); });
    for (int i = 0; i < tableIO_->IndexCount(); ++i) {
        const TTarnIndexDef& def = tableIO_->IndexDefs()[i];
        if (def.KeyFields.size() != fields.size()) continue;
        bool same = true;
        for (size_t k = 0; k < fields.size() && same; ++k)
            same = def.KeyFields[k] == fields[k]->FieldNo() - 1;
        if (!same) continue;
        if (anyString && def.Options.Has(tiCaseInsensitive) != caseInsensitive) continue;
        return i;
    }
    return -1;
}

int TTarnTable::ScanLocate(const std::vector<TField*>& fields, TLocateOptions options) {
    TRecordBuffer& key = *TempBuffer();
    TCaseRule rule = (options & loCaseInsensitive) != 0 ? TCaseRule::IgnoreCase : TCaseRule::Exact;
    bool partial = (options & loPartialKey) != 0;
    TTarnDBFileIO& io = tableIO_->File();
    // Fields whose values are equal exactly when their slot bytes are (the integer, date and
    // time types) are compared as stored: the key is encoded once as its slot would be, and
    // each row's slot is compared byte for byte, without decoding it. Every slot is a unit
    // of its own that starts from the cipher's initial vector, so in an encrypted database
    // too equal values are stored as equal bytes, and other values as other bytes.
    // A text key of printable ASCII characters (looked for as a whole) is told from most
    // rows by their bytes alone, read in place when the slot is stored plain.
    struct Probe {
        TField* field;
        int32_t slotOffset = -1;  // >= 0: compared as stored
        std::vector<uint8_t> stored;
        std::string_view asciiKey;  // not empty: the key's text, printable ASCII
        int32_t textSlot = -1;      // >= 0: the text slot's offset, stored plain
    };
    std::vector<Probe> probes;
    for (TField* f : fields) {
        Probe& p = probes.emplace_back();
        p.field = f;
        int storageField = f->FieldNo() - 1;
        int32_t size = tableIO_->SlotSize(storageField);
        if (IsStringType(f->DataType()) && !f->IsBlob() && !partial &&
            rule != TCaseRule::LettersOnly) {
            const uint8_t* text = key.Bytes().data() + FieldOffset(f->FieldNo());
            std::string_view keyText = StringOf(TValueRef{static_cast<int>(f->DataType()), text,
                                                          static_cast<size_t>(f->DataSize())});
            if (!keyText.empty() && IsPrintableAscii(keyText)) {
                p.asciiKey = keyText;
                if (!tableIO_->Encrypt(storageField))
                    p.textSlot = tableIO_->SlotOffset(storageField);
            }
        }
        if (!SameValueSameBytes(f->DataType()) || size != f->DataSize()) continue;
        p.slotOffset = tableIO_->SlotOffset(storageField);
        p.stored.resize(static_cast<size_t>(size));
        io.EncodeStoredBuffer(key.Bytes().data() + FieldOffset(f->FieldNo()), p.stored.data(),
                              tableIO_->Encrypt(storageField), p.stored.size());
    }
    TMemoryStream stored;
    ReadLockGuard lock(io);  // one lock for the whole scan
    for (int pos = 0; pos < view_->Count(); ++pos) {
        const TRecordEntry& entry = view_->At(pos);
        bool all = true;
        for (Probe& p : probes) {
            TField* f = p.field;
            if (p.slotOffset >= 0) {
                int64_t at = static_cast<int64_t>(entry.dataOffset) + p.slotOffset;
                uint8_t copy[8];
                const uint8_t* slot = io.ViewOrRead(at, p.stored.size(), copy);
                if (std::memcmp(slot, p.stored.data(), p.stored.size()) != 0) {
                    all = false;
                    break;
                }
                continue;
            }
            if (!p.asciiKey.empty()) {
                const int storageField = f->FieldNo() - 1;
                const size_t size = static_cast<size_t>(tableIO_->SlotSize(storageField));
                const uint8_t* slot =
                    p.textSlot >= 0
                        ? io.View(static_cast<int64_t>(entry.dataOffset) + p.textSlot, size)
                        : nullptr;
                std::span<const uint8_t> text = slot ? std::span<const uint8_t>(slot, size)
                                                     : tableIO_->StoredSlot(entry, storageField);
                const int same = TextEqualityToPrintableKey(
                    p.asciiKey,
                    StringOf(TValueRef{static_cast<int>(f->DataType()), text.data(), text.size()}),
                    rule);
                if (same == 0) {
                    all = false;
                    break;
                }
                if (same == 1) continue;
            }
            std::span<const uint8_t> right;
            if (f->IsBlob()) {
                stored.Clear();
                tableIO_->ReadStoredField(entry.recNo, f->FieldNo() - 1, stored);
                right =
                    std::span<const uint8_t>(stored.Memory(), static_cast<size_t>(stored.Size()));
            } else {
                right = tableIO_->StoredSlot(entry, f->FieldNo() - 1);
            }
            std::span<const uint8_t> left;
            std::string blob;
            if (f->IsBlob()) {
                TOptimBlobStream* s = BlobOf(key, f->FieldNo());
                blob = s ? s->Bytes() : std::string();
                left = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(blob.data()),
                                                blob.size());
            } else {
                left = key.Bytes().subspan(static_cast<size_t>(FieldOffset(f->FieldNo())),
                                           static_cast<size_t>(f->DataSize()));
            }
            bool isString = IsStringType(f->DataType());
            if (isString && !partial && p.asciiKey.empty()) {
                // Identical bytes are equal under any rule (an ASCII key was tried above).
                const int same = TextEqualityFromBytes(
                    StringOf(TValueRef{static_cast<int>(f->DataType()), left.data(), left.size()}),
                    StringOf(
                        TValueRef{static_cast<int>(f->DataType()), right.data(), right.size()}),
                    rule);
                if (same == 0) {
                    all = false;
                    break;
                }
                if (same == 1) continue;
            }
            if (CompareFieldValues(static_cast<int>(f->DataType()), left, right, rule,
                                   partial && isString) != 0) {
                all = false;
                break;
            }
        }
        if (all) return pos;
    }
    return -1;
}

// A search through the index finds a row exactly when ScanLocate would find one (which row,
// among several that match, may differ). The bisection answers when the entry it meets
// matches and is in view; otherwise the entries that can still match are walked.
int TTarnTable::IndexLocate(int index, TLocateOptions options) {
    TFieldBuffers& fb = BindRecordBuffer(*TempBuffer());
    bool partial = (options & loPartialKey) != 0;
    const TRecordList& keys = tableIO_->RecordList(index + 1);
    TListView list(keys);
    TKeyValues key(*tableIO_, fb, TKeySource::Search);
    // `order` follows the index's stored order; `match` is the row test of a scan
    // (ScanLocate): they differ where a case-insensitive index ignores letter forms too.
    TKeyComparer order(*tableIO_, index, key, 0, partial);
    std::optional<TKeyComparer> matcher;  // made when first needed
    auto match = [&]() -> TKeyComparer& {
        if (!matcher) matcher.emplace(*tableIO_, index, key, 0, partial, TKeyEquality::CaseOnly);
        return *matcher;
    };
    TKeySearch met = SearchKey(order, list);
    if (met.outcome == 0) {
        const TRecordEntry& e = keys.At(met.position);
        if (order.EqualMeansMatch() || match().Compare(e) == 0) {
            int pos = PositionOfRecNo(e.recNo);
            if (pos >= 0) return pos;
        }
    }
    // The entry the bisection met is no answer (not a match, or not in view), or it met
    // none although a partial key may still match: the entries that can match are walked
    // in key order. A whole key's matches lie within the run of entries equal in order. A
    // partial key's do not form a run: cutting stored text to the key's length does not
    // keep the collation order (the cut drops a multi-byte character that does not fit,
    // and the collation weighs base letters of the whole text before accents and case),
    // so only the leading fields compared whole narrow the walk.
    int from = 0, to = keys.Count() - 1;
    int whole = order.WholeFields();
    if (whole == order.FieldCount() && met.outcome != 0) return -1;
    if (whole > 0) {
        TKeyComparer lead(*tableIO_, index, key, whole);
        TKeySearch first = SearchKeyBound(lead, list, true);
        if (first.outcome != 0) return -1;
        from = first.position;
        to = SearchKeyBound(lead, list, false).position;
    }
    ReadLockGuard lock(tableIO_->File());  // one lock for the walk
    TViewPositions inView(*view_);
    for (int p = from; p <= to; ++p) {
        const TRecordEntry& e = keys.At(p);
        if (match().Compare(e) != 0) continue;
        int pos = inView.Of(e.recNo);
        if (pos >= 0) return pos;
    }
    return -1;
}

bool TTarnTable::LocateRow(const std::string& keyFields, const TVariant& keyValues, bool move,
                           TLocateOptions options) {
    CheckBrowseMode();
    CursorPosChanged();
    TRecordBuffer* buffer = TempBuffer();
    std::vector<TField*> fields = GetFieldList(keyFields);
    if (keyValues.IsArray() && keyValues.ArrayLength() < fields.size())
        DatabaseError(msg::kValueCountMismatch, this);
    TDataSetState saved = SetTempState(dsFilter);
    SetFilterBuffer(static_cast<TTarnRecordBuffer*>(buffer));
    int found = -1;
    try {
        InternalInitRecord(*buffer);
        for (size_t i = 0; i < fields.size(); ++i) {
            const TVariant& v = fields.size() == 1 && !keyValues.IsArray() ? keyValues
                                : keyValues.IsArray() ? keyValues.Elements()[i]  // counted above
                                                      : keyValues;
            fields[i]->SetAsVariant(v);
        }
        int index = ChooseLocateIndex(fields, (options & loCaseInsensitive) != 0);
        found = index < 0 ? ScanLocate(fields, options) : IndexLocate(index, options);
        if (found >= 0) {
            ReadRecord(*buffer, found);
            uint8_t bookmark[4];
            bytes::PutI32(bookmark, 0, view_->At(found).recNo);
            SetBookmarkData(*buffer, bookmark);
            SetBookmarkFlag(*buffer, bfCurrent);
            if (move) curRec_ = found;
        }
    } catch (...) {
        RestoreState(saved);
        throw;
    }
    RestoreState(saved);
    return found >= 0;
}

bool TTarnTable::Locate(const std::string& keyFields, const TVariant& keyValues,
                        TLocateOptions options) {
    DoBeforeScroll();
    bool found = LocateRow(keyFields, keyValues, true, options);
    if (found) {
        Resync(rmExact | rmCenter);
        DoAfterScroll();
    }
    return found;
}

TVariant TTarnTable::Lookup(const std::string& keyFields, const TVariant& keyValues,
                            const std::string& resultFields) {
    if (!LocateRow(keyFields, keyValues, false, 0)) return TVariant::Null();
    TDataSetState saved = SetTempState(dsCalcFields);
    TVariant result;
    try {
        CalculateFields(*TempBuffer());
        result = GetFieldValues(resultFields);
    } catch (...) {
        RestoreState(saved);
        throw;
    }
    RestoreState(saved);
    return result;
}

// ---- master-detail range --------------------------------------------------------------------

void TTarnTable::ApplyMasterRange() {
    if (curIndex_ == -1 || !Active()) return;
    if (Filtered()) SetFiltered(false);
    CheckBrowseMode();
    const std::vector<TField*>& master = masterLink_.Fields();
    const TTarnIndexDef& def = tableIO_->IndexDefs()[curIndex_];
    int k = static_cast<int>(std::min(master.size(), def.KeyFields.size()));
    TDataSetState saved = SetTempState(dsSetKey);
    try {
        for (int which = 0; which < 2; ++which) {
            SetKeyBuffer(KeyBuffers(which));
            InternalInitRecord(*KeyBuffers(which));
            for (int j = 0; j < k; ++j) {
                TField* detail = FieldByNumber(def.KeyFields[static_cast<size_t>(j)] + 1);
                if (detail) detail->SetAsVariant(master[static_cast<size_t>(j)]->AsVariant());
            }
        }
    } catch (...) {
        RestoreState(saved);
        throw;
    }
    RestoreState(saved);
    rangeKeyCount_ = k;
    ApplyRange(tableIO_->RecordList(curIndex_ + 1));
}

void TTarnTable::ApplyRange(const TRecordList& source) {
    if (source.Count() == 0 && &source != view_.get()) {
        // Nothing in the table: the view is empty anyway.
        view_->Clear();
        rangeActive_ = true;
        First();
        return;
    }
    {
        // The two bound searches and the first read-ahead of the new view under one holding
        // of the file lock: each would take it on its own, and a fresh taking costs several
        // system calls (the lock, the file's length, the journal check). The lock is dropped
        // before First(), which runs the scroll events.
        ReadLockGuard lock(tableIO_->File());
        TFieldBuffers& low = BindRecordBuffer(*KeyBuffers(0));
        TKeySearch first = TTableIndexes::SearchKeyBound(*tableIO_, low, source, false,
                                                         rangeKeyCount_, true, curIndex_);
        if (first.outcome == -2) return;
        int start = first.position + (first.outcome == 1 ? 1 : 0);
        TFieldBuffers& high = BindRecordBuffer(*KeyBuffers(1));
        TKeyValues highKey(*tableIO_, high, TKeySource::Search);
        TKeyComparer highOrder(*tableIO_, curIndex_, highKey, rangeKeyCount_, false);
        int end = LastAtOrBefore(highOrder, source, start);
        auto slice = std::make_unique<TRecordList>();
        std::vector<TRecordEntry> entries;
        entries.reserve(static_cast<size_t>(std::max(0, end - start + 1)));
        for (int p = start; p <= end; ++p) entries.push_back(source.At(p));
        slice->Assign(entries);
        view_ = std::move(slice);
        // The rows First() and a walk from there read first: a small range whole (a walk
        // through it then needs no further taking of the lock), else as GetRecord would.
        readAheadFrom_ = 0;
        readAheadUntil_ = view_->Count() <= kRangeReadAheadRows ? view_->Count() : kReadAheadRows;
        readAheadRows_ = kReadAheadRows;
        tableIO_->ReadAhead(*view_, readAheadFrom_, readAheadUntil_ - readAheadFrom_);
    }
    rangeActive_ = true;
    First();
}

void TTarnTable::ReapplyRange() {
    CheckBrowseMode();
    if (curIndex_ == -1) DatabaseError("No index currently active", this);
    if (GetRecordCount() > 0) {
        TRecordList current = *view_;
        ApplyRange(current);
    }
    rangeActive_ = true;
}

void TTarnTable::CancelRange() {
    if (!Active()) return;
    CheckBrowseMode();
    UpdateCursorPos();
    SelectIndex();
    Resync(0);
    First();
    SetCanModifyFlag(true);
    if (Filtered()) ActivateFilter();
    rangeActive_ = false;
    rangeKeyCount_ = 0;
}

}  // namespace tarn

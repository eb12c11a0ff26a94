// TDataSet: the generic searches (Locate, Lookup, FindRecord), which walk the records in the
// dataset's order. Derived datasets replace them when their storage can search faster or
// compares by other rules. Scroll events and notifications are held back during the walk.
#include "platform/dataset/names.h"
#include "tarndb/dataset/dataset.h"

namespace tarn {
namespace {

bool IsTextType(TFieldType t) { return IsStringType(t) || t == ftMemo || t == ftFmtMemo; }

bool FieldMatches(const TField& field, const TVariant& key, TLocateOptions options) {
    if (key.IsNull()) return field.IsNull();
    if (field.IsNull()) return false;
    TFieldType t = field.DataType();
    if (IsTextType(t)) {
        std::string value = field.AsString();
        std::string k = key.AsString();
        if ((options & loPartialKey) && value.size() > k.size()) value.resize(k.size());
        return (options & loCaseInsensitive) ? SameName(value, k) : value == k;
    }
    switch (t) {
        case ftBoolean:
            return field.AsBoolean() == key.AsBoolean();
        case ftFloat:
        case ftCurrency:
            return field.AsFloat() == key.AsFloat();
        case ftDate:
        case ftTime:
        case ftDateTime:
            return field.AsDateTime() == key.AsDateTime();
        default:
            return field.AsLargeInt() == key.AsInt64();
    }
}

}  // namespace

std::vector<TVariant> TDataSet::KeyList(const std::vector<TField*>& fields,
                                        const TVariant& keyValues) const {
    if (fields.size() == 1) {
        if (!keyValues.IsArray()) return {keyValues};
        if (keyValues.ArrayLength() == 0) DatabaseError(msg::kValueCountMismatch, this);
        return {keyValues[0]};
    }
    if (!keyValues.IsArray() || keyValues.ArrayLength() != fields.size())
        DatabaseError(msg::kValueCountMismatch, this);
    return keyValues.Elements();
}

bool TDataSet::RecordMatches(const std::vector<TField*>& fields, const std::vector<TVariant>& keys,
                             TLocateOptions options) const {
    for (size_t i = 0; i < fields.size(); ++i)
        if (!FieldMatches(*fields[i], keys[i], options)) return false;
    return true;
}

bool TDataSet::ScanFor(const std::vector<TField*>& fields, const std::vector<TVariant>& keys,
                       TLocateOptions options) {
    for (First(); !Eof(); Next())
        if (RecordMatches(fields, keys, options)) return true;
    return false;
}

namespace {

// Runs `search` with scroll events and notifications held back and returns its result. The
// current record is put back when the search fails, or always with `restoreAlways`.
template <typename Search>
bool HeldSearch(TDataSet& ds, int& held, bool restoreAlways, Search&& search) {
    TBookmark saved = ds.GetBookmark();
    ds.DisableControls();
    ++held;
    bool found = false;
    auto restore = [&] {
        if (!saved.empty())
            ds.GotoBookmark(saved);
        else
            ds.First();
    };
    try {
        found = search();
        if (!found || restoreAlways) restore();
    } catch (...) {
        try {
            restore();
        } catch (...) {
            // The search's own error is the one to report.
        }
        --held;
        ds.EnableControls();
        throw;
    }
    --held;
    ds.EnableControls();
    return found;
}

}  // namespace

bool TDataSet::Locate(const std::string& keyFields, const TVariant& keyValues,
                      TLocateOptions options) {
    CheckBrowseMode();
    std::vector<TField*> fields = GetFieldList(keyFields);
    std::vector<TVariant> keys = KeyList(fields, keyValues);
    DoBeforeScroll();
    bool found =
        HeldSearch(*this, scrollEventsHeld_, false, [&] { return ScanFor(fields, keys, options); });
    if (found) DoAfterScroll();
    return found;
}

TVariant TDataSet::Lookup(const std::string& keyFields, const TVariant& keyValues,
                          const std::string& resultFields) {
    CheckBrowseMode();
    std::vector<TField*> fields = GetFieldList(keyFields);
    std::vector<TVariant> keys = KeyList(fields, keyValues);
    GetFieldList(resultFields);  // unknown result names fail before the walk
    TVariant result;
    HeldSearch(*this, scrollEventsHeld_, true, [&] {
        if (!ScanFor(fields, keys, 0)) return false;
        result = GetFieldValues(resultFields);
        return true;
    });
    return result;
}

// The generic record search: the filter test is OnFilterRecord (every record passes when it
// is not assigned); the filter text needs a dataset that understands it.
bool TDataSet::FindRecord(bool restart, bool goForward) {
    CheckBrowseMode();
    DoBeforeScroll();
    SetFound(false);
    auto accepted = [&] {
        bool accept = true;
        if (OnFilterRecord) OnFilterRecord(*this, accept);
        return accept;
    };
    bool found = HeldSearch(*this, scrollEventsHeld_, false, [&] {
        if (restart)
            goForward ? First() : Last();
        else
            goForward ? Next() : Prior();
        while (!IsEmpty() && (goForward ? !Eof() : !Bof())) {
            if (accepted()) return true;
            goForward ? Next() : Prior();
        }
        return false;
    });
    SetFound(found);
    if (found) DoAfterScroll();
    return found;
}

}  // namespace tarn

#include "tarndb/key_compare.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/bytes.h"
#include "tarndb/blob_stream.h"
#include "tarndb/file_format.h"
#include "tarndb/file_io.h"
#include "tarndb/filter/field_types.h"
#include "tarndb/filter/value_codec.h"
#include "tarndb/filter/value_compare.h"
#include "tarndb/table_io.h"

namespace tarn {

namespace {

// Fields that some index of the table has in its key.
std::vector<bool> KeyFieldsInUse(TTarnTableIO& table) {
    std::vector<bool> used(static_cast<size_t>(table.FieldCount()), false);
    for (int i = 0; i < table.IndexCount(); ++i)
        for (int32_t f : table.IndexDefs()[i].KeyFields)
            if (f >= 0 && f < table.FieldCount()) used[static_cast<size_t>(f)] = true;
    return used;
}

}  // namespace

// ---- TKeyValues ---------------------------------------------------------------------------

void TKeyValues::Put(int field, const uint8_t* data, size_t size) {
    Part& p = parts_[static_cast<size_t>(field)];
    p.offset = bytes_.size();
    p.size = size;
    if (size) bytes_.insert(bytes_.end(), data, data + size);
}

std::span<const uint8_t> TKeyValues::Value(int field) const {
    const Part& p = parts_.at(static_cast<size_t>(field));
    return std::span<const uint8_t>(bytes_.data() + p.offset, p.size);
}

TKeyValues::TKeyValues(TTarnTableIO& table, const TRecordEntry& stored) {
    parts_.assign(static_cast<size_t>(table.FieldCount()), Part{});
    std::vector<bool> used = KeyFieldsInUse(table);
    TStoredKeyReader reader(table);
    for (int f = 0; f < table.FieldCount(); ++f) {
        if (!used[static_cast<size_t>(f)]) continue;
        std::span<const uint8_t> v = reader.Read(stored, f);
        Put(f, v.data(), v.size());
    }
}

TKeyValues::TKeyValues(TTarnTableIO& table, const TFieldBuffers& buffers, TKeySource source,
                       const TRecordEntry* stored) {
    parts_.assign(static_cast<size_t>(table.FieldCount()), Part{});
    std::vector<bool> used = KeyFieldsInUse(table);
    bool rewrite = source == TKeySource::Rewrite && stored != nullptr;
    std::unique_ptr<TStoredKeyReader> reader;
    auto storedValue = [&](int f) {
        if (!reader) reader = std::make_unique<TStoredKeyReader>(table);
        std::span<const uint8_t> v = reader->Read(*stored, f);
        return std::vector<uint8_t>(v.begin(), v.end());
    };
    std::vector<uint8_t> slot;
    for (int f = 0; f < table.FieldCount(); ++f) {
        if (!used[static_cast<size_t>(f)]) continue;
        TFieldType type = table.FieldDefs()[f].FieldType;
        size_t slotSize = static_cast<size_t>(table.SlotSize(f));
        const TFieldBufferItem* item = f < buffers.Count() ? &buffers.Item(f) : nullptr;
        bool active = item != nullptr && item->active;
        if (IsBlobType(type)) {
            if (active && item->blob != nullptr) {
                item->blob->EnsureLoaded();
                Put(f, item->blob->Memory(), static_cast<size_t>(item->blob->Size()));
            } else if (rewrite) {
                slot = storedValue(f);
                Put(f, slot.data(), slot.size());
            } else {
                Put(f, nullptr, 0);
            }
            continue;
        }
        if (!active || item->buffer == nullptr || item->dataSize <= 0) {
            if (rewrite) {
                slot = storedValue(f);
            } else {
                slot.assign(slotSize, 0);
            }
            Put(f, slot.data(), slot.size());
            continue;
        }
        size_t given = std::min(static_cast<size_t>(item->dataSize), slotSize);
        if (rewrite && f == table.AutoIncField() && given >= 4 &&
            bytes::GetI32(std::span<const uint8_t>(item->buffer, 4), 0) == 0) {
            slot = storedValue(f);  // a zero auto-increment value keeps the stored one
            Put(f, slot.data(), slot.size());
            continue;
        }
        // The slot exactly as the write will leave it: the given bytes over a zeroed slot
        // (append) or over the stored one (rewrite).
        if (rewrite) {
            slot = storedValue(f);
            slot.resize(slotSize, 0);
        } else {
            slot.assign(slotSize, 0);
        }
        size_t take = given;
        if (source == TKeySource::Append && IsStringType(type)) {
            // AddRecord cuts a string at its first NUL and at data size - 1 characters.
            const void* nul = std::memchr(item->buffer, 0, static_cast<size_t>(item->dataSize));
            size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - item->buffer)
                             : static_cast<size_t>(item->dataSize);
            len = std::min(len, static_cast<size_t>(item->dataSize - 1));
            take = std::min(take, len);
        }
        std::memcpy(slot.data(), item->buffer, take);
        Put(f, slot.data(), slot.size());
    }
}

// ---- TStoredKeyReader ---------------------------------------------------------------------

TStoredKeyReader::TStoredKeyReader(TTarnTableIO& table) : table_(table), io_(table.File()) {
    plain_.resize(static_cast<size_t>(table.FieldCount()));
    for (int f = 0; f < table.FieldCount(); ++f)
        plain_[static_cast<size_t>(f)] =
            !IsBlobType(table.FieldDefs()[f].FieldType) && !table.Encrypt(f);
}

std::span<const uint8_t> TStoredKeyReader::Read(const TRecordEntry& e, int field) {
    if (plain_.at(static_cast<size_t>(field))) {
        // The slot holds the value bytes themselves: read them in place.
        size_t size = static_cast<size_t>(table_.SlotSize(field));
        int64_t offset = static_cast<int64_t>(e.dataOffset) + table_.SlotOffset(field);
        return std::span<const uint8_t>(io_.ViewOrRead(offset, size, scratch_), size);
    }
    decoded_.Clear();
    table_.ReadStoredField(e.recNo, field, decoded_);
    return std::span<const uint8_t>(decoded_.Memory(), static_cast<size_t>(decoded_.Size()));
}

const uint8_t* TStoredKeyReader::ViewSlot(const TRecordEntry& e, int32_t slotOffset, size_t size) {
    return io_.View(static_cast<int64_t>(e.dataOffset) + slotOffset, size);
}

// ---- TKeyComparer -------------------------------------------------------------------------

TKeyComparer::TKeyComparer(TTarnTableIO& table, int index, const TKeyValues& key, int fieldCount,
                           bool partial, TKeyEquality equality)
    : reader_(table) {
    const TTarnIndexDef& def = table.IndexDefs()[index];
    bool caseInsensitive = def.Options.Has(tiCaseInsensitive);
    rule_ = !caseInsensitive                     ? TCaseRule::Exact
            : equality == TKeyEquality::CaseOnly ? TCaseRule::IgnoreCase
                                                 : TCaseRule::LettersOnly;
    descending_ = def.Options.Has(tiDescending);
    size_t n = def.KeyFields.size();
    if (fieldCount > 0 && static_cast<size_t>(fieldCount) < n) n = static_cast<size_t>(fieldCount);
    for (size_t j = 0; j < n; ++j) {
        int f = def.KeyFields[j];
        TFieldType type = table.FieldDefs()[f].FieldType;
        // Keys compare as the filter's values do: blob text counts as a string too.
        anyString_ = anyString_ || IsTextOperandType(type);
        fields_.push_back(
            {f, type, key.Value(f), partial && (type == ftString || type == ftFixedChar)});
    }
    // Integer keys, the common case, skip the general value comparison: each probe reads its
    // integers in place and compares them with the key's, decoded once here. The values and
    // their order are those of CompareFieldValues.
    for (const Field& f : fields_) {
        const bool integer = IsIntegerFamily(f.type) || f.type == ftLargeint;
        const uint8_t width = f.type == ftLargeint                       ? 8
                              : f.type == ftSmallint || f.type == ftWord ? 2
                                                                         : 4;
        if (!integer || !reader_.InPlace(f.number) || table.SlotSize(f.number) < width) {
            integers_.clear();
            break;
        }
        integers_.push_back({IntegerOf(TValueRef{f.type, f.key.data(), f.key.size()}),
                             table.SlotOffset(f.number), width, f.type != ftWord});
    }
    if (integers_.size() > kMaxIntegerFields) integers_.clear();
}

int TKeyComparer::CompareIntegers(const uint8_t* const* slots) const {
    for (size_t j = 0; j < integers_.size(); ++j) {
        const IntegerField& f = integers_[j];
        const uint8_t* p = slots[j];
        int64_t v;
        switch (f.width) {
            case 2: {
                const uint16_t u = bytes::GetU16(std::span<const uint8_t>(p, 2), 0);
                v = f.isSigned ? static_cast<int16_t>(u) : static_cast<int64_t>(u);
                break;
            }
            case 4:
                v = bytes::GetI32(std::span<const uint8_t>(p, 4), 0);
                break;
            default:
                v = bytes::GetI64(std::span<const uint8_t>(p, 8), 0);
                break;
        }
        if (f.key != v) return f.key < v ? -1 : 1;
    }
    return 0;
}

int TKeyComparer::WholeFields() const {
    int n = 0;
    while (n < FieldCount() && !fields_[static_cast<size_t>(n)].partial) ++n;
    return n;
}

int TKeyComparer::Compare(const TRecordEntry& stored) {
    if (!integers_.empty()) {
        const uint8_t* slots[kMaxIntegerFields];
        bool mapped = true;
        for (size_t j = 0; j < integers_.size() && mapped; ++j) {
            slots[j] = reader_.ViewSlot(stored, integers_[j].slotOffset, integers_[j].width);
            mapped = slots[j] != nullptr;
        }
        if (mapped) {
            const int result = CompareIntegers(slots);
            return descending_ ? -result : result;
        }
    }
    int result = 0;
    for (const Field& f : fields_) {
        std::span<const uint8_t> s = reader_.Read(stored, f.number);
        result = CompareFieldValues(f.type, f.key, s, rule_, f.partial);
        if (result != 0) break;
    }
    return descending_ ? -result : result;
}

// ---- searches -----------------------------------------------------------------------------

TKeySearch SearchKey(TKeyComparer& cmp, const TListView& list) {
    TKeySearch r;
    int lo = 0, hi = list.Count() - 1;
    while (lo <= hi) {
        r.position = lo + (hi - lo) / 2;
        int c = cmp.Compare(list.At(r.position));
        if (c == 0) {
            r.outcome = 0;
            break;
        }
        if (c < 0) {
            r.outcome = -1;
            hi = r.position - 1;
        } else {
            r.outcome = 1;
            lo = r.position + 1;
        }
    }
    return r;
}

int InsertPosition(TKeyComparer& cmp, const TListView& list) {
    TKeySearch r = SearchKey(cmp, list);
    if (r.outcome == -2) return 0;
    return r.outcome == -1 ? r.position : r.position + 1;
}

TKeySearch SearchKeyBound(TKeyComparer& cmp, const TListView& list, bool first) {
    TKeySearch r;
    bool seenEqual = false;
    int lo = 0, hi = list.Count() - 1;
    while (lo <= hi) {
        int p = lo + (hi - lo) / 2;
        int c = cmp.Compare(list.At(p));
        if (!seenEqual) r.position = p;
        if (c > 0) {
            if (!seenEqual) r.outcome = 1;
            lo = p + 1;
        } else if (c < 0) {
            if (!seenEqual) r.outcome = -1;
            hi = p - 1;
        } else {
            seenEqual = true;
            r.outcome = 0;
            r.position = p;
            if (first)
                hi = p - 1;
            else
                lo = p + 1;
        }
    }
    return r;
}

}  // namespace tarn

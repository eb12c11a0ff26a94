// Key comparison and key searches of a table's indexes.
//
// A key is the values of an index's key fields for one record. The key being searched for
// is held in a TKeyValues (taken from a component's field buffers, or from a stored
// record); the keys it is compared with are read from the file, one field at a time,
// straight from the mapped record slot when values are stored plain, through
// ReadStoredField when they are encrypted or the field is a blob. No key is cached.
//
// Two values compare as the filter evaluator's "=" and "<" compare them
// (CompareFieldValues): strings by the locale collation, case-blind for tiCaseInsensitive
// indexes and on their first StarPos bytes for a partial comparison, date-times with the
// evaluator's 1000 ms tolerance. A tiDescending index turns the result round.
//
// A tiCaseInsensitive index is kept in the order of letters and accents alone: neither case
// nor letter forms such as width count (TCaseRule::LettersOnly). Files hold their keys in
// that order, so every search bisects by it. Locate and the filters ignore case only
// (TCaseRule::IgnoreCase), which tells apart some keys the order calls equal ('2' and the
// full-width '２'): a comparer built with TKeyEquality::CaseOnly decides whether a stored
// key is such a match. Whatever it calls equal the order calls equal too, so matches lie
// within the run of entries equal in order.
//
// Used on the thread that owns the database; the caller holds the file lock when it needs
// a consistent view of other processes' writes. Errors: EDatabaseError for a damaged file,
// the module errors of a failing decoder.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/text/collation.h"
#include "tarndb/field_buffers.h"
#include "tarndb/record_list.h"
#include "tarndb/stream.h"

namespace tarn {

class TTarnTableIO;
class TTarnDBFileIO;

// How the values in field buffers become the key they stand for.
enum class TKeySource {
    Search,   // as given (a key to look for): inactive fields have no value (zero / empty)
    Append,   // as AddRecord will store them: strings cut, inactive fields zero
    Rewrite,  // as ModifyRecord will store them: inactive fields and a zero auto-increment
              // value keep the stored value of the record being rewritten
};

// The key field values of one record, for every field that some index of the table uses.
// Owns copies of the bytes, so it stays valid while buffers and file change.
class TKeyValues {
public:
    // From a component's field buffers; `stored` is the record being rewritten (Rewrite).
    TKeyValues(TTarnTableIO& table, const TFieldBuffers& buffers, TKeySource source,
               const TRecordEntry* stored = nullptr);
    // The key as stored in the file for the record `stored`.
    TKeyValues(TTarnTableIO& table, const TRecordEntry& stored);

    // The value bytes of field `field` in the record-buffer encoding (empty when no index
    // uses the field).
    std::span<const uint8_t> Value(int field) const;

private:
    void Put(int field, const uint8_t* data, size_t size);
    struct Part {
        size_t offset = 0;
        size_t size = 0;
    };
    std::vector<Part> parts_;  // by field number
    std::vector<uint8_t> bytes_;
};

// Reads stored field values of records for key comparison.
class TStoredKeyReader {
public:
    explicit TStoredKeyReader(TTarnTableIO& table);
    // The decoded value of `field` of the record `e`; valid until the next call.
    std::span<const uint8_t> Read(const TRecordEntry& e, int field);
    // Whether Read takes the field's value straight from the record's slot.
    bool InPlace(int field) const { return plain_.at(static_cast<size_t>(field)) != 0; }
    // The `size` bytes at `slotOffset` of the record `e` where the file is mapped; nullptr
    // where it is not.
    const uint8_t* ViewSlot(const TRecordEntry& e, int32_t slotOffset, size_t size);

private:
    TTarnTableIO& table_;
    TTarnDBFileIO& io_;
    std::vector<uint8_t> plain_;  // per field: read straight from the mapped slot
    std::vector<uint8_t> scratch_;
    TMemoryStream decoded_;
};

// What a comparer's 0 means for the string fields of a tiCaseInsensitive index.
enum class TKeyEquality {
    Order,     // equal in the index's order: letters and accents only
    CaseOnly,  // equal as a case-insensitive Locate or filter sees it: only case ignored
};

// CompareKey of one key against stored records, for one index.
class TKeyComparer {
public:
    // `fieldCount` 0 compares all key fields, n > 0 only the first n; `partial` compares
    // string fields on the key's length only.
    TKeyComparer(TTarnTableIO& table, int index, const TKeyValues& key, int fieldCount = 0,
                 bool partial = false, TKeyEquality equality = TKeyEquality::Order);
    // -1 when the key sorts before the stored record, 0 when equal, 1 after.
    int Compare(const TRecordEntry& stored);
    // Whether a 0 of this comparer is a 0 of its CaseOnly twin as well (no string field is
    // compared ignoring letter forms).
    bool EqualMeansMatch() const { return rule_ != TCaseRule::LettersOnly || !anyString_; }
    // The number of leading fields compared whole: the fields before the first one that is
    // compared on the key's length only (all fields for a comparison that is not partial).
    int WholeFields() const;
    int FieldCount() const { return static_cast<int>(fields_.size()); }

private:
    struct Field {
        int number;
        int type;
        std::span<const uint8_t> key;
        bool partial;
    };
    // A field of an all-integer key, compared as an integer read in place from its slot.
    struct IntegerField {
        int64_t key;
        int32_t slotOffset;
        uint8_t width;  // 2, 4 or 8 bytes
        bool isSigned;
    };
    static constexpr size_t kMaxIntegerFields = 8;
    int CompareIntegers(const uint8_t* const* slots) const;
    TStoredKeyReader reader_;
    std::vector<Field> fields_;
    std::vector<IntegerField> integers_;  // empty unless every field is an integer in place
    TCaseRule rule_;
    bool anyString_ = false;
    bool descending_;
};

// A key list as the searches see it, optionally with one position left out (a rewritten
// record's own entry while its new place is sought).
class TListView {
public:
    explicit TListView(const TRecordList& list, int skip = -1) : list_(list), skip_(skip) {}
    int Count() const { return list_.Count() - (skip_ >= 0 ? 1 : 0); }
    TRecordEntry At(int position) const {
        return list_.At(skip_ >= 0 && position >= skip_ ? position + 1 : position);
    }

private:
    const TRecordList& list_;
    int skip_;
};

// Result of a search: the position reached and how the key relates to its entry
// (-2 the list is empty, 0 equal, -1 the key sorts before the entry, 1 after it).
struct TKeySearch {
    int position = -1;
    int outcome = -2;
};

// Bisection: stops at the first equal entry it meets.
TKeySearch SearchKey(TKeyComparer& cmp, const TListView& list);
// Where a new entry with this key goes: after an equal entry the bisection meets.
int InsertPosition(TKeyComparer& cmp, const TListView& list);
// The first (or last) equal entry; without one the last probe and its outcome.
TKeySearch SearchKeyBound(TKeyComparer& cmp, const TListView& list, bool first);

}  // namespace tarn

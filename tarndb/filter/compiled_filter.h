// TCompiledFilter: a compiled filter expression turned into tests on the bytes of a stored
// record, for scans that need no record buffer.
//
// A comparison of a data field with a constant becomes a typed comparison at the field's
// fixed offset in the record, against the constant as the parser encoded it; LIKE of a
// field with a constant pattern checks the pattern's literal prefix first; AND, OR and NOT
// combine those with short-circuit. Results are exactly those of TExprParserBase::Calculate
// over a record buffer holding the same field bytes (a record buffer holds a field's bytes
// as they are stored when the field is neither encrypted nor a blob). Any other expression
// (functions, arithmetic, IN, fields on both sides, blob, calculated or encrypted fields)
// does not compile, and the caller evaluates it the general way.
//
// The compiled filter refers to the parser's constant nodes: it is valid while the tree it
// was made from lives unchanged. Evaluating allocates nothing for fixed-size fields and
// ASCII text.
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "tarndb/filter/expr_parser.h"
#include "tarndb/filter/value_compare.h"

namespace tarn {

class TCompiledFilter {
public:
    // Where the value of the dataset field `fieldIndex` lies in a stored record (its bytes
    // there being exactly those a record buffer would hold); false when it cannot be read
    // from the stored bytes.
    using TSlotOf = std::function<bool(int fieldIndex, int32_t& offset)>;

    // Compiles the tree under `root` for `options`; false (and nothing compiled) when some
    // part of it has no compiled form.
    bool Compile(const TExprNode* root, const TEvalOptions& options, const TCollator& collator,
                 const TSlotOf& slotOf);
    bool Compiled() const { return !ops_.empty(); }
    // The filter's verdict on a record of at least RecordBytes() bytes.
    bool Accept(const uint8_t* record) const { return Eval(0, record); }
    // Bytes of a record the tests read (the end of the furthest field).
    size_t RecordBytes() const { return recordBytes_; }

private:
    enum class TOpKind : uint8_t { And, Or, Not, Compare, Like };
    static constexpr size_t kPrefixChars = 16;
    struct TOp {
        TOpKind kind = TOpKind::Compare;
        TExprOperator op = TExprOperator::None;
        uint32_t left = 0, right = 0;  // operand ops of And, Or, Not
        int32_t offset = 0;            // the field's value in the record
        int32_t size = 0;
        int type = 0;
        TValueRef constant;
        TCompareOptions compare;
        bool integers = false;  // both sides integer-valued: compared as 64-bit integers
        int64_t constantInteger = 0;
        // LIKE: the pattern, and per leading literal ASCII character of it the ASCII
        // characters that match it; `prefixOnly` when a single "%" follows that prefix.
        std::string_view pattern;
        bool caseInsensitive = false;
        std::vector<std::bitset<128>> prefix;
        bool prefixOnly = false;
    };

    int Build(const TExprNode* node, const TEvalOptions& options, const TCollator& collator,
              const TSlotOf& slotOf);
    bool Eval(uint32_t at, const uint8_t* record) const;
    bool Compare(const TOp& op, const uint8_t* record) const;
    bool Like(const TOp& op, const uint8_t* record) const;

    std::vector<TOp> ops_;
    const TCollator* collator_ = nullptr;
    size_t recordBytes_ = 0;
};

}  // namespace tarn

#include "tarndb/filter/compiled_filter.h"

#include <algorithm>

#include "tarndb/filter/field_types.h"
#include "tarndb/filter/like_match.h"

namespace tarn {

using namespace ftype;

namespace {

bool IsIntegerValued(int type) { return IsIntegerFamily(type) || type == ftLargeint; }

bool Verdict(TExprOperator op, int c) {
    switch (op) {
        case TExprOperator::Equal:
            return c == 0;
        case TExprOperator::NotEqual:
            return c != 0;
        case TExprOperator::Greater:
            return c > 0;
        case TExprOperator::Less:
            return c < 0;
        case TExprOperator::GreaterOrEqual:
            return c >= 0;
        default:
            return c <= 0;
    }
}

}  // namespace

bool TCompiledFilter::Compile(const TExprNode* root, const TEvalOptions& options,
                              const TCollator& collator, const TSlotOf& slotOf) {
    ops_.clear();
    recordBytes_ = 0;
    collator_ = &collator;
    if (root == nullptr || Build(root, options, collator, slotOf) != 0) {
        ops_.clear();
        return false;
    }
    return true;
}

// Appends the ops of `node` (its own op first, so the root lands at 0); -1 when the node
// has no compiled form.
int TCompiledFilter::Build(const TExprNode* node, const TEvalOptions& options,
                           const TCollator& collator, const TSlotOf& slotOf) {
    if (node->Kind != TExprNodeKind::Operator) return -1;
    const int at = static_cast<int>(ops_.size());
    ops_.emplace_back();
    auto child = [&](const TExprNode* n, uint32_t TOp::*slot) {
        int c = n ? Build(n, options, collator, slotOf) : -1;
        if (c < 0) return false;
        ops_[static_cast<size_t>(at)].*slot = static_cast<uint32_t>(c);
        return true;
    };
    switch (node->Operator) {
        case TExprOperator::And:
        case TExprOperator::Or:
            ops_[static_cast<size_t>(at)].kind =
                node->Operator == TExprOperator::And ? TOpKind::And : TOpKind::Or;
            if (!child(node->Left, &TOp::left) || !child(node->Right, &TOp::right)) return -1;
            return at;
        case TExprOperator::Not:
            ops_[static_cast<size_t>(at)].kind = TOpKind::Not;
            return child(node->Left, &TOp::left) ? at : -1;
        case TExprOperator::Equal:
        case TExprOperator::NotEqual:
        case TExprOperator::Greater:
        case TExprOperator::Less:
        case TExprOperator::GreaterOrEqual:
        case TExprOperator::LessOrEqual:
        case TExprOperator::Like:
            break;
        default:
            return -1;
    }
    const TExprNode* field = node->Left;
    const TExprNode* constant = node->Right;
    if (field == nullptr || constant == nullptr || field->Kind != TExprNodeKind::Field ||
        field->IsBlobField || constant->Kind != TExprNodeKind::Constant)
        return -1;
    int32_t offset = 0;
    if (field->FieldSize <= 0 || !slotOf(field->FieldIndex, offset) || offset < 0) return -1;
    TOp& op = ops_[static_cast<size_t>(at)];
    op.op = node->Operator;
    op.offset = offset;
    op.size = field->FieldSize;
    op.type = field->DataType;
    op.constant = constant->Value();
    recordBytes_ =
        std::max(recordBytes_, static_cast<size_t>(offset) + static_cast<size_t>(op.size));
    if (node->Operator == TExprOperator::Like) {
        op.kind = TOpKind::Like;
        op.pattern = StringOf(op.constant);
        op.caseInsensitive = options.CaseInsensitive;
        size_t k = 0;
        for (; k < op.pattern.size() && op.prefix.size() < kPrefixChars; ++k) {
            const unsigned char p = static_cast<unsigned char>(op.pattern[k]);
            if (p == '%' || p == '_' || p >= 0x80) break;
            std::bitset<128>& matches = op.prefix.emplace_back();
            for (char32_t c = 1; c < 128; ++c)
                matches[c] = LikeSameChar(c, p, op.caseInsensitive, collator);
        }
        op.prefixOnly = k == op.pattern.size() - 1 && op.pattern[k] == '%';
        return at;
    }
    op.kind = TOpKind::Compare;
    // The options of the general evaluator's comparison (TExprParserBase::CompareNodes).
    op.compare.CaseRule = options.CaseInsensitive ? TCaseRule::IgnoreCase : TCaseRule::Exact;
    op.compare.Collator = &collator;
    if (!options.NoPartialCompare && IsTextOperandType(constant->DataType) &&
        constant->StarPos >= 0)
        op.compare.PrefixLength = constant->StarPos;
    if (!HasDefinedOrder(op.type, op.constant.DataType)) return -1;  // raises when evaluated
    op.integers = IsIntegerValued(op.type) && IsIntegerValued(op.constant.DataType);
    if (op.integers) op.constantInteger = IntegerOf(op.constant);
    return at;
}

bool TCompiledFilter::Eval(uint32_t at, const uint8_t* record) const {
    const TOp& op = ops_[at];
    switch (op.kind) {
        case TOpKind::And:
            return Eval(op.left, record) && Eval(op.right, record);
        case TOpKind::Or:
            return Eval(op.left, record) || Eval(op.right, record);
        case TOpKind::Not:
            return !Eval(op.left, record);
        case TOpKind::Compare:
            return Compare(op, record);
        case TOpKind::Like:
            return Like(op, record);
    }
    return false;
}

bool TCompiledFilter::Compare(const TOp& op, const uint8_t* record) const {
    const TValueRef value{op.type, record + op.offset, static_cast<size_t>(op.size)};
    if (op.integers) {
        const int64_t v = IntegerOf(value);
        return Verdict(op.op, v < op.constantInteger ? -1 : (op.constantInteger < v ? 1 : 0));
    }
    if ((op.op == TExprOperator::Equal || op.op == TExprOperator::NotEqual) &&
        op.compare.PrefixLength < 0 && IsTextOperandType(op.type) &&
        IsTextOperandType(op.constant.DataType)) {
        const int same =
            TextEqualityFromBytes(StringOf(value), StringOf(op.constant), op.compare.CaseRule);
        if (same >= 0) return (same == 1) == (op.op == TExprOperator::Equal);
    }
    return Verdict(op.op, CompareFieldValues(value, op.constant, op.compare));
}

bool TCompiledFilter::Like(const TOp& op, const uint8_t* record) const {
    const std::string_view text =
        StringOf(TValueRef{op.type, record + op.offset, static_cast<size_t>(op.size)});
    // The pattern's literal prefix against the text's leading ASCII characters: a character
    // that does not match rejects the text, as the matcher would. A non-ASCII character of
    // the text leaves the decision to the matcher.
    size_t i = 0;
    for (; i < op.prefix.size(); ++i) {
        if (i >= text.size()) return false;
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) break;
        if (!op.prefix[i][c]) return false;
    }
    if (i == op.prefix.size() && op.prefixOnly) return true;
    return LikeMatch(text, op.pattern, op.caseInsensitive, *collator_);
}

}  // namespace tarn

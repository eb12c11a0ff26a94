#include "tarndb/filter/expr_parser.h"

#include <cmath>

#include "platform/text/convert.h"
#include "tarndb/errors.h"
#include "tarndb/filter/field_types.h"
#include "tarndb/filter/like_match.h"
#include "tarndb/filter/value_compare.h"

namespace tarn {

using namespace ftype;

TExprParserBase::TExprParserBase() : Nodes(this) {}

TExprParserBase::~TExprParserBase() = default;

const TCollator& TExprParserBase::Collator() const {
    return collator_ ? *collator_ : TCollator::Default();
}

void TExprParserBase::Parse(std::string_view text) {
    Nodes.Clear();
    SetText(text);
    nesting_ = 0;
    try {
        NextToken();
        TExprNode* root = ParseExpr();
        CheckEnd();
        Nodes.Root = root;
    } catch (...) {
        Nodes.Clear();
        throw;
    }
}

void TExprParserBase::CheckEnd() {
    if (token_ != TTokenKind::End) {
        throw EDatabaseError("Filter expression incorrectly terminated");
    }
}

void TExprParserBase::CheckDepth(const TExprNode* node) {
    if (node->Depth > kMaxDepth) throw EDatabaseError("Filter expression too complex");
}

bool TExprParserBase::Calculate(const TEvalOptions& options) {
    options_ = options;
    TExprNode* root = Nodes.Root;
    if (root == nullptr) throw EDatabaseError("No filter expression");
    BeginEvaluation();
    Evaluate(root);
    const TValueRef v = root->Value();
    if (v.DataType == ftBoolean) return BoolOf(v);
    if (IsTextOperandType(v.DataType)) return !StringOf(v).empty();
    if (IsFloatType(v.DataType) || v.DataType == ftDateTime) {
        double d = codec::F64(v);
        return d != 0 && !std::isnan(d);
    }
    if (IsNumericType(v.DataType)) return IntegerOf(v) != 0;
    return codec::I32(v) != 0;  // ftDate, ftTime
}

int TExprParserBase::CompareNodes(const TExprNode* left, const TExprNode* right) const {
    TCompareOptions opt;
    opt.CaseRule = options_.CaseInsensitive ? TCaseRule::IgnoreCase : TCaseRule::Exact;
    opt.Collator = collator_;
    if (!options_.NoPartialCompare && right->Kind == TExprNodeKind::Constant &&
        IsTextOperandType(right->DataType) && right->StarPos >= 0) {
        opt.PrefixLength = right->StarPos;
    }
    return CompareFieldValues(left->Value(), right->Value(), opt);
}

void TExprParserBase::Evaluate(TExprNode* node) {
    switch (node->Kind) {
        case TExprNodeKind::Field:
            LoadFieldNode(node);
            return;
        case TExprNodeKind::Constant:
            return;
        case TExprNodeKind::Function:
            for (TExprNode* arg : node->Args) Evaluate(arg);
            EvalFunction(node);
            return;
        case TExprNodeKind::Operator:
            EvalOperator(node);
            return;
    }
}

void TExprParserBase::EvalOperator(TExprNode* node) {
    TExprNode* l = node->Left;
    TExprNode* r = node->Right;
    bool result = false;
    switch (node->Operator) {
        case TExprOperator::Not:
            Evaluate(l);
            result = !BoolOf(l->Value());
            break;
        case TExprOperator::And:
            Evaluate(l);
            if (BoolOf(l->Value())) {
                Evaluate(r);
                result = BoolOf(r->Value());
            }
            break;
        case TExprOperator::Or:
            Evaluate(l);
            result = BoolOf(l->Value());
            if (!result) {
                Evaluate(r);
                result = BoolOf(r->Value());
            }
            break;
        case TExprOperator::In:
            Evaluate(l);
            for (TExprNode* item : node->Args) {
                Evaluate(item);
                if (CompareNodes(l, item) == 0) {
                    result = true;
                    break;
                }
            }
            break;
        case TExprOperator::Like:
            Evaluate(l);
            Evaluate(r);
            result = LikeMatch(StringOf(l->Value()), StringOf(r->Value()), options_.CaseInsensitive,
                               Collator());
            break;
        case TExprOperator::Equal:
        case TExprOperator::NotEqual:
        case TExprOperator::Greater:
        case TExprOperator::Less:
        case TExprOperator::GreaterOrEqual:
        case TExprOperator::LessOrEqual: {
            Evaluate(l);
            Evaluate(r);
            int c = CompareNodes(l, r);
            switch (node->Operator) {
                case TExprOperator::Equal:
                    result = c == 0;
                    break;
                case TExprOperator::NotEqual:
                    result = c != 0;
                    break;
                case TExprOperator::Greater:
                    result = c > 0;
                    break;
                case TExprOperator::Less:
                    result = c < 0;
                    break;
                case TExprOperator::GreaterOrEqual:
                    result = c >= 0;
                    break;
                default:
                    result = c <= 0;
                    break;
            }
            break;
        }
        case TExprOperator::Add:
        case TExprOperator::Subtract:
        case TExprOperator::Multiply:
        case TExprOperator::Divide:
            Evaluate(l);
            Evaluate(r);
            EvalArithmetic(node);
            return;
        case TExprOperator::None:
            return;
    }
    node->Buf[0] = result ? 1 : 0;
}

}  // namespace tarn

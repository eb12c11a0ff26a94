#include "tarndb/filter/filter_parser.h"

#include <algorithm>

#include "platform/text/codepage.h"
#include "platform/text/convert.h"
#include "tarndb/errors.h"
#include "tarndb/filter/field_types.h"

namespace tarn {

using namespace ftype;

namespace {

bool IsSymbolChar(unsigned char c) {
    return c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '[' || c == ']' ||
           c == '_' || (c >= 'a' && c <= 'z');
}

bool IsBlank(char c) { return c != '\0' && static_cast<unsigned char>(c) <= 0x20; }

[[noreturn]] void Expected(const char* fmt, const std::string& tokenName) {
    throw EDatabaseError(Format(fmt, tokenName.c_str()));
}

}  // namespace

size_t TFilterParser::ReadToken(size_t p) {
    const unsigned char c = static_cast<unsigned char>(At(p));
    if (c == 0) {
        token_ = TTokenKind::End;
        return p;
    }
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 0x81 && c <= 0xFE)) {
        const size_t start = p;
        if (kSysLocaleFarEast) {
            for (;;) {
                const unsigned char d = static_cast<unsigned char>(At(p));
                if (p < text_.size() && IsLeadByte(d)) {
                    p += p + 1 < text_.size() ? 2 : 1;
                } else if (IsSymbolChar(d) || (kSysLocaleJapanese && d >= 0xA1 && d <= 0xDF)) {
                    ++p;
                } else {
                    break;
                }
            }
        } else {
            ++p;
            while (IsSymbolChar(static_cast<unsigned char>(At(p)))) ++p;
        }
        tokenText_ = text_.substr(start, p - start);
        token_ = TTokenKind::Symbol;
        if (SameTextAscii(tokenText_, "LIKE")) token_ = TTokenKind::Like;
        if (SameTextAscii(tokenText_, "IN")) token_ = TTokenKind::In;
        return p;
    }
    switch (c) {
        case '[': {
            size_t q = p + 1;
            while (q < text_.size() && text_[q] != ']') {
                q += IsLeadByte(static_cast<unsigned char>(text_[q])) ? 2 : 1;
            }
            if (q >= text_.size()) throw EDatabaseError("Unterminated field name");
            tokenText_ = text_.substr(p + 1, q - p - 1);
            token_ = TTokenKind::Name;
            return q + 1;
        }
        case '\'': {
            size_t q = p + 1;
            for (;;) {
                if (q >= text_.size()) throw EDatabaseError("Unterminated string constant");
                char ch = text_[q];
                if (ch == '\'') {
                    if (At(q + 1) != '\'') {
                        ++q;
                        break;
                    }
                    ++q;
                }
                if (tokenText_.size() < 256) tokenText_.push_back(ch);
                ++q;
            }
            token_ = TTokenKind::String;
            return q;
        }
        case '(':
            token_ = TTokenKind::LParen;
            return p + 1;
        case ')':
            token_ = TTokenKind::RParen;
            return p + 1;
        case '*':
            token_ = TTokenKind::Times;
            return p + 1;
        case '+':
            token_ = TTokenKind::Plus;
            return p + 1;
        case ',':
            token_ = TTokenKind::Comma;
            return p + 1;
        case '/':
            token_ = TTokenKind::Divide;
            return p + 1;
        case '=':
            token_ = TTokenKind::Equal;
            return p + 1;
        case '<':
            if (At(p + 1) == '=') {
                token_ = TTokenKind::LessOrEqual;
                return p + 2;
            }
            if (At(p + 1) == '>') {
                token_ = TTokenKind::NotEqual;
                return p + 2;
            }
            token_ = TTokenKind::Less;
            return p + 1;
        case '>':
            if (At(p + 1) == '=') {
                token_ = TTokenKind::GreaterOrEqual;
                return p + 2;
            }
            token_ = TTokenKind::Greater;
            return p + 1;
        default:
            break;
    }
    if (c == '-') {
        switch (prevToken_) {
            case TTokenKind::Symbol:
            case TTokenKind::Name:
            case TTokenKind::Number:
            case TTokenKind::String:
            case TTokenKind::RParen:
                token_ = TTokenKind::Minus;
                return p + 1;
            default:
                break;
        }
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
        const char sep = FormatSettings().DecimalSeparator;
        size_t q = p + 1;
        for (;;) {
            const char d = At(q);
            if ((d >= '0' && d <= '9') || d == 'E' || d == 'e' || (d == sep && d != '\0')) {
                ++q;
            } else if ((d == '+' || d == '-') && (text_[q - 1] == 'E' || text_[q - 1] == 'e')) {
                ++q;
            } else {
                break;
            }
        }
        if (sep == ',' && q > p + 1 && text_[q - 1] == ',' && IsBlank(At(q))) --q;
        tokenText_ = text_.substr(p, q - p);
        token_ = TTokenKind::Number;
        return q;
    }
    InvalidChar(p);
}

void TFilterParser::EnterNesting() {
    if (++nesting_ > kMaxNesting) throw EDatabaseError("Filter expression too complex");
}

TExprNode* TFilterParser::Binary(TExprOperator op, TExprNode* left, TExprNode* right) {
    const bool arithmetic = op == TExprOperator::Add || op == TExprOperator::Subtract ||
                            op == TExprOperator::Multiply || op == TExprOperator::Divide;
    TExprNode* node = Nodes.NewNode(TExprNodeKind::Operator, arithmetic ? ftUnknown : ftBoolean,
                                    left, right, op, arithmetic ? 0 : 1);
    CheckDepth(node);
    return node;
}

TExprNode* TFilterParser::ParseExpr() {
    TExprNode* left = ParseConjunction();
    while (IsKeyword("OR")) {
        NextToken();
        TExprNode* right = ParseConjunction();
        left = Binary(TExprOperator::Or, left, right);
        LogicalTyping(left);
    }
    return left;
}

TExprNode* TFilterParser::ParseConjunction() {
    TExprNode* left = ParseNegation();
    while (IsKeyword("AND")) {
        NextToken();
        TExprNode* right = ParseNegation();
        left = Binary(TExprOperator::And, left, right);
        LogicalTyping(left);
    }
    return left;
}

TExprNode* TFilterParser::ParseNegation() {
    if (IsKeyword("NOT")) {
        NextToken();
        TExprNode* node = Binary(TExprOperator::Not, ParseComparison(), nullptr);
        LogicalTyping(node);
        return node;
    }
    return ParseComparison();
}

TExprNode* TFilterParser::ParseComparison() {
    TExprNode* left = ParseSum();
    TExprOperator op;
    switch (token_) {
        case TTokenKind::Equal:
            op = TExprOperator::Equal;
            break;
        case TTokenKind::NotEqual:
            op = TExprOperator::NotEqual;
            break;
        case TTokenKind::Greater:
            op = TExprOperator::Greater;
            break;
        case TTokenKind::Less:
            op = TExprOperator::Less;
            break;
        case TTokenKind::GreaterOrEqual:
            op = TExprOperator::GreaterOrEqual;
            break;
        case TTokenKind::LessOrEqual:
            op = TExprOperator::LessOrEqual;
            break;
        case TTokenKind::Like: {
            NextToken();
            TExprNode* node = Binary(TExprOperator::Like, left, ParseSum());
            LikeTyping(node);
            return node;
        }
        case TTokenKind::In: {
            NextToken();
            if (token_ != TTokenKind::LParen) Expected("'(' expected but %s found", TokenName());
            TExprNode* node = Binary(TExprOperator::In, left, nullptr);
            NextToken();
            if (token_ == TTokenKind::RParen) {
                throw EDatabaseError("IN predicate list may not be empty");
            }
            ParseList(node);
            InTyping(node);
            NextToken();
            return node;
        }
        default:
            return left;
    }
    NextToken();
    TExprNode* node = Binary(op, left, ParseSum());
    ComparisonTyping(node);
    return node;
}

TExprNode* TFilterParser::ParseSum() {
    TExprNode* left = ParseTerm();
    while (token_ == TTokenKind::Plus || token_ == TTokenKind::Minus) {
        TExprOperator op =
            token_ == TTokenKind::Plus ? TExprOperator::Add : TExprOperator::Subtract;
        NextToken();
        left = Binary(op, left, ParseTerm());
        ArithmeticTyping(left);
    }
    return left;
}

TExprNode* TFilterParser::ParseTerm() {
    TExprNode* left = ParsePrimary();
    while (token_ == TTokenKind::Times || token_ == TTokenKind::Divide) {
        TExprOperator op =
            token_ == TTokenKind::Times ? TExprOperator::Multiply : TExprOperator::Divide;
        NextToken();
        left = Binary(op, left, ParsePrimary());
        ArithmeticTyping(left);
    }
    return left;
}

void TFilterParser::ParseList(TExprNode* owner) {
    EnterNesting();
    while (token_ != TTokenKind::End && token_ != TTokenKind::RParen) {
        TExprNode* item = ParseExpr();
        owner->Args.push_back(item);
        owner->Depth = std::max(owner->Depth, item->Depth + 1);
        CheckDepth(owner);
        if (token_ == TTokenKind::Comma) {
            NextToken();
        } else if (token_ != TTokenKind::RParen) {
            Expected("')' or ',' expected but %s found", TokenName());
        }
    }
    if (token_ != TTokenKind::RParen) Expected("')' expected but %s found", TokenName());
    --nesting_;
}

TExprNode* TFilterParser::ParsePrimary() {
    TExprNode* node = nullptr;
    switch (token_) {
        case TTokenKind::Symbol: {
            size_t q = position_;
            while (IsBlank(At(q))) ++q;
            if (At(q) == '(' && IsFunctionName(tokenText_)) {
                const std::string name = tokenText_;
                NextToken();
                if (token_ != TTokenKind::LParen)
                    Expected("'(' expected but %s found", TokenName());
                NextToken();
                node = Nodes.NewFunctionNode(name);
                if (token_ != TTokenKind::RParen) ParseList(node);
                FunctionTyping(node);
            } else if (SameTextAscii(tokenText_, "True") || SameTextAscii(tokenText_, "False")) {
                node = Nodes.NewNode(TExprNodeKind::Constant, ftBoolean, nullptr, nullptr,
                                     TExprOperator::None, 1);
                node->Buf[0] = SameTextAscii(tokenText_, "True") ? 1 : 0;
            } else {
                node = MakeFieldNode(tokenText_);
            }
            break;
        }
        case TTokenKind::Name:
            node = MakeFieldNode(tokenText_);
            break;
        case TTokenKind::Number:
            node = MakeNumberNode();
            break;
        case TTokenKind::String:
            node = MakeStringNode();
            break;
        case TTokenKind::LParen:
            EnterNesting();
            NextToken();
            node = ParseExpr();
            if (token_ != TTokenKind::RParen) Expected("')' expected but %s found", TokenName());
            --nesting_;
            break;
        default:
            Expected("Expression expected but %s found", TokenName());
    }
    NextToken();
    return node;
}

TExprNode* TFilterParser::MakeNumberNode() {
    int32_t i = 0;
    if (TryStrToInt32(tokenText_, i)) {
        TExprNode* node = Nodes.NewNode(TExprNodeKind::Constant, ftInteger, nullptr, nullptr,
                                        TExprOperator::None, 4);
        codec::PutI32(node->Buf.data(), i);
        return node;
    }
    const double d = StrToFloat(tokenText_);
    TExprNode* node =
        Nodes.NewNode(TExprNodeKind::Constant, ftFloat, nullptr, nullptr, TExprOperator::None, 8);
    codec::PutF64(node->Buf.data(), d);
    return node;
}

TExprNode* TFilterParser::MakeStringNode() {
    TExprNode* node =
        Nodes.NewNode(TExprNodeKind::Constant, ftString, nullptr, nullptr, TExprOperator::None, 0);
    node->SetString(tokenText_);
    size_t star = tokenText_.find('*');
    node->StarPos = star == std::string::npos ? -1 : static_cast<int32_t>(star);
    return node;
}

TExprNode* TFilterParser::MakeFieldNode(const std::string& name) {
    const int index = DataSet ? DataSet->FindField(name) : -1;
    if (index < 0) {
        std::string prefix = DataSet ? DataSet->DataSetName() : std::string();
        if (!prefix.empty()) prefix += ": ";
        throw EDatabaseError(prefix + Format("Field '%s' not found", name.c_str()));
    }
    const TFilterField info = DataSet->FieldInfo(index);
    if (!IsFilterableType(info.DataType)) throw EDatabaseError("Type mismatch in expression");
    TExprNode* node = Nodes.NewFieldNode(name);
    node->DataType = info.DataType;
    node->FieldIndex = index;
    node->IsBlobField = info.IsBlob || IsBlobType(AsFieldType(info.DataType));
    if (!node->IsBlobField) {
        const int32_t need = std::max<int32_t>(FixedValueSize(info.DataType), 1);
        if (info.Size < need || info.Offset < 0) {
            throw EDatabaseError(
                Format("Field '%s' has no usable value in the record buffer", name.c_str()));
        }
        node->FieldOffset = info.Offset;
        node->FieldSize = info.Size;
    }
    return node;
}

int TFilterParser::GetFieldType(std::string_view name) {
    const int index = DataSet ? DataSet->FindField(name) : -1;
    if (index < 0) {
        std::string prefix = DataSet ? DataSet->DataSetName() : std::string();
        if (!prefix.empty()) prefix += ": ";
        throw EDatabaseError(prefix + Format("Field '%s' not found", std::string(name).c_str()));
    }
    return DataSet->FieldInfo(index).DataType;
}

int TFilterParser::GetFuncResultType(std::string_view name) {
    TExprFunction code = FunctionCode(name);
    if (code >= fnYear && code <= fnSecond) return ftInteger;
    if (code == fnGetDate) return ftDateTime;
    return ftUnknown;
}

bool TFilterParser::IsFunctionName(std::string_view name) { return FunctionCode(name) != fnNone; }

void TFilterParser::BeginEvaluation() {
    recBuf_ = {};
    haveRecBuf_ = DataSet != nullptr && DataSet->GetActiveRecBuf(recBuf_);
}

void TFilterParser::LoadFieldNode(TExprNode* node) {
    if (node->IsBlobField) {
        node->BlobText = DataSet->BlobText(node->FieldIndex);
        node->Data = reinterpret_cast<const uint8_t*>(node->BlobText.c_str());
        node->DataSize = node->BlobText.size();
        return;
    }
    const size_t offset = static_cast<size_t>(node->FieldOffset);
    const size_t size = static_cast<size_t>(node->FieldSize);
    if (!haveRecBuf_ || recBuf_.data() == nullptr) {
        throw EDatabaseError("No record to filter");
    }
    if (offset > recBuf_.size() || size > recBuf_.size() - offset) {
        throw EDatabaseError(
            Format("Field '%s' lies outside the record buffer", node->Name.c_str()));
    }
    node->Data = recBuf_.data() + offset;
    node->DataSize = size;
}

}  // namespace tarn

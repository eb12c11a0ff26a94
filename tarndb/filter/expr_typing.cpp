// The typing rules of TExprParserBase, applied as the parser builds each node, and the
// conversion of string constants into date and time constants.
#include <string>

#include "platform/text/convert.h"
#include "platform/text/format_settings.h"
#include "tarndb/datetime.h"
#include "tarndb/errors.h"
#include "tarndb/filter/date_reader.h"
#include "tarndb/filter/expr_parser.h"
#include "tarndb/filter/field_types.h"
#include "tarndb/filter/value_compare.h"

namespace tarn {

using namespace ftype;

namespace {

[[noreturn]] void Mismatch() { throw EDatabaseError("Type mismatch in expression"); }

bool IsStringConstant(const TExprNode* n) {
    return n->Kind == TExprNodeKind::Constant && n->DataType == ftString;
}

// A string constant that stands where a date or time belongs but reads as neither. The
// message lists the texts that do read: the fixed forms and the format settings' date order
// (its letters with the settings' date separator), when that is another form.
[[noreturn]] void BadDateLiteral(const TExprNode* n) {
    const TFormatSettings& fs = FormatSettings();
    std::string own;
    for (char c : fs.ShortDateFormat) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        own.push_back(letter ? c : fs.DateSeparator);
    }
    std::string forms = "yyyy-mm-dd, yyyy-mm-dd hh:mm:ss, hh:mm:ss";
    if (own.empty() || own == "M/d/yyyy") {
        forms += " or M/d/yyyy";
    } else {
        forms += ", M/d/yyyy or " + own;
    }
    throw EDatabaseError("Type mismatch in expression: '" + std::string(n->Text()) +
                         "' is not a date or time (write " + forms + ")");
}

// A date-time operand's other side when it is not a date-time value: a string constant that
// reads as a date or time becomes one; anything else is a mismatch.
void RequireDateTimeConstant(TExprNode* item) {
    if (!TExprParserBase::IsDateTimeConstant(item)) {
        if (IsStringConstant(item)) BadDateLiteral(item);
        Mismatch();
    }
    TExprParserBase::MakeDateTimeConstant(item);
}

int Rank(int type) {
    switch (type) {
        case ftSmallint:
            return 1;
        case ftWord:
            return 2;
        case ftInteger:
        case ftAutoInc:
            return 3;
        case ftLargeint:
            return 4;
        case ftFloat:
            return 5;
        default:
            return 6;  // ftCurrency
    }
}

// Converts `item` when it is a date-time string constant and `other` is a date-time value,
// then requires that the two compare.
void DateTimeOperands(TExprNode* dateSide, TExprNode* item) {
    if (!IsDateTimeType(item->DataType)) RequireDateTimeConstant(item);
    if (!HasDefinedOrder(dateSide->DataType, item->DataType)) Mismatch();
}

// Whether `item` may stand beside `left` in "=" (converting date-time constants).
void CheckEqualityItem(TExprNode* left, TExprNode* item) {
    const int l = left->DataType, r = item->DataType;
    if (IsNumericType(l)) {
        if (!IsNumericType(r)) Mismatch();
    } else if (IsTextOperandType(l)) {
        if (!IsTextOperandType(r)) Mismatch();
    } else if (IsDateTimeType(l)) {
        DateTimeOperands(left, item);
    } else if (l == ftBoolean) {
        if (r != ftBoolean) Mismatch();
    } else {
        Mismatch();
    }
}

}  // namespace

bool TExprParserBase::IsDateTimeConstant(const TExprNode* node) {
    if (!IsStringConstant(node)) return false;
    std::string_view text = node->Text();
    TTimeStamp ts;
    return ReadDateTime(text, ts) || TryStrToDateTime(text, ts);
}

void TExprParserBase::MakeDateTimeConstant(TExprNode* node) {
    std::string_view text = node->Text();
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    const std::string s(text);
    if (s.find(' ') != std::string::npos) {
        TTimeStamp ts;
        if (!ReadDateTime(s, ts)) ts = StrToDateTime(s);
        node->DataType = ftDateTime;
        node->SetBufSize(8);
        codec::PutF64(node->Buf.data(), TimeStampToMSecs(ts));
    } else if (s.find(':') != std::string::npos) {
        int32_t ms = 0;
        if (!ReadTime(s, ms)) ms = StrToTime(s);
        node->DataType = ftTime;
        node->SetBufSize(4);
        codec::PutI32(node->Buf.data(), ms);
    } else {
        int32_t day = 0;
        if (!ReadDate(s, day)) day = StrToDate(s);
        node->DataType = ftDate;
        node->SetBufSize(4);
        codec::PutI32(node->Buf.data(), day);
    }
    node->StarPos = -1;
}

void TExprParserBase::LogicalTyping(TExprNode* node) {
    if (node->Left == nullptr || node->Left->DataType != ftBoolean) Mismatch();
    if (node->Operator != TExprOperator::Not &&
        (node->Right == nullptr || node->Right->DataType != ftBoolean)) {
        Mismatch();
    }
    node->DataType = ftBoolean;
}

void TExprParserBase::ComparisonTyping(TExprNode* node) {
    TExprNode* l = node->Left;
    TExprNode* r = node->Right;
    const int lt = l->DataType, rt = r->DataType;
    const bool equality =
        node->Operator == TExprOperator::Equal || node->Operator == TExprOperator::NotEqual;
    if (IsNumericType(lt) && IsNumericType(rt)) {
    } else if (IsDateTimeType(lt) && (IsDateTimeType(rt) || IsStringConstant(r))) {
        DateTimeOperands(l, r);
    } else if (IsTextOperandType(lt) && IsTextOperandType(rt)) {
    } else if (IsDateTimeType(rt) && IsStringConstant(l)) {
        RequireDateTimeConstant(l);
        if (!HasDefinedOrder(l->DataType, rt)) Mismatch();
    } else if (equality && lt == ftBoolean && rt == ftBoolean) {
    } else {
        Mismatch();
    }
    node->DataType = ftBoolean;
}

void TExprParserBase::LikeTyping(TExprNode* node) {
    if (!IsTextOperandType(node->Left->DataType) || !IsTextOperandType(node->Right->DataType))
        Mismatch();
    node->DataType = ftBoolean;
}

void TExprParserBase::InTyping(TExprNode* node) {
    for (TExprNode* item : node->Args) CheckEqualityItem(node->Left, item);
    node->DataType = ftBoolean;
}

void TExprParserBase::ArithmeticTyping(TExprNode* node) {
    TExprNode* l = node->Left;
    TExprNode* r = node->Right;
    const TExprOperator op = node->Operator;
    int result;
    if (IsNumericType(l->DataType)) {
        if (!IsNumericType(r->DataType)) Mismatch();
        if (op == TExprOperator::Divide) {
            result = ftFloat;
        } else {
            result = Rank(r->DataType) > Rank(l->DataType) ? r->DataType : l->DataType;
            if (result == ftSmallint || result == ftWord) result = ftInteger;
        }
    } else if (op == TExprOperator::Add && IsTextOperandType(l->DataType)) {
        if (!IsTextOperandType(r->DataType)) Mismatch();
        node->DataType = ftString;
        node->SetBufSize(1);
        return;
    } else if (op == TExprOperator::Add && IsDateTimeType(l->DataType)) {
        if (!IsNumericType(r->DataType)) Mismatch();
        result = l->DataType;
    } else if (op == TExprOperator::Subtract &&
               (IsDateTimeType(l->DataType) ||
                (IsDateTimeType(r->DataType) && IsDateTimeConstant(l)))) {
        if (!IsDateTimeType(l->DataType)) {
            MakeDateTimeConstant(l);
        } else if (IsStringConstant(r)) {
            RequireDateTimeConstant(r);
        }
        const int lt = l->DataType, rt = r->DataType;
        if (!IsDateTimeType(rt) && !IsNumericType(rt)) Mismatch();
        if (lt == ftDate) {
            if (rt == ftTime) Mismatch();
            result = rt == ftDateTime ? ftFloat : ftInteger;
        } else if (lt == ftTime) {
            if (rt == ftDate || rt == ftDateTime) Mismatch();
            result = ftInteger;
        } else {
            result = ftFloat;
        }
    } else {
        Mismatch();
    }
    node->DataType = result;
    node->SetBufSize(FixedValueSize(result));
}

void TExprParserBase::FunctionTyping(TExprNode* node) {
    const auto& args = node->Args;
    auto oneArg = [&](bool (*accept)(int)) {
        if (args.size() != 1 || !accept(args[0]->DataType)) Mismatch();
    };
    switch (node->FuncCode) {
        case fnUpper:
        case fnLower:
        case fnTrim:
        case fnTrimLeft:
        case fnTrimRight:
            oneArg(IsTextOperandType);
            node->DataType = ftString;
            node->SetBufSize(1);
            return;
        case fnSubstring: {
            auto intConstant = [](const TExprNode* n) {
                return n->Kind == TExprNodeKind::Constant && IsIntegerFamily(n->DataType);
            };
            if (args.size() != 3 || !IsTextOperandType(args[0]->DataType) ||
                !intConstant(args[1]) || !intConstant(args[2])) {
                Mismatch();
            }
            node->DataType = ftString;
            node->SetBufSize(1);
            return;
        }
        case fnYear:
        case fnMonth:
        case fnDay:
            oneArg([](int t) { return t == ftDate || t == ftDateTime; });
            node->DataType = ftInteger;
            node->SetBufSize(4);
            return;
        case fnHour:
        case fnMinute:
        case fnSecond:
            oneArg([](int t) { return t == ftTime || t == ftDateTime; });
            node->DataType = ftInteger;
            node->SetBufSize(4);
            return;
        case fnGetDate:
            if (!args.empty()) Mismatch();
            node->Kind = TExprNodeKind::Constant;
            node->DataType = ftDateTime;
            node->SetBufSize(8);
            codec::PutF64(node->Buf.data(), TimeStampToMSecs(NowTimeStamp()));
            return;
        default:
            Mismatch();
    }
}

}  // namespace tarn

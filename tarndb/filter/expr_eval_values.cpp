// Arithmetic and function evaluation of TExprParserBase: values computed from the operands'
// buffers into the node's own buffer.
#include <algorithm>
#include <cstring>

#include "platform/text/convert.h"
#include "tarndb/datetime.h"
#include "tarndb/errors.h"
#include "tarndb/filter/expr_parser.h"
#include "tarndb/filter/field_types.h"

namespace tarn {

using namespace ftype;

namespace {

// A numeric operand of date and time arithmetic as a 32-bit count: floats by their
// integral part (toward zero), ftLargeint by its low 32 bits.
int32_t Count32(const TValueRef& v) {
    if (IsFloatType(v.DataType)) return TruncToInt32(codec::F64(v));
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(IntegerOf(v))));
}

int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

void PutInt32(TExprNode* node, int32_t v) { codec::PutI32(node->Buf.data(), v); }
void PutFloat(TExprNode* node, double v) { codec::PutF64(node->Buf.data(), v); }

// A day number or time for YEAR ... SECOND; raises for values that are no timestamp.
TTimeStamp TimeStampOf(const TValueRef& v) {
    TTimeStamp ts;
    if (v.DataType == ftDate) {
        ts = TTimeStamp{codec::I32(v), 0};
    } else if (v.DataType == ftTime) {
        ts = TTimeStamp{kDateDelta, codec::I32(v)};
    } else if (!TryMSecsToTimeStamp(codec::F64(v), ts)) {
        ts = TTimeStamp{0, 0};
    }
    ValidateTimeStamp(ts);
    return ts;
}

}  // namespace

void TExprParserBase::EvalArithmetic(TExprNode* node) {
    const TValueRef a = node->Left->Value();
    const TValueRef b = node->Right->Value();
    const TExprOperator op = node->Operator;
    const int lt = a.DataType, rt = b.DataType;

    if (node->DataType == ftString) {  // concatenation
        std::string_view x = StringOf(a), y = StringOf(b);
        size_t total = x.size() + y.size() + 1;
        if (total > INT32_MAX) throw EDatabaseError("String expression too long");
        node->SetBufSize(static_cast<int32_t>(total));
        std::memcpy(node->Buf.data(), x.data(), x.size());
        std::memcpy(node->Buf.data() + x.size(), y.data(), y.size());
        node->Buf[total - 1] = 0;
        return;
    }

    if (IsDateTimeType(lt)) {
        if (op == TExprOperator::Add) {  // date-time + n
            int32_t n = Count32(b);
            if (lt == ftDateTime) {
                PutFloat(node, codec::F64(a) + static_cast<double>(n) * kMSecsPerDay);
            } else {
                PutInt32(node, Wrap32(static_cast<int64_t>(codec::I32(a)) + n));
            }
            return;
        }
        // Subtraction.
        if (lt == ftDate || lt == ftTime) {
            if (rt == ftDateTime) {  // ftDate - ftDateTime: ms from the date's midnight
                PutFloat(node, static_cast<double>(codec::I32(a)) * kMSecsPerDay - codec::F64(b));
            } else {
                int32_t other = IsDateTimeType(rt) ? codec::I32(b) : Count32(b);
                PutInt32(node, Wrap32(static_cast<int64_t>(codec::I32(a)) - other));
            }
            return;
        }
        // ftDateTime - x, as a millisecond value.
        double x = codec::F64(a);
        double y;
        switch (rt) {
            case ftDateTime:
                y = codec::F64(b);
                break;
            case ftTime:
                y = codec::I32(b);
                break;
            case ftDate:
                y = static_cast<double>(codec::I32(b)) * kMSecsPerDay;
                break;
            default:
                y = static_cast<double>(Count32(b)) * kMSecsPerDay;
                break;
        }
        PutFloat(node, x - y);
        return;
    }

    // Numbers.
    if (op == TExprOperator::Divide || IsFloatType(node->DataType)) {
        double x = FloatOf(a), y = FloatOf(b), r;
        switch (op) {
            case TExprOperator::Add:
                r = x + y;
                break;
            case TExprOperator::Subtract:
                r = x - y;
                break;
            case TExprOperator::Multiply:
                r = x * y;
                break;
            default:
                if (y == 0) throw EZeroDivide();
                r = x / y;
                break;
        }
        PutFloat(node, r);
        return;
    }
    const uint64_t x = static_cast<uint64_t>(IntegerOf(a));
    const uint64_t y = static_cast<uint64_t>(IntegerOf(b));
    uint64_t r;
    switch (op) {
        case TExprOperator::Add:
            r = x + y;
            break;
        case TExprOperator::Subtract:
            r = x - y;
            break;
        default:
            r = x * y;
            break;
    }
    if (node->DataType == ftLargeint) {
        codec::PutI64(node->Buf.data(), static_cast<int64_t>(r));
    } else {
        PutInt32(node, static_cast<int32_t>(static_cast<uint32_t>(r)));
    }
}

void TExprParserBase::EvalFunction(TExprNode* node) {
    if (node->FuncCode == fnGetDate || node->Args.empty()) return;
    const TValueRef arg = node->Args[0]->Value();
    switch (node->FuncCode) {
        case fnUpper:
        case fnLower: {
            std::string_view s = StringOf(arg);
            node->SetBufSize(static_cast<int32_t>(s.size() + 1));
            const bool upper = node->FuncCode == fnUpper;
            for (size_t i = 0; i < s.size(); ++i) {
                char c = s[i];
                if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
                if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
                node->Buf[i] = static_cast<uint8_t>(c);
            }
            node->Buf[s.size()] = 0;
            return;
        }
        case fnSubstring: {
            std::string_view s = StringOf(arg);
            int64_t start = IntegerOf(node->Args[1]->Value());
            int64_t count = IntegerOf(node->Args[2]->Value());
            if (start < 1) start = 1;
            std::string_view part;
            if (count > 0 && start <= static_cast<int64_t>(s.size())) {
                part = s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count));
            }
            node->SetString(part);
            return;
        }
        case fnTrim:
        case fnTrimLeft:
        case fnTrimRight: {
            std::string_view s = StringOf(arg);
            auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
            if (node->FuncCode != fnTrimRight) {
                while (!s.empty() && blank(s.front())) s.remove_prefix(1);
            }
            if (node->FuncCode != fnTrimLeft) {
                while (!s.empty() && blank(s.back())) s.remove_suffix(1);
            }
            node->SetString(s);
            return;
        }
        case fnYear:
        case fnMonth:
        case fnDay: {
            TTimeStamp ts = TimeStampOf(arg);
            int y = 0, m = 0, d = 0;
            TryDecodeDate(ts.Date, y, m, d);
            PutInt32(node, node->FuncCode == fnYear ? y : (node->FuncCode == fnMonth ? m : d));
            return;
        }
        case fnHour:
        case fnMinute:
        case fnSecond: {
            TTimeStamp ts = TimeStampOf(arg);
            int h = 0, mi = 0, s = 0, ms = 0;
            DecodeTime(ts.Time, h, mi, s, ms);
            PutInt32(node, node->FuncCode == fnHour ? h : (node->FuncCode == fnMinute ? mi : s));
            return;
        }
        default:
            return;
    }
}

}  // namespace tarn

// Renders a compiled filter tree as a compact s-expression, for tests that pin the shape of
// what the parser builds: fields by name, constants by value, operators in prefix form,
// arithmetic and function results with their type, e.g. "(= Int 3)", "(+:float Int 2.5)",
// "(IN Name 'a*' 'b')", "UPPER:str(Name)", "date(2020-1-2)".
#pragma once

#include <cstdio>
#include <string>

#include "tarndb/filter/expr_node.h"
#include "tarndb/filter/field_types.h"
#include "tarndb/filter/value_codec.h"

namespace tarn::testing {

inline std::string TypeName(int type) {
    using namespace ftype;
    switch (type) {
        case ftString: return "str";
        case ftSmallint: return "small";
        case ftInteger: return "int";
        case ftWord: return "word";
        case ftBoolean: return "bool";
        case ftFloat: return "float";
        case ftCurrency: return "cur";
        case ftDate: return "date";
        case ftTime: return "time";
        case ftDateTime: return "dt";
        case ftAutoInc: return "auto";
        case ftLargeint: return "big";
        default: return "t" + std::to_string(type);
    }
}

inline std::string Shape(const TExprNode* n) {
    using namespace ftype;
    if (n == nullptr) return "<null>";
    const TValueRef v = n->Value();
    switch (n->Kind) {
        case TExprNodeKind::Field:
            return n->Name;
        case TExprNodeKind::Constant: {
            char buf[64];
            switch (n->DataType) {
                case ftInteger: return std::to_string(codec::I32(v));
                case ftFloat:
                    std::snprintf(buf, sizeof buf, "%gf", codec::F64(v));
                    return buf;
                case ftBoolean: return BoolOf(v) ? "True" : "False";
                case ftString: return "'" + std::string(StringOf(v)) + "'";
                case ftDate: {
                    int y = 0, m = 0, d = 0;
                    TryDecodeDate(codec::I32(v), y, m, d);
                    std::snprintf(buf, sizeof buf, "date(%d-%d-%d)", y, m, d);
                    return buf;
                }
                case ftTime: return "time(" + std::to_string(codec::I32(v)) + ")";
                case ftDateTime: {
                    TTimeStamp ts;
                    TryMSecsToTimeStamp(codec::F64(v), ts);
                    int y = 0, m = 0, d = 0;
                    TryDecodeDate(ts.Date, y, m, d);
                    std::snprintf(buf, sizeof buf, "dt(%d-%d-%d+%d)", y, m, d, ts.Time);
                    return buf;
                }
                default: return "?";
            }
        }
        case TExprNodeKind::Function: {
            std::string s = n->Name + ":" + TypeName(n->DataType) + "(";
            for (size_t i = 0; i < n->Args.size(); ++i) s += (i ? " " : "") + Shape(n->Args[i]);
            return s + ")";
        }
        case TExprNodeKind::Operator: break;
    }
    std::string op;
    switch (n->Operator) {
        case TExprOperator::Equal: op = "="; break;
        case TExprOperator::NotEqual: op = "<>"; break;
        case TExprOperator::Greater: op = ">"; break;
        case TExprOperator::Less: op = "<"; break;
        case TExprOperator::GreaterOrEqual: op = ">="; break;
        case TExprOperator::LessOrEqual: op = "<="; break;
        case TExprOperator::Not: return "(NOT " + Shape(n->Left) + ")";
        case TExprOperator::And: op = "AND"; break;
        case TExprOperator::Or: op = "OR"; break;
        case TExprOperator::Like: op = "LIKE"; break;
        case TExprOperator::In: {
            std::string s = "(IN " + Shape(n->Left);
            for (const TExprNode* a : n->Args) s += " " + Shape(a);
            return s + ")";
        }
        case TExprOperator::Add: op = "+:" + TypeName(n->DataType); break;
        case TExprOperator::Subtract: op = "-:" + TypeName(n->DataType); break;
        case TExprOperator::Multiply: op = "*:" + TypeName(n->DataType); break;
        case TExprOperator::Divide: op = "/:" + TypeName(n->DataType); break;
        case TExprOperator::None: op = "?"; break;
    }
    return "(" + op + " " + Shape(n->Left) + " " + Shape(n->Right) + ")";
}

}  // namespace tarn::testing

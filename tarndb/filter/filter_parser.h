// TFilterParser: the filter language of datasets. Reads the tokens of a filter text, parses
// it by the grammar below into an expression tree bound to the dataset's fields, and
// evaluates it per record (TExprParserBase).
//
//   expression  := conjunction { OR conjunction }
//   conjunction := negation { AND negation }
//   negation    := [NOT] comparison
//   comparison  := sum [ (= | <> | > | < | >= | <=) sum | LIKE sum | IN "(" list ")" ]
//   sum         := term { (+ | -) term }
//   term        := primary { (* | /) primary }
//   primary     := function "(" [list] ")" | TRUE | FALSE | symbol | [name] | number
//                | 'string' | "(" expression ")"
//
// Tokens: symbols (letters, "_", and double-byte characters of the data code page followed
// by letters, digits, ".", "[", "]", "_" and double-byte characters), bracketed field names,
// numbers with the locale's decimal separator, quoted strings ('' for a quote, at most 256
// bytes kept), operators, and one optional "/* comment */" before each token. A "-" after an
// operand is the minus operator, elsewhere it starts a number.
//
// Errors (EDatabaseError, message text alone): "Filter expression incorrectly terminated",
// "Unterminated field name", "Unterminated string constant",
// "Invalid filter expression character: '%s'", "'(' expected but %s found",
// "')' expected but %s found", "')' or ',' expected but %s found",
// "Expression expected but %s found", "IN predicate list may not be empty",
// "Type mismatch in expression" (for a text that stands for a date or time but reads as
// neither, followed by ": '%s' is not a date or time (write <the forms that read>)"),
// "Filter expression too complex", and
// "<dataset name>: Field '%s' not found"; EConvertError for numbers and date-time constants
// that do not convert.
//
// The data source is not owned and must outlive the parser's use of it.
#pragma once

#include "tarndb/filter/data_source.h"
#include "tarndb/filter/expr_parser.h"

namespace tarn {

class TFilterParser : public TExprParserBase {
public:
    explicit TFilterParser(TFilterDataSource* dataSet) : DataSet(dataSet) {}

    TFilterDataSource* DataSet;

protected:
    size_t ReadToken(size_t p) override;
    TExprNode* ParseExpr() override;
    int GetFieldType(std::string_view name) override;
    int GetFuncResultType(std::string_view name) override;
    bool IsFunctionName(std::string_view name) override;
    void LoadFieldNode(TExprNode* node) override;
    void BeginEvaluation() override;

private:
    TExprNode* ParseConjunction();
    TExprNode* ParseNegation();
    TExprNode* ParseComparison();
    TExprNode* ParseSum();
    TExprNode* ParseTerm();
    TExprNode* ParsePrimary();
    // Items of an IN list or arguments of a function, after the "(": up to and with ")".
    void ParseList(TExprNode* owner);
    TExprNode* MakeFieldNode(const std::string& name);
    TExprNode* MakeNumberNode();
    TExprNode* MakeStringNode();
    TExprNode* Binary(TExprOperator op, TExprNode* left, TExprNode* right);
    void EnterNesting();

    std::span<const uint8_t> recBuf_;
    bool haveRecBuf_ = false;
};

}  // namespace tarn

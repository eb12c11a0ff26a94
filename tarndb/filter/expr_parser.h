// TExprParserBase: compiles an expression text into a tree of TExprNode (the grammar is the
// subclass's ParseExpr), applies the typing rules as nodes are built, and evaluates the tree.
//
// Typing (called right after a node is built; each raises the EDatabaseError
// "Type mismatch in expression" when it rejects the node):
//   AND, OR, NOT           Boolean operands                        → ftBoolean
//   = <> > < >= <=         numeric/numeric, string/string, date-time/date-time (a string
//                          constant that reads as a date or time is converted when the other
//                          side is a date-time: yyyy-mm-dd [hh:mm[:ss[.fff]]], M/d/yyyy
//                          [time], a time, or the format settings' date; one that does not
//                          read is named in the error), Boolean/Boolean for = and <> only
//                                                                  → ftBoolean
//   LIKE                   string/string                           → ftBoolean
//   IN                     each item as for "=" with the left operand
//   + - * / numeric        the wider type (ftSmallint < ftWord < ftInteger = ftAutoInc <
//                          ftLargeint < ftFloat < ftCurrency; left on a tie), ftSmallint and
//                          ftWord giving ftInteger; "/" always ftFloat
//   + on strings           concatenation                           → ftString
//   date + n               ftDate, ftTime, ftDateTime + numeric    → the date-time's type
//   date - x               ftDate - ftDate|n, ftTime - ftTime|n    → ftInteger (days / ms)
//                          ftDateTime - ftDateTime|ftDate|ftTime|n → ftFloat (ms)
//                          ftDate - ftDateTime                     → ftFloat (ms)
//   functions              UPPER LOWER TRIM TRIMLEFT TRIMRIGHT (one string), SUBSTRING
//                          (string, integer constant, integer constant) → ftString;
//                          YEAR MONTH DAY (ftDate|ftDateTime), HOUR MINUTE SECOND
//                          (ftTime|ftDateTime) → ftInteger; GETDATE() → ftDateTime constant
// Choices for combinations the language leaves open, made so every accepted expression has
// one meaning:
//   - comparing ftTime with ftDate, and the subtractions ftDate - ftTime, ftTime - ftDate
//     and ftTime - ftDateTime are rejected (no sound meaning);
//   - ftTime compared with ftDateTime compares the time with the date-time's time of day
//     (a constant with a blank, such as '1:30 PM', reads as a date-time);
//   - ftDateTime - ftDate and ftDate - ftDateTime give the difference in ms, the date
//     counting as its midnight;
//   - the string types that count as strings only for typing (ftParadoxOle, ftDBaseOle,
//     ftTypedBinary, ftOraBlob, ftOraClob, ftWideString, ftGuid) compare and concatenate as
//     the byte strings they hold;
//   - an IN list needs items that compare with the left operand as "=" would;
//   - SUBSTRING with a start below 1 starts at 1, a start beyond the end or a negative count
//     gives the empty string; its buffer holds the result, not Count + 1 bytes;
//   - a calculated or lookup field reads its value bytes in the calculated area (a null
//     value reads as zero bytes);
//   - a field type the language cannot read (ftBCD, ftBytes, ...) is rejected as a mismatch.
//   - a non-Boolean root accepts the record when its value is non-empty (strings) or
//     non-zero (numbers, dates and times).
//
// Evaluation (Calculate) works on the record buffer the data source presents; field nodes
// point into it for the one evaluation, blob fields fetch their text each time. Comparisons,
// logic and fixed-size arithmetic allocate nothing; strings built by functions and "+" reuse
// their node's buffer. Errors: EConvertError "'%d.%d' is not a valid timestamp" (YEAR ... SECOND
// of a day number <= 0 or a negative time), EZeroDivide (division by zero), EDatabaseError
// when no record buffer is available or a field's bytes lie outside it.
//
// Limits: texts nesting parentheses, lists and argument lists more than kMaxNesting deep, or
// building a tree higher than kMaxDepth, raise "Filter expression too complex".
#pragma once

#include <memory>
#include <string_view>

#include "platform/text/collation.h"
#include "tarndb/filter/expr_node.h"
#include "tarndb/filter/syntax_parser.h"

namespace tarn {

// The dataset's filter options.
struct TEvalOptions {
    bool CaseInsensitive = false;   // foCaseInsensitive
    bool NoPartialCompare = false;  // foNoPartialCompare
};

inline constexpr int kMaxNesting = 128;
inline constexpr int kMaxDepth = 1000;

class TExprParserBase : public TSyntaxParserBase {
public:
    TExprParserBase();
    ~TExprParserBase() override;

    // Compiles `text`. Raises EDatabaseError or EConvertError on bad input; after a failure
    // no tree remains (Root() is null) until the next successful Parse.
    void Parse(std::string_view text);
    // Evaluates the compiled tree for the current record: true when the record is accepted.
    // Raises EDatabaseError("No filter expression") when nothing is compiled.
    bool Calculate(const TEvalOptions& options);

    TExprNode* Root() const { return Nodes.Root; }
    const TEvalOptions& Options() const { return options_; }

    // The collation used for string comparisons and LIKE; nullptr (the default) means
    // TCollator::Default(). Not owned.
    void SetCollator(const TCollator* collator) { collator_ = collator; }
    const TCollator& Collator() const;

    // Recognising and converting date-time string constants (public for tests and callers).
    static bool IsDateTimeConstant(const TExprNode* node);
    static void MakeDateTimeConstant(TExprNode* node);

    TExprNodes Nodes;

protected:
    virtual TExprNode* ParseExpr() = 0;
    virtual int GetFieldType(std::string_view name) = 0;
    virtual int GetFuncResultType(std::string_view name) = 0;
    virtual bool IsFunctionName(std::string_view name) {
        (void)name;
        return false;
    }
    // Points a field node's Data at its value for the current evaluation.
    virtual void LoadFieldNode(TExprNode* node) = 0;
    // Called once per evaluation before any field node is loaded.
    virtual void BeginEvaluation() {}
    void CheckEnd();

    // Typing steps.
    void LogicalTyping(TExprNode* node);
    void ComparisonTyping(TExprNode* node);
    void LikeTyping(TExprNode* node);
    void InTyping(TExprNode* node);
    void ArithmeticTyping(TExprNode* node);
    void FunctionTyping(TExprNode* node);

    void Evaluate(TExprNode* node);

    // Raises "Filter expression too complex" when the node's subtree is too high.
    static void CheckDepth(const TExprNode* node);

    // Open parentheses and lists around the parse position.
    int nesting_ = 0;

private:
    void EvalOperator(TExprNode* node);
    void EvalArithmetic(TExprNode* node);
    void EvalFunction(TExprNode* node);
    int CompareNodes(const TExprNode* left, const TExprNode* right) const;

    TEvalOptions options_;
    const TCollator* collator_ = nullptr;
};

}  // namespace tarn

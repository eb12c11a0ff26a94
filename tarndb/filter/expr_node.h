// The nodes of a compiled filter expression and the list that owns them.
//
// Every node the parser creates is put at the head of its TExprNodes list (each node links
// to the node created before it through Older); the list owns them all and frees them when
// it is cleared or destroyed. The nodes refer to each other (Left, Right, Args) without
// owning anything.
//
// A node's value lives in record-buffer encoding (value_codec.h). Constants, functions and
// operators keep it in their own buffer (Buf, BufSize bytes, zero-filled when it grows);
// a field node points Data at the field's bytes in the record buffer of the current
// evaluation, or, for a blob field, at BlobText.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tarndb/filter/value_codec.h"

namespace tarn {

class TExprNodes;
class TExprParserBase;

enum class TExprNodeKind : uint8_t { Field, Constant, Function, Operator };

enum class TExprOperator : uint8_t {
    None,
    Equal,
    NotEqual,
    Greater,
    Less,
    GreaterOrEqual,
    LessOrEqual,
    Not,
    And,
    Or,
    Like,
    In,
    Add,
    Subtract,
    Multiply,
    Divide,
};

// Function codes 1..13, in the order of the language's function list.
enum TExprFunction : uint8_t {
    fnNone = 0,
    fnUpper,
    fnLower,
    fnSubstring,
    fnTrim,
    fnTrimLeft,
    fnTrimRight,
    fnYear,
    fnMonth,
    fnDay,
    fnHour,
    fnMinute,
    fnSecond,
    fnGetDate,
};

// The function code of a name (ignoring case); fnNone when it names no function.
TExprFunction FunctionCode(std::string_view name);

class TExprNode {
public:
    TExprNodes* NodeList = nullptr;
    TExprNode* Older = nullptr;
    TExprNodeKind Kind = TExprNodeKind::Constant;
    TExprOperator Operator = TExprOperator::None;
    uint8_t FuncCode = fnNone;
    std::string Name;
    // The node's value: Buf for constants, functions and operators; the record buffer or
    // BlobText for field nodes (valid during one evaluation).
    const uint8_t* Data = nullptr;
    size_t DataSize = 0;
    int32_t BufSize = 0;
    std::vector<uint8_t> Buf;
    TExprNode* Left = nullptr;
    TExprNode* Right = nullptr;
    int DataType = 0;
    std::vector<TExprNode*> Args;
    bool IsBlobField = false;
    int32_t FieldIndex = -1;
    std::string BlobText;
    int32_t StarPos = -1;
    // Field binding: where the value lies in the record buffer, and how many bytes.
    int32_t FieldOffset = 0;
    int32_t FieldSize = 0;
    // Height of the subtree under this node (1 for a leaf); bounds evaluation depth.
    int32_t Depth = 1;

    // Resizes the node's own buffer; new bytes are zero, kept bytes keep their values.
    void SetBufSize(int32_t n);
    // The node's value as a typed byte span.
    TValueRef Value() const { return TValueRef{DataType, Data, DataSize}; }
    // Copies `bytes` into the own buffer (resized to bytes.size() + 1) followed by a NUL.
    void SetString(std::string_view bytes);
    // The text of a string constant (bytes before the NUL).
    std::string_view Text() const { return StringOf(Value()); }
};

class TExprNodes {
public:
    explicit TExprNodes(TExprParserBase* parser) : Parser(parser) {}
    ~TExprNodes() { Clear(); }
    TExprNodes(const TExprNodes&) = delete;
    TExprNodes& operator=(const TExprNodes&) = delete;

    TExprParserBase* Parser;
    TExprNode* Head = nullptr;
    TExprNode* Root = nullptr;

    // Frees every node (iteratively: the list may be long).
    void Clear();

    TExprNode* NewNode(TExprNodeKind kind, int dataType, TExprNode* left, TExprNode* right,
                       TExprOperator op, int32_t bufSize);
    TExprNode* NewFunctionNode(std::string_view name);
    // A field node; the caller fills the field's binding (type, index, offset, size).
    TExprNode* NewFieldNode(std::string_view name);
};

}  // namespace tarn

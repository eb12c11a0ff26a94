#include "tarndb/filter/expr_node.h"

#include <algorithm>
#include <memory>

#include "tarndb/filter/field_types.h"
#include "tarndb/filter/syntax_parser.h"

namespace tarn {

using namespace ftype;

namespace {

const char* const kFunctionNames[] = {"UPPER",     "LOWER", "SUBSTRING", "TRIM", "TRIMLEFT",
                                      "TRIMRIGHT", "YEAR",  "MONTH",     "DAY",  "HOUR",
                                      "MINUTE",    "SECOND", "GETDATE"};


}  // namespace

TExprFunction FunctionCode(std::string_view name) {
    for (size_t i = 0; i < std::size(kFunctionNames); ++i) {
        if (SameTextAscii(name, kFunctionNames[i])) return static_cast<TExprFunction>(i + 1);
    }
    return fnNone;
}

void TExprNode::SetBufSize(int32_t n) {
    if (n < 0) n = 0;
    if (n != BufSize) {
        Buf.resize(static_cast<size_t>(n), 0);
        BufSize = n;
    }
    if (Kind != TExprNodeKind::Field) {
        Data = Buf.empty() ? nullptr : Buf.data();
        DataSize = Buf.size();
    }
}

void TExprNode::SetString(std::string_view bytes) {
    SetBufSize(static_cast<int32_t>(std::min<size_t>(bytes.size() + 1, INT32_MAX)));
    std::copy_n(bytes.data(), static_cast<size_t>(BufSize) - 1, Buf.data());
    Buf[static_cast<size_t>(BufSize) - 1] = 0;
}

void TExprNodes::Clear() {
    Root = nullptr;
    while (Head != nullptr) {
        std::unique_ptr<TExprNode> node(Head);
        Head = node->Older;
    }
}

TExprNode* TExprNodes::NewNode(TExprNodeKind kind, int dataType, TExprNode* left,
                               TExprNode* right, TExprOperator op, int32_t bufSize) {
    auto node = std::make_unique<TExprNode>();
    node->NodeList = this;
    node->Kind = kind;
    node->DataType = dataType;
    node->Left = left;
    node->Right = right;
    node->Operator = op;
    int32_t depth = 0;
    if (left) depth = std::max(depth, left->Depth);
    if (right) depth = std::max(depth, right->Depth);
    node->Depth = depth + 1;
    node->SetBufSize(bufSize);
    node->Older = Head;
    Head = node.release();
    return Head;
}

TExprNode* TExprNodes::NewFunctionNode(std::string_view name) {
    TExprFunction code = FunctionCode(name);
    int type = ftUnknown;
    if (code >= fnYear && code <= fnSecond) type = ftInteger;
    if (code == fnGetDate) type = ftDateTime;
    TExprNode* node = NewNode(TExprNodeKind::Function, type, nullptr, nullptr,
                              TExprOperator::None, 0);
    node->FuncCode = code;
    node->Name = std::string(name);
    return node;
}

TExprNode* TExprNodes::NewFieldNode(std::string_view name) {
    TExprNode* node = NewNode(TExprNodeKind::Field, ftUnknown, nullptr, nullptr,
                              TExprOperator::None, 0);
    node->Name = std::string(name);
    return node;
}

}  // namespace tarn

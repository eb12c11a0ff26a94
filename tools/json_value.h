// JSON as the tool reads it: `insert --json` takes one object of field values and `restore`
// reads a whole export. A small strict parser (RFC 8259) into a tree: numbers keep their text
// (so a 64-bit integer or a float reads back exactly as it was written), strings are UTF-8
// with every escape resolved, and objects keep their members in the order written.
//
// Errors: EToolError "SOURCE: line L, column C: what" for text that is not JSON, invalid
// UTF-8, a lone surrogate escape, or nesting deeper than 64 levels.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarn::cli {

struct TJsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    // Bool: "true" or "false"; Number: the number's text; String: the UTF-8 text.
    std::string text;
    std::vector<TJsonValue> items;                            // Array
    std::vector<std::pair<std::string, TJsonValue>> members;  // Object, in order
    // The member `key` of an object (the first of that name), or nullptr.
    const TJsonValue* Find(std::string_view key) const;
    // What the value is, for messages: "a string", "an object", ...
    const char* KindName() const;
};

// Parses exactly one JSON value (white space around it allowed). `source` names the input in
// messages ("--json", "db.json").
TJsonValue ParseJson(std::string_view text, const std::string& source);

}  // namespace tarn::cli

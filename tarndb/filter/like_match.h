// LIKE pattern matching of the filter language. Both strings (data code page bytes) are
// turned into Unicode characters; a character outside the basic plane counts as one
// character. "%" stands for any run of characters, "_" for exactly one; there is no escape
// and "*" is an ordinary character. Other pattern characters must equal the string's
// character under the collation (ignoring case on request).
//
// One detail of the language: a "%" that is followed by more pattern must leave at least one
// character of the string for the rest, so a pattern ending in two or more "%" needs at least
// one character there ("%%" does not match the empty string, "%" does).
//
// Matching is O(length of string × length of pattern) at worst; it converts into per-thread
// buffers that are reused between calls.
#pragma once

#include <string_view>

#include "platform/text/collation.h"

namespace tarn {

bool LikeMatch(std::string_view text, std::string_view pattern, bool caseInsensitive,
               const TCollator& collator);

// Whether a string character matches a pattern character that is no wildcard, as LikeMatch
// decides it.
bool LikeSameChar(char32_t text, char32_t pattern, bool caseInsensitive, const TCollator& collator);

}  // namespace tarn

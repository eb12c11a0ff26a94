// The token reader under the filter parser: the source text, the reading position, the
// current and previous token and their texts, blank and comment skipping, and the names of
// tokens for error messages. ReadToken, which decides what a token is, belongs to the
// language's parser (TFilterParser).
//
// The text ends at its end or at its first NUL byte, whichever comes first. Raises
// EDatabaseError "Invalid filter expression character: '%s'" for a broken or unterminated
// comment.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarn {

enum class TTokenKind {
    End,
    Symbol,
    Name,
    Number,
    String,
    LParen,
    RParen,
    Equal,
    NotEqual,
    GreaterOrEqual,
    LessOrEqual,
    Greater,
    Less,
    Plus,
    Minus,
    Times,
    Divide,
    Comma,
    Like,
    In,
};

class TSyntaxParserBase {
public:
    virtual ~TSyntaxParserBase() = default;

    const std::string& Text() const { return text_; }
    size_t Position() const { return position_; }
    size_t TokenStart() const { return tokenStart_; }
    TTokenKind Token() const { return token_; }
    TTokenKind PrevToken() const { return prevToken_; }
    const std::string& TokenText() const { return tokenText_; }

protected:
    // Skips characters 0x01..0x20, at most one comment "/* ... */", and blanks again.
    virtual size_t SkipBlanks(size_t p);
    // Reads the token that starts at p: sets Token and TokenText, returns the position after.
    virtual size_t ReadToken(size_t p) = 0;

    // Starts reading a new text (cut at its first NUL).
    void SetText(std::string_view text);
    void NextToken();
    // The current token is a symbol whose text equals `word` ignoring (ASCII) case.
    bool IsKeyword(std::string_view word) const;
    // "nothing" at the end of the text, else the token's source characters in single quotes.
    std::string TokenName() const;
    // The character at p, NUL at and past the end.
    char At(size_t p) const { return p < text_.size() ? text_[p] : '\0'; }
    [[noreturn]] void InvalidChar(size_t p) const;

    std::string text_;
    size_t position_ = 0;
    size_t tokenStart_ = 0;
    TTokenKind token_ = TTokenKind::End;
    TTokenKind prevToken_ = TTokenKind::End;
    std::string tokenText_;
};

bool SameTextAscii(std::string_view a, std::string_view b);

}  // namespace tarn

#include "tarndb/filter/syntax_parser.h"

#include "tarndb/errors.h"

namespace tarn {

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

void TSyntaxParserBase::SetText(std::string_view text) {
    size_t nul = text.find('\0');
    text_.assign(text.substr(0, nul));
    position_ = 0;
    tokenStart_ = 0;
    token_ = TTokenKind::End;
    prevToken_ = TTokenKind::End;
    tokenText_.clear();
}

void TSyntaxParserBase::InvalidChar(size_t p) const {
    std::string ch;
    if (p < text_.size()) ch.push_back(text_[p]);
    throw EDatabaseError(Format("Invalid filter expression character: '%s'", ch.c_str()));
}

size_t TSyntaxParserBase::SkipBlanks(size_t p) {
    auto blank = [this](size_t q) {
        char c = At(q);
        return c != '\0' && static_cast<unsigned char>(c) <= 0x20;
    };
    while (blank(p)) ++p;
    if (At(p) == '/' && At(p + 1) == '*') {
        p += 2;
        while (p < text_.size() && text_[p] != '*') ++p;
        if (At(p) == '*' && At(p + 1) == '/') {
            p += 2;
        } else {
            InvalidChar(p);
        }
        while (blank(p)) ++p;
    }
    return p;
}

void TSyntaxParserBase::NextToken() {
    prevToken_ = token_;
    tokenText_.clear();
    tokenStart_ = SkipBlanks(position_);
    position_ = ReadToken(tokenStart_);
}

bool TSyntaxParserBase::IsKeyword(std::string_view word) const {
    return token_ == TTokenKind::Symbol && SameTextAscii(tokenText_, word);
}

std::string TSyntaxParserBase::TokenName() const {
    if (position_ <= tokenStart_) return "nothing";
    return "'" + text_.substr(tokenStart_, position_ - tokenStart_) + "'";
}

}  // namespace tarn

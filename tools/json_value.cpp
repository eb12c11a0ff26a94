#include "tools/json_value.h"

#include "platform/text/codepage.h"
#include "tools/cli_common.h"

namespace tarn::cli {

const TJsonValue* TJsonValue::Find(std::string_view key) const {
    for (const auto& [name, value] : members)
        if (name == key) return &value;
    return nullptr;
}

const char* TJsonValue::KindName() const {
    switch (kind) {
        case Kind::Null:
            return "null";
        case Kind::Bool:
            return "a boolean";
        case Kind::Number:
            return "a number";
        case Kind::String:
            return "a string";
        case Kind::Array:
            return "an array";
        case Kind::Object:
            return "an object";
    }
    return "a value";
}

namespace {

constexpr int kMaxDepth = 64;

class TJsonParser {
public:
    TJsonParser(std::string_view text, const std::string& source) : t_(text), source_(source) {}

    TJsonValue Document() {
        TJsonValue v = Value(0);
        Blanks();
        if (p_ != t_.size()) Fail("text after the end of the JSON value");
        return v;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        size_t line = 1, column = 1;
        for (size_t i = 0; i < p_ && i < t_.size(); ++i) {
            if (t_[i] == '\n') {
                ++line;
                column = 1;
            } else if ((static_cast<unsigned char>(t_[i]) & 0xC0) != 0x80) {
                ++column;
            }
        }
        throw EToolError(source_ + ": line " + std::to_string(line) + ", column " +
                         std::to_string(column) + ": " + what);
    }

    void Blanks() {
        while (p_ < t_.size() &&
               (t_[p_] == ' ' || t_[p_] == '\t' || t_[p_] == '\n' || t_[p_] == '\r'))
            ++p_;
    }

    bool Literal(std::string_view word) {
        if (t_.substr(p_, word.size()) != word) return false;
        p_ += word.size();
        return true;
    }

    TJsonValue Value(int depth) {
        if (depth > kMaxDepth)
            Fail("the JSON nests deeper than " + std::to_string(kMaxDepth) + " levels");
        Blanks();
        if (p_ >= t_.size()) Fail("the JSON ends where a value should be");
        TJsonValue v;
        char c = t_[p_];
        if (c == '{') {
            v.kind = TJsonValue::Kind::Object;
            ++p_;
            Blanks();
            if (p_ < t_.size() && t_[p_] == '}') {
                ++p_;
                return v;
            }
            while (true) {
                Blanks();
                if (p_ >= t_.size() || t_[p_] != '"') Fail("expected a member name in quotes");
                std::string key = String();
                Blanks();
                if (p_ >= t_.size() || t_[p_] != ':') Fail("expected ':' after a member name");
                ++p_;
                v.members.emplace_back(std::move(key), Value(depth + 1));
                Blanks();
                if (p_ < t_.size() && t_[p_] == ',') {
                    ++p_;
                    continue;
                }
                if (p_ < t_.size() && t_[p_] == '}') {
                    ++p_;
                    return v;
                }
                Fail("expected ',' or '}' in an object");
            }
        }
        if (c == '[') {
            v.kind = TJsonValue::Kind::Array;
            ++p_;
            Blanks();
            if (p_ < t_.size() && t_[p_] == ']') {
                ++p_;
                return v;
            }
            while (true) {
                v.items.push_back(Value(depth + 1));
                Blanks();
                if (p_ < t_.size() && t_[p_] == ',') {
                    ++p_;
                    continue;
                }
                if (p_ < t_.size() && t_[p_] == ']') {
                    ++p_;
                    return v;
                }
                Fail("expected ',' or ']' in an array");
            }
        }
        if (c == '"') {
            v.kind = TJsonValue::Kind::String;
            v.text = String();
            return v;
        }
        for (const char* word : {"true", "false"})
            if (Literal(word)) {
                v.kind = TJsonValue::Kind::Bool;
                v.text = word;
                return v;
            }
        if (Literal("null")) return v;
        if (c == '-' || (c >= '0' && c <= '9')) {
            v.kind = TJsonValue::Kind::Number;
            v.text = Number();
            return v;
        }
        // The whole character, when it is one of several bytes.
        size_t end = p_ + 1;
        while (end < t_.size() && end < p_ + 4 &&
               (static_cast<unsigned char>(t_[end]) & 0xC0) == 0x80)
            ++end;
        std::string shown(t_.substr(p_, end - p_));
        Fail("unexpected character '" + (IsValidUtf8(shown) ? shown : std::string("?")) + "'");
    }

    std::string Number() {
        size_t start = p_;
        auto digits = [&] {
            size_t s = p_;
            while (p_ < t_.size() && t_[p_] >= '0' && t_[p_] <= '9') ++p_;
            return p_ > s;
        };
        if (t_[p_] == '-') ++p_;
        if (p_ < t_.size() && t_[p_] == '0')
            ++p_;
        else if (!digits())
            Fail("a number needs digits");
        if (p_ < t_.size() && t_[p_] == '.') {
            ++p_;
            if (!digits()) Fail("a number needs digits after its '.'");
        }
        if (p_ < t_.size() && (t_[p_] == 'e' || t_[p_] == 'E')) {
            ++p_;
            if (p_ < t_.size() && (t_[p_] == '+' || t_[p_] == '-')) ++p_;
            if (!digits()) Fail("a number needs digits in its exponent");
        }
        return std::string(t_.substr(start, p_ - start));
    }

    unsigned Hex4() {
        if (p_ + 4 > t_.size()) Fail("a \\u escape needs four hex digits");
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            char h = t_[p_++];
            v <<= 4;
            if (h >= '0' && h <= '9')
                v |= static_cast<unsigned>(h - '0');
            else if (h >= 'a' && h <= 'f')
                v |= static_cast<unsigned>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                v |= static_cast<unsigned>(h - 'A' + 10);
            else
                Fail("a \\u escape needs four hex digits");
        }
        return v;
    }

    static void AppendUtf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }

    std::string String() {
        ++p_;  // the opening quote
        std::string out;
        size_t start = p_;
        while (true) {
            if (p_ >= t_.size()) Fail("a string that never ends");
            char c = t_[p_];
            if (c == '"') {
                ++p_;
                break;
            }
            if (static_cast<unsigned char>(c) < 0x20) Fail("a control character inside a string");
            if (c != '\\') {
                out.push_back(c);
                ++p_;
                continue;
            }
            if (++p_ >= t_.size()) Fail("a string that never ends");
            char e = t_[p_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out.push_back(e);
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'u': {
                    unsigned cp = Hex4();
                    if (cp >= 0xDC00 && cp <= 0xDFFF) Fail("a lone low surrogate in a \\u escape");
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        if (!Literal("\\u")) Fail("a high surrogate without its low surrogate");
                        unsigned lo = Hex4();
                        if (lo < 0xDC00 || lo > 0xDFFF)
                            Fail("a high surrogate without its low surrogate");
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                    }
                    AppendUtf8(out, cp);
                    break;
                }
                default:
                    --p_;
                    Fail(std::string("an unknown escape '\\") + e + "'");
            }
        }
        if (!IsValidUtf8(out)) {
            p_ = start;
            Fail("a string that is not valid UTF-8 text");
        }
        return out;
    }

    std::string_view t_;
    const std::string& source_;
    size_t p_ = 0;
};

}  // namespace

TJsonValue ParseJson(std::string_view text, const std::string& source) {
    return TJsonParser(text, source).Document();
}

}  // namespace tarn::cli

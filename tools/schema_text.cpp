#include "tools/schema_text.h"

#include <charconv>

#include "tarndb/file_format.h"
#include "tools/cli_common.h"

namespace tarn::cli {

namespace {

struct TypeName_ {
    const char* name;
    uint8_t code;
};

// The names users know, in the order of the codes; the first name of a code is the one shown.
constexpr TypeName_ kTypeNames[] = {
    {"string", 1},     {"smallint", 2},  {"integer", 3},     {"int", 3},       {"word", 4},
    {"boolean", 5},    {"bool", 5},      {"float", 6},       {"currency", 7},  {"date", 9},
    {"time", 10},      {"datetime", 11}, {"autoinc", 14},    {"blob", 15},     {"memo", 16},
    {"graphic", 17},   {"fmtmemo", 18},  {"paradoxole", 19}, {"dbaseole", 20}, {"typedbinary", 21},
    {"fixedchar", 23}, {"largeint", 25}, {"orablob", 30},    {"oraclob", 31},
};

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        size_t p = s.find(sep, start);
        parts.push_back(
            s.substr(start, p == std::string_view::npos ? std::string_view::npos : p - start));
        if (p == std::string_view::npos) break;
        start = p + 1;
    }
    return parts;
}

std::string Quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

}  // namespace

uint8_t TypeCodeFromName(std::string_view name) {
    std::string_view bare = name;
    if (bare.size() > 2 && EqualNoCase(bare.substr(0, 2), "ft")) bare.remove_prefix(2);
    for (const TypeName_& t : kTypeNames)
        if (EqualNoCase(t.name, bare)) return t.code;
    int code = 0;
    auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), code);
    if (ec == std::errc() && end == name.data() + name.size() && code > 0 && code < 256 &&
        format::SlotSize(static_cast<uint8_t>(code), 1) != 0)
        return static_cast<uint8_t>(code);
    return 0;
}

std::string TypeName(uint8_t code) {
    for (const TypeName_& t : kTypeNames)
        if (t.code == code) return t.name;
    return "type " + std::to_string(code);
}

std::string TypeNameList() {
    std::string list;
    uint8_t last = 0;
    for (const TypeName_& t : kTypeNames) {
        if (t.code == last) continue;  // aliases are not listed
        last = t.code;
        if (!list.empty()) list += ", ";
        list += t.name;
    }
    return list;
}

TFieldSpec ParseFieldSpec(std::string_view definition) {
    std::vector<std::string_view> parts = Split(definition, ':');
    if (parts.size() < 2 || parts.size() > 4 || parts[0].empty())
        throw UsageError("field " + Quoted(definition) + ": write it as NAME:TYPE[:SIZE][:plain]");
    TFieldSpec f;
    f.name = ToStored(parts[0], "a field name");
    f.type = TypeCodeFromName(parts[1]);
    if (f.type == 0)
        throw UsageError("field " + Quoted(definition) + ": unknown type " + Quoted(parts[1]) +
                         " (known: " + TypeNameList() + ")");
    size_t next = 2;
    bool isString = format::IsStringType(f.type);
    if (next < parts.size() && !EqualNoCase(parts[next], "plain")) {
        std::string_view size = parts[next];
        auto [end, ec] = std::from_chars(size.data(), size.data() + size.size(), f.size);
        if (ec != std::errc() || end != size.data() + size.size() || f.size < 1)
            throw UsageError("field " + Quoted(definition) + ": the size " + Quoted(size) +
                             " is not a positive number");
        if (!isString)
            throw UsageError("field " + Quoted(definition) +
                             ": only string and fixedchar fields take a size");
        ++next;
    } else if (isString) {
        throw UsageError("field " + Quoted(definition) + ": a " + TypeName(f.type) +
                         " field needs its size in bytes, e.g. NAME:string:40");
    }
    if (next < parts.size()) {
        if (!EqualNoCase(parts[next], "plain"))
            throw UsageError("field " + Quoted(definition) + ": unexpected " + Quoted(parts[next]) +
                             " (only 'plain' may follow)");
        f.storePlain = true;
        ++next;
    }
    if (next != parts.size()) throw UsageError("field " + Quoted(definition) + ": too many parts");
    return f;
}

TIndexSpec ParseIndexSpec(std::string_view definition) {
    std::vector<std::string_view> parts = Split(definition, ':');
    if (parts.size() != 3 || parts[0].empty() || parts[2].empty())
        throw UsageError("index " + Quoted(definition) +
                         ": write it as NAME:OPTIONS:FIELD[,FIELD...] (OPTIONS may be empty)");
    TIndexSpec x;
    x.name = ToStored(parts[0], "an index name");
    if (!parts[1].empty() && !EqualNoCase(parts[1], "none")) {
        for (std::string_view opt : Split(parts[1], ',')) {
            if (EqualNoCase(opt, "primary"))
                x.options |= format::kIxPrimary;
            else if (EqualNoCase(opt, "unique"))
                x.options |= format::kIxUnique;
            else if (EqualNoCase(opt, "descending") || EqualNoCase(opt, "desc"))
                x.options |= format::kIxDescending;
            else if (EqualNoCase(opt, "nocase") || EqualNoCase(opt, "caseinsensitive"))
                x.options |= format::kIxCaseInsensitive;
            else
                throw UsageError("index " + Quoted(definition) + ": unknown option " + Quoted(opt) +
                                 " (known: primary, unique, descending, nocase)");
        }
    }
    for (std::string_view field : Split(parts[2], ',')) {
        if (field.empty())
            throw UsageError("index " + Quoted(definition) + ": an empty field name in the key");
        x.keyFields.push_back(ToStored(field, "a key field name"));
    }
    return x;
}

std::string IndexOptionsText(uint8_t options) {
    std::string s;
    auto add = [&](uint8_t bit, const char* name) {
        if (!(options & bit)) return;
        if (!s.empty()) s += ",";
        s += name;
    };
    add(format::kIxPrimary, "primary");
    add(format::kIxUnique, "unique");
    add(format::kIxDescending, "descending");
    add(format::kIxCaseInsensitive, "nocase");
    return s;
}

}  // namespace tarn::cli

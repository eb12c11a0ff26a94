#include "tools/schema_text.h"

#include <charconv>

#include "tarndb/defs.h"
#include "tools/cli_common.h"

namespace tarn::cli {

namespace {

struct TypeName_ {
    const char* name;
    TFieldType type;
};

// The names users know of the types records can hold, in the order of the types; the first
// name of a type is the one shown.
constexpr TypeName_ kTypeNames[] = {
    {"string", ftString},       {"smallint", ftSmallint},
    {"integer", ftInteger},     {"int", ftInteger},
    {"word", ftWord},           {"boolean", ftBoolean},
    {"bool", ftBoolean},        {"float", ftFloat},
    {"currency", ftCurrency},   {"date", ftDate},
    {"time", ftTime},           {"datetime", ftDateTime},
    {"autoinc", ftAutoInc},     {"blob", ftBlob},
    {"memo", ftMemo},           {"graphic", ftGraphic},
    {"fmtmemo", ftFmtMemo},     {"paradoxole", ftParadoxOle},
    {"dbaseole", ftDBaseOle},   {"typedbinary", ftTypedBinary},
    {"fixedchar", ftFixedChar}, {"largeint", ftLargeint},
    {"orablob", ftOraBlob},     {"oraclob", ftOraClob},
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

TFieldType TypeFromName(std::string_view name) {
    std::string_view bare = name;
    if (bare.size() > 2 && EqualNoCase(bare.substr(0, 2), "ft")) bare.remove_prefix(2);
    for (const TypeName_& t : kTypeNames)
        if (EqualNoCase(t.name, bare)) return t.type;
    int code = 0;
    auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), code);
    if (ec == std::errc() && end == name.data() + name.size())
        for (const TypeName_& t : kTypeNames)
            if (t.type == code) return t.type;
    return ftUnknown;
}

std::string TypeName(TFieldType type) {
    for (const TypeName_& t : kTypeNames)
        if (t.type == type) return t.name;
    return "type " + std::to_string(static_cast<int>(type));
}

std::string TypeNameList() {
    std::string list;
    TFieldType last = ftUnknown;
    for (const TypeName_& t : kTypeNames) {
        if (t.type == last) continue;  // aliases are not listed
        last = t.type;
        if (!list.empty()) list += ", ";
        list += t.name;
    }
    return list;
}

TFieldDefinition ParseFieldDefinition(std::string_view definition) {
    std::vector<std::string_view> parts = Split(definition, ':');
    if (parts.size() < 2 || parts.size() > 4 || parts[0].empty())
        throw UsageError("field " + Quoted(definition) + ": write it as NAME:TYPE[:SIZE][:plain]");
    TFieldDefinition f;
    f.name = ToStored(parts[0], "a field name");
    TFieldType type = TypeFromName(parts[1]);
    f.type = type;
    if (type == ftUnknown)
        throw UsageError("field " + Quoted(definition) + ": unknown type " + Quoted(parts[1]) +
                         " (known: " + TypeNameList() + ")");
    size_t next = 2;
    bool isString = IsStringType(type);
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
        throw UsageError("field " + Quoted(definition) + ": a " + TypeName(type) +
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

TIndexDefinition ParseIndexDefinition(std::string_view definition) {
    std::vector<std::string_view> parts = Split(definition, ':');
    if (parts.size() != 3 || parts[0].empty() || parts[2].empty())
        throw UsageError("index " + Quoted(definition) +
                         ": write it as NAME:OPTIONS:FIELD[,FIELD...] (OPTIONS may be empty)");
    TIndexDefinition x;
    x.name = ToStored(parts[0], "an index name");
    x.options = ParseIndexOptions(parts[1], "index " + Quoted(definition));
    for (std::string_view field : Split(parts[2], ',')) {
        if (field.empty())
            throw UsageError("index " + Quoted(definition) + ": an empty field name in the key");
        x.keyFields.push_back(ToStored(field, "a key field name"));
    }
    return x;
}

TIndexOptions ParseIndexOptions(std::string_view text, const std::string& context) {
    TIndexOptions options;
    if (text.empty() || EqualNoCase(text, "none")) return options;
    for (std::string_view opt : Split(text, ',')) {
        if (EqualNoCase(opt, "primary"))
            options |= tiPrimary;
        else if (EqualNoCase(opt, "unique"))
            options |= tiUnique;
        else if (EqualNoCase(opt, "descending") || EqualNoCase(opt, "desc"))
            options |= tiDescending;
        else if (EqualNoCase(opt, "nocase") || EqualNoCase(opt, "caseinsensitive"))
            options |= tiCaseInsensitive;
        else
            throw UsageError(context + ": unknown option " + Quoted(opt) +
                             " (known: primary, unique, descending, nocase)");
    }
    return options;
}

std::string IndexOptionsText(TIndexOptions options) {
    std::string s;
    auto add = [&](TIndexOption option, const char* name) {
        if (!options.Has(option)) return;
        if (!s.empty()) s += ",";
        s += name;
    };
    add(tiPrimary, "primary");
    add(tiUnique, "unique");
    add(tiDescending, "descending");
    add(tiCaseInsensitive, "nocase");
    return s;
}

}  // namespace tarn::cli

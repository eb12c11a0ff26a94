#include "tools/schema_json.h"

#include "tools/cli_common.h"
#include "tools/row_output.h"
#include "tools/schema_text.h"

namespace tarn::cli {

std::string ModuleName(const std::string& module) {
    std::string s = ToTerminal(module);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string SettingsJson(const TDatabaseInfo& info) {
    std::string s = "{\"compression\": ";
    s += info.compressed ? JsonString(ModuleName(info.compressModule)) : "null";
    s += ", \"encryption\": ";
    if (info.encrypted)
        s += "{\"cipher\": " + JsonString(ModuleName(info.encryptModule)) +
             ", \"mode\": " + std::to_string(info.encryptMode) + "}";
    else
        s += "null";
    s += ", \"verifyBlobWrites\": ";
    s += info.verifyBlobWrites ? "true" : "false";
    return s + "}";
}

std::string FieldJson(const TFieldInfo& f) {
    std::string s = "{\"name\": " + JsonString(ToTerminal(f.name)) +
                    ", \"type\": " + JsonString(TypeName(f.type));
    if (IsStringType(f.type)) s += ", \"size\": " + std::to_string(f.size);
    if (f.storePlain) s += ", \"plain\": true";
    return s + "}";
}

std::string IndexJson(const TIndexInfo& x) {
    std::string s = "{\"name\": " + JsonString(ToTerminal(x.name)) +
                    ", \"options\": " + JsonString(IndexOptionsText(x.options)) + ", \"fields\": [";
    for (size_t i = 0; i < x.keyFields.size(); ++i)
        s += (i ? ", " : "") + JsonString(ToTerminal(x.keyFields[i]));
    return s + "]}";
}

}  // namespace tarn::cli

#include "tools/cli_common.h"

#include <algorithm>

#include "platform/text/codepage.h"

namespace tarn::cli {

std::string TParsedArgs::Value(const std::string& name) const {
    auto it = options.find(name);
    if (it == options.end()) return "";
    if (it->second.size() > 1) throw UsageError("--" + name + " is given more than once");
    return it->second.front();
}

const std::vector<std::string>& TParsedArgs::Values(const std::string& name) const {
    static const std::vector<std::string> none;
    auto it = options.find(name);
    return it == options.end() ? none : it->second;
}

TParsedArgs ParseArgs(const std::vector<std::string>& args,
                      const std::vector<std::string>& withValue,
                      const std::vector<std::string>& flags) {
    TParsedArgs out;
    auto listed = [](const std::vector<std::string>& list, const std::string& name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-' || a == "-") {
            out.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            out.help = true;
            continue;
        }
        if (a.rfind("--", 0) != 0) throw UsageError("unknown option '" + a + "'");
        std::string name = a.substr(2);
        std::string value;
        bool inlineValue = false;
        if (size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        if (listed(withValue, name)) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) throw UsageError("--" + name + " needs a value");
                value = args[++i];
            }
            out.options[name].push_back(value);
        } else if (listed(flags, name)) {
            if (inlineValue) throw UsageError("--" + name + " takes no value");
            out.options[name].push_back("");
        } else {
            throw UsageError("unknown option '--" + name + "'");
        }
    }
    return out;
}

void RequirePositional(const TParsedArgs& a, const std::vector<const char*>& names) {
    if (a.positional.size() < names.size())
        throw UsageError(std::string("missing ") + names[a.positional.size()]);
    if (a.positional.size() > names.size())
        throw UsageError("unexpected argument '" + a.positional[names.size()] + "'");
}

std::string ToStored(std::string_view utf8, const char* what) {
    if (!IsValidUtf8(utf8)) throw EToolError(std::string(what) + " is not valid UTF-8 text");
    return Utf8ToAnsi(utf8);
}

std::string ToTerminal(std::string_view stored) { return AnsiToUtf8(stored); }

std::string EngineMessageToTerminal(std::string_view message) { return MessageToUtf8(message); }

void RequireRegularFile(const std::string& path) {
    std::string why = NotARegularFile(path);
    if (!why.empty()) throw EToolError("cannot open " + path + ": " + why);
}

}  // namespace tarn::cli

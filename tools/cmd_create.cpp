// tarndb create FILE [--compress zlib] [--encrypt CIPHER [--mode N]] [--verify-blob-writes]
#include <algorithm>

#include "platform/os/env.h"
#include "tarndb/creator.h"
#include "tools/commands.h"
#include "tools/open_database.h"

namespace tarn::cli {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

int RunCreate(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {"compress", "encrypt", "mode"}, {"verify-blob-writes"});
    RequirePositional(a, {"FILE"});
    const std::string& path = a.positional[0];
    TDatabaseSettings settings;
    if (a.Has("compress")) {
        if (Lower(a.Value("compress")) != "zlib")
            throw UsageError("unknown compression '" + a.Value("compress") + "' (known: zlib)");
        settings.compressed = true;
        settings.compressModule = "ZLIB";
    }
    if (a.Has("encrypt")) {
        std::string cipher = Lower(a.Value("encrypt"));
        if (cipher == "blowfish")
            settings.encryptModule = "Blowfish";
        else if (cipher == "twofish")
            settings.encryptModule = "Twofish";
        else if (cipher == "gost")
            settings.encryptModule = "Gost";
        else
            throw UsageError("unknown cipher '" + a.Value("encrypt") +
                             "' (known: blowfish, twofish, gost)");
        settings.encrypted = true;
        std::string mode = a.Value("mode");
        if (!mode.empty()) {
            if (mode.size() != 1 || mode[0] < '0' || mode[0] > '4')
                throw UsageError("the mode must be a number from 0 to 4, not '" + mode + "'");
            settings.encryptMode = static_cast<uint8_t>(mode[0] - '0');
        }
    } else if (a.Has("mode")) {
        throw UsageError("--mode belongs to --encrypt");
    }
    settings.verifyBlobWrites = a.Has("verify-blob-writes");
    if (CurrentEnv()->FileExists(path))
        throw EToolError(path + " exists already; create makes new files only");
    if (settings.encrypted) settings.password = ObtainPassword(ctx, path, true);
    TTarnDBCreator::CreateDatabase(path, settings);
    std::fill(settings.password.begin(), settings.password.end(), '\0');
    std::fprintf(ctx.out, "created %s%s%s\n", path.c_str(),
                 settings.compressed ? ", compressed with zlib" : "",
                 settings.encrypted ? (", encrypted with " + Lower(settings.encryptModule) +
                                       " mode " + std::to_string(settings.encryptMode))
                                          .c_str()
                                    : "");
    return kExitOk;
}

}  // namespace tarn::cli

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
    TDatabaseSpec spec;
    if (a.Has("compress")) {
        if (Lower(a.Value("compress")) != "zlib")
            throw UsageError("unknown compression '" + a.Value("compress") + "' (known: zlib)");
        spec.compressed = true;
        spec.compressModule = "ZLIB";
    }
    if (a.Has("encrypt")) {
        std::string cipher = Lower(a.Value("encrypt"));
        if (cipher == "blowfish")
            spec.encryptModule = "Blowfish";
        else if (cipher == "twofish")
            spec.encryptModule = "Twofish";
        else if (cipher == "gost")
            spec.encryptModule = "Gost";
        else
            throw UsageError("unknown cipher '" + a.Value("encrypt") +
                             "' (known: blowfish, twofish, gost)");
        spec.encrypted = true;
        std::string mode = a.Value("mode");
        if (!mode.empty()) {
            if (mode.size() != 1 || mode[0] < '0' || mode[0] > '4')
                throw UsageError("the mode must be a number from 0 to 4, not '" + mode + "'");
            spec.encryptMode = static_cast<uint8_t>(mode[0] - '0');
        }
    } else if (a.Has("mode")) {
        throw UsageError("--mode belongs to --encrypt");
    }
    spec.verifyBlobWrites = a.Has("verify-blob-writes");
    if (CurrentEnv()->FileExists(path))
        throw EToolError(path + " exists already; create makes new files only");
    if (spec.encrypted) spec.password = ObtainPassword(ctx, path, true);
    TTarnDBCreator::CreateDatabase(path, spec);
    std::fill(spec.password.begin(), spec.password.end(), '\0');
    std::fprintf(ctx.out, "created %s%s%s\n", path.c_str(),
                 spec.compressed ? ", compressed with zlib" : "",
                 spec.encrypted ? (", encrypted with " + Lower(spec.encryptModule) + " mode " +
                                   std::to_string(spec.encryptMode))
                                      .c_str()
                                : "");
    return kExitOk;
}

}  // namespace tarn::cli

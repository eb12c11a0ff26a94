#include "dataproc/standard_modules.h"

#include <mutex>

#include "dataproc/compress_zlib.h"
#include "dataproc/enc_algo.h"
#include "dataproc/module_registry.h"

namespace tarn {

void RegisterStandardModules() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Compression modules.
        RegisterCompressModule<TCompAlgo_Zlib>("ZLIB");

        // Encryption modules, in this order: Blowfish, Twofish, Gost.
        RegisterCipherModules();
    });
}

}  // namespace tarn

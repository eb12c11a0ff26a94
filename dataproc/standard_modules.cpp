#include "dataproc/standard_modules.h"

#include <mutex>

#include "dataproc/enc_algo.h"
#include "dataproc/module_registry.h"

namespace tarn {

void RegisterStandardModules() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Compression modules.
        // (ZLIB follows with the zlib module.)

        // Encryption modules, in this order: Blowfish, Twofish, Gost.
        RegisterCipherModules();
    });
}

}  // namespace tarn

#include "dataproc/standard_modules.h"

#include <mutex>

#include "dataproc/compress_zlib.h"
#include "dataproc/module_registry.h"

namespace tarn {

void RegisterStandardModules() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Compression modules.
        RegisterCompressModule<TCompAlgo_Zlib>("ZLIB");

        // Encryption modules, in this order: Blowfish, Twofish, Gost.
        // CIPHER MODULES: register them here, e.g.
        //   RegisterEncryptModule<TEncAlgo_Blowfish>("Blowfish");
        //   RegisterEncryptModule<TEncAlgo_Twofish>("Twofish");
        //   RegisterEncryptModule<TEncAlgo_Gost>("Gost");
    });
}

}  // namespace tarn

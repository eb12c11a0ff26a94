// Registers the engine's data-processing modules: "ZLIB" in CompressModuleList and the
// ciphers "Blowfish", "Twofish", "Gost" in EncryptModuleList, in that order. Call it once
// before opening any database (the database layer calls it when it opens a file); further
// calls, from any thread, do nothing. No static initialiser registers anything.
#pragma once

namespace tarn {

void RegisterStandardModules();

}  // namespace tarn

// The encryption modules: the engine's encryption manager reaches the three ciphers
// through these TEncryptAlgo classes, registered in EncryptModuleList as "Blowfish",
// "Twofish" and "Gost" (RegisterCipherModules, called from RegisterStandardModules).
//
// TEncAlgo_Base owns one cipher object (`Cipher`), made from the module's CipherClass when
// the module is created and wiped and freed with it. A new module is in mode 0 and not
// keyed: every buffer or stream operation then raises the cipher's EEncryptException code
// 3 before any byte is transformed. SetEncryptMode refuses a mode above 4 (a damaged or
// foreign database file) with EEncryptException code 4 and keeps the current mode.
// One thread at a time (the database file's transform lock).
#pragma once

#include <memory>

#include "dataproc/data_process_algo.h"
#include "dataproc/enc_blowfish.h"
#include "dataproc/enc_gost.h"
#include "dataproc/enc_twofish.h"
#include "dataproc/encrypt_base.h"

namespace tarn {

// A cipher class reference: makes a new, unkeyed cipher.
using TCipherClass = std::unique_ptr<TEncrypt> (*)();

template <class C>
std::unique_ptr<TEncrypt> MakeCipher() {
    return std::make_unique<C>();
}

class TEncAlgo_Base : public TEncryptAlgo {
public:
    void SetEncryptMode(uint8_t mode) override;
    uint8_t GetEncryptMode() const override;
    // Keys the cipher from the password (no initial vector: it becomes E(FF..FF)).
    void InitKey(std::string_view key) override;
    void ResetFeedback() override;
    void EncodeBuffer(const void* source, void* dest, int32_t dataSize) override;
    void DecodeBuffer(const void* source, void* dest, int32_t dataSize) override;
    void DecodeUnits(std::span<const TCipherUnit> units) override;

    // The cipher class of this module.
    virtual TCipherClass CipherClass() const = 0;

    TEncrypt& Cipher() { return *cipher_; }
    const TEncrypt& Cipher() const { return *cipher_; }

protected:
    TEncAlgo_Base(TDataProcessOwner* owner, TCipherClass cipherClass);

private:
    std::unique_ptr<TEncrypt> cipher_;
};

// One module per cipher, each with its cipher class.
class TEncAlgo_Blowfish final : public TEncAlgo_Base {
public:
    explicit TEncAlgo_Blowfish(TDataProcessOwner* owner)
        : TEncAlgo_Base(owner, &MakeCipher<TEnc_Blowfish>) {}
    TCipherClass CipherClass() const override { return &MakeCipher<TEnc_Blowfish>; }
};

class TEncAlgo_Twofish final : public TEncAlgo_Base {
public:
    explicit TEncAlgo_Twofish(TDataProcessOwner* owner)
        : TEncAlgo_Base(owner, &MakeCipher<TEnc_Twofish>) {}
    TCipherClass CipherClass() const override { return &MakeCipher<TEnc_Twofish>; }
};

class TEncAlgo_Gost final : public TEncAlgo_Base {
public:
    explicit TEncAlgo_Gost(TDataProcessOwner* owner)
        : TEncAlgo_Base(owner, &MakeCipher<TEnc_Gost>) {}
    TCipherClass CipherClass() const override { return &MakeCipher<TEnc_Gost>; }
};

// Registers the three modules in EncryptModuleList, in the order Blowfish, Twofish, Gost,
// under the names database files carry. Repeating it changes nothing.
void RegisterCipherModules();

}  // namespace tarn

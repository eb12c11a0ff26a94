#include "dataproc/enc_algo.h"

#include "dataproc/module_registry.h"

namespace tarn {

TEncAlgo_Base::TEncAlgo_Base(TDataProcessOwner* owner, TCipherClass cipherClass)
    : TEncryptAlgo(owner), cipher_(cipherClass()) {}

void TEncAlgo_Base::SetEncryptMode(uint8_t mode) { cipher_->SetMode(mode); }

uint8_t TEncAlgo_Base::GetEncryptMode() const { return cipher_->Mode(); }

void TEncAlgo_Base::InitKey(std::string_view key) { cipher_->InitKey(key); }

void TEncAlgo_Base::ResetFeedback() { cipher_->ResetFeedback(); }

void TEncAlgo_Base::EncodeBuffer(const void* source, void* dest, int32_t dataSize) {
    cipher_->EncodeBuffer(source, dest, dataSize);
}

void TEncAlgo_Base::DecodeBuffer(const void* source, void* dest, int32_t dataSize) {
    cipher_->DecodeBuffer(source, dest, dataSize);
}

void TEncAlgo_Base::DecodeUnits(std::span<const TCipherUnit> units) { cipher_->DecodeUnits(units); }

void RegisterCipherModules() {
    RegisterEncryptModule<TEncAlgo_Blowfish>("Blowfish");
    RegisterEncryptModule<TEncAlgo_Twofish>("Twofish");
    RegisterEncryptModule<TEncAlgo_Gost>("Gost");
}

}  // namespace tarn

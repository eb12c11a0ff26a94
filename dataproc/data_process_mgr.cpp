#include "dataproc/data_process_mgr.h"

#include <string>

#include "dataproc/module_registry.h"
#include "tarndb/errors.h"

namespace tarn {

namespace {

[[noreturn]] void GeneralError() { throw EDatabaseError("General error"); }

// Selection shared by both managers: keep the current instance when its class is the
// selected one, otherwise replace it by a new instance of the class at `index`.
template <class Base>
bool ReplaceModule(const TModuleRegistry<Base>& registry, int index,
                   std::unique_ptr<TDataProcessAlgo>& module, TDataProcessOwner* owner) {
    const TModuleEntry<Base> entry = registry.Entry(index);
    if (module && entry.Class.IsClassOf(*module)) return false;
    // Create before releasing, so a failing constructor leaves the current module in place.
    std::unique_ptr<TDataProcessAlgo> created = entry.Class.Create(owner);
    module = std::move(created);
    return true;
}

}  // namespace

TDataProcessMgr::~TDataProcessMgr() = default;

int TDataProcessMgr::IndexOfModule(std::string_view) const { return -1; }

TDataProcessAlgo& TDataProcessMgr::RequireModule() const {
    if (!module_) GeneralError();
    return *module_;
}

void TDataProcessMgr::EncodeStream(TStream* source, TStream* dest, int64_t dataSize) {
    RequireModule().EncodeStream(source, dest, dataSize);
}

void TDataProcessMgr::DecodeStream(TStream* source, TStream* dest, int64_t dataSize) {
    RequireModule().DecodeStream(source, dest, dataSize);
}

// ---- TCompressMgr ----

int TCompressMgr::IndexOfModule(std::string_view name) const {
    const int index = CompressModuleList().IndexOf(name);
    if (index < 0) {
        throw EDatabaseError(
            Format("Compression algorithm module '%s' not found", std::string(name).c_str()));
    }
    return index;
}

void TCompressMgr::SelectModule(std::string_view name) {
    const int index = IndexOfModule(name);
    if (index < 0) return;
    if (!ReplaceModule(CompressModuleList(), index, module_, owner_)) return;
    if (owner_ != nullptr) {
        TDataProcessOwner* owner = owner_;
        module_->OnEncodeProgress = [owner](void*, int percent) {
            owner->OnCompressProgress(percent);
        };
        module_->OnDecodeProgress = [owner](void*, int percent) {
            owner->OnUncompressProgress(percent);
        };
    }
}

// ---- TEncryptMgr ----

int TEncryptMgr::IndexOfModule(std::string_view name) const {
    const int index = EncryptModuleList().IndexOf(name);
    if (index < 0) {
        throw EDatabaseError(
            Format("Encryption algorithm module '%s' not found", std::string(name).c_str()));
    }
    return index;
}

void TEncryptMgr::SelectModule(std::string_view name) {
    const int index = IndexOfModule(name);
    if (index < 0) return;
    if (!ReplaceModule(EncryptModuleList(), index, module_, owner_)) return;
    if (owner_ != nullptr) {
        TDataProcessOwner* owner = owner_;
        module_->OnEncodeProgress = [owner](void*, int percent) {
            owner->OnEncryptProgress(percent);
        };
        module_->OnDecodeProgress = [owner](void*, int percent) {
            owner->OnDecryptProgress(percent);
        };
    }
}

TEncryptAlgo& TEncryptMgr::RequireCipher() const {
    return static_cast<TEncryptAlgo&>(RequireModule());
}

template <class Op>
void TEncryptMgr::ThenReset(Op op) {
    TEncryptAlgo& cipher = RequireCipher();
    try {
        op(cipher);
    } catch (...) {
        try {
            cipher.ResetFeedback();
        } catch (...) {
            // Keep the error of the operation.
        }
        throw;
    }
    cipher.ResetFeedback();
}

void TEncryptMgr::EncodeStream(TStream* source, TStream* dest, int64_t dataSize) {
    ThenReset([&](TEncryptAlgo& c) { c.EncodeStream(source, dest, dataSize); });
}

void TEncryptMgr::DecodeStream(TStream* source, TStream* dest, int64_t dataSize) {
    ThenReset([&](TEncryptAlgo& c) { c.DecodeStream(source, dest, dataSize); });
}

void TEncryptMgr::EncodeBuffer(const void* source, void* dest, int32_t dataSize) {
    ThenReset([&](TEncryptAlgo& c) { c.EncodeBuffer(source, dest, dataSize); });
}

void TEncryptMgr::DecodeBuffer(const void* source, void* dest, int32_t dataSize) {
    ThenReset([&](TEncryptAlgo& c) { c.DecodeBuffer(source, dest, dataSize); });
}

void TEncryptMgr::DecodeUnits(std::span<const TCipherUnit> units) {
    ThenReset([&](TEncryptAlgo& c) { c.DecodeUnits(units); });
}

void TEncryptMgr::SetEncryptMode(uint8_t mode) { RequireCipher().SetEncryptMode(mode); }

void TEncryptMgr::InitKey(std::string_view password) { RequireCipher().InitKey(password); }

void TEncryptMgr::ResetFeedback() { RequireCipher().ResetFeedback(); }

}  // namespace tarn

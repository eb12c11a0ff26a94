// The module managers: each selects a module by the name a database file carries and passes
// data through it. A database file object owns one TCompressMgr and one TEncryptMgr and
// drives them through TStoredDataCodec (stored_codec.h), under its transform lock.
//
// TDataProcessOwner is what a manager knows of its owner: where the progress of the modules
// it creates goes. The database file object implements it by forwarding each report to the
// matching event of its database (OnCompressProgress ...), with the database as Sender.
//
// Errors (EDatabaseError): "Compression algorithm module '%s' not found" / "Encryption
// algorithm module '%s' not found" from SelectModule with an unregistered name (the name as
// given); "General error" from any operation that needs a module before one was selected.
// Module errors (cipher, zlib) pass through unchanged. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "dataproc/data_process_algo.h"

namespace tarn {

class TDataProcessOwner {
public:
    virtual ~TDataProcessOwner() = default;
    // Progress of the selected compression module (compress / uncompress) and encryption
    // module (encrypt / decrypt), 0 to 100.
    virtual void OnCompressProgress(int percent) = 0;
    virtual void OnUncompressProgress(int percent) = 0;
    virtual void OnEncryptProgress(int percent) = 0;
    virtual void OnDecryptProgress(int percent) = 0;
};

class TDataProcessMgr {
public:
    // `owner` may be null (no progress is then forwarded); it is not owned.
    explicit TDataProcessMgr(TDataProcessOwner* owner) : owner_(owner) {}
    virtual ~TDataProcessMgr();
    TDataProcessMgr(const TDataProcessMgr&) = delete;
    TDataProcessMgr& operator=(const TDataProcessMgr&) = delete;

    // Position of `name` in the manager's registry; -1 in the base class.
    virtual int IndexOfModule(std::string_view name) const;
    // Makes the module registered as `name` the current one. Selecting the class that is
    // already current keeps that instance (with its key, mode and level).
    virtual void SelectModule(std::string_view name) = 0;
    // Forward to the current module.
    virtual void EncodeStream(TStream* source, TStream* dest, int64_t dataSize);
    virtual void DecodeStream(TStream* source, TStream* dest, int64_t dataSize);

    TDataProcessOwner* Owner() const { return owner_; }
    // The current module, or null before the first SelectModule.
    TDataProcessAlgo* Module() const { return module_.get(); }

protected:
    // The current module; raises "General error" when there is none.
    TDataProcessAlgo& RequireModule() const;

    TDataProcessOwner* owner_;
    std::unique_ptr<TDataProcessAlgo> module_;
};

class TCompressMgr : public TDataProcessMgr {
public:
    using TDataProcessMgr::TDataProcessMgr;

    // Position in CompressModuleList; raises "Compression algorithm module '%s' not found".
    int IndexOfModule(std::string_view name) const override;
    void SelectModule(std::string_view name) override;

    TCompressAlgo* Module() const { return static_cast<TCompressAlgo*>(module_.get()); }
};

class TEncryptMgr : public TDataProcessMgr {
public:
    using TDataProcessMgr::TDataProcessMgr;

    // Position in EncryptModuleList; raises "Encryption algorithm module '%s' not found".
    int IndexOfModule(std::string_view name) const override;
    void SelectModule(std::string_view name) override;

    // Every stream and buffer operation ends with ResetFeedback, also when it fails, so each
    // unit starts from the initial vector and units decode independently of each other.
    void EncodeStream(TStream* source, TStream* dest, int64_t dataSize) override;
    void DecodeStream(TStream* source, TStream* dest, int64_t dataSize) override;
    virtual void EncodeBuffer(const void* source, void* dest, int32_t dataSize);
    virtual void DecodeBuffer(const void* source, void* dest, int32_t dataSize);
    // Several units, each decoded as DecodeBuffer decodes one (TEncryptAlgo::DecodeUnits).
    void DecodeUnits(std::span<const TCipherUnit> units);

    void SetEncryptMode(uint8_t mode);
    void InitKey(std::string_view password);
    void ResetFeedback();

    TEncryptAlgo* Module() const { return static_cast<TEncryptAlgo*>(module_.get()); }

private:
    TEncryptAlgo& RequireCipher() const;
    // Runs `op`, then resets the feedback whether `op` succeeded or not.
    template <class Op>
    void ThenReset(Op op);
};

}  // namespace tarn

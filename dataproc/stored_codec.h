// TStoredDataCodec: the data-processing side of a database file object. It owns the
// compression and encryption managers and the transform lock, and implements the four entry
// points through which the table storage layer sends stored values through the modules,
// plus the password check that keys the encryption module.
//
// The database file object owns one codec (created with it, with itself as the owner that
// receives progress), calls SelectModules when it has read the information block, and
// delegates the entry points and CheckPassword to it.
//
// Encoded form: a value stored with both transforms is Encrypt(Compress(value)); the
// managers add no bytes of their own (zlib framing: compress_zlib.h; ciphers keep the
// length). Each entry point holds the transform lock for its whole run, so the units of one
// file are transformed one at a time and each starts from the cipher's initial vector; the
// entry points may be called from any thread. Progress events run inside the lock.
//
// Errors: those of the managers (EDatabaseError "General error" when a transform is asked for
// but no module was selected; the "module not found" errors of SelectModules) and of the
// modules (EEncryptException for an unkeyed cipher, ECompressionError /
// EDecompressionError / EReadError for bad compressed units). A failed unit leaves `dest`
// with unspecified content.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "dataproc/data_process_mgr.h"
#include "tarndb/stream.h"

namespace tarn {

// The password check text stored in an encrypted database: the THash_SHA (SHA-0) digest of
// the password bytes in the default digest text form (the engine's base-64 variant).
std::string PasswordCheckText(std::string_view password);

class TStoredDataCodec {
public:
    // `owner` receives the progress of the modules (may be null); not owned.
    explicit TStoredDataCodec(TDataProcessOwner* owner);
    TStoredDataCodec(const TStoredDataCodec&) = delete;
    TStoredDataCodec& operator=(const TStoredDataCodec&) = delete;

    // Called when a database file is opened, with the settings of its information block:
    // selects the compression module when `compressed`, and the encryption module followed by
    // its mode when `encrypted`. Raises the "module not found" errors for unregistered names.
    void SelectModules(bool compressed, std::string_view compressName, bool encrypted,
                       std::string_view encryptName, uint8_t encryptMode);

    // A blob value about to be written: `dest` receives Encrypt(Compress(source)) (only the
    // transforms asked for; neither gives a plain copy). The whole of `source` is used,
    // whatever its position. `dest` may be `source`.
    void EncodeStoredStream(TStream& source, TStream& dest, bool compress, bool encrypt);
    // A stored blob value just read: the inverse, decrypting first.
    void DecodeStoredStream(TStream& source, TStream& dest, bool compress, bool encrypt);
    // One non-blob field slot: `count` bytes from `source` into `dest` (which may be
    // `source`), encrypted / decrypted when asked, copied otherwise. The length is kept.
    void EncodeStoredBuffer(const void* source, void* dest, bool encrypt, int32_t count);
    void DecodeStoredBuffer(const void* source, void* dest, bool encrypt, int32_t count);
    // Decrypts several slots, each as DecodeStoredBuffer(encrypt = true) would, under one
    // taking of the transform lock (the cipher may work on their blocks together).
    void DecryptStoredUnits(std::span<const TCipherUnit> units);

    // Compares the password's check text with the stored one byte for byte (the stored text
    // ends at its first NUL, so the raw 129-byte field may be passed). When they are equal the
    // password becomes the encryption key and the result is true; otherwise nothing changes
    // and the result is false. The caller answers for the cases "file not open" (false) and
    // "not encrypted" (true) itself. Raises "General error" when the texts match but no
    // encryption module was selected.
    bool CheckPassword(std::string_view password, std::string_view storedCheckText);

    TCompressMgr& CompressMgr() { return compressMgr_; }
    TEncryptMgr& EncryptMgr() { return encryptMgr_; }

private:
    TCompressMgr compressMgr_;
    TEncryptMgr encryptMgr_;
    std::mutex transformLock_;
};

}  // namespace tarn

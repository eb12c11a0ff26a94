#include "dataproc/stored_codec.h"

#include <cstring>

#include "dataproc/hash_sha.h"
#include "dataproc/hash_words.h"

namespace tarn {

namespace {

void ClearStream(TStream& s) {
    s.SetSize(0);
    s.SetPosition(0);
}

// An intermediate copy of a value between two transforms; it may hold plain bytes, so its
// memory is wiped when the copy is dropped.
class TWorkCopy {
public:
    explicit TWorkCopy(TStream& from) {
        copy_.LoadFromStream(from);
        copy_.SetPosition(0);
    }
    ~TWorkCopy() {
        if (copy_.Size() > 0) {
            hashing::SecureZero(copy_.Memory(), static_cast<size_t>(copy_.Size()));
        }
    }
    TMemoryStream& Stream() { return copy_; }

private:
    TMemoryStream copy_;
};

}  // namespace

std::string PasswordCheckText(std::string_view password) { return THash_SHA::HashText(password); }

TStoredDataCodec::TStoredDataCodec(TDataProcessOwner* owner)
    : compressMgr_(owner), encryptMgr_(owner) {}

void TStoredDataCodec::SelectModules(bool compressed, std::string_view compressName, bool encrypted,
                                     std::string_view encryptName, uint8_t encryptMode) {
    std::lock_guard<std::mutex> lock(transformLock_);
    if (compressed) compressMgr_.SelectModule(compressName);
    if (encrypted) {
        encryptMgr_.SelectModule(encryptName);
        encryptMgr_.SetEncryptMode(encryptMode);
    }
}

void TStoredDataCodec::EncodeStoredStream(TStream& source, TStream& dest, bool compress,
                                          bool encrypt) {
    std::lock_guard<std::mutex> lock(transformLock_);
    const bool same = &source == &dest;
    source.SetPosition(0);
    if (!same) ClearStream(dest);
    if (!compress && !encrypt) {
        if (!same) dest.CopyFrom(source, 0);
        return;
    }
    if (compress) {
        if (same) {
            // Compression replaces the whole of dest; keep the value apart first.
            TWorkCopy value(source);
            compressMgr_.EncodeStream(&value.Stream(), &dest, value.Stream().Size());
        } else {
            compressMgr_.EncodeStream(&source, &dest, source.Size());
        }
    }
    if (encrypt) {
        if (compress) {
            TWorkCopy compressed(dest);
            ClearStream(dest);
            encryptMgr_.EncodeStream(&compressed.Stream(), &dest, compressed.Stream().Size());
        } else {
            source.SetPosition(0);
            encryptMgr_.EncodeStream(&source, &dest, source.Size());
        }
    }
}

void TStoredDataCodec::DecodeStoredStream(TStream& source, TStream& dest, bool compress,
                                          bool encrypt) {
    std::lock_guard<std::mutex> lock(transformLock_);
    const bool same = &source == &dest;
    source.SetPosition(0);
    if (!same) ClearStream(dest);
    if (!compress && !encrypt) {
        if (!same) dest.CopyFrom(source, 0);
        return;
    }
    if (encrypt) encryptMgr_.DecodeStream(&source, &dest, source.Size());
    if (compress) {
        if (encrypt || same) {
            // The input is what is in dest now (the decrypted bytes, or the value itself
            // when source and dest are one stream); decompression replaces dest.
            TWorkCopy input(dest);
            ClearStream(dest);
            compressMgr_.DecodeStream(&input.Stream(), &dest, input.Stream().Size());
        } else {
            compressMgr_.DecodeStream(&source, &dest, source.Size());
        }
    }
}

void TStoredDataCodec::EncodeStoredBuffer(const void* source, void* dest, bool encrypt,
                                          int32_t count) {
    std::lock_guard<std::mutex> lock(transformLock_);
    if (encrypt) {
        encryptMgr_.EncodeBuffer(source, dest, count);
    } else if (count > 0 && source != dest) {
        std::memmove(dest, source, static_cast<size_t>(count));
    }
}

void TStoredDataCodec::DecodeStoredBuffer(const void* source, void* dest, bool encrypt,
                                          int32_t count) {
    std::lock_guard<std::mutex> lock(transformLock_);
    if (encrypt) {
        encryptMgr_.DecodeBuffer(source, dest, count);
    } else if (count > 0 && source != dest) {
        std::memmove(dest, source, static_cast<size_t>(count));
    }
}

void TStoredDataCodec::DecryptStoredUnits(std::span<const TCipherUnit> units) {
    if (units.empty()) return;
    std::lock_guard<std::mutex> lock(transformLock_);
    encryptMgr_.DecodeUnits(units);
}

bool TStoredDataCodec::CheckPassword(std::string_view password, std::string_view storedCheckText) {
    const size_t nul = storedCheckText.find('\0');
    if (nul != std::string_view::npos) storedCheckText = storedCheckText.substr(0, nul);
    if (PasswordCheckText(password) != storedCheckText) return false;
    // Re-keying while another thread transforms a unit would mix two keys in one unit.
    std::lock_guard<std::mutex> lock(transformLock_);
    encryptMgr_.InitKey(password);
    return true;
}

}  // namespace tarn

// TEncrypt: the block-cipher framework beneath the encryption modules.
//
// A cipher is keyed either from raw key bytes (`Init`) or from a password text
// (`InitKey`: the 20-byte THash_SHA digest of the password is the key). Without an
// explicit initial vector the initial vector is E(FF..FF) under the new key. The five
// modes (`Mode`, the `EncryptMode` byte of a database) all keep the length of the data:
//
//   0 chXorFeedback  C = E(P ^ F), F = C ^ F; tail: K = E(F), out = in ^ K, F = K ^ F
//   1 chCBC          C = E(P ^ F), F = C;     tail: K = E(F), out = in ^ K, F unchanged
//   2 chCFB8         byte-wise cipher feedback (the ciphertext byte enters F)
//   3 chOFB8         byte-wise output feedback (the key-stream byte enters F)
//   4 chECB          each block alone; the trailing Count mod BlockSize bytes stay in clear
//
// `Feedback` carries the chaining state from one buffer call to the next until
// `ResetFeedback` returns it to the initial vector. Source and Dest of a buffer call may
// be the same buffer.
//
// Errors: EEncryptException code 3 ("<class> is not initialized call Init() or InitKey()
// before.") from EncodeBuffer / DecodeBuffer before the cipher is keyed; code 4 from
// SetMode with a mode above 4 (a damaged or foreign database file); code 2 from a cipher
// that cannot use the key length it was given.
//
// Key material (key schedule, vectors, scratch block) is wiped by `Wipe`, by every new key
// set-up and by the destructor. One cipher object is used by one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "dataproc/cipher_unit.h"
#include "dataproc/hash_base.h"

namespace tarn {

// Modes of operation; the value is the stored mode byte.
enum TCipherMode : uint8_t {
    chXorFeedback = 0,
    chCBC = 1,
    chCFB8 = 2,
    chOFB8 = 3,
    chECB = 4,
};
inline constexpr uint8_t kMaxCipherMode = chECB;

// Error codes carried by EEncryptException.
inline constexpr int kEncryptErrInvalidKeySize = 2;
inline constexpr int kEncryptErrNotInitialized = 3;
inline constexpr int kEncryptErrInvalidMode = 4;

// Overwrites `size` bytes in a way the compiler may not drop as a dead store.
void SecureZero(void* data, size_t size);

// The three sizes every cipher class declares (its `GetCipherSizes`).
struct TCipherSizes {
    int BlockSize;        // bytes per block (8 or 16 here)
    int MaxKeySize;       // longest key in bytes; longer keys are cut
    int KeyScheduleSize;  // bytes of expanded key material, a multiple of 4
};

class TEncrypt {
public:
    static constexpr int kMaxBlockSize = 16;
    static constexpr int kInitializedFlag = 9;  // bit of StateFlags: key and vector in place

    virtual ~TEncrypt();
    TEncrypt(const TEncrypt&) = delete;
    TEncrypt& operator=(const TEncrypt&) = delete;

    // The cipher's class name, used in its error messages ("TEnc_Blowfish").
    virtual const char* ClassName() const = 0;

    // Sets or clears bit `index` (0..31) of StateFlags.
    virtual void SetStateFlag(uint8_t index, bool value);
    // Encrypts / decrypts one block of BlockSize() bytes in place.
    virtual void EncryptBlock(uint8_t* block) = 0;
    virtual void DecryptBlock(uint8_t* block) = 0;
    // Keys the cipher from the first `size` bytes of `key` (cut to MaxKeySize, a negative
    // size counts as 0). `initialVector`, when given, supplies BlockSize() bytes.
    virtual void Init(const uint8_t* key, int size, const uint8_t* initialVector = nullptr) = 0;
    // Copies InitVector into Feedback.
    virtual void ResetFeedback();
    // Back to not initialised: vectors all FF, scratch block and key schedule zero.
    virtual void Wipe();

    // Keys the cipher with the THash_SHA digest of `password` (an empty password is
    // valid), then resets the feedback.
    void InitKey(std::string_view password, const uint8_t* initialVector = nullptr);

    // Transform `count` bytes from `source` into `dest` (which may be `source`) in the
    // current mode; the output is exactly `count` bytes. A count of 0 or less transforms
    // nothing. Raise EEncryptException code 3 when the cipher is not initialised.
    void EncodeBuffer(const void* source, void* dest, int32_t count);
    void DecodeBuffer(const void* source, void* dest, int32_t count);

    // Decodes each unit exactly as DecodeBuffer does from the initial vector; Feedback is
    // the initial vector afterwards. In the block modes every cipher block's input is known
    // from the stored bytes alone, so the blocks of all units go through the cipher
    // together (DecryptBlocks, EncryptBlocks); the byte-wise modes go unit by unit.
    void DecodeUnits(std::span<const TCipherUnit> units);

    uint8_t Mode() const { return mode_; }
    // Raises EEncryptException code 4 for a mode above 4; the mode stays unchanged.
    void SetMode(uint8_t mode);

    int BlockSize() const { return sizes_.BlockSize; }
    int MaxKeySize() const { return sizes_.MaxKeySize; }
    int KeyScheduleSize() const { return sizes_.KeyScheduleSize; }
    uint32_t StateFlags() const { return stateFlags_; }
    bool Initialized() const { return (stateFlags_ >> kInitializedFlag) & 1u; }
    std::span<const uint8_t> InitVector() const { return {initVector_.data(), BlockBytes()}; }
    std::span<const uint8_t> Feedback() const { return {feedback_.data(), BlockBytes()}; }
    // The hash that keys the cipher from a password: made from HashClass (THash_SHA) by
    // the first InitKey and kept with the cipher.
    THash* HashObject() const { return hashObject_.get(); }
    THashClass HashClass() const { return hashClass_; }

protected:
    explicit TEncrypt(const TCipherSizes& sizes);

    // The two steps around every cipher's own key schedule: BeginKeySetup wipes the cipher
    // and clamps `size` to 0..MaxKeySize; EndKeySetup installs the initial vector (given,
    // or E(FF..FF) under the new key), copies it to Feedback and marks the cipher keyed.
    void BeginKeySetup(int& size);
    void EndKeySetup(const uint8_t* initialVector);

    // `n` consecutive blocks in place. A cipher may overlap the rounds of several blocks;
    // the default takes them one at a time.
    virtual void EncryptBlocks(uint8_t* blocks, size_t n);
    virtual void DecryptBlocks(uint8_t* blocks, size_t n);

    // The expanded key as 32-bit words (KeyScheduleSize / 4 of them).
    uint32_t* KeySchedule() { return keySchedule_.get(); }
    const uint32_t* KeySchedule() const { return keySchedule_.get(); }

private:
    size_t BlockBytes() const { return static_cast<size_t>(sizes_.BlockSize); }
    void CheckInitialized() const;
    void Transform(const uint8_t* in, uint8_t* out, size_t count, bool encode);
    template <size_t B>
    void TransformBlocks(const uint8_t* in, uint8_t* out, size_t count, bool encode);
    template <size_t B>
    void TransformTail(const uint8_t* in, uint8_t* out, size_t count, bool encode);
    template <size_t B>
    void DecodeBlockUnits(std::span<const TCipherUnit> units);

    uint8_t mode_ = chXorFeedback;
    std::unique_ptr<THash> hashObject_;
    THashClass hashClass_;
    TCipherSizes sizes_;
    std::array<uint8_t, kMaxBlockSize> buffer_{};
    std::array<uint8_t, kMaxBlockSize> initVector_{};
    std::array<uint8_t, kMaxBlockSize> feedback_{};
    std::unique_ptr<uint32_t[]> keySchedule_;
    uint32_t stateFlags_ = 0;
    // DecodeUnits' blocks in flight (stored, then clear bytes): wiped after each call.
    std::vector<uint8_t> batch_;
};

}  // namespace tarn

// THash: the base of the engine's message digests and checksums.
//
// A hash object is used as Start, any number of Update calls, Finish; then Digest() /
// DigestSize() give the digest bytes and DigestText() their text. Start resets the object
// completely, so one object can hash many messages. The digest is valid from Finish until
// the next Start, Update or destruction; every concrete class overwrites its state (and so
// its digest) with zeros when it is destroyed.
//
// The class tree mirrors the engine's: THash_MD4 <- THash_RipeMD160 <- THash_SHA (SHA-0)
// share the 64-byte block buffering; THash_XOR32 <- THash_CRC32 are the 32-bit checksums.
//
// Two members matter to the engine: THash_SHA turns a database password into the cipher key
// and into the password check text (DigestText in the default format), THash_CRC32 verifies
// blob writes. Objects have no shared state: one object per thread.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tarn {

class THash {
public:
    THash() = default;
    // Overwrites the digest bytes with zeros.
    virtual ~THash();
    THash(const THash&) = delete;
    THash& operator=(const THash&) = delete;

    // The digest of "abc" under this algorithm (a known answer for self-checks), or null.
    virtual const uint8_t* KnownAnswerData() const { return nullptr; }
    // Begins a new digest.
    virtual void Start() {}
    // Adds `size` bytes from `data`; a size of 0 or less adds nothing.
    virtual void Update(const void* data, int64_t size) {
        (void)data;
        (void)size;
    }
    // Completes the digest.
    virtual void Finish() {}
    // The DigestSize() bytes of the digest, valid after Finish. The bytes may be
    // overwritten by the caller (a cipher replaces the digest it keyed itself with).
    const uint8_t* Digest() const { return digest_; }
    uint8_t* Digest() { return digest_; }
    // Number of digest bytes: 0 in the base class, at most kMaxDigestSize.
    virtual int DigestSize() const { return 0; }

    static constexpr int kMaxDigestSize = 20;

    // The digest as text. Format 16: upper-case hexadecimal, two characters per byte;
    // 64 (and 0, the default): the engine's own base-64 variant (see EncodeDigestBase64);
    // any other value: the digest bytes themselves.
    std::string DigestText(int format = 0) const;

    // Convenience: Update with the bytes of a string.
    void UpdateText(std::string_view text) {
        Update(text.data(), static_cast<int64_t>(text.size()));
    }

    // Hashes `size` bytes of `buffer` with a fresh instance of H and returns the digest text
    // in the default format; when `digestOut` is not empty the digest bytes are copied there
    // as well (it must hold at least H's digest size, else tarn::Exception is raised).
    template <class H>
    static std::string HashBufferWith(std::span<uint8_t> digestOut, const void* buffer,
                                      int64_t size) {
        H hash;
        return RunOnce(hash, digestOut, buffer, size);
    }

protected:
    static std::string RunOnce(THash& hash, std::span<uint8_t> digestOut, const void* buffer,
                               int64_t size);

    // The digest bytes of every class of the family (DigestSize() of them are used).
    uint8_t digest_[kMaxDigestSize] = {};
};

// The engine's base-64 variant of a digest (DigestText format 64). Bytes are taken in groups
// of three (missing bytes of the last group count as 0) forming v = g0<<24 | g1<<16 | g2<<8;
// while v != 0 the character for v's top six bits is appended and v shifts left by six.
// Then "==" when n mod 3 = 1, "=" when n mod 3 = 2. A group that ends in zero bits gives
// fewer than four characters, so the text is not standard Base64 and cannot in general be
// decoded; password check texts stored in database files are made with it.
std::string EncodeDigestBase64(std::span<const uint8_t> digest);

// Upper-case hexadecimal, high half of each byte first.
std::string EncodeDigestHex(std::span<const uint8_t> digest);

// A hash class reference: makes a new, unstarted instance (for example for a cipher's
// HashClass, which is THash_SHA).
using THashClass = std::unique_ptr<THash> (*)();

template <class H>
std::unique_ptr<THash> MakeHash() {
    return std::make_unique<H>();
}

// Declares the two class operations of a concrete hash class H: HashText and HashBuffer
// create an instance of H, Start, Update with all bytes, Finish, and return DigestText(0);
// when `digestOut` is given the digest bytes are copied into it (at least DigestSize bytes).
#define TARN_HASH_CLASS_OPERATIONS(H)                                                       \
    static std::string HashText(std::string_view data, std::span<uint8_t> digestOut = {}) { \
        return THash::HashBufferWith<H>(digestOut, data.data(),                             \
                                        static_cast<int64_t>(data.size()));                 \
    }                                                                                       \
    static std::string HashBuffer(const void* buffer, int64_t size,                         \
                                  std::span<uint8_t> digestOut = {}) {                      \
        return THash::HashBufferWith<H>(digestOut, buffer, size);                           \
    }

}  // namespace tarn

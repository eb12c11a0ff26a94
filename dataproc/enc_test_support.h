// Helpers shared by the cipher tests: hex conversion and the three ciphers by name.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dataproc/enc_blowfish.h"
#include "dataproc/enc_gost.h"
#include "dataproc/enc_twofish.h"

namespace tarn::enc_testing {

inline std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string ToHex(const uint8_t* bytes, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 15]);
    }
    return out;
}

inline std::string ToHex(const std::vector<uint8_t>& bytes) {
    return ToHex(bytes.data(), bytes.size());
}

// Bytes 0, 1, 2, ... n-1 (mod 256): the keys of the published known answers.
inline std::vector<uint8_t> Counting(size_t n) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(i);
    return out;
}

inline std::unique_ptr<TEncrypt> MakeCipher(const std::string& name) {
    if (name == "Blowfish") return std::make_unique<TEnc_Blowfish>();
    if (name == "Twofish") return std::make_unique<TEnc_Twofish>();
    if (name == "Gost") return std::make_unique<TEnc_Gost>();
    return nullptr;
}

}  // namespace tarn::enc_testing

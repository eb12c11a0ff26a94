#include "tools/base64.h"

#include <cstdint>

namespace tarn::cli {

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                     static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                     static_cast<unsigned char>(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6) out.push_back(kAlphabet[(v >> s) & 63]);
    }
    size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (rest == 2) v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

bool Base64Decode(std::string_view text, std::string& bytes) {
    bytes.clear();
    if (text.size() % 4 != 0) return false;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int pad = 0;
        if (last && text[i + 3] == '=') pad = text[i + 2] == '=' ? 2 : 1;
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k) {
            int s = k >= 4 - static_cast<size_t>(pad) ? 0 : Sextet(text[i + k]);
            if (s < 0) return false;
            v = v << 6 | static_cast<uint32_t>(s);
        }
        // Bits under the padding must be zero: one text per value.
        if ((pad == 1 && (v & 0xFF) != 0) || (pad == 2 && (v & 0xFFFF) != 0)) return false;
        bytes.push_back(static_cast<char>(v >> 16));
        if (pad < 2) bytes.push_back(static_cast<char>((v >> 8) & 0xFF));
        if (pad < 1) bytes.push_back(static_cast<char>(v & 0xFF));
    }
    return true;
}

}  // namespace tarn::cli

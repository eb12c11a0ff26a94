// Texts of the checker's report: UTF-8 for names stored in the data code page and for the
// engine's messages, and why a path is no file the checker can read.
#include <filesystem>
#include <system_error>

#include "platform/text/codepage.h"
#include "tarndb/check/check_internal.h"

namespace tarn::check {

namespace {

bool IsUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        size_t n;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (s.size() - i <= n) return false;
        for (size_t k = 1; k <= n; ++k) {
            auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

}  // namespace

std::string StoredText(std::string_view stored) { return AnsiToUtf8(stored); }

std::string MessageText(std::string_view message) {
    if (IsUtf8(message)) return std::string(message);
    return AnsiToUtf8(message);
}

std::string NotARegularFile(const std::string& path) {
    std::error_code ec;
    std::filesystem::file_status st = std::filesystem::status(path, ec);
    if (ec) return ec.message();
    switch (st.type()) {
        case std::filesystem::file_type::regular:
            return "";
        case std::filesystem::file_type::not_found:
            return std::make_error_code(std::errc::no_such_file_or_directory).message();
        case std::filesystem::file_type::directory:
            return std::make_error_code(std::errc::is_a_directory).message();
        case std::filesystem::file_type::fifo:
            return "not a regular file (a FIFO)";
        default:
            return "not a regular file";
    }
}

}  // namespace tarn::check

// Texts of the checker's report: UTF-8 for names stored in the data code page and for the
// engine's messages, and why a path is no file the checker can read.
#include <filesystem>
#include <system_error>

#include "platform/text/codepage.h"
#include "tarndb/check/check_internal.h"

namespace tarn::check {

std::string StoredText(std::string_view stored) { return AnsiToUtf8(stored); }

std::string MessageText(std::string_view message) {
    if (IsValidUtf8(message)) return std::string(message);
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

#include "platform/os/file_kind.h"

#include <filesystem>
#include <system_error>

namespace tarn {

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

}  // namespace tarn

// Base64 (RFC 4648, the standard alphabet with '=' padding) for binary blob values in the
// JSON of export and restore.
#pragma once

#include <string>
#include <string_view>

namespace tarn::cli {

std::string Base64Encode(std::string_view bytes);
// False for text that is not padded base64 of the standard alphabet (no line breaks).
bool Base64Decode(std::string_view text, std::string& bytes);

}  // namespace tarn::cli

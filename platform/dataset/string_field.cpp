#include <cstring>
#include <vector>

#include "platform/dataset/names.h"
#include "tarndb/dataset/typed_fields.h"

namespace tarn {
namespace {

// The longest leading part of `text` of at most `limit` bytes that does not end inside a
// double-byte character.
size_t CutLength(const std::string& text, size_t limit) {
    size_t i = 0;
    while (i < text.size()) {
        size_t len =
            (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
        if (i + len > limit) break;
        i += len;
    }
    return i;
}

}  // namespace

TStringField::TStringField(std::string fieldName, int size, TFieldType type)
    : TField(std::move(fieldName), type, size) {}

std::string TStringField::AsString() const {
    std::vector<uint8_t> buffer(static_cast<size_t>(DataSize()));
    if (!GetData(buffer)) return std::string();
    size_t len = 0;
    while (len < buffer.size() && buffer[len] != 0) ++len;
    return std::string(reinterpret_cast<const char*>(buffer.data()), len);
}

void TStringField::SetAsString(const std::string& value) {
    std::vector<uint8_t> buffer(static_cast<size_t>(DataSize()), 0);
    size_t len = CutLength(value, static_cast<size_t>(Size()));
    // A NUL inside the text ends the value as stored.
    size_t nul = value.find('\0');
    if (nul != std::string::npos && nul < len) len = nul;
    if (len > 0) std::memcpy(buffer.data(), value.data(), len);
    SetData(buffer);
}

TVariant TStringField::AsVariant() const {
    if (IsNull()) return TVariant();
    return TVariant(AsString());
}

void TStringField::SetAsVariant(const TVariant& value) {
    if (value.IsNull()) {
        Clear();
        return;
    }
    SetAsString(Converting([&] { return value.AsString(); }));
}

}  // namespace tarn

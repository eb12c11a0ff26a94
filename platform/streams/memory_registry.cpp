#include "tarndb/memory_registry.h"

#include <cctype>
#include <cstdint>
#include <map>
#include <mutex>

#include "tarndb/errors.h"

namespace tarn {
namespace {

std::mutex g_mutex;
std::map<uint64_t, TMemoryStream*>& Streams() {
    static std::map<uint64_t, TMemoryStream*> streams;
    return streams;
}
uint64_t g_nextHandle = 1;

// Parses the hexadecimal digits after the colon; false for anything else (including a
// number too large for a handle).
bool ParseHandle(const std::string& name, uint64_t& handle) {
    if (name.size() < 2 || name[0] != ':') return false;
    uint64_t v = 0;
    for (size_t i = 1; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (!std::isxdigit(c)) return false;
        unsigned digit = std::isdigit(c) ? c - '0' : (std::tolower(c) - 'a' + 10);
        if (v > (UINT64_MAX >> 4)) return false;
        v = (v << 4) | digit;
    }
    handle = v;
    return true;
}

}  // namespace

std::string RegisterMemoryStream(TMemoryStream* stream) {
    std::lock_guard<std::mutex> lock(g_mutex);
    uint64_t h = g_nextHandle++;
    Streams()[h] = stream;
    return Format(":%llX", static_cast<unsigned long long>(h));
}

void UnregisterMemoryStream(const std::string& name) {
    uint64_t h;
    if (!ParseHandle(name, h)) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    Streams().erase(h);
}

bool IsMemoryStreamName(const std::string& name) {
    uint64_t h;
    return ParseHandle(name, h);
}

TMemoryStream* LookupMemoryStream(const std::string& name) {
    uint64_t h;
    if (!ParseHandle(name, h)) return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = Streams().find(h);
    return it == Streams().end() ? nullptr : it->second;
}

}  // namespace tarn

#include "tarndb/journal.h"

#include <cstring>

#include "dataproc/hash_checksum.h"
#include "platform/bytes.h"

namespace tarn::journal {

namespace b = tarn::bytes;

namespace {
constexpr char kMagic[8] = {'T', 'a', 'r', 'n', 'J', 'r', 'n', 'l'};

uint32_t Crc(uint32_t reg, const uint8_t* data, size_t size) {
    return THash_CRC32::UpdateRegister(reg, data, size);
}

uint32_t RecordCrc(uint32_t salt, const uint8_t* record, size_t size) {
    uint8_t s[4];
    b::PutU32(s, 0, salt);
    return ~Crc(Crc(0xFFFFFFFFu, s, sizeof s), record, size);
}

bool PowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }
}  // namespace

std::string JournalPath(const std::string& databasePath) { return databasePath + "-journal"; }

void AppendHeader(std::vector<uint8_t>& out, const Header& header) {
    size_t at = out.size();
    out.resize(at + kHeaderSize);
    std::span<uint8_t> h(out.data() + at, kHeaderSize);
    std::memcpy(h.data(), kMagic, sizeof kMagic);
    b::PutU32(h, 8, kVersion);
    b::PutU32(h, 12, header.pageSize);
    b::PutI64(h, 16, header.originalLength);
    b::PutU32(h, 24, header.salt);
    b::PutU32(h, 28, ~Crc(0xFFFFFFFFu, h.data(), 28));
}

void AppendRecord(std::vector<uint8_t>& out, uint32_t salt, int64_t offset,
                  std::span<const uint8_t> bytes) {
    size_t at = out.size();
    out.resize(at + kRecordOverhead + bytes.size());
    std::span<uint8_t> r(out.data() + at, kRecordOverhead + bytes.size());
    b::PutI64(r, 0, offset);
    b::PutU32(r, 8, static_cast<uint32_t>(bytes.size()));
    if (!bytes.empty()) std::memcpy(r.data() + 12, bytes.data(), bytes.size());
    b::PutU32(r, 12 + bytes.size(), RecordCrc(salt, r.data(), 12 + bytes.size()));
}

Contents Decode(std::span<const uint8_t> bytes) {
    Contents c;
    if (bytes.size() < kHeaderSize) {
        c.why = "the header is incomplete";
        return c;
    }
    std::span<const uint8_t> h = bytes.first(kHeaderSize);
    if (std::memcmp(h.data(), kMagic, sizeof kMagic) != 0) {
        c.why = "no journal magic";
        return c;
    }
    if (b::GetU32(h, 28) != ~Crc(0xFFFFFFFFu, h.data(), 28)) {
        c.why = "the header checksum does not match";
        return c;
    }
    if (b::GetU32(h, 8) != kVersion) {
        c.why = "unknown journal version";
        return c;
    }
    c.header.pageSize = b::GetU32(h, 12);
    c.header.originalLength = b::GetI64(h, 16);
    c.header.salt = b::GetU32(h, 24);
    if (!PowerOfTwo(c.header.pageSize) || c.header.pageSize < kMinPageSize ||
        c.header.pageSize > kMaxPageSize) {
        c.why = "page size out of range";
        return c;
    }
    if (c.header.originalLength < 0 || c.header.originalLength > INT32_MAX) {
        c.why = "original length out of range";
        return c;
    }
    c.valid = true;
    size_t at = kHeaderSize;
    while (at < bytes.size()) {
        size_t left = bytes.size() - at;
        if (left < kRecordOverhead) {
            c.torn = true;
            break;
        }
        std::span<const uint8_t> r = bytes.subspan(at);
        int64_t offset = b::GetI64(r, 0);
        uint32_t count = b::GetU32(r, 8);
        if (count == 0 || count > c.header.pageSize || left - kRecordOverhead < count ||
            offset < 0 || offset % c.header.pageSize != 0 ||
            offset > c.header.originalLength - static_cast<int64_t>(count) ||
            b::GetU32(r, 12 + count) != RecordCrc(c.header.salt, r.data(), 12 + count)) {
            c.torn = true;
            break;
        }
        c.pages.push_back({offset, std::vector<uint8_t>(r.data() + 12, r.data() + 12 + count)});
        at += kRecordOverhead + count;
    }
    return c;
}

}  // namespace tarn::journal

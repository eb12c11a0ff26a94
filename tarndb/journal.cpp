#include "tarndb/journal.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "dataproc/hash_checksum.h"
#include "platform/bytes.h"
#include "platform/os/env.h"
#include "tarndb/file_format.h"

namespace tarn::journal {

namespace b = tarn::bytes;

namespace {
constexpr char kMagic[8] = {'T', 'a', 'r', 'n', 'J', 'r', 'n', 'l'};
// The parts of a table header that identify the state (see journal.h).
constexpr size_t kHeaderLead = format::kHdrFields;  // name .. field count: 49 bytes
constexpr size_t kHeaderTail = 16;                  // the change count and the move mark

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

std::string JournalPath(const std::string& databasePath) {
    return CurrentEnv()->RealPath(databasePath) + "-journal";
}

void AppendHeader(std::vector<uint8_t>& out, const Header& header) {
    const bool old = header.version == kOldVersion;
    const size_t size = old ? kOldHeaderSize : kHeaderSize;
    size_t at = out.size();
    out.resize(at + size);
    std::span<uint8_t> h(out.data() + at, size);
    std::memcpy(h.data(), kMagic, sizeof kMagic);
    b::PutU32(h, 8, old ? kOldVersion : kVersion);
    b::PutU32(h, 12, header.pageSize);
    b::PutI64(h, 16, header.originalLength);
    b::PutU32(h, 24, header.salt);
    if (!old) {
        b::PutU32(h, 28, header.stateChecksum);
        b::PutU32(h, 32, header.previousStamp);
    }
    b::PutU32(h, size - 4, ~Crc(0xFFFFFFFFu, h.data(), size - 4));
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
    if (bytes.size() < 12) {
        c.why = "the header is incomplete";
        return c;
    }
    if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        c.why = "no journal magic";
        return c;
    }
    // The version picks the header's layout; the header's checksum then vouches for it.
    const uint32_t version = b::GetU32(bytes, 8);
    if (version != kVersion && version != kOldVersion) {
        if (version > kVersion && version < 0x10000) {
            c.newer = true;
            c.why = "it was written by a later release (journal format version " +
                    std::to_string(version) + ")";
        } else {
            c.why = "unknown journal version";
        }
        return c;
    }
    const size_t headerSize = version == kOldVersion ? kOldHeaderSize : kHeaderSize;
    if (bytes.size() < headerSize) {
        c.why = "the header is incomplete";
        return c;
    }
    std::span<const uint8_t> h = bytes.first(headerSize);
    if (b::GetU32(h, headerSize - 4) != ~Crc(0xFFFFFFFFu, h.data(), headerSize - 4)) {
        c.why = "the header checksum does not match";
        return c;
    }
    c.header.version = version;
    c.header.pageSize = b::GetU32(h, 12);
    c.header.originalLength = b::GetI64(h, 16);
    c.header.salt = b::GetU32(h, 24);
    if (version != kOldVersion) {
        c.header.stateChecksum = b::GetU32(h, 28);
        c.header.previousStamp = b::GetU32(h, 32);
    }
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
    size_t at = headerSize;
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

uint32_t StateChecksum(int64_t length, const StateReader& read) {
    using namespace tarn::format;
    uint32_t reg = 0xFFFFFFFFu;
    const size_t headLength = static_cast<size_t>(std::clamp<int64_t>(length, 0, kFirstFreeOffset));
    std::vector<uint8_t> head(headLength);
    if (headLength > 0) read(0, headLength, head.data());
    // The stamp is left out: it is what a journal changes first.
    if (headLength >= static_cast<size_t>(kStampOffset) + kStampSize)
        std::fill_n(head.begin() + kStampOffset, kStampSize, uint8_t{0});
    reg = Crc(reg, head.data(), head.size());
    if (headLength < static_cast<size_t>(kDirOffset + kDirSize)) return ~reg;
    std::span<const uint8_t> dir(head.data() + kDirOffset, static_cast<size_t>(kDirSize));
    const int32_t count = b::GetI32(dir, 0);
    if (count < 0 || count > kMaxTables) return ~reg;
    uint8_t lead[kHeaderLead], tail[kHeaderTail];
    for (int t = 0; t < count; ++t) {
        const int64_t at = b::GetI32(dir, TableDirectory::EntryPosition(t));
        if (at < kFirstFreeOffset || at > length - kTableHeaderSize) continue;
        read(at, sizeof lead, lead);
        read(at + kTableHeaderSize - static_cast<int64_t>(sizeof tail), sizeof tail, tail);
        reg = Crc(reg, lead, sizeof lead);
        reg = Crc(reg, tail, sizeof tail);
    }
    return ~reg;
}

uint32_t PlayedBackStateChecksum(const Contents& journal, const StateReader& readFile) {
    // The first record of a page holds what the file held there at the start (later ones,
    // which the engine does not write, could only repeat or follow it).
    std::map<int64_t, const SavedPage*> saved;
    for (const SavedPage& page : journal.pages) saved.emplace(page.offset, &page);
    const int64_t pageSize = journal.header.pageSize;
    return StateChecksum(
        journal.header.originalLength, [&](int64_t offset, size_t count, uint8_t* out) {
            readFile(offset, count, out);
            const int64_t end = offset + static_cast<int64_t>(count);
            for (int64_t p = offset / pageSize * pageSize; p < end; p += pageSize) {
                auto it = saved.find(p);
                if (it == saved.end()) continue;
                const std::vector<uint8_t>& bytes = it->second->bytes;
                const int64_t from = std::max(offset, p);
                const int64_t to = std::min(end, p + static_cast<int64_t>(bytes.size()));
                if (from < to)
                    std::memcpy(out + (from - offset), bytes.data() + (from - p),
                                static_cast<size_t>(to - from));
            }
        });
}

std::string Mismatch(const Contents& journal, int64_t fileLength, const StateReader& readFile) {
    const Header& h = journal.header;
    if (fileLength < h.originalLength)
        return "the file is " + std::to_string(fileLength) + " bytes long, shorter than the " +
               std::to_string(h.originalLength) + " bytes it had when the journal began";
    if (h.version == kOldVersion) return "";  // no stamp, no state checksum
    const char* other =
        "the file's head and table headers are not those the journal began from: it is "
        "another database, or a copy of this one from before or after the journal";
    uint32_t now = h.previousStamp;
    if (h.originalLength >= kStampOffset + static_cast<int64_t>(kStampSize)) {
        uint8_t stamp[kStampSize];
        readFile(kStampOffset, kStampSize, stamp);
        now = b::GetU32(stamp, 0);
    }
    if (now != h.salt && now != h.previousStamp)
        return "the file was last stamped by another journal: it is another database, or a "
               "copy of this one from before or after the journal";
    if (now != h.salt && h.previousStamp == 0) {
        // A file never stamped before, and not stamped by this journal yet: as the stamp is
        // the first overwrite (and made durable before the next with SyncCommit), and page 0
        // the last page a playback writes back, nothing below the original length differs
        // from the state the journal began from.
        if (StateChecksum(h.originalLength, readFile) != h.stateChecksum) return other;
        return "";
    }
    if (PlayedBackStateChecksum(journal, readFile) != h.stateChecksum) return other;
    return "";
}

}  // namespace tarn::journal

// Throughput of the data-processing code against its peers, measured in one process on the
// same buffers:
//   sha0           THash_SHA over 64 MiB (no peer: no library offers SHA-0)
//   crc32          THash_CRC32 over 64 MiB; peer: zlib's crc32()
//   compress_zlib  TCompAlgo_Zlib::EncodeStream over row-sized (~100 bytes) and 4 KiB
//                  mixed-content values, a few MiB in all; peer: zlib compress2() at the
//                  default level on the same values
// Each figure is the median of 5 runs, in MB/s (10^6 bytes of input per second). Prints
//   BENCH <name> mb_s=<ours> peer_mb_s=<peer> ratio=<ours/peer>
// --quick uses an eighth of the data.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dataproc/compress_zlib.h"
#include "dataproc/hash_checksum.h"
#include "dataproc/hash_sha.h"
#include "tarndb/stream.h"

namespace {

constexpr int kRuns = 5;
volatile uint32_t g_sink = 0;  // keeps results alive so no work is optimised away

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(end - start).count();
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Median times of our workload and the peer's, their runs interleaved so that both see the
// same load on a shared machine.
std::pair<double, double> MedianSeconds(const std::function<void()>& ours,
                                        const std::function<void()>& peer) {
    std::vector<double> a, b;
    for (int i = 0; i < kRuns; ++i) {
        a.push_back(Seconds(ours));
        if (peer) b.push_back(Seconds(peer));
    }
    return {Median(a), b.empty() ? 0.0 : Median(b)};
}

double MBps(size_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0;
}

void Print(const char* name, double ours, double peer) {
    if (peer > 0) {
        std::printf("BENCH %s mb_s=%.1f peer_mb_s=%.1f ratio=%.2f\n", name, ours, peer,
                    ours / peer);
    } else {
        std::printf("BENCH %s mb_s=%.1f peer_mb_s=0 ratio=0\n", name, ours);
    }
    std::fflush(stdout);
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        out[i] = static_cast<uint8_t>(seed);
    }
    return out;
}

// Values shaped like table rows (~100 bytes of fields) and 4 KiB blobs mixing text and
// binary runs.
std::vector<std::string> MakeValues(size_t rows, size_t blobs) {
    static const char* kCities[] = {"Berlin", "Hamburg", "Lyon", "Osaka", "Porto", "Quito"};
    static const char* kWords[] = {"version", "backup", "document", "report", "draft",
                                   "final",   "review", "summary",  "notes",  "budget"};
    std::vector<std::string> values;
    uint32_t seed = 2463534242u;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return seed;
    };
    char line[160];
    for (size_t i = 0; i < rows; ++i) {
        std::snprintf(line, sizeof line,
                      "%zu|Customer %u|%s|2024-%02u-%02u %02u:%02u:%02u|%u.%02u|%s %s %s", i,
                      next() % 100000, kCities[next() % 6], next() % 12 + 1, next() % 28 + 1,
                      next() % 24, next() % 60, next() % 60, next() % 100000, next() % 100,
                      kWords[next() % 10], kWords[next() % 10], kWords[next() % 10]);
        values.emplace_back(line);
    }
    for (size_t i = 0; i < blobs; ++i) {
        std::string blob;
        while (blob.size() < 4096) {
            if (next() % 4 == 0) {
                for (int k = 0; k < 64; ++k) blob.push_back(static_cast<char>(next()));
            } else {
                blob += kWords[next() % 10];
                blob += ' ';
                blob += std::to_string(next() % 1000);
                blob += (next() % 8 == 0) ? ".\n" : " ";
            }
        }
        blob.resize(4096);
        values.push_back(std::move(blob));
    }
    return values;
}

void BenchSha0(size_t size) {
    const std::vector<uint8_t> data = RandomBytes(size, 0x9E3779B9u);
    const auto [t, p] = MedianSeconds(
        [&] {
            tarn::THash_SHA sha;
            sha.Start();
            sha.Update(data.data(), static_cast<int64_t>(data.size()));
            sha.Finish();
            g_sink = g_sink + sha.Digest()[0];
        },
        nullptr);
    (void)p;
    Print("sha0", MBps(size, t), 0);
}

void BenchCrc32(size_t size) {
    const std::vector<uint8_t> data = RandomBytes(size, 0x85EBCA6Bu);
    uint32_t ours = 0, theirs = 0;
    const auto [t, p] = MedianSeconds(
        [&] {
            tarn::THash_CRC32 crc;
            crc.Start();
            crc.Update(data.data(), static_cast<int64_t>(data.size()));
            crc.Finish();
            ours = crc.Checksum();
        },
        [&] {
            // zlib's length is a uInt: feed it in pieces that fit.
            uLong c = crc32(0L, Z_NULL, 0);
            for (size_t off = 0; off < data.size(); off += size_t{1} << 30) {
                const size_t n = std::min(data.size() - off, size_t{1} << 30);
                c = crc32(c, data.data() + off, static_cast<uInt>(n));
            }
            theirs = static_cast<uint32_t>(c);
        });
    if (ours != theirs) {
        std::fprintf(stderr, "crc32 mismatch: %08x versus zlib %08x\n", ours, theirs);
    }
    g_sink = g_sink + ours;
    Print("crc32", MBps(size, t), MBps(size, p));
}

void BenchCompress(size_t rows, size_t blobs) {
    const std::vector<std::string> values = MakeValues(rows, blobs);
    size_t total = 0;
    size_t maxSize = 0;
    for (const auto& v : values) {
        total += v.size();
        maxSize = std::max(maxSize, v.size());
    }
    std::vector<tarn::TMemoryStream> sources;
    sources.reserve(values.size());
    for (const auto& v : values) sources.emplace_back(v);

    tarn::TCompAlgo_Zlib zlibModule(nullptr);
    tarn::TMemoryStream dest;
    std::vector<uint8_t> out(compressBound(static_cast<uLong>(maxSize)));
    const auto [t, p] = MedianSeconds(
        [&] {
            for (auto& s : sources) {
                zlibModule.EncodeStream(&s, &dest, -1);
                g_sink = g_sink + static_cast<uint32_t>(dest.Size());
            }
        },
        [&] {
            for (const auto& v : values) {
                uLongf outLen = static_cast<uLongf>(out.size());
                compress2(out.data(), &outLen, reinterpret_cast<const Bytef*>(v.data()),
                          static_cast<uLong>(v.size()), Z_DEFAULT_COMPRESSION);
                g_sink = g_sink + static_cast<uint32_t>(outLen);
            }
        });
    Print("compress_zlib", MBps(total, t), MBps(total, p));
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) quick = true;
    }
    const size_t hashBytes = (quick ? 8u : 64u) << 20;
    BenchSha0(hashBytes);
    BenchCrc32(hashBytes);
    // About 2 MB of rows and 2 MB of 4 KiB blobs (an eighth with --quick).
    BenchCompress(quick ? 2500 : 20000, quick ? 64 : 512);
    return 0;
}

// Throughput of the three database ciphers in mode 0 (chXorFeedback), the mode stored
// values use by default: one EncodeBuffer call over 64 MiB (8 MiB with --quick), keyed
// from a password as the engine keys them. Prints the median of five runs per cipher as
//   BENCH cipher_<name> mb_s=<MB/s>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "dataproc/enc_blowfish.h"
#include "dataproc/enc_gost.h"
#include "dataproc/enc_twofish.h"

namespace {

using Clock = std::chrono::steady_clock;

double MedianMbPerSecond(tarn::TEncrypt& cipher, std::vector<uint8_t>& data) {
    std::vector<double> rates;
    for (int run = 0; run < 5; ++run) {
        cipher.ResetFeedback();
        const auto start = Clock::now();
        cipher.EncodeBuffer(data.data(), data.data(), static_cast<int32_t>(data.size()));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        rates.push_back(static_cast<double>(data.size()) / 1e6 / seconds);
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else {
            std::fprintf(stderr, "usage: %s [--quick]\n", argv[0]);
            return 2;
        }
    }
    const size_t size = (quick ? 8u : 64u) << 20;
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 131 + (i >> 9));

    struct Entry {
        const char* name;
        std::unique_ptr<tarn::TEncrypt> cipher;
    };
    Entry entries[] = {{"blowfish", std::make_unique<tarn::TEnc_Blowfish>()},
                       {"twofish", std::make_unique<tarn::TEnc_Twofish>()},
                       {"gost", std::make_unique<tarn::TEnc_Gost>()}};
    for (auto& entry : entries) {
        entry.cipher->SetMode(tarn::chXorFeedback);
        entry.cipher->InitKey("benchmark password");
        std::printf("BENCH cipher_%s mb_s=%.1f\n", entry.name,
                    MedianMbPerSecond(*entry.cipher, data));
        std::fflush(stdout);
    }
    return 0;
}

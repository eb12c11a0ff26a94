#include "dataproc/data_process_algo.h"

#include <algorithm>
#include <vector>

#include "dataproc/hash_words.h"

namespace tarn {

void TDataProcessAlgo::DoEncodeProgress(int percent) {
    if (OnEncodeProgress) OnEncodeProgress(owner_, percent);
}

void TDataProcessAlgo::DoDecodeProgress(int percent) {
    if (OnDecodeProgress) OnDecodeProgress(owner_, percent);
}

void TEncryptAlgo::EncodeStream(TStream* source, TStream* dest, int64_t dataSize) {
    ProcessStream(source, dest, dataSize, true);
}

void TEncryptAlgo::DecodeStream(TStream* source, TStream* dest, int64_t dataSize) {
    ProcessStream(source, dest, dataSize, false);
}

void TEncryptAlgo::ProcessStream(TStream* source, TStream* dest, int64_t dataSize, bool encode) {
    if (source == nullptr) return;
    if (dest == nullptr) dest = source;
    if (dataSize < 0) {
        dataSize = source->Size();
        source->SetPosition(0);
    }
    auto report = [&](int64_t done, int64_t total) {
        const int percent = ProgressPercent(done, total);
        if (encode) {
            DoEncodeProgress(percent);
        } else {
            DoDecodeProgress(percent);
        }
    };

    std::vector<uint8_t> work;
    try {
        report(0, dataSize);
        work.assign(kStreamChunkSize, 0);
        int64_t readPos = source->Position();
        int64_t writePos = dest->Position();
        int64_t remaining = dataSize;
        // Separate read and write positions let source and dest be one stream.
        while (remaining > 0) {
            source->SetPosition(readPos);
            const size_t want = static_cast<size_t>(std::min<int64_t>(remaining, kStreamChunkSize));
            const size_t n = source->Read(work.data(), want);
            readPos = source->Position();
            if (n == 0) break;
            if (encode) {
                EncodeBuffer(work.data(), work.data(), static_cast<int32_t>(n));
            } else {
                DecodeBuffer(work.data(), work.data(), static_cast<int32_t>(n));
            }
            dest->SetPosition(writePos);
            dest->WriteBuffer(work.data(), n);
            writePos = dest->Position();
            remaining -= static_cast<int64_t>(n);
            report(dataSize - remaining, dataSize);
        }
    } catch (...) {
        if (!work.empty()) hashing::SecureZero(work.data(), work.size());
        try {
            report(0, 0);
        } catch (...) {
            // The first error is the one the caller must see.
        }
        throw;
    }
    if (!work.empty()) hashing::SecureZero(work.data(), work.size());
    report(0, 0);
}

}  // namespace tarn

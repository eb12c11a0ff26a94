// Test doubles for the module framework (header only, used by the dataproc tests).
//
// TTestCipher: a byte-wise cipher with chaining state, so that splitting the data across
// calls changes nothing while forgetting ResetFeedback does. Each byte: out = in ^ key ^ F,
// then F takes the ciphertext byte. Unkeyed it fails like the real ciphers (code 3).
// It counts the ResetFeedback calls and can be told to fail on its next buffer call.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dataproc/data_process_algo.h"
#include "dataproc/data_process_mgr.h"
#include "tarndb/errors.h"

namespace tarn::testing {

class TTestCipher : public TEncryptAlgo {
public:
    using TEncryptAlgo::TEncryptAlgo;

    void SetEncryptMode(uint8_t mode) override { mode_ = mode; }
    uint8_t GetEncryptMode() const override { return mode_; }
    void InitKey(std::string_view key) override {
        key_ = 0x5A;
        for (char c : key) key_ = static_cast<uint8_t>(key_ * 31 + static_cast<uint8_t>(c));
        keyed_ = true;
        feedback_ = kInitialVector;
    }
    void ResetFeedback() override {
        ++resets;
        feedback_ = kInitialVector;
    }
    void EncodeBuffer(const void* source, void* dest, int32_t size) override {
        Transform(source, dest, size, true);
    }
    void DecodeBuffer(const void* source, void* dest, int32_t size) override {
        Transform(source, dest, size, false);
    }

    bool Keyed() const { return keyed_; }
    uint8_t Feedback() const { return feedback_; }

    int resets = 0;
    bool failNext = false;

    static constexpr uint8_t kInitialVector = 0xC3;

private:
    void Transform(const void* source, void* dest, int32_t size, bool encode) {
        if (!keyed_) {
            throw EEncryptException(
                "TTestCipher is not initialized call Init() or InitKey() before.", 3);
        }
        if (failNext) {
            failNext = false;
            throw EEncryptException("test failure", 99);
        }
        const uint8_t* in = static_cast<const uint8_t*>(source);
        uint8_t* out = static_cast<uint8_t*>(dest);
        for (int32_t i = 0; i < size; ++i) {
            const uint8_t c = in[i];
            const uint8_t r = static_cast<uint8_t>(c ^ key_ ^ feedback_);
            out[i] = r;
            feedback_ = encode ? r : c;
        }
    }

    uint8_t mode_ = 0;
    uint8_t key_ = 0;
    bool keyed_ = false;
    uint8_t feedback_ = kInitialVector;
};

// A second cipher class, to tell class identity from name identity.
class TOtherTestCipher : public TTestCipher {
public:
    using TTestCipher::TTestCipher;
};

// An owner that records every forwarded progress report.
class TRecordingOwner : public TDataProcessOwner {
public:
    struct Report {
        std::string kind;
        int percent;
        bool operator==(const Report&) const = default;
    };
    void OnCompressProgress(int p) override { reports.push_back({"compress", p}); }
    void OnUncompressProgress(int p) override { reports.push_back({"uncompress", p}); }
    void OnEncryptProgress(int p) override { reports.push_back({"encrypt", p}); }
    void OnDecryptProgress(int p) override { reports.push_back({"decrypt", p}); }

    std::vector<int> Percents(const std::string& kind) const {
        std::vector<int> out;
        for (const auto& r : reports) {
            if (r.kind == kind) out.push_back(r.percent);
        }
        return out;
    }

    std::vector<Report> reports;
};

}  // namespace tarn::testing

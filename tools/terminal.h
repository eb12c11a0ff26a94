// The terminal side of the tool: reading a password without echo, and the progress bar
// that long work (import, check, dumping a large table) draws on standard error when it is
// a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tarn::cli {

// Reads a password from the controlling terminal (/dev/tty) with echo switched off (the
// terminal's settings are restored, also when reading fails). With `confirm` the password
// is asked twice. Returns false when there is no terminal or on end of input; raises
// EToolError "the two passwords differ; ..." when the two entries differ.
bool ReadPasswordFromTerminal(const std::string& prompt, bool confirm, std::string& password);

// A one-line progress bar: "label [#####.....]  45%", redrawn in place only when the
// percentage changes; Finish() clears the line. Draws nothing when `enabled` is false.
class TProgressBar {
public:
    TProgressBar(FILE* out, bool enabled, std::string label, int64_t total);
    ~TProgressBar() { Finish(); }
    TProgressBar(const TProgressBar&) = delete;
    TProgressBar& operator=(const TProgressBar&) = delete;

    void Update(int64_t done);
    void Finish();

private:
    FILE* out_;
    bool enabled_;
    std::string label_;
    int64_t total_;
    int shown_ = -1;
};

}  // namespace tarn::cli

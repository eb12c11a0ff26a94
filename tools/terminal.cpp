#include "tools/terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "tools/cli_common.h"

namespace tarn::cli {

namespace {

// Reads one line from `fd` with echo off; false at end of input before a newline.
bool ReadHiddenLine(int fd, const std::string& prompt, std::string& line) {
    termios saved{};
    bool restore = ::tcgetattr(fd, &saved) == 0;
    if (restore) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    // The prompt comes once echo is off and earlier typing is flushed: what is typed after
    // it is neither shown nor thrown away.
    (void)!::write(fd, prompt.data(), prompt.size());
    line.clear();
    bool ok = false;
    for (;;) {
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) break;
        if (c == '\n') {
            ok = true;
            break;
        }
        if (c != '\r') line.push_back(c);
    }
    if (restore) ::tcsetattr(fd, TCSAFLUSH, &saved);
    return ok;
}

}  // namespace

bool ReadPasswordFromTerminal(const std::string& prompt, bool confirm, std::string& password) {
    int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ReadHiddenLine(fd, prompt, password);
    if (ok && confirm) {
        std::string again;
        ok = ReadHiddenLine(fd, "Repeat the password: ", again);
        const bool differ = ok && again != password;
        std::fill(again.begin(), again.end(), '\0');
        if (differ) {
            // Said as what it is: not as a missing password, which would send the user to
            // TARNDB_PASSWORD.
            ::close(fd);
            std::fill(password.begin(), password.end(), '\0');
            throw EToolError("the two passwords differ; nothing was done");
        }
    }
    ::close(fd);
    if (!ok) std::fill(password.begin(), password.end(), '\0');
    return ok;
}

TProgressBar::TProgressBar(FILE* out, bool enabled, std::string label, int64_t total)
    : out_(out), enabled_(enabled && total > 0), label_(std::move(label)), total_(total) {}

void TProgressBar::Update(int64_t done) {
    if (!enabled_) return;
    if (done < 0) done = 0;
    if (done > total_) done = total_;
    int percent = static_cast<int>(done * 100 / total_);
    if (percent == shown_) return;
    shown_ = percent;
    constexpr int kWidth = 30;
    int filled = percent * kWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '.');
    std::fprintf(out_, "\r%s [%s] %3d%%", label_.c_str(), bar.c_str(), percent);
    std::fflush(out_);
}

void TProgressBar::Finish() {
    if (!enabled_ || shown_ < 0) return;
    // Clear the line so that what follows starts clean.
    std::fprintf(out_, "\r%*s\r", static_cast<int>(label_.size()) + 40, "");
    std::fflush(out_);
    shown_ = -1;
}

}  // namespace tarn::cli

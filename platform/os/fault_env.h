// A fault-injecting Env for tests: counts the writes made through every file it opened
// (truncations and file removals count as writes too) and
// can fail the Nth write (once or for good, with a chosen errno), make it short, refuse
// byte locks, or "crash" after N writes (the write that would be N + 1 and every later one
// fail without touching the file, as if the process had died there).
//
// Replay a scenario at every fault point: run it once to count its writes, then for each N
// run it again with CrashAfterWrites(N) and check what the file holds afterwards.
#pragma once

#include <atomic>
#include <cerrno>
#include <memory>
#include <string>

#include "platform/os/env.h"

namespace tarn {

class FaultEnv : public EnvWrapper {
public:
    explicit FaultEnv(Env* target = Env::Default()) : EnvWrapper(target) {}

    // Writes counted so far (each WriteAt call counts one).
    long Writes() const { return writes_.load(); }
    void ResetCounters() { writes_ = 0; }

    // The write numbered `n` (1-based, counted from now) raises EInOutError with `err`;
    // with `sticky` every later write fails too.
    void FailWrite(long n, int err = EIO, bool sticky = false);
    // The write numbered `n` writes only its first half, then raises EInOutError.
    void ShortWrite(long n);
    // Writes after the first `n` (from now) are lost: they raise EInOutError and leave the
    // file untouched. The process "died" after write n.
    void CrashAfterWrites(long n);
    // Byte locks are refused while set.
    void RefuseLocks(bool refuse) { refuseLocks_ = refuse; }
    void Clear();

    std::unique_ptr<File> OpenFile(const std::string& path, OpenAccess access,
                                   OpenSharing sharing) override;
    std::unique_ptr<File> CreateFile(const std::string& path, OpenSharing sharing) override;
    // Removing a file counts as a write and meets the same faults.
    bool RemoveFile(const std::string& path) override;

    // Called by the wrapped files: decides the fate of the next write.
    enum class WriteFate { Normal, Fail, Short };
    WriteFate NextWrite(int& err);
    bool LocksRefused() const { return refuseLocks_.load(); }

private:
    std::unique_ptr<File> Wrap(std::unique_ptr<File> f);

    std::atomic<long> writes_{0};
    std::atomic<long> failAt_{0};
    std::atomic<int> failErr_{EIO};
    std::atomic<bool> failSticky_{false};
    std::atomic<long> shortAt_{0};
    std::atomic<long> crashAfter_{-1};
    std::atomic<bool> refuseLocks_{false};
};

}  // namespace tarn

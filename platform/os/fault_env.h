// A fault-injecting Env for tests: counts the writes made through every file it opened
// (truncations and file removals count as writes too) and
// can fail the Nth write (once or for good, with a chosen errno), make it short, refuse
// byte locks, or "crash" after N writes (the write that would be N + 1 and every later one
// fail without touching the file, as if the process had died there).
//
// Replay a scenario at every fault point: run it once to count its writes, then for each N
// run it again with CrashAfterWrites(N) and check what the file holds afterwards.
//
// Power cuts. A crash of the process keeps every write the system was given; a power cut
// keeps only what was made durable. CutPowerAfterWrites(N) stops the machine at the same
// point a crash would (write N + 1 and everything after it fail, and so do file creations,
// syncs and directory syncs), and from the moment it is called it records, for every file
// reached through this Env:
//   - per file, its content at its last File::Sync (a file that existed when it was first
//     reached counts as synced as it was then), and which 512-byte sectors were written or
//     cut since (a truncation is an unsynced change like a write);
//   - per directory entry (by full path), what the entry held when the directory was last
//     synced with SyncDirectoryOf: a file created since then has no durable entry yet, a
//     file removed since then still has one (and its synced content is kept for it).
// ApplyPowerCut() then rewrites the real files to what a disk would hold after the cut:
// every path whose durable entry names a file gets that file's synced content, every other
// path is removed. With a tear seed, each unsynced sector independently survives or not
// (a seeded choice), and a changed length is either the old or the new one; a kept sector
// past the end of what was written reads as zeros. Without one, nothing unsynced survives.
// Call ApplyPowerCut only after everything the scenario opened is closed (the "dead"
// program must not touch the files afterwards); it ends the mode and clears the faults.
// While the mode is on, File::Sync and SyncDirectoryOf only record: they do not reach the
// disk, whose real content ApplyPowerCut replaces anyway. Files are told apart by their
// full path (no symbolic-link resolution); renames are not part of this Env.
//
// A folder the user may not write: SetFoldersWritable(false) makes DirectoryWritable answer
// false and makes the creation and removal of files fail with EACCES, as the system does
// in a folder without write permission (tests run as root, which ignores the modes).
//
// Thread-safety: as any Env; the counters and the records are safe to use from the threads
// that use the files.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

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
    // Clears every fault (not the power-cut records: see ApplyPowerCut).
    void Clear();

    // Power cuts (see the header comment): the machine stops after write `n` from now;
    // from now on what is synced is recorded. `tearSeed` chooses which unsynced sectors
    // survive the cut; without it none does.
    void CutPowerAfterWrites(long n, std::optional<uint32_t> tearSeed = std::nullopt);
    // True once the cut happened (a write past `n` was refused).
    bool PowerWentOff() const { return crashed_.load() && powerMode_.load(); }
    // Rewrites the real files to what survives the cut, ends the mode, clears the faults.
    // Raises EInOutError / EFOpenError when the real files cannot be rewritten.
    void ApplyPowerCut();

    // While false, the folders of all files count as not writable for this user.
    void SetFoldersWritable(bool writable) { foldersWritable_ = writable; }

    std::unique_ptr<File> OpenFile(const std::string& path, OpenAccess access,
                                   OpenSharing sharing) override;
    std::unique_ptr<File> CreateFile(const std::string& path, OpenSharing sharing) override;
    // Removing a file counts as a write and meets the same faults.
    bool RemoveFile(const std::string& path) override;
    void SyncDirectoryOf(const std::string& path) override;
    bool DirectoryWritable(const std::string& path) override;

    // Called by the wrapped files: decides the fate of the next write.
    enum class WriteFate { Normal, Fail, Short };
    WriteFate NextWrite(int& err);
    bool LocksRefused() const { return refuseLocks_.load(); }

    // The power-cut records of one file (an inode: it outlives its name when removed).
    struct Tracked {
        std::vector<uint8_t> current;  // what the file holds now
        std::vector<uint8_t> synced;   // what it held at its last sync
        std::set<int64_t> dirty;       // 512-byte sectors changed since then
    };
    static constexpr int64_t kSectorSize = 512;
    // Called by the wrapped files while the mode is on.
    bool Recording() const { return powerMode_.load() && !crashed_.load(); }
    std::shared_ptr<Tracked> Track(const std::string& path, File& inner);
    void Recorded(Tracked& file, int64_t offset, const void* buffer, size_t count);
    void RecordedTruncate(Tracked& file, int64_t length);
    void RecordedSync(Tracked& file);
    // Raises the power-cut error when the machine is off (for syncs and creations).
    void ThrowIfPowerOff(const char* what, const std::string& path) const;

private:
    std::unique_ptr<File> Wrap(std::unique_ptr<File> f, std::shared_ptr<Tracked> tracked);
    std::string Key(const std::string& path) { return Target()->FullPath(path); }

    std::atomic<long> writes_{0};
    std::atomic<long> failAt_{0};
    std::atomic<int> failErr_{EIO};
    std::atomic<bool> failSticky_{false};
    std::atomic<long> shortAt_{0};
    std::atomic<long> crashAfter_{-1};
    std::atomic<bool> crashed_{false};
    std::atomic<bool> refuseLocks_{false};
    std::atomic<bool> foldersWritable_{true};

    std::atomic<bool> powerMode_{false};
    std::mutex powerMutex_;
    std::optional<uint32_t> tearSeed_;
    // Directory entries by full path: now, and when their directory was last synced (a
    // null file: no entry). A path is in `durable_` from the moment it is first reached.
    std::map<std::string, std::shared_ptr<Tracked>> entries_, durable_;
};

}  // namespace tarn

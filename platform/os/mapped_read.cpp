// The SIGBUS guard of mapped reads: sigsetjmp before the copy, a thread-local note of the
// source range, siglongjmp from the handler when a fault lands in it. The jump only ever
// leaves memcpy / memcmp and this file's small frames, which hold nothing to destroy.
#include "platform/os/mapped_read.h"

#include <setjmp.h>
#include <signal.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace tarn {
namespace {

struct Guard {
    sigjmp_buf jump;
    uintptr_t from;  // the source range, widened to whole pages
    uintptr_t to;
};

// Initial-exec: reading it in the handler must not allocate (as a lazily allocated
// dynamic TLS block could).
thread_local std::atomic<Guard*> t_guard __attribute__((tls_model("initial-exec"))){nullptr};

struct sigaction g_previous;
std::atomic<bool> g_installed{false};
std::atomic<bool> g_guarded{false};
std::once_flag g_once;

constexpr uintptr_t kPage = 4096;

void OnBus(int sig, siginfo_t* info, void* context) {
    Guard* g = t_guard.load(std::memory_order_relaxed);
    const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
    if (g != nullptr && at >= g->from && at < g->to) siglongjmp(g->jump, 1);
    // Not a read of ours: whoever handled SIGBUS before us decides.
    if (g_previous.sa_flags & SA_SIGINFO) {
        if (g_previous.sa_sigaction != nullptr) {
            g_previous.sa_sigaction(sig, info, context);
            return;
        }
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(sig);
        return;
    } else if (g_previous.sa_handler == SIG_IGN && info->si_code <= 0) {
        return;  // sent by a program, and ignored before we came
    }
    // The default action: a fault ends the process when the instruction runs again, a
    // signal sent by a program when it is raised again on return.
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    if (info->si_code <= 0) raise(sig);
}

void Install() {
    std::call_once(g_once, [] {
        struct sigaction sa;
        std::memset(&sa, 0, sizeof sa);
        sa.sa_sigaction = OnBus;
        sigemptyset(&sa.sa_mask);
        // Not deferred: a jump out of the handler leaves no SIGBUS blocked behind it.
        sa.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
        // The handler before us is noted first: a fault on another thread in between finds
        // it there, not an empty record.
        sigaction(SIGBUS, nullptr, &g_previous);
        sigaction(SIGBUS, &sa, nullptr);
        // A sanitizer that keeps SIGBUS to itself (handle_sigbus=2) lets the call succeed
        // without installing anything: look.
        struct sigaction now;
        std::memset(&now, 0, sizeof now);
        sigaction(SIGBUS, nullptr, &now);
        g_guarded.store((now.sa_flags & SA_SIGINFO) != 0 && now.sa_sigaction == OnBus,
                        std::memory_order_relaxed);
        g_installed.store(true, std::memory_order_release);
    });
}

// Arms `g` over [source, source + count) of this thread; Disarm ends it.
inline void Arm(Guard& g, const uint8_t* source, size_t count) {
    const auto from = reinterpret_cast<uintptr_t>(source);
    g.from = from & ~(kPage - 1);
    g.to = (from + count + kPage - 1) & ~(kPage - 1);
    t_guard.store(&g, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

inline void Disarm() {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_guard.store(nullptr, std::memory_order_relaxed);
}

// After a jump: SA_NODEFER kept SIGBUS unblocked, unless a handler before us blocked it.
void AfterFault() {
    Disarm();
    sigset_t bus;
    sigemptyset(&bus);
    sigaddset(&bus, SIGBUS);
    pthread_sigmask(SIG_UNBLOCK, &bus, nullptr);
}

}  // namespace

bool MappedReadsGuarded() noexcept {
    if (!g_installed.load(std::memory_order_acquire)) Install();
    return g_guarded.load(std::memory_order_relaxed);
}

bool CopyFromMapping(void* dest, const uint8_t* mapped, size_t count) noexcept {
    if (count == 0) return true;
    if (!g_installed.load(std::memory_order_acquire)) Install();
    Guard g;
    if (sigsetjmp(g.jump, 0) != 0) {
        AfterFault();
        return false;
    }
    Arm(g, mapped, count);
    std::memcpy(dest, mapped, count);
    Disarm();
    return true;
}

TMappedCompare CompareWithMapping(const uint8_t* mapped, const void* bytes, size_t count) noexcept {
    if (count == 0) return TMappedCompare::Same;
    if (!g_installed.load(std::memory_order_acquire)) Install();
    Guard g;
    if (sigsetjmp(g.jump, 0) != 0) {
        AfterFault();
        return TMappedCompare::Gone;
    }
    Arm(g, mapped, count);
    const int c = std::memcmp(mapped, bytes, count);
    Disarm();
    return c == 0 ? TMappedCompare::Same : TMappedCompare::Differs;
}

}  // namespace tarn

// Copies and comparisons out of a shared file mapping that survive the file being cut short
// under it. A page of a mapping that lies wholly past the end of its file raises SIGBUS when
// touched, and another program (a copy over the file, a truncate) may cut a file at any
// moment. These calls arm a guard for the one copy or comparison they make: a SIGBUS whose
// address lies in the source range jumps back out of it, and the call reports that the bytes
// are gone instead of the process dying.
//
// The guard is a SIGBUS handler installed by the first call (SA_SIGINFO | SA_NODEFER |
// SA_ONSTACK) plus a per-thread note of the range being read. A SIGBUS that is not for an
// armed range of the faulting thread goes on to the handler that was installed before
// (a sanitizer's, for instance), or ends the process as the default action would. A program
// that later installs a handler of its own over ours loses the guard, not its own handling.
// Nothing is armed outside these calls, so the guard costs nothing between them and a few
// instructions (no system call) within.
//
// Thread-safety: every thread may call them; each arms its own guard.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarn {

// Whether the guard is in place. False when SIGBUS cannot be handled here (a sanitizer that
// keeps it to itself): the calls below then copy and compare unguarded, and callers should
// read with a system call instead where the file may have been cut.
bool MappedReadsGuarded() noexcept;

// Copies `count` bytes from `mapped` (inside a file mapping) to `dest`. False when part of
// the source lies past the end of the file: `dest` then holds an unspecified part of the
// bytes.
bool CopyFromMapping(void* dest, const uint8_t* mapped, size_t count) noexcept;

enum class TMappedCompare { Same, Differs, Gone };
// Compares `count` bytes at `mapped` with `bytes`; Gone when part of them lies past the end
// of the file.
TMappedCompare CompareWithMapping(const uint8_t* mapped, const void* bytes, size_t count) noexcept;

}  // namespace tarn

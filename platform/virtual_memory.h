// Address space and memory from the system's virtual-memory calls (VirtualAlloc and VirtualFree
// on Windows, mmap, mprotect and munmap elsewhere). Portable interface; the backends are
// virtual_memory_win.cpp and virtual_memory_posix.cpp. Any thread.
#pragma once

#include <cstddef>

// Reserves size bytes of address space with no access and nothing committed. Null on failure.
// The caller frees it with ReleaseMemory.
[[nodiscard]] void* ReserveMemory(std::size_t size);

// Commits size bytes at address, inside a reservation, as zero-filled read/write memory.
[[nodiscard]] bool CommitMemory(void* address, std::size_t size);

// Reserves and commits size read/write bytes at once (the block a host hands to a document).
// Null on failure or for size 0. The caller frees it with ReleaseMemory.
[[nodiscard]] void* AllocateMemory(std::size_t size);

// Frees a whole reservation or allocation by its base address. Null is ignored, and so is an
// address that no call above returned (the POSIX backend keeps a table of what it handed out).
void ReleaseMemory(void* base);

// Tests make commits fail with this: while a gate is set, CommitMemory and AllocateMemory ask it
// first and fail without touching memory when it returns false. Null removes the gate.
using CommitGate = bool (*)(std::size_t size);
void SetCommitGate(CommitGate gate);

// Whether the gate lets a commit of size bytes through; for the backends.
[[nodiscard]] bool CommitAllowed(std::size_t size);

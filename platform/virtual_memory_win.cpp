#include <windows.h>

#include "platform/virtual_memory.h"

void* ReserveMemory(std::size_t size) {
    return VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
}

bool CommitMemory(void* address, std::size_t size) {
    if (!CommitAllowed(size)) return false;
    return VirtualAlloc(address, size, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void* AllocateMemory(std::size_t size) {
    if (size == 0 || !CommitAllowed(size)) return nullptr;
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void ReleaseMemory(void* base) {
    if (base != nullptr) VirtualFree(base, 0, MEM_RELEASE);
}

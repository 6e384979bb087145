// mmap stands in for VirtualAlloc: a reservation is a PROT_NONE mapping that commits by
// mprotect. munmap needs the size that VirtualFree does not, so the sizes of the blocks handed
// out are kept in a table.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <mutex>

#include "platform/virtual_memory.h"

namespace {

std::mutex gBlocksMutex;
std::map<void*, std::size_t>& Blocks() {
    static std::map<void*, std::size_t> blocks;  // base -> size of every live block
    return blocks;
}

void* MapAnonymous(std::size_t size, int protection) {
    if (size == 0) return nullptr;
    void* base = mmap(nullptr, size, protection, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1,
                      0);
    if (base == MAP_FAILED) return nullptr;
    std::lock_guard<std::mutex> lock(gBlocksMutex);
    Blocks()[base] = size;
    return base;
}

}  // namespace

void* ReserveMemory(std::size_t size) { return MapAnonymous(size, PROT_NONE); }

bool CommitMemory(void* address, std::size_t size) {
    if (!CommitAllowed(size)) return false;
    // Like VirtualAlloc, commit every page the range touches.
    const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    std::uintptr_t start = reinterpret_cast<std::uintptr_t>(address) & ~(page - 1);
    std::uintptr_t end = reinterpret_cast<std::uintptr_t>(address) + size;
    return mprotect(reinterpret_cast<void*>(start), end - start, PROT_READ | PROT_WRITE) == 0;
}

void* AllocateMemory(std::size_t size) {
    if (!CommitAllowed(size)) return nullptr;
    return MapAnonymous(size, PROT_READ | PROT_WRITE);
}

void ReleaseMemory(void* base) {
    if (base == nullptr) return;
    std::size_t size = 0;
    {
        std::lock_guard<std::mutex> lock(gBlocksMutex);
        auto it = Blocks().find(base);
        if (it == Blocks().end()) return;
        size = it->second;
        Blocks().erase(it);
    }
    munmap(base, size);
}

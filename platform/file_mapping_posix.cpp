// A mapping handle is a duplicate of the file's descriptor: like a Win32 section it keeps the
// file (and its sharing marks) alive after the file handle is closed.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_mapping.h"

MappingHandle CreateFileMappingOf(FileHandle file, bool writable) {
    struct stat info {};
    if (fstat(static_cast<int>(file), &info) != 0 || info.st_size == 0) return kNoMapping;
    int flags = fcntl(static_cast<int>(file), F_GETFL);
    if (writable && (flags & O_ACCMODE) != O_RDWR) return kNoMapping;
    int copy = fcntl(static_cast<int>(file), F_DUPFD_CLOEXEC, 0);
    return copy < 0 ? kNoMapping : copy;
}

void CloseFileMapping(MappingHandle mapping) {
    if (mapping != kNoMapping) close(static_cast<int>(mapping));
}

void* MapFileWindow(MappingHandle mapping, std::uint64_t offset, std::size_t size, bool writable) {
    if (!FileOpAllowed(FileOp::kMap, size)) return nullptr;
    void* base = mmap(nullptr, size, PROT_READ | (writable ? PROT_WRITE : 0), MAP_SHARED,
                      static_cast<int>(mapping), static_cast<off_t>(offset));
    return base == MAP_FAILED ? nullptr : base;
}

void UnmapFileWindow(void* base, std::size_t size) {
    if (base != nullptr) munmap(base, size);
}

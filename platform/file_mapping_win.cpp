#include <windows.h>

#include "platform/file_mapping.h"

MappingHandle CreateFileMappingOf(FileHandle file, bool writable) {
    HANDLE mapping = CreateFileMappingA(reinterpret_cast<HANDLE>(file), nullptr,
                                        writable ? PAGE_READWRITE : PAGE_READONLY, 0, 0, nullptr);
    return mapping == nullptr ? kNoMapping : reinterpret_cast<MappingHandle>(mapping);
}

void CloseFileMapping(MappingHandle mapping) {
    if (mapping != kNoMapping) CloseHandle(reinterpret_cast<HANDLE>(mapping));
}

void* MapFileWindow(MappingHandle mapping, std::uint64_t offset, std::size_t size, bool writable) {
    if (!FileOpAllowed(FileOp::kMap, size)) return nullptr;
    return MapViewOfFile(reinterpret_cast<HANDLE>(mapping),
                         writable ? FILE_MAP_WRITE : FILE_MAP_READ,
                         static_cast<DWORD>(offset >> 32), static_cast<DWORD>(offset), size);
}

void UnmapFileWindow(void* base, std::size_t /*size*/) {
    if (base != nullptr) UnmapViewOfFile(base);
}

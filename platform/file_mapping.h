// Windows onto a file's bytes mapped into the address space (CreateFileMapping and
// MapViewOfFile on Windows, mmap elsewhere). Portable interface; backends file_mapping_win.cpp
// and file_mapping_posix.cpp. A mapping keeps its file open until the mapping is closed too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/files.h"

using MappingHandle = std::intptr_t;
constexpr MappingHandle kNoMapping = -1;

// A mapping of the whole of a non-empty file, writable or read-only (the file must have been
// opened with the matching access). kNoMapping on failure. Close it with CloseFileMapping.
[[nodiscard]] MappingHandle CreateFileMappingOf(FileHandle file, bool writable);

void CloseFileMapping(MappingHandle mapping);

// Maps size bytes from offset (a multiple of 64 KiB) and returns their address, or null.
// Writes through a writable window reach the file. Unmap it with UnmapFileWindow.
[[nodiscard]] void* MapFileWindow(MappingHandle mapping, std::uint64_t offset, std::size_t size,
                                  bool writable);

void UnmapFileWindow(void* base, std::size_t size);

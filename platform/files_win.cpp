#include <windows.h>

#include <cstring>

#include "platform/files.h"

namespace {

HANDLE Handle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

FileError ErrorFromLastError() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return FileError::kNotFound;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return FileError::kSharingViolation;
        case ERROR_ACCESS_DENIED: return FileError::kAccessDenied;
        default: return FileError::kOther;
    }
}

FileHandle Result(HANDLE handle, FileError* error) {
    if (error != nullptr) {
        *error = handle == INVALID_HANDLE_VALUE ? ErrorFromLastError() : FileError::kNone;
    }
    return reinterpret_cast<FileHandle>(handle);
}

// A refusal of the test gate looks like any other failure of the system.
FileHandle Refused(FileError* error) {
    if (error != nullptr) *error = FileError::kOther;
    return kNoFile;
}

}  // namespace

FileHandle OpenExistingFile(const char* path, bool write, unsigned share, FileError* error) {
    if (!FileOpAllowed(FileOp::kOpen, 0)) return Refused(error);
    DWORD shareMode = ((share & kShareRead) ? FILE_SHARE_READ : 0) |
                      ((share & kShareWrite) ? FILE_SHARE_WRITE : 0);
    HANDLE file = CreateFileA(path, GENERIC_READ | (write ? GENERIC_WRITE : 0), shareMode, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return Result(file, error);
}

FileHandle CreateFileAlways(const char* path, FileError* error) {
    if (!FileOpAllowed(FileOp::kOpen, 0)) return Refused(error);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return Result(file, error);
}

void CloseFile(FileHandle file) {
    if (file != kNoFile) CloseHandle(Handle(file));
}

bool FileHasReadOnlyAttribute(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool IsSpecialFile(const char* path) {
    // Devices (COM3, NUL) cannot be replaced by a move; folders are all there is to refuse.
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool GetFileLength(FileHandle file, std::uint64_t* length) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(Handle(file), &size)) return false;
    *length = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool ReadFileBytes(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* done) {
    auto* out = static_cast<char*>(buffer);
    std::uint32_t total = 0;
    bool ok = true;
    while (total < count) {
        DWORD got = 0;
        if (!ReadFile(Handle(file), out + total, count - total, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        total += got;
    }
    *done = total;
    return ok;
}

bool WriteFileBytes(FileHandle file, const void* buffer, std::uint32_t count) {
    if (!FileOpAllowed(FileOp::kWrite, count)) return false;
    DWORD written = 0;
    return WriteFile(Handle(file), buffer, count, &written, nullptr) && written == count;
}

bool FlushFile(FileHandle file) {
    if (!FileOpAllowed(FileOp::kFlush, 0)) return false;
    return FlushFileBuffers(Handle(file)) != 0;
}

bool SeekFile(FileHandle file, std::uint64_t position) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(position);
    return SetFilePointerEx(Handle(file), to, nullptr, FILE_BEGIN) != 0;
}

bool SetFileLength(FileHandle file, std::uint64_t length) {
    if (!FileOpAllowed(FileOp::kWrite, length)) return false;
    return SeekFile(file, length) && SetEndOfFile(Handle(file));
}

bool MakeTempFile(const char* folder, const char* prefix, char* out) {
    if (!FileOpAllowed(FileOp::kOpen, 0)) return false;
    char dir[MAX_PATH];
    if (folder == nullptr) {
        DWORD n = GetTempPathA(MAX_PATH, dir);
        if (n == 0 || n >= MAX_PATH) return false;
        folder = dir;
    }
    static_assert(kFilePathSize == MAX_PATH);
    return GetTempFileNameA(folder, prefix, 0, out) != 0;
}

bool ReplaceFileWith(const char* target, const char* source, FileError* error) {
    if (!FileOpAllowed(FileOp::kReplace, 0)) {
        if (error != nullptr) *error = FileError::kOther;
        return false;
    }
    DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {
            if (error != nullptr) *error = FileError::kAccessDenied;
            return false;
        }
        // The moved file keeps its own attributes (a temporary file's among them); give it the
        // old file's instead.
        attributes &= FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        SetFileAttributesA(source, attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
    }
    bool moved = MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (error != nullptr) *error = moved ? FileError::kNone : ErrorFromLastError();
    return moved;
}

bool DeleteFilePath(const char* path) {
    return DeleteFileA(path) != 0;
}

bool ResolveFileLinks(const char* path, char* out) {
    // Links are rare on Windows and MoveFileEx replaces one like a file: taken as it is.
    const std::size_t n = std::strlen(path);
    if (n >= kFilePathSize) return false;
    std::memcpy(out, path, n + 1);
    return true;
}

void FolderOfPath(const char* path, char* out) {
    const char* end = nullptr;
    for (const char* c = path; *c != '\0'; ++c) {
        if (*c == '\\' || *c == '/' || *c == ':') end = c;
    }
    if (end == nullptr) {
        std::memcpy(out, ".\\", 3);
        return;
    }
    std::size_t n = static_cast<std::size_t>(end - path) + 1;
    if (n >= kFilePathSize) n = kFilePathSize - 1;
    std::memcpy(out, path, n);
    out[n] = '\0';
}

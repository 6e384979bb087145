#include <windows.h>

#include <cstring>
#include <string>

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

bool ReadFileAt(FileHandle file, std::uint64_t offset, void* buffer, std::uint32_t count,
                std::uint32_t* done) {
    *done = 0;
    if (!FileOpAllowed(FileOp::kRead, count)) return false;
    auto* out = static_cast<char*>(buffer);
    while (*done < count) {
        // On a handle opened without FILE_FLAG_OVERLAPPED the offset is where the read starts.
        OVERLAPPED at{};
        const std::uint64_t from = offset + *done;
        at.Offset = static_cast<DWORD>(from);
        at.OffsetHigh = static_cast<DWORD>(from >> 32);
        DWORD got = 0;
        if (!ReadFile(Handle(file), out + *done, count - *done, &got, &at)) {
            return GetLastError() == ERROR_HANDLE_EOF;
        }
        if (got == 0) break;
        *done += got;
    }
    return true;
}

bool WriteFileAt(FileHandle file, std::uint64_t offset, const void* buffer, std::uint32_t count) {
    if (!FileOpAllowed(FileOp::kWrite, count)) return false;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    return WriteFile(Handle(file), buffer, count, &written, &at) && written == count;
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
            SetLastError(ERROR_ACCESS_DENIED);  // as MoveFileEx itself would refuse it
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

FileAtPath FileAtPathOf(FileHandle file, const char* path) {
    BY_HANDLE_FILE_INFORMATION held{};
    if (!GetFileInformationByHandle(Handle(file), &held)) return FileAtPath::kSame;
    // No access asked for: the look is not refused by the sharing of the open it compares with.
    HANDLE named = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        const DWORD why = GetLastError();
        return why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND ? FileAtPath::kNone
                                                                           : FileAtPath::kSame;
    }
    BY_HANDLE_FILE_INFORMATION now{};
    const bool known = GetFileInformationByHandle(named, &now) != 0;
    CloseHandle(named);
    if (!known) return FileAtPath::kSame;
    return held.dwVolumeSerialNumber == now.dwVolumeSerialNumber &&
                   held.nFileIndexHigh == now.nFileIndexHigh &&
                   held.nFileIndexLow == now.nFileIndexLow
               ? FileAtPath::kSame
               : FileAtPath::kOther;
}

std::uint32_t LastFileError() {
    return GetLastError();
}

void SetLastFileError(std::uint32_t code) {
    SetLastError(code);
}

std::string FileErrorText(std::uint32_t code) {
    if (code == 0) return "";
    char text[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) --n;
    if (n == 0) return "Error " + std::to_string(code) + ".";
    std::string sentence(text, n);
    if (sentence.back() != '.') sentence += '.';
    return sentence;
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

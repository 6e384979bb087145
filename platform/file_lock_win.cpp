#include <windows.h>

#include "platform/file_lock.h"

namespace {

constexpr DWORD kSlotBaseHigh = 0x20000000;  // 2^61, in the offset's high half

OVERLAPPED SlotPlace(std::uint32_t slot) {
    OVERLAPPED place{};
    place.Offset = slot;
    place.OffsetHigh = kSlotBaseHigh;
    return place;
}

}  // namespace

FileHandle OpenSharedFile(const char* path, FileError* error) {
    if (!FileOpAllowed(FileOp::kOpen, 0)) {
        if (error != nullptr) *error = FileError::kOther;
        return kNoFile;
    }
    const HANDLE handle =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (error != nullptr) {
        switch (handle != INVALID_HANDLE_VALUE ? ERROR_SUCCESS : GetLastError()) {
            case ERROR_SUCCESS: *error = FileError::kNone; break;
            case ERROR_PATH_NOT_FOUND: *error = FileError::kNotFound; break;
            case ERROR_ACCESS_DENIED: *error = FileError::kAccessDenied; break;
            case ERROR_SHARING_VIOLATION: *error = FileError::kSharingViolation; break;
            default: *error = FileError::kOther; break;
        }
    }
    return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

bool TryLockFileSlot(FileHandle file, std::uint32_t slot) {
    OVERLAPPED place = SlotPlace(slot);
    return LockFileEx(reinterpret_cast<HANDLE>(file),
                      LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &place) != 0;
}

void UnlockFileSlot(FileHandle file, std::uint32_t slot) {
    OVERLAPPED place = SlotPlace(slot);
    UnlockFileEx(reinterpret_cast<HANDLE>(file), 0, 1, 0, &place);
}

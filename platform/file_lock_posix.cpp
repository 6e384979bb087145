#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_lock.h"

namespace {

constexpr off_t kSlotBase = off_t(1) << 61;  // below the sharing marks of files_posix.cpp

bool SetSlot(FileHandle file, std::uint32_t slot, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = kSlotBase + slot;
    lock.l_len = 1;
    for (;;) {
        if (fcntl(static_cast<int>(file), F_OFD_SETLK, &lock) == 0) return true;
        if (errno != EINTR) return false;
    }
}

}  // namespace

FileHandle OpenSharedFile(const char* path, FileError* error) {
    if (!FileOpAllowed(FileOp::kOpen, 0)) {
        if (error != nullptr) *error = FileError::kOther;
        return kNoFile;
    }
    const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (error != nullptr) {
        *error = fd >= 0                 ? FileError::kNone
                 : errno == ENOENT       ? FileError::kNotFound
                 : errno == EACCES || errno == EROFS ? FileError::kAccessDenied
                                                     : FileError::kOther;
    }
    return fd >= 0 ? fd : kNoFile;
}

bool TryLockFileSlot(FileHandle file, std::uint32_t slot) {
    return SetSlot(file, slot, F_WRLCK);
}

void UnlockFileSlot(FileHandle file, std::uint32_t slot) {
    SetSlot(file, slot, F_UNLCK);
}

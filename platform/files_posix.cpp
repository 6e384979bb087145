// POSIX files with the Win32 sharing and read-only rules emulated; see files.h for what is
// emulated and how far.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files.h"

namespace {

// Each open holds a read lock on the marks that describe it; another open tests for them.
constexpr off_t kMarkBase = off_t(1) << 62;
enum Mark { kReading = 0, kWriting = 1, kDeniesRead = 2, kDeniesWrite = 3 };

int Fd(FileHandle file) {
    return static_cast<int>(file);
}

// Whether any other open of the file holds one of count marks from first.
bool MarksHeld(int fd, int first, int count = 1) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = kMarkBase + first;
    probe.l_len = count;
    if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;  // no locks here: nothing to emulate
    return probe.l_type != F_UNLCK;
}

void SetMark(int fd, int mark) {
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kMarkBase + mark;
    lock.l_len = 1;
    fcntl(fd, F_OFD_SETLK, &lock);
}

// The Win32 sharing check of a new open against the opens that exist, then the new open's own
// marks. False on a conflict.
bool ClaimSharing(int fd, bool read, bool write, unsigned share) {
    if (read && MarksHeld(fd, kDeniesRead)) return false;
    if (write && MarksHeld(fd, kDeniesWrite)) return false;
    if (!(share & kShareRead) && MarksHeld(fd, kReading)) return false;
    if (!(share & kShareWrite) && MarksHeld(fd, kWriting)) return false;
    if (read) SetMark(fd, kReading);
    if (write) SetMark(fd, kWriting);
    if (!(share & kShareRead)) SetMark(fd, kDeniesRead);
    if (!(share & kShareWrite)) SetMark(fd, kDeniesWrite);
    return true;
}

// Whether some open of the file at path exists; none of ours shares deletion, so that is
// enough to stop a replace or delete.
bool OpenElsewhere(const char* path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool held = MarksHeld(fd, kReading, 4);
    close(fd);
    return held;
}

bool ReadOnlyStat(const char* path, const struct stat& info) {
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path, W_OK) != 0;
}

FileError ErrorFromErrno() {
    switch (errno) {
        case ENOENT:
        case ENOTDIR: return FileError::kNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: return FileError::kAccessDenied;
        default: return FileError::kOther;
    }
}

FileHandle Fail(FileError* error, FileError reason) {
    if (error != nullptr) *error = reason;
    return kNoFile;
}

// An emulated refusal says why as the system would.
FileHandle Refuse(FileError* error, FileError reason) {
    errno = reason == FileError::kSharingViolation ? EBUSY : EACCES;
    return Fail(error, reason);
}

}  // namespace

FileHandle OpenExistingFile(const char* path, bool write, unsigned share, FileError* error) {
    if (!FileOpAllowed(FileOp::kOpen, 0)) return Fail(error, FileError::kOther);
    struct stat info {};
    if (stat(path, &info) != 0) return Fail(error, ErrorFromErrno());
    if (S_ISDIR(info.st_mode)) return Refuse(error, FileError::kAccessDenied);
    if (write && ReadOnlyStat(path, info)) return Refuse(error, FileError::kAccessDenied);
    int fd = open(path, (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) return Fail(error, ErrorFromErrno());
    if (!ClaimSharing(fd, true, write, share)) {
        close(fd);
        return Refuse(error, FileError::kSharingViolation);
    }
    if (error != nullptr) *error = FileError::kNone;
    return fd;
}

FileHandle CreateFileAlways(const char* path, FileError* error) {
    if (!FileOpAllowed(FileOp::kOpen, 0)) return Fail(error, FileError::kOther);
    struct stat info {};
    if (stat(path, &info) == 0) {
        if (S_ISDIR(info.st_mode) || ReadOnlyStat(path, info)) {
            return Refuse(error, FileError::kAccessDenied);
        }
    }
    // Opened for reading too, so that the descriptor can hold its sharing marks; emptied only
    // once it is known that no other open forbids it.
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return Fail(error, ErrorFromErrno());
    if (!ClaimSharing(fd, false, true, kShareNone)) {
        close(fd);
        return Refuse(error, FileError::kSharingViolation);
    }
    if (ftruncate(fd, 0) != 0) {
        close(fd);
        return Fail(error, ErrorFromErrno());
    }
    if (error != nullptr) *error = FileError::kNone;
    return fd;
}

void CloseFile(FileHandle file) {
    if (file != kNoFile) close(Fd(file));
}

bool FileHasReadOnlyAttribute(const char* path) {
    struct stat info {};
    return stat(path, &info) == 0 && ReadOnlyStat(path, info);
}

bool IsSpecialFile(const char* path) {
    struct stat info {};
    return stat(path, &info) == 0 && !S_ISREG(info.st_mode);
}

bool GetFileLength(FileHandle file, std::uint64_t* length) {
    struct stat info {};
    if (fstat(Fd(file), &info) != 0) return false;
    *length = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool ReadFileBytes(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* done) {
    auto* out = static_cast<char*>(buffer);
    std::uint32_t total = 0;
    while (total < count) {
        ssize_t got = read(Fd(file), out + total, count - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *done = total;
            return false;
        }
        if (got == 0) break;
        total += static_cast<std::uint32_t>(got);
    }
    *done = total;
    return true;
}

bool ReadFileAt(FileHandle file, std::uint64_t offset, void* buffer, std::uint32_t count,
                std::uint32_t* done) {
    *done = 0;
    if (!FileOpAllowed(FileOp::kRead, count)) return false;
    auto* out = static_cast<char*>(buffer);
    while (*done < count) {
        const ssize_t got =
            pread(Fd(file), out + *done, count - *done, static_cast<off_t>(offset + *done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        *done += static_cast<std::uint32_t>(got);
    }
    return true;
}

bool WriteFileAt(FileHandle file, std::uint64_t offset, const void* buffer, std::uint32_t count) {
    if (!FileOpAllowed(FileOp::kWrite, count)) return false;
    const auto* in = static_cast<const char*>(buffer);
    for (std::uint32_t total = 0; total < count;) {
        const ssize_t put =
            pwrite(Fd(file), in + total, count - total, static_cast<off_t>(offset + total));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        total += static_cast<std::uint32_t>(put);
    }
    return true;
}

bool WriteFileBytes(FileHandle file, const void* buffer, std::uint32_t count) {
    if (!FileOpAllowed(FileOp::kWrite, count)) return false;
    const auto* in = static_cast<const char*>(buffer);
    std::uint32_t total = 0;
    while (total < count) {
        ssize_t put = write(Fd(file), in + total, count - total);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        total += static_cast<std::uint32_t>(put);
    }
    return true;
}

bool FlushFile(FileHandle file) {
    if (!FileOpAllowed(FileOp::kFlush, 0)) return false;
    return fsync(Fd(file)) == 0;
}

bool SeekFile(FileHandle file, std::uint64_t position) {
    return lseek(Fd(file), static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool SetFileLength(FileHandle file, std::uint64_t length) {
    if (!FileOpAllowed(FileOp::kWrite, length)) return false;
    return ftruncate(Fd(file), static_cast<off_t>(length)) == 0 && SeekFile(file, length);
}

bool MakeTempFile(const char* folder, const char* prefix, char* out) {
    if (!FileOpAllowed(FileOp::kOpen, 0)) return false;
    char dir[kFilePathSize];
    if (folder == nullptr) {
        const char* tmp = std::getenv("TMPDIR");
        folder = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
        // The folder as the system names it, always with a trailing separator.
        int n = std::snprintf(dir, sizeof dir, "%s%s", folder,
                              folder[std::strlen(folder) - 1] == '/' ? "" : "/");
        if (n < 0 || static_cast<std::size_t>(n) >= sizeof dir) return false;
        folder = dir;
    }
    char name[kFilePathSize];
    int n = std::snprintf(name, sizeof name, "%s%.3sXXXXXX", folder, prefix);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof name) return false;
    int fd = mkstemp(name);
    if (fd < 0) return false;
    close(fd);
    std::memcpy(out, name, static_cast<std::size_t>(n) + 1);
    return true;
}

bool ReplaceFileWith(const char* target, const char* source, FileError* error) {
    if (!FileOpAllowed(FileOp::kReplace, 0)) {
        if (error != nullptr) *error = FileError::kOther;
        return false;
    }
    FileError reason = FileError::kNone;
    struct stat info {};
    bool targetExists = stat(target, &info) == 0;
    if (targetExists && (!S_ISREG(info.st_mode) || ReadOnlyStat(target, info))) {
        reason = FileError::kAccessDenied;
        errno = EACCES;
    } else if ((targetExists && OpenElsewhere(target)) || OpenElsewhere(source)) {
        reason = FileError::kSharingViolation;
        errno = EBUSY;
    } else {
        if (targetExists) {
            // rename() gives target the source's inode; keep what the old file allowed.
            chmod(source, info.st_mode & 07777);
            if (chown(source, info.st_uid, info.st_gid) != 0) {
                // Only root may give a file away; the permissions above are what matters.
            }
        } else {
            // A temporary file is private (0600); a new file gets what creating it would give.
            static const mode_t mask = [] {
                const mode_t m = umask(0);
                umask(m);
                return m;
            }();
            chmod(source, 0666 & ~mask);
        }
        if (rename(source, target) != 0) reason = ErrorFromErrno();
    }
    if (error != nullptr) *error = reason;
    return reason == FileError::kNone;
}

bool DeleteFilePath(const char* path) {
    struct stat info {};
    if (stat(path, &info) != 0 || ReadOnlyStat(path, info) || OpenElsewhere(path)) return false;
    return unlink(path) == 0;
}

FileAtPath FileAtPathOf(FileHandle file, const char* path) {
    struct stat held {};
    struct stat named {};
    if (fstat(Fd(file), &held) != 0) return FileAtPath::kSame;
    if (stat(path, &named) != 0) return errno == ENOENT ? FileAtPath::kNone : FileAtPath::kSame;
    return held.st_dev == named.st_dev && held.st_ino == named.st_ino ? FileAtPath::kSame
                                                                      : FileAtPath::kOther;
}

std::uint32_t LastFileError() {
    return static_cast<std::uint32_t>(errno);
}

void SetLastFileError(std::uint32_t code) {
    errno = static_cast<int>(code);
}

std::string FileErrorText(std::uint32_t code) {
    if (code == 0) return "";
    std::string text = std::strerror(static_cast<int>(code));
    return text + ".";
}

bool ResolveFileLinks(const char* path, char* out) {
    std::string current = path;
    // As many links as the system itself follows before it gives up with ELOOP.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            if (current.size() >= kFilePathSize) {
                errno = ENAMETOOLONG;
                return false;
            }
            std::memcpy(out, current.c_str(), current.size() + 1);
            return true;
        }
        char link[4096];
        const ssize_t n = readlink(current.c_str(), link, sizeof link - 1);
        if (n < 0) return false;
        link[n] = '\0';
        const std::size_t slash = current.rfind('/');
        // A relative link is read from the folder that holds it.
        current = link[0] == '/' || slash == std::string::npos
                      ? std::string(link)
                      : current.substr(0, slash + 1) + link;
    }
    errno = ELOOP;
    return false;
}

void FolderOfPath(const char* path, char* out) {
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        std::memcpy(out, "./", 3);
        return;
    }
    std::size_t n = static_cast<std::size_t>(slash - path) + 1;
    if (n >= kFilePathSize) n = kFilePathSize - 1;
    std::memcpy(out, path, n);
    out[n] = '\0';
}

// Locks that hold between processes on one machine and between machines on one network share:
// byte-range locks on a file that stays in place (a lock file beside a file that is replaced by
// a rename, or a file only ever appended to). A lock takes one "slot", a byte far past any real
// data (2^61 on), so that it never stops a read or write of the file's contents, even where
// byte-range locks are mandatory (Windows). Slot 0 is commonly a file's mutex; other slots may
// mark that a process is alive, since the system lets a lock go when its process ends, however
// it ends. Backends file_lock_posix.cpp (open-file-description locks, which the SMB and NFS
// clients pass to the server) and file_lock_win.cpp (LockFileEx).
//
// Locks belong to the handle: two handles of one file conflict, even in one process. A handle
// is used by one thread at a time. Read and write the file through files.h with the handle.
#pragma once

#include <cstdint>

#include "platform/files.h"

// Opens path for reading and writing, creating it (empty) when absent, with every kind of
// sharing allowed. kNoFile on failure, with the reason in *error when error is not null. The
// caller closes it with CloseFile, which lets every lock of the handle go.
[[nodiscard]] FileHandle OpenSharedFile(const char* path, FileError* error);

// Takes slot's exclusive lock if no other handle holds it; does not wait. False when another
// holds it (or locks are refused).
[[nodiscard]] bool TryLockFileSlot(FileHandle file, std::uint32_t slot);
void UnlockFileSlot(FileHandle file, std::uint32_t slot);

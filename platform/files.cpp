#include "platform/files.h"

#include <atomic>
#include <cerrno>

namespace {
std::atomic<FileGate> gFileGate{nullptr};
}

void SetFileGate(FileGate gate) {
    gFileGate.store(gate);
}

bool FileOpAllowed(FileOp op, std::uint64_t bytes) {
    FileGate gate = gFileGate.load();
    return gate == nullptr || gate(op, bytes);
}

bool WriteFileReplacing(const char* path, const void* data, std::uint32_t count, FileOp* failed) {
    char target[kFilePathSize];
    char folder[kFilePathSize];
    char temporary[kFilePathSize];
    FileOp step = FileOp::kOpen;
    if (ResolveFileLinks(path, target)) {
        FolderOfPath(target, folder);
        if (MakeTempFile(folder, "vor", temporary)) {
            errno = 0;  // a step that fails without saying why leaves it so
            const FileHandle file = OpenExistingFile(temporary, true, kShareNone, nullptr);
            if (file != kNoFile) {
                step = FileOp::kWrite;
                const bool written = WriteFileBytes(file, data, count) && FlushFile(file);
                CloseFile(file);
                if (written) {
                    step = FileOp::kReplace;
                    if (ReplaceFileWith(target, temporary, nullptr)) return true;
                }
            }
            const int reason = errno;  // the failing call's, not the clean-up's
            DeleteFilePath(temporary);
            errno = reason;
        }
    }
    if (failed != nullptr) *failed = step;
    return false;
}

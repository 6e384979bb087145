#include "platform/files.h"

#include <atomic>

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

bool WriteFileReplacing(const char* path, FileContentWriter write, void* context,
                        FileOp* failed) {
    char target[kFilePathSize];
    char folder[kFilePathSize];
    char temporary[kFilePathSize];
    FileOp step = FileOp::kOpen;
    if (ResolveFileLinks(path, target)) {
        FolderOfPath(target, folder);
        if (MakeTempFile(folder, "vor", temporary)) {
            SetLastFileError(0);  // a step that fails without saying why leaves it so
            const FileHandle file = OpenExistingFile(temporary, true, kShareNone, nullptr);
            if (file != kNoFile) {
                step = FileOp::kWrite;
                // Flushed before it can take the old file's place: after a power cut the move
                // may be on the disk while unflushed data is not.
                const bool written = write(file, context) && FlushFile(file);
                CloseFile(file);
                if (written) {
                    step = FileOp::kReplace;
                    if (ReplaceFileWith(target, temporary, nullptr)) return true;
                }
            }
            const std::uint32_t reason = LastFileError();  // the failing call's, not the clean-up's
            DeleteFilePath(temporary);
            SetLastFileError(reason);
        }
    }
    if (failed != nullptr) *failed = step;
    return false;
}

bool WriteFileReplacing(const char* path, const void* data, std::uint32_t count, FileOp* failed) {
    struct Bytes {
        const void* data;
        std::uint32_t count;
    } bytes{data, count};
    auto write = [](FileHandle file, void* context) {
        const auto* b = static_cast<const Bytes*>(context);
        return WriteFileBytes(file, b->data, b->count);
    };
    return WriteFileReplacing(path, write, &bytes, failed);
}

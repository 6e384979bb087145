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

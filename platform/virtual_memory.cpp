#include "platform/virtual_memory.h"

#include <atomic>

namespace {
std::atomic<CommitGate> gCommitGate{nullptr};
}

void SetCommitGate(CommitGate gate) { gCommitGate.store(gate); }

bool CommitAllowed(std::size_t size) {
    CommitGate gate = gCommitGate.load();
    return gate == nullptr || gate(size);
}

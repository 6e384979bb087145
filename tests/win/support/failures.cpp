#include "tests/win/support/failures.h"

#include "platform/files.h"
#include "platform/virtual_memory.h"

namespace testing_support {

namespace {

std::uint64_t gShareBytes = 0;
bool gShareGone = false;
bool gMapsFail = false;

bool ShareGate(FileOp op, std::uint64_t bytes) {
    if (gShareGone || (op == FileOp::kMap && gMapsFail)) return false;
    if (op != FileOp::kWrite) return true;
    if (bytes > gShareBytes) {
        gShareGone = true;
        return false;
    }
    gShareBytes -= bytes;
    gShareGone = gShareBytes == 0;
    return true;
}

std::size_t gMemoryBytes = 0;

bool MemoryGate(std::size_t bytes) {
    if (bytes > gMemoryBytes) return false;
    gMemoryBytes -= bytes;
    return true;
}

}  // namespace

DroppingShare::DroppingShare(std::uint64_t bytesLeft, bool mapsFail) {
    gShareBytes = bytesLeft;
    gShareGone = false;
    gMapsFail = mapsFail;
    SetFileGate(&ShareGate);
}

DroppingShare::~DroppingShare() {
    SetFileGate(nullptr);
}

MemoryBudget::MemoryBudget(std::size_t bytesLeft) {
    gMemoryBytes = bytesLeft;
    SetCommitGate(&MemoryGate);
}

MemoryBudget::~MemoryBudget() {
    SetCommitGate(nullptr);
}

}  // namespace testing_support

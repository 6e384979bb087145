#include "tests/win/support/failures.h"

#include "platform/files.h"
#include "platform/virtual_memory.h"

namespace testing_support {

namespace {

std::uint64_t gShareBytes = 0;
bool gShareGone = false;
bool gMapsFail = false;

bool ShareGate(FileOp op, std::uint64_t bytes) {
    if (gShareGone || (op == FileOp::kRead && gMapsFail)) return false;
    if (op != FileOp::kWrite) return true;
    if (bytes > gShareBytes) {
        gShareGone = true;
        return false;
    }
    gShareBytes -= bytes;
    gShareGone = gShareBytes == 0;
    return true;
}

bool gGoneAtReplace = false;

bool GoneAtReplaceGate(FileOp op, std::uint64_t) {
    if (op == FileOp::kReplace) gGoneAtReplace = true;
    return !gGoneAtReplace;
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

ShareGoneAtReplace::ShareGoneAtReplace() {
    gGoneAtReplace = false;
    SetFileGate(&GoneAtReplaceGate);
}

ShareGoneAtReplace::~ShareGoneAtReplace() {
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

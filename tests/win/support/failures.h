// Failures of the system a test brings about through the platform's gates, as a user meets them:
// a disk or network share that takes only so many more bytes and then goes away, and memory
// that runs out. Each lasts as long as its object; one of each kind at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace testing_support {

// Files: writes and length changes use up bytesLeft. Once it is used up, or a write does not
// fit (that write fails), every open, write, replace and mapping fails. With mapsFail, mapping
// a file window fails from the start.
class DroppingShare {
  public:
    explicit DroppingShare(std::uint64_t bytesLeft, bool mapsFail = false);
    ~DroppingShare();
    DroppingShare(const DroppingShare&) = delete;
    DroppingShare& operator=(const DroppingShare&) = delete;
};

// Files: everything works up to the first replace, which fails, as does every file operation
// after it: a share that goes away once a save's new file is written and flushed.
class ShareGoneAtReplace {
  public:
    ShareGoneAtReplace();
    ~ShareGoneAtReplace();
    ShareGoneAtReplace(const ShareGoneAtReplace&) = delete;
    ShareGoneAtReplace& operator=(const ShareGoneAtReplace&) = delete;
};

// Memory: commits use up bytesLeft; one that does not fit fails.
class MemoryBudget {
  public:
    explicit MemoryBudget(std::size_t bytesLeft);
    ~MemoryBudget();
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;
};

}  // namespace testing_support

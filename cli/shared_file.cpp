#include "cli/shared_file.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

#include "cli/exit_codes.h"
#include "formats/text_format.h"
#include "platform/file_lock.h"

namespace {

constexpr std::uint32_t kMutexSlot = 0;
constexpr std::uint32_t kBusyNoteMs = 3000;  // a lock is held for milliseconds, not seconds
constexpr std::uint32_t kRetryMs = 10;

// The slot of a run: its id's number, past the mutex.
std::uint32_t RunSlot(const std::string& runId) {
    std::uint64_t number = 0;
    for (char c : runId) number = number * 16 + static_cast<std::uint64_t>(HexDigitValue(c) & 15);
    return 1 + static_cast<std::uint32_t>(number % 0x3FFFFFFF);
}

std::string Reason() {
    return errno != 0 ? std::strerror(errno) : "the system refused it";
}

}  // namespace

std::string NewRunId() {
    std::random_device device;
    const std::uint64_t now = static_cast<std::uint64_t>(
        std::chrono::system_clock::now().time_since_epoch().count());
    std::mt19937_64 mix(now ^ (static_cast<std::uint64_t>(device()) << 32 | device()));
    return Printf("%016llX", static_cast<unsigned long long>(mix()));
}

SharedFile::~SharedFile() {
    if (file_ != kNoFile) CloseFile(file_);
}

bool SharedFile::Open(const std::string& path, const std::string& runId, std::string& error) {
    path_ = path;
    errno = 0;
    if (IsSpecialFile(path.c_str())) {
        error = path + ": not a plain file";
        return false;
    }
    if (FileHasReadOnlyAttribute(path.c_str())) {
        error = path + ": the file is read-only";
        return false;
    }
    file_ = OpenSharedFile(path.c_str(), nullptr);
    if (file_ == kNoFile) {
        error = path + ": " + Reason();
        return false;
    }
    if (!TryLockFileSlot(file_, RunSlot(runId))) {
        error = path + ": the file takes no locks (" + Reason() + ")";
        return false;
    }
    return true;
}

int SharedFile::Lock(const std::string& shown) {
    const std::uint32_t start = env_.clock.TickCount();
    bool told = false;
    while (!TryLockFileSlot(file_, kMutexSlot)) {
        if (InterruptRequested()) return kExitInterrupted;
        if (!told && env_.clock.TickCount() - start >= kBusyNoteMs) {
            const std::string busy =
                shown + " is busy: another vorland-cli holds " + path_ +
                (path_ == shown ? "" : " (its lock)");
            if (!waitForever_) return CommandFailed(env_.console, kExitBadInput, busy);
            env_.console.Err("vorland-cli: " + busy + "; waiting (Ctrl+C to stop)\n");
            told = true;
        }
        env_.clock.Sleep(kRetryMs);
    }
    return kExitSuccess;
}

void SharedFile::Unlock() {
    UnlockFileSlot(file_, kMutexSlot);
}

bool SharedFile::RunAlive(const std::string& runId) {
    const std::uint32_t slot = RunSlot(runId);
    if (!TryLockFileSlot(file_, slot)) return true;
    UnlockFileSlot(file_, slot);
    return false;
}

bool SharedFile::ReadAll(std::string& text) {
    std::uint64_t length = 0;
    if (!GetFileLength(file_, &length) || length > 0x7FFFFFFF || !SeekFile(file_, 0)) return false;
    text.assign(static_cast<std::size_t>(length), '\0');
    std::uint32_t done = 0;
    if (!ReadFileBytes(file_, text.data(), static_cast<std::uint32_t>(length), &done)) return false;
    text.resize(done);
    return true;
}

bool SharedFile::Append(const std::string& text, std::string& error) {
    std::uint64_t length = 0;
    errno = 0;
    if (GetFileLength(file_, &length) && SeekFile(file_, length) &&
        WriteFileBytes(file_, text.data(), static_cast<std::uint32_t>(text.size())) &&
        FlushFile(file_)) {
        return true;
    }
    error = Reason();
    const int reason = errno;
    static_cast<void>(SetFileLength(file_, length));
    errno = reason;
    return false;
}

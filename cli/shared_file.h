// A file that several vorland-cli processes use at once, on one machine or from several
// stations on one share: the serial file's lock file and the production log. It stays open for
// the whole run and carries the locks (platform/file_lock.h): a mutex that a process holds for
// the few milliseconds it reads and writes the shared state, and one slot per run, held for the
// run's whole life, by which another process tells whether the run is still going (the system
// lets it go when the process ends, even killed). Portable.
//
// Threading: one thread at a time (the ledger's mutex sees to it).
#pragma once

#include <cstdint>
#include <string>

#include "cli/cli_environment.h"
#include "platform/files.h"

class SharedFile {
  public:
    // waitForever: a busy file is waited for (after a note) instead of ending the run.
    SharedFile(CliEnvironment& env, bool waitForever) : env_(env), waitForever_(waitForever) {}
    ~SharedFile();
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;

    // Opens path (creating it empty when absent) and takes the slot of runId. False with a
    // message in error.
    [[nodiscard]] bool Open(const std::string& path, const std::string& runId, std::string& error);
    bool isOpen() const { return file_ != kNoFile; }

    // Takes the mutex. After a few seconds says that shown (the file the user named) is busy,
    // then waits on or stops, as the user chose: the exit status (0, 2 busy, 130 Ctrl+C).
    [[nodiscard]] int Lock(const std::string& shown);
    void Unlock();
    // Whether the run runId is going on in a process that has this file open.
    [[nodiscard]] bool RunAlive(const std::string& runId);

    // The whole file; false when it cannot be read.
    [[nodiscard]] bool ReadAll(std::string& text);
    // Appends text at the end and waits until it is on the disk. A write that fails part-way
    // is cut off again, so that the file never ends in a broken line. Under the mutex. False
    // with the reason in error.
    [[nodiscard]] bool Append(const std::string& text, std::string& error);

  private:
    CliEnvironment& env_;
    bool waitForever_;
    FileHandle file_ = kNoFile;
    std::string path_;
};

// A new run's id: 16 hex digits, unlikely ever to repeat.
[[nodiscard]] std::string NewRunId();

// The file a read writes: checked for writing before any unit is touched, and written only
// once the chip has been read, to a temporary file beside it that replaces it only when
// complete, so that a failed write (a full disk) leaves the old file as it was. An empty file
// that the check made is removed again when the read fails. Portable; one object per file, any
// thread.
#pragma once

#include <string>

class OutputFile {
  public:
    explicit OutputFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    // Whether the file can be written; may create it empty. False with a message in error.
    [[nodiscard]] bool Probe(std::string& error);
    // Replaces the file with content; false with a message in error (the file is then as it
    // was before Probe).
    [[nodiscard]] bool Write(const std::string& content, std::string& error);
    // Removes the file again if Probe made it.
    void Abandon();

  private:
    std::string path_;
    bool existed_ = false;
};

// The file of one of several units: the port's name before the extension of path
// ("dump.hex" and "/dev/ttyUSB0" give "dump.ttyUSB0.hex"; "dump" and "COM3" give
// "dump.COM3"). Only the last part of the port's path counts.
[[nodiscard]] std::string PortFileName(const std::string& path, const std::string& port);

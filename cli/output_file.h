// The file a read writes: checked before any unit is touched (its name, its folder, that it is
// no device), and written only once the chip has been read, to a temporary file beside it that
// replaces it only when complete. Until then nothing appears under its name, and a failed write
// (a full disk) or a killed run leaves the old file as it was. A symbolic link stays a link: the
// file it names is the one written. Portable; one object per file, any thread.
#pragma once

#include <string>

class OutputFile {
  public:
    explicit OutputFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    // Whether the file can be written, found without creating it. False with a message in
    // error.
    [[nodiscard]] bool Probe(std::string& error) const;
    // Replaces the file with content; false with a message in error (the file is then as it
    // was).
    [[nodiscard]] bool Write(const std::string& content, std::string& error) const;

  private:
    std::string path_;
};

// The file of one of several units: the port's name before the extension of path
// ("dump.hex" and "/dev/ttyUSB0" give "dump.ttyUSB0.hex"; "dump" and "COM3" give
// "dump.COM3"). Only the last part of the port's path counts.
[[nodiscard]] std::string PortFileName(const std::string& path, const std::string& port);

#include "cli/output_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/files.h"

bool OutputFile::Probe(std::string& error) {
    if (IsSpecialFile(path_.c_str())) {
        error = path_ + ": not a plain file (a folder or a device); the image is written only to "
                        "a file";
        return false;
    }
    std::FILE* existing = std::fopen(path_.c_str(), "rb");
    existed_ = existing != nullptr;
    if (existing != nullptr) std::fclose(existing);
    std::FILE* file = std::fopen(path_.c_str(), "ab");  // creates, but never truncates
    if (file == nullptr) {
        error = path_ + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(file);
    return true;
}

bool OutputFile::Write(const std::string& content, std::string& error) {
    errno = 0;
    // A chip image as text is a few MiB at the most.
    if (path_.size() < kFilePathSize &&
        WriteFileReplacing(path_.c_str(), content.data(),
                           static_cast<std::uint32_t>(content.size()), nullptr)) {
        return true;
    }
    error = path_ + ": " + (errno != 0 ? std::strerror(errno) : "the file could not be written");
    Abandon();
    return false;
}

void OutputFile::Abandon() {
    if (!existed_) std::remove(path_.c_str());
}

std::string PortFileName(const std::string& path, const std::string& port) {
    const std::size_t portSlash = port.find_last_of("/\\");
    const std::string name = portSlash == std::string::npos ? port : port.substr(portSlash + 1);
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    // A dot that starts the file's name (".hex") or sits in a folder's name is no extension.
    const bool extension =
        dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
    if (!extension) return path + "." + name;
    return path.substr(0, dot) + "." + name + path.substr(dot);
}

#include "cli/output_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "formats/text_format.h"
#include "platform/files.h"

bool OutputFile::Probe(std::string& error) const {
    char target[kFilePathSize];
    errno = 0;
    if (path_.size() >= kFilePathSize || !ResolveFileLinks(path_.c_str(), target)) {
        error = path_ + ": " +
                (errno == ELOOP ? std::strerror(errno)
                                : Printf("the name is too long (%u characters at the most)",
                                         static_cast<unsigned>(kFilePathSize - 1)));
        return false;
    }
    if (IsSpecialFile(target)) {
        error = path_ + ": not a plain file (a folder or a device); the image is written only to "
                        "a file";
        return false;
    }
    if (FileHasReadOnlyAttribute(target)) {
        error = path_ + ": the file is read-only";
        return false;
    }
    // The new file is made beside the old one and then takes its place: try that folder.
    char folder[kFilePathSize];
    char temporary[kFilePathSize];
    FolderOfPath(target, folder);
    errno = 0;
    if (!MakeTempFile(folder, "vor", temporary)) {
        // Windows' temporary names leave errno alone: a folder that is there refused the file.
        const int reason = errno != 0 ? errno : IsSpecialFile(folder) ? 0 : ENOENT;
        error = path_ + ": " +
                (reason != 0 ? std::strerror(reason) : "its folder cannot be written");
        return false;
    }
    static_cast<void>(DeleteFilePath(temporary));
    return true;
}

bool OutputFile::Write(const std::string& content, std::string& error) const {
    errno = 0;
    // A chip image as text is a few MiB at the most.
    if (WriteFileReplacing(path_.c_str(), content.data(),
                           static_cast<std::uint32_t>(content.size()), nullptr)) {
        return true;
    }
    error = path_ + ": " + (errno != 0 ? std::strerror(errno) : "the file could not be written");
    return false;
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

#include "hexview/hexview_names.h"

#include <cstdio>
#include <cstring>

void HexViewFormatSnapshotName(const char* fileName, std::uint32_t anchor, std::uint32_t end,
                               char* out, std::size_t size) {
    if (size == 0) return;
    const char* dot = std::strrchr(fileName, '.');
    const char* extension = dot != nullptr ? dot : "";
    const int nameLength = static_cast<int>(dot != nullptr ? dot - fileName : std::strlen(fileName));
    std::snprintf(out, size, "%.*s-[%08x-%08x]%s", nameLength, fileName,
                  static_cast<unsigned>(anchor), static_cast<unsigned>(end), extension);
}

const char* HexViewFileNamePart(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    }
    return name;
}

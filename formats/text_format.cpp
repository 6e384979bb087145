#include "formats/text_format.h"

#include <cstdarg>
#include <cstdio>

std::string Printf(const char* format, ...) {
    char text[512];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string FormatBytes(std::uint64_t bytes) {
    if (bytes < 1000) return Printf("%llu B", static_cast<unsigned long long>(bytes));
    if (bytes < 1000 * 1024) {
        return bytes % 1024 == 0 ? Printf("%llu KiB", static_cast<unsigned long long>(bytes / 1024))
                                 : Printf("%.1f KiB", static_cast<double>(bytes) / 1024.0);
    }
    return bytes % (1024 * 1024) == 0
               ? Printf("%llu MiB", static_cast<unsigned long long>(bytes >> 20))
               : Printf("%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
}

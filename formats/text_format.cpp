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

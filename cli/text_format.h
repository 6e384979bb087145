// printf into a std::string, for the tool's messages. Portable.
#pragma once

#include <string>

// Formats like printf; the result is cut at 511 characters.
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

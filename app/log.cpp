#include "app/log.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<LogLineWriter> gWriter{nullptr};
}

void SetLogLineWriter(LogLineWriter writer) { gWriter.store(writer); }

std::size_t LogTrimPoint(std::string_view text, std::size_t incoming, std::size_t bound) {
    if (text.size() + incoming <= bound) return 0;
    std::size_t keep = bound / 4 * 3;
    if (incoming >= keep) return text.size();
    std::size_t excess = text.size() - (keep - incoming);  // at least 1: text.size() > keep
    std::size_t lineEnd = text.find('\n', excess - 1);
    return lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
}

int LogVPrintf(const LogSink* sink, const char* format, std::va_list args) {
    if (sink == nullptr || sink->edit == nullptr) return 0;
    LogLineWriter writer = gWriter.load();
    if (writer == nullptr) return 0;
    char line[kLogBufferSize];
    std::vsnprintf(line, sizeof line, format, args);
    line[kLogBufferSize - 1] = '\0';
    writer(sink->edit, line);
    return 1;
}

int LogPrintf(const LogSink* sink, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    int result = LogVPrintf(sink, format, args);
    va_end(args);
    return result;
}

#include "device/log_sink.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<LogLineWriter> gWriter{nullptr};
}

void SetLogLineWriter(LogLineWriter writer) { gWriter.store(writer); }

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

// Where KVTandrel's log lines go: the sink record and LogPrintf. The device only formats; the
// writer that appends a line to a real edit control is the log pane's (app/log_win.cpp), which
// installs itself at start-up; vorland-cli and the tests install their own.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

struct LogSink {
    std::uint32_t reserved;  // read by nothing
    void* window;            // owned: destroyed together with the sink (a window handle)
    void* edit;              // borrowed: the edit control that lines go to
};

constexpr std::size_t kLogBufferSize = 4096;  // a formatted line is cut at 4095 characters

// Appends one line to an edit control, with a line break before it when the control is not
// empty. Called on whichever thread logs.
using LogLineWriter = void (*)(void* edit, const char* line);

// Installs the writer that LogPrintf hands its lines to; null drops every line.
void SetLogLineWriter(LogLineWriter writer);

// Formats a line and appends it to the sink's edit control. Returns 0, writing nothing, when
// the sink or its edit is null or no writer is installed; 1 otherwise. Each call formats
// into a buffer of its own, so the worker thread and the window thread never share one.
int LogPrintf(const LogSink* sink, const char* format, ...) __attribute__((format(printf, 2, 3)));
int LogVPrintf(const LogSink* sink, const char* format, std::va_list args);

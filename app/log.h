// The log routines' portable half: the sink record and LogPrintf. Appending to a real edit
// control is log_win.cpp, which installs itself as the line writer.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string_view>

struct LogSink {
    std::uint32_t reserved;  // read by nothing
    void* window;            // owned: destroyed together with the sink (a window handle)
    void* edit;              // borrowed: the edit control that lines go to
};

constexpr std::size_t kLogBufferSize = 4096;  // a formatted line is cut at 4095 characters

// The log pane holds at most this many characters. Past it the oldest whole lines go, down to
// three quarters of it, so that the pane is trimmed once in a long while, not at every line.
constexpr std::size_t kLogPaneBound = 256 * 1024;

// Where to cut the pane's text so that `incoming` more characters keep it within `bound`: the
// start of the first line kept (just after a line feed). 0 when everything fits; text.size()
// when no line can stay.
[[nodiscard]] std::size_t LogTrimPoint(std::string_view text, std::size_t incoming,
                                       std::size_t bound);

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

#include "app/log_win.h"

#include <algorithm>
#include <cstring>
#include <string>

LogSink gLogSink{};

namespace {
// The sink owns its window: destroy it at exit when somebody set one.
struct LogSinkOwner {
    ~LogSinkOwner() {
        if (gLogSink.window != nullptr) DestroyWindow(static_cast<HWND>(gLogSink.window));
    }
} gLogSinkOwner;

void WriteLineToEdit(void* edit, const char* line) {
    AppendLogLine(static_cast<HWND>(edit), line, 1, 0);
}

// The bound and room for one more line of any length a caller logs.
constexpr WPARAM kLogPaneLimit = 2 * kLogPaneBound;

// Makes room for `incoming` more characters. The control's own limit (30,000 characters by
// default) would cut or drop the newest lines, so it is raised; the oldest lines go instead.
void MakeRoom(HWND edit, std::size_t incoming) {
    if (static_cast<WPARAM>(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0)) < kLogPaneLimit) {
        SendMessageA(edit, EM_SETLIMITTEXT, kLogPaneLimit, 0);
    }
    auto length = static_cast<std::size_t>(SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0));
    if (length + incoming <= kLogPaneBound) return;
    std::string text(length + 1, '\0');
    text.resize(static_cast<std::size_t>(
        std::max(GetWindowTextA(edit, text.data(), static_cast<int>(text.size())), 0)));
    std::size_t cut = LogTrimPoint(text, incoming, kLogPaneBound);
    SendMessageA(edit, EM_SETSEL, 0, static_cast<LPARAM>(cut));
    SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
}
}  // namespace

void AppendLogLine(HWND edit, const char* text, int lineBreaks, int clearFirst) {
    if (clearFirst != 0) SetWindowTextA(edit, "");
    MakeRoom(edit, std::strlen(text) + 2 * static_cast<std::size_t>(std::max(lineBreaks, 0)));
    LRESULT length = SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(edit, EM_SETSEL, length, length);
    if (length > 0) {
        for (int i = 0; i < lineBreaks; ++i) AppendLogLine(edit, "\r\n", 0, 0);
    }
    SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

void SetLogCaret(HWND edit, int selectAll) {
    LRESULT length = SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0);
    if (selectAll != 0) {
        SendMessageA(edit, EM_SETSEL, 0, -1);
        return;
    }
    SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(-1), length);
    SendMessageA(edit, EM_SETSEL, length, length);
}

void InstallEditLogWriter() { SetLogLineWriter(&WriteLineToEdit); }

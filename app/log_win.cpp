#include "app/log_win.h"

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
}  // namespace

void AppendLogLine(HWND edit, const char* text, int lineBreaks, int clearFirst) {
    if (clearFirst != 0) SetWindowTextA(edit, "");
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

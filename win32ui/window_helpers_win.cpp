#include "win32ui/window_helpers_win.h"

#include <commdlg.h>

#include <cstring>

#include "platform/text.h"

char gModuleDirectory[kFilePathSize] = {};

void GetModuleDirectory(HINSTANCE instance, char* out) {
    char path[kFilePathSize] = {};
    DWORD length = GetModuleFileNameA(instance, path, kFilePathSize);
    if (length >= kFilePathSize) length = kFilePathSize - 1;
    // Index 0 is never examined: a lone leading backslash names no folder.
    for (DWORD i = length; i >= 1; --i) {
        if (path[i] == '\\') {
            std::memcpy(out, path, i + 1);
            return;
        }
    }
}

void CenterWindow(HWND window, HWND reference) {
    RECT outer;
    RECT inner;
    GetWindowRect(reference != nullptr ? reference : GetDesktopWindow(), &outer);
    GetWindowRect(window, &inner);
    int x = outer.left + (outer.right - outer.left) / 2 - (inner.right - inner.left) / 2;
    int y = outer.top + (outer.bottom - outer.top) / 2 - (inner.bottom - inner.top) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int RunFileDialog(HWND owner, int mode, char* path, char* fileTitle, const char* title,
                  DWORD filterIndex, const char* filter) {
    char initialDir[kFilePathSize];
    std::size_t length = CopyText(initialDir, sizeof initialDir, gModuleDirectory);
    if (length > 0 && initialDir[length - 1] == '\\') initialDir[length - 1] = '\0';

    length = std::strlen(path);
    if (length > 0 && path[length - 1] == '\\') path[length - 1] = '\0';

    OPENFILENAMEA dialog{};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // 76 bytes
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter != nullptr ? filter : "All Files (*.*)\0*.*\0";
    dialog.nFilterIndex = filterIndex;
    dialog.lpstrFile = path;
    dialog.nMaxFile = kFilePathSize;
    dialog.lpstrFileTitle = fileTitle;
    dialog.nMaxFileTitle = fileTitle != nullptr ? kFilePathSize : 0;
    dialog.lpstrInitialDir = initialDir;
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_CREATEPROMPT | OFN_OVERWRITEPROMPT;
    if (mode == 0) return GetOpenFileNameA(&dialog) ? 1 : 0;
    if (mode == 1) return GetSaveFileNameA(&dialog) ? 1 : 0;
    return 1;
}

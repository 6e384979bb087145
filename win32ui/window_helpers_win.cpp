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
                  DWORD filterIndex, const char* filter, DWORD* chosenFilter) {
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
    // Opening takes only a file that exists: an offer to create one would only lead to a file
    // that cannot be loaded. A name saved without an extension gets the chosen filter's (an
    // empty default extension: none for "*.*"), and the overwrite question is asked about
    // that name.
    dialog.Flags = mode == 0 ? OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST : OFN_OVERWRITEPROMPT;
    dialog.lpstrDefExt = mode == 1 ? "" : nullptr;
    BOOL chosen = TRUE;
    if (mode == 0) chosen = GetOpenFileNameA(&dialog);
    if (mode == 1) chosen = GetSaveFileNameA(&dialog);
    if (chosenFilter != nullptr) *chosenFilter = dialog.nFilterIndex;
    return chosen ? 1 : 0;
}

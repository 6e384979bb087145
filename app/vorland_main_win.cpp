// Program entry: single instance, controls, OLE, settings, then the programmer window.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "app/programmer_window_win.h"
#include "app/startup_win.h"
#include "controls/control_library_win.h"
#include "hexview/hexview_win.h"
#include "resources/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    gInstance = instance;
    RegisterHexViewClipboardFormats();

    // Owned and never released: it goes with the process.
    CreateMutexA(nullptr, TRUE, "Vorland");
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        MessageBoxA(nullptr, "Application is already open", "Initialization Error",
                    MB_ICONWARNING | MB_OK);
        return 0;
    }

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    RegisterControlLibrary(instance);
    RegisterHexViewClass(instance);
    OleInitialize(nullptr);

    GetModuleDirectory(instance, gModuleDirectory);
    AccessSettingsFile(0);

    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_PROGRAMMER), nullptr, ProgrammerDialogProc, 0);
    return 0;
}

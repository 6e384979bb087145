// VorlandGallery.exe: shows every control of the library at work, so that a developer can
// see and try each class.
#include <windows.h>
#include <commctrl.h>

#include "controls/control_library_win.h"
#include "gallery/gallery_window_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    RegisterControlLibrary(instance);
    if (!RegisterGalleryWindow(instance) || CreateGalleryWindow(instance, show) == nullptr) {
        MessageBoxA(nullptr, "The gallery window could not be created.", kGalleryCaption,
                    MB_ICONERROR | MB_OK);
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

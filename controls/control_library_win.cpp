#include "controls/control_library_win.h"

#include "controls/text_progress_win.h"

namespace {

void RegisterEx(HINSTANCE instance, const char* name, WNDPROC procedure, UINT style,
                HBRUSH background) {
    WNDCLASSEXA cls{};
    cls.cbSize = sizeof cls;
    cls.style = style;
    cls.lpfnWndProc = procedure;
    cls.cbWndExtra = sizeof(void*);  // the state record's address
    cls.hInstance = instance;
    cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    cls.hbrBackground = background;
    cls.lpszClassName = name;
    RegisterClassExA(&cls);
}

}  // namespace

void RegisterControlLibrary(HINSTANCE instance) {
    RegisterEx(instance, kTextProgressClass, TextProgressProc, CS_HREDRAW | CS_VREDRAW, nullptr);
}

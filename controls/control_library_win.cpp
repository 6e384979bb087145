#include "controls/control_library_win.h"

#include "controls/grid_control_win.h"
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

// The grid is registered the plain way, with no cursor of its own (it sets the pointer
// itself) and the stock gray brush.
void RegisterGrid(HINSTANCE instance) {
    WNDCLASSA cls{};
    cls.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    cls.lpfnWndProc = GridControlProc;
    cls.cbWndExtra = sizeof(void*);  // the state record's address
    cls.hInstance = instance;
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    cls.lpszClassName = kGridControlClass;
    RegisterClassA(&cls);
}

}  // namespace

void RegisterControlLibrary(HINSTANCE instance) {
    RegisterEx(instance, kTextProgressClass, TextProgressProc, CS_HREDRAW | CS_VREDRAW, nullptr);
    RegisterGrid(instance);
}

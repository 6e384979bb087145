#include "controls/control_library_win.h"

#include "controls/chart2d_win.h"
#include "controls/chart3d_win.h"
#include "controls/gauge_win.h"
#include "controls/scope_win.h"
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
    constexpr UINT kRedraw = CS_HREDRAW | CS_VREDRAW;
    const auto window = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterEx(instance, kChart2DClass, Chart2DProc, kRedraw, window);
    RegisterEx(instance, kScopeClass, ScopeProc, kRedraw, window);
    RegisterEx(instance, kChart3DClass, Chart3DProc, kRedraw, window);
    RegisterEx(instance, kTextProgressClass, TextProgressProc, kRedraw, nullptr);
    // KVGRIDCONTROL registers fifth.
    RegisterEx(instance, kGaugeClass, GaugeProc, kRedraw, window);
}

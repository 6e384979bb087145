#include "controls/control_library_win.h"

#include "controls/chart2d_win.h"
#include "controls/chart3d_win.h"
#include "controls/gauge_win.h"
#include "controls/grid_control_win.h"
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
    constexpr UINT kRedraw = CS_HREDRAW | CS_VREDRAW;
    const auto window = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterEx(instance, kChart2DClass, Chart2DProc, kRedraw, window);
    RegisterEx(instance, kScopeClass, ScopeProc, kRedraw, window);
    RegisterEx(instance, kChart3DClass, Chart3DProc, kRedraw, window);
    RegisterEx(instance, kTextProgressClass, TextProgressProc, kRedraw, nullptr);
    RegisterGrid(instance);
    RegisterEx(instance, kGaugeClass, GaugeProc, kRedraw, window);
}

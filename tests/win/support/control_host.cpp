#include "tests/win/support/control_host.h"

#include <algorithm>

#include "controls/control_library_win.h"

namespace testing_support {
namespace {

constexpr char kHostClass[] = "VorlandControlHost";
constexpr int kControlId = 7;

}  // namespace

HWND ControlHost::SharedWindow() {
    static HWND window = [] {
        HINSTANCE instance = GetModuleHandleA(nullptr);
        RegisterControlLibrary(instance);
        WNDCLASSA cls{};
        cls.lpfnWndProc = HostProc;
        cls.hInstance = instance;
        cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        cls.lpszClassName = kHostClass;
        RegisterClassA(&cls);
        return CreateWindowExA(WS_EX_TOPMOST, kHostClass, "host",
                               WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 800, 600, nullptr,
                               nullptr, instance, nullptr);
    }();
    return window;
}

ControlHost::ControlHost(const char* className, int width, int height, DWORD style) {
    HWND host = SharedWindow();
    SetWindowLongPtrA(host, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    control_ = CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | style, 0, 0, width, height,
                               host, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlId)),
                               GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(host);
}

ControlHost::~ControlHost() {
    if (control_ != nullptr) DestroyWindow(control_);
    SetWindowLongPtrA(SharedWindow(), GWLP_USERDATA, 0);
}

LRESULT CALLBACK ControlHost::HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ControlHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_COMMAND && self != nullptr) {
        CommandRecord record{LOWORD(wParam), HIWORD(wParam), lParam};
        self->commands_.push_back(record);
        if (self->handler_) self->handler_(record);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int CountPixels(const ClientPixels& pixels, COLORREF color) {
    return pixels.Count(color, RECT{0, 0, pixels.width(), pixels.height()});
}

RECT PixelBounds(const ClientPixels& pixels, COLORREF color) {
    RECT bounds{pixels.width(), pixels.height(), 0, 0};
    for (int y = 0; y < pixels.height(); ++y) {
        for (int x = 0; x < pixels.width(); ++x) {
            if (pixels.at(x, y) != color) continue;
            bounds.left = std::min<LONG>(bounds.left, x);
            bounds.top = std::min<LONG>(bounds.top, y);
            bounds.right = std::max<LONG>(bounds.right, x + 1);
            bounds.bottom = std::max<LONG>(bounds.bottom, y + 1);
        }
    }
    if (bounds.right == 0) SetRectEmpty(&bounds);
    return bounds;
}

void SendMouse(HWND window, UINT message, int x, int y, WPARAM keys) {
    LPARAM position = MAKELPARAM(static_cast<WORD>(static_cast<short>(x)),
                                 static_cast<WORD>(static_cast<short>(y)));
    SendMessageA(window, message, keys, position);
}

}  // namespace testing_support

#include "control_host.h"

#include <algorithm>

#include "controls/control_library_win.h"

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

ClientPixels::ClientPixels(HWND window) {
    UpdateWindow(window);
    RECT client;
    GetClientRect(window, &client);
    width_ = client.right;
    height_ = client.bottom;
    if (width_ <= 0 || height_ <= 0) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, section);
    BitBlt(memory, 0, 0, width_, height_, screen, 0, 0, SRCCOPY);
    GdiFlush();
    pixels_.resize(static_cast<size_t>(width_) * height_);
    const auto* rows = static_cast<const DWORD*>(bits);
    for (size_t i = 0; i < pixels_.size(); ++i) {
        DWORD p = rows[i];  // 0x00RRGGBB
        pixels_[i] = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    SelectObject(memory, old);
    DeleteObject(section);
    DeleteDC(memory);
    ReleaseDC(window, screen);
}

COLORREF ClientPixels::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    return pixels_[static_cast<size_t>(y) * width_ + x];
}

int ClientPixels::Count(COLORREF color) const {
    int count = 0;
    for (COLORREF p : pixels_) count += p == color;
    return count;
}

RECT ClientPixels::Bounds(COLORREF color) const {
    RECT bounds{width_, height_, 0, 0};
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            if (at(x, y) != color) continue;
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

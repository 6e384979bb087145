// A HexView32 on the screen, in a frame of its own, for timing the runs it makes from its
// window's message queue (Find, checksums, compares) as the editor has it run them.
#pragma once

#include <windows.h>

#include "hexview/hexview_win.h"

namespace scan_host {

inline bool gRunEnded = false;

inline LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY &&
        reinterpret_cast<const NMHDR*>(lParam)->code == static_cast<UINT>(HVN_SCANDONE)) {
        gRunEnded = true;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace scan_host

// The control, 800 x 600 with its frame; the frame is its parent (DestroyWindow of that ends
// both).
inline HWND CreateScanHost(const char* caption) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterHexViewClass(instance);
    WNDCLASSA host{};
    host.lpfnWndProc = scan_host::HostProc;
    host.hInstance = instance;
    host.lpszClassName = "ScanBenchHost";
    RegisterClassA(&host);
    HWND frame = CreateWindowExA(0, host.lpszClassName, caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 0, 0, 800, 600, nullptr, nullptr, instance, nullptr);
    RECT client;
    GetClientRect(frame, &client);
    return CreateWindowExA(WS_EX_CLIENTEDGE, kHexViewClass, "",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0, client.right,
                           client.bottom, frame, nullptr, instance, nullptr);
}

// Runs the thread's messages until the run just started ends (HVN_SCANDONE).
inline void RunUntilScanDone() {
    MSG msg;
    while (!scan_host::gRunEnded && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    scan_host::gRunEnded = false;
}

// Times a HexView32 control under Wine: a full repaint of a maximised view, and a keystroke from
// WM_KEYDOWN to the painted cell, in overwrite and in insert mode. Prints medians.
#include <windows.h>

#include "bench/win/bench_clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "hexview/hexview_win.h"

namespace {

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// One keystroke as the system delivers it, until its cell is on the screen.
double Keystroke(HWND control, char c) {
    double start = NowMs();
    SendMessageA(control, WM_KEYDOWN, LOBYTE(VkKeyScanA(c)), 1);
    SendMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 1);
    UpdateWindow(control);
    GdiFlush();
    return NowMs() - start;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 100;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterHexViewClass(instance);
    HWND frame = CreateWindowExA(0, "STATIC", "HexView32 benchmark", WS_OVERLAPPEDWINDOW, 0, 0,
                                 800, 600, nullptr, nullptr, instance, nullptr);
    ShowWindow(frame, SW_MAXIMIZE);
    RECT client;
    GetClientRect(frame, &client);
    HWND control = CreateWindowExA(WS_EX_CLIENTEDGE, "HexView32", "",
                                   WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0,
                                   client.right, client.bottom, frame, nullptr, instance, nullptr);
    const DWORD size = 16u << 20;
    auto* block = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    for (DWORD i = 0; i < size; ++i) block[i] = static_cast<unsigned char>(i * 2654435761u >> 24);
    Require(HexViewSetBuffer(control, block, size) != 0, "the document");
    HexViewResetView(control);
    HexViewSetStyle(control, HVS_SHOWHIGHCHARS | HVS_ADDRCOLON, HVS_SHOWHIGHCHARS | HVS_ADDRCOLON);
    SetFocus(control);
    Pump();

    // Some rows with a selection and edited bytes, as an editing session has them.
    HexViewSetCaret(control, 100);
    for (char c : "0123456789abcdef") {
        if (c != '\0') Keystroke(control, c);
    }
    HexViewSetSelection(control, 40, 300);
    Pump();

    std::vector<double> full;
    for (int i = 0; i < runs; ++i) {
        double start = NowMs();
        InvalidateRect(control, nullptr, FALSE);
        UpdateWindow(control);
        GdiFlush();
        full.push_back(NowMs() - start);
    }
    GetClientRect(control, &client);

    std::vector<double> overwrite, insert;
    const char digits[] = "0123456789abcdef";
    HexViewSetCaret(control, 2000);
    for (int i = 0; i < runs; ++i) overwrite.push_back(Keystroke(control, digits[i % 16]));
    HexViewSetInsertMode(control, 1);
    HexViewSetCaret(control, 3000);
    for (int i = 0; i < runs; ++i) insert.push_back(Keystroke(control, digits[i % 16]));
    Pump();

    std::printf("view %ld x %ld pixels\n", client.right, client.bottom);
    std::printf("full repaint: median %.2f ms over %d runs\n", Median(full), runs);
    std::printf("keystroke to painted cell, overwrite: median %.3f ms\n", Median(overwrite));
    std::printf("keystroke to painted cell, insert: median %.3f ms\n", Median(insert));
    DestroyWindow(frame);
    return 0;
}

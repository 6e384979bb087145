// Times KVGRIDCONTROL with 100,000 cells: filling it, painting a full screen at the top and in
// the middle of the grid, copying it, and looking cells up. Prints the figures.
//
//   grid_paint_bench.exe            the timed runs
//   grid_paint_bench.exe --hold N   then keeps the window up N seconds (for a screenshot,
//                                   e.g. `import -window root` on the virtual display)
#include <windows.h>

#include "bench/win/bench_clock.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "controls/control_library_win.h"
#include "controls/grid_control_win.h"

namespace {

constexpr int kGridId = 100;
constexpr int kRows = 4000;
constexpr int kColumns = 25;  // 4000 x 25 = 100,000 cells

// Owner-drawn cells ("~n") are drawn here as a bar n percent long.
LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == kGridId && HIWORD(wParam) == GRN_OWNERDRAW) {
        HWND grid = GetDlgItem(window, kGridId);
        int value = static_cast<int>(SendMessageA(grid, GRM_GETOWNERDRAWVALUE, 0, 0));
        RECT bar = *reinterpret_cast<const RECT*>(lParam);
        InflateRect(&bar, 0, -5);
        bar.right = bar.left + (bar.right - bar.left) * value / 100;
        HDC dc = GetDC(grid);
        HBRUSH brush = CreateSolidBrush(RGB(70, 150, 90));
        FillRect(dc, &bar, brush);
        DeleteObject(brush);
        ReleaseDC(grid, dc);
        return 0;
    }
    if (message == WM_SIZE) {
        MoveWindow(GetDlgItem(window, kGridId), 8, 8, LOWORD(lParam) - 16, HIWORD(lParam) - 16,
                   TRUE);
        return 0;
    }
    if (message == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// A mix of every cell type: names, numbers, check boxes, owner-drawn bars, protected cells.
std::string CellText(int row, int column) {
    char text[64];
    switch (column) {
        case 1: std::snprintf(text, sizeof text, "Device %04d", row); break;
        case 2: std::snprintf(text, sizeof text, "0x%06X", row * 0x100); break;
        case 3: return row % 3 == 0 ? "FALSE" : "TRUE";
        case 4: std::snprintf(text, sizeof text, "~%d", (row * 37) % 101); break;
        case 5: std::snprintf(text, sizeof text, "%d.%02d", row % 97, (row * 7) % 100); break;
        default: std::snprintf(text, sizeof text, "%d", row * column); break;
    }
    return text;
}

void Fill(HWND grid) {
    SendMessageA(grid, GRM_SETSIZE, kRows, kColumns);
    const char* headers[] = {"", "Name", "Address", "OK", "Fill", "Volts"};
    for (int column = 1; column <= 5; ++column) {
        GridCellRef ref{0, column};
        SendMessageA(grid, GRM_SETCELLTEXT, reinterpret_cast<WPARAM>(&ref),
                     reinterpret_cast<LPARAM>(headers[column]));
    }
    for (int row = 1; row <= kRows; ++row) {
        for (int column = 1; column <= kColumns; ++column) {
            GridCellRef ref{row, column};
            std::string text = CellText(row, column);
            SendMessageA(grid, GRM_SETCELLTEXT, reinterpret_cast<WPARAM>(&ref),
                         reinterpret_cast<LPARAM>(text.c_str()));
            if (column == 1 && row % 5 == 0) {
                SendMessageA(grid, GRM_SETCELLPROTECT, reinterpret_cast<WPARAM>(&ref), 1);
            }
        }
    }
}

double PaintSeconds(HWND grid, int times) {
    double start = NowSeconds();
    for (int i = 0; i < times; ++i) {
        InvalidateRect(grid, nullptr, FALSE);
        UpdateWindow(grid);
    }
    return (NowSeconds() - start) / times;
}

}  // namespace

int main(int argc, char** argv) {
    int holdSeconds = 0;
    if (argc == 3 && std::strcmp(argv[1], "--hold") == 0) holdSeconds = std::atoi(argv[2]);

    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterControlLibrary(instance);
    WNDCLASSA cls{};
    cls.lpfnWndProc = ParentProc;
    cls.hInstance = instance;
    cls.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    cls.lpszClassName = "GridBenchParent";
    RegisterClassA(&cls);
    HWND parent = CreateWindowExA(0, "GridBenchParent", "KVGRIDCONTROL", WS_POPUP | WS_VISIBLE, 0,
                                  0, 760, 480, nullptr, nullptr, instance, nullptr);
    HWND grid =
        CreateWindowExA(0, kGridControlClass, "Programmer units\nsweep of 4 March",
                        WS_CHILD | WS_VISIBLE, 8, 8, 744, 464, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kGridId)), instance, nullptr);
    if (grid == nullptr) {
        std::printf("the grid could not be created\n");
        return 1;
    }
    SendMessageA(grid, GRM_SETPROTECTEDBKCOLOR, RGB(255, 248, 215), 0);
    SendMessageA(grid, GRM_SETCOLWIDTH, 0, 44);
    SendMessageA(grid, GRM_SETCOLWIDTH, 1, 92);
    SendMessageA(grid, GRM_SETCOLWIDTH, 2, 70);
    SendMessageA(grid, GRM_SETCOLWIDTH, 3, 34);
    SendMessageA(grid, GRM_SETCOLWIDTH, 4, 80);
    SendMessageA(grid, GRM_SETCOLWIDTH, 7, 0);  // a hidden column
    SendMessageA(grid, GRM_SHOWCOLLETTERS, 0, 0);

    double start = NowSeconds();
    Fill(grid);
    double fillSeconds = NowSeconds() - start;
    Pump();

    SetFocus(grid);
    SendMessageA(grid, GRM_SELECTCELL, 3, 2);
    Pump();

    const int times = 20;
    double top = PaintSeconds(grid, times);
    SendMessageA(grid, GRM_SELECTCELL, kRows / 2, 2);
    double middle = PaintSeconds(grid, times);
    RECT windowed;
    GetWindowRect(parent, &windowed);
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    MoveWindow(parent, 0, 0, screenWidth, screenHeight, TRUE);
    Pump();
    double fullScreen = PaintSeconds(grid, times);
    MoveWindow(parent, windowed.left, windowed.top, windowed.right - windowed.left,
               windowed.bottom - windowed.top, TRUE);
    Pump();

    start = NowSeconds();
    char buffer[kGridMaxCellText + 1];
    const int lookups = 20000;
    for (int i = 0; i < lookups; ++i) {
        GridCellRef ref{1 + (i * 7919) % kRows, 1 + i % kColumns};
        SendMessageA(grid, GRM_GETCELLTEXT, reinterpret_cast<WPARAM>(&ref),
                     reinterpret_cast<LPARAM>(buffer));
    }
    double lookup = (NowSeconds() - start) / lookups;

    start = NowSeconds();
    LRESULT copied = SendMessageA(grid, GRM_COPY, 0, 0);
    double copySeconds = NowSeconds() - start;

    std::printf("cells stored:                    %d\n", kRows * kColumns);
    std::printf("fill (GRM_SETCELLTEXT each):     %.2f s, %.1f us per cell\n", fillSeconds,
                fillSeconds * 1e6 / (kRows * kColumns));
    std::printf("paint 744 x 464, top:            %.1f ms\n", top * 1e3);
    std::printf("paint 744 x 464, row %d:       %.1f ms\n", kRows / 2, middle * 1e3);
    std::printf("paint %d x %d (whole screen):  %.1f ms\n", screenWidth - 16, screenHeight - 16,
                fullScreen * 1e3);
    std::printf("GRM_GETCELLTEXT lookup:          %.1f us\n", lookup * 1e6);
    std::printf("GRM_COPY of the whole grid:      %.2f s (%s)\n", copySeconds,
                copied ? "placed" : "failed");

    if (holdSeconds > 0) {
        SendMessageA(grid, GRM_SELECTCELL, 1, 2);  // back to the top
        SendMessageA(grid, GRM_SELECTCELL, 3, 2);
        double until = NowSeconds() + holdSeconds;
        while (NowSeconds() < until) {
            Pump();
            Sleep(20);
        }
    }
    DestroyWindow(parent);
    return 0;
}

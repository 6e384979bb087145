// Times a HexView32 control under Wine: a full repaint of a maximised view beside a baseline that
// draws the same visible text with one ExtTextOutA per row into the same window, and a keystroke
// from WM_KEYDOWN to the painted cell, in overwrite and in insert mode. Prints medians.
#include <windows.h>

#include "bench/win/bench_clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "hexview/hexview_instance_win.h"
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

// The baseline: the same window paints the text a full repaint shows the cheapest way, each
// visible row in one opaque call of its own, as wide as the client, in one colour. The rows are
// formatted beforehand.
WNDPROC gControlProc = nullptr;
const std::vector<std::string>* gBaselineRows = nullptr;

LRESULT CALLBACK BaselineProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) return CallWindowProcA(gControlProc, window, message, wParam, lParam);
    const HexViewInstance& inst = *HexViewFromWindow(window);
    RECT client;
    GetClientRect(window, &client);
    const std::vector<INT> advances(inst.lineWidth, inst.charWidth);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HGDIOBJ old = SelectObject(dc, inst.font.get());
    const std::vector<std::string>& rows = *gBaselineRows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int y = static_cast<int>(i) * inst.lineHeight;
        RECT row{0, y, client.right, y + inst.lineHeight};
        ExtTextOutA(dc, 0, y, ETO_OPAQUE, &row, rows[i].data(), static_cast<UINT>(rows[i].size()),
                    advances.data());
    }
    SelectObject(dc, old);
    EndPaint(window, &paint);
    return 0;
}

// A whole-client repaint as the system runs one, until its output is flushed: the same for the
// control and for the baseline, so that what the system does around a paint counts for both.
double TimedRepaint(HWND control) {
    double start = NowMs();
    InvalidateRect(control, nullptr, FALSE);
    UpdateWindow(control);
    GdiFlush();
    return NowMs() - start;
}

double BaselineRepaint(HWND control, const std::vector<std::string>& rows) {
    gBaselineRows = &rows;
    gControlProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BaselineProc)));
    const double time = TimedRepaint(control);
    SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gControlProc));
    return time;
}

// The visible rows' text as the control formats it.
std::vector<std::string> VisibleRows(HWND control) {
    const HexViewInstance& inst = *HexViewFromWindow(control);
    std::vector<std::string> rows;
    std::vector<unsigned char> bytes(inst.bytesPerRow);
    std::vector<char> text(inst.lineWidth + 1);
    for (std::uint32_t row = 0; row * inst.lineHeight < inst.clientHeight && row < inst.rowCount;
         ++row) {
        const std::uint32_t offset = (inst.topRow + row) * inst.bytesPerRow;
        Require(HexViewReadData(control, offset, bytes.data(), inst.bytesPerRow) != nullptr,
                "a row's bytes");
        HexViewFormatLine(inst, text.data(), bytes.data(), inst.bytesPerRow, offset);
        rows.emplace_back(text.data(), inst.lineWidth);
    }
    return rows;
}

// The control's client area as a 32-bit BMP file, without the caret: two builds' files compare
// pixel for pixel.
void SaveClientBitmap(HWND control, const char* path) {
    HideCaret(control);
    TimedRepaint(control);
    RECT client;
    GetClientRect(control, &client);
    BITMAPINFOHEADER info{sizeof info, client.right, client.bottom, 1, 32, BI_RGB};
    std::vector<unsigned char> pixels(static_cast<std::size_t>(client.right) * client.bottom * 4);
    HDC window = GetDC(control);
    HDC memory = CreateCompatibleDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(window, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, client.right, client.bottom, window, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    GetDIBits(memory, bitmap, 0, client.bottom, pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(control, window);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof file + sizeof info + pixels.size()), 0,
                          0, sizeof file + sizeof info};
    FILE* out = std::fopen(path, "wb");
    Require(out != nullptr, "the bitmap file");
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    std::fclose(out);
}

}  // namespace

// hexview_bench.exe [runs [bitmap]]: the timed runs; with a path, the view as the repaints drew
// it (a selection, edited bytes) goes to a BMP file before the keystrokes.
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

    // Repaint and baseline take turns, so that both meet the same load of the machine.
    const std::vector<std::string> rows = VisibleRows(control);
    std::vector<double> full, baseline;
    for (int i = 0; i < runs; ++i) {
        full.push_back(TimedRepaint(control));
        baseline.push_back(BaselineRepaint(control, rows));
    }
    if (argc > 2) SaveClientBitmap(control, argv[2]);
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
    std::printf("baseline, one ExtTextOutA per row (%zu rows): median %.2f ms\n", rows.size(),
                Median(baseline));
    std::printf("full repaint / baseline: %.2f\n", Median(full) / Median(baseline));
    std::printf("keystroke to painted cell, overwrite: median %.3f ms\n", Median(overwrite));
    std::printf("keystroke to painted cell, insert: median %.3f ms\n", Median(insert));
    DestroyWindow(frame);
    return 0;
}

// Times HexView32's clipboard and drop paths under Wine: copying a 64 MiB selection (the cost
// must follow the number of pieces, not the bytes), pasting 4 MiB into another control through
// the stream, rendering 4 MiB as text for another program, and moving 1 MiB inside a control by
// drag and drop. Prints medians.
#include <windows.h>

#include "bench/win/bench_clock.h"
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "hexview/hexview_instance_win.h"
#include "hexview/hexview_transfer_win.h"
#include "hexview/hexview_win.h"

namespace {

HWND MakeControl(HWND parent, DWORD size) {
    HWND control = CreateWindowExA(WS_EX_CLIENTEDGE, "HexView32", "",
                                   WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0, 600, 400,
                                   parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    void* block = nullptr;
    if (size > 0) {
        block = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        auto* bytes = static_cast<unsigned char*>(block);
        for (DWORD i = 0; i < size; ++i)
            bytes[i] = static_cast<unsigned char>(i * 2654435761u >> 24);
    }
    Require(HexViewSetBuffer(control, block, size) != 0, "the document");
    HexViewResetView(control);
    HexViewSetInsertMode(control, 1);
    return control;
}

template <typename F>
double Time(int runs, F run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        double start = NowMs();
        run();
        times.push_back(NowMs() - start);
    }
    return Median(times);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    OleInitialize(nullptr);
    RegisterHexViewClass(GetModuleHandleA(nullptr));
    HWND frame = CreateWindowExA(0, "STATIC", "clipboard benchmark", WS_POPUP | WS_VISIBLE, 0, 0,
                                 600, 400, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    const DWORD big = 64u << 20;
    HWND source = MakeControl(frame, big);

    HexViewSetSelection(source, 0, big);
    const double copyWhole = Time(runs, [&] { Require(HexViewCopy(source) != 0, "copy"); });

    // Ten thousand edits spread over the document: as many pieces in the selection.
    HexViewInstance& inst = *HexViewFromWindow(source);
    for (DWORD i = 0; i < 10000; ++i) {
        Require(HexDocFill(inst.document, i * (big / 10000) + 7, 0xEE, 3), "fill");
    }
    const std::uint32_t pieces = HexDocCountExtents(inst.document, 0, big);
    HexViewSetSelection(source, 0, big);
    const double copyPieces = Time(runs, [&] { Require(HexViewCopy(source) != 0, "copy"); });

    const DWORD four = 4u << 20;
    HexViewSetSelection(source, 1000, four);
    Require(HexViewCopy(source) != 0, "copy");
    HWND target = MakeControl(frame, 0);
    const double paste = Time(runs, [&] {
        HexViewNew(target);
        HexViewSetInsertMode(target, 1);
        Require(HexViewPaste(target) != 0, "paste");
    });

    FORMATETC text = HexFormat(CF_TEXT, TYMED_HGLOBAL);
    const double render = Time(runs, [&] {
        UniqueMedium medium;
        gHexClipboardObject->GetData(&text, medium.put());
    });
    OleSetClipboard(nullptr);

    // A 1 MiB move inside the target, through its drop target, as a drag ends.
    HexViewInstance& moving = *HexViewFromWindow(target);
    IDropTarget* drop = moving.dropTarget.get();
    const DWORD mib = 1u << 20;
    POINT corner{20, 20};
    ClientToScreen(target, &corner);
    POINTL at{corner.x, corner.y};
    const double move = Time(runs, [&] {
        HexViewSetSelection(target, 2 * mib, mib);
        UniqueCom<IDataObject> data = HexViewCreateDataObject(moving);
        moving.outgoingDrag = data.get();
        DWORD effect = DROPEFFECT_MOVE | DROPEFFECT_COPY;
        drop->DragEnter(data.get(), MK_LBUTTON, at, &effect);
        drop->DragOver(MK_LBUTTON, at, &effect);
        drop->Drop(data.get(), 0, at, &effect);
        moving.outgoingDrag = nullptr;
    });

    std::printf("copy 64 MiB, 1 piece:            %8.3f ms\n", copyWhole);
    std::printf("copy 64 MiB, %u pieces:       %8.3f ms\n", pieces, copyPieces);
    std::printf("paste 4 MiB into a control:      %8.3f ms (%.0f MiB/s)\n", paste,
                4.0 / (paste / 1000.0));
    std::printf("render 4 MiB as CF_TEXT:         %8.3f ms\n", render);
    std::printf("move 1 MiB by drag and drop:     %8.3f ms\n", move);
    DestroyWindow(frame);
    return 0;
}

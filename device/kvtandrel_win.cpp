#include "device/kvtandrel_win.h"

#include <commctrl.h>

UnitLink gUnitLink;

static_assert(PBM_SETRANGE == 0x401 && PBM_SETPOS == 0x402 && PBM_SETSTEP == 0x404 &&
              PBM_STEPIT == 0x405);

void WindowProgress::SetRange(std::int32_t minimum, std::int32_t maximum) {
    SendMessageA(window_, PBM_SETRANGE, 0,
                 MAKELPARAM(static_cast<WORD>(minimum), static_cast<WORD>(maximum)));
}

void WindowProgress::SetStep(std::int32_t step) {
    SendMessageA(window_, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void WindowProgress::SetPos(std::int32_t position) {
    SendMessageA(window_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void WindowProgress::StepIt() { SendMessageA(window_, PBM_STEPIT, 0, 0); }

void WindowProgress::SetText(const char* text) {
    SendMessageA(window_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

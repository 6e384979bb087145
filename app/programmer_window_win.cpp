#include "app/programmer_window_win.h"

#include <commctrl.h>

#include <cstdio>
#include <memory>

#include "app/address_rules.h"
#include "app/chip_table.h"
#include "app/settings.h"
#include "app/startup_win.h"
#include "resources/resource.h"

HWND gProgrammerWindow = nullptr;

namespace {

// The image buffer: owned by the window from initialisation to destruction.
std::unique_ptr<unsigned char[]> gImageBuffer;
std::int32_t gChipSize = 0;

void SetBoxAddress(HWND dialog, int id, std::int32_t value) {
    SetDlgItemTextA(dialog, id, FormatAddress(value).c_str());
}

std::int32_t ReadBoxAddress(HWND dialog, int id) {
    char text[64] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return ParseHex(text);
}

void CopyBoxesToSettings(HWND dialog) {
    gSettings.bufferStart = ReadBoxAddress(dialog, IDC_BUFFER_START);
    gSettings.bufferEnd = ReadBoxAddress(dialog, IDC_BUFFER_END);
    gSettings.chipStart = ReadBoxAddress(dialog, IDC_CHIP_START);
    gSettings.chipEnd = ReadBoxAddress(dialog, IDC_CHIP_END);
}

void ShowSectorControls(HWND dialog, bool show) {
    for (int id : {IDC_SECTOR_LABEL, IDC_SECTOR_BLANK_CHECK, IDC_SECTOR_UPDOWN, IDC_ERASE_SECTOR}) {
        ShowWindow(GetDlgItem(dialog, id), show ? SW_SHOW : SW_HIDE);
    }
}

// chipSize, sector controls and the program/erase buttons of the selected chip type. With no
// valid selection the size stays, the sector controls hide and program and erase are allowed.
void ApplyChipState(HWND dialog, std::int32_t chipType) {
    const ChipType* chip = FindChipType(chipType);
    if (chip != nullptr) gChipSize = chip->size;
    ShowSectorControls(dialog, chip != nullptr && chip->sectorControls);
    bool allowed = chip == nullptr || chip->programAllowed;
    EnableWindow(GetDlgItem(dialog, IDC_PROGRAM_CHIP), allowed);
    EnableWindow(GetDlgItem(dialog, IDC_ERASE_CHIP), allowed);
}

void OnSectorChange(HWND dialog, int position) {
    if (position < 0) position = 0;
    if (position >= kSectorCount) position = kSectorCount - 1;
    gSettings.sectorIndex = position;
    char text[32];
    std::snprintf(text, sizeof text, "0x%.5X - 0x%.5X", position * kSectorSize,
                  position * kSectorSize + kSectorSize - 1);
    SetDlgItemTextA(dialog, IDC_SECTOR_LABEL, text);
}

BOOL OnInitDialog(HWND dialog) {
    CenterWindow(dialog, gProgrammerWindow);

    HWND list = GetDlgItem(dialog, IDC_CHIP_LIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const ChipType& chip : ChipTypeTable) {
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(chip.listText));
    }
    SendMessageA(list, LB_SETCURSEL, gSettings.chipType, 0);

    for (int id : {IDC_BUFFER_START, IDC_BUFFER_END, IDC_CHIP_START, IDC_CHIP_END}) {
        SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, 6, 0);
    }
    SetBoxAddress(dialog, IDC_BUFFER_START, gSettings.bufferStart);
    SetBoxAddress(dialog, IDC_BUFFER_END, gSettings.bufferEnd);
    SetBoxAddress(dialog, IDC_CHIP_START, gSettings.chipStart);
    SetBoxAddress(dialog, IDC_CHIP_END, gSettings.chipEnd);

    HWND updown = GetDlgItem(dialog, IDC_SECTOR_UPDOWN);
    SendMessageA(updown, UDM_SETRANGE, 0, MAKELPARAM(kSectorCount - 1, 0));
    SendMessageA(updown, UDM_SETPOS, 0, MAKELPARAM(gSettings.sectorIndex, 0));
    SendMessageA(dialog, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, gSettings.sectorIndex),
                 reinterpret_cast<LPARAM>(updown));

    ApplyChipState(dialog, gSettings.chipType);
    if (gSettings.quickVerify != 0) CheckDlgButton(dialog, IDC_QUICK_VERIFY, BST_CHECKED);

    gImageBuffer.reset(new unsigned char[kImageBufferSize]());

    gProgrammerWindow = dialog;
    return TRUE;
}

void OnDestroy(HWND dialog) {
    gSettings.quickVerify = IsDlgButtonChecked(dialog, IDC_QUICK_VERIFY) == BST_CHECKED ? 1 : 0;
    gImageBuffer.reset();
    AccessSettingsFile(1);
    gProgrammerWindow = nullptr;
}

void OnCommand(HWND dialog, int id, int code) {
    switch (id) {
        case IDOK:
        case IDCANCEL:
            CopyBoxesToSettings(dialog);
            EndDialog(dialog, 0);
            break;
        case IDC_CHIP_LIST:
            if (code == LBN_SELCHANGE) {
                LRESULT selection = SendDlgItemMessageA(dialog, IDC_CHIP_LIST, LB_GETCURSEL, 0, 0);
                gSettings.chipType = static_cast<std::int32_t>(selection);
                ApplyChipState(dialog, gSettings.chipType);
                SetDlgItemTextA(dialog, IDC_CHIP_START, "000000");
                SetBoxAddress(dialog, IDC_CHIP_END, gChipSize - 1);
            }
            break;
        default: break;
    }
}

}  // namespace

void CenterWindow(HWND window, HWND reference) {
    RECT outer;
    RECT inner;
    GetWindowRect(reference != nullptr ? reference : GetDesktopWindow(), &outer);
    GetWindowRect(window, &inner);
    int x = outer.left + (outer.right - outer.left) / 2 - (inner.right - inner.left) / 2;
    int y = outer.top + (outer.bottom - outer.top) / 2 - (inner.bottom - inner.top) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK ProgrammerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OnInitDialog(dialog);
        case WM_DESTROY: OnDestroy(dialog); return 0;
        case WM_COMMAND: OnCommand(dialog, LOWORD(wParam), HIWORD(wParam)); return 0;
        case WM_VSCROLL:
            if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, IDC_SECTOR_UPDOWN)) {
                OnSectorChange(dialog, static_cast<short>(HIWORD(wParam)));
            }
            return 0;
        default: return 0;
    }
}

#include "app/programmer_window_win.h"

#include <commctrl.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "app/address_rules.h"
#include "app/image_files_win.h"
#include "app/image_load.h"
#include "app/log_win.h"
#include "app/operation_lines.h"
#include "app/operations_win.h"
#include "app/programmer_state_win.h"
#include "app/progress_relay.h"
#include "app/settings.h"
#include "app/startup_win.h"
#include "app/unit_lines.h"
#include "app/unit_search_win.h"
#include "device/chip_types.h"
#include "device/kvtandrel.h"
#include "device/kvtandrel_win.h"
#include "editor/hex_editor_dialog_win.h"
#include "formats/checksums.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "win32ui/window_helpers_win.h"

HWND gProgrammerWindow = nullptr;
ProgrammerState gState;
OperationRequest gTransferRequest{};
OperationRequest gOtherRequest{};

namespace {

constexpr UINT_PTR kProgressTimer = 1;  // a last look at the bar after each progress notice

HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }

bool ProgramAllowed(std::int32_t chipType) {
    const ChipType* chip = FindChipType(chipType);
    return chip == nullptr || chip->programmable();
}

// chipSize, sector controls and the program/erase buttons for a chip type. With no valid
// selection the size stays, the sector controls hide and program and erase are allowed. While
// the controls are busy, program and erase stay greyed whatever the type.
void ApplyChipState(HWND dialog, std::int32_t chipType) {
    const ChipType* chip = FindChipType(chipType);
    if (chip != nullptr) gState.chipSize = chip->size;
    bool sectors = chip != nullptr && chip->sectorCount > 0;
    for (int id : {IDC_SECTOR_LABEL, IDC_SECTOR_BLANK_CHECK, IDC_SECTOR_UPDOWN, IDC_ERASE_SECTOR}) {
        ShowWindow(Item(dialog, id), sectors ? SW_SHOW : SW_HIDE);
    }
    bool allowed = ProgramAllowed(chipType) && !gState.controlsBusy;
    EnableWindow(Item(dialog, IDC_PROGRAM_CHIP), allowed);
    EnableWindow(Item(dialog, IDC_ERASE_CHIP), allowed);
}

AddressBoxes ReadBoxes(HWND dialog) {
    return {ReadBoxAddress(dialog, IDC_BUFFER_START), ReadBoxAddress(dialog, IDC_BUFFER_END),
            ReadBoxAddress(dialog, IDC_CHIP_START), ReadBoxAddress(dialog, IDC_CHIP_END)};
}

void OnChipSelection(HWND dialog) {
    LRESULT selection = SendDlgItemMessageA(dialog, IDC_CHIP_LIST, LB_GETCURSEL, 0, 0);
    gSettings.chipType = static_cast<std::int32_t>(selection);
    ApplyChipState(dialog, gSettings.chipType);
    if (!gState.chipStartFromFile) {
        SetBoxAddress(dialog, IDC_CHIP_START, 0);
        SetBoxAddress(dialog, IDC_CHIP_END, gState.chipSize - 1);
        return;
    }
    // Addresses that came from a file stay with it: the chip range keeps its start and the
    // buffer range's length. A range past the new chip is refused by Program, as after the load.
    const BoxUpdate update = ComputeRangeSync(kBoxBufferEnd, ReadBoxes(dialog));
    if (update.box == 0) return;
    SetBoxAddress(dialog, update.box, update.value);
    if (update.value >= gState.chipSize) {
        LogToPane(
            dialog,
            FitWarningLine(static_cast<std::uint32_t>(update.value), gState.chipSize).c_str());
    }
}

void OnLoad(HWND dialog) {
    const LoadedRange loaded = LoadFileToBuffer(dialog, gState.image.get(), gState.chipSize);
    if (!loaded.loaded) return;
    if (loaded.addressed) {
        // The chip start first: the synchronisation then takes the chip end along with the
        // buffer end. Data past the chip gets its own addresses too, so that Program refuses
        // the range instead of writing the data somewhere the file does not say.
        SetBoxAddress(dialog, IDC_CHIP_START, loaded.start);
    } else if (gState.chipStartFromFile) {
        // The previous file's address does not belong to this one; a start typed is kept.
        SetBoxAddress(dialog, IDC_CHIP_START, 0);
    }
    gState.chipStartFromFile = loaded.addressed;
    SetBoxAddress(dialog, IDC_BUFFER_START, loaded.start);
    SetBoxAddress(dialog, IDC_BUFFER_END, loaded.end);
}

void OnSectorChange(HWND dialog, int position) {
    if (position < 0) position = 0;
    if (position >= kSectorChip.sectorCount) position = kSectorChip.sectorCount - 1;
    gSettings.sectorIndex = position;
    const std::int32_t size = kSectorChip.sectorSize;
    char text[32];
    std::snprintf(text, sizeof text, "0x%.5X - 0x%.5X", position * size,
                  position * size + size - 1);
    SetDlgItemTextA(dialog, IDC_SECTOR_LABEL, text);
}

}  // namespace

void CopyBoxesToSettings(HWND dialog) {
    gSettings.bufferStart = ReadBoxAddress(dialog, IDC_BUFFER_START);
    gSettings.bufferEnd = ReadBoxAddress(dialog, IDC_BUFFER_END);
    gSettings.chipStart = ReadBoxAddress(dialog, IDC_CHIP_START);
    gSettings.chipEnd = ReadBoxAddress(dialog, IDC_CHIP_END);
}

std::int32_t ReadBoxAddress(HWND dialog, int id) {
    char text[64] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return ParseHex(text);
}

void SetBoxAddress(HWND dialog, int id, std::int32_t value) {
    ++gState.writingBoxes;
    SetDlgItemTextA(dialog, id, FormatAddress(value).c_str());
    --gState.writingBoxes;
}

void LogToPane(HWND dialog, const char* text) {
    AppendLogLine(GetDlgItem(dialog, IDC_LOG), text, 1, 0);
}

void SyncAddressRanges(int boxId) {
    if (!gState.syncArmed) {
        gState.syncArmed = true;  // the change came from the write below
        return;
    }
    if (gProgrammerWindow == nullptr) return;  // initialisation fills the boxes unsynchronised
    gState.syncArmed = false;
    BoxUpdate update = ComputeRangeSync(boxId, ReadBoxes(gProgrammerWindow));
    if (update.box != 0) SetBoxAddress(gProgrammerWindow, update.box, update.value);
    gState.syncArmed = true;
}

void EnableOperationControls(HWND window, int enable) {
    if (enable == 0 || enable == 1) {
        bool allowed = enable == 1 && ProgramAllowed(gSettings.chipType);
        EnableWindow(Item(window, IDC_PROGRAM_CHIP), allowed);
        EnableWindow(Item(window, IDC_ERASE_CHIP), allowed);
    }
    for (int id : {IDC_READ_CHIP, IDC_BLANK_CHECK, IDC_LOAD_FILE, IDC_SAVE_FILE, IDC_VERIFY_CHIP,
                   IDC_SECTOR_BLANK_CHECK, IDC_SECTOR_LABEL, IDC_SECTOR_UPDOWN, IDC_ERASE_SECTOR,
                   IDC_EDIT_BUFFER, IDCANCEL}) {
        EnableWindow(Item(window, id), enable);
    }
    gState.controlsBusy = enable == 0;
}

namespace {

// Hands the link to a worker on a filled request. A thread that cannot be created is reported
// and the window takes the link back and leaves the busy state, instead of waiting for a
// completion that never comes.
bool LaunchOperation(HWND dialog, OperationRequest& request) {
    gState.link.StartWork();
    request.device = std::move(gState.link);
    gState.away = LinkAway::kOperation;
    if (StartOperationThread(&request)) return true;
    gState.link = std::move(request.device);
    gState.away = LinkAway::kNo;
    LogToPane(dialog, "ERROR: The operation could not be started.");
    EnableOperationControls(dialog, 1);
    return false;
}

OperationRequest& PrepareOther(HWND dialog, std::int32_t operation, UINT completion) {
    OperationRequest& r = gOtherRequest;
    r.replyWindow = dialog;
    r.operation = operation;
    r.completionMessage = completion;
    r.progressWindow = Item(dialog, IDC_PROGRESS);
    return r;
}

}  // namespace

int ValidateAndStartTransfer(const SettingsRecord& settings, HWND logWindow, HWND progressWindow) {
    RangeMessages refused = ValidateTransferRanges(settings);
    for (const char* line : refused) AppendLogLine(logWindow, line, 1, 0);
    if (!refused.empty()) return 0;

    HWND dialog = GetParent(logWindow);
    OperationRequest& r = gTransferRequest;
    r.replyWindow = dialog;
    r.operation = settings.transferDirection != 0 ? OP_PROGRAM : OP_READ;
    r.completionMessage = settings.transferDirection != 0 ? MSG_PROGRAM_DONE : MSG_READ_DONE;
    r.length = RangeLength(settings.chipStart, settings.chipEnd);
    r.chipAddress = settings.chipStart;
    r.chipType = settings.chipType;
    r.buffer = gState.image.get() + settings.bufferStart;
    r.progressWindow = progressWindow;
    r.logWindow = logWindow;
    return LaunchOperation(dialog, r) ? 1 : 0;
}

namespace {

void OnTransfer(HWND dialog, std::int32_t direction, const char* startLine) {
    CopyBoxesToSettings(dialog);
    gSettings.transferDirection = direction;
    gTransferRequest.changedOnly = direction != 0 && Checked(dialog, IDC_PROGRAM_CHANGED);
    LogToPane(dialog, startLine);
    EnableOperationControls(dialog, 0);
    if (!ValidateAndStartTransfer(gSettings, Item(dialog, IDC_LOG), Item(dialog, IDC_PROGRESS))) {
        EnableOperationControls(dialog, 1);
    }
}

}  // namespace

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

bool StartVerify(HWND dialog, std::int32_t chipType, std::int32_t chipAddress, std::int32_t length,
                 std::uint8_t* buffer, bool afterProgram) {
    OperationRequest& r = PrepareOther(
        dialog, Checked(dialog, IDC_QUICK_VERIFY) ? OP_QUICK_VERIFY : OP_VERIFY, MSG_VERIFY_DONE);
    r.length = length;
    r.chipAddress = chipAddress;
    r.chipType = chipType;
    r.buffer = buffer;
    r.changedOnly = afterProgram && gTransferRequest.changedOnly;
    gState.verifyingProgram = afterProgram;
    return LaunchOperation(dialog, r);
}

bool StartWholeProgram(HWND dialog) {
    gTransferRequest.changedOnly = false;
    return LaunchOperation(dialog, gTransferRequest);
}

namespace {

void OnVerify(HWND dialog) {
    CopyBoxesToSettings(dialog);
    EnableOperationControls(dialog, 0);
    LogToPane(dialog, "Verifying device against buffer...");
    // The buffer window of a verify must lie inside the image buffer like any transfer's.
    RangeMessages refused = ValidateVerifyRanges(gSettings);
    if (!refused.empty()) {
        for (const char* line : refused) LogToPane(dialog, line);
        EnableOperationControls(dialog, 1);
        return;
    }
    StartVerify(dialog, gSettings.chipType, gSettings.chipStart,
                RangeLength(gSettings.chipStart, gSettings.chipEnd),
                gState.image.get() + gSettings.bufferStart, false);
}

void OnChipOperation(HWND dialog, std::int32_t operation, UINT completion, const char* startLine,
                     bool erases) {
    OperationRequest& r = PrepareOther(dialog, operation, completion);
    if (operation == OP_ERASE_SECTOR || operation == OP_BLANK_CHECK_SECTOR) {
        r.sector = gSettings.sectorIndex;
    } else {
        r.chipType = gSettings.chipType;
    }
    EnableOperationControls(dialog, 0);
    if (erases) EnableWindow(Item(dialog, IDCANCEL), FALSE);
    LogToPane(dialog, startLine);
    LaunchOperation(dialog, r);
}

void BringEditorForward() {
    SetWindowPos(gHexEditorWindow, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void OnEditBuffer(HWND dialog) {
    if (gHexEditorWindow != nullptr) {
        BringEditorForward();
        return;
    }
    OpenHexEditor(dialog, HexEditorRequest{gState.image.get(), static_cast<DWORD>(gState.chipSize),
                                           MSG_BUFFER_COMMITTED});
}

void OnClose(HWND dialog) {
    // The worker writes into the image buffer that closing frees: no close while it runs,
    // whatever sent the command (Escape reaches here even with "Close" greyed).
    if (gState.away == LinkAway::kOperation) return;
    // Nor while the editor works on a copy of it: its close asks about uncommitted changes.
    if (gHexEditorWindow != nullptr) {
        BringEditorForward();
        return;
    }
    CopyBoxesToSettings(dialog);
    if (gState.away == LinkAway::kSearch) {
        // The search stops at its next step and gives the link back: the window closes then,
        // and closing the port leaves the unit at 115200 baud.
        gState.closing = true;
        gUnitLink.Stop();
        return;
    }
    EndDialog(dialog, 0);
}

void OnCommand(HWND dialog, int id, int code) {
    // An operation starts only with the link in hand, and not while the controls are busy (a
    // message sent to a greyed button, or one the chip list re-enabled).
    bool idleControls = gState.link && !gState.controlsBusy;
    // While the unit is looked for, the files can be worked on.
    bool filesIdle = gState.image && gState.away != LinkAway::kOperation;
    switch (id) {
        case IDOK:
        case IDCANCEL: OnClose(dialog); break;
        case IDC_CHIP_LIST:
            if (code == LBN_SELCHANGE) OnChipSelection(dialog);
            break;
        case IDC_BUFFER_START:
        case IDC_BUFFER_END:
        case IDC_CHIP_START:
        case IDC_CHIP_END:
            if (code != EN_CHANGE) break;
            if (id == IDC_CHIP_START && gState.writingBoxes == 0) gState.chipStartFromFile = false;
            SyncAddressRanges(id);
            break;
        case IDC_LOAD_FILE:
            if (filesIdle) OnLoad(dialog);
            break;
        case IDC_SAVE_FILE:
            if (filesIdle) SaveBufferToFile(dialog, gState.image.get());
            break;
        case IDC_PROGRAM_CHIP:
            if (idleControls) OnTransfer(dialog, 1, "Programming Device from buffer...");
            break;
        case IDC_READ_CHIP:
            if (idleControls) OnTransfer(dialog, 0, "Reading Device into buffer...");
            break;
        case IDC_ERASE_CHIP:
            if (idleControls) {
                OnChipOperation(dialog, OP_ERASE, MSG_ERASE_DONE, "Erasing Device...", true);
            }
            break;
        case IDC_BLANK_CHECK:
            if (idleControls) {
                OnChipOperation(dialog, OP_BLANK_CHECK, MSG_BLANK_CHECK_DONE,
                                "Checking for blank device...", false);
            }
            break;
        case IDC_VERIFY_CHIP:
            if (idleControls) OnVerify(dialog);
            break;
        case IDC_ERASE_SECTOR:
            if (idleControls) {
                OnChipOperation(dialog, OP_ERASE_SECTOR, MSG_SECTOR_ERASE_DONE, "Erasing Sector...",
                                true);
            }
            break;
        case IDC_SECTOR_BLANK_CHECK:
            if (idleControls) {
                OnChipOperation(dialog, OP_BLANK_CHECK_SECTOR, MSG_SECTOR_BLANK_CHECK_DONE,
                                "Checking for blank sector...", false);
            }
            break;
        case IDC_CANCEL_OPERATION:
            // Whatever has the link stops at its next step: a search, the search before an
            // operation, the identification of a unit, a transfer's next block.
            if (!gState.link) gUnitLink.Stop();
            break;
        case IDC_EDIT_BUFFER:
            if (filesIdle) OnEditBuffer(dialog);
            break;
        default: break;
    }
}

// While a search of its own thread runs, the chip buttons wait; the files can be worked on and
// the window closed.
void EnterSearchState(HWND dialog) {
    EnableOperationControls(dialog, 0);
    for (int id : {IDC_LOAD_FILE, IDC_SAVE_FILE, IDC_EDIT_BUFFER}) {
        EnableWindow(Item(dialog, id), gState.image != nullptr);
    }
    EnableWindow(Item(dialog, IDCANCEL), TRUE);
}

void StartSearch(HWND dialog, UnitSearchWhen when, const char* onlyPort) {
    EnterSearchState(dialog);
    if (gState.link) {
        gState.link.StartWork();
        if (StartUnitSearch(gState.link, dialog, when, onlyPort)) {
            gState.away = LinkAway::kSearch;
            return;
        }
    }
    // Without a thread the chip buttons still look for the unit, each on its worker.
    static const UnitPresence kNothing = [] {
        UnitPresence nothing;
        nothing.searched = true;
        return nothing;
    }();
    PostMessageA(dialog, MSG_UNIT_SEARCH_DONE, static_cast<WPARAM>(when),
                 reinterpret_cast<LPARAM>(&kNothing));
}

// A port arrived: when no unit is connected and nothing runs, it is looked for there.
void OnDeviceChange(HWND dialog, WPARAM event, LPARAM data) {
    if (!gState.link || gState.link->portOpen != 0 || gState.controlsBusy ||
        gHexEditorWindow != nullptr ||
        !ArrivedComPort(event, data, gState.searchPort, sizeof gState.searchPort)) {
        return;
    }
    LogToPane(dialog, LookingOnPortLine(gState.searchPort).c_str());
    StartSearch(dialog, UnitSearchWhen::kOnArrival, gState.searchPort);
}

BOOL OnInitDialog(HWND dialog) {
    CenterWindow(dialog, gProgrammerWindow);

    HWND list = Item(dialog, IDC_CHIP_LIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const ChipType& chip : kChipTypes) {
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

    HWND updown = Item(dialog, IDC_SECTOR_UPDOWN);
    SendMessageA(updown, UDM_SETRANGE, 0, MAKELPARAM(kSectorChip.sectorCount - 1, 0));
    SendMessageA(updown, UDM_SETPOS, 0, MAKELPARAM(gSettings.sectorIndex, 0));
    SendMessageA(dialog, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, gSettings.sectorIndex),
                 reinterpret_cast<LPARAM>(updown));

    ApplyChipState(dialog, gSettings.chipType);
    if (gSettings.quickVerify != 0) CheckDlgButton(dialog, IDC_QUICK_VERIFY, BST_CHECKED);
    if (gSettings.noVerifyAfterProgram == 0) {
        CheckDlgButton(dialog, IDC_VERIFY_AFTER_PROGRAM, BST_CHECKED);
    }

    gState.chipStartFromFile = gSettings.chipStartFromFile != 0;
    gState.closing = false;
    // The window holds the link from now on, and works on no unit yet: the search looks on the
    // port of the last find after COM1 to COM5.
    if (!gState.link) gState.link = gUnitLink.Take();
    if (gState.link) {
        gState.link.unit() = {};
        CopyText(gState.link.unit().port, sizeof gState.link.unit().port, gSettings.comPortName);
    }

    gState.image.reset(new (std::nothrow) std::uint8_t[kImageBufferSize]());
    // The window appears at once; the search's result comes when it has finished.
    AppendLogLine(Item(dialog, IDC_LOG), kLookingLine, 1, 1);
    if (!gState.image) {
        // Without the buffer no operation may run: only closing stays possible.
        LogToPane(dialog, "ERROR: Not enough memory for the image buffer.");
    }
    StartSearch(dialog, UnitSearchWhen::kAtStart, nullptr);

    gProgrammerWindow = dialog;
    return TRUE;
}

void OnDestroy(HWND dialog) {
    gSettings.quickVerify = Checked(dialog, IDC_QUICK_VERIFY) ? 1 : 0;
    gSettings.noVerifyAfterProgram = Checked(dialog, IDC_VERIFY_AFTER_PROGRAM) ? 0 : 1;
    gSettings.chipStartFromFile = gState.chipStartFromFile ? 1 : 0;
    gState.image.reset();
    // A window destroyed while a search has the link waits for it to stop; the port is then
    // closed with the unit back at 115200 baud.
    if (gState.away == LinkAway::kSearch) {
        gState.link = EndUnitSearch(gUnitLink);
        gState.away = LinkAway::kNo;
    }
    if (gState.link) gState.link->ClosePort();
    AccessSettingsFile(1);
    gProgrammerWindow = nullptr;
}

}  // namespace

INT_PTR CALLBACK ProgrammerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OnInitDialog(dialog);
        case WM_DESTROY: OnDestroy(dialog); return 0;
        case WM_COMMAND: OnCommand(dialog, LOWORD(wParam), HIWORD(wParam)); return 0;
        case WM_VSCROLL:
            if (reinterpret_cast<HWND>(lParam) == Item(dialog, IDC_SECTOR_UPDOWN)) {
                OnSectorChange(dialog, static_cast<short>(HIWORD(wParam)));
            }
            return 0;
        case MSG_PROGRAM_DONE:
        case MSG_READ_DONE:
        case MSG_VERIFY_DONE:
        case MSG_ERASE_DONE:
        case MSG_BLANK_CHECK_DONE:
        case MSG_SECTOR_ERASE_DONE:
        case MSG_SECTOR_BLANK_CHECK_DONE:
            OnCompletion(dialog, message, wParam, static_cast<std::int32_t>(lParam));
            return 0;
        case MSG_UNIT_SEARCH_DONE:
            OnUnitSearchDone(dialog, static_cast<UnitSearchWhen>(wParam),
                             *reinterpret_cast<const UnitPresence*>(lParam));
            return 0;
        case WM_DEVICECHANGE: OnDeviceChange(dialog, wParam, lParam); return 0;
        case MSG_BUFFER_COMMITTED: OnBufferCommitted(dialog); return 0;
        case MSG_OPERATION_PROGRESS:
            ShowOperationProgress();
            // Changes the pace held back since this notice are shown once it has passed, also
            // when the worker then waits long (a unit that stopped answering).
            SetTimer(dialog, kProgressTimer, kProgressPaceMs, nullptr);
            return 0;
        case WM_TIMER:
            if (wParam == kProgressTimer) {
                KillTimer(dialog, kProgressTimer);
                ShowOperationProgress();
            }
            return 0;
        default: return 0;
    }
}

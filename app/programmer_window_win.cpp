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

namespace {

constexpr char kSeparator[] = "-----------------------------------";
constexpr char kBufferUnchanged[] = "The buffer is unchanged.";
constexpr char kNotVerified[] = "The chip is programmed but not verified.";
constexpr UINT_PTR kProgressTimer = 1;  // a last look at the bar after each progress notice
constexpr UINT MSG_BUFFER_COMMITTED = WM_APP + 0x72;  // the editor changed the image buffer

// Who has the link while the window does not.
enum class LinkAway {
    kNo,         // the window holds it: idle
    kSearch,     // a search of its own thread: the files can be worked on, the window closed
    kOperation,  // an operation's worker, which also owns the requests and the image buffer
};

// The window's state beside the settings record (window thread only).
struct ProgrammerState {
    std::unique_ptr<std::uint8_t[]> image;  // the image buffer, kImageBufferSize bytes
    std::int32_t chipSize = 0;              // size of the selected chip type
    // The link and the unit the work is on, while the window holds them. Every search and
    // operation takes it along and gives it back with its last message: without it nothing
    // can start.
    LinkHold link;
    LinkAway away = LinkAway::kNo;
    bool closing = false;         // Close was pressed while a search had the link
    char searchPort[25] = {};     // the port that arrived, for the search there
    bool syncArmed = true;        // false while the range synchronisation writes a box itself
    bool controlsBusy = false;    // the operation controls are greyed
    int writingBoxes = 0;           // the window itself is writing an address box
    // The chip start box holds the address that the last file's records gave it; the user's
    // typing takes it over.
    bool chipStartFromFile = false;
    bool verifyingProgram = false;  // the running verify checks what Program just wrote
};
ProgrammerState gState;

// One request for program and read, one for everything else; reused, never freed.
OperationRequest gTransferRequest{};
OperationRequest gOtherRequest{};

HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }

void CopyBoxesToSettings(HWND dialog) {
    gSettings.bufferStart = ReadBoxAddress(dialog, IDC_BUFFER_START);
    gSettings.bufferEnd = ReadBoxAddress(dialog, IDC_BUFFER_END);
    gSettings.chipStart = ReadBoxAddress(dialog, IDC_CHIP_START);
    gSettings.chipEnd = ReadBoxAddress(dialog, IDC_CHIP_END);
}

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
    LogToPane(dialog, startLine);
    EnableOperationControls(dialog, 0);
    if (!ValidateAndStartTransfer(gSettings, Item(dialog, IDC_LOG), Item(dialog, IDC_PROGRESS))) {
        EnableOperationControls(dialog, 1);
    }
}

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// Starts a verify of a range (the controls already busy): byte by byte, or by the unit's
// checksums when "Quick Verify" is checked.
bool StartVerify(HWND dialog, std::int32_t chipType, std::int32_t chipAddress, std::int32_t length,
                 std::uint8_t* buffer, bool afterProgram) {
    OperationRequest& r = PrepareOther(
        dialog, Checked(dialog, IDC_QUICK_VERIFY) ? OP_QUICK_VERIFY : OP_VERIFY, MSG_VERIFY_DONE);
    r.length = length;
    r.chipAddress = chipAddress;
    r.chipType = chipType;
    r.buffer = buffer;
    gState.verifyingProgram = afterProgram;
    return LaunchOperation(dialog, r);
}

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

// The lines for a yes/no answer: 1, 0 and -1 each have their text; other results log nothing.
void LogVerdict(HWND dialog, std::int32_t result, const char* yes, const char* no,
                const char* error) {
    if (result == 1) LogToPane(dialog, yes);
    if (result == 0) LogToPane(dialog, no);
    if (result == -1) LogToPane(dialog, error);
}

constexpr char kCommandFailed[] = "ERROR: Command Failed. Check connectivity, etc.";

const TandrelFailure& LastFailure() { return gState.link->LastFailure(); }

const char* ChipName(std::int32_t chipType) {
    const ChipType* chip = FindChipType(chipType);
    return chip != nullptr ? chip->shortName : "chip";
}

// Why the operation failed, from the device's record of it: a cancel says so.
void LogReason(HWND dialog, const char* chipName) {
    if (LastFailure().problem == TandrelProblem::kCancelled) {
        LogToPane(dialog, kCancelledLine);
        return;
    }
    const std::string reason = FailureReason(LastFailure(), chipName);
    if (!reason.empty()) LogToPane(dialog, reason.c_str());
}

// The checksums of the buffer range the transfer wrote from or read into, to compare with an
// image's release notes and with vorland-cli's.
void LogTransferChecksum(HWND dialog) {
    const OperationRequest& r = gTransferRequest;
    if (r.length <= 0) return;
    const auto first = static_cast<std::uint32_t>(r.buffer - gState.image.get());
    const std::string line =
        FormatChecksumLine(first, first + static_cast<std::uint32_t>(r.length) - 1, r.buffer);
    LogToPane(dialog, line.c_str());
}

// Program and read. A successful program is verified when "Verify after programming" is
// checked: true when that verify started (the controls then stay busy).
bool OnTransferDone(HWND dialog, UINT message, std::int32_t r) {
    const bool reading = message == MSG_READ_DONE;
    const OperationRequest& request = gTransferRequest;
    if (r == kTandrelCancelled) {
        LogToPane(dialog, kCancelledLine);
        if (reading) LogToPane(dialog, kBufferUnchanged);
        // The blocks before the one the cancel came at were written.
        if (!reading && LastFailure().block > 0) {
            LogToPane(dialog, "The chip holds part of the image.");
        }
        return false;
    }
    LogToPane(dialog, kSeparator);
    if (r < 0) {
        LogToPane(dialog, "ERROR: PROM I/O returned failure.");
        LogReason(dialog, ChipName(request.chipType));
        if (reading) LogToPane(dialog, kBufferUnchanged);
    } else {
        LogToPane(dialog, "PROM I/O succeeded.");
        LogTransferChecksum(dialog);
    }
    SetLogCaret(Item(dialog, IDC_LOG), 0);
    if (reading || r < 0 || !Checked(dialog, IDC_VERIFY_AFTER_PROGRAM)) return false;
    LogToPane(dialog, "Verifying device against buffer...");
    return StartVerify(dialog, request.chipType, request.chipAddress, request.length,
                       request.buffer, true);
}

void OnVerifyDone(HWND dialog, std::int32_t r) {
    const OperationRequest& request = gOtherRequest;
    LogVerdict(dialog, r, "SUCCESS: Verification Succeeded.",
               "FAILURE: Verification Failed (not matched)", kCommandFailed);
    if (r == 0 && request.operation == OP_VERIFY) {
        // The chip's bytes came back with the verdict: every difference, at no extra transfer.
        LogToPane(dialog, VerifyDifferencesLine(OperationReadBack(), request.buffer,
                                                static_cast<std::uint32_t>(request.length),
                                                static_cast<std::uint32_t>(request.chipAddress))
                              .c_str());
    }
    if (r == 0) {
        const auto bufferStart = static_cast<std::uint32_t>(request.buffer - gState.image.get());
        LogToPane(dialog, VerifyDifferenceLine(LastFailure(),
                                               static_cast<std::uint32_t>(request.chipAddress),
                                               bufferStart, gState.verifyingProgram)
                              .c_str());
    }
    if (r == -1) LogReason(dialog, ChipName(request.chipType));
    // Without a verdict, what Program wrote has not been checked.
    if (gState.verifyingProgram && r != 0 && r != 1) LogToPane(dialog, kNotVerified);
    gState.verifyingProgram = false;
}

// The editor committed changes: the checksum line of the buffer range, so that the last one in
// the log names the bytes the buffer now holds.
void OnBufferCommitted(HWND dialog) {
    CopyBoxesToSettings(dialog);
    if (!ValidateSaveRange(gSettings).empty()) return;
    const auto first = static_cast<std::uint32_t>(gSettings.bufferStart);
    const auto last = static_cast<std::uint32_t>(gSettings.bufferEnd);
    LogToPane(dialog, FormatChecksumLine(first, last, gState.image.get() + first).c_str());
}

// After "NOT blank": where, from what the check read.
void LogNotBlank(HWND dialog, std::uint32_t length, std::uint32_t chipStart) {
    LogToPane(dialog, NotBlankLine(OperationReadBack(), length, chipStart).c_str());
}

// The port where the unit was found last, for the next start's search.
void KeepUnitPort() {
    const UnitIdentity& unit = gState.link.unit();
    if (unit.supported()) CopyText(gSettings.comPortName, sizeof gSettings.comPortName, unit.port);
}

void OnCompletion(HWND dialog, UINT message, WPARAM run, std::int32_t r) {
    OperationRequest& ran =
        message == MSG_PROGRAM_DONE || message == MSG_READ_DONE ? gTransferRequest : gOtherRequest;
    if (ran.device) {
        gState.link = std::move(ran.device);
        gState.away = LinkAway::kNo;
    } else if (!gState.link) {
        return;  // not the running operation's: its worker still has the link
    }
    KeepUnitPort();
    ShowOperationProgress();  // the bar as the operation left it
    if (run == kOperationNotRun) {
        // The worker has said why (no unit, another unit, a cancel).
        if (gState.verifyingProgram) LogToPane(dialog, kNotVerified);
        gState.verifyingProgram = false;
        EnableOperationControls(dialog, 1);
        return;
    }
    const char* chip = ChipName(gOtherRequest.chipType);
    const char* sectorChip = kSectorChip.shortName;
    switch (message) {
        case MSG_PROGRAM_DONE:
        case MSG_READ_DONE:
            if (OnTransferDone(dialog, message, r)) return;
            break;
        case MSG_VERIFY_DONE: OnVerifyDone(dialog, r); break;
        case MSG_ERASE_DONE:
            if (r == 1) LogToPane(dialog, "Erase Succeeded.");
            if (r == 0 || r == -1) {
                LogToPane(dialog, "ERROR: Erase Command returned failure.");
                LogReason(dialog, chip);
            }
            break;
        case MSG_BLANK_CHECK_DONE:
            LogVerdict(dialog, r, "Chip is blank.", "Chip NOT blank.", kCommandFailed);
            if (r == 0) {
                const ChipType* type = FindChipType(gOtherRequest.chipType);
                LogNotBlank(dialog, static_cast<std::uint32_t>(type->size), 0);
            }
            if (r == -1) LogReason(dialog, chip);
            break;
        case MSG_SECTOR_ERASE_DONE:
            LogToPane(dialog, r == 0 ? "Sector Erase Succeeded." : "ERROR: Sector Erase FAILED.");
            if (r != 0) LogReason(dialog, sectorChip);
            break;
        default:
            LogVerdict(dialog, r, "Sector is blank.", "Sector NOT blank.", kCommandFailed);
            if (r == 0) {
                const auto size = static_cast<std::uint32_t>(kSectorChip.sectorSize);
                LogNotBlank(dialog, size, static_cast<std::uint32_t>(gOtherRequest.sector) * size);
            }
            if (r == -1) LogReason(dialog, sectorChip);
            break;
    }
    // The device closed a link it found lost: the next operation looks for the unit.
    if (LinkLost(LastFailure())) LogToPane(dialog, kLinkClosedLine);
    // "Close", greyed by the busy state and by the erases, comes back with the controls.
    EnableOperationControls(dialog, 1);
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
    static const UnitPresence kNothing;
    PostMessageA(dialog, MSG_UNIT_SEARCH_DONE, static_cast<WPARAM>(when),
                 reinterpret_cast<LPARAM>(&kNothing));
}

void LogSearchLines(HWND dialog, UnitSearchWhen when, const UnitPresence& found) {
    HWND log = Item(dialog, IDC_LOG);
    // At start the result takes the place of the looking line, unless more came meanwhile.
    char text[sizeof kLookingLine + 1] = {};
    GetWindowTextA(log, text, sizeof text);
    bool replace = when == UnitSearchWhen::kAtStart && !found.stopped &&
                   std::string(text) == kLookingLine;
    for (const std::string& line : UnitSearchLines(when, found, gState.searchPort)) {
        AppendLogLine(log, line.c_str(), 1, replace ? 1 : 0);
        replace = false;
    }
}

// Logs what a search found. A search of its own thread gives the link back; the check before an
// operation still holds it, and its completion follows.
void OnUnitSearchDone(HWND dialog, UnitSearchWhen when, const UnitPresence& found) {
    if (!gState.closing) LogSearchLines(dialog, when, found);
    if (when == UnitSearchWhen::kBeforeOperation) return;
    if (gState.away == LinkAway::kSearch) {
        gState.link = FinishUnitSearch();
        gState.away = LinkAway::kNo;
    }
    KeepUnitPort();
    if (gState.closing) {
        CopyBoxesToSettings(dialog);
        EndDialog(dialog, 0);
        return;
    }
    // No operation may run without the image buffer: only closing stays possible.
    if (gState.image) EnableOperationControls(dialog, 1);
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

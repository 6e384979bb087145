#include "app/programmer_state_win.h"

#include <string>

#include "app/address_rules.h"
#include "app/log_win.h"
#include "app/operation_lines.h"
#include "app/programmer_window_win.h"
#include "app/unit_lines.h"
#include "device/changed_write.h"
#include "device/chip_types.h"
#include "device/kvtandrel.h"
#include "formats/checksums.h"
#include "platform/text.h"
#include "resources/resource.h"

namespace {

constexpr char kBufferUnchanged[] = "The buffer is unchanged.";
constexpr char kNotVerified[] = "The chip is programmed but not verified.";

HWND Item(HWND dialog, int id) {
    return GetDlgItem(dialog, id);
}

// The lines for a yes/no answer: 1, 0 and -1 each have their text; other results log nothing.
void LogVerdict(HWND dialog, std::int32_t result, const char* yes, const char* no,
                const char* error) {
    if (result == 1) LogToPane(dialog, yes);
    if (result == 0) LogToPane(dialog, no);
    if (result == -1) LogToPane(dialog, error);
}

constexpr char kCommandFailed[] = "ERROR: Command Failed. Check connectivity, etc.";

const TandrelFailure& LastFailure() {
    return gState.link->LastFailure();
}

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

// What programming only what differs did (byVerify: the programming of the verify after it).
void LogChanged(HWND dialog, const ChangedReport& report, std::int32_t chipType, bool byVerify) {
    for (const std::string& line : ChangedLines(report, kChipTypes[chipType], byVerify)) {
        LogToPane(dialog, line.c_str());
    }
}

// Program and read. A successful program is verified when "Verify after programming" is
// checked, and always after programming only what differs: true when that verify started, or the whole range is programmed after programming
// only what differs could not be (the controls then stay busy).
bool OnTransferDone(HWND dialog, UINT message, std::int32_t r) {
    const bool reading = message == MSG_READ_DONE;
    const OperationRequest& request = gTransferRequest;
    const bool changed = !reading && request.changedOnly;
    const ChangedReport& report = OperationChangedReport();
    if (r == kTandrelCancelled) {
        LogToPane(dialog, kCancelledLine);
        if (reading) LogToPane(dialog, kBufferUnchanged);
        // The blocks before the one the cancel came at were written; programming only what
        // differs may also have erased a sector.
        const bool touched = changed ? report.programmed > 0 || report.erasedSectors != 0 ||
                                           report.erasedChip
                                     : LastFailure().block > 0;
        if (!reading && touched) LogToPane(dialog, "The chip holds part of the image.");
        return false;
    }
    // A program that succeeded ran on a chip type of the table.
    if (changed && r >= 0 && report.wholeRange) {
        LogToPane(dialog, ChangedWholeRangeLine(report, kChipTypes[request.chipType]).c_str());
        return StartWholeProgram(dialog);
    }
    LogToPane(dialog, kSeparator);
    if (r < 0) {
        LogToPane(dialog, "ERROR: PROM I/O returned failure.");
        LogReason(dialog, ChipName(request.chipType));
        if (reading) LogToPane(dialog, kBufferUnchanged);
    } else {
        LogToPane(dialog, "PROM I/O succeeded.");
        if (changed) LogChanged(dialog, report, request.chipType, false);
        LogTransferChecksum(dialog);
    }
    SetLogCaret(Item(dialog, IDC_LOG), 0);
    // Programming only what differs is always verified: the verify finds what the checksums
    // that chose the blocks could not see.
    if (reading || r < 0 || (!changed && !Checked(dialog, IDC_VERIFY_AFTER_PROGRAM))) return false;
    LogToPane(dialog, "Verifying device against buffer...");
    return StartVerify(dialog, request.chipType, request.chipAddress, request.length,
                       request.buffer, true);
}

void OnVerifyDone(HWND dialog, std::int32_t r) {
    const OperationRequest& request = gOtherRequest;
    // After programming only what differs: what the checksums had missed was programmed.
    const ChangedReport& repair = OperationChangedReport();
    if (request.changedOnly && repair.programmed > 0) {
        LogChanged(dialog, repair, request.chipType, true);
    }
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

// After "NOT blank": where, from what the check read.
void LogNotBlank(HWND dialog, std::uint32_t length, std::uint32_t chipStart) {
    LogToPane(dialog, NotBlankLine(OperationReadBack(), length, chipStart).c_str());
}

// The port where the unit was found last, for the next start's search.
void KeepUnitPort() {
    const UnitIdentity& unit = gState.link.unit();
    if (unit.supported()) CopyText(gSettings.comPortName, sizeof gSettings.comPortName, unit.port);
}

void LogSearchLines(HWND dialog, UnitSearchWhen when, const UnitPresence& found) {
    HWND log = Item(dialog, IDC_LOG);
    // At start the result takes the place of the looking line, unless more came meanwhile.
    char text[sizeof kLookingLine + 1] = {};
    GetWindowTextA(log, text, sizeof text);
    bool replace =
        when == UnitSearchWhen::kAtStart && !found.stopped && std::string(text) == kLookingLine;
    for (const std::string& line : UnitSearchLines(when, found, gState.searchPort)) {
        AppendLogLine(log, line.c_str(), 1, replace ? 1 : 0);
        replace = false;
    }
}

}  // namespace

// The editor committed changes: the checksum line of the buffer range, so that the last one in
// the log names the bytes the buffer now holds.
void OnBufferCommitted(HWND dialog) {
    CopyBoxesToSettings(dialog);
    if (!ValidateSaveRange(gSettings).empty()) return;
    const auto first = static_cast<std::uint32_t>(gSettings.bufferStart);
    const auto last = static_cast<std::uint32_t>(gSettings.bufferEnd);
    LogToPane(dialog, FormatChecksumLine(first, last, gState.image.get() + first).c_str());
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

#include "editor/hex_editor_status.h"

#include <algorithm>
#include <cstdio>

#include "document/hex_compare_text.h"
#include "platform/files.h"
#include "resources/resource.h"

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// A count with its thousands apart: "458,752 bytes", "1 byte".
std::string Count(std::uint64_t n, const char* one, const char* more) {
    const std::string digits = std::to_string(n);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped + " " + (n == 1 ? one : more);
}

// Why the control could not open the saved file as the document.
const char* ReopenFailure(HexError error) {
    switch (error) {
        case kHexSharingViolation: return "another program is using it";
        case kHexNoMemory: return "there is not enough memory to open it";
        default: return "it could not be opened";
    }
}

// Why a save failed, as a sentence: the system's words, or the document's reason.
std::string SaveReason(const HexSaveOutcome& outcome) {
    if (outcome.systemError != 0) return FileErrorText(outcome.systemError);
    switch (outcome.error) {
        case kHexReadOnly: return "The file is read-only.";
        case kHexOpenFailed: return kHexEditorUnreadable;
        case kHexNoMemory: return "There is not enough memory to write it.";
        case kHexBusy: return "A search, checksum or compare is running.";
        default: return "";
    }
}

}  // namespace

std::array<int, kEditorStatusParts> HexEditorStatusEdges(int clientWidth) {
    const int m = std::max(clientWidth, 400);
    return {m - 390, m - 210, m - 150, m - 50, clientWidth};
}

HexEditorStatusUpdate HexEditorPositionUpdate(const HexEditorPosition& p) {
    HexEditorStatusUpdate update;
    const auto caret = static_cast<unsigned>(p.caretPos);
    if (p.dropActive) {
        update.cursor = Format("Cursor: %08X", caret);
        update.onlyCursor = true;
    } else if (p.selAnchor == p.selEnd || p.dragOutActive) {
        update.cursor = Format("Cursor: %08X", caret);
        update.count = Format("%u bytes", static_cast<unsigned>(p.docSize));
        update.readValue = p.caretPos < p.docSize && !p.dragOutActive;
    } else {
        update.cursor = Format("Selection: %08X - %08X", static_cast<unsigned>(p.selAnchor),
                               static_cast<unsigned>(p.selEnd));
        update.count = Format("%u bytes", static_cast<unsigned>(p.selLength));
    }
    return update;
}

std::string HexEditorValueText(std::uint8_t byte) {
    return Format("Value: %02X", byte);
}

const char* HexEditorModeText(bool readOnly, bool insertMode) {
    if (readOnly) return "READ";
    return insertMode ? "INS" : "OVR";
}

std::string HexEditorDragEnterText(std::uint32_t byteCount) {
    if (byteCount == 0) return "??? bytes *";
    return Format("%u bytes *", static_cast<unsigned>(byteCount));
}

std::string HexEditorCaption(const char* fileTitle) {
    return std::string(fileTitle) + " - Hex Editor";
}

std::uint32_t HexEditorCommitLength(std::uint32_t docSize, std::uint32_t bufferSize) {
    return std::min(docSize, bufferSize);
}

std::string HexEditorScanProgressText(const char* what, std::uint64_t done, std::uint64_t total) {
    const unsigned percent = total > 0 ? static_cast<unsigned>(done * 100 / total) : 0;
    return Format("%s... %u%% (Esc stops)", what, percent);
}

std::string HexEditorDifferencesText(const HexDiffCounts& found) {
    std::string text = "No differences";
    if (found.ranges > 0) {
        text = "Differences: " + Count(found.ranges, "range", "ranges") + ", " +
               Count(found.bytes, "byte", "bytes");
    }
    if (found.addressed) text += "; " + Count(found.compared, "byte", "bytes") + " compared";
    if (found.extra > 0) {
        text += std::string("; the ") + (found.firstLonger ? "document" : "file") + " is " +
                Count(found.extra, "byte", "bytes") + " longer";
    }
    return text;
}

std::string HexEditorSaveFailureText(const std::string& path, const HexSaveOutcome& outcome) {
    if (outcome.saved) {
        // The file holds the data: the save worked, and the user must not think otherwise.
        return "The data is saved to " + path + ", but the editor could not open it again: " +
               ReopenFailure(outcome.error) + "." +
               (outcome.cleared ? " Open the file to go on editing it." : "");
    }
    std::string reason = SaveReason(outcome);
    if (!reason.empty()) reason = " " + reason;
    if (outcome.keptFile[0] != '\0') {
        return "Saving to " + path + " did not complete." + reason +
               " The edited data is kept in " + outcome.keptFile + ".";
    }
    return "The buffer could not be saved to " + path + "." + reason;
}

std::string HexEditorCommitRefusal(std::uint32_t first, std::uint32_t last,
                                   std::uint32_t bufferSize) {
    return "The data at " + HexAddressRange(first, last) + " lies past the " +
           std::to_string(bufferSize) + " bytes the chip holds (" +
           HexAddressRange(0, bufferSize - 1) + "). Nothing was committed.";
}

std::string HexEditorRangeText(std::uint32_t first, std::uint32_t count) {
    if (count == 0) return Format("%08X, 0 bytes", static_cast<unsigned>(first));
    return Format("%08X - %08X, %u %s", static_cast<unsigned>(first),
                  static_cast<unsigned>(first + (count - 1)), static_cast<unsigned>(count),
                  count == 1 ? "byte" : "bytes");
}

std::string HexEditorGotoHint(std::uint32_t size) {
    return Format(
        "Hex (1F00, 0x1F00 or 1F00h), # for decimal, + or - from the caret. "
        "The end is at %X.",
        static_cast<unsigned>(size));
}

bool HexEditorCommandEnabled(int command, const HexEditorMenuState& state) {
    const bool edits = !state.readOnly && !state.scanning;
    switch (command) {
        case IDM_UNDO: return edits && state.canUndo;
        case IDM_REDO: return edits && state.canRedo;
        case IDM_CUT:
        case IDM_PASTE:
        case IDM_CLEAR: return edits;
        case IDM_FILL: return edits && state.selection;
        case IDM_COPY_HEX: return state.selection;
        case IDM_GOTO:  // its offsets may be relative to a caret that the run moves
        case IDM_FIND:
        case IDM_FIND_NEXT:
        case IDM_FIND_PREVIOUS:
        case IDM_CHECKSUM:
        case IDM_COMPARE_FILE:
        case IDM_NEXT_DIFFERENCE:
        case IDM_PREVIOUS_DIFFERENCE:
        case IDM_OPEN:
        case IDM_NEW:
        case IDM_SAVE_AS: return !state.scanning;
        default: return true;
    }
}

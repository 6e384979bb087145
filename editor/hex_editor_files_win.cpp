// The hex editor's files and its image buffer: Open, Save As, New and Commit, and the questions
// before a document goes. A binary file is the control's own document (read where it lies); a
// HEX or S-record file is read by its name, as the programmer window reads it, into a document
// in memory that knows which addresses the file gave, and saved with only those and the bytes
// edited since.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "document/hex_document_image.h"
#include "editor/hex_editor_image.h"
#include "editor/hex_editor_state_win.h"
#include "editor/hex_editor_status.h"
#include "hexview/hexview_win.h"
#include "win32ui/window_helpers_win.h"

namespace {

// Where "Save As" proposes to save and "Open" to open, and the file last compared with, kept
// from one use (and one editor) to the next.
char gSavePath[MAX_PATH] = {};
char gFileTitle[MAX_PATH] = {};
char gComparePath[MAX_PATH] = {};
char gCompareTitle[MAX_PATH] = {};

HWND Control() {
    return gEditor.control;
}

// The document belongs to this file from now on.
void SetFile(HWND dialog, const std::string& path, const std::string& name, ImageFormat format) {
    gEditor.file = path;
    gEditor.fileName = name;
    gEditor.fileFormat = format;
    ShowFileCaption(dialog);
    ShowMode();
}

// The document went, and with it its file.
void ForgetFile(HWND dialog) {
    gEditor.file.clear();
    gEditor.fileName.clear();
    gEditor.fileFormat = ImageFormat::kBinary;
    ShowFileCaption(dialog);
    ShowMode();
}

// The format a name gives, when it is one that carries addresses.
std::optional<ImageFormat> TextImageFormat(const char* path) {
    const std::optional<ImageFormat> format = ImageFormatFromPath(path);
    if (format && FormatHasAddresses(*format)) return format;
    return std::nullopt;
}

void CannotOpen(HWND dialog, const char* path, const std::string& why) {
    std::string text = std::string("The file ") + path + " could not be opened.";
    if (!why.empty()) text += " " + why;
    EditorWarn(dialog, text.c_str());
}

// Why the control could not open a file as its document.
const char* OpenFailure(DWORD error) {
    switch (error) {
        case kHexAlreadyOpen: return "It is open in the editor already.";
        case kHexSharingViolation: return "Another program is using it.";
        case kHexFileTooLarge: return "It is 4 GiB or larger.";
        case kHexNoMemory: return "There is not enough memory to open it.";
        default: return "";
    }
}

// A HEX or S-record file as the document: its bytes from address 0, gaps FF, knowing which
// addresses the file gave. A file that is refused leaves the document as it was.
void OpenTextImage(HWND dialog, const char* path, const char* name, ImageFormat format) {
    const EditorTextImage image = ReadEditorTextImage(path, format);
    if (!image.taken) return CannotOpen(dialog, path, image.error);
    if (HexViewOpenImage(Control(), image.image, image.records) == 0) {
        CannotOpen(dialog, path, "There is not enough memory to hold it.");
        return ForgetFile(dialog);
    }
    SetFile(dialog, path, name, format);
}

// The bytes "Commit Changes" copies: the document's, up to the buffer's size. False when they
// cannot all be read (a file that shrank or went away).
bool ReadCommitted(std::vector<unsigned char>& bytes) {
    bytes.resize(HexEditorCommitLength(HexViewGetSize(Control()), gEditor.size));
    return bytes.empty() ||
           HexViewReadData(Control(), 0, bytes.data(), static_cast<DWORD>(bytes.size())) != nullptr;
}

// Whether the image buffer lacks edits the editor holds, saved to a file or not: the question
// about it comes only then. When the document cannot be read, nobody can tell, and it comes.
bool BufferLacksEdits() {
    std::vector<unsigned char> bytes;
    if (!ReadCommitted(bytes)) return true;
    return !bytes.empty() && std::memcmp(bytes.data(), gEditor.buffer, bytes.size()) != 0;
}

// Changes past the buffer's size cannot be committed; a document without a file of its own
// loses them. False when the user would rather keep them (and save them).
bool MayDropChangesPastBuffer(HWND dialog) {
    const DWORD length = HexViewGetSize(Control());
    if (length <= gEditor.size || !HexViewIsModified(Control())) return true;
    char text[192];
    std::snprintf(text, sizeof text,
                  "The data is %lu bytes long and the buffer takes only its first %lu. Any changes "
                  "past them are not saved to a file and will be lost.",
                  length, gEditor.size);
    return MessageBoxA(dialog, text, "Changes Detected", MB_OKCANCEL | MB_ICONWARNING) == IDOK;
}

// Says why a save did not end with the file as the document; a document that had to go leaves
// its file with it.
bool SaveFailed(HWND dialog, const char* path, const HexSaveOutcome& outcome) {
    EditorWarn(dialog, HexEditorSaveFailureText(path, outcome).c_str());
    if (outcome.cleared) ForgetFile(dialog);
    return false;
}

// The document's data as a HEX or S-record file: the addresses its file gave and every byte
// edited since, with its records. Then the document is what opening the file gives.
bool SaveTextImage(HWND dialog, const char* path, const char* name, ImageFormat format) {
    std::vector<HexDocRange> data;
    HexViewGetDataRanges(Control(), &data);
    const std::string why = EditorTextImageRefusal(format, HexDocRangeBytes(data));
    if (!why.empty()) {
        const std::string text =
            std::string("The buffer could not be saved to ") + path + ". " + why;
        EditorWarn(dialog, text.c_str());
        return false;
    }
    HexSaveOutcome outcome;
    if (HexViewSaveImage(Control(), path, format, name, &outcome) == 0) {
        return SaveFailed(dialog, path, outcome);
    }
    SetFile(dialog, path, name, format);
    return true;
}

// The document as raw bytes, by the control's safe save: then it is that file.
bool SaveBinary(HWND dialog, const char* path, const char* name) {
    HexSaveOutcome outcome;
    if (HexViewSaveFile(Control(), path, &outcome) == 0) return SaveFailed(dialog, path, outcome);
    SetFile(dialog, path, name, ImageFormat::kBinary);
    return true;
}

// Saves the document to path in the format its name gives. False, after saying why, when path
// does not now hold the document and show it.
bool SaveDocument(HWND dialog, const std::string& path, const std::string& name) {
    const std::optional<ImageFormat> format = TextImageFormat(path.c_str());
    return format ? SaveTextImage(dialog, path.c_str(), name.c_str(), *format)
                  : SaveBinary(dialog, path.c_str(), name.c_str());
}

// "Save changes to NAME?" when the document's own file lacks its edits. False when the user
// cancels or the save fails.
bool SaveChangesAsked(HWND dialog) {
    if (gEditor.file.empty() || !HexViewIsModified(Control())) return true;
    const std::string question = "Save changes to " + gEditor.fileName + "?";
    switch (MessageBoxA(dialog, question.c_str(), "Changes Detected", MB_YESNOCANCEL)) {
        case IDYES: return SaveDocument(dialog, std::string(gEditor.file), gEditor.fileName);
        case IDNO: return true;
        default: return false;
    }
}

}  // namespace

// Copies the document into the image buffer; all of it, or nothing when it cannot be read. What
// does not fit the buffer is left out, and the user must hear of it; a document read from a HEX
// or S-record file with data past the buffer commits nothing, as loading that file would.
bool EditorCommit(HWND dialog) {
    if (FormatHasAddresses(gEditor.fileFormat)) {
        std::vector<HexDocRange> data;
        HexViewGetDataRanges(Control(), &data);
        if (!data.empty() && data.back().end > gEditor.size) {
            const auto past = std::find_if(data.begin(), data.end(), [](const HexDocRange& r) {
                return r.end > gEditor.size;
            });
            const std::uint32_t first = std::max<std::uint32_t>(past->start, gEditor.size);
            EditorWarn(dialog,
                       HexEditorCommitRefusal(first, data.back().end - 1, gEditor.size).c_str());
            return false;
        }
    }
    std::vector<unsigned char> bytes;
    if (!ReadCommitted(bytes)) {
        EditorWarn(dialog, "The edited data could not be read. Nothing was committed.");
        return false;
    }
    const bool changes =
        !bytes.empty() && std::memcmp(gEditor.buffer, bytes.data(), bytes.size()) != 0;
    if (changes) {
        std::memcpy(gEditor.buffer, bytes.data(), bytes.size());
        // The owner's checksum of the buffer is out of date.
        if (gEditor.committedMessage != 0) {
            SendMessageA(GetWindow(dialog, GW_OWNER), gEditor.committedMessage, 0, 0);
        }
    }
    const DWORD length = HexViewGetSize(Control());
    if (length > gEditor.size && !FormatHasAddresses(gEditor.fileFormat)) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "The data is %lu bytes long; only its first %lu bytes, as many as the chip "
                      "holds, were committed.",
                      length, gEditor.size);
        EditorWarn(dialog, text);
    }
    return true;
}

bool SettleEdits(HWND dialog) {
    if (!SaveChangesAsked(dialog)) return false;
    if (gEditor.file.empty() && !MayDropChangesPastBuffer(dialog)) return false;
    if (!BufferLacksEdits()) return true;
    const int answer = MessageBoxA(dialog, "Commit changes to the active bin?", "Changes Detected",
                                   MB_YESNOCANCEL);
    return answer == IDNO || (answer == IDYES && EditorCommit(dialog));
}

// A binary file is read where it lies: a file of any size opens at once.
void EditorOpen(HWND dialog) {
    if (!SettleEdits(dialog)) return;
    if (RunFileDialog(dialog, 0, gSavePath, gFileTitle, "Select File To Open...", 0) == 0) return;
    if (const std::optional<ImageFormat> format = TextImageFormat(gSavePath)) {
        return OpenTextImage(dialog, gSavePath, gFileTitle, *format);
    }
    const std::uint32_t changes = gEditor.changes;
    if (HexViewOpenFile(Control(), gSavePath, TRUE, FALSE) != 0) {
        return SetFile(dialog, gSavePath, gFileTitle, ImageFormat::kBinary);
    }
    CannotOpen(dialog, gSavePath, OpenFailure(HexViewGetLastError(Control())));
    // The old document may have had to go before the new file failed.
    if (gEditor.changes != changes) ForgetFile(dialog);
}

void EditorSaveAs(HWND dialog) {
    if (RunFileDialog(dialog, 1, gSavePath, gFileTitle, "Select File To Save...", 0) == 0) return;
    SaveDocument(dialog, gSavePath, gFileTitle);
}

void EditorNew(HWND dialog) {
    if (!SettleEdits(dialog)) return;
    HexViewNew(Control());
    ForgetFile(dialog);
}

// A HEX or S-record file compares by the addresses it gives (its gaps are no differences); any
// other file is read where it lies.
void EditorCompare(HWND dialog) {
    if (RunFileDialog(dialog, 0, gComparePath, gCompareTitle, "Select File To Compare...", 0) ==
        0) {
        return;
    }
    const std::optional<ImageFormat> format = TextImageFormat(gComparePath);
    if (!format) {
        if (HexViewCompareFile(Control(), gComparePath) == 0) {
            CannotOpen(dialog, gComparePath, OpenFailure(HexViewGetLastError(Control())));
        }
        return;
    }
    const EditorTextImage image = ReadEditorTextImage(gComparePath, *format);
    if (!image.taken) return CannotOpen(dialog, gComparePath, image.error);
    if (HexViewCompareImage(Control(), image.image) == 0) {
        CannotOpen(dialog, gComparePath, "There is not enough memory to hold it.");
    }
}

// The hex editor's files and its image buffer: Open, Save As, New and Commit, and the questions
// before a document goes. A binary file is the control's own document (mapped); a HEX or
// S-record file is read by its name, as the programmer window reads it, into a document in
// memory, and saved the same way.
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "document/hex_document.h"
#include "editor/hex_editor_image.h"
#include "editor/hex_editor_state_win.h"
#include "editor/hex_editor_status.h"
#include "hexview/hexview_win.h"
#include "platform/virtual_memory.h"
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

// Makes block (size bytes, handed over) the document, in memory. False when the control could
// not take it: the document is then empty.
bool HandOverDocument(void* block, std::uint32_t size) {
    HexViewNew(Control());
    if (HexViewSetBuffer(Control(), block, size) == 0) return false;
    HexViewResetView(Control());
    return true;
}

// A HEX or S-record file as the document: its bytes from address 0, gaps FF. A file that is
// refused leaves the document as it was.
void OpenTextImage(HWND dialog, const char* path, const char* name, ImageFormat format) {
    EditorTextImage image = ReadEditorTextImage(path, format);
    void* block = image.taken ? AllocateMemory(image.span) : nullptr;
    if (block == nullptr) {
        CannotOpen(dialog, path,
                   image.taken ? "There is not enough memory to hold it." : image.error);
        return;
    }
    image.image.CopyOut(0, image.span, 0xFF, static_cast<std::uint8_t*>(block));
    if (!HandOverDocument(block, image.span)) {
        CannotOpen(dialog, path, "There is not enough memory to hold it.");
        return ForgetFile(dialog);
    }
    SetFile(dialog, path, name, format);
}

// The bytes "Commit Changes" copies: the document's, up to the buffer's size. False when they
// cannot all be read (a file window that cannot be mapped).
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

// The document as a HEX or S-record file. Saved under a new name, the file's bytes become the
// document (in memory), as opening the file again would give them.
bool SaveTextImage(HWND dialog, const char* path, const char* name, ImageFormat format) {
    const DWORD size = HexViewGetSize(Control());
    std::string why = EditorTextImageRefusal(format, size);
    void* block = nullptr;
    if (why.empty() && size > 0) {
        block = AllocateMemory(size);
        if (block == nullptr) {
            why = "There is not enough memory to write it.";
        } else if (HexViewReadData(Control(), 0, block, size) == nullptr) {
            why = "The edited data could not be read.";
        }
    }
    if (why.empty()) {
        why =
            WriteEditorTextImage(path, format, static_cast<const std::uint8_t*>(block), size, name);
    }
    if (!why.empty()) {
        ReleaseMemory(block);
        const std::string text =
            std::string("The buffer could not be saved to ") + path + ". " + why;
        EditorWarn(dialog, text.c_str());
        return false;
    }
    if (lstrcmpiA(path, gEditor.file.c_str()) == 0) {
        ReleaseMemory(block);
        HexViewSetModified(Control(), 0);
    } else if (!HandOverDocument(block, size)) {
        const std::string text = std::string("The data is saved to ") + path +
                                 ", but there is not enough memory to "
                                 "show it again. Open the file to go on editing it.";
        EditorWarn(dialog, text.c_str());
        ForgetFile(dialog);
        return false;
    }
    SetFile(dialog, path, name, format);
    return true;
}

// Why a saved file could not become the document again.
const char* ReopenFailure(DWORD error) {
    switch (error) {
        case kHexSharingViolation: return "another program is using it";
        case kHexNoMemory: return "there is not enough memory to open it";
        default: return "it could not be opened";
    }
}

// The document as raw bytes, by the control's safe save: then it is that file.
bool SaveBinary(HWND dialog, const char* path, const char* name) {
    const std::uint32_t changes = gEditor.changes;
    if (HexViewSaveFile(Control(), path) != 0) {
        SetFile(dialog, path, name, ImageFormat::kBinary);
        return true;
    }
    // Only a save that had to let go of the document notifies a change when it fails.
    const bool closed = gEditor.changes != changes;
    char kept[MAX_PATH];
    char text[3 * MAX_PATH + 160];
    if (!HexViewGetKeptFile(Control(), kept, sizeof kept)) {
        std::snprintf(text, sizeof text, "The buffer could not be saved to %s.", path);
    } else if (lstrcmpiA(kept, path) == 0) {
        // The file holds the data: the save worked, and the user must not think otherwise.
        std::snprintf(text, sizeof text,
                      "The data is saved to %s, but the editor could not open it again: %s.%s",
                      path, ReopenFailure(HexViewGetLastError(Control())),
                      closed ? " Open the file to go on editing it." : "");
    } else {
        std::snprintf(text, sizeof text,
                      "Saving to %s did not complete. The edited data is kept in %s.", path, kept);
    }
    EditorWarn(dialog, text);
    if (closed) ForgetFile(dialog);
    return false;
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
// does not fit the buffer is left out, and the user must hear of it.
bool EditorCommit(HWND dialog) {
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
    if (length > gEditor.size) {
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

// A binary file is mapped: a file of any size opens at once.
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

// A HEX or S-record file compares by its data as Open would show it (from address 0, gaps FF);
// any other file is mapped and compared where it lies.
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
    EditorTextImage image = ReadEditorTextImage(gComparePath, *format);
    std::vector<std::uint8_t> bytes;
    if (image.taken) {
        try {
            bytes.resize(image.span);
        } catch (const std::bad_alloc&) {
            image.taken = false;
            image.error = "There is not enough memory to hold it.";
        }
    }
    if (image.taken) {
        image.image.CopyOut(0, image.span, 0xFF, bytes.data());
        if (HexViewCompareData(Control(), bytes.data(), image.span) != 0) return;
        image.error = "There is not enough memory to hold it.";
    }
    CannotOpen(dialog, gComparePath, image.error);
}

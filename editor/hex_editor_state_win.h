// The open hex editor's state and what its source files share: hex_editor_dialog_win.cpp (the
// dialog, its layout, status bar, notifications and commands) and hex_editor_files_win.cpp
// (opening, saving and committing, and the questions before a document goes). Window thread
// only; there is one editor at a time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "formats/image_formats.h"

struct EditorState {
    unsigned char* buffer = nullptr;  // the image buffer, borrowed from the owner
    DWORD size = 0;                   // bytes of it being edited
    UINT committedMessage = 0;        // for the owner after a commit that changed the buffer
    HWND control = nullptr;           // the HexView32
    HWND status = nullptr;            // the status bar
    int clientWidth = 0;              // from the last WM_SIZE
    int clientHeight = 0;
    HACCEL accelerators = nullptr;
    HHOOK messageFilter = nullptr;  // applies the accelerators inside the owner's dialog loop
    bool notice = false;            // part 0 holds a run's progress or how it ended
    bool scanDonePending = false;   // a run ended while another dialog of the editor was open
    // The document's own file: where it was opened from or last saved to; empty for the copy of
    // the buffer and after New. A HEX or S-record file's bytes are held in memory; a binary
    // file is the control's own (read where it lies).
    std::string file;
    std::string fileName;  // its name without folders, for the caption and the questions
    ImageFormat fileFormat = ImageFormat::kBinary;
    // HVN_CHANGED notifications so far: an open that fails after the document had to go sends
    // one, and only then.
    std::uint32_t changes = 0;
};
extern EditorState gEditor;

constexpr char kEditorCaption[] = "Hex Editor";

void EditorWarn(HWND dialog, const char* text, const char* caption = kEditorCaption);
void ShowMode();
// "<file name> - Hex Editor", or "Hex Editor" when the document has no file.
void ShowFileCaption(HWND dialog);

// hex_editor_files_win.cpp
// Copies the document into the image buffer; false when it cannot be read (nothing changes).
bool EditorCommit(HWND dialog);
// Asks what the user wants done with edits before the document goes (Close, New, Open):
// "Save changes to NAME?" when its own file lacks them, then whether to commit what the image
// buffer lacks. False when the user would rather keep the document, or a save or commit failed.
bool SettleEdits(HWND dialog);
void EditorOpen(HWND dialog);
void EditorSaveAs(HWND dialog);
void EditorNew(HWND dialog);
// Search/Compare with File: asks for the file and starts the control's compare with it.
void EditorCompare(HWND dialog);

// The hex editor: a modeless, resizable dialog (template 102, menu 134) that edits a private
// copy of the programmer window's image buffer in a HexView32 control, with a five-part status
// bar. The image buffer changes only when the user commits; its owner window is disabled while
// the editor is open. Window thread only; one editor at a time.
#pragma once

#include <windows.h>

// The open editor, null when none is open.
extern HWND gHexEditorWindow;

// What the editor edits: the image buffer (borrowed: it must outlive the editor, which the
// disabled owner guarantees) and how many of its bytes, the selected chip's size.
struct HexEditorRequest {
    unsigned char* buffer;
    DWORD size;
    // Sent to the owner after a commit that changed the buffer (0: none), with no parameters.
    UINT committedMessage = 0;
};

// Opens the editor over owner on a copy of the request's bytes; the editor, or null when it
// could not be opened (it then has said why, and nothing changed).
HWND OpenHexEditor(HWND owner, const HexEditorRequest& request);

INT_PTR CALLBACK HexEditorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Turns the editor's keys into its commands: Ctrl+X, Ctrl+C, Ctrl+V (Cut, Copy, Paste), Ctrl+A
// (Select All), Ctrl+F (Find), F3 and Shift+F3 (Find Next, Find Previous), F6 and Shift+F6
// (Next and Previous Difference), Ctrl+G (Go To) and Escape (stops a run, or else closes). The
// editor applies it to the messages of the dialog loop that runs it (through a message filter); a
// host with a message loop of its own calls it before dispatching. True when translated.
[[nodiscard]] bool HexEditorTranslateAccelerator(MSG* msg);

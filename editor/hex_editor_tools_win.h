// The hex editor's tool dialogs: Go To, Find, Fill Selection and Checksum (templates 140 to
// 143), modal over the editor. Each checks what the user typed with the control's portable
// parsers and, when it is not usable, says why and keeps the dialog open with the text as it
// was; the editor runs the command on the control afterwards. Window thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hexview/hexview_win.h"

// The Go To box's text (kept from one use to the next); true with the offset (0 .. size)
// when the user pressed OK.
bool RunGotoDialog(HWND owner, std::uint32_t caret, std::uint32_t size, std::string& text,
                   std::uint32_t* offset);

// What the Find dialog asks, kept from one use to the next.
struct HexFindRequest {
    std::string text;
    bool textMode = false;  // else hex pairs with ??
    bool ignoreCase = false;
    bool backward = false;
};
// True when the user pressed OK with a usable pattern; request then holds it.
bool RunFindDialog(HWND owner, HexFindRequest& request);
// The request as HexViewFind flags.
DWORD HexFindFlags(const HexFindRequest& request);

// The Fill box's text (kept); true with the bytes to fill count bytes from first with.
bool RunFillDialog(HWND owner, std::uint32_t first, std::uint32_t count, std::string& text,
                   std::vector<std::uint8_t>* bytes);

// Shows the results of a finished checksum run (HVSO_DONE) over a document of docSize bytes;
// their text can be selected, and copied with a button.
void RunChecksumDialog(HWND owner, const HexViewScanInfo& info, std::uint32_t docSize);

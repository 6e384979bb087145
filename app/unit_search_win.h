// Looking for the programmer off the window thread: at start-up and when a port arrives on a
// thread of its own, so that the window appears at once and a port that is slow to open never
// freezes it; and before each operation on the operation's worker (device/unit_presence.h). Each
// holds the link (LinkHold) while it looks.
#pragma once

#include <windows.h>

#include <cstddef>

#include "app/unit_lines.h"
#include "device/kvtandrel.h"
#include "device/unit_presence.h"

// What a search tells the window that asked: wParam the UnitSearchWhen, lParam a
// const UnitPresence* valid while the message is handled. A search of its own thread posts it
// when it is done (the window then takes the link back with FinishUnitSearch); the check before
// an operation sends it when it had to look or was stopped, still holding the link.
constexpr UINT MSG_UNIT_SEARCH_DONE = WM_APP + 0x71;

// Starts a search on a thread of its own, which takes the hold from link: every port, in the usual
// order with the unit's port after COM1 to COM5; or onlyPort alone when not null. False when no
// thread could be started (link then still holds). Window thread; one search at a time.
bool StartUnitSearch(LinkHold& link, HWND window, UnitSearchWhen when, const char* onlyPort);
// The hold back from a search that has posted its result (or from none: an empty hold).
[[nodiscard]] LinkHold FinishUnitSearch();
// Stops a search and waits for its thread to end, however long its last step takes: the hold
// back (empty when no search ran). For a window destroyed while it looks.
[[nodiscard]] LinkHold EndUnitSearch(UnitLink& link);

// On the operation's worker, before the device call: EnsureUnit, telling the window (sent) when
// it had to look or was stopped. The unit is ready for the operation when the result says so.
[[nodiscard]] UnitPresence CheckUnitBeforeOperation(const LinkHold& link, HWND window);

// The COM port named by a WM_DEVICECHANGE that tells of its arrival (DBT_DEVICEARRIVAL of a
// DBT_DEVTYP_PORT) into name; false for any other change or port.
bool ArrivedComPort(WPARAM event, LPARAM data, char* name, std::size_t size);

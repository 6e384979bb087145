// Looking for the programmer off the window thread: at start-up and when a port arrives on a
// thread of its own, so that the window appears at once and a port that is slow to open never
// freezes it; and before each operation on the operation's worker (device/unit_presence.h).
#pragma once

#include <windows.h>

#include <cstddef>

#include "app/unit_lines.h"
#include "device/kvtandrel.h"
#include "device/unit_presence.h"

// What a search tells the window that asked: wParam the UnitSearchWhen, lParam a
// const UnitPresence* valid while the message is handled. A search of its own thread posts it
// (the result stays valid until the window has handled it: no other search starts before); the
// check before an operation sends it, only when it had to look, and runs the operation when the
// unit is ready.
constexpr UINT MSG_UNIT_SEARCH_DONE = WM_APP + 0x71;

// Starts a search on a thread of its own: every port, the usual order with lastPort (may be
// null) after COM1 to COM5; or onlyPort alone when not null. False when no thread could be
// started. Window thread; one search at a time.
bool StartUnitSearch(KVTandrel& device, HWND window, UnitSearchWhen when, const char* lastPort,
                     const char* onlyPort);
// Whether the thread of StartUnitSearch still runs.
bool UnitSearchRunning();
// Stops a search (at the next port) and waits up to milliseconds for its thread: true when none
// runs any more. For closing; a thread still running then must not outlive the process's use of
// the device.
bool EndUnitSearch(KVTandrel& device, DWORD milliseconds);

// What the window knows before it starts an operation's worker: the unit found last (none:
// known.ready() is false) and the port it was on. Window thread, while no worker runs.
void SetKnownUnit(const UnitPresence& known, const char* lastPort);
// On the operation's worker, before the device call: EnsureUnit with what the window knows,
// telling the window (sent) when it had to look. True when the unit is ready.
bool CheckUnitBeforeOperation(KVTandrel& device, HWND window);

// The COM port named by a WM_DEVICECHANGE that tells of its arrival (DBT_DEVICEARRIVAL of a
// DBT_DEVTYP_PORT) into name; false for any other change or port.
bool ArrivedComPort(WPARAM event, LPARAM data, char* name, std::size_t size);

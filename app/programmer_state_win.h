// The programmer window's state and what its two source files share: programmer_window_win.cpp
// (initialisation, the controls, the commands that start work) and programmer_results_win.cpp
// (what the log says when a search or an operation has ended). Window thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "app/operations_win.h"
#include "app/unit_search_win.h"
#include "device/unit_presence.h"

inline constexpr char kSeparator[] = "-----------------------------------";
inline constexpr UINT MSG_BUFFER_COMMITTED = WM_APP + 0x72;  // the editor changed the buffer

// Who has the link while the window does not.
enum class LinkAway {
    kNo,         // the window holds it: idle
    kSearch,     // a search of its own thread: the files can be worked on, the window closed
    kOperation,  // an operation's worker, which also owns the requests and the image buffer
};

// The window's state beside the settings record.
struct ProgrammerState {
    std::unique_ptr<std::uint8_t[]> image;  // the image buffer, kImageBufferSize bytes
    std::int32_t chipSize = 0;              // size of the selected chip type
    // The link and the unit the work is on, while the window holds them. Every search and
    // operation takes it along and gives it back with its last message: without it nothing
    // can start.
    LinkHold link;
    LinkAway away = LinkAway::kNo;
    bool closing = false;       // Close was pressed while a search had the link
    char searchPort[25] = {};   // the port that arrived, for the search there
    bool syncArmed = true;      // false while the range synchronisation writes a box itself
    bool controlsBusy = false;  // the operation controls are greyed
    int writingBoxes = 0;       // the window itself is writing an address box
    // The chip start box holds the address that the last file's records gave it; the user's
    // typing takes it over. Kept across a restart.
    bool chipStartFromFile = false;
    bool verifyingProgram = false;  // the running verify checks what Program just wrote
};
extern ProgrammerState gState;

// One request for program and read, one for everything else; reused, never freed.
extern OperationRequest gTransferRequest;
extern OperationRequest gOtherRequest;

// programmer_window_win.cpp
void CopyBoxesToSettings(HWND dialog);
bool Checked(HWND dialog, int id);
// Starts a verify of a range (the controls already busy): byte by byte, or by the unit's
// checksums when "Quick Verify" is checked. False when it could not start.
bool StartVerify(HWND dialog, std::int32_t chipType, std::int32_t chipAddress, std::int32_t length,
                 std::uint8_t* buffer, bool afterProgram);
// Programs the transfer request's range again, the whole of it as usual, after programming only
// what differs could not (the controls already busy). False when it could not start.
bool StartWholeProgram(HWND dialog);

// programmer_results_win.cpp
// A completion message: takes the link back from the request that ran and logs the result.
void OnCompletion(HWND dialog, UINT message, WPARAM run, std::int32_t r);
// MSG_UNIT_SEARCH_DONE: logs what a search found; a search of its own thread gives the link back.
void OnUnitSearchDone(HWND dialog, UnitSearchWhen when, const UnitPresence& found);
// The editor committed changes: the checksum line of the buffer range.
void OnBufferCommitted(HWND dialog);

// Operation requests: one chip operation runs on a worker thread so that the programmer
// window keeps painting its progress bar and can take a cancel request.
#pragma once

#include <windows.h>

#include <cstdint>

#include "device/changed_write.h"
#include "device/unit_presence.h"

enum OperationCode : std::int32_t {
    OP_PROGRAM = 1,
    OP_READ = 2,
    OP_VERIFY = 3,
    OP_QUICK_VERIFY = 4,
    OP_ERASE = 5,
    OP_BLANK_CHECK = 6,
    OP_ERASE_SECTOR = 7,
    OP_BLANK_CHECK_SECTOR = 8,
};

// Completion messages: the first parameter is 0, the second the device call's result; or the
// first is kOperationNotRun when the unit was not there to run it on (the worker has said why
// with MSG_UNIT_SEARCH_DONE). Either way the link's hold is back in the request.
constexpr UINT MSG_PROGRAM_DONE = WM_APP + 0x65;
constexpr UINT MSG_READ_DONE = WM_APP + 0x66;
constexpr UINT MSG_VERIFY_DONE = WM_APP + 0x67;
constexpr UINT MSG_ERASE_DONE = WM_APP + 0x68;
constexpr UINT MSG_BLANK_CHECK_DONE = WM_APP + 0x69;
constexpr UINT MSG_SECTOR_ERASE_DONE = WM_APP + 0x6A;
constexpr UINT MSG_SECTOR_BLANK_CHECK_DONE = WM_APP + 0x6B;
static_assert(MSG_PROGRAM_DONE == 32869 && MSG_SECTOR_BLANK_CHECK_DONE == 32875);
constexpr WPARAM kOperationNotRun = 1;

// The worker's progress reaches the bar through the window thread, at the screen's pace
// (app/progress_relay.h): now and then the worker posts (or, rarely, sends) this message to the
// reply window, which answers it, once more a pace later (for changes held back meanwhile), and
// every completion message, with ShowOperationProgress.
constexpr UINT MSG_OPERATION_PROGRESS = WM_APP + 0x70;

// What the worker thread needs to run one operation. Filled on the window thread while it holds
// the link, which it then moves into `device`: the worker holds it until its completion message
// has been handled. A handler fills only what its operation uses; the rest keeps what an earlier
// operation left.
struct OperationRequest {
    LinkHold device;             // the link to the one device object
    HWND replyWindow;            // receives completionMessage
    UINT completionMessage;
    std::int32_t operation;      // OperationCode
    std::int32_t length;         // bytes: chip end - chip start + 1
    std::int32_t chipAddress;    // chip start address
    std::int32_t chipType;
    std::uint8_t* buffer;        // image buffer + buffer start
    HWND progressWindow;         // the text progress bar
    HWND logWindow;              // the log pane (program and read only; read by nobody)
    std::int32_t reserved;
    std::int32_t sector;         // 0..7 for the sector operations
    // Program: only the blocks that differ from the chip ("Program only what differs"); a
    // verify: the one after such a program, which programs what the checksums missed.
    bool changedOnly;
};

// The thread routine: makes sure the unit is there (CheckUnitBeforeOperation, which tells the
// window when it had to look for it), runs the request's device call, then sends
// (synchronously) its completion message with the result, or with kOperationNotRun. An
// operation code outside 1..8 sends no completion. Always returns 1.
DWORD WINAPI OperationThread(LPVOID request);

// Starts the worker thread on request; false when the thread could not be created (the hold is
// then still in the request).
bool StartOperationThread(OperationRequest* request);

// What the last full verify or blank check read of the chip: the verified range, or the chip
// type's or the sector's bytes. Valid from its completion message until the next operation
// starts. Window thread.
const std::uint8_t* OperationReadBack();

// What the last program or verify with changedOnly did (device/changed_write.h). Valid from its
// completion message until the next operation starts. Window thread.
const ChangedReport& OperationChangedReport();

// Brings the request's progress bar up to date with the running (or just ended) operation.
// Window thread.
void ShowOperationProgress();

// How StartOperationThread makes the thread. Tests put a failing one in to see the window cope
// with a thread that cannot be created; null restores CreateThread.
using OperationThreadStarter = bool (*)(OperationRequest* request);
void SetOperationThreadStarter(OperationThreadStarter starter);

#include "app/operations_win.h"

#include <cstring>

#include "app/address_rules.h"
#include "app/progress_relay.h"
#include "app/unit_search_win.h"
#include "device/kvtandrel.h"
#include "device/kvtandrel_win.h"

namespace {

// One operation runs at a time. Both are set on the window thread before its worker starts.
ProgressRelay gProgress(SystemClock());
HWND gProgressBar = nullptr;  // the running request's bar; null: no progress is shown

// A read lands here first: the image buffer takes the chip's bytes only once all of them have
// arrived, so a unit that stops answering, or a cancel, leaves the loaded image as it was. A full
// verify and the blank checks leave what they read here too (OperationReadBack); every chip type
// fits.
std::uint8_t gReadBlock[kImageBufferSize];
ChangedReport gChanged;  // what the last operation with changedOnly did

std::int32_t ReadIntoImage(KVTandrel& device, const OperationRequest& r, ProgressSink* progress) {
    if (r.length < 0 || r.length > kImageBufferSize) return kTandrelBadArgument;
    const std::int32_t result = device.ReadChip(
        r.chipType, gReadBlock, static_cast<std::uint32_t>(r.chipAddress), r.length, progress);
    if (result >= 0) std::memcpy(r.buffer, gReadBlock, static_cast<std::size_t>(r.length));
    return result;
}

std::int32_t RunDeviceCall(const OperationRequest& r, ProgressSink* progress) {
    KVTandrel& device = *r.device;
    auto address = static_cast<std::uint32_t>(r.chipAddress);
    switch (r.operation) {
        case OP_PROGRAM:
            if (r.changedOnly) {
                return device.ProgramChanged({r.chipType, address, r.buffer, r.length, progress},
                                             &gChanged);
            }
            return device.WriteChip(r.chipType, r.buffer, address, r.length, progress);
        case OP_READ: return ReadIntoImage(device, r, progress);
        case OP_VERIFY:
        case OP_QUICK_VERIFY: {
            VerifyRequest verify{
                r.chipType, address, r.buffer, r.length, r.operation == OP_QUICK_VERIFY ? 1 : 0,
                progress};
            // A full verify reads at most the chip type's size.
            if (r.operation == OP_VERIFY) verify.readBack = gReadBlock;
            return r.changedOnly ? VerifyChanged(device, verify, &gChanged)
                                 : device.VerifyChip(verify);
        }
        case OP_ERASE: return device.EraseChip(r.chipType, progress);
        case OP_BLANK_CHECK: return device.BlankCheckChip(r.chipType, progress, gReadBlock);
        case OP_ERASE_SECTOR: return device.EraseSector(r.sector);
        default: return device.BlankCheckSector(r.sector, progress, gReadBlock);
    }
}

}  // namespace

DWORD WINAPI OperationThread(LPVOID parameter) {
    const auto* request = static_cast<const OperationRequest*>(parameter);
    if (request->operation < OP_PROGRAM || request->operation > OP_BLANK_CHECK_SECTOR) return 1;
    // The unit may have gone, been power-cycled, moved or been replaced since the last
    // operation: then the window has been told, and nothing runs.
    if (!CheckUnitBeforeOperation(request->device, request->replyWindow).ready()) {
        SendMessageA(request->replyWindow, request->completionMessage, kOperationNotRun, 0);
        return 1;
    }
    ProgressSink* progress = request->progressWindow != nullptr ? &gProgress : nullptr;
    std::int32_t result = RunDeviceCall(*request, progress);
    SendMessageA(request->replyWindow, request->completionMessage, 0, result);
    return 1;
}

namespace {

bool CreateOperationThread(OperationRequest* request) {
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, &OperationThread, request, 0, &id);
    if (thread == nullptr) return false;
    CloseHandle(thread);  // nobody waits for it: its completion message says it is done
    return true;
}

OperationThreadStarter gStarter = &CreateOperationThread;

}  // namespace

bool StartOperationThread(OperationRequest* request) {
    gProgressBar = request->progressWindow;
    HWND reply = request->replyWindow;
    gProgress.SetNotify([reply](bool now) {
        if (!now) return PostMessageA(reply, MSG_OPERATION_PROGRESS, 0, 0) != FALSE;
        SendMessageA(reply, MSG_OPERATION_PROGRESS, 0, 0);
        return true;
    });
    return gStarter(request);
}

const std::uint8_t* OperationReadBack() {
    return gReadBlock;
}

const ChangedReport& OperationChangedReport() {
    return gChanged;
}

void ShowOperationProgress() {
    if (gProgressBar == nullptr) return;
    WindowProgress bar(gProgressBar);
    gProgress.Drain(bar);
}

void SetOperationThreadStarter(OperationThreadStarter starter) {
    gStarter = starter != nullptr ? starter : &CreateOperationThread;
}

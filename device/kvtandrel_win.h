// KVTandrel in Vorland.exe: the one process-wide object, and progress reports to a window.
#pragma once

#include <windows.h>

#include "device/kvtandrel.h"
#include "device/progress_sink.h"
#include "device/unit_presence.h"

// The programmer link of the process, reached only through its one hold (UnitLink::Take):
// constructed before WinMain runs, destroyed at exit (which closes a held port silently). The
// programmer window holds it while idle and hands it to its search thread and to each
// operation's worker, which give it back when done; the window closes the port when it is
// destroyed.
extern UnitLink gUnitLink;

// Reports progress to a window with the progress bar's messages (PBM_SETRANGE, PBM_SETSTEP,
// PBM_SETPOS, PBM_STEPIT) and WM_SETTEXT, each sent synchronously: from another thread, the
// caller waits until the window's thread has handled it (the programmer window therefore
// replays a worker's progress on its own thread, app/progress_relay.h). The window is borrowed.
//
//     WindowProgress progress(request.progressWindow);
//     hold->ReadChip(type, buffer, address, length, progress.OrNull());
class WindowProgress final : public ProgressSink {
public:
    explicit WindowProgress(HWND window) : window_(window) {}

    void SetRange(std::int32_t minimum, std::int32_t maximum) override;
    void SetStep(std::int32_t step) override;
    void SetPos(std::int32_t position) override;
    void StepIt() override;
    void SetText(const char* text) override;

    // This sink, or null when there is no window: the device then reports no progress.
    ProgressSink* OrNull() { return window_ != nullptr ? this : nullptr; }

private:
    HWND window_;
};

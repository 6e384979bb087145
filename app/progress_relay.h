// Progress of a chip operation, carried from the worker thread to the window thread at the
// screen's pace. Portable; the window glue is operations_win.cpp.
//
// A transfer reports twice per 256-byte block (the address text and a step). Were each report a
// synchronous window message, the worker would wait for a cross-thread send and a repaint every
// time: at 921600 baud that is a fifth of the transfer. Instead the worker's calls only note
// what the bar is to show, under a lock, and now and then (at most every kProgressPaceMs, and
// never while an earlier notice is unanswered) the relay asks the window thread to Drain,
// which replays onto the real bar what changed since. So the bar follows the operation as it
// goes, the worker never waits for it, and once the operation has ended a last Drain leaves the
// bar exactly as the calls would have left it one by one.
//
// Threading: the ProgressSink calls come from one worker thread at a time; Drain from the
// window thread. SetNotify only while no operation runs.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "device/progress_sink.h"
#include "platform/clock.h"

// About a frame of a slow screen: often enough to look live, rarely enough to cost nothing.
inline constexpr std::uint32_t kProgressPaceMs = 30;

class ProgressRelay final : public ProgressSink {
  public:
    // How the relay asks for a Drain on the window thread. now false: ask and return at once
    // (true when the request was queued); now true: return once the Drain has happened.
    using Notify = std::function<bool(bool now)>;

    explicit ProgressRelay(Clock& clock) : clock_(clock) {}  // clock borrowed

    void SetNotify(Notify notify) { notify_ = std::move(notify); }

    void SetRange(std::int32_t minimum, std::int32_t maximum) override;
    void SetStep(std::int32_t step) override;
    void SetPos(std::int32_t position) override;
    void StepIt() override;
    void SetText(const char* text) override;

    // Replays onto bar, in an order that gives the same result, every call noted since the
    // last Drain. Window thread.
    void Drain(ProgressSink& bar);

  private:
    // What the calls since the last Drain amount to: range, step, position, then `steps` steps
    // from there, and the text, which depends on none of the others.
    struct Pending {
        bool hasRange = false;
        std::int32_t minimum = 0;
        std::int32_t maximum = 0;
        bool hasStep = false;
        std::int32_t step = 0;
        bool hasPosition = false;
        std::int32_t position = 0;
        std::int32_t steps = 0;  // StepIt calls after the position (or the bar's own)
        bool hasText = false;
        char text[64] = "";
    };

    // A step counts with the range and step in force when it was made: a range or step change
    // behind pending steps has them shown first.
    void SettleSteps();
    // Asks for a Drain when the pace allows; call without the lock held.
    void NoteChange();

    Clock& clock_;
    Notify notify_;
    std::mutex lock_;  // guards everything below
    Pending pending_;
    bool noticeOut_ = false;        // a Drain was asked for and has not happened yet
    std::uint32_t lastNotice_ = 0;  // tick of the last request
    bool everNoticed_ = false;
};

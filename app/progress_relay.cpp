#include "app/progress_relay.h"

#include "platform/text.h"

void ProgressRelay::SetRange(std::int32_t minimum, std::int32_t maximum) {
    SettleSteps();
    {
        std::lock_guard<std::mutex> hold(lock_);
        pending_.hasRange = true;
        pending_.minimum = minimum;
        pending_.maximum = maximum;
    }
    NoteChange();
}

void ProgressRelay::SetStep(std::int32_t step) {
    SettleSteps();
    {
        std::lock_guard<std::mutex> hold(lock_);
        pending_.hasStep = true;
        pending_.step = step;
    }
    NoteChange();
}

void ProgressRelay::SetPos(std::int32_t position) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        pending_.hasPosition = true;
        pending_.position = position;
        pending_.steps = 0;  // a position replaces whatever the steps before it made
    }
    NoteChange();
}

void ProgressRelay::StepIt() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        ++pending_.steps;
    }
    NoteChange();
}

void ProgressRelay::SetText(const char* text) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        pending_.hasText = true;
        CopyText(pending_.text, sizeof pending_.text, text != nullptr ? text : "");
    }
    NoteChange();
}

void ProgressRelay::Drain(ProgressSink& bar) {
    Pending p;
    {
        std::lock_guard<std::mutex> hold(lock_);
        p = pending_;
        pending_ = Pending{};
        noticeOut_ = false;
    }
    if (p.hasRange) bar.SetRange(p.minimum, p.maximum);
    if (p.hasStep) bar.SetStep(p.step);
    if (p.hasPosition) bar.SetPos(p.position);
    for (std::int32_t i = 0; i < p.steps; ++i) bar.StepIt();
    if (p.hasText) bar.SetText(p.text);
}

void ProgressRelay::SettleSteps() {
    bool stepsPending;
    {
        std::lock_guard<std::mutex> hold(lock_);
        stepsPending = pending_.steps > 0;
    }
    if (stepsPending && notify_) notify_(true);
}

void ProgressRelay::NoteChange() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        const std::uint32_t now = clock_.TickCount();
        if (noticeOut_ || (everNoticed_ && now - lastNotice_ < kProgressPaceMs)) return;
        noticeOut_ = true;
        everNoticed_ = true;
        lastNotice_ = now;
    }
    if (notify_ && notify_(false)) return;
    std::lock_guard<std::mutex> hold(lock_);
    noticeOut_ = false;  // nobody will answer: ask again at the next change
}

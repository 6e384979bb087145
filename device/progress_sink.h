// Where a chip transfer reports its progress: the programmer window's text progress bar in
// Vorland.exe (WindowProgress in kvtandrel_win.h), a recorder in tests.
//
// Every call is synchronous: it returns once the receiver has handled it. The device calls
// these on the worker thread while the window thread serves them.
#pragma once

#include <cstdint>

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // PBM_SETRANGE: each end is carried as an unsigned 16-bit number.
    virtual void SetRange(std::int32_t minimum, std::int32_t maximum) = 0;
    virtual void SetStep(std::int32_t step) = 0;    // PBM_SETSTEP
    virtual void SetPos(std::int32_t position) = 0;  // PBM_SETPOS
    virtual void StepIt() = 0;                       // PBM_STEPIT
    virtual void SetText(const char* text) = 0;      // WM_SETTEXT
};

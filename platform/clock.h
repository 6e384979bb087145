// Time as the programmer link sees it: a millisecond tick and a sleep. Tests substitute a
// virtual clock so that timeouts cost no real time.
#pragma once

#include <cstdint>

class Clock {
public:
    virtual ~Clock() = default;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // Milliseconds since an arbitrary start; wraps around after 2^32 like GetTickCount.
    virtual std::uint32_t TickCount() = 0;
};

// The real clock. Lives for the whole process; safe to use from any thread.
Clock& SystemClock();

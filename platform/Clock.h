// Clock: the multimedia timer of the machine.
//
// TimeGetTime() returns milliseconds as an unsigned 32-bit value that wraps
// after about 49.7 days. Callers compare times only through unsigned 32-bit
// differences, so the wrap does no harm.
#pragma once

#include <cstdint>

uint32_t TimeGetTime();

// A 1 ms resolution of the timer and of sleeping for as long as a holder
// lives (timeBeginPeriod / timeEndPeriod on Windows; POSIX clocks need
// nothing).
class TimerResolutionHold {
public:
    TimerResolutionHold();
    ~TimerResolutionHold();
    TimerResolutionHold(const TimerResolutionHold&) = delete;
    TimerResolutionHold& operator=(const TimerResolutionHold&) = delete;
};

// Blocks the calling thread for about that many milliseconds.
void SleepMilliseconds(uint32_t milliseconds);

// The clock as an object, for code that tests and headless runs drive on
// virtual time.
class MillisecondClock {
public:
    virtual ~MillisecondClock() = default;
    virtual uint32_t Now() = 0;
};

class SystemClock final : public MillisecondClock {
public:
    uint32_t Now() override { return TimeGetTime(); }
};

// Time that moves only when told to; it wraps as the real one does.
class VirtualClock final : public MillisecondClock {
public:
    explicit VirtualClock(uint32_t start = 0) : now_(start) {}
    uint32_t Now() override { return now_; }
    void Set(uint32_t now) { now_ = now; }
    void Advance(uint32_t milliseconds) { now_ += milliseconds; }

private:
    uint32_t now_;
};

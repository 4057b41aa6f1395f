#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// Time and the event pump, as the waits use them. The application uses SystemClock; tests
// use a virtual clock whose time moves only when the code waits.
class Clock {
public:
    virtual ~Clock() = default;

    // Counts per second of the high-resolution counter.
    virtual qint64 frequency() const = 0;
    // Reads the counter; false when the counter is unavailable.
    virtual bool readCounter(qint64& value) = 0;
    // Blocks for whole milliseconds without running window events.
    virtual void sleep(qint64 ms) = 0;
    // Runs the pending window events once, and what they posted in turn, and returns.
    virtual void pumpEvents() = 0;
    // Blocks for about maxNs nanoseconds (no more than a person notices), then runs the
    // events that arrived meanwhile. When it blocked up to maxNs (the caller's deadline),
    // only the devices' events run; timers and the user's input wait for the next pump.
    // Never burns a core while nothing happens.
    virtual void waitForEvents(qint64 maxNs) = 0;
    // Monotonic time in nanoseconds, for the simulated radio and the FTDI read time-out.
    virtual qint64 nowNs() const = 0;
};

class SystemClock : public Clock {
public:
    SystemClock();
    qint64 frequency() const override { return 1'000'000'000; }
    bool readCounter(qint64& value) override;
    void sleep(qint64 ms) override;
    void pumpEvents() override;
    void waitForEvents(qint64 maxNs) override;
    qint64 nowNs() const override { return timer_.nsecsElapsed(); }

private:
    QElapsedTimer timer_;
};

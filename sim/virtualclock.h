#pragma once

#include <QVector>
#include <functional>
#include <map>

#include "core/clock.h"

// Virtual time for tests: it moves only when the code waits, by exactly the time waited,
// so time-outs are exact and a full read or write runs in well under a second. Actions
// can be scheduled at virtual times (a click, a key press on the radio); tickers run after
// every advance (the simulated ports use them to raise their receive events).
class VirtualClock : public Clock {
public:
    qint64 frequency() const override { return frequency_; }
    bool readCounter(qint64& value) override;
    void sleep(qint64 ms) override;
    void pumpEvents() override;
    void waitForEvents(qint64 maxNs) override;
    qint64 nowNs() const override { return now_; }

    // Moves time forward to `ns`, running the actions due on the way, in order.
    void advanceTo(qint64 ns);
    void advanceBy(qint64 ns) { advanceTo(now_ + ns); }
    // Runs `action` when time reaches `ns` (or at once inside the next wait if it has).
    void at(qint64 ns, std::function<void()> action);
    void afterMs(qint64 ms, std::function<void()> action) {
        at(now_ + ms * 1'000'000, std::move(action));
    }
    void addTicker(std::function<void()> ticker) { tickers_.append(std::move(ticker)); }

    // Test controls.
    bool counterFails = false;
    qint64 frequency_ = 10'000'000;  // 100 ns counts
    int pumps = 0;
    // The longest stretch of time that passed while the event loop did not run (a wait
    // runs it throughout): time spent blocked in a call between two waits.
    qint64 longestHeldNs = 0;
    qint64 sleptMs = 0;

private:
    void served();

    qint64 now_ = 0;
    qint64 servedNs_ = 0;  // when the event loop last ran
    std::multimap<qint64, std::function<void()>> actions_;
    QVector<std::function<void()>> tickers_;
};

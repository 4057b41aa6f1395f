#include "sim/virtualclock.h"

#include <QCoreApplication>

bool VirtualClock::readCounter(qint64& value) {
    if (counterFails)
        return false;
    value = static_cast<qint64>(static_cast<double>(now_) * static_cast<double>(frequency_) / 1e9);
    return true;
}

void VirtualClock::sleep(qint64 ms) {
    sleptMs += ms;
    advanceBy(ms * 1'000'000);
}

void VirtualClock::pumpEvents() {
    ++pumps;
    served();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void VirtualClock::served() {
    longestHeldNs = qMax(longestHeldNs, now_ - servedNs_);
    servedNs_ = now_;
}

void VirtualClock::waitForEvents(qint64 maxNs) {
    // A scheduled action (a click, a key on the radio) is an event: the wait ends there.
    qint64 until = now_ + maxNs;
    if (!actions_.empty() && actions_.begin()->first < until)
        until = qMax(now_, actions_.begin()->first);
    served();
    advanceTo(until);
    servedNs_ = now_;
    pumpEvents();
}

void VirtualClock::advanceTo(qint64 ns) {
    while (!actions_.empty() && actions_.begin()->first <= ns) {
        auto it = actions_.begin();
        now_ = qMax(now_, it->first);
        auto action = std::move(it->second);
        actions_.erase(it);
        action();
    }
    now_ = qMax(now_, ns);
    for (const auto& ticker : tickers_)
        ticker();
}

void VirtualClock::at(qint64 ns, std::function<void()> action) {
    actions_.emplace(ns, std::move(action));
}

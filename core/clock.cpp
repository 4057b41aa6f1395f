#include "core/clock.h"

#include <QCoreApplication>
#include <QThread>

namespace {
constexpr qint64 kSliceNs = 50'000'000;
constexpr qint64 kEarlyNs = 1'000'000;
}

SystemClock::SystemClock() {
    timer_.start();
}

bool SystemClock::readCounter(qint64& value) {
    value = timer_.nsecsElapsed();
    return true;
}

void SystemClock::sleep(qint64 ms) {
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

void SystemClock::pumpEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void SystemClock::waitForEvents(qint64 maxNs) {
    // Sleeps, then runs everything that arrived meanwhile in one pass. Waking for each
    // event instead would wake for every few bytes a serial port delivers while the radio
    // streams; a slice of at most 50 ms still answers a person without a delay they notice.
    qint64 sliceNs = qBound<qint64>(1000, maxNs, kSliceNs);
    // The last slice before a deadline ends a moment early, so that what the events bring
    // (a window's drawing after a paced step) is done before the deadline, not after it.
    if (sliceNs == maxNs && maxNs > 2 * kEarlyNs)
        sliceNs -= kEarlyNs;
    QThread::usleep(static_cast<unsigned long>(sliceNs / 1000));
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

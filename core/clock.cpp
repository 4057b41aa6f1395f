#include "core/clock.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <thread>

namespace {
constexpr qint64 kSliceNs = 50'000'000;
// A wait longer than one slice keeps at least this much for its last stretch, so that what
// a pass of events brings (a window's drawing) is done well before the deadline.
constexpr qint64 kLastStretchNs = kSliceNs / 2;
}  // namespace

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
    // What that pass posted (a window's repaint after a label or the trace box changed) is
    // done now too, rather than in the pass at the end of the wait that follows.
    QCoreApplication::sendPostedEvents();
}

void SystemClock::waitForEvents(qint64 maxNs) {
    // Sleeps, then runs everything that arrived meanwhile in one pass. Waking for each
    // event instead would wake for every few bytes a serial port delivers while the radio
    // streams; a slice of at most 50 ms still answers a person without a delay they notice.
    const bool lastStretch = maxNs <= kSliceNs;
    const qint64 sliceNs =
        lastStretch ? qMax<qint64>(maxNs, 1000) : qMin(kSliceNs, maxNs - kLastStretchNs);
    std::this_thread::sleep_for(std::chrono::nanoseconds(sliceNs));
    if (!lastStretch) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // At the deadline the caller goes on with its next step (a paced write sends its next
    // block). A timer's work (a window's paced drawing) is left for the event pump that
    // starts the next wait, so that it never holds up the step. (The Unix event dispatchers
    // honour the timer flag; where one does not, the timers simply run here.) The user's
    // input is taken in here too: left aside, it can stay queued on an X11 connection until
    // more input arrives, and a close of the window by its window manager then waits out the
    // whole transfer and meets the closing box, which drops it.
    QCoreApplication::processEvents(QEventLoop::X11ExcludeTimers);
}

#include "core/clock.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

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
    // Whole milliseconds: a precise single-shot timer bounds a blocking wait that any other
    // event (a click, bytes on the serial port) ends earlier. Qt's timers count whole
    // milliseconds and fire late rather than early, so the last fraction of a millisecond
    // is slept without events: the wait neither spins nor overshoots. The caller pumps the
    // events again before it looks at the time.
    if (maxNs < 1'000'000) {
        QThread::usleep(static_cast<unsigned long>(qMax<qint64>(maxNs / 1000, 1)));
        return;
    }
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(static_cast<int>(qMin<qint64>(maxNs / 1'000'000, 1'000'000)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

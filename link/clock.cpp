#include "link/clock.h"

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
    // A precise single-shot timer bounds the blocking wait; any other event (a click, bytes
    // on the serial port) ends it earlier. Rounding up keeps the wait from returning early
    // and spinning through the last fraction of a millisecond.
    const qint64 ms = qMax<qint64>(1, (maxNs + 999'999) / 1'000'000);
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(static_cast<int>(qMin<qint64>(ms, 1'000'000)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

#include "ui/displaypacer.h"

DisplayPacer::DisplayPacer(std::function<void()> show, QObject* parent)
    : QObject(parent), show_(std::move(show)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &DisplayPacer::now);
}

void DisplayPacer::changed() {
    if (timer_.isActive())
        return;
    const qint64 since = shown_.isValid() ? shown_.elapsed() : kIntervalMs;
    timer_.start(static_cast<int>(qBound<qint64>(0, kIntervalMs - since, qint64(kIntervalMs))));
}

void DisplayPacer::now() {
    timer_.stop();
    shown_.start();
    show_();
}

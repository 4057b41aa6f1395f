#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

// Brings a display up to date at most once per interval while changes keep coming. The
// first change after a quiet spell shows at the next event pass; the ones that follow
// gather until the interval since the last showing has passed. A transfer changes its
// counters and trace up to 60 times a second; drawing them each time would cost more than
// the transfer itself, and nobody reads faster than this.
class DisplayPacer : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 100;

    // `show` brings the display up to date; it is called from the event loop, or by now().
    DisplayPacer(std::function<void()> show, QObject* parent);

    // Something changed: show it in time.
    void changed();
    // Shows at once what is pending, without waiting for the interval.
    void now();

private:
    std::function<void()> show_;
    QTimer timer_;
    QElapsedTimer shown_;
};

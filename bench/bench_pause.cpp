// Prints how much of one core a waiting Pause uses. A wait must sleep until the next
// window event or its deadline, not spin on the counter.
#include <sys/resource.h>
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "core/clock.h"
#include "transfer/appcontext.h"

namespace {
double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    SystemClock clock;
    Services services;
    services.clock = &clock;
    AppContext ctx(services);

    struct Case {
        int ms;
        int repeats;
    };
    std::printf("%-12s %8s %10s %10s %12s\n", "wait", "repeats", "wall s", "cpu s", "cpu % core");
    for (const Case c : {Case{1000, 3}, Case{50, 40}, Case{5, 400}}) {
        const double cpu0 = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        for (int i = 0; i < c.repeats; ++i)
            ctx.Pause(c.ms);
        const double w = wall.nsecsElapsed() / 1e9;
        const double cpu = cpuSeconds() - cpu0;
        std::printf("Pause(%-4d)  %8d %10.3f %10.4f %11.2f%%\n", c.ms, c.repeats, w, cpu,
                    100.0 * cpu / w);
        std::printf("             mean overshoot per wait: %.3f ms\n",
                    (w * 1000.0 - double(c.ms) * c.repeats) / c.repeats);
    }
    return 0;
}

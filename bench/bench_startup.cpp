// Prints how long the application takes from process start to its main window shown: the
// median of five starts, with and without --demo, each with a fresh configuration file.
//
//   build/rel/bench/bench_startup [path-to-quorlink]    (Release build; offscreen by default)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 5;

// One start: milliseconds until the program reports its main window shown, -1 on failure.
double startOnce(const QString& program, const QStringList& args) {
    QTemporaryDir dir;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QUORLINK_CONFIG"), dir.filePath(QStringLiteral("Quorlink.ini")));
    env.insert(QStringLiteral("QUORLINK_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    double ms = -1;
    while (process.waitForReadyRead(10000)) {
        if (process.readAll().contains("shown")) {
            ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            break;
        }
    }
    process.waitForFinished(10000);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString program =
        argc > 1 ? QString::fromLocal8Bit(argv[1])
                 : QCoreApplication::applicationDirPath() + QStringLiteral("/../quorlink");
    if (!QFileInfo(program).isExecutable()) {
        std::fprintf(stderr, "bench_startup: no program at %s\n", qPrintable(program));
        return 2;
    }
    const std::vector<std::pair<const char*, QStringList>> cases = {
        {"plain", {}}, {"--demo", {QStringLiteral("--demo")}}};
    std::printf("start-up to main window shown, median of %d (%s)\n", kRuns,
                qPrintable(QFileInfo(program).canonicalFilePath()));
    for (const auto& [name, args] : cases) {
        std::vector<double> times;
        for (int i = 0; i < kRuns; ++i)
            times.push_back(startOnce(program, args));
        if (std::count(times.begin(), times.end(), -1.0) > 0) {
            std::printf("%-8s failed: the program did not report its window\n", name);
            return 1;
        }
        std::sort(times.begin(), times.end());
        std::printf("%-8s median %.0f ms (min %.0f, max %.0f)\n", name, times[kRuns / 2],
                    times.front(), times.back());
    }
    return 0;
}

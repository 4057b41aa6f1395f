// bench_transfer: one full read and one full write through the application's own code
// (the main window's handlers, the system clock, QSerialPort) against the quorlink-radio
// program on a pseudo-terminal, which paces its bytes at 38400 baud. Prints, for each, the
// wall time against the least time the protocol allows, the CPU this process used, and the
// peak memory.
//
//   bench_transfer [path/to/quorlink-radio]
//
// Without an argument the radio program is looked for next to this program's build
// directory. The prompt's [BAND] is pressed by the benchmark; every box is answered OK.
// Then the same read and write through the command line (the quorlink program next to the
// radio program, run as a child; its CPU is the child's own).
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "app/form1.h"
#include "clone/appcontext.h"
#include "clone/cloneimage.h"
#include "core/clock.h"
#include "core/settings.h"
#include "link/libftdi_d2xx.h"
#include "link/link.h"
#include "link/qtserialcontrol.h"
#include "ui/frmmessages.h"
#include "ui/messagebox.h"

#include <sys/resource.h>

namespace {

constexpr int kCom = 7;
constexpr double kBaud = 38400.0;
constexpr double kBitsPerByte = 10.0;  // start, 8 data, stop
constexpr double kOpenPauseS = 0.5;    // SetCommPort's pause after the open
constexpr double kSettlePauseS = 0.5;  // the transfer's own pause before its first purge

class OkBoxes : public MessageBoxes {
public:
    MsgAnswer show(const QString&, MsgButtons, MsgIcon) override { return MsgAnswer::Ok; }
};

struct Usage {
    double cpuS = 0;
    long maxRssKiB = 0;
};

// This process's use, or (RUSAGE_CHILDREN) that of its children that have ended.
Usage usageNow(int who = RUSAGE_SELF) {
    rusage ru{};
    getrusage(who, &ru);
    Usage u;
    u.cpuS = double(ru.ru_utime.tv_sec) + double(ru.ru_utime.tv_usec) / 1e6 +
             double(ru.ru_stime.tv_sec) + double(ru.ru_stime.tv_usec) / 1e6;
    u.maxRssKiB = ru.ru_maxrss;
    return u;
}

QString findRadioProgram(const QStringList& args) {
    if (args.size() > 1)
        return args.at(1);
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {here.filePath(QStringLiteral("../quorlink-radio")),
                                     here.filePath(QStringLiteral("quorlink-radio"))}) {
        if (QFileInfo(candidate).isExecutable())
            return QFileInfo(candidate).canonicalFilePath();
    }
    return QString();
}

// Runs `quorlink ARGS` to its end, pressing [BAND] on the radio when it asks; the wall time
// in seconds, or a negative value when it failed.
double runCommandLine(const QString& program, const QStringList& args, QProcess& radio) {
    QProcess cli;
    // The prompts come on standard error: merged, they wake the wait below at once.
    cli.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    cli.start(program, args);
    QByteArray err;
    bool asked = false;
    while (cli.state() != QProcess::NotRunning) {
        cli.waitForReadyRead(1000);
        err += cli.readAll();
        if (!asked && err.contains("Press [BAND]")) {
            asked = true;
            radio.write("band\n");
            radio.waitForBytesWritten(1000);
        }
    }
    cli.waitForFinished(-1);
    const double wallS = double(timer.nsecsElapsed()) / 1e9;
    if (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
        std::fprintf(stderr, "bench_transfer: quorlink %s failed: %s\n", qPrintable(args.join(' ')),
                     (err + cli.readAll()).constData());
        return -1;
    }
    return wallS;
}

void report(const char* what, double wallS, double floorS, const char* formula, const Usage& before,
            const Usage& after, double target, double cpuTarget = 5.0) {
    const double cpuS = after.cpuS - before.cpuS;
    const double ratio = wallS / floorS;
    const double cpuPercent = 100.0 * cpuS / wallS;
    std::printf("%s\n", what);
    std::printf("  wall time        %8.3f s\n", wallS);
    std::printf("  floor            %8.3f s   = %s\n", floorS, formula);
    std::printf("  wall / floor     %8.4f     (target <= %.2f: %s)\n", ratio, target,
                ratio <= target ? "met" : "MISSED");
    std::printf("  CPU (this proc)  %8.3f s   = %.2f %% of wall (target <= %.1f %%: %s)\n", cpuS,
                cpuPercent, cpuTarget, cpuPercent <= cpuTarget ? "met" : "MISSED");
    std::printf("  peak memory      %8ld KiB (ru_maxrss)\n", after.maxRssKiB);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const QString radioProgram = findRadioProgram(QCoreApplication::arguments());
    if (radioProgram.isEmpty()) {
        std::fprintf(stderr, "bench_transfer: quorlink-radio not found; give its path\n");
        return 2;
    }
    QProcess radio;
    radio.start(radioProgram, {});
    if (!radio.waitForStarted(5000)) {
        std::fprintf(stderr, "bench_transfer: cannot start %s\n", qPrintable(radioProgram));
        return 2;
    }
    QDeadlineTimer deadline(10000);
    while (!radio.canReadLine() && !deadline.hasExpired())
        radio.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
    const QString first = QString::fromLocal8Bit(radio.readLine()).trimmed();
    if (!first.startsWith(QLatin1String("PTY "))) {
        std::fprintf(stderr, "bench_transfer: the radio said \"%s\"\n", qPrintable(first));
        return 2;
    }

    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("Quorlink.ini")));
    // The read's automatic backups stay in the run's own folder.
    settings.set(QStringLiteral("Backups"), QStringLiteral("Folder"),
                 dir.filePath(QStringLiteral("backups")));
    SystemClock clock;
    OkBoxes boxes;
    QtPortFactory ports(&settings);
    std::unique_ptr<D2xx> d2xx = createLibFtdiD2xx();
    Services services;
    services.clock = &clock;
    services.boxes = &boxes;
    services.settings = &settings;
    services.ports = &ports;
    services.d2xx = d2xx.get();
    AppContext ctx(services);
    ctx.quitApplication = [] {};
    Form1 form(ctx);
    ports.map().setSessionMapping(kCom, first.mid(4));
    ctx.state.link.PortNumber = kCom;
    QObject::connect(&form.frmMessages(), &FrmMessages::lookingForRigShown, &radio,
                     [&radio] { radio.write("band\n"); });

    std::printf("radio: %s on %s (COM%d)\n\n", qPrintable(radioProgram), qPrintable(first.mid(4)),
                kCom);

    // The read.
    Usage before = usageNow();
    QElapsedTimer timer;
    timer.start();
    form.cmdRead->click();
    double wallS = double(timer.nsecsElapsed()) / 1e9;
    const double windowReadS = wallS;
    Usage after = usageNow();
    if (!ctx.clone.image.isValid()) {
        std::fprintf(stderr, "bench_transfer: the read failed; see the trace\n");
        return 1;
    }
    const int streamBytes = CloneLayout::kIdentitySize + CloneLayout::kDataSize + 1;
    const double readFloorS = streamBytes * kBitsPerByte / kBaud + kOpenPauseS + kSettlePauseS;
    report("Read (65227 bytes from the radio)", wallS, readFloorS,
           "65227 bytes x 10 bits / 38400 baud + 0.5 s open pause + 0.5 s settle pause", before,
           after, 1.03);

    // The write of what was read.
    before = usageNow();
    timer.restart();
    form.cmdWriteRig->click();
    wallS = double(timer.nsecsElapsed()) / 1e9;
    after = usageNow();
    const double delayS = ctx.link().handshakeDelay() / 1000.0;
    const double writeFloorS = CloneLayout::kBlockCount * delayS + kSettlePauseS + delayS +
                               2 * delayS + delayS + kOpenPauseS;
    char formula[200];
    std::snprintf(formula, sizeof formula,
                  "1019 x %d ms + 500 + %d + 2 x %d + %d ms + 0.5 s open pause",
                  ctx.link().handshakeDelay(), ctx.link().handshakeDelay(),
                  ctx.link().handshakeDelay(), ctx.link().handshakeDelay());
    std::printf("\n");
    report("Write (65227 bytes to the radio, paced by HandshakeDelay)", wallS, writeFloorS, formula,
           before, after, 1.02);

    // The same through the command line.
    const QString cliProgram = QFileInfo(radioProgram).dir().filePath(QStringLiteral("quorlink"));
    const QString file = dir.filePath(QStringLiteral("bench.img"));
    const QStringList link = {QStringLiteral("--settings"), dir.filePath(QStringLiteral("cli.ini")),
                              QStringLiteral("--device"), first.mid(4)};
    const double windowWrite = wallS;
    // The automatic backups go to the temporary folder, not the user's.
    SettingsStore(dir.filePath(QStringLiteral("cli.ini")))
        .set(QStringLiteral("Backups"), QStringLiteral("Folder"),
             dir.filePath(QStringLiteral("backups")));
    before = usageNow(RUSAGE_CHILDREN);
    const double cliReadS = runCommandLine(
        cliProgram, QStringList{QStringLiteral("read")} + link + QStringList{file}, radio);
    after = usageNow(RUSAGE_CHILDREN);
    if (cliReadS < 0)
        return 1;
    std::printf("\n");
    report("Command line read (quorlink read, a child process from its start to its exit)",
           cliReadS, readFloorS, "as the read above", before, after, 1.03, 2.5);
    before = usageNow(RUSAGE_CHILDREN);
    const double cliWriteS = runCommandLine(
        cliProgram,
        QStringList{QStringLiteral("write")} + link + QStringList{QStringLiteral("--yes"), file},
        radio);
    after = usageNow(RUSAGE_CHILDREN);
    if (cliWriteS < 0)
        return 1;
    std::printf("\n");
    report("Command line write (quorlink write --yes)", cliWriteS, writeFloorS, formula, before,
           after, 1.02, 2.5);
    std::printf("\n  read  ratio: window %.4f, command line %.4f (difference %+.2f %%)\n",
                windowReadS / readFloorS, cliReadS / readFloorS,
                100.0 * (cliReadS - windowReadS) / windowReadS);
    std::printf("  write ratio: window %.4f, command line %.4f (difference %+.2f %%)\n",
                windowWrite / writeFloorS, cliWriteS / writeFloorS,
                100.0 * (cliWriteS - windowWrite) / windowWrite);

    radio.closeWriteChannel();
    if (!radio.waitForFinished(3000))
        radio.kill();
    const QString events = QString::fromLocal8Bit(radio.readAllStandardOutput()).trimmed();
    std::printf("\nradio reported: %s\n", qPrintable(events.split(QLatin1Char('\n')).join(", ")));
    return events.contains(QLatin1String("WRITE OK")) ? 0 : 1;
}

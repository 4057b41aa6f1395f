// bench_transfer: one full read and one full write through the application's own code
// (the main window's handlers, the system clock, QSerialPort) against the quorlink-radio
// program on a pseudo-terminal, which paces its bytes at 38400 baud. Prints, for each, the
// wall time against the least time the protocol allows, the CPU this process used, and the
// peak memory.
//
//   bench_transfer [--only WHICH[,WHICH...]] [--waits] [path/to/quorlink-radio]
//
// WHICH is window-read, window-write, cli-read or cli-write; without --only all four run.
// A write whose read is left out sends an image of zeros. --waits adds, for the window's
// transfers, how the waits spent their time. Without a path the radio program is looked
// for next to this program's build directory. The prompt's [BAND] is pressed by the benchmark;
// every box is answered OK. Then the same read and write through the command line (the quorlink
// program next to the radio program, run as a child; its CPU is the child's own).
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
#include "core/clock.h"
#include "core/config.h"
#include "image/cloneimage.h"
#include "image/imagefile.h"
#include "link/libftdi_d2xx.h"
#include "link/link.h"
#include "link/qtserialcontrol.h"
#include "sim/simradio.h"
#include "transfer/appcontext.h"
#include "ui/frmmessages.h"
#include "ui/messagebox.h"

#include <sys/resource.h>
#include <time.h>

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

// The four transfers, in the order they run.
const QStringList kTransfers = {QStringLiteral("window-read"), QStringLiteral("window-write"),
                                QStringLiteral("cli-read"), QStringLiteral("cli-write")};

struct Options {
    QStringList only = kTransfers;
    bool waits = false;
    QString radioProgram;
};

// Empty `error` when the arguments are understood.
Options parseOptions(const QStringList& args, QString& error) {
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--waits")) {
            options.waits = true;
        } else if (arg == QLatin1String("--only") && i + 1 < args.size()) {
            options.only = args.at(++i).split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString& name : options.only) {
                if (!kTransfers.contains(name))
                    error = QStringLiteral("unknown transfer \"%1\"; use %2")
                                .arg(name, kTransfers.join(QLatin1Char(',')));
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option ") + arg;
        } else {
            options.radioProgram = arg;
        }
    }
    return options;
}

QString findRadioProgram(const QString& given) {
    if (!given.isEmpty())
        return given;
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {here.filePath(QStringLiteral("../quorlink-radio")),
                                     here.filePath(QStringLiteral("quorlink-radio"))}) {
        if (QFileInfo(candidate).isExecutable())
            return QFileInfo(candidate).canonicalFilePath();
    }
    return QString();
}

qint64 threadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// The system clock, counting how its waits spend their time: the event passes (wall and
// CPU), and how far each wait's sleeping ends past the time it was given.
class CountingClock : public SystemClock {
public:
    void pumpEvents() override {
        const qint64 wall0 = nowNs(), cpu0 = threadCpuNs();
        SystemClock::pumpEvents();
        pumps_.add(nowNs() - wall0, threadCpuNs() - cpu0);
    }
    void waitForEvents(qint64 maxNs) override {
        const qint64 wall0 = nowNs(), cpu0 = threadCpuNs();
        SystemClock::waitForEvents(maxNs);
        const qint64 wall = nowNs() - wall0;
        waits_.add(wall, threadCpuNs() - cpu0);
        late_.add(qMax<qint64>(wall - maxNs, 0), 0);
    }
    void reset() { pumps_ = waits_ = late_ = {}; }
    void print() const {
        pumps_.print("event pumps", true);
        waits_.print("waits", true);
        late_.print("  past their time", false);
    }

private:
    struct Tally {
        qint64 count = 0, wallNs = 0, cpuNs = 0, maxNs = 0, maxAt = 0;
        void add(qint64 wall, qint64 cpu) {
            ++count;
            wallNs += wall;
            cpuNs += cpu;
            if (wall > maxNs) {
                maxNs = wall;
                maxAt = count;
            }
        }
        void print(const char* what, bool cpu) const {
            std::printf("  %-18s %7lld, %9.3f s wall (mean %7.3f ms, max %7.3f ms at #%lld)", what,
                        static_cast<long long>(count), double(wallNs) / 1e9,
                        count ? double(wallNs) / double(count) / 1e6 : 0.0, double(maxNs) / 1e6,
                        static_cast<long long>(maxAt));
            if (cpu)
                std::printf(", %7.3f s CPU", double(cpuNs) / 1e9);
            std::printf("\n");
        }
    };
    Tally pumps_, waits_, late_;
};

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

    QString error;
    const Options options = parseOptions(QCoreApplication::arguments(), error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "bench_transfer: %s\n", qPrintable(error));
        return 2;
    }
    auto runs = [&options](const char* name) { return options.only.contains(QLatin1String(name)); };
    const QString radioProgram = findRadioProgram(options.radioProgram);
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
    ConfigStore config(dir.filePath(QStringLiteral("Quorlink.ini")));
    // The read's automatic backups stay in the run's own folder.
    config.set(QStringLiteral("Backups"), QStringLiteral("Folder"),
               dir.filePath(QStringLiteral("backups")));
    CountingClock clock;
    OkBoxes boxes;
    QtPortFactory ports(&config);
    std::unique_ptr<D2xx> d2xx = createLibFtdiD2xx();
    Services services;
    services.clock = &clock;
    services.boxes = &boxes;
    services.config = &config;
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

    const int streamBytes = CloneLayout::kIdentitySize + CloneLayout::kDataSize + 1;
    const double readFloorS = streamBytes * kBitsPerByte / kBaud + kOpenPauseS + kSettlePauseS;
    const char* readFormula =
        "65227 bytes x 10 bits / 38400 baud + 0.5 s open pause + 0.5 s settle pause";
    // What a write of a COM port waits at the least; the delay is the one a COM port gets.
    constexpr int kDelayMs = 50;
    const double delayS = kDelayMs / 1000.0;
    const double writeFloorS = CloneLayout::kBlockCount * delayS + kSettlePauseS + delayS +
                               2 * delayS + delayS + kOpenPauseS;
    char writeFormula[200];
    std::snprintf(writeFormula, sizeof writeFormula,
                  "1019 x %d ms + 500 + %d + 2 x %d + %d ms + 0.5 s open pause", kDelayMs, kDelayMs,
                  kDelayMs, kDelayMs);
    double windowReadS = 0, windowWriteS = 0, cliReadS = 0, cliWriteS = 0;

    if (runs("window-read")) {
        clock.reset();
        const Usage before = usageNow();
        QElapsedTimer timer;
        timer.start();
        form.cmdRead->click();
        windowReadS = double(timer.nsecsElapsed()) / 1e9;
        const Usage after = usageNow();
        if (!ctx.clone.image.isValid()) {
            std::fprintf(stderr, "bench_transfer: the read failed; see the trace\n");
            return 1;
        }
        report("Read (65227 bytes from the radio)", windowReadS, readFloorS, readFormula, before,
               after, 1.03);
        if (options.waits)
            clock.print();
        std::printf("\n");
    } else {
        // An image of zeros with its sums, for the writes.
        QByteArray file = SimRadio::identityAH029() + QByteArray(CloneLayout::kDataSize + 1, '\0');
        FixSums(file);
        ctx.clone.image = CloneImage(file);
        form.EnableButtons();
    }

    if (runs("window-write")) {
        clock.reset();
        const Usage before = usageNow();
        QElapsedTimer timer;
        timer.start();
        form.cmdWriteRig->click();
        windowWriteS = double(timer.nsecsElapsed()) / 1e9;
        const Usage after = usageNow();
        if (ctx.link().handshakeDelay() != kDelayMs) {
            std::fprintf(stderr, "bench_transfer: the write paced by %d ms, not %d ms\n",
                         ctx.link().handshakeDelay(), kDelayMs);
            return 1;
        }
        report("Write (65227 bytes to the radio, paced by HandshakeDelay)", windowWriteS,
               writeFloorS, writeFormula, before, after, 1.02);
        if (options.waits)
            clock.print();
        std::printf("\n");
    }

    // The same through the command line.
    const QString cliProgram = QFileInfo(radioProgram).dir().filePath(QStringLiteral("quorlink"));
    const QString file = dir.filePath(QStringLiteral("bench.img"));
    const QStringList link = {QStringLiteral("--config"), dir.filePath(QStringLiteral("cli.ini")),
                              QStringLiteral("--device"), first.mid(4)};
    // The automatic backups go to the temporary folder, not the user's.
    ConfigStore(dir.filePath(QStringLiteral("cli.ini")))
        .set(QStringLiteral("Backups"), QStringLiteral("Folder"),
             dir.filePath(QStringLiteral("backups")));
    if (runs("cli-read")) {
        const Usage before = usageNow(RUSAGE_CHILDREN);
        cliReadS = runCommandLine(
            cliProgram, QStringList{QStringLiteral("read")} + link + QStringList{file}, radio);
        const Usage after = usageNow(RUSAGE_CHILDREN);
        if (cliReadS < 0)
            return 1;
        report("Command line read (quorlink read, a child process from its start to its exit)",
               cliReadS, readFloorS, "as the read above", before, after, 1.03, 2.5);
        std::printf("\n");
    } else if (runs("cli-write")) {
        QString saveError;
        if (!SaveImageFile(file, ctx.clone.image.bytes(), &saveError)) {
            std::fprintf(stderr, "bench_transfer: %s\n", qPrintable(saveError));
            return 1;
        }
    }
    if (runs("cli-write")) {
        const Usage before = usageNow(RUSAGE_CHILDREN);
        cliWriteS = runCommandLine(cliProgram,
                                   QStringList{QStringLiteral("write")} + link +
                                       QStringList{QStringLiteral("--yes"), file},
                                   radio);
        const Usage after = usageNow(RUSAGE_CHILDREN);
        if (cliWriteS < 0)
            return 1;
        report("Command line write (quorlink write --yes)", cliWriteS, writeFloorS, writeFormula,
               before, after, 1.02, 2.5);
        std::printf("\n");
    }
    if (windowReadS > 0 && cliReadS > 0)
        std::printf("  read  ratio: window %.4f, command line %.4f (difference %+.2f %%)\n",
                    windowReadS / readFloorS, cliReadS / readFloorS,
                    100.0 * (cliReadS - windowReadS) / windowReadS);
    if (windowWriteS > 0 && cliWriteS > 0)
        std::printf("  write ratio: window %.4f, command line %.4f (difference %+.2f %%)\n",
                    windowWriteS / writeFloorS, cliWriteS / writeFloorS,
                    100.0 * (cliWriteS - windowWriteS) / windowWriteS);

    radio.closeWriteChannel();
    if (!radio.waitForFinished(3000))
        radio.kill();
    const QString events = QString::fromLocal8Bit(radio.readAllStandardOutput()).trimmed();
    std::printf("\nradio reported: %s\n", qPrintable(events.split(QLatin1Char('\n')).join(", ")));
    const bool wrote = runs("window-write") || runs("cli-write");
    return !wrote || events.contains(QLatin1String("WRITE OK")) ? 0 : 1;
}

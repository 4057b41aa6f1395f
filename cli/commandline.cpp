#include "cli/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPortInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "cli/channelcommands.h"
#include "cli/terminalfront.h"
#include "core/clock.h"
#include "core/d2xx.h"
#include "core/errors.h"
#include "core/settings.h"
#include "image/cloneimage.h"
#include "image/imagefile.h"
#include "link/libftdi_d2xx.h"
#include "link/qtserialcontrol.h"
#include "memory/channelcsv.h"
#include "memory/channelpdf.h"
#include "memory/channels.h"
#include "memory/settings.h"
#include "sim/demo.h"
#include "sim/ptyradio.h"
#include "transfer/appcontext.h"
#include "transfer/memory_read.h"
#include "transfer/memory_write.h"

#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

namespace {

enum Exit { kDone = 0, kFailed = 1, kUsage = 2, kRefused = 3, kInterrupted = 130 };

// Why standard output took less than it was given (a full disk, a closed or broken pipe);
// empty while every write went through. The run ends with exit 1 when it is set.
QString g_outputError;

void out(const QString& text) {
    const QByteArray bytes = (text + QLatin1Char('\n')).toLocal8Bit();
    if ((std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()) ||
         std::fflush(stdout) != 0) &&
        g_outputError.isEmpty())
        g_outputError = QString::fromLocal8Bit(std::strerror(errno));
}
void err(const QString& text) {
    std::fputs((QStringLiteral("quorlink: ") + text + QLatin1Char('\n')).toLocal8Bit().constData(),
               stderr);
    std::fflush(stderr);
}

// ---- Options ---------------------------------------------------------------------------

const QCommandLineOption kHelp({"h", "help"}, "Show this help.");
const QCommandLineOption kSettings("settings",
                                   "Keep the settings in FILE instead of the per-user store.",
                                   "FILE");
const QCommandLineOption kVerbose("verbose", "Also print the trace lines of the transfer.");
const QCommandLineOption kQuiet("quiet", "Print only errors.");
const QCommandLineOption kPort("port", "Use COM port n (as in the menu, mapping included).",
                               "COMn");
const QCommandLineOption kDevice("device", "Use any serial device, e.g. /dev/ttyUSB0.", "PATH");
const QCommandLineOption kFtdi("ftdi", "Use the FTDI cable with this description.", "DESCRIPTION");
const QCommandLineOption kDemo("demo", "Talk to a simulated VX-8 on a pseudo-terminal.");
const QCommandLineOption kFixSums("fix-sums",
                                  "Bring stale region sums and the checksum up to date before "
                                  "writing (without it such a file is refused).");
const QCommandLineOption kYes("yes", "Start writing without waiting for Enter.");
const QCommandLineOption kForce("force", "Replace FILE if it exists.");
const QCommandLineOption kForceOut("force",
                                   "Replace OUT if it exists (never a file the command reads).");
const QCommandLineOption kJson("json", "Print the same as one JSON object.");
const QCommandLineOption kAll("all", "List the empty channels and the unused banks too.");
const QCommandLineOption kList("list",
                               "The list to show or import into: channels (the default), skip "
                               "(the skip-search memories) or pms (L1, U1 ... L50, U50).",
                               "LIST");
const QCommandLineOption kCsv("csv",
                              "Write the CSV layout that radio programmers exchange instead of "
                              "the table.");
const QCommandLineOption kPdf("pdf",
                              "Write a printable list (PDF, A4 or Letter by the locale) of the "
                              "channels in use and the banks to OUT instead.",
                              "OUT");
const QCommandLineOption kPocket("pocket",
                                 "With --pdf: a pocket card (channel, name, frequency, shift, "
                                 "tone and mode in small print) instead of the full list.");
const QCommandLineOption kChannels("channels",
                                   "List the channels added, removed and changed, then how many "
                                   "blocks of other memory differ.");
const QCommandLineOption kOutput("output", "Write the result to OUT instead of IMAGE.", "OUT");
const QCommandLineOption kReplace("replace", "Clear the channels that the CSV does not name.");
const QCommandLineOption kSkipBad("skip-bad",
                                  "Import the other rows when some are refused (without it "
                                  "nothing is written).");
const QCommandLineOption kSet("set", "Set one setting (repeat for more).", "KEY=VALUE");
const QCommandLineOption kImportSettings("import",
                                         "Set what a settings file (as this command prints "
                                         "it) holds.",
                                         "FILE");
const QCommandLineOption kSkipBadSettings("skip-bad",
                                          "Apply the other settings when some are refused "
                                          "(without it nothing is written).");
// `compare --settings`: here the name does not take the settings store's FILE.
const QCommandLineOption kCompareSettings("settings",
                                          "List the radio settings that differ, "
                                          "\"key: A-value → B-value\".");

// Whether an option was given; false for options the sub-command does not take.
bool given(const QCommandLineParser& p, const QCommandLineOption& o) {
    return p.optionNames().contains(o.names().constLast()) ||
           (o.names().size() > 1 && p.optionNames().contains(o.names().constFirst()));
}

// One sub-command: its options and positional files, its help, and what it does.
struct Invocation;
struct Command {
    QString name;
    QStringList files;  // names of the positional arguments, all required
    QString summary;
    QList<QCommandLineOption> options;
    bool usesLink;
    QStringList examples;
    std::function<int(Invocation&)> run;
};

struct Invocation {
    const Command& command;
    QCommandLineParser& parser;
    QStringList files;
    TerminalFront::Verbosity verbosity = TerminalFront::Verbosity::Normal;
};

int readCommand(Invocation& inv);
int writeCommand(Invocation& inv);
int infoCommand(Invocation& inv);
int compareCommand(Invocation& inv);
int channelsCommand(Invocation& inv);
int portsCommand(Invocation& inv);
int importCommand(Invocation& inv);
int settingsCommand(Invocation& inv);

const QList<QCommandLineOption> kLinkOptions = {kPort, kDevice, kFtdi, kDemo};

const QList<Command>& commands() {
    static const QList<Command> table = {
        {"read",
         {"FILE"},
         "Read the radio's whole memory into FILE (and the automatic backup).",
         kLinkOptions + QList<QCommandLineOption>{kForce},
         true,
         {"quorlink read backup.img", "quorlink read --device /dev/ttyUSB0 vx8.img"},
         readCommand},
        {"write",
         {"FILE"},
         "Write FILE to the radio. A file whose sums are stale is refused unless --fix-sums.",
         kLinkOptions + QList<QCommandLineOption>{kFixSums, kYes},
         true,
         {"quorlink write backup.img", "quorlink write --port COM9 --yes backup.img"},
         writeCommand},
        {"info",
         {"FILE"},
         "Show the model, identity, size, checksum and region sums of an image file.",
         {kJson},
         false,
         {"quorlink info backup.img", "quorlink info --json backup.img"},
         infoCommand},
        {"compare",
         {"A", "B"},
         "List the byte ranges where two image files differ (exit 0 when identical, 1 if not).",
         {kChannels, kCompareSettings},
         false,
         {"quorlink compare monday.img friday.img",
          "quorlink compare --channels monday.img friday.img",
          "quorlink compare --settings monday.img friday.img"},
         compareCommand},
        {"channels",
         {"FILE"},
         "List the memory channels and banks of an image file, or write them as CSV or PDF.",
         {kList, kAll, kCsv, kPdf, kPocket, kForceOut},
         false,
         {"quorlink channels backup.img", "quorlink channels --csv backup.img > channels.csv",
          "quorlink channels --list pms backup.img",
          "quorlink channels --pdf channels.pdf backup.img",
          "quorlink channels --pdf card.pdf --pocket --force backup.img"},
         channelsCommand},
        {"import",
         {"IMAGE", "CSV"},
         "Take the channels of a CSV file into an image file (saved as IMAGE unless --output).",
         {kList, kOutput, kForceOut, kReplace, kSkipBad, kFixSums},
         false,
         {"quorlink import backup.img channels.csv",
          "quorlink import --replace --output new.img backup.img channels.csv",
          "quorlink import --list skip backup.img skip.csv"},
         importCommand},
        {"settings",
         {"IMAGE"},
         "Print the radio settings of an image file, or set them (saved as IMAGE unless "
         "--output).",
         {kSet, kImportSettings, kOutput, kForceOut, kSkipBadSettings, kFixSums},
         false,
         {"quorlink settings a.img > club.txt", "quorlink settings b.img --import club.txt",
          "quorlink settings a.img --set aprs.callsign=KK7DS-7 --set scan.squelch_a=2"},
         settingsCommand},
        {"ports",
         {},
         "List the COM ports and FTDI cables present; * marks the stored choice.",
         {},
         false,
         {"quorlink ports"},
         portsCommand},
    };
    return table;
}

const Command* findCommand(const QString& name) {
    for (const Command& c : commands()) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

QString optionLine(const QCommandLineOption& o) {
    QString names;
    for (const QString& n : o.names())
        names += (names.isEmpty() ? QString() : QStringLiteral(", ")) +
                 (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
    if (!o.valueName().isEmpty())
        names += QLatin1Char(' ') + o.valueName();
    return QStringLiteral("  %1  %2").arg(names, -28).arg(o.description());
}

QString usageLine(const Command& c) {
    return QStringLiteral("quorlink ") + c.name + QStringLiteral(" [options]") +
           (c.files.isEmpty() ? QString() : QLatin1Char(' ') + c.files.join(QLatin1Char(' ')));
}

QString generalUsage() {
    return QStringLiteral(
        "Usage: quorlink SUBCOMMAND [options] ...   (quorlink --help tells more)");
}

QString generalHelp() {
    QStringList lines = {
        QStringLiteral(
            "Quorlink reads and writes the clone memory of VX-8, VX-8D and VX-8G radios."),
        QString(),
        QStringLiteral("Usage: quorlink [--settings FILE] [--verbose | --quiet] SUBCOMMAND "
                       "[options] ..."),
        QStringLiteral(
            "       quorlink [--settings FILE] [--demo | --demo-if-no-cable]   (the windows)"),
        QString(),
        QStringLiteral("Sub-commands:")};
    for (const Command& c : commands())
        lines << QStringLiteral("  %1  %2").arg(c.name, -8).arg(c.summary);
    lines << QString() << QStringLiteral("Options (before or after the sub-command; -- ends them):")
          << optionLine(kSettings) << optionLine(kVerbose) << optionLine(kQuiet)
          << optionLine(kHelp)
          << QStringLiteral("  %1  %2")
                 .arg(QStringLiteral("--version"), -28)
                 .arg("Print the version.")
          << QString()
          << QStringLiteral(
                 "Exit codes: 0 done, 1 the transfer failed or the files differ, 2 wrong "
                 "usage, 3 a file refused, 130 interrupted.")
          << QStringLiteral("\"quorlink SUBCOMMAND --help\" explains a sub-command. Examples:")
          << QStringLiteral("  quorlink read backup.img          back up the radio")
          << QStringLiteral("  quorlink write backup.img         restore it")
          << QStringLiteral("  quorlink compare old.img new.img  compare two backups")
          << QStringLiteral("  quorlink channels backup.img      list its memory channels")
          << QStringLiteral("  quorlink import backup.img ch.csv take channels from a CSV")
          << QStringLiteral("  quorlink settings backup.img      list its radio settings");
    return lines.join(QLatin1Char('\n'));
}

QString commandHelp(const Command& c) {
    QStringList lines = {QStringLiteral("Usage: ") + usageLine(c), QString(), c.summary, QString(),
                         QStringLiteral("Options:")};
    for (const QCommandLineOption& o : c.options)
        lines << optionLine(o);
    if (c.usesLink)
        lines << QStringLiteral(
                     "  (without --port, --device, --ftdi or --demo the stored setting "
                     "is used)")
              << optionLine(kVerbose) << optionLine(kQuiet);
    if (c.name != QLatin1String("compare"))
        lines << optionLine(kSettings);
    lines << optionLine(kHelp) << QString() << QStringLiteral("Examples:");
    for (const QString& e : c.examples)
        lines << QStringLiteral("  ") + e;
    if (c.name == QLatin1String("settings")) {
        lines << QString() << QStringLiteral("Keys (a model has only some of them):");
        QString line;
        for (const QString& key : AllSettingKeys()) {
            if (line.size() + key.size() > 78)
                lines << std::exchange(line, QString());
            line += QStringLiteral("  ") + key;
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

QString emptyFileName(const QCommandLineOption& o) {
    return QStringLiteral("--") + o.names().constFirst() +
           QStringLiteral(" needs a file name, not an empty value");
}

int usageError(const QString& text, const Command* c) {
    err(text);
    std::fputs(((c ? QStringLiteral("Usage: ") + usageLine(*c) : generalUsage()) + '\n')
                   .toLocal8Bit()
                   .constData(),
               stderr);
    return kUsage;
}

// ---- The world a command runs in --------------------------------------------------------

// Ctrl-C: the handler only writes to a pipe; the event loop, which every wait pumps, turns
// that into a cancel. A second Ctrl-C ends the program at once.
int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_interrupts = 0;

void onInterrupt(int) {
    g_interrupts = g_interrupts + 1;
    if (g_interrupts > 1)
        ::_exit(kInterrupted);
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

struct World {
    SettingsStore settings;
    SystemClock clock;
    QtPortFactory ports{&settings};
    std::unique_ptr<D2xx> d2xx = createLibFtdiD2xx();
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<TerminalFront> front;
    std::unique_ptr<QSocketNotifier> interruptNotifier;
    DemoRadio* demo = nullptr;

    World(const QString& settingsFile, TerminalFront::Transfer transfer,
          TerminalFront::Verbosity verbosity, bool assumeYes)
        : settings(settingsFile),
          front(std::make_unique<TerminalFront>(transfer, verbosity, assumeYes)) {
        Services s;
        s.clock = &clock;
        s.boxes = front.get();
        s.settings = &settings;
        s.ports = &ports;
        s.d2xx = d2xx.get();
        ctx = std::make_unique<AppContext>(s);
        ctx->quitApplication = [] {};
        ctx->setFront(front.get());
        front->attach(*ctx);
    }
    ~World() {
        if (ctx)
            ctx->dropFront(front.get());
    }
};

}  // namespace

namespace {

// Chooses the link from the options, or the stored setting without one. Empty when it is
// set, else what is wrong (a usage error).
QString chooseLink(Invocation& inv, World& world) {
    QCommandLineParser& p = inv.parser;
    LinkState& link = world.ctx->state.link;
    if (given(p, kPort)) {
        QString text = p.value(kPort);
        if (text.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
            text = text.mid(3);
        bool ok = false;
        const int n = text.toInt(&ok);
        if (!ok || n < PortMap::kFirstCom || n > PortMap::kLastCom)
            return QStringLiteral("--port takes COM1 to COM32, not \"%1\"").arg(p.value(kPort));
        link.PortNumber = static_cast<qint16>(n);
    } else if (given(p, kDevice)) {
        // A COM number for this run only, from the top, so that real ports keep theirs.
        int com = PortMap::kLastCom;
        for (int n = PortMap::kLastCom; n >= PortMap::kFirstCom; --n) {
            if (!world.ports.map().isPresent(n)) {
                com = n;
                break;
            }
        }
        world.ports.map().setSessionMapping(com, p.value(kDevice));
        world.front->borrowPort(com, p.value(kDevice));
        link.PortNumber = static_cast<qint16>(com);
    } else if (given(p, kFtdi)) {
        link.PortNumber = kFtdiPort;
        link.FTDIDescription = p.value(kFtdi);
    } else if (given(p, kDemo)) {
        const QString error = startDemoRadio(*world.ctx, world.ports, &world.demo);
        if (!error.isEmpty())
            return error;
        DemoRadio* demo = world.demo;
        world.front->say(QStringLiteral("Demo: talking to a simulated VX-8 on ") +
                         demo->pty->path() + QLatin1Char('.'));
        world.front->onLookingForRadio = [demo] { demo->pressBandSoon(); };
        demo->powerCycle();
    } else {
        link.loadStoredChoice(world.settings);
    }
    return QString();
}

// Sets up the world for a transfer; exit code and message on failure.
std::unique_ptr<World> transferWorld(Invocation& inv, TerminalFront::Transfer transfer, int* exit) {
    int chosen = 0;
    for (const QCommandLineOption& o : kLinkOptions)
        chosen += given(inv.parser, o) ? 1 : 0;
    if (chosen > 1) {
        *exit = usageError(QStringLiteral("give only one of --port, --device, --ftdi and --demo"),
                           &inv.command);
        return nullptr;
    }
    auto world = std::make_unique<World>(inv.parser.value(kSettings), transfer, inv.verbosity,
                                         given(inv.parser, kYes));
    QString error;
    try {
        error = chooseLink(inv, *world);
    } catch (const RunError& e) {
        err(QStringLiteral("the stored port setting is unusable (%1); give --port, --device or "
                           "--ftdi")
                .arg(e.description()));
        *exit = kFailed;
        return nullptr;
    }
    if (!error.isEmpty()) {
        *exit = given(inv.parser, kDemo) ? kFailed : usageError(error, &inv.command);
        if (given(inv.parser, kDemo))
            err(error);
        return nullptr;
    }
    // Ctrl-C cancels a read at its next poll as Cancel Read does; a write has no such poll,
    // so it is stopped where it waits, and the port closed.
    if (::pipe(g_signalPipe) == 0) {
        world->interruptNotifier =
            std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        AppContext* ctx = world->ctx.get();
        TerminalFront* front = world->front.get();
        QObject::connect(world->interruptNotifier.get(), &QSocketNotifier::activated, ctx,
                         [ctx, front, transfer] {
                             char byte = 0;
                             [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
                             front->interrupted = true;
                             ctx->cancel.request(CancelKind::Read);
                             ctx->cancel.request(CancelKind::Identity);
                             if (transfer == TerminalFront::Transfer::Write)
                                 ctx->requestShutdown();
                         });
        std::signal(SIGINT, onInterrupt);
        std::signal(SIGTERM, onInterrupt);
    }
    return world;
}

QString seconds(qint64 ms) {
    return QString::number(double(ms) / 1000.0, 'f', 1) + QStringLiteral(" s");
}

int readCommand(Invocation& inv) {
    const QString path = inv.files[0];
    // Refused before the radio is asked for anything, so that no read is lost at its end.
    QString error;
    if (!CheckSaveTarget(path, &error)) {
        err(error);
        return kRefused;
    }
    if (QFileInfo::exists(path) && !given(inv.parser, kForce)) {
        err(QStringLiteral("%1 exists; --force replaces it").arg(path));
        return kRefused;
    }
    int exit = kDone;
    std::unique_ptr<World> world = transferWorld(inv, TerminalFront::Transfer::Read, &exit);
    if (!world)
        return exit;
    QElapsedTimer timer;
    timer.start();
    const TransferResult result = cmdRead_Click(*world->ctx);
    if (world->front->interrupted) {
        err(QStringLiteral("interrupted; nothing was saved"));
        return kInterrupted;
    }
    const TransferVerdict verdict = VerdictOf(result);
    if (verdict.exit != kDone) {
        err(QStringLiteral("read failed: ") + verdict.line);
        return verdict.exit;
    }
    // The read engine took the automatic backup; what went wrong with it is passed on.
    if (!result.warning.isEmpty())
        err(result.warning);
    const QByteArray& image = result.image.bytes();
    const QString& backup = result.backupPath;
    if (!SaveImageFile(path, image, &error)) {
        err(error);
        if (!backup.isEmpty())
            err(QStringLiteral("the read is kept in the backup ") + backup);
        return kFailed;
    }
    if (inv.verbosity != TerminalFront::Verbosity::Quiet) {
        out(QStringLiteral("Read %1 (identity %2), %3 bytes, into %4 in %5.")
                .arg(ModelName(image), IdentityText(image, CloneLayout::kIdentitySize))
                .arg(image.size())
                .arg(path, seconds(timer.elapsed())));
        if (!backup.isEmpty())
            out(QStringLiteral("Backup: ") + backup);
    }
    return kDone;
}

// Opens an image file as Open Image does; prints why when it is refused.
bool loadFile(const QString& path, LoadedImage& loaded) {
    QString error;
    if (LoadImageFile(path, loaded, &error))
        return true;
    err(error);
    return false;
}

// Whether two paths name one file (the same device and inode): a symbolic or a hard link
// to a file is that file.
bool sameFile(const QString& a, const QString& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// An output file may not be a file the command reads, nor replace one without --force;
// prints why it is refused.
bool mayWrite(const Invocation& inv, const QString& path, const QStringList& inputs) {
    for (const QString& input : inputs) {
        if (sameFile(path, input)) {
            err(path + QStringLiteral(" is the same file as ") + input +
                QStringLiteral("; name another output"));
            return false;
        }
    }
    if (QFileInfo::exists(path) && !given(inv.parser, kForce)) {
        err(path + QStringLiteral(" exists; --force replaces it"));
        return false;
    }
    return true;
}

int writeCommand(Invocation& inv) {
    LoadedImage loaded;
    if (!loadFile(inv.files[0], loaded))
        return kRefused;
    const QStringList stale = StaleSums(loaded.image);
    if (!stale.isEmpty()) {
        for (const QString& s : stale)
            err(s);
        if (!given(inv.parser, kFixSums)) {
            err(QStringLiteral("refused: the sums are stale; --fix-sums brings them up to date"));
            return kRefused;
        }
        for (const QString& line : FixSums(loaded.image)) {
            if (inv.verbosity != TerminalFront::Verbosity::Quiet)
                err(line);
        }
    }
    int exit = kDone;
    std::unique_ptr<World> world = transferWorld(inv, TerminalFront::Transfer::Write, &exit);
    if (!world)
        return exit;
    world->ctx->clone.image = CloneImage(loaded.image);
    QElapsedTimer timer;
    timer.start();
    // Ctrl-C ends the write where it waits (the port is closed) and comes back as interrupted.
    const TransferVerdict verdict = VerdictOf(cmdWriteRig_Click(*world->ctx));
    if (world->front->interrupted) {
        err(QStringLiteral("interrupted; the radio did not get the whole image"));
        return kInterrupted;
    }
    if (verdict.exit != kDone) {
        err(QStringLiteral("write failed: ") + verdict.line);
        return verdict.exit;
    }
    if (inv.verbosity != TerminalFront::Verbosity::Quiet)
        out(QStringLiteral("Wrote %1 to the radio in %2. Switch the radio off and disconnect "
                           "the cable.")
                .arg(inv.files[0], seconds(timer.elapsed())));
    return kDone;
}

QString byteHex(int value) {
    return QStringLiteral("0x%1").arg(value, 2, 16, QLatin1Char('0')).toUpper().replace("0X", "0x");
}

int infoCommand(Invocation& inv) {
    LoadedImage loaded;
    if (!loadFile(inv.files[0], loaded))
        return kRefused;
    const QByteArray& image = loaded.image;
    const QList<ImageSum> sums = ImageSums(image);
    if (given(inv.parser, kJson)) {
        QJsonArray sumList;
        for (const ImageSum& s : sums)
            sumList.append(QJsonObject{{"name", s.name},
                                       {"offset", s.at},
                                       {"stored", s.stored},
                                       {"actual", s.actual},
                                       {"good", s.good()}});
        const QJsonObject info{{"file", inv.files[0]},
                               {"model", ModelName(image)},
                               {"identity", IdentityText(image, CloneLayout::kIdentitySize)},
                               {"size", image.size()},
                               {"sums", sumList},
                               {"metadata", loaded.metadata}};
        out(QString::fromUtf8(QJsonDocument(info).toJson(QJsonDocument::Indented)).trimmed());
        return kDone;
    }
    out(QStringLiteral("File:      ") + inv.files[0]);
    out(QStringLiteral("Model:     ") + ModelName(image));
    out(QStringLiteral("Identity:  ") + IdentityText(image, CloneLayout::kIdentitySize));
    out(QStringLiteral("Size:      %1 bytes").arg(image.size()));
    for (const ImageSum& s : sums)
        out(QStringLiteral("%1 at 0x%2: %3 %4")
                .arg(s.name, -22)
                .arg(QStringLiteral("%1").arg(s.at, 4, 16, QLatin1Char('0')).toUpper())
                .arg(byteHex(s.stored))
                .arg(
                    s.good()
                        ? QStringLiteral("good")
                        : QStringLiteral("stale (the data adds up to %1)").arg(byteHex(s.actual))));
    if (!loaded.metadata.isEmpty()) {
        out(QStringLiteral("Metadata of the other programmer:"));
        for (auto it = loaded.metadata.begin(); it != loaded.metadata.end(); ++it)
            out(QStringLiteral("  %1: %2").arg(it.key(), it.value().toVariant().toString()));
    }
    return kDone;
}

// Where a file offset lies: the identity, block n (1 to 1019) or the checksum.
QString placeOf(int offset) {
    if (offset < CloneLayout::kIdentitySize)
        return QStringLiteral("identity");
    if (offset >= CloneLayout::kChecksumOffset)
        return QStringLiteral("checksum");
    return QStringLiteral("block %1")
        .arg((offset - CloneLayout::kIdentitySize) / CloneLayout::kBlockSize + 1);
}

int compareCommand(Invocation& inv) {
    LoadedImage a;
    LoadedImage b;
    if (!loadFile(inv.files[0], a) || !loadFile(inv.files[1], b))
        return kRefused;
    if (given(inv.parser, kChannels)) {
        out(ChannelComparisonListing(a.image, b.image).chopped(1));
        return a.image == b.image ? kDone : kFailed;
    }
    if (given(inv.parser, kCompareSettings)) {
        const QStringList lines = SettingsComparison(a.image, b.image);
        out(lines.isEmpty() ? QStringLiteral("no setting differs") : lines.join(QLatin1Char('\n')));
        return lines.isEmpty() ? kDone : kFailed;
    }
    int ranges = 0;
    for (int i = 0; i < CloneLayout::kImageSize; ++i) {
        if (a.image[i] == b.image[i])
            continue;
        int end = i;
        while (end + 1 < CloneLayout::kImageSize && a.image[end + 1] != b.image[end + 1])
            ++end;
        const QString first = placeOf(i);
        const QString last = placeOf(end);
        out(QStringLiteral("offset 0x%1  length %2  %3")
                .arg(i, 5, 16, QLatin1Char('0'))
                .arg(end - i + 1, 5)
                .arg(first == last ? first : first + QStringLiteral(" to ") + last));
        ++ranges;
        i = end;
    }
    if (ranges == 0) {
        out(QStringLiteral("identical"));
        return kDone;
    }
    return kFailed;
}

// The list --list names; false after a usage error for a name that is none.
bool listOf(Invocation& inv, ChannelList* list, int* exit) {
    static const QStringList kNames = {"channels", "skip", "pms"};
    const qsizetype at = kNames.indexOf(inv.parser.value(kList));
    *list = ChannelList(std::max<qsizetype>(at, 0));
    if (!given(inv.parser, kList) || at >= 0)
        return true;
    *exit = usageError(QStringLiteral("--list takes channels, skip or pms, not \"%1\"")
                           .arg(inv.parser.value(kList)),
                       &inv.command);
    return false;
}

int channelsCommand(Invocation& inv) {
    const bool pdf = given(inv.parser, kPdf);
    ChannelList list;
    if (int exit = 0; !listOf(inv, &list, &exit))
        return exit;
    if (pdf && given(inv.parser, kList))
        return usageError(QStringLiteral("--pdf prints every list: give it without --list"),
                          &inv.command);
    if (pdf && (given(inv.parser, kAll) || given(inv.parser, kCsv)))
        return usageError(QStringLiteral("--pdf lists the channels in use: give it without "
                                         "--all and --csv"),
                          &inv.command);
    if (given(inv.parser, kPocket) && !pdf)
        return usageError(QStringLiteral("--pocket is a layout of --pdf"), &inv.command);
    if (pdf && !mayWrite(inv, inv.parser.value(kPdf), inv.files))
        return kRefused;
    LoadedImage loaded;
    if (!loadFile(inv.files[0], loaded))
        return kRefused;
    if (pdf) {
        const QFileInfo image(inv.files[0]);
        const QString path = inv.parser.value(kPdf);
        const QString error = WriteChannelsPdf(
            loaded.image, path, image.fileName(), image.lastModified(),
            PrintPageSize(QLocale::system()),
            given(inv.parser, kPocket) ? PrintLayout::PocketCard : PrintLayout::FullList);
        if (!error.isEmpty()) {
            err(error);
            return kFailed;
        }
        const QString used = QString::number(UsedChannelCount(DecodeChannels(loaded.image)));
        if (inv.verbosity != TerminalFront::Verbosity::Quiet)
            out((given(inv.parser, kPocket)
                     ? QStringLiteral("Wrote a pocket card of the ") + used +
                           QStringLiteral(" channels in use to ")
                     : QStringLiteral("Wrote the ") + used +
                           QStringLiteral(" channels in use and the banks to ")) +
                path + QLatin1Char('.'));
        return kDone;
    }
    QStringList warnings;
    out(ChannelsListing(loaded.image, given(inv.parser, kAll), given(inv.parser, kCsv), &warnings,
                        list)
            .chopped(1));
    for (const QString& warning : warnings)
        err(warning);
    return kDone;
}

int importCommand(Invocation& inv) {
    ChannelList list;
    if (int exit = 0; !listOf(inv, &list, &exit))
        return exit;
    if (given(inv.parser, kOutput) && !mayWrite(inv, inv.parser.value(kOutput), inv.files))
        return kRefused;
    const ImportRun run = ImportChannels(inv.files[0], inv.files[1], inv.parser.value(kOutput),
                                         given(inv.parser, kReplace), given(inv.parser, kSkipBad),
                                         given(inv.parser, kFixSums), list);
    // The refused rows and the accepted quirks as they are, one per line.
    for (const QString& line : run.listed)
        std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    if (!run.error.isEmpty())
        err(run.error);
    if (!run.summary.isEmpty() && inv.verbosity != TerminalFront::Verbosity::Quiet)
        out(run.summary);
    return run.exit;
}

int settingsCommand(Invocation& inv) {
    const QString image = inv.files[0];
    const bool changes = given(inv.parser, kSet) || given(inv.parser, kImportSettings);
    if (!changes && (given(inv.parser, kOutput) || given(inv.parser, kSkipBadSettings)))
        return usageError(QStringLiteral("--output and --skip-bad go with --set or --import"),
                          &inv.command);
    const QString output = inv.parser.value(kOutput);
    if (given(inv.parser, kOutput) &&
        !mayWrite(inv, output, QStringList{image} + inv.parser.values(kImportSettings)))
        return kRefused;
    LoadedImage loaded;
    if (!loadFile(image, loaded))
        return kRefused;
    if (!changes) {
        out(SettingsFileText(loaded.image).chopped(1));
        return kDone;
    }
    // Stale sums as `import` takes them: refused, unless the other programmer's file or
    // --fix-sums.
    const QStringList stale = StaleSums(loaded.image);
    if (!stale.isEmpty() && !loaded.hadTrailer && !given(inv.parser, kFixSums)) {
        for (const QString& s : stale)
            err(s);
        err(QStringLiteral("refused: the sums are stale; --fix-sums brings them up to date"));
        return kRefused;
    }
    FixSums(loaded.image);
    QStringList refused;
    QList<SettingAssignment> assignments;
    for (const QString& file : inv.parser.values(kImportSettings)) {
        QString text, error;
        if (!ReadCsvFile(file, &text, &error)) {
            err(QStringLiteral("cannot read %1: %2").arg(file, error));
            return kRefused;
        }
        assignments << ParseSettingsFile(text, &refused);
    }
    for (const QString& set : inv.parser.values(kSet)) {
        const qsizetype equals = set.indexOf(QLatin1Char('='));
        if (equals < 1)
            refused << QStringLiteral("--set takes KEY=VALUE, not \"%1\"").arg(set);
        else
            assignments.append({0, set.left(equals).trimmed(), set.mid(equals + 1)});
    }
    const QByteArray before = loaded.image;
    const SettingsApplied done = ApplySettings(loaded.image, assignments);
    MemoryMap::RefreshSumsFor(before, loaded.image);
    refused << done.refused;
    for (const QString& line : done.skipped + refused)
        err(line);
    if (!refused.isEmpty() && !given(inv.parser, kSkipBadSettings)) {
        err(QStringLiteral("nothing was written: %1 refused; --skip-bad applies the rest")
                .arg(refused.size()));
        return kRefused;
    }
    QString error;
    const QString path = output.isEmpty() ? image : output;
    if (!SaveImageFile(path, loaded.image, &error)) {
        err(error);
        return kFailed;
    }
    if (inv.verbosity != TerminalFront::Verbosity::Quiet)
        out(QStringLiteral("%1 settings changed; saved %2")
                .arg(SettingsComparison(before, loaded.image).size())
                .arg(path));
    return kDone;
}

int portsCommand(Invocation& inv) {
    SettingsStore settings(inv.parser.value(kSettings));
    QtPortFactory ports(&settings);
    // Without a stored choice no port is marked.
    LinkState choice;
    choice.PortNumber = 0;
    try {
        if (settings.contains(SettingKeys::kSection, SettingKeys::kCommPort))
            choice.loadStoredChoice(settings);
    } catch (const RunError&) {
        // A stored number beyond any port marks nothing.
    }
    const int stored = choice.PortNumber;
    const QString& storedFtdi = choice.FTDIDescription;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    int present = 0;
    for (int n = PortMap::kFirstCom; n <= PortMap::kLastCom; ++n) {
        if (!ports.map().isPresent(n))
            continue;
        ++present;
        const QString path = ports.map().devicePathFor(n);
        const QString real = QFileInfo(path).canonicalFilePath();
        QString usb;
        for (const QSerialPortInfo& info : infos) {
            if (info.systemLocation() != real && info.systemLocation() != path)
                continue;
            if (info.hasVendorIdentifier())
                usb = QStringLiteral("  %1:%2")
                          .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                          .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
            if (!info.serialNumber().isEmpty())
                usb += QStringLiteral("  serial ") + info.serialNumber();
        }
        out(QStringLiteral("%1 COM%2  %3%4").arg(n == stored ? "*" : " ").arg(n).arg(path, usb));
    }
    if (present == 0)
        out(QStringLiteral("  no COM ports"));
    std::unique_ptr<D2xx> d2xx = createLibFtdiD2xx();
    try {
        quint32 count = 0;
        if (d2xx->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK)
            count = 0;
        for (quint32 i = 0; i < count; ++i) {
            QByteArray description(FT_DESCRIPTION_SIZE, '\0');
            if (d2xx->FT_ListDevices(i, reinterpret_cast<quint8*>(description.data()),
                                     FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION) != FT_OK)
                continue;
            const QString text = QString::fromLatin1(description.constData());
            out(QStringLiteral("%1 FTDI  %2")
                    .arg(stored == kFtdiPort && text == storedFtdi ? "*" : " ", text));
        }
        if (count == 0)
            out(QStringLiteral("  no FTDI cables"));
    } catch (const RunError& e) {
        out(QStringLiteral("  FTDI cables cannot be listed: ") + e.description());
    }
    return kDone;
}

bool isWindowOption(const QString& arg, bool* takesValue) {
    *takesValue = arg == QLatin1String("--settings") || arg == QLatin1String("-settings");
    return *takesValue || arg.startsWith(QLatin1String("--settings=")) ||
           arg == QLatin1String("--demo") || arg == QLatin1String("--demo-if-no-cable");
}

// `quorlink FILE` opens FILE in the windows: an argument that is no option and no
// sub-command, and names a file or looks like a file name.
bool isFileToOpen(const QString& arg) {
    return !arg.startsWith(QLatin1Char('-')) && !findCommand(arg) &&
           (QFileInfo::exists(arg) || arg.contains(QLatin1Char('.')) ||
            arg.contains(QLatin1Char('/')));
}

// Takes --settings, --verbose and --quiet given before the sub-command out of `args`, to be
// parsed with the sub-command's own options. "--" ends the options.
QStringList takeGeneralOptions(QStringList& args) {
    QStringList general;
    while (!args.isEmpty()) {
        const QString& arg = args.first();
        if (arg == QLatin1String("--settings") && args.size() > 1)
            general << args.takeFirst() << args.takeFirst();
        else if (arg.startsWith(QLatin1String("--settings=")) ||
                 arg == QLatin1String("--verbose") || arg == QLatin1String("--quiet"))
            general << args.takeFirst();
        else
            break;
    }
    return general;
}

}  // namespace

bool IsCommandLine(int argc, char** argv) {
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        bool takesValue = false;
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (isFileToOpen(arg) && ++files == 1)
            continue;
        if (!isWindowOption(arg, &takesValue))
            return true;
        // The windows too take no empty settings file name: the command line refuses it.
        if (arg == QLatin1String("--settings=") || (takesValue && (i + 1 == argc || !*argv[i + 1])))
            return true;
        if (takesValue)
            ++i;
    }
    return false;
}

namespace {

QtMessageHandler g_qtMessages = nullptr;

// The offscreen platform asks for the per-user runtime folder, which a session over ssh or
// a cron job may not name; nothing here needs it, so its warning is not passed on.
void withoutRuntimeFolderWarning(QtMsgType type, const QMessageLogContext& context,
                                 const QString& text) {
    if (!text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        g_qtMessages(type, context, text);
}

// The PDF writer takes its fonts from a QGuiApplication; on the offscreen platform that
// needs no display. Every other command runs on a QCoreApplication.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--")
            break;
        if (arg == "--pdf" || arg.startsWith("--pdf=")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            g_qtMessages = qInstallMessageHandler(withoutRuntimeFolderWarning);
            auto app = std::make_unique<QGuiApplication>(argc, argv);
            qInstallMessageHandler(g_qtMessages);
            return app;
        }
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

int runCommandLine(int argc, char** argv) {
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quorlink"));
    QStringList args = QCoreApplication::arguments().mid(1);
    const QStringList general = takeGeneralOptions(args);
    if (general.contains(QString()) || general.contains(QStringLiteral("--settings=")))
        return usageError(emptyFileName(kSettings), nullptr);
    if (args.isEmpty())
        return usageError(QStringLiteral("no sub-command"), nullptr);
    const QString first = args.takeFirst();
    if (first == QLatin1String("--version") || first == QLatin1String("-v")) {
        out(QStringLiteral("Quorlink ") + AppContext::VersionText().mid(1));
        return kDone;
    }
    if (first == QLatin1String("--help") || first == QLatin1String("-h") ||
        first == QLatin1String("help")) {
        const Command* c = args.isEmpty() ? nullptr : findCommand(args.first());
        out(c ? commandHelp(*c) : generalHelp());
        return kDone;
    }
    const Command* command = findCommand(first);
    if (!command)
        return usageError(first.startsWith(QLatin1Char('-'))
                              ? QStringLiteral("unknown option \"%1\"").arg(first)
                              : QStringLiteral("unknown sub-command \"%1\"").arg(first),
                          nullptr);

    QCommandLineParser parser;
    parser.addOptions(command->options);
    // compare takes --settings as its own: it uses no settings store.
    const bool ownSettings = command->name == QLatin1String("compare");
    parser.addOptions({kHelp, kVerbose, kQuiet});
    if (!ownSettings)
        parser.addOption(kSettings);
    if (!parser.parse(QStringList{first} + (ownSettings ? QStringList() : general) + args))
        return usageError(parser.errorText(), command);
    if (given(parser, kHelp)) {
        out(commandHelp(*command));
        return kDone;
    }
    Invocation inv{*command, parser, parser.positionalArguments()};
    if (inv.files.size() < command->files.size())
        return usageError(
            QStringLiteral("missing %1").arg(command->files.mid(inv.files.size()).join(' ')),
            command);
    if (inv.files.size() > command->files.size())
        return usageError(QStringLiteral("unexpected argument \"%1\"").arg(inv.files.last()),
                          command);
    // An empty file name (an unset variable in a script) names no file: IMAGE would be
    // replaced in place of OUT, or the per-user settings used in place of FILE.
    for (const QCommandLineOption& o : {kSettings, kDevice, kPdf, kOutput, kImportSettings}) {
        if (given(parser, o) && parser.values(o).contains(QString()))
            return usageError(emptyFileName(o), command);
    }
    for (qsizetype i = 0; i < inv.files.size(); ++i) {
        if (inv.files[i].isEmpty())
            return usageError(command->files[i] + QStringLiteral(" is empty: give a file name"),
                              command);
    }
    if (given(parser, kVerbose) && given(parser, kQuiet))
        return usageError(QStringLiteral("give --verbose or --quiet, not both"), command);
    if (given(parser, kVerbose))
        inv.verbosity = TerminalFront::Verbosity::Verbose;
    else if (given(parser, kQuiet))
        inv.verbosity = TerminalFront::Verbosity::Quiet;
    return command->run(inv);
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
    std::clearerr(stdout);
    g_outputError.clear();
    const int exit = runCommandLine(argc, argv);
    if (g_outputError.isEmpty() && (std::fflush(stdout) != 0 || std::ferror(stdout)))
        g_outputError = QString::fromLocal8Bit(std::strerror(errno));
    if (g_outputError.isEmpty())
        return exit;
    err(QStringLiteral("cannot write the output: ") + g_outputError);
    return exit == kDone ? kFailed : exit;
}

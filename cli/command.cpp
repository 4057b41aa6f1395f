#include "cli/command.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "core/errors.h"
#include "memory/channelname.h"
#include "sim/ptyradio.h"

#include <sys/stat.h>
#include <unistd.h>

namespace cli {

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
const QCommandLineOption kConfig("config",
                                 "Keep the program's own settings (the cable chosen, window "
                                 "places, recent files) in FILE instead of the per-user file.",
                                 "FILE");
const QCommandLineOption kVerbose("verbose", "Also print the trace lines of the transfer.");
const QCommandLineOption kQuiet("quiet", "Print only errors.");
const QCommandLineOption kPort("port", "Use COM port n (as in the menu, mapping included).",
                               "COMn");
const QCommandLineOption kDevice("device", "Use any serial device, e.g. /dev/ttyUSB0.", "PATH");
const QCommandLineOption kFtdi("ftdi", "Use the FTDI cable with this description.", "DESCRIPTION");
const QCommandLineOption kDemo(
    "demo", QStringLiteral("Talk to a simulated radio on a pseudo-terminal: %1, or --demo for the "
                           "model last picked in the windows (a %2 before any).")
                .arg(DemoModelChoices(QStringLiteral("--demo=")),
                     QLatin1String(kRadioModels[0].shortName)));
// "--demo=MODEL" reaches the parser as "--demo --demo-model MODEL".
const QCommandLineOption kDemoModel = [] {
    QCommandLineOption o("demo-model", "The simulated radio's model.", "MODEL");
    o.setFlags(QCommandLineOption::HiddenFromHelp);
    return o;
}();
const QCommandLineOption kFixSums("fix-sums",
                                  "Bring stale region sums and the checksum up to date before "
                                  "writing (without it such a file is refused).");
const QCommandLineOption kYes("yes", "Start writing without waiting for Enter.");
const QCommandLineOption kForce("force", "Replace FILE if it exists.");
const QCommandLineOption kForceOut("force",
                                   "Replace OUT if it exists (never a file the command reads).");
// Each list by its name: "channels (the default), skip (the skip-search memories) or pms
// (L1, U1 ... L50, U50)".
QString listHelp() {
    QStringList choices;
    for (const MemoryListRow& row : kMemoryLists) {
        const int pairs = MemoryMap::Channels::Span(row.list).size / 2;
        choices << QLatin1String(row.name) + QStringLiteral(" (") +
                       (&row == kMemoryLists ? QStringLiteral("the default")
                        : row.paired         ? QStringLiteral("L1, U1 ... L%1, U%1").arg(pairs)
                                             : QStringLiteral("the ") + QLatin1String(row.noun)) +
                       QLatin1Char(')');
    }
    return QStringLiteral("The list to show or import into: ") +
           choices.mid(0, choices.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") +
           choices.last() + QLatin1Char('.');
}
const QCommandLineOption kList("list", listHelp(), "LIST");
// import and stations: where distances are measured from.
const QCommandLineOption kNear("near",
                               "Distances from LAT,LON (signed decimal degrees), nearest first; "
                               "\"radio\": from the image's own manual APRS position.",
                               "LAT,LON|radio");
const QCommandLineOption kOutput("output", "Write the result to OUT instead of IMAGE.", "OUT");

const QList<QCommandLineOption> kLinkOptions = {kPort, kDevice, kFtdi, kDemo, kDemoModel};

// Whether an option was given; false for options the sub-command does not take.
bool given(const QCommandLineParser& p, const QCommandLineOption& o) {
    return p.optionNames().contains(o.names().constLast()) ||
           (o.names().size() > 1 && p.optionNames().contains(o.names().constFirst()));
}

namespace {

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
            return QStringLiteral("--port takes COM1 to COM32, not \"%1\"")
                .arg(EscapedControls(p.value(kPort)));
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
        const MemoryMap::Model model =
            DemoModelNamed(p.value(kDemoModel)).value_or(storedDemoModel(world.config));
        const QString error = startDemoRadio(*world.ctx, world.ports, &world.demo, model);
        if (!error.isEmpty())
            return error;
        DemoRadio* demo = world.demo;
        world.front->say(QStringLiteral("Demo: talking to a simulated ") +
                         MemoryMap::ModelName(model) + QStringLiteral(" on ") + demo->pty->path() +
                         QLatin1Char('.'));
        world.front->onLookingForRadio = [demo] { demo->pressBandSoon(); };
        demo->powerCycle();
    } else {
        link.loadStoredChoice(world.config);
    }
    return QString();
}

}  // namespace

std::unique_ptr<World> transferWorld(Invocation& inv, TerminalFront::Transfer transfer, int* exit) {
    int chosen = 0;
    for (const QCommandLineOption& o : {kPort, kDevice, kFtdi, kDemo})
        chosen += given(inv.parser, o) ? 1 : 0;
    if (chosen > 1) {
        *exit = usageError(QStringLiteral("give only one of --port, --device, --ftdi and --demo"),
                           &inv.command);
        return nullptr;
    }
    auto world = std::make_unique<World>(inv.parser.value(kConfig), transfer, inv.verbosity,
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

// The list --list names; false after a usage error for a name that is none.
bool listOf(Invocation& inv, ChannelList* list, int* exit) {
    const QStringList kNames = MemoryListNames();
    const qsizetype at = kNames.indexOf(inv.parser.value(kList));
    *list = ChannelList(std::max<qsizetype>(at, 0));
    if (!given(inv.parser, kList) || at >= 0)
        return true;
    *exit = usageError(QStringLiteral("--list takes %1 or %2, not \"%3\"")
                           .arg(kNames.mid(0, kNames.size() - 1).join(QStringLiteral(", ")),
                                kNames.last(), EscapedControls(inv.parser.value(kList))),
                       &inv.command);
    return false;
}

}  // namespace cli

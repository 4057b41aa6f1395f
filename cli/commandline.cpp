#include "cli/commandline.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/command.h"
#include "memory/channelname.h"
#include "transfer/appcontext.h"

using namespace cli;

// What each sub-command does, in the file its row names.
namespace cli {
int readCommand(Invocation& inv);
int writeCommand(Invocation& inv);
int infoCommand(Invocation& inv);
int compareCommand(Invocation& inv);
int channelsCommand(Invocation& inv);
int portsCommand(Invocation& inv);
int importCommand(Invocation& inv);
int settingsCommand(Invocation& inv);
int stationsCommand(Invocation& inv);
}  // namespace cli

namespace {

const QList<Command>& commands() {
    static const QList<Command> table = {
        {"read",  // cli/cmd_read.cpp
         {"FILE"},
         "Read the radio's whole memory into FILE (and the automatic backup).",
         kLinkOptions + QList<QCommandLineOption>{kForce},
         true,
         {"quorlink read backup.img", "quorlink read --device /dev/ttyUSB0 vx8.img"},
         readCommand},
        {"write",  // cli/cmd_write.cpp
         {"FILE"},
         "Write FILE to the radio. A file whose sums are stale is refused unless --fix-sums.",
         kLinkOptions + QList<QCommandLineOption>{kFixSums, kYes},
         true,
         {"quorlink write backup.img", "quorlink write --port COM9 --yes backup.img"},
         writeCommand},
        {"info",  // cli/cmd_info.cpp
         {"FILE"},
         "Show the model, identity, size, checksum and region sums of an image file.",
         {kJson},
         false,
         {"quorlink info backup.img", "quorlink info --json backup.img"},
         infoCommand},
        {"compare",  // cli/cmd_compare.cpp
         {"A", "B"},
         "List the byte ranges where two image files differ (exit 0 when identical, 1 if not).",
         {kChannels, kCompareSettings},
         false,
         {"quorlink compare monday.img friday.img",
          "quorlink compare --channels monday.img friday.img",
          "quorlink compare --settings monday.img friday.img"},
         compareCommand},
        {"channels",  // cli/cmd_channels.cpp
         {"FILE"},
         "List the memory channels and banks of an image file, or write them as CSV or PDF.",
         {kList, kAll, kCsv, kPdf, kPocket, kForceOut},
         false,
         {"quorlink channels backup.img", "quorlink channels --csv backup.img > channels.csv",
          "quorlink channels --list pms backup.img",
          "quorlink channels --pdf channels.pdf backup.img",
          "quorlink channels --pdf card.pdf --pocket --force backup.img"},
         channelsCommand},
        {"import",  // cli/cmd_import.cpp
         {"IMAGE", "FILE"},
         "Take channels into an image file (saved as IMAGE unless --output) from a CSV file, "
         "a repeater directory export (RepeaterBook JSON) or another image file.",
         {kList, kOutput, kForceOut, kReplace, kSkipBad, kFixSums, kAppend, kAppendFrom, kBank,
          kNear, kWithin},
         false,
         {"quorlink import backup.img channels.csv",
          "quorlink import --replace --output new.img backup.img channels.csv",
          "quorlink import --list skip backup.img skip.csv",
          "quorlink import backup.img repeaters.json --near radio --within 40mi --bank 3",
          "quorlink import backup.img club.img --append=200"},
         importCommand},
        {"settings",  // cli/cmd_settings.cpp
         {"IMAGE"},
         "Print the radio settings of an image file, or set them (saved as IMAGE unless "
         "--output).",
         {kSet, kImportSettings, kOutput, kForceOut, kSkipBadSettings, kFixSums},
         false,
         {"quorlink settings a.img > club.txt", "quorlink settings b.img --import club.txt",
          "quorlink settings a.img --set aprs.callsign=KK7DS-7 --set scan.squelch_a=2"},
         settingsCommand},
        {"stations",  // cli/cmd_stations.cpp
         {"IMAGE"},
         "List the APRS stations the radio heard, or write them as CSV, GPX or KML.",
         {kStationsCsv, kGpx, kKml, kNear, kStationsOutput, kForceOut},
         false,
         {"quorlink stations backup.img", "quorlink stations --gpx --output heard.gpx backup.img",
          "quorlink stations --csv --near 40.7484,-73.9857 backup.img > heard.csv"},
         stationsCommand},
        {"ports",  // cli/cmd_ports.cpp
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

QString emptyFileName(const QCommandLineOption& o) {
    return QStringLiteral("--") + o.names().constFirst() +
           QStringLiteral(" needs a file name, not an empty value");
}

// The program's own file: "--config FILE", or its old name "--settings FILE", taken before
// the sub-command (and after it, but for compare's own --settings) until the next release.
bool isConfigOption(const QString& arg, bool* takesValue) {
    *takesValue = arg == QLatin1String("--config") || arg == QLatin1String("-config") ||
                  arg == QLatin1String("--settings") || arg == QLatin1String("-settings");
    return *takesValue || arg.startsWith(QLatin1String("--config=")) ||
           arg.startsWith(QLatin1String("--settings="));
}

// The old name of --config put as the new one; true when it was the old name.
bool renameOldConfig(QString& arg) {
    if (!arg.startsWith(QLatin1String("--settings")) && !arg.startsWith(QLatin1String("-settings")))
        return false;
    arg = QStringLiteral("--config") + arg.mid(arg.indexOf(QLatin1String("settings")) + 8);
    return true;
}

bool isWindowOption(const QString& arg, bool* takesValue) {
    return isConfigOption(arg, takesValue) || arg == QLatin1String("--demo") ||
           arg.startsWith(QLatin1String("--demo=")) || arg == QLatin1String("--demo-if-no-cable");
}

// `quorlink FILE` opens FILE in the windows: an argument that is no option and no
// sub-command, and names a file or looks like a file name.
bool isFileToOpen(const QString& arg) {
    return !arg.startsWith(QLatin1Char('-')) && !findCommand(arg) &&
           (QFileInfo::exists(arg) || arg.contains(QLatin1Char('.')) ||
            arg.contains(QLatin1Char('/')));
}

// Takes --config (or its old name), --verbose and --quiet given before the sub-command out of
// `args`, to be parsed with the sub-command's own options. "--" ends the options.
QStringList takeGeneralOptions(QStringList& args, bool* oldName) {
    QStringList general;
    bool takesValue = false;
    while (!args.isEmpty()) {
        QString arg = args.first();
        if (isConfigOption(arg, &takesValue) && (!takesValue || args.size() > 1)) {
            *oldName = renameOldConfig(arg) || *oldName;
            args.removeFirst();
            general << arg;
            if (takesValue)
                general << args.takeFirst();
        } else if (arg == QLatin1String("--verbose") || arg == QLatin1String("--quiet")) {
            general << args.takeFirst();
        } else {
            break;
        }
    }
    return general;
}

}  // namespace

QString OldConfigNameNote() {
    return QStringLiteral(
        "--settings FILE is now --config FILE; the old name is taken until the next release");
}

bool IsCommandLine(int argc, char** argv) {
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        bool takesValue = false;
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (isFileToOpen(arg) && ++files == 1)
            continue;
        if (!isWindowOption(arg, &takesValue))
            return true;
        // The windows too take no empty file name: the command line refuses it.
        if (arg == QLatin1String("--config=") || arg == QLatin1String("--settings=") ||
            (takesValue && (i + 1 == argc || !*argv[i + 1])))
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
    bool oldConfigName = false;
    const QStringList general = takeGeneralOptions(args, &oldConfigName);
    if (general.contains(QString()) || general.contains(QStringLiteral("--config=")))
        return usageError(emptyFileName(kConfig), nullptr);
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
        out(c ? commandHelp(*c) : generalHelp(commands()));
        return kDone;
    }
    const Command* command = findCommand(first);
    if (!command)
        return usageError(
            first.startsWith(QLatin1Char('-'))
                ? QStringLiteral("unknown option \"%1\"").arg(EscapedControls(first))
                : QStringLiteral("unknown sub-command \"%1\"").arg(EscapedControls(first)),
            nullptr);

    // The simulated radio's model, when named: "--demo=VX-8DR".
    for (qsizetype i = 0; i < args.size() && args[i] != QLatin1String("--"); ++i) {
        if (!args[i].startsWith(QLatin1String("--demo=")))
            continue;
        const QString model = args[i].mid(7);
        if (!DemoModelNamed(model))
            return usageError(
                QStringLiteral("--demo takes %1, not \"%2\"").arg(DemoModelChoices(), model),
                command);
        args[i] = QStringLiteral("--demo");
        args.insert(++i, QStringLiteral("--demo-model"));
        args.insert(++i, model);
    }

    // An option with a value it may leave out: "--append=N" reaches the parser as its own.
    // compare's own --settings lists the radio settings; elsewhere it is --config's old name.
    const bool compare = command->name == QLatin1String("compare");
    for (QString& arg : args) {
        if (arg == QLatin1String("--"))
            break;
        if (command->name == QLatin1String("import") && arg.startsWith(QLatin1String("--append=")))
            arg.replace(0, 9, QStringLiteral("--append-from="));
        else if (!compare)
            oldConfigName = renameOldConfig(arg) || oldConfigName;
    }
    QCommandLineParser parser;
    parser.addOptions(command->options);
    parser.addOptions({kHelp, kVerbose, kQuiet, kConfig});
    if (!parser.parse(QStringList{first} + general + args))
        return usageError(EscapedControls(parser.errorText()), command);
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
        return usageError(
            QStringLiteral("unexpected argument \"%1\"").arg(EscapedControls(inv.files.last())),
            command);
    // An empty file name (an unset variable in a script) names no file: IMAGE would be
    // replaced in place of OUT, or the per-user configuration used in place of FILE.
    for (const QCommandLineOption& o : {kConfig, kDevice, kPdf, kOutput, kImportSettings}) {
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
    if (oldConfigName && inv.verbosity != TerminalFront::Verbosity::Quiet)
        err(OldConfigNameNote());
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

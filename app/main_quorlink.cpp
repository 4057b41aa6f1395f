#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include "app/demowindow.h"
#include "app/form1.h"
#include "app/imagefiles.h"
#include "cli/commandline.h"
#include "core/clock.h"
#include "core/config.h"
#include "image/models.h"
#include "link/libftdi_d2xx.h"
#include "link/qtserialcontrol.h"
#include "sim/demo.h"
#include "transfer/appcontext.h"
#include "ui/frmabout.h"
#include "ui/messagebox.h"

namespace {

// A standard descriptor that was closed at start is opened on /dev/null: otherwise the next
// file or port opened takes its number, so that "Press Enter" waits on a serial port, or a
// printed line goes to the radio. A closed standard input reads as its end; a closed
// standard output is opened for reading only, so that the command line's writes to it fail
// and are reported instead of vanishing.
void fillClosedStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1)
            ::open("/dev/null", fd == STDERR_FILENO ? O_WRONLY : O_RDONLY);
    }
}

// The windows need a display; without one Qt would abort with its plugin message.
bool displayMissing(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0)
            return false;
    }
    return qEnvironmentVariableIsEmpty("DISPLAY") &&
           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
           qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char* argv[]) {
    fillClosedStandardDescriptors();
    // Beyond a file-size limit a write then fails with EFBIG, which a save reports, instead of
    // the signal ending the program with the image it read.
    std::signal(SIGXFSZ, SIG_IGN);
    // A sub-command runs on the terminal and needs no display.
    if (IsCommandLine(argc, argv))
        return RunCommandLine(argc, argv);
    if (displayMissing(argc, argv)) {
        std::fputs(
            "No display: the windows cannot open here. Try quorlink --help for the command "
            "line.\n",
            stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorlink"));
    QApplication::setApplicationVersion(AppContext::VersionText().mid(1));
    QApplication::setWindowIcon(FrmAbout::appIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads and writes the clone memory of %1 handheld radios.")
            .arg(ListedModels([](const RadioModel& m) { return QString(m.family); },
                              QStringLiteral(" and "))));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption configOption(
        QStringLiteral("config"),
        QStringLiteral("Keep the program's own settings (the cable chosen, window places, recent "
                       "files) in <file> instead of the per-user file."),
        QStringLiteral("file"));
    // The old name of --config, taken until the next release.
    QCommandLineOption oldConfigOption(QStringLiteral("settings"), QString(),
                                       QStringLiteral("file"));
    oldConfigOption.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption demoOption(
        QStringLiteral("demo"),
        QStringLiteral("Talk to a simulated radio on a pseudo-terminal instead of a cable: "
                       "%1, or --demo for the model last picked in Help > Use the Simulated "
                       "Radio (a %2 before any). The stored configuration is not changed.")
            .arg(DemoModelChoices(QStringLiteral("--demo=")),
                 QLatin1String(kRadioModels[0].shortName)));
    QCommandLineOption demoIfNoCableOption(
        QStringLiteral("demo-if-no-cable"),
        QStringLiteral("Start as with --demo when the configured cable (COM port or FTDI "
                       "device) is not there."));
    parser.addOption(configOption);
    parser.addOption(oldConfigOption);
    parser.addOption(demoOption);
    parser.addOption(demoIfNoCableOption);
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("An image file to open at start-up."),
                                 QStringLiteral("[file]"));
    // "--demo=MODEL" names the model; the parser takes "--demo" alone.
    QStringList arguments = QCoreApplication::arguments();
    QString demoModelName;
    for (QString& argument : arguments) {
        if (argument == QLatin1String("--"))
            break;
        if (argument.startsWith(QLatin1String("--demo="))) {
            demoModelName = argument.mid(7);
            argument = QStringLiteral("--demo");
        }
    }
    parser.process(arguments);
    const std::optional<MemoryMap::Model> demoModelGiven = DemoModelNamed(demoModelName);
    if (!demoModelName.isNull() && !demoModelGiven) {
        std::fprintf(stderr, "quorlink: --demo takes %s, not \"%s\"\n",
                     qPrintable(DemoModelChoices()), qPrintable(demoModelName));
        return 2;
    }

    if (parser.isSet(oldConfigOption))
        std::fprintf(stderr, "quorlink: %s\n", qPrintable(OldConfigNameNote()));
    ConfigStore config(parser.isSet(configOption) ? parser.value(configOption)
                                                  : parser.value(oldConfigOption));
    SystemClock clock;
    QtMessageBoxes boxes;
    QtPortFactory ports(&config);
    std::unique_ptr<D2xx> d2xx = createLibFtdiD2xx();

    Services services;
    services.clock = &clock;
    services.boxes = &boxes;
    services.config = &config;
    services.ports = &ports;
    services.d2xx = d2xx.get();
    AppContext ctx(services);

    Form1 window(ctx);
    if (window.loadFailed())
        return 1;
    const MemoryMap::Model demoModel = demoModelGiven.value_or(storedDemoModel(config));
    bool demo = false;
    if (parser.isSet(demoOption)) {
        const QString error = startWindowDemo(ctx, window, ports, demoModel);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "quorlink: %s\n", qPrintable(error));
            return 1;
        }
        demo = true;
    } else if (parser.isSet(demoIfNoCableOption) && configuredCableMissing(ctx, ports)) {
        // Without the demo the program is still useful: say why and go on without it.
        const QString error = startWindowDemo(ctx, window, ports, demoModel);
        if (!error.isEmpty())
            std::fprintf(stderr, "quorlink: no cable found and %s\n", qPrintable(error));
        demo = error.isEmpty();
    }
    // The Help menu offers it in each model (and the no-answer hint, when it does not run).
    window.setSimulatedRadioStarter([&ctx, &window, &ports](MemoryMap::Model model) {
        return startWindowDemo(ctx, window, ports, model);
    });
    if (demo)
        window.mnuSimulatedModel[int(demoModel)]->setChecked(true);
    window.show();
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) {
        // Once the window is up, so that a refusal box has it as its parent.
        QTimer::singleShot(0, &window, [&window, file = files.constFirst()] {
            AppContext::guardHandler([&] { window.imageFiles().OpenImage(file); });
        });
    }
    if (qEnvironmentVariableIsSet("QUORLINK_QUIT_WHEN_SHOWN")) {
        // The start-up benchmark's end mark: the main window is on the screen.
        QTimer::singleShot(0, &app, [] {
            std::fputs("shown\n", stdout);
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    }
    return app.exec();
}

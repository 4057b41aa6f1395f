#pragma once

// What the sub-commands of the command line share: how one is called, how it prints, the
// options more than one takes, and the world a transfer runs in. Each sub-command is one
// file, cli/cmd_NAME.cpp, and one row of the table in cli/commandline.cpp.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "cli/terminalfront.h"
#include "core/clock.h"
#include "core/config.h"
#include "core/d2xx.h"
#include "image/imagefile.h"
#include "link/libftdi_d2xx.h"
#include "link/qtserialcontrol.h"
#include "memory/channels.h"
#include "sim/demo.h"
#include "transfer/appcontext.h"

namespace cli {

enum Exit { kDone = 0, kFailed = 1, kUsage = 2, kRefused = 3, kInterrupted = 130 };

// Why standard output took less than it was given (a full disk, a closed or broken pipe);
// empty while every write went through. The run ends with exit 1 when it is set.
extern QString g_outputError;

// A line to standard output; a line to standard error after "quorlink: ".
void out(const QString& text);
void err(const QString& text);

// The options more than one sub-command takes (cli/command.cpp).
extern const QCommandLineOption kHelp, kConfig, kVerbose, kQuiet, kPort, kDevice, kFtdi, kDemo,
    kDemoModel, kFixSums, kYes, kForce, kForceOut, kList, kOutput, kNear;
extern const QList<QCommandLineOption> kLinkOptions;

// The options of one sub-command, each defined in its file.
extern const QCommandLineOption kJson;                        // cmd_info
extern const QCommandLineOption kChannels, kCompareSettings;  // cmd_compare
extern const QCommandLineOption kAll, kCsv, kPdf, kPocket;    // cmd_channels
extern const QCommandLineOption kReplace, kSkipBad, kAppend, kAppendFrom, kBank,
    kWithin;                                                                // cmd_import
extern const QCommandLineOption kSet, kImportSettings, kSkipBadSettings;    // cmd_settings
extern const QCommandLineOption kStationsCsv, kGpx, kKml, kStationsOutput;  // cmd_stations

// Whether an option was given; false for options the sub-command does not take.
bool given(const QCommandLineParser& p, const QCommandLineOption& o);

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

// Prints `text` and the usage line of `c` (the general one without) to standard error;
// returns the exit code of wrong usage.
int usageError(const QString& text, const Command* c);

// The help of the whole command line and of one sub-command (cli/help.cpp).
QString generalHelp(const QList<Command>& commands);
QString commandHelp(const Command& c);

struct World {
    ConfigStore config;
    SystemClock clock;
    QtPortFactory ports{&config};
    std::unique_ptr<D2xx> d2xx = createLibFtdiD2xx();
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<TerminalFront> front;
    std::unique_ptr<QSocketNotifier> interruptNotifier;
    DemoRadio* demo = nullptr;

    World(const QString& configFile, TerminalFront::Transfer transfer,
          TerminalFront::Verbosity verbosity, bool assumeYes)
        : config(configFile),
          front(std::make_unique<TerminalFront>(transfer, verbosity, assumeYes)) {
        Services s;
        s.clock = &clock;
        s.boxes = front.get();
        s.config = &config;
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

// Sets up the world for a transfer; exit code and message on failure.
std::unique_ptr<World> transferWorld(Invocation& inv, TerminalFront::Transfer transfer, int* exit);

// "12.3 s".
QString seconds(qint64 ms);

// Opens an image file as Open Image does; prints why when it is refused.
bool loadFile(const QString& path, LoadedImage& loaded);

// An output file may not be a file the command reads, nor replace one without --force;
// prints why it is refused.
bool mayWrite(const Invocation& inv, const QString& path, const QStringList& inputs);

// The list --list names; false after a usage error for a name that is none.
bool listOf(Invocation& inv, ChannelList* list, int* exit);

}  // namespace cli

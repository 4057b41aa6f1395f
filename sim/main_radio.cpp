// quorlink-radio: a VX-8 in clone mode on a pseudo-terminal, for trying Quorlink without a
// radio and for the end-to-end tests. It prints "PTY <path>" first, then one line per event.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#include "sim/ptyradio.h"
#include "sim/simradio.h"

#include <unistd.h>

namespace {

void say(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

[[noreturn]] void usageError(const QString& text) {
    std::fprintf(stderr, "quorlink-radio: %s\n", qPrintable(text));
    std::exit(2);
}

int wholeNumber(const QString& text, const QString& what) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0)
        usageError(QStringLiteral("%1 must be a whole number, not \"%2\"").arg(what, text));
    return value;
}

QByteArray identityFrom(const QString& text) {
    for (const RadioModel& m : kRadioModels)
        if (text.compare(QLatin1String(m.identity), Qt::CaseInsensitive) == 0)
            return SimRadio::identityOf(m);
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{20}$"));
    if (!hex.match(text).hasMatch())
        usageError(QStringLiteral("--identity takes %1 or 20 hex digits, not \"%2\"")
                       .arg(ListedModels([](const RadioModel& m) { return QString(m.identity); },
                                         QStringLiteral(", ")),
                            text));
    return QByteArray::fromHex(text.toLatin1());
}

void applyFault(SimRadio::Faults& faults, const QString& fault) {
    const QString name = fault.section(QLatin1Char('='), 0, 0).trimmed().toLower();
    const QString value = fault.section(QLatin1Char('='), 1).trimmed();
    if (name == QLatin1String("stall")) {
        faults.stallAfterBlocks = wholeNumber(value, QStringLiteral("stall"));
    } else if (name == QLatin1String("wrong-checksum")) {
        faults.wrongChecksum = true;
    } else if (name == QLatin1String("no-checksum")) {
        faults.omitChecksum = true;
    } else if (name == QLatin1String("silent")) {
        faults.silent = true;
    } else if (name == QLatin1String("nak")) {
        faults.nakIdentity = true;
    } else if (name == QLatin1String("pull-after")) {
        faults.pullCableAfterBytes = wholeNumber(value, QStringLiteral("pull-after"));
    } else if (name == QLatin1String("noise")) {
        const QByteArray bytes = QByteArray::fromHex(value.toLatin1());
        if (bytes.isEmpty() || bytes.size() * 2 != value.size())
            usageError(QStringLiteral("noise takes hex digits, not \"%1\"").arg(value));
        faults.noise = bytes;
    } else {
        usageError(QStringLiteral("unknown fault \"%1\"").arg(fault));
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorlink-radio"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays a VX-8 radio in clone mode on a pseudo-terminal. The first line printed is\n"
        "\"PTY <path>\": map that path to a COM number (settings section Ports, key COMn).\n"
        "\n"
        "Commands on standard input, one a line:\n"
        "  band   press [BAND]: the radio sends its identity, and its memory once the\n"
        "         identity is acknowledged\n"
        "  pull   pull the cable: the terminal hangs up\n"
        "  memory print MEMORY and the SHA-1 of identity, memory and checksum, in the\n"
        "         order the radio sends them (as an image file holds them)\n"
        "  quit   end the program (so does the end of standard input)\n"
        "\n"
        "Events on standard output, one a line: ACK (a read's identity was acknowledged),\n"
        "NAK (it was refused), SENT (the memory was sent), WRITE OK or WRITE BAD CHECKSUM\n"
        "(a write was taken), PULLED (the cable was pulled).\n"
        "\n"
        "A write needs no command: the radio always waits for one, as it does after MODE."));
    parser.addHelpOption();
    const QCommandLineOption bandAfter(
        QStringLiteral("band-after"),
        QStringLiteral("Press [BAND] <ms> milliseconds after start (default: only on the "
                       "command \"band\")."),
        QStringLiteral("ms"));
    const QCommandLineOption transfers(
        QStringLiteral("transfers"),
        QStringLiteral("Exit after <n> completed transfers, reads and writes counted "
                       "together (default 0: run until quit, killed or end of input)."),
        QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption identity(
        QStringLiteral("identity"),
        QStringLiteral("The identity the radio sends: %1 or any 10 bytes as 20 hex digits.")
            .arg(ListedModels(
                [](const RadioModel& m) {
                    return QStringLiteral("%1 (%2%3)")
                        .arg(m.identity, m.family,
                             &m == kRadioModels ? QStringLiteral(", the default") : QString());
                },
                QStringLiteral(", "))),
        QStringLiteral("id"));
    const QCommandLineOption fault(
        QStringLiteral("fault"),
        QStringLiteral("Misbehave; repeat for several. stall=N: stop sending after N blocks "
                       "of 64 bytes. wrong-checksum: send the checksum plus one. "
                       "no-checksum: send no checksum byte. silent: never send nor answer. "
                       "nak: answer a write's identity with 15 hex. pull-after=BYTES: pull "
                       "the cable once BYTES crossed it. noise=HEX: send these bytes before "
                       "the identity."),
        QStringLiteral("fault"));
    parser.addOptions({bandAfter, transfers, identity, fault});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        usageError(QStringLiteral("unexpected argument \"%1\"")
                       .arg(parser.positionalArguments().constFirst()));

    SimRadio radio;
    if (parser.isSet(identity))
        radio.identity = identityFrom(parser.value(identity));
    for (const QString& f : parser.values(fault))
        applyFault(radio.faults, f);
    const int transferLimit = wholeNumber(parser.value(transfers), QStringLiteral("--transfers"));
    const int bandDelay = parser.isSet(bandAfter)
                              ? wholeNumber(parser.value(bandAfter), QStringLiteral("--band-after"))
                              : -1;

    PtyRadio pty(radio);
    QString error;
    if (!pty.open(&error)) {
        std::fprintf(stderr, "quorlink-radio: cannot open a pseudo-terminal: %s\n",
                     qPrintable(error));
        return 1;
    }
    say(QStringLiteral("PTY ") + pty.path());

    // Ends the program once the program at the other end has had time to read what is
    // still in the terminal: hanging up at once could drop the last bytes.
    bool ending = false;
    auto finish = [&] {
        if (ending)
            return;
        ending = true;
        QTimer::singleShot(300, &app, &QCoreApplication::quit);
    };

    int completed = 0;
    auto countTransfer = [&] {
        ++completed;
        if (transferLimit > 0 && completed >= transferLimit)
            finish();
    };
    QObject::connect(&pty, &PtyRadio::identityAnswered, &app,
                     [](bool ok) { say(ok ? QStringLiteral("ACK") : QStringLiteral("NAK")); });
    QObject::connect(&pty, &PtyRadio::sendFinished, &app, [&] {
        say(QStringLiteral("SENT"));
        countTransfer();
    });
    QObject::connect(&pty, &PtyRadio::writeReceived, &app, [&](bool ok) {
        say(ok ? QStringLiteral("WRITE OK") : QStringLiteral("WRITE BAD CHECKSUM"));
        countTransfer();
    });
    QObject::connect(&pty, &PtyRadio::cablePulled, &app, [] { say(QStringLiteral("PULLED")); });

    QByteArray input;
    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&commands, &QSocketNotifier::activated, &app, [&] {
        char chunk[256];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            commands.setEnabled(false);
            QCoreApplication::quit();  // end of input: nobody is left to give commands
            return;
        }
        input.append(chunk, n);
        for (qsizetype eol; (eol = input.indexOf('\n')) >= 0;) {
            const QString line = QString::fromLocal8Bit(input.left(eol)).trimmed().toLower();
            input.remove(0, eol + 1);
            if (line == QLatin1String("band")) {
                pty.pressBand();
            } else if (line == QLatin1String("pull")) {
                pty.pullCable();
            } else if (line == QLatin1String("memory")) {
                const QByteArray image = radio.identity + radio.memory +
                                         char(SimRadio::checksumOf(radio.identity, radio.memory));
                say(QStringLiteral("MEMORY ") +
                    QString::fromLatin1(
                        QCryptographicHash::hash(image, QCryptographicHash::Sha1).toHex()));
            } else if (line == QLatin1String("quit")) {
                QCoreApplication::quit();
            } else if (!line.isEmpty()) {
                std::fprintf(stderr,
                             "quorlink-radio: unknown command \"%s\" (band, pull, memory, quit)\n",
                             qPrintable(line));
            }
        }
    });

    if (bandDelay >= 0)
        pty.pressBand(bandDelay);
    return app.exec();
}

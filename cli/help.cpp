#include <QStringList>
#include <cstdio>
#include <utility>

#include "cli/command.h"
#include "image/models.h"
#include "memory/settings.h"

// The help texts and usage lines of the command line, built from the table of sub-commands.

namespace cli {

namespace {

const QString kOldConfigName = QStringLiteral(
    "  (--settings FILE, the old name of --config FILE, is taken until the next release)");

}  // namespace

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

QString generalHelp(const QList<Command>& commands) {
    QStringList lines = {
        QStringLiteral("Quorlink reads and writes the clone memory of %1 radios.")
            .arg(ListedModels([](const RadioModel& m) { return QString(m.family); },
                              QStringLiteral(" and "))),
        QString(),
        QStringLiteral("Usage: quorlink [--config FILE] [--verbose | --quiet] SUBCOMMAND "
                       "[options] ..."),
        QStringLiteral(
            "       quorlink [--config FILE] [--demo[=MODEL] | --demo-if-no-cable]   (the "
            "windows)"),
        QString(),
        QStringLiteral("Sub-commands:")};
    for (const Command& c : commands)
        lines << QStringLiteral("  %1  %2").arg(c.name, -8).arg(c.summary);
    lines << QString() << QStringLiteral("Options (before or after the sub-command; -- ends them):")
          << optionLine(kConfig) << kOldConfigName << optionLine(kVerbose) << optionLine(kQuiet)
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
          << QStringLiteral("  quorlink settings backup.img      list its radio settings")
          << QStringLiteral("  quorlink stations backup.img      list the APRS stations it heard");
    return lines.join(QLatin1Char('\n'));
}

QString commandHelp(const Command& c) {
    QStringList lines = {QStringLiteral("Usage: ") + usageLine(c), QString(), c.summary, QString(),
                         QStringLiteral("Options:")};
    for (const QCommandLineOption& o : c.options)
        if (!(o.flags() & QCommandLineOption::HiddenFromHelp))
            lines << optionLine(o);
    if (c.usesLink)
        lines << QStringLiteral(
                     "  (without --port, --device, --ftdi or --demo the cable stored in the "
                     "configuration is used)")
              << optionLine(kVerbose) << optionLine(kQuiet);
    lines << optionLine(kConfig);
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

int usageError(const QString& text, const Command* c) {
    err(text);
    std::fputs(((c ? QStringLiteral("Usage: ") + usageLine(*c) : generalUsage()) + '\n')
                   .toLocal8Bit()
                   .constData(),
               stderr);
    return kUsage;
}

}  // namespace cli

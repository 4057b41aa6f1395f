#include "cli/command.h"

#include "memory/channelcsv.h"
#include "memory/channeledit.h"
#include "memory/settings.h"

namespace cli {

const QCommandLineOption kSet("set", "Set one setting (repeat for more).", "KEY=VALUE");
const QCommandLineOption kImportSettings("import",
                                         "Set what a settings file (as this command prints "
                                         "it) holds.",
                                         "FILE");
const QCommandLineOption kSkipBadSettings("skip-bad",
                                          "Apply the other settings when some are refused "
                                          "(without it nothing is written).");

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
    // Said once the image is saved, one line per sum, as the window's trace says it.
    const QStringList fixed = FixSums(loaded.image);
    QStringList refused;
    QList<SettingAssignment> assignments;
    for (const QString& file : inv.parser.values(kImportSettings)) {
        QString text, error;
        if (!ReadCsvFile(file, &text, &error, QStringLiteral("a settings file"))) {
            err(QStringLiteral("cannot read %1: %2").arg(file, error));
            return kRefused;
        }
        assignments << ParseSettingsFile(text, &refused);
    }
    for (const QString& set : inv.parser.values(kSet)) {
        const qsizetype equals = set.indexOf(QLatin1Char('='));
        if (equals < 1)
            refused
                << QStringLiteral("--set takes KEY=VALUE, not \"%1\"").arg(EscapedControls(set));
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
    for (const QString& line : fixed)
        if (inv.verbosity != TerminalFront::Verbosity::Quiet)
            err(line);
    if (inv.verbosity != TerminalFront::Verbosity::Quiet)
        out(QStringLiteral("%1 settings changed; saved %2")
                .arg(SettingsComparison(before, loaded.image).size())
                .arg(path));
    return kDone;
}

}  // namespace cli

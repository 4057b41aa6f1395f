#include "cli/command.h"

#include <algorithm>
#include "cli/channelcommands.h"
#include "image/memorymap.h"
#include "memory/channelcsv.h"

ImportRun ImportChannels(const QString& imagePath, const QString& csvPath, const QString& output,
                         bool replace, bool skipBad, bool fixSums, ChannelList list) {
    constexpr int kRefused = 3, kFailed = 1;
    ImportRun run;
    LoadedImage loaded;
    if (!LoadImageFile(imagePath, loaded, &run.error)) {
        run.exit = kRefused;
        return run;
    }
    // A damaged image stays refused as `write` refuses it; the other programmer leaves its
    // files' sums stale, so with its trailer they are brought up to date, as on opening.
    const QStringList stale = StaleSums(loaded.image);
    if (!stale.isEmpty() && !loaded.hadTrailer && !fixSums) {
        run.listed << stale;
        run.error =
            QStringLiteral("refused: the sums are stale; --fix-sums brings them up to date");
        run.exit = kRefused;
        return run;
    }
    const QStringList fixed = FixSums(loaded.image);
    QString text;
    if (!ReadCsvFile(csvPath, &text, &run.error)) {
        run.error = QStringLiteral("cannot read %1: %2").arg(csvPath, run.error);
        run.exit = kRefused;
        return run;
    }
    const CsvImport import = ParseChannelsCsv(text, list);
    if (import.refusedWhole) {
        run.error = QStringLiteral("nothing was written: %1").arg(import.refusals.value(0));
        run.exit = kRefused;
        return run;
    }
    // Refusals and quirks in the order of their lines.
    run.listed << import.refusals << import.warnings;
    std::stable_sort(run.listed.begin(), run.listed.end(), [](const QString& a, const QString& b) {
        return a.section(QLatin1Char(':'), 0, 0).mid(5).toInt() <
               b.section(QLatin1Char(':'), 0, 0).mid(5).toInt();
    });
    if (!import.refusals.isEmpty() && !skipBad) {
        run.error =
            QStringLiteral("nothing was written: %1 %2 refused; --skip-bad imports the rest")
                .arg(import.refusals.size())
                .arg(import.refusals.size() == 1 ? QStringLiteral("row") : QStringLiteral("rows"));
        run.exit = kRefused;
        return run;
    }
    // The terminal cannot ask before storing over a masked entry: it says so.
    for (const Channel& ch : import.channels)
        if (DecodeChannelAt(loaded.image, ch.number).masked)
            run.listed << EntryName(ch.number) + QStringLiteral(": was masked; stored over it");
    const QByteArray before = loaded.image;
    const int cleared = ApplyChannelsCsv(loaded.image, import, replace, list);
    MemoryMap::RefreshSumsFor(before, loaded.image);
    if (!SaveImageFile(output.isEmpty() ? imagePath : output, loaded.image, &run.error)) {
        run.exit = kFailed;
        return run;
    }
    run.listed << fixed;
    run.summary =
        QStringLiteral("imported %1 channels, cleared %2").arg(import.channels.size()).arg(cleared);
    return run;
}

namespace cli {

const QCommandLineOption kReplace("replace", "Clear the channels that the CSV does not name.");
const QCommandLineOption kSkipBad("skip-bad",
                                  "Import the other rows when some are refused (without it "
                                  "nothing is written).");

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

}  // namespace cli

#include "cli/command.h"

#include <algorithm>
#include "cli/channelcommands.h"
#include "image/memorymap.h"
#include "memory/channelcsv.h"
#include "memory/channelimport.h"
#include "memory/settings.h"
#include "sources/importfile.h"
#include "sources/repeaterbook.h"

namespace {

constexpr int kRefused = 3, kFailed = 1, kUsage = 2;

// The line a message names ("line 12: ..."), for keeping them in the file's order.
int LineOf(const QString& message) {
    return message.startsWith(QLatin1String("line "))
               ? message.section(QLatin1Char(':'), 0, 0).mid(5).toInt()
               : 0;
}

}  // namespace

ImportRun ImportChannels(const QString& imagePath, const QString& filePath, const QString& output,
                         const ImportOptions& options) {
    ImportRun run;
    auto refuse = [&run](const QString& why, int exit = kRefused) {
        run.error = why;
        run.exit = exit;
        return run;
    };
    LoadedImage loaded;
    if (!LoadImageFile(imagePath, loaded, &run.error))
        return refuse(run.error);
    // A damaged image stays refused as `write` refuses it; the other programmer leaves its
    // files' sums stale, so with its trailer they are brought up to date, as on opening.
    const QStringList stale = StaleSums(loaded.image);
    if (!stale.isEmpty() && !loaded.hadTrailer && !options.fixSums) {
        run.listed << stale;
        return refuse(
            QStringLiteral("refused: the sums are stale; --fix-sums brings them up to date"));
    }
    const QStringList fixed = FixSums(loaded.image);
    QByteArray bytes;
    if (!ReadImportFile(filePath, &bytes, &run.error))
        return refuse(QStringLiteral("cannot read %1: %2").arg(filePath, run.error));
    const ImportKind kind = ImportKindOf(bytes);
    if (kind != ImportKind::Directory && (options.near || options.nearRadio))
        return refuse(QStringLiteral("--near and --within go with a repeater directory"), kUsage);
    int append = options.append;
    CsvImport import;
    if (kind == ImportKind::Csv) {
        import = ParseChannelsCsv(CsvText(bytes), options.list, append > 0);
    } else if (kind == ImportKind::Directory) {
        if (options.list != ChannelList::Channels)
            return refuse(QStringLiteral("a repeater directory goes into the channels, not "
                                         "--list %1")
                              .arg(options.list == ChannelList::Pms ? "pms" : "skip"),
                          kUsage);
        QList<DirectoryEntry> entries;
        if (!ReadRepeaterDirectory(bytes, &entries, &run.error))
            return refuse(QStringLiteral("cannot read %1: %2").arg(filePath, run.error));
        DirectoryFilter filter{options.near, options.withinKm};
        if (options.nearRadio && !(filter.near = AprsManualPosition(loaded.image)))
            return refuse(QStringLiteral("%1 holds no manual APRS position; give --near LAT,LON")
                              .arg(imagePath));
        import = DirectoryChannels(entries, filter);
        append = std::max(append, 1);  // a directory has no places of its own
    } else {
        LoadedImage other;
        if (!LoadImageFile(filePath, other, &run.error))
            return refuse(run.error);
        import = ImageChannels(other.image, options.list, append == 0, append == 0);
    }
    if (import.refusedWhole)
        return refuse(QStringLiteral("nothing was written: %1").arg(import.refusals.value(0)));
    // Refusals and quirks in the order of their lines.
    run.listed << import.refusals << import.warnings;
    std::stable_sort(run.listed.begin(), run.listed.end(),
                     [](const QString& a, const QString& b) { return LineOf(a) < LineOf(b); });
    if (!import.refusals.isEmpty() && !options.skipBad)
        return refuse(
            QStringLiteral("nothing was written: %1 %2 refused; --skip-bad imports the rest")
                .arg(import.refusals.size())
                .arg(import.refusals.size() == 1 ? QStringLiteral("row") : QStringLiteral("rows")));
    if (append > 0) {
        const QString refusal =
            PlaceImport(loaded.image, import, options.list, append, options.skipBad);
        if (!refusal.isEmpty())
            return refuse(QStringLiteral("nothing was written: ") + refusal);
    }
    run.listed << import.skipped;
    // The terminal cannot ask before storing over a masked entry: it says so.
    for (const Channel& ch : import.channels)
        if (DecodeChannelAt(loaded.image, ch.number).masked)
            run.listed << EntryName(ch.number) + QStringLiteral(": was masked; stored over it");
    const QByteArray before = loaded.image;
    QList<int> keptMasked;
    const int cleared = ApplyChannelsCsv(loaded.image, import, options.replace, options.list,
                                         options.bank, &run.listed, &keptMasked);
    MemoryMap::RefreshSumsFor(before, loaded.image);
    if (options.list == ChannelList::Pms)
        run.listed << PmsPairWarnings(loaded.image);
    if (!SaveImageFile(output.isEmpty() ? imagePath : output, loaded.image, &run.error)) {
        run.exit = kFailed;
        return run;
    }
    run.listed << fixed;
    run.summary = ImportSummary(import, cleared, options.skipBad);
    // A masked entry is hidden on purpose: --replace keeps it, and says which.
    QStringList kept;
    for (int slot : keptMasked)
        kept << LocationLabel(slot);
    if (!kept.isEmpty())
        run.summary += QStringLiteral("; kept masked: ") + kept.join(QStringLiteral(", "));
    return run;
}

namespace cli {

const QCommandLineOption kReplace("replace",
                                  "Clear the channels that the file does not name, but for the "
                                  "masked ones, which are kept.");
const QCommandLineOption kSkipBad("skip-bad",
                                  "Import the other rows when some are refused, and as many as "
                                  "fit when appending (without it nothing is written).");
const QCommandLineOption kAppend("append",
                                 "Put the rows into the free slots from 1 (--append=N: from N) "
                                 "upward, whatever their Location.");
// --append=N, as the command line passes it on (QCommandLineParser has no optional values).
const QCommandLineOption kAppendFrom = [] {
    QCommandLineOption o(QStringLiteral("append-from"), QString(), QStringLiteral("N"));
    o.setFlags(QCommandLineOption::HiddenFromHelp);
    return o;
}();
const QCommandLineOption kBank("bank", "Every channel imported also joins bank N (1-24).", "N");
const QCommandLineOption kWithin("within",
                                 "With --near: only those within DIST km (\"25mi\": miles).",
                                 "DIST");

int importCommand(Invocation& inv) {
    ImportOptions options;
    if (int exit = 0; !listOf(inv, &options.list, &exit))
        return exit;
    if (given(inv.parser, kOutput) && !mayWrite(inv, inv.parser.value(kOutput), inv.files))
        return kRefused;
    const int size = MemoryMap::Channels::Span(options.list).size;
    if (given(inv.parser, kAppend) || given(inv.parser, kAppendFrom)) {
        bool ok = true;
        options.append =
            given(inv.parser, kAppendFrom) ? inv.parser.value(kAppendFrom).toInt(&ok) : 1;
        if (!ok || options.append < 1 || options.append > size)
            return usageError(QStringLiteral("--append=N takes a location 1-%1").arg(size),
                              &inv.command);
    }
    if (given(inv.parser, kBank)) {
        bool ok = false;
        options.bank = inv.parser.value(kBank).toInt(&ok);
        if (!ok || options.bank < 1 || options.bank > ChannelLayout::kBankCount)
            return usageError(QStringLiteral("--bank takes a bank 1-24"), &inv.command);
        if (options.list != ChannelList::Channels)
            return usageError(QStringLiteral("--bank goes with the channels: banks hold no "
                                             "skip-search or PMS entries"),
                              &inv.command);
    }
    if (given(inv.parser, kNear)) {
        const QString near = inv.parser.value(kNear);
        double lat = 0, lon = 0;
        options.nearRadio = near == QLatin1String("radio");
        if (!options.nearRadio && !ParsePoint(near, &lat, &lon))
            return usageError(QStringLiteral("--near takes LAT,LON in decimal degrees "
                                             "(40.7128,-74.0060) or \"radio\""),
                              &inv.command);
        if (!options.nearRadio)
            options.near = std::make_pair(lat, lon);
    }
    if (given(inv.parser, kWithin)) {
        options.withinKm = ParseDistanceKm(inv.parser.value(kWithin));
        if (options.withinKm < 0)
            return usageError(QStringLiteral("--within takes a distance in km, or miles with "
                                             "\"mi\": 40, 25mi"),
                              &inv.command);
        if (!given(inv.parser, kNear))
            return usageError(QStringLiteral("--within needs --near to measure from"),
                              &inv.command);
    }
    options.replace = given(inv.parser, kReplace);
    options.skipBad = given(inv.parser, kSkipBad);
    options.fixSums = given(inv.parser, kFixSums);
    if (options.replace && options.append > 0)
        return usageError(QStringLiteral("give --replace or --append, not both"), &inv.command);
    const ImportRun run =
        ImportChannels(inv.files[0], inv.files[1], inv.parser.value(kOutput), options);
    // The refused and skipped rows and the accepted quirks as they are, one per line, in one
    // write: a directory skips thousands.
    if (!run.listed.isEmpty()) {
        const QByteArray lines =
            (run.listed.join(QLatin1Char('\n')) + QLatin1Char('\n')).toLocal8Bit();
        std::fwrite(lines.constData(), 1, size_t(lines.size()), stderr);
    }
    if (!run.error.isEmpty())
        err(run.error);
    if (!run.summary.isEmpty() && inv.verbosity != TerminalFront::Verbosity::Quiet)
        out(run.summary);
    return run.exit;
}

}  // namespace cli

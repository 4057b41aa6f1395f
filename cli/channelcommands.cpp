#include "cli/channelcommands.h"

#include <QStringList>
#include <algorithm>

#include "image/cloneimage.h"
#include "image/imagefile.h"
#include "image/memorymap.h"
#include "memory/channelcsv.h"
#include "memory/channels.h"

QString ChannelsListing(const QByteArray& image, bool all, bool csv, QStringList* warnings,
                        ChannelList list) {
    constexpr int kColumns = 80;
    const QList<Channel> channels = DecodeChannels(image, list);
    // Another program refuses empty rows: a CSV holds the channels in use only (and the
    // masked ones with `all`).
    if (csv) {
        QList<Channel> rows;
        std::copy_if(channels.begin(), channels.end(), std::back_inserter(rows),
                     [](const Channel& ch) { return !ch.empty; });
        return ChannelsCsv(rows, all, warnings);
    }
    const QList<Bank> banks = list == ChannelList::Channels ? DecodeBanks(image) : QList<Bank>();
    const int masked = MaskedChannelCount(channels);
    QString text =
        ChannelsTable(channels, banks, all) +
        QStringLiteral("\n%1 of %2 %3 used%4\n")
            .arg(UsedChannelCount(channels))
            .arg(channels.size())
            .arg(ListNoun(list), masked ? QStringLiteral(", %1 masked").arg(masked) : QString());
    for (const Bank& bank : banks) {
        if (!bank.inUse && !all)
            continue;
        QString line = bank.name.isEmpty()
                           ? QStringLiteral("Bank %1:").arg(bank.number)
                           : QStringLiteral("Bank %1 %2:").arg(bank.number).arg(bank.name);
        if (bank.members.isEmpty())
            line += QStringLiteral(" no channels");
        // A bank holds up to 100 channels: its list goes on in indented lines of 80 columns.
        for (int number : bank.members) {
            const QString member = QString::number(number);
            if (line.size() + 1 + member.size() > kColumns) {
                text += line + '\n';
                line = QStringLiteral("   ");
            }
            line += ' ' + member;
        }
        text += line + '\n';
    }
    return text;
}

namespace {

// The identity by its model code, "AH029…"; in full when the codes agree.
QString identityName(const QByteArray& image, bool full) {
    return full ? IdentityText(image, CloneLayout::kIdentitySize)
                : QString::fromLatin1(image.left(CloneLayout::kIdentityCompared)) +
                      QStringLiteral("…");
}

}  // namespace

QString ChannelComparisonListing(const QByteArray& a, const QByteArray& b) {
    if (a == b)
        return QStringLiteral("identical\n");
    QString text;
    const int identity = CloneLayout::kIdentitySize;
    if (a.left(identity) != b.left(identity)) {
        const bool sameCode =
            a.left(CloneLayout::kIdentityCompared) == b.left(CloneLayout::kIdentityCompared);
        text += QStringLiteral("identity %1 → %2\n")
                    .arg(identityName(a, sameCode), identityName(b, sameCode));
    }
    for (const QString& line : ChannelComparison(a, b))
        text += line + '\n';
    const int blocks = OtherDifferingBlocks(a, b);
    if (blocks > 0)
        text += QStringLiteral("other memory differs in %1 %2\n")
                    .arg(blocks)
                    .arg(blocks == 1 ? QStringLiteral("block") : QStringLiteral("blocks"));
    if (a.size() == b.size() && a.back() != b.back())
        text += QStringLiteral("the final checksum differs\n");
    return text;
}

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

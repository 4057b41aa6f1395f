#include "cli/channelcommands.h"

#include <QFile>
#include <QStringList>
#include <algorithm>

#include "clone/channelcsv.h"
#include "clone/channels.h"
#include "clone/cloneimage.h"
#include "clone/imagefile.h"

QString ChannelsListing(const QByteArray& image, bool all, bool csv, QStringList* warnings) {
    constexpr int kColumns = 80;
    const QList<Channel> channels = DecodeChannels(image);
    // Another program refuses empty rows: a CSV holds the channels in use only.
    if (csv)
        return ChannelsCsv(channels, false, warnings);
    const QList<Bank> banks = DecodeBanks(image);
    QString text =
        ChannelsTable(channels, banks, all) + QStringLiteral("\n%1 of %2 channels used\n")
                                                  .arg(UsedChannelCount(channels))
                                                  .arg(channels.size());
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
                         bool replace, bool skipBad) {
    constexpr int kRefused = 3, kFailed = 1;
    constexpr qint64 kMaxCsv = 4 * 1024 * 1024;
    ImportRun run;
    LoadedImage loaded;
    if (!LoadImageFile(imagePath, loaded, &run.error)) {
        run.exit = kRefused;
        return run;
    }
    QFile file(csvPath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxCsv) {
        run.error = file.isOpen()
                        ? QStringLiteral("%1 is larger than 4 MiB: no channel list").arg(csvPath)
                        : QStringLiteral("cannot read %1: %2").arg(csvPath, file.errorString());
        run.exit = kRefused;
        return run;
    }
    const CsvImport import = ParseChannelsCsv(QString::fromUtf8(file.readAll()));
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
    const int cleared = ApplyChannelsCsv(loaded.image, import, replace);
    if (!SaveImageFile(output.isEmpty() ? imagePath : output, loaded.image, &run.error)) {
        run.exit = kFailed;
        return run;
    }
    run.summary =
        QStringLiteral("imported %1 channels, cleared %2").arg(import.channels.size()).arg(cleared);
    return run;
}

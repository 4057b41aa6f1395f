#include "cli/command.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include "cli/channelcommands.h"
#include "memory/channelcsv.h"
#include "print/channelpdf.h"

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

namespace cli {

const QCommandLineOption kAll("all", "List the empty channels and the unused banks too.");
const QCommandLineOption kCsv("csv",
                              "Write the CSV layout that radio programmers exchange instead of "
                              "the table.");
const QCommandLineOption kPdf("pdf",
                              "Write a printable list (PDF, A4 or Letter by the locale) of the "
                              "channels in use and the banks to OUT instead.",
                              "OUT");
const QCommandLineOption kPocket("pocket",
                                 "With --pdf: a pocket card (channel, name, frequency, shift, "
                                 "tone and mode in small print) instead of the full list.");

int channelsCommand(Invocation& inv) {
    const bool pdf = given(inv.parser, kPdf);
    ChannelList list;
    if (int exit = 0; !listOf(inv, &list, &exit))
        return exit;
    if (pdf && given(inv.parser, kList))
        return usageError(QStringLiteral("--pdf prints every list: give it without --list"),
                          &inv.command);
    if (pdf && (given(inv.parser, kAll) || given(inv.parser, kCsv)))
        return usageError(QStringLiteral("--pdf lists the channels in use: give it without "
                                         "--all and --csv"),
                          &inv.command);
    if (given(inv.parser, kPocket) && !pdf)
        return usageError(QStringLiteral("--pocket is a layout of --pdf"), &inv.command);
    if (pdf && !mayWrite(inv, inv.parser.value(kPdf), inv.files))
        return kRefused;
    LoadedImage loaded;
    if (!loadFile(inv.files[0], loaded))
        return kRefused;
    if (pdf) {
        const QFileInfo image(inv.files[0]);
        const QString path = inv.parser.value(kPdf);
        const QString error = WriteChannelsPdf(
            loaded.image, path, image.fileName(), image.lastModified(),
            PrintPageSize(QLocale::system()),
            given(inv.parser, kPocket) ? PrintLayout::PocketCard : PrintLayout::FullList);
        if (!error.isEmpty()) {
            err(error);
            return kFailed;
        }
        const QString used = QString::number(UsedChannelCount(DecodeChannels(loaded.image)));
        if (inv.verbosity != TerminalFront::Verbosity::Quiet)
            out((given(inv.parser, kPocket)
                     ? QStringLiteral("Wrote a pocket card of the ") + used +
                           QStringLiteral(" channels in use to ")
                     : QStringLiteral("Wrote the ") + used +
                           QStringLiteral(" channels in use and the banks to ")) +
                path + QLatin1Char('.'));
        return kDone;
    }
    QStringList warnings;
    out(ChannelsListing(loaded.image, given(inv.parser, kAll), given(inv.parser, kCsv), &warnings,
                        list)
            .chopped(1));
    for (const QString& warning : warnings)
        err(warning);
    return kDone;
}

}  // namespace cli

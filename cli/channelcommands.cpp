#include "cli/channelcommands.h"

#include <QStringList>

#include "clone/channels.h"

QString ChannelsListing(const QByteArray& image, bool all, bool csv) {
    const QList<Channel> channels = DecodeChannels(image);
    if (csv)
        return ChannelsCsv(channels, all);
    QString text = ChannelsTable(channels, all) + QStringLiteral("\n%1 of %2 channels used\n")
                                                      .arg(UsedChannelCount(channels))
                                                      .arg(channels.size());
    for (const Bank& bank : DecodeBanks(image)) {
        if (!bank.inUse && !all)
            continue;
        QStringList members;
        for (int number : bank.members)
            members << QString::number(number);
        const QString label = bank.name.isEmpty()
                                  ? QStringLiteral("Bank %1").arg(bank.number)
                                  : QStringLiteral("Bank %1 %2").arg(bank.number).arg(bank.name);
        text += label + QStringLiteral(": ") +
                (members.isEmpty() ? QStringLiteral("no channels") : members.join(' ')) + '\n';
    }
    return text;
}

QString ChannelComparisonListing(const QByteArray& a, const QByteArray& b) {
    if (a == b)
        return QStringLiteral("identical\n");
    QString text;
    for (const QString& line : ChannelComparison(a, b))
        text += line + '\n';
    const int blocks = OtherDifferingBlocks(a, b);
    return text + QStringLiteral("other memory differs in %1 %2\n")
                      .arg(blocks)
                      .arg(blocks == 1 ? QStringLiteral("block") : QStringLiteral("blocks"));
}

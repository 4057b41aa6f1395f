#include "cli/channelcommands.h"

#include <QStringList>

#include "clone/channelcsv.h"
#include "clone/channels.h"
#include "clone/cloneimage.h"

QString ChannelsListing(const QByteArray& image, bool all, bool csv, QStringList* warnings) {
    const QList<Channel> channels = DecodeChannels(image);
    // Another program refuses empty rows: a CSV holds the channels in use only.
    if (csv)
        return ChannelsCsv(channels, false, warnings);
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

namespace {

// The identity by its model code, "AH029…"; in full when the codes agree.
QString identityName(const QByteArray& image, bool full) {
    return full ? IdentityText(image.left(CloneLayout::kIdentitySize))
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

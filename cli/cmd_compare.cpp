#include "cli/command.h"

#include "cli/channelcommands.h"
#include "image/cloneimage.h"
#include "image/imagefile.h"
#include "image/memorymap.h"
#include "memory/settings.h"

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

namespace cli {

const QCommandLineOption kChannels("channels",
                                   "List the channels added, removed and changed, then how many "
                                   "blocks of other memory differ.");
// `compare --settings`: here the name lists the radio settings; it takes no FILE.
const QCommandLineOption kCompareSettings("settings",
                                          "List the radio settings that differ, "
                                          "\"key: A-value → B-value\" (exit 0 when none "
                                          "does); with --channels, both lists.");

namespace {

// Prints the settings that differ, or that none does and whether other bytes do; true when
// a setting differs.
bool listSettings(const QByteArray& a, const QByteArray& b) {
    const QStringList lines = SettingsComparison(a, b);
    if (!lines.isEmpty())
        out(lines.join(QLatin1Char('\n')));
    else if (a == b)
        out(QStringLiteral("no setting differs; the images are identical"));
    else
        out(
            QStringLiteral("no setting differs; other bytes differ (compare without --channels "
                           "and --settings lists them)"));
    return !lines.isEmpty();
}

// Where a file offset lies: the identity, block n (1 to 1019) or the checksum.
QString placeOf(int offset) {
    if (offset < CloneLayout::kIdentitySize)
        return QStringLiteral("identity");
    if (offset >= CloneLayout::kChecksumOffset)
        return QStringLiteral("checksum");
    return QStringLiteral("block %1")
        .arg((offset - CloneLayout::kIdentitySize) / CloneLayout::kBlockSize + 1);
}

}  // namespace

int compareCommand(Invocation& inv) {
    LoadedImage a;
    LoadedImage b;
    if (!loadFile(inv.files[0], a) || !loadFile(inv.files[1], b))
        return kRefused;
    // Either or both: the channels differ where any byte does, the settings where one
    // setting does.
    const bool channels = given(inv.parser, kChannels),
               settings = given(inv.parser, kCompareSettings);
    bool differ = false;
    if (channels) {
        out(ChannelComparisonListing(a.image, b.image).chopped(1));
        differ = a.image != b.image;
    }
    if (settings)
        differ = listSettings(a.image, b.image) || differ;
    if (channels || settings)
        return differ ? kFailed : kDone;
    int ranges = 0;
    for (int i = 0; i < CloneLayout::kImageSize; ++i) {
        if (a.image[i] == b.image[i])
            continue;
        int end = i;
        while (end + 1 < CloneLayout::kImageSize && a.image[end + 1] != b.image[end + 1])
            ++end;
        const QString first = placeOf(i);
        const QString last = placeOf(end);
        out(QStringLiteral("offset 0x%1  length %2  %3")
                .arg(i, 5, 16, QLatin1Char('0'))
                .arg(end - i + 1, 5)
                .arg(first == last ? first : first + QStringLiteral(" to ") + last));
        ++ranges;
        i = end;
    }
    if (ranges == 0) {
        out(QStringLiteral("identical"));
        return kDone;
    }
    return kFailed;
}

}  // namespace cli

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "memory/channels.h"

// What `quorlink channels FILE [--all] [--csv] [--list L]` prints for an image in file
// order: the CSV layout radio programmers exchange, or an aligned table followed by the number
// of entries used (and masked) and, for the channels, the banks in use, in lines of at most 80
// columns. Empty channels (and unused banks) only with `all`, masked ones in the CSV too. A
// channel the CSV leaves out is named in one line of *warnings.
QString ChannelsListing(const QByteArray& image, bool all, bool csv,
                        QStringList* warnings = nullptr, ChannelList list = ChannelList::Channels);

// What `quorlink compare A B --channels` prints: "identical" for equal images, otherwise
// a differing identity ("identity AH029… → AH29D…"), one line per channel added, removed or
// changed, "other memory differs in N blocks" and "the final checksum differs": every
// differing byte is named by one of them.
QString ChannelComparisonListing(const QByteArray& a, const QByteArray& b);

// What `quorlink import IMAGE CSV [--output OUT] [--replace] [--skip-bad]` did.
struct ImportRun {
    int exit = 0;        // 0 done, 1 the result could not be saved, 3 a file or row refused
    QString summary;     // "imported N channels, cleared M" when something was written
    QStringList listed;  // the refused rows ("line 7: ...") and the accepted quirks
    QString error;       // why nothing was written, empty when it was
};
// Takes the channels of the CSV file into the image file and saves the result atomically
// to `output` (IMAGE itself when empty). Channels the CSV does not name are kept, or
// cleared with `replace`. A refused row writes nothing unless `skipBad`, which imports the
// rest; a CSV refused whole writes nothing. An image whose sums do not agree is refused
// unless `fixSums` or it carries the other programmer's trailer (that program leaves its
// sums stale): then they are brought up to date first and listed.
ImportRun ImportChannels(const QString& imagePath, const QString& csvPath, const QString& output,
                         bool replace, bool skipBad, bool fixSums = false,
                         ChannelList list = ChannelList::Channels);

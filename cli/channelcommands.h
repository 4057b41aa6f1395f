#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

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

// What `quorlink import IMAGE FILE ...` did.
struct ImportRun {
    int exit = 0;        // 0 done, 1 the result could not be saved, 2 an option that does
                         // not go with the file, 3 a file or row refused
    QString summary;     // "imported N channels, cleared M" when something was written
    QStringList listed;  // the refused and skipped rows ("line 7: ...") and the accepted quirks
    QString error;       // why nothing was written, empty when it was
};
// How the rows go in.
struct ImportOptions {
    bool replace = false, skipBad = false, fixSums = false;
    ChannelList list = ChannelList::Channels;
    int append = 0;  // the location appended from (1 and up); 0 keeps the rows' own places
    int bank = 0;    // the bank every channel joins, 0 none
    // A directory's point (nearRadio: the image's manual APRS position) and distance.
    std::optional<std::pair<double, double>> near;
    bool nearRadio = false;
    double withinKm = -1;
};
// Takes the channels of FILE (a CSV, a repeater directory or another image, told by its
// content) into the image file and saves the result atomically to `output` (IMAGE itself
// when empty). Channels the file does not name are kept, or cleared with `replace`. A
// refused row writes nothing unless `skipBad`, which imports the rest; a CSV refused whole
// writes nothing, and so do more rows to append than free slots (unless `skipBad`). An image
// whose sums do not agree is refused unless `fixSums` or it carries the other programmer's
// trailer (that program leaves its sums stale): then they are brought up to date first and
// listed.
ImportRun ImportChannels(const QString& imagePath, const QString& filePath, const QString& output,
                         const ImportOptions& options);

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What `quorlink channels FILE [--all] [--csv]` prints for an image in file order: the CSV
// layout radio programmers exchange, or an aligned table followed by the number of channels
// used and the banks in use. Empty channels (and unused banks) only with `all`. A channel
// the CSV leaves out is named in one line of *warnings.
QString ChannelsListing(const QByteArray& image, bool all, bool csv,
                        QStringList* warnings = nullptr);

// What `quorlink compare A B --channels` prints: "identical" for equal images, otherwise
// a differing identity ("identity AH029… → AH29D…"), one line per channel added, removed or
// changed, "other memory differs in N blocks" and "the final checksum differs": every
// differing byte is named by one of them.
QString ChannelComparisonListing(const QByteArray& a, const QByteArray& b);

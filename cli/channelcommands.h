#pragma once

#include <QByteArray>
#include <QString>

// What `quorlink channels FILE [--all] [--csv]` prints for an image in file order: the CSV
// layout radio programmers exchange, or an aligned table followed by the number of channels
// used and the banks in use. Empty channels (and unused banks) only with `all`.
QString ChannelsListing(const QByteArray& image, bool all, bool csv);

// What `quorlink compare A B --channels` prints: "identical" for equal images, otherwise
// one line per channel added, removed or changed, then "other memory differs in N blocks".
QString ChannelComparisonListing(const QByteArray& a, const QByteArray& b);

#pragma once

#include <QByteArray>
#include <QStringList>

class QTextStream;

// quorlink channels FILE [--all] [--csv]: the channels of an image file as an aligned
// table (with the number used and the banks in use) or as CSV. `args` follows the
// sub-command's name. Exit code 0, 2 for wrong usage, 3 when the file is refused.
int ChannelsCommand(const QStringList& args, QTextStream& out, QTextStream& err);

// The channel part of compare: one line per channel added, removed or changed, then "other
// memory differs in N blocks"; "identical" for equal images.
void PrintChannelComparison(const QByteArray& a, const QByteArray& b, QTextStream& out);

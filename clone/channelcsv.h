#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "clone/channels.h"

// Channels as CSV: the 21-column layout that radio programmers exchange today, and an
// import driven by the header line that also reads the older 18-column layout, columns in
// any order, tab- or semicolon-separated text, and the usual quirks of other programs'
// files. Every field goes through SetChannelField, so a row is refused for the same reasons
// as a cell edit.

// What a CSV text asks for. Line numbers count from 1 at the header line.
struct CsvImport {
    QList<Channel> channels;  // rows to store, in file order
    QList<int> cleared;       // locations whose Frequency was empty
    QStringList refusals;     // "line 7: Frequency 1200 MHz is outside 0.5–999.9 MHz"
    QStringList warnings;     // one line per accepted quirk
};

// Header-driven; also tab-separated text. Location and Frequency are required, the other
// columns default to a new channel's values. Text without a header line (rows copied from a
// spreadsheet) is read as the export layout when its first field is a number.
CsvImport ParseChannelsCsv(const QString& text);

// The header line and one line per channel in use. Empty channels are never written for
// another program, which refuses such rows; with `all` each is one line holding only its
// Location, which an import reads as "clear this channel" (the clipboard's copy uses it).
// A channel that cannot be stored (a field shows "?") is left out, and named in one line of
// *leftOut: "channel 8 left out: Frequency ? does not decode".
QString ChannelsCsv(const QList<Channel>& channels, bool all, QStringList* leftOut = nullptr);

// Stores an import's channels into an image in file order and clears its cleared locations
// and, with `replace`, every channel it does not name. Returns how many channels in use it
// cleared. The final checksum is recomputed; the region sums are left alone.
int ApplyChannelsCsv(QByteArray& image, const CsvImport& import, bool replace);

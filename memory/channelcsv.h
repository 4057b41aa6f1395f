#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "memory/channels.h"

// Channels as CSV: the 21-column layout that radio programmers exchange today, and an
// import driven by the header line that also reads the older 18-column layout, columns in
// any order, tab- or semicolon-separated text, and the usual quirks of other programs'
// files. Every field goes through SetChannelField, so a row is refused for the same reasons
// as a cell edit.

// What a CSV text asks for. Line numbers count from 1 at the header line.
struct CsvImport {
    QList<Channel> channels;  // rows to store, in file order
    QList<int> cleared;       // locations whose Frequency was empty
    QList<int> kept;          // locations of refused rows: their channels stay as they are
    QStringList refusals;     // "line 7: Frequency 1200 MHz is outside 0.5–999.9 MHz"
    QStringList warnings;     // one line per accepted quirk or value changed
    // The text itself is refused (an open quote, no header, no channel rows): refusals holds
    // the one reason, and nothing may be stored, not even with the other rows skipped.
    bool refusedWhole = false;
};

// Header-driven; also tab-separated text. Location and Frequency are required, the other
// columns default to a new channel's values. Text without a header line (rows copied from a
// spreadsheet) starts with a number: a row of 21 fields is the export layout, of 18 the older
// one, and a row of at most 10 fields (where the two agree) their first columns; other rows
// are refused. A row must reach its Frequency column. A Location 0 row is skipped with a
// warning. A step the radio has is kept, even where it does not divide the frequency; one it
// lacks becomes the nearest that reaches the frequency, and each value stored otherwise than the
// file gives it is warned of.
// Locations are those of `list` (1-900, or 1-100: PMS 1 is L1, 2 U1, ...); the channels and
// locations it gives are slots.
CsvImport ParseChannelsCsv(const QString& text, ChannelList list = ChannelList::Channels);

// The header line and one line per channel in use, its Location its place in its list; a
// masked one only with `all`. Empty channels are never written for
// another program, which refuses such rows; with `all` each is one line holding only its
// Location, which an import reads as "clear this channel" (the clipboard's copy uses it).
// A channel that cannot be stored (a field shows "?") is left out, and named in one line of
// *leftOut: "channel 8 left out: Frequency ? does not decode"; those left out only for their
// mode (code 3) are counted in one last line, ForeignModeSummary's.
QString ChannelsCsv(const QList<Channel>& channels, bool all, QStringList* leftOut = nullptr);

// The channels a CSV leaves out because their mode is another program's (mode code 3), by
// number: what the window lists after an export.
QList<int> ForeignModeChannels(const QList<Channel>& channels);
// The one line that counts them: "N channels left out: mode not one of FM, AM, WFM; set their
// mode in the editor". ChannelsCsv adds it to *leftOut instead of a line per channel.
QString ForeignModeSummary(int count);
// The window's line that names them, in runs: "channels 3, 5, 12-40 left out: mode code 3:
// ..."; empty when `numbers` is.
QString ForeignModeListing(const QList<int>& numbers);

// A CSV file's bytes as text: UTF-8, or UTF-16 (either byte order) as spreadsheets save it.
QString CsvText(const QByteArray& bytes);

// Reads a CSV file to import, whatever it is (a file, a named pipe, /dev/stdin): at most
// 4 MiB, without waiting on the open, and a pipe or device for at most 10 s. false and
// *error the reason ("it is larger than 4 MiB, too large for a channel list"); `kind` names
// what the file is meant to be (a settings file is read the same way).
bool ReadCsvFile(const QString& path, QString* text, QString* error,
                 const QString& kind = QStringLiteral("a channel list"));

// Stores an import's channels into an image in file order and clears its cleared locations
// and, with `replace`, every channel it does not name (a refused row names its channel too).
// `replace` clears the entries of `list` only, and keeps a masked one it does not name.
// Returns how many channels in use it cleared. The sums are the caller's to bring up to date
// (MemoryMap::RefreshSumsFor).
int ApplyChannelsCsv(QByteArray& image, const CsvImport& import, bool replace,
                     ChannelList list = ChannelList::Channels);

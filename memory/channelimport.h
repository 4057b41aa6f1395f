#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

#include "memory/channelcsv.h"
#include "sources/repeaterbook.h"

// Channels from elsewhere than a CSV, as a CsvImport the same store path takes: a repeater
// directory's entries, and another image's channels; then where the rows go (appended into
// the free slots, joining a bank) and the summary line of what was done.

// Which of a directory's repeaters are wanted: those within `withinKm` (negative: any
// distance) of the point, nearest first; without a point, all in the file's order.
struct DirectoryFilter {
    std::optional<std::pair<double, double>> near;  // latitude, longitude
    double withinKm = -1;
};

// The repeaters on the air that carry analog FM, as channels numbered 0 (to be appended):
// frequency, duplex and offset (split where the offset is not one of the band's usual ones),
// tone mode and tone or code, the name "CALL City" cut to what the radio holds. The others
// are skipped, counted by reason ("off the air", "status unknown", "digital only", "no
// position", "farther than the distance", "out of the radio's range") and named in
// `skipped`; closed and private repeaters are taken and counted in `restricted`.
CsvImport DirectoryChannels(const QList<DirectoryEntry>& entries, const DirectoryFilter& filter);

// The entries of `list` in use in another image, each copied field by field with its name
// and, for channels with `keepBanks`, the banks it belongs to there. With `keepNumbers` each
// keeps its number; otherwise it carries 0, to be appended. Masked entries stay behind; one
// that cannot be stored (a field that does not decode) is refused and named ("ch 8").
CsvImport ImageChannels(const QByteArray& other, ChannelList list, bool keepNumbers,
                        bool keepBanks);

// Gives appended rows (number 0) the free slots of `list` from location `first` upward, in
// order. Too few free slots: with `skipBad` the rows that do not fit are skipped ("no free
// slot") and named, otherwise nothing is placed and the refusal says how many are free.
QString PlaceImport(const QByteArray& image, CsvImport& import, ChannelList list, int first,
                    bool skipBad);

// The free slots of `list` from location `first` on.
int FreeSlots(const QByteArray& image, ChannelList list, int first);

// "imported 12 channels, skipped 5 (3 off the air, 2 digital only), cleared 0", with "(2
// closed or private)" after the channels when a directory had some; "skipped" only when
// something was. Refused rows count as skipped when they were skipped (`refusedSkipped`).
QString ImportSummary(const CsvImport& import, int cleared, bool refusedSkipped);

#pragma once

#include <QByteArray>
#include <QString>

#include "memory/channelname.h"
#include "memory/channels.h"

// Changing channels: the one place that checks a channel's fields, and the encoder that
// writes a channel into an image in file order (identity first) as the radio itself writes
// it. Every refusal names the field, the value and the reason, e.g. "Frequency 1200 MHz is
// outside 0.5–999.9 MHz"; the cell editors, the CSV import, paste and the command line all
// show these texts as they are.

// Checks one field's text as a cell editor or a CSV gives it; on success stores the
// normalised value in `ch` and returns an empty string, else returns the refusal
// ("Frequency 146.5212 MHz cannot be stored; nearest 146.521000") and leaves `ch` alone.
// A "+" or "-" offset is whole kHz; a split channel's offset is its transmit frequency and
// takes the frequency's rules. Frequencies are MHz ("146.52"), or carry their unit ("146520 kHz",
// "146.52 MHz"); the lists take their texts in any case, tones and steps as numbers ("88.5",
// "12.5"), DCS codes with or without leading zeros, power as a level ("Hi", "L3 2.5 W") or in watts
// ("2.5W", the nearest level; more than 5 W is refused). Setting the duplex brings the offset to
// what the bytes will hold for it. A channel keeps its step when its frequency changes, even one
// that does not divide the frequency, as radios store them; an empty channel, or one whose step
// the radio lacks, takes the smallest step that reaches the new frequency (8.33 kHz only in the
// airband). Setting the frequency of an empty channel puts it in use with the defaults of a new
// channel.
QString SetChannelField(Channel& ch, ChannelField field, const QString& text);

// A power given in watts ("2.5W", "2.5 W", "5"), -1 when the text is no such number.
double PowerWatts(const QString& text);

// The step (an index into the list) nearest to `khz` among those that reach `hz`, 8.33 kHz
// only in the airband (108-137 MHz); -1 when none does.
int NearestStep(double khz, qint64 hz);

// The refusal of a channel whose transmit frequency the radio cannot use: a "+" or "-"
// offset that leaves 0.5–999.9 MHz, or a split channel whose Offset was not given
// (`offsetGiven` false). Empty when it can transmit where it says.
QString TransmitRefusal(const Channel& ch, bool offsetGiven = true);

// Checks a whole channel; empty string when it can be stored, else the refusal of the first
// field that cannot.
QString ValidateChannel(const Channel& ch);

// Writes `ch` (in use) into the image in file order, patching in place. Into a slot that
// holds a channel (masked or not) only the fields whose value differs from the slot's are
// written, each on its own bits: the rest of the flag byte and record stays as it was, the
// mark of byte 0 too unless the frequency changes to one off the 5 kHz raster on the 6.25 kHz
// one. A slot that holds none gets the bytes the radio writes for a new channel. Returns the
// refusal, or an empty string; a refused channel changes no byte. An empty `ch` clears its
// channel when that is in use. Here and below the sums are left to the commit
// (MemoryMap::RefreshSumsFor), which brings them up to date once per change.
QString StoreChannel(QByteArray& image, const Channel& ch);

// Clears slot `number` (1-1100; a masked one too: both flag bits) and takes it out of its
// banks (a bank left empty becomes not in use); a number outside 1-1100 or an image too short
// for the slot changes nothing.
void ClearChannel(QByteArray& image, int number);

// Makes masked slot `number` used again, its data as kept; false, and nothing changed, for
// a slot that is not masked.
bool UnmaskChannel(QByteArray& image, int number);

// The 33 bytes of channel `number` in a file image: its flag byte, then its 32-byte record;
// empty when the image is too short. For copying a channel's own bytes; an undo step keeps
// an ImageChange instead, since clearing or moving a channel changes its banks too.
QByteArray ChannelBytes(const QByteArray& image, int number);
// Puts back bytes from ChannelBytes.
void PutChannelBytes(QByteArray& image, int number, const QByteArray& bytes);

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "memory/channels.h"

// Rearranging channels and changing many at once, in an image in file order (identity
// first). A channel moves as its flag byte and 32-byte record together, and carries its
// bank memberships with it: the member lists are rewritten with its new number and kept
// sorted. Each function is one change a user makes: it returns the refusal, or an empty
// string, and a refused change leaves every byte as it was. The sums are the commit's
// (MemoryMap::RefreshSumsFor); the VFO records are never touched.

// Moves the channels `numbers` one place up (`delta` -1) or down (+1); each channel passed
// over takes the place after (or before) the selected ones next to it. The channels in
// `kept` (those a filter hides) keep their places: the selection moves past the nearest
// channel not kept. Refused when no such channel is left above (or below) the selection.
// `movedTo`, when given, receives the new numbers of the channels moved, in order.
QString MoveChannels(QByteArray& image, const QList<int>& numbers, int delta,
                     const QList<int>& kept = {}, QList<int>* movedTo = nullptr);

// Makes channel `number` empty by shifting it and the channels below it down one place, as
// far as the first empty channel, which takes its place. Refused when no channel from
// `number` to 900 is empty. An empty `number` changes nothing.
QString InsertChannel(QByteArray& image, int number);

// Clears channel `number` (taking it out of its banks) and shifts the channels below it up
// one place, as far as the next empty channel (or 900); the empty slot ends there.
QString DeleteChannel(QByteArray& image, int number);

// Rearranges the channels `numbers` among their own places in the order of `field`
// (stable: equal channels keep their order); every other channel stays where it is, and
// the empty channels among them go to the last of their places. Names sort without regard
// to case, frequencies by value, the fields with a list in the list's order.
QString SortChannels(QByteArray& image, const QList<int>& numbers, ChannelField field,
                     Qt::SortOrder order = Qt::AscendingOrder);

// Sets one field to `text` on every channel in `numbers`, each through SetChannelField and
// ValidateChannel; refused whole, naming the channel, when one is refused: "Channel 12:
// Frequency ...". Empty channels stay empty unless the field is the frequency, which puts
// them in use. Memberships are kept.
QString SetFieldOnChannels(QByteArray& image, const QList<int>& numbers, ChannelField field,
                           const QString& text);

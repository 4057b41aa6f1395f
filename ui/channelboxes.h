#pragma once

#include <QList>
#include <QString>

#include "memory/channels.h"

class QWidget;

// "1 channel", "3 channels": a count and its noun.
QString Plural(qsizetype count, const char* one);
// "channels 3-14" for a range, "11 selected channels of 3-840" for channels apart.
QString RangeText(const QList<int>& numbers);

// A small box: which column, which way; only the selected channels `numbers` change places,
// among their own. False when cancelled.
bool AskSort(QWidget* parent, const QList<int>& numbers, ChannelField* field, Qt::SortOrder* order);
// A small box: the field, then its value typed or picked from the field's list; it says how
// many of the `count` selected channels, `inUse` of them in use, the field will change. The
// field after the last, ChannelField(kChannelFieldCount), is the banks. False when cancelled.
bool AskSetForSelected(QWidget* parent, qsizetype count, qsizetype inUse, ChannelField* field,
                       QString* value);

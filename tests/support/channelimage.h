#pragma once

#include <QByteArray>
#include <QtTest>

#include "clone/channels.h"

// Puts a channel's flag byte and its 32-byte record (hex, spaces ignored) into `bytes`,
// whose offset 0 is at image offset `start`: 0 for an image in file order, 10 for the
// radio's data bytes, which follow the identity.
inline void PutChannel(QByteArray& bytes, int number, int flags, const QByteArray& recordHex,
                       int start = 0) {
    const QByteArray record = QByteArray::fromHex(recordHex);
    QCOMPARE(record.size(), ChannelLayout::kChannelSize);
    bytes[ChannelLayout::kFlagsOffset - start + number - 1] = char(flags);
    bytes.replace(
        ChannelLayout::kChannelsOffset - start + (number - 1) * ChannelLayout::kChannelSize,
        record.size(), record);
}

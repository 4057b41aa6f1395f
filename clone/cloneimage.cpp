#include "clone/cloneimage.h"

#include "core/context.h"
#include "core/errors.h"

QString IdentityText(const QByteArray& bytes, qsizetype count) {
    static const char kDigits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(count * 2);
    for (qsizetype i = 0; i < count; ++i) {
        const quint8 b = byteAt(bytes, i);
        text += QLatin1Char(kDigits[b >> 4]);
        text += QLatin1Char(kDigits[b & 0x0F]);
    }
    return text;
}

QString IdentityText(const QByteArray& bytes) {
    return IdentityText(bytes, bytes.size());
}

bool IsAcceptedIdentity(const QString& firstFiveHex) {
    return firstFiveHex == kIdentityAH029 || firstFiveHex == kIdentityAH29D;
}

quint8 CalcChecksum(const QByteArray& image) {
    qint32 sum = 0;
    for (char c : image)
        sum += static_cast<quint8>(c);
    return static_cast<quint8>(sum & 0xFF);
}

void CopyBlockToBuffer(CloneState& clone, const QByteArray& image, const qint32& block) {
    if (block == 0)
        clone.BlockOffset = 0;
    const qint64 offset = clone.BlockOffset;
    // Check the whole range first so that a failing copy leaves the buffer untouched.
    if (offset < 0 || offset + CloneLayout::kBlockSize > image.size() ||
        clone.BlockBuffer.size() < CloneLayout::kBlockSize)
        throw RunError(ErrorNumber::SubscriptOutOfRange);
    for (int i = 0; i < CloneLayout::kBlockSize; ++i)
        byteAt(clone.BlockBuffer, i) = static_cast<char>(byteAt(image, offset + i));
    clone.BlockOffset += CloneLayout::kBlockSize;
}

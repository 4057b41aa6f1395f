#include "image/cloneimage.h"

#include <utility>

#include "core/errors.h"

QString IdentityText(QByteArrayView bytes, qsizetype count) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (count > bytes.size())
        throw RunError(ErrorNumber::SubscriptOutOfRange);
    QString text;
    text.reserve(count * 2);
    for (qsizetype i = 0; i < count; ++i) {
        const quint8 b = static_cast<quint8>(bytes[i]);
        text += QLatin1Char(kDigits[b >> 4]);
        text += QLatin1Char(kDigits[b & 0x0F]);
    }
    return text;
}

bool IsAcceptedIdentity(const QString& firstFiveHex) {
    for (const RadioModel& m : kRadioModels)
        if (firstFiveHex == IdentityHex(m))
            return true;
    return false;
}

quint8 CalcChecksum(QByteArrayView bytes) {
    quint32 sum = 0;
    for (char c : bytes)
        sum += static_cast<quint8>(c);
    return static_cast<quint8>(sum & 0xFF);
}

CloneImage::CloneImage(QByteArray bytes) {
    if (bytes.size() != CloneLayout::kImageSize)
        return;
    bytes_ = std::move(bytes);
    bytes_[CloneLayout::kChecksumOffset] =
        static_cast<char>(CalcChecksum(QByteArrayView(bytes_).first(CloneLayout::kChecksumOffset)));
}

CloneImage CloneImage::asStored(QByteArray bytes) {
    CloneImage image;
    if (bytes.size() == CloneLayout::kImageSize) {
        image.bytes_ = std::move(bytes);
        image.keptStale_ = true;
    }
    return image;
}

CloneImage CloneImage::edited(QByteArray bytes) const {
    CloneImage next = asStored(std::move(bytes));
    next.keptStale_ = keptStale_ && next.isValid();
    return next;
}

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include "image/models.h"

// The clone image in the order the radio sends it and image files keep it: the radio's
// 10-byte identity, blocks of 64 data bytes (1019 in every model), and the checksum byte (the
// low 8 bits of the sum of everything before it). Every offset counts from the image start.
namespace CloneLayout {
constexpr int kIdentityOffset = 0;
constexpr int kIdentitySize = 10;
constexpr int kBlockSize = 64;
constexpr int kBlockCount = kRadioModels[0].blockCount;
constexpr int kDataOffset = kIdentityOffset + kIdentitySize;
constexpr int kDataSize = kBlockSize * kBlockCount;  // 65216
constexpr int kChecksumOffset = kDataOffset + kDataSize;
constexpr int kImageSize = kChecksumOffset + 1;  // 65227
// The identity bytes compared against the accepted identities.
constexpr int kIdentityCompared = 5;
// One layout serves every model: a model with another size needs its own.
constexpr bool kOneSize = [] {
    for (const RadioModel& m : kRadioModels)
        if (m.blockCount != kBlockCount || m.imageSize != kImageSize ||
            m.totalSumAt != kChecksumOffset)
            return false;
    return true;
}();
static_assert(kOneSize, "every model's rows agree with the clone layout");
}  // namespace CloneLayout

// The first five identity bytes, as hexadecimal text, of the three radios accepted.
inline const QString kIdentityAH029 = IdentityHex(kRadioModels[0]);
inline const QString kIdentityAH29D = IdentityHex(kRadioModels[1]);
inline const QString kIdentityAH041 = IdentityHex(kRadioModels[2]);

// The first `count` bytes as two upper-case hexadecimal digits each, no separators.
// Raises error 9 when `bytes` holds fewer than `count` bytes.
QString IdentityText(QByteArrayView bytes, qsizetype count);
// True when the identity text of the first five bytes is one of the models'.
bool IsAcceptedIdentity(const QString& firstFiveHex);

// The low 8 bits of the sum of every byte.
quint8 CalcChecksum(QByteArrayView bytes);

// A whole image, or none. Its checksum agrees with its identity and data (the write sends it
// as it stands, and a file saved from it carries it), except in an image taken as stored
// from a file whose sums the user chose to keep as they were: that one stays as it came,
// and the write asks before it sends it.
class CloneImage {
public:
    CloneImage() = default;
    // From the bytes of a file or a read in the layout above; any other size gives no image.
    // The checksum byte is made to agree.
    explicit CloneImage(QByteArray bytes);
    // The bytes as they are, the checksum byte included, known to have sums that do not
    // agree with the data.
    static CloneImage asStored(QByteArray bytes);
    // This image with `bytes` (an edit of it) in its place, its sums as the edit left them:
    // the commit brings them up to date, or, in an image kept stale, moves them with the
    // data (MemoryMap::RefreshSumsFor), so that an edit never makes a damaged image look
    // sound. An image kept stale stays so.
    CloneImage edited(QByteArray bytes) const;
    // Taken with sums that do not agree and not brought up to date since.
    bool sumsKeptStale() const { return keptStale_; }

    bool isValid() const { return bytes_.size() == CloneLayout::kImageSize; }
    // The whole image (empty when there is none).
    const QByteArray& bytes() const { return bytes_; }
    QByteArrayView identity() const {
        return view(CloneLayout::kIdentityOffset, CloneLayout::kIdentitySize);
    }
    QByteArrayView data() const { return view(CloneLayout::kDataOffset, CloneLayout::kDataSize); }
    // Data block `n` (0-1018) as the write sends it.
    QByteArrayView block(int n) const {
        return view(CloneLayout::kDataOffset + n * CloneLayout::kBlockSize,
                    CloneLayout::kBlockSize);
    }
    quint8 checksum() const {
        return isValid() ? static_cast<quint8>(bytes_[CloneLayout::kChecksumOffset]) : 0;
    }

    bool operator==(const CloneImage& other) const { return bytes_ == other.bytes_; }
    bool operator!=(const CloneImage& other) const { return bytes_ != other.bytes_; }

private:
    QByteArrayView view(qsizetype at, qsizetype size) const {
        return isValid() ? QByteArrayView(bytes_).sliced(at, size) : QByteArrayView();
    }

    QByteArray bytes_;
    bool keptStale_ = false;
};

// The image the program holds, and where it came from.
struct CloneState {
    CloneImage image;
    // The file it was opened from or last saved to, or the time of the read that gave it
    // (local time; invalid once the image has a file).
    QString ImagePath;
    QDateTime ReadAt;
};

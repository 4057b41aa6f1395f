#pragma once

#include <QByteArray>
#include <QString>

struct CloneState;

// The clone image mirrors the radio's clone stream: 1019 blocks of 64 data bytes at
// offsets 0-65215, the radio's 10-byte identity at 65216-65225, and one byte that is
// always zero. The checksum byte the radio sends last is not stored.
namespace CloneLayout {
constexpr int kBlockSize = 64;
constexpr int kBlockCount = 1019;
constexpr int kDataSize = kBlockSize * kBlockCount;  // 65216
constexpr int kIdentityOffset = kDataSize;
constexpr int kIdentitySize = 10;
constexpr int kImageSize = kIdentityOffset + kIdentitySize + 1;  // 65227
// The identity bytes compared against the accepted identities.
constexpr int kIdentityCompared = 5;
}  // namespace CloneLayout

// The first five identity bytes, as hexadecimal text, of the two radios accepted:
// "AH029" (VX-8R/E) and "AH29D" (VX-8DR/DE).
inline const QString kIdentityAH029 = QStringLiteral("4148303239");
inline const QString kIdentityAH29D = QStringLiteral("4148323944");

// The first `count` bytes as two upper-case hexadecimal digits each, no separators.
// Raises error 9 when `bytes` holds fewer than `count` bytes.
QString IdentityText(const QByteArray& bytes, qsizetype count);
// The whole array in that form.
QString IdentityText(const QByteArray& bytes);
// True when the identity text of the first five bytes is one of the two accepted ones.
bool IsAcceptedIdentity(const QString& firstFiveHex);

// The low 8 bits of the sum of every byte of the image.
quint8 CalcChecksum(const QByteArray& image);

// Copies the next 64 bytes of the image into BlockBuffer[0..63]: block 0 restarts at
// offset 0, any other block number continues where the previous call stopped. A copy
// reaching past either array raises error 9.
void CopyBlockToBuffer(CloneState& clone, const QByteArray& image, const qint32& block);

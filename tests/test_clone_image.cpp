#include <QtTest>

#include "clone/appcontext.h"
#include "clone/cloneimage.h"
#include "core/errors.h"

// The checksum rule, the accepted identities and the block copy that the write steps through.
class CloneImageTest : public QObject {
    Q_OBJECT
private slots:
    void checksumAndIdentities() {
        // 65216 x FF + "AH029" + six zeros: (65216 * 255 + 0x14C) mod 256.
        QCOMPARE(int(CalcChecksum(QByteArray(CloneLayout::kDataSize, '\xFF') + "AH029" +
                                  QByteArray(6, '\0'))),
                 0x64);
        QVERIFY(IsAcceptedIdentity(IdentityText(QByteArray("AH029\x01\x02\x03\x04\x05"), 5)));
        QVERIFY(IsAcceptedIdentity(IdentityText(QByteArray("AH29D\xFF\xFF\0\0\0", 10), 5)));
        QVERIFY(!IsAcceptedIdentity(IdentityText(QByteArray("AH02A\0\1\0\0\0", 10), 5)));
        QVERIFY(!IsAcceptedIdentity(IdentityText(QByteArray("ah029\0\1\0\0\0", 10), 5)));
        // An identity shorter than the five compared bytes is an error 9, never a read
        // past the received bytes.
        QVERIFY_THROWS_EXCEPTION(RunError, IdentityText(QByteArray("AH0"), 5));
    }

    // Block 0 restarts at offset 0, any other continues; a copy past either array (or into
    // no buffer) is an error 9 that leaves the offset alone.
    void blockCopy() {
        CloneState clone, small, noBuffer;
        QByteArray image(CloneLayout::kImageSize, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i % 251);
        clone.BlockBuffer = small.BlockBuffer = QByteArray(64, '\0');
        auto copied = [&](qint32 block) {
            CopyBlockToBuffer(clone, image, block);
            return clone.BlockBuffer;
        };
        QCOMPARE(copied(5), image.mid(0, 64));  // the first call starts at 0 whatever its number
        QCOMPARE(copied(1), image.mid(64, 64));
        QCOMPARE(copied(0), image.mid(0, 64));
        for (qint32 b = 1; b < CloneLayout::kBlockCount; ++b)
            CopyBlockToBuffer(clone, image, b);
        QCOMPARE(clone.BlockBuffer, image.mid(CloneLayout::kDataSize - 64, 64));
        QVERIFY_THROWS_EXCEPTION(RunError, CopyBlockToBuffer(clone, image, 1019));
        QCOMPARE(clone.BlockOffset, CloneLayout::kDataSize);
        QVERIFY_THROWS_EXCEPTION(RunError, CopyBlockToBuffer(small, QByteArray(2, '\0'), 0));
        QVERIFY_THROWS_EXCEPTION(RunError, CopyBlockToBuffer(noBuffer, image, 0));
    }
};

QTEST_GUILESS_MAIN(CloneImageTest)
#include "test_clone_image.moc"

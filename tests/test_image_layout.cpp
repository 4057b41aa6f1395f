#include <QtTest>

#include "core/errors.h"
#include "image/cloneimage.h"
#include "image/memorymap.h"

// The checksum rule, the accepted identities and the views of an image.
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
        QVERIFY(IsAcceptedIdentity(IdentityText(QByteArray("AH041\0\1\0\0\0", 10), 5)));
        QVERIFY(!IsAcceptedIdentity(IdentityText(QByteArray("AH02A\0\1\0\0\0", 10), 5)));
        QVERIFY(!IsAcceptedIdentity(IdentityText(QByteArray("AH042\0\1\0\0\0", 10), 5)));
        QVERIFY(!IsAcceptedIdentity(IdentityText(QByteArray("ah029\0\1\0\0\0", 10), 5)));
        // An identity shorter than the five compared bytes is an error 9, never a read
        // past the received bytes.
        QVERIFY_THROWS_EXCEPTION(RunError, IdentityText(QByteArray("AH0"), 5));
    }

    // The views of an image, and its checksum made to agree; any other size is no image.
    void views() {
        QByteArray bytes(CloneLayout::kImageSize, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i % 251);
        const CloneImage image(bytes);
        QVERIFY(image.identity() == bytes.first(10) && image.data() == bytes.sliced(10, 65216));
        QVERIFY(image.block(0) == bytes.sliced(10, 64) &&
                image.block(1018) == bytes.sliced(65162, 64));
        QCOMPARE(image.checksum(), CalcChecksum(bytes.first(65226)));
        QCOMPARE(image.bytes().first(65226), bytes.first(65226));
        for (qsizetype size : {0, 65226, 65228}) {
            const CloneImage none(QByteArray(size, 'A'));
            QVERIFY(!none.isValid() && none.bytes().isEmpty() && none.identity().isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(CloneImageTest)
#include "test_image_layout.moc"

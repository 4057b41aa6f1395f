#include <QtTest>

#include "clone/appcontext.h"
#include "clone/cloneimage.h"
#include "core/errors.h"

// The image layout, the checksum rule, the accepted identities and the block copy that
// the write steps through.
class CloneImageTest : public QObject {
    Q_OBJECT
private slots:
    void checksum_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<int>("sum");
        QTest::newRow("start-up image") << QByteArray(2, '\0') << 0;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("all zero") << QByteArray(CloneLayout::kImageSize, '\0') << 0;
        // 65216 x FF + "AH029" + five zeros + the last zero: (65216*255 + 0x14C) mod 256.
        QTest::newRow("all FF with AH029") << QByteArray(CloneLayout::kDataSize, '\xFF') +
                                                  QByteArray("AH029") + QByteArray(6, '\0')
                                           << 0x64;
    }
    void checksum() {
        QFETCH(QByteArray, image);
        QFETCH(int, sum);
        QCOMPARE(int(CalcChecksum(image)), sum);
    }

    void identities_data() {
        QTest::addColumn<QByteArray>("identity");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("AH029") << QByteArray("AH029\x01\x02\x03\x04\x05") << true;
        QTest::newRow("AH29D") << QByteArray("AH29D\xFF\xFF\x00\x00\x00", 10) << true;
        QTest::newRow("AH02A") << QByteArray("AH02A\x00\x01\x00\x00\x00", 10) << false;
        QTest::newRow("lower case") << QByteArray("ah029\x00\x01\x00\x00\x00", 10) << false;
        QTest::newRow("noise") << QByteArray("\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 10)
                               << false;
    }
    void identities() {
        QFETCH(QByteArray, identity);
        QFETCH(bool, accepted);
        QCOMPARE(IsAcceptedIdentity(IdentityText(identity, 5)), accepted);
    }

    // An identity shorter than the five compared bytes is an error 9, never a read past
    // the received bytes.
    void shortIdentityRaisesError9() {
        try {
            IdentityText(QByteArray("AH0"), 5);
            QFAIL("no error raised");
        } catch (const RunError& e) {
            QCOMPARE(e.number(), 9);
            QCOMPARE(e.description(), QStringLiteral("Subscript out of range"));
        }
    }

    void blockCopyFollowsTheOffset() {
        CloneState clone;
        QByteArray image(CloneLayout::kImageSize, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i % 251);
        clone.BlockBuffer = QByteArray(64, '\0');
        auto copied = [&](qint32 block) {
            CopyBlockToBuffer(clone, image, block);
            return clone.BlockBuffer;
        };
        // First call with 5 at start-up still starts at offset 0.
        QCOMPARE(copied(5), image.mid(0, 64));
        QCOMPARE(copied(0), image.mid(0, 64));
        QCOMPARE(copied(1), image.mid(64, 64));
        QCOMPARE(copied(2), image.mid(128, 64));
        QCOMPARE(copied(0), image.mid(0, 64));
        QCOMPARE(clone.BlockOffset, 64);
    }

    void blockCopyPastTheImageRaisesError9() {
        CloneState clone;
        const QByteArray image(CloneLayout::kImageSize, '\x11');
        clone.BlockBuffer = QByteArray(64, '\0');
        for (qint32 b = 0; b < CloneLayout::kBlockCount; ++b)
            CopyBlockToBuffer(clone, image, b);
        // 1019 blocks end at 65216; the image has 11 bytes more, not 64.
        QVERIFY_THROWS_EXCEPTION(RunError, CopyBlockToBuffer(clone, image, 1019));
        QCOMPARE(clone.BlockOffset, CloneLayout::kDataSize);

        CloneState small;
        small.BlockBuffer = QByteArray(64, '\0');
        QVERIFY_THROWS_EXCEPTION(RunError, CopyBlockToBuffer(small, QByteArray(2, '\0'), 0));
        CloneState noBuffer;
        QVERIFY_THROWS_EXCEPTION(RunError, CopyBlockToBuffer(noBuffer, image, 0));
    }
};

QTEST_MAIN(CloneImageTest)
#include "test_clone_image.moc"

#include <QtTest>

#include "cli/channelcommands.h"
#include "support/channelimage.h"

// What the channel commands print for an image.
namespace {

const char kSimplex[] = "00 04 146520 C0 0000 1C121619150E21FFFFFFFFFFFFFFFFFF 000000 08 00 000000";
const char kRepeater[] =
    "20 10 145230 01 0000 1B191DFFFFFFFFFFFFFFFFFFFFFFFFFF 000600 0C 00 000000";

QByteArray Image() {
    QByteArray image(65227, '\0');
    image.replace(0, 5, "AH029");
    // Banks unused but bank 1, "Home", which holds channels 12 and 300.
    auto put = [&](int offset, const QByteArray& bytes) {
        image.replace(offset, bytes.size(), bytes);
    };
    put(ChannelLayout::kBankInUseOffset, QByteArray(48, '\xFF'));
    put(ChannelLayout::kBankNamesOffset, QByteArray(24 * 18, '\xFF'));
    put(ChannelLayout::kBankMembersOffset, QByteArray(24 * 200, '\xFF'));
    put(ChannelLayout::kBankInUseOffset, QByteArray::fromHex("0000"));
    put(ChannelLayout::kBankNamesOffset, QByteArray::fromHex("000091B3B1A9FF"));
    put(ChannelLayout::kBankMembersOffset, QByteArray::fromHex("000B012B"));
    PutChannel(image, 12, 0x03, kSimplex);
    PutChannel(image, 300, 0x07, kRepeater);
    return image;
}

}  // namespace

class ChannelCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void channels_data() {
        QTest::addColumn<bool>("all");
        QTest::addColumn<bool>("csv");
        QTest::addColumn<QStringList>("firstLines");
        QTest::addColumn<QString>("lastLine");
        QTest::addColumn<int>("lines");
        const QString csvHeader =
            "Location,Name,Frequency,Duplex,Offset,Tone,rToneFreq,cToneFreq,DtcsCode,"
            "DtcsPolarity,Mode,TStep,Skip,Comment,URCALL,RPT1CALL,RPT2CALL,DVCODE";
        QTest::newRow("table")
            << false << false
            << QStringList{" Ch  Name      Frequency  Duplex    Offset  Tone mode  Tone   DCS  "
                           "Mode  Step   Power      Skip",
                           " 12  SIMPLEX  146.520000          0.000000             88.5   023  "
                           "FM    12.50  Hi 5 W",
                           "300  RPT      145.230000  -       0.600000  Tone       100.0  023  "
                           "NFM   5.00   L1 0.05 W  S",
                           "", "2 of 900 channels used"}
            << "Bank 1 Home: 12 300" << 6;
        QTest::newRow("table, all")
            << true << false << QStringList{} << "Bank 24: no channels" << 1 + 900 + 2 + 24;
        QTest::newRow("csv") << false << true
                             << QStringList{csvHeader,
                                            "12,SIMPLEX,146.520000,,0.000000,,88.5,88.5,023,NN,"
                                            "FM,12.50,,,,,,"}
                             << "300,RPT,145.230000,-,0.600000,Tone,100.0,100.0,023,NN,NFM,5.00,"
                                "S,,,,,"
                             << 3;
        QTest::newRow("csv, all") << true << true << QStringList{csvHeader, "1,,,,,,,,,,,,,,,,,"}
                                  << "900,,,,,,,,,,,,,,,,," << 901;
    }
    void channels() {
        QFETCH(bool, all);
        QFETCH(bool, csv);
        QFETCH(QStringList, firstLines);
        QFETCH(QString, lastLine);
        QFETCH(int, lines);
        const QStringList printed = ChannelsListing(Image(), all, csv).split('\n');
        QCOMPARE(printed.last(), QString());  // every line ends with a line feed
        QCOMPARE(printed.size() - 1, lines);
        QCOMPARE(printed.mid(0, firstLines.size()), firstLines);
        QCOMPARE(printed[lines - 1], lastLine);
    }

    void compare() {
        QByteArray changed = Image();
        PutChannel(changed, 12, 0x03,
                   "00 04 146550 C0 0000 0C0A1515FFFFFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000");
        changed[ChannelLayout::kBankNamesOffset] = 'x';
        QCOMPARE(ChannelComparisonListing(Image(), changed),
                 QStringLiteral("ch 12: Name SIMPLEX → CALL; Frequency 146.520000 → 146.550000\n"
                                "other memory differs in 1 block\n"));
        QCOMPARE(ChannelComparisonListing(Image(), Image()), QStringLiteral("identical\n"));
    }
};

QTEST_GUILESS_MAIN(ChannelCommandsTest)
#include "test_cli_channels.moc"

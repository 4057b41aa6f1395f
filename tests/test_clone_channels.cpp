#include <QtTest>

#include "clone/channels.h"
#include "support/channelimage.h"

// Channels written byte by byte into an image in file order, decoded and written as CSV.
namespace {

constexpr int kImageSize = 65227;

// Records: byte 0, byte 1 (mode, duplex, step), frequency, byte 5 (power, tone mode),
// 2 bytes, name, offset, tone, DCS, 3 bytes.
struct Row {
    const char* tag;
    int number;
    int flags;
    const char* record;
    const char* power;
    const char* csv;  // empty: left out of the CSV
};
const Row kRows[] = {
    {"FM simplex, 12.5 kHz step", 1, 0x03,
     "00 04 146520 C0 0000 1C121619150E21FFFFFFFFFFFFFFFFFF 000000 08 00 000000", "Hi 5 W",
     "1,SIMPLEX,146.520000,,0.000000,,88.5,88.5,023,NN,FM,12.50,,,,,,"},
    {"half deviation FM is NFM, minus, Tone", 2, 0x03,
     "20 10 145230 01 0000 1B191DFFFFFFFFFFFFFFFFFFFFFFFFFF 000600 0C 00 000000", "L1 0.05 W",
     "2,RPT,145.230000,-,0.600000,Tone,100.0,100.0,023,NN,NFM,5.00,,,,,,"},
    {"AM airband, 8.33 kHz", 3, 0x03,
     "00 42 118008 40 0000 0A121BFFFFFFFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000", "L2 1 W",
     "3,AIR,118.008330,,0.000000,,88.5,88.5,023,NN,AM,8.33,,,,,,"},
    {"WFM broadcast, skip", 4, 0x07,
     "00 89 088100 80 0000 0F16FFFFFFFFFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000", "L3 2.5 W",
     "4,FM,88.100000,,0.000000,,88.5,88.5,023,NN,WFM,100.00,S,,,,,"},
    {"NFM, plus, TSQL, 12.5 kHz frequency, pskip", 5, 0x0B,
     "00 E4 145612 C2 0000 1B191D01FFFFFFFFFFFFFFFFFFFFFFFF 000600 31 00 000000", "Hi 5 W",
     "5,RPT1,145.612500,+,0.600000,TSQL,254.1,254.1,023,NN,NFM,12.50,P,,,,,"},
    {"split, DTCS, 6.25 kHz, unknown bits set", 6, 0xF3,
     "DF 31 446006 F3 FFFF 19161BFFFFFFFFFFFFFFFFFFFFFFFFFF 440006 C0 E7 FFFFFF", "Hi 5 W",
     "6,PMR,446.006250,split,440.006250,DTCS,67.0,67.0,754,NN,FM,6.25,,,,,,"},
    {"every character class", 7, 0x03,
     "00 00 430000 C0 0000 1A092425404E4D4F50FE2324FFFFFFFF 000000 08 00 000000", "Hi 5 W",
     "7,\"Q9 a,^? ..Z\",430.000000,,0.000000,,88.5,88.5,023,NN,FM,5.00,,,,,,"},
    {"garbage", 8, 0xFF,
     "FF FF 1A52FF FF FFFF 80FFFFFFFFFFFFFFFFFFFFFFFFFFFFFF 0000A0 FF FF FFFFFF", "Hi 5 W",
     "8,.,?,split,?,DTCS,?,?,?,NN,NFM,100.00,S,,,,,"},
    {"valid but not used", 9, 0x01,
     "00 04 146520 C0 0000 1C12161915FFFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000", "", ""},
    {"used but not valid", 10, 0x02,
     "00 04 146520 C0 0000 1C12161915FFFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000", "", ""},
};

QByteArray ImageWithAllRows() {
    QByteArray image(kImageSize, '\0');
    for (const Row& row : kRows)
        PutChannel(image, row.number, row.flags, row.record);
    return image;
}

}  // namespace

class ChannelsTest : public QObject {
    Q_OBJECT
private slots:
    void decodesEachChannel_data() {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(kRows)); ++i)
            QTest::newRow(kRows[i].tag) << i;
    }
    void decodesEachChannel() {
        QFETCH(int, row);
        const Row& r = kRows[row];
        QByteArray image(kImageSize, '\0');
        PutChannel(image, r.number, r.flags, r.record);
        const QList<Channel> channels = DecodeChannels(image);
        QCOMPARE(channels.size(), 900);
        const Channel& ch = channels[r.number - 1];
        QCOMPARE(ch.number, r.number);
        QCOMPARE(ch.empty, !*r.csv);
        QCOMPARE(ch.power, QString::fromLatin1(r.power));
        QCOMPARE(UsedChannelCount(channels), *r.csv ? 1 : 0);
        const QStringList lines = ChannelsCsv(channels, false).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(1), QString::fromUtf8(r.csv));
    }

    void csvLeavesOutEmptyChannelsUnlessAll() {
        const QList<Channel> channels = DecodeChannels(ImageWithAllRows());
        QCOMPARE(UsedChannelCount(channels), 8);
        QStringList expected = {QStringLiteral(
            "Location,Name,Frequency,Duplex,Offset,Tone,rToneFreq,cToneFreq,DtcsCode,"
            "DtcsPolarity,Mode,TStep,Skip,Comment,URCALL,RPT1CALL,RPT2CALL,DVCODE")};
        for (const Row& row : kRows)
            if (*row.csv)
                expected << QString::fromUtf8(row.csv);
        QCOMPARE(ChannelsCsv(channels, false), expected.join('\n') + '\n');

        const QStringList all = ChannelsCsv(channels, true).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(all.size(), 901);
        QCOMPARE(all[9], QStringLiteral("9,,,,,,,,,,,,,,,,,"));
        QCOMPARE(all[900], QStringLiteral("900,,,,,,,,,,,,,,,,,"));
        QCOMPARE(all[8], expected[8]);
    }

    // An image cut short: channels whose flags are missing are empty, a used channel whose
    // record is missing shows "?", and nothing reads past the end.
    void shortImages_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("used");
        QTest::addColumn<QString>("frequency");
        QTest::newRow("nothing") << 0 << 0 << QString();
        QTest::newRow("start-up image") << 2 << 0 << QString();
        QTest::newRow("flags of channel 1 only") << ChannelLayout::kFlagsOffset + 1 << 1 << "?";
        QTest::newRow("record one byte short")
            << ChannelLayout::kChannelsOffset + ChannelLayout::kChannelSize - 1 << 8 << "?";
        QTest::newRow("one byte short of full") << kImageSize - 1 << 8 << "146.520000";
    }
    void shortImages() {
        QFETCH(int, size);
        QFETCH(int, used);
        QFETCH(QString, frequency);
        const QByteArray image = ImageWithAllRows().left(size);
        const QList<Channel> channels = DecodeChannels(image);
        QCOMPARE(channels.size(), 900);
        QCOMPARE(UsedChannelCount(channels), used);
        QCOMPARE(channels[0].text(ChannelField::Frequency), frequency);
        QCOMPARE(DecodeBanks(image).size(), 24);
        QVERIFY(ChannelsTable(channels, true).count('\n') == 901);
    }

    void banks() {
        QByteArray image(kImageSize, '\xFF');
        auto put = [&](int offset, const char* hex) {
            const QByteArray bytes = QByteArray::fromHex(hex);
            image.replace(offset, bytes.size(), bytes);
        };
        // Bank 1 in use, named "Home" with the top bits set; members 1, 2, 900 and two
        // entries naming no channel. Bank 24's members end where the flags start.
        put(ChannelLayout::kBankInUseOffset, "0000");
        put(ChannelLayout::kBankNamesOffset, "0000 91B3B1A9 FF");
        put(ChannelLayout::kBankMembersOffset, "0000 0001 FFFF 0384 0383");
        put(ChannelLayout::kBankMembersOffset + 23 * 200 + 198, "0004");
        const QList<Bank> banks = DecodeBanks(image);
        QCOMPARE(banks.size(), 24);
        QCOMPARE(banks[0].name, QStringLiteral("Home"));
        QVERIFY(banks[0].inUse);
        QCOMPARE(banks[0].members, QList<int>({1, 2, 900}));
        QVERIFY(!banks[1].inUse);
        QCOMPARE(banks[23].number, 24);
        QCOMPARE(banks[23].members, QList<int>({5}));
    }

    void comparesChannelByChannel() {
        const QByteArray before = ImageWithAllRows();
        QByteArray after = before;
        PutChannel(after, 1, 0x03,
                   "00 04 146550 C0 0000 0C0A1515FFFFFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000");
        after[ChannelLayout::kFlagsOffset + 1] = 0;  // channel 2 removed
        PutChannel(after, 20, 0x07, kRows[0].record);
        // Two bank-name bytes in one block; the identity and the checksum are named apart.
        after[ChannelLayout::kBankNamesOffset] = 1;
        after[ChannelLayout::kBankNamesOffset + 1] = 1;
        after[4] = 'D';
        after[kImageSize - 1] = 1;
        QCOMPARE(ChannelComparison(before, after),
                 QStringList({"ch 1: Name SIMPLEX → CALL; Frequency 146.520000 → 146.550000",
                              "ch 2: removed RPT 145.230000", "ch 20: added SIMPLEX 146.520000"}));
        QCOMPARE(OtherDifferingBlocks(before, after), 1);
        QVERIFY(ChannelComparison(before, before).isEmpty());
        QCOMPARE(OtherDifferingBlocks(before, before), 0);
    }
};

QTEST_GUILESS_MAIN(ChannelsTest)
#include "test_clone_channels.moc"

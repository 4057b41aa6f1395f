#include <QtTest>

#include "cli/channelcommands.h"
#include "memory/channelcsv.h"
#include "memory/channels.h"
#include "support/channelfixture.h"

// The channel fixture decoded, listed and written as CSV, banks, and images compared.
class ChannelsTest : public QObject {
    Q_OBJECT
private slots:
    void decodesEachChannel_data() {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(kFixtureChannels)); ++i)
            QTest::newRow(kFixtureChannels[i].tag) << i;
    }
    void decodesEachChannel() {
        QFETCH(int, row);
        const FixtureChannel& c = kFixtureChannels[row];
        QByteArray image(65227, '\0');
        PutChannel(image, c.number, c.flags, c.record);
        const QList<Channel> channels = DecodeChannels(image);
        QCOMPARE(channels[c.number - 1].number, c.number);
        QCOMPARE(channels[c.number - 1].empty, (c.flags & 0x01) == 0);
        QCOMPARE(channels[c.number - 1].masked, (c.flags & 0x03) == 0x01);
        QCOMPARE(channels[c.number - 1].text(ChannelField::Power), QString::fromLatin1(c.power));
        QCOMPARE(ChannelsCsv(channels, false).split('\n').value(1), QString::fromUtf8(c.csv));
    }

    // The command line's listing: table or CSV, used channels or all of them, then banks.
    void listings_data() {
        QTest::addColumn<bool>("all");
        QTest::addColumn<bool>("csv");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QStringList>("some");  // the second line, and the last
        QTest::newRow("table")
            << false << false << 1 + 9 + 2 + 1
            << QStringList{
                   " 1 SIMPLEX     146.520000         0.000000            FM   12.5 "
                   "Hi   1",
                   "Bank 1 Home: 1 2 900"};
        QTest::newRow("table, all")
            << true << false << 1 + 900 + 2 + 24 << QStringList{"", "Bank 24: no channels"};
        // A channel whose frequency does not decode (8) is left out of the CSV.
        QTest::newRow("csv") << false << true << 8
                             << QStringList{kFixtureChannels[0].csv, kFixtureChannels[6].csv};
        // Another program refuses empty rows: none even with --all, which adds the masked 9.
        QTest::newRow("csv, all") << true << true << 9
                                  << QStringList{kFixtureChannels[0].csv,
                                                 "9,SIMPL,146.520000,,"
                                                 "0.000000,,88.5,88.5,023,NN,023,Tone->Tone,FM,"
                                                 "10.00,,5.0W,,,,,"};
        QTest::newRow("pms, all") << true << false << 1 + 100 + 2
                                  << QStringList{"Ch Name Frequency Dup Offset Tone Mode Step P S",
                                                 "0 of 100 PMS memories used"};
    }
    void listings() {
        QFETCH(bool, all);
        QFETCH(bool, csv);
        QFETCH(int, lines);
        QFETCH(QStringList, some);
        const ChannelList list =
            QTest::currentDataTag()[0] == 'p' ? ChannelList::Pms : ChannelList::Channels;
        const QStringList printed =
            ChannelsListing(FixtureImage(), all, csv, nullptr, list).split('\n');
        QCOMPARE(printed.last(), QString());  // every line ends with a line feed
        QCOMPARE(printed.size() - 1, lines);
        if (csv)
            QCOMPARE(printed[0], QString(kCsvHeader) + ",Banks");
        // The 21 columns of the exchanged layout; the Banks column after them is the import's.
        const auto row = [csv](const QString& line) {
            return csv ? line.left(line.lastIndexOf(',')) : line;
        };
        if (!some[0].isEmpty())
            QCOMPARE(row(printed[list == ChannelList::Pms ? 0 : 1]).simplified(),
                     some[0].simplified());
        QCOMPARE(row(printed[lines - 1]), some[1]);
    }

    // An image cut short: channels whose flags are missing are empty, a used channel whose
    // record is cut shows "?", and nothing reads past the end.
    void shortImages_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("used");
        QTest::addColumn<QString>("frequency");
        QTest::newRow("nothing") << 0 << 0 << QString();
        QTest::newRow("flags of channel 1 only") << ChannelLayout::kFlagsOffset + 1 << 1 << "?";
        QTest::newRow("record one byte short")
            << ChannelLayout::kChannelsOffset + ChannelLayout::kChannelSize - 1 << 8 << "?";
        QTest::newRow("ends with the first record")
            << ChannelLayout::kChannelsOffset + ChannelLayout::kChannelSize << 8 << "146.520000";
    }
    void shortImages() {
        QFETCH(int, size);
        QFETCH(int, used);
        QFETCH(QString, frequency);
        const QByteArray image = FixtureImage().left(size);
        const QList<Channel> channels = DecodeChannels(image);
        QCOMPARE(channels.size(), 900);
        QCOMPARE(UsedChannelCount(channels), used);
        QCOMPARE(channels[0].text(ChannelField::Frequency), frequency);
        QCOMPARE(DecodeBanks(image).size(), 24);
        QCOMPARE(ChannelsTable(channels, {}, true).count('\n'), 901);
    }

    void banks() {
        QByteArray image = FixtureImage();
        // Bank 24 (in use) has its members end where the channel flags start.
        image.replace(ChannelLayout::kBankInUseOffset + 46, 2, QByteArray(2, '\0'));
        image.replace(ChannelLayout::kBankMembersOffset + 23 * 200 + 198, 2,
                      QByteArray::fromHex("0004"));
        const QList<Bank> banks = DecodeBanks(image);
        QCOMPARE(banks[0].name, "Home");                // the top bits of its characters set
        QCOMPARE(DecodeChannelAt(image, 8).name, ".");  // a channel name's top bit counts
        QVERIFY(banks[0].inUse && !banks[1].inUse);
        QCOMPARE(banks[0].members, QList<int>({1, 2, 900}));
        QCOMPARE(banks[23].number, 24);
        QCOMPARE(banks[23].members, QList<int>({5}));
    }

    // Changes named channel by channel, banks among a channel's fields, and bank names;
    // every other differing byte (an empty channel's record too) counted in its 64-byte
    // block of the radio's stream, after the identity.
    void compares() {
        QByteArray before = FixtureImage();
        QByteArray after = before;
        // Bank 1 stored out of order before: its bytes differ, its members do not.
        before.replace(ChannelLayout::kBankMembersOffset, 4, QByteArray::fromHex("00010000"));
        PutChannel(after, 1, 0x03,
                   "00 05 146550 C0 0000 0C0A1515FFFFFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000");
        after[ChannelLayout::kFlagsOffset + 1] = 0;  // channel 2 removed
        PutChannel(after, 20, 0x07, kFixtureChannels[0].record);
        PutChannel(after, 903, 0x03, kFixtureChannels[0].record);
        PutChannel(after, 1002, 0x03, kFixtureChannels[1].record);
        after[ChannelLayout::kFlagsOffset + 8] = 0x03;  // channel 9 unmasked
        after[4] = 'D';                                 // the identity
        after[10 + 63] = 1;                             // the last byte of block 0
        after[10 + 64] = 1;                             // the first of block 1
        after[10 + 64 * 28 + 5] = 1;
        after[10 + 64 * 28 + 9] = 1;  // block 28 once
        after[ChannelLayout::kChannelsOffset + 899 * ChannelLayout::kChannelSize] = 1;
        after[65226] = 1;  // the final checksum
        after.replace(ChannelLayout::kBankInUseOffset + 2, 2, QByteArray::fromHex("0006"));
        after.replace(ChannelLayout::kBankMembersOffset + 200, 2, QByteArray(2, '\0'));
        after.replace(ChannelLayout::kBankNamesOffset + 38, 4, QByteArray::fromHex("0C151E0B"));
        QCOMPARE(
            ChannelComparisonListing(before, after),
            QString::fromUtf8("identity AH029… → AH02D…\n"
                              "ch 1: Name SIMPLEX → CALL; Frequency 146.520000 → 146.550000; "
                              "Banks 1 → 1 2\nch 2: removed RPT 145.230000\n"
                              "ch 9: unmasked\nch 20: added SIMPLEX 146.520000\n"
                              "skip 3: added SIMPLEX 146.520000\nPMS U1: added RPT 145.230000\n"
                              "bank 3: Name none → CLUB\n"
                              "other memory differs in 5 blocks\nthe final checksum differs\n"));
        QCOMPARE(ChannelComparisonListing(before, before), "identical\n");
    }
};

QTEST_GUILESS_MAIN(ChannelsTest)
#include "test_memory_channels.moc"

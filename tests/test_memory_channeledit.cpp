#include <QtTest>

#include "cli/channelcommands.h"
#include "image/cloneimage.h"
#include "memory/channeledit.h"
#include "memory/channels.h"
#include "support/channelfixture.h"

// Channels decoded from raw records, their fields checked as an editor gives them, and
// written back byte for byte as the radio writes them.
class ChannelEditTest : public QObject {
    Q_OBJECT
    // An AH029 image with a stale region sum, so that a change of it would show.
    static QByteArray image() {
        QByteArray image(65227, '\0');
        image.replace(0, 5, "AH029");
        image[0x06C9] = 0x5A;
        return image;
    }

private slots:
    // One raw record per corrected fact, and the field it shows.
    void decoderCorrections_data() {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("record");
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("shows");
        const int step = int(ChannelField::Step), mode = int(ChannelField::Mode);
        const int freq = int(ChannelField::Frequency), offset = int(ChannelField::Offset);
        auto row = [](const char* tag, int flags, const char* b01, const char* khz,
                      const char* offsetKhz, int field, const char* shows) {
            const QString record = QString("%1 %2 C0 0000 %3 %4 08 00 000000");
            QTest::newRow(tag) << flags << record.arg(b01, khz, QString(32, 'F'), offsetKhz)
                               << field << shows;
        };
        row("step index 12 does not decode", 3, "00 0C", "146520", "000000", step, "?");
        row("half deviation with mode 0 is FM", 3, "20 00", "146520", "000000", mode, "FM");
        row("mode 3 is no mode", 3, "00 C0", "146520", "000000", mode, "?");
        row("airband +8", 3, "00 00", "118008", "000000", freq, "118.008333");
        row("airband +16", 3, "00 00", "118016", "000000", freq, "118.016666");
        row("airband name +15", 3, "00 00", "121015", "000000", freq, "121.016666");
        row("airband name +5", 3, "00 00", "121005", "000000", freq, "121.000000");
        row("12.5 kHz: +500 Hz", 3, "00 00", "145612", "000000", freq, "145.612500");
        row("6.25 kHz: +250 Hz", 3, "00 00", "446006", "000000", freq, "446.006250");
        row("6.25 kHz: +750 Hz", 3, "00 00", "446018", "000000", freq, "446.018750");
        row("off every raster: as stored", 3, "00 00", "146521", "000000", freq, "146.521000");
        row("split: transmit frequency restored", 3, "00 30", "118008", "118016", offset,
            "118.016666");
        row("plus: offset in whole kHz", 3, "00 20", "146520", "001893", offset, "1.893000");
        row("both skip bits: P", 0x0F, "00 00", "146520", "000000", int(ChannelField::Skip), "P");
    }
    void decoderCorrections() {
        QFETCH(int, flags);
        QFETCH(QString, record);
        QFETCH(int, field);
        QFETCH(QString, shows);
        QByteArray image(65227, '\0');
        PutChannel(image, 1, flags, record.toLatin1());
        QCOMPARE(DecodeChannels(image)[0].text(ChannelField(field)), shows);
    }

    // A bank not in use has no members; a channel listed twice is listed once.
    void banks() {
        QByteArray image = FixtureImage();
        image.replace(ChannelLayout::kBankMembersOffset + 6, 4, QByteArray::fromHex("00010000"));
        image.replace(ChannelLayout::kBankMembersOffset + 200, 2, QByteArray(2, '\0'));
        const QList<Bank> banks = DecodeBanks(image);
        QCOMPARE(banks[0].members, QList<int>({1, 2}));
        QVERIFY(banks[1].members.isEmpty());
    }

    // The command line's listing at its widest fits 80 columns: the widest channel row, in
    // all 24 banks, and a bank of 100 channels.
    void listingFits80Columns() {
        QByteArray img = FixtureImage();
        Channel ch;
        ch.number = 900, ch.empty = false, ch.name = "ABCDEFGHIJKLMNOP";
        ch.frequencyHz = ch.offsetHz = 999'900'000;
        ch.duplex = 3, ch.toneMode = 2, ch.tone = 49, ch.mode = 2, ch.step = 10, ch.skip = 2;
        QCOMPARE(StoreChannel(img, ch), QString());
        for (int i = 0; i < 100; ++i)  // channels 769 to 868
            img.replace(ChannelLayout::kBankMembersOffset + 2 * i, 2, QByteArray(1, 3) + char(i));
        img.replace(ChannelLayout::kBankInUseOffset, 48, QByteArray(48, '\0'));
        for (int b = 1; b < 24; ++b)  // and 900 in every bank
            img.replace(ChannelLayout::kBankMembersOffset + 200 * b, 2,
                        QByteArray::fromHex("0383"));
        const QString listing = ChannelsListing(img, false, false);
        for (const QString& line : listing.split('\n'))
            QVERIFY2(line.size() <= 80, qPrintable(line));
        QVERIFY(listing.contains(QRegularExpression("\n {75}22 23\n {75}24\n")));
    }

    // A field as an editor gives it: what it stores (a frequency with the step after it), or
    // the refusal, which leaves the field as it was.
    void fields_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        auto row = [](const char* tag, ChannelField field, const char* text, const char* result) {
            QTest::newRow(tag) << int(field) << QString(text) << QString(result);
        };
        const auto f = ChannelField::Frequency;
        row("not storable", f, "146.5212",
            "Frequency 146.5212 MHz cannot be stored; nearest 146.521000");
        row("too high", f, "1200", "Frequency 1200 MHz is outside 0.5–999.9 MHz");
        row("no number", f, "14x", "Frequency 14x is not a frequency in MHz");
        row("kHz, step reaches", f, "146525 kHz", "146.525000 12.50");
        row("MHz: the channel's step kept where it does not divide", f, "146.52 MHz",
            "146.520000 12.50");
        row("first step: 5 kHz kept where it does not divide", f, "446.00625", "446.006250 5.00");
        row("empty slot: its record's 10 kHz step reaches", f, "146.53", "146.530000 10.00");
        row("empty slot: its record's 25 kHz step reaches", f, "146.525", "146.525000 25.00");
        row("lacking step: 6.25 kHz", f, "446.00625", "446.006250 6.25");
        row("lacking step: 8.33 kHz, 5 decimals", f, "118.00833", "118.008333 8.33");
        row("lacking step: airband name", f, "118.015", "118.016666 8.33");
        row("offset", ChannelField::Offset, "1000", "Offset 1000 MHz is outside 0–999.9 MHz");
        row("offset: whole kHz", ChannelField::Offset, "1.893", "1.893000");
        row("watts beyond the radio", ChannelField::Power, "50W",
            "Power 50W is more than the radio's 5 W");
        row("name table", ChannelField::Name, "CAFÉ",
            "Name \"CAFÉ\" holds É, which is not in the radio's character table");
        row("name length", ChannelField::Name, "ABCDEFGHIJKLMNOPQ",
            "Name \"ABCDEFGHIJKLMNOPQ\" is longer than 16 characters");
        row("tone", ChannelField::Tone, "88.4", "Tone 88.4 is not one of the 50 tones");
        row("dcs", ChannelField::Dcs, "24", "DCS 24 is not one of the 104 codes");
        row("NFM", ChannelField::Mode, "NFM", "Mode NFM is not one of FM, AM, WFM");
        row("cross", ChannelField::ToneMode, "Cross",
            "Tone mode Cross is not one of none, Tone, TSQL, DTCS");
        row("watts", ChannelField::Power, "3W", "L3 2.5 W");
        row("step", ChannelField::Step, "7.5",
            "Step 7.5 is not one of 5.00, 6.25, 8.33, 9.00, 10.00, 12.50, 15.00, 20.00, 25.00, "
            "50.00, 100.00, 200.00");
    }
    void fields() {
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(QString, result);
        Channel ch;
        ch.number = 1, ch.empty = false, ch.frequencyHz = 146'525'000, ch.step = 5;
        if (QByteArray(QTest::currentDataTag()).startsWith("lacking"))
            ch.step = 13;  // another program's step
        if (QByteArray(QTest::currentDataTag()).startsWith("first step"))
            ch.step = 0;
        if (QByteArray(QTest::currentDataTag()).startsWith("empty"))
            ch.empty = true,  // a cleared slot keeps its record, with its 10 or 25 kHz step
                ch.step = QByteArray(QTest::currentDataTag()).contains("25 kHz") ? 8 : 4;
        const Channel before = ch;
        const QString refusal = SetChannelField(ch, ChannelField(field), text);
        const bool frequency = field == int(ChannelField::Frequency);
        QCOMPARE(refusal.isEmpty() ? ch.text(ChannelField(field)) +
                                         (frequency ? ' ' + ch.text(ChannelField::Step) : "")
                                   : refusal,
                 result);
        if (!refusal.isEmpty())
            QCOMPARE(ch.text(ChannelField(field)), before.text(ChannelField(field)));
    }

    // Each channel stored into a slot as the radio writes it; the expected bytes follow
    // from the layout, not from the encoder. Only the flag byte and the record change: the
    // sums are left to the commit.
    void encodes_data() {
        QTest::addColumn<int>("flagsBefore");
        QTest::addColumn<QString>("recordBefore");
        QTest::addColumn<QString>("fields");  // name|freq|duplex|offset|tone mode|tone|DCS|...
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("record");
        const QString ff(64, 'F');
        const QString fixture = kFixtureChannels[0].record;
        // Into a slot not in use, whose record holds FF.
        auto fresh = [&](const char* tag, const char* fields, int flags, const QString& record) {
            QTest::newRow(tag) << 0x00 << ff << QString(fields) << flags << record;
        };
        fresh("fresh slot: the radio's defaults", "CALL|146.52||0||88.5|023|FM|5|Hi|", 0x03,
              "00 00 146520 C0 0000 0C0A1515FFFFFFFFFFFFFFFFFFFFFFFF 000000 08 00 1D0018");
        QTest::newRow("in use: bits no field owns kept, AM minus Tone skip")
            << 0x73 << ff << "RPT 1|145.23|-|0.6|Tone|100|023|AM|10|L2|S" << 0x77
            << "FF 54 145230 7D FFFF 1B191D2401FFFFFFFFFFFFFFFFFFFFFF 000600 CC 80 FFFFFF";
        fresh("WFM, no sub-VFO from 88 to 108 MHz", "FM|88.1||0||88.5|023|WFM|100|L3|", 0x83,
              "00 8A 088100 80 0000 0F16FFFFFFFFFFFFFFFFFFFFFFFFFFFF 000000 08 00 1D0018");
        fresh("6.25 kHz mark, DTCS, preferential", "PMR1|446.00625||0|DTCS|88.5|754|FM|6.25|L1|P",
              0x0F, "05 01 446006 03 0000 19161B01FFFFFFFFFFFFFFFFFFFFFFFF 000000 08 67 1D0018");
        fresh("12.5 kHz off the 5 kHz raster: marked", "|145.6125||0||88.5|023|FM|12.5|Hi|", 0x03,
              "05 05 145612 C0 0000" + ff.left(32) + "000000 08 00 1D0018");
        fresh("airband 8.33 kHz AM", "TWR|118.00833||0||88.5|023|AM|8.33|Hi|", 0x03,
              "00 42 118008 C0 0000 1D201BFFFFFFFFFFFFFFFFFFFFFFFFFF 000000 08 00 1D0018");
        fresh("split, TSQL", "ISS|145.8|split|144.49|TSQL|254.1|023|FM|20|Hi|", 0x03,
              "00 37 145800 C2 0000 121C1CFFFFFFFFFFFFFFFFFFFFFFFFFF 144490 31 00 1D0018");
        fresh("below 30 MHz: no sub-VFO", "10M RPT|29.62|-|0.1|Tone|107.2|023|FM|10|L2|", 0x83,
              "00 14 029620 41 0000 010016241B191DFFFFFFFFFFFFFFFFFF 000100 0E 00 1D0018");
        fresh("above 580 MHz: no sub-VFO", "|927.5|-|25||88.5|023|FM|12.5|Hi|", 0x83,
              "00 15 927500 C0 0000" + ff.left(32) + "025000 08 00 1D0018");
        fresh("every character class", "Az9 .,:;*#_-/&()|430||0||88.5|023|FM|5|Hi|", 0x03,
              "00 00 430000 C0 0000 0A3E09243F404142434445464748494A 000000 08 00 1D0018");
        QTest::newRow("cleared: record kept") << 0x8F << fixture << "" << 0x8C << fixture;
        QTest::newRow("masked, cleared: both bits") << 0x81 << fixture << "" << 0x80 << fixture;
    }
    void encodes() {
        QFETCH(int, flagsBefore);
        QFETCH(QString, recordBefore);
        QFETCH(QString, fields);
        QFETCH(int, flags);
        QFETCH(QString, record);
        // The same bytes in a channel, a skip-search memory and PMS L1 and U50; nothing else.
        for (int slot : {7, 950, 1001, 1100}) {
            QByteArray img = image();
            PutChannel(img, slot, flagsBefore, recordBefore.toLatin1());
            const QByteArray before = img;
            Channel ch = DecodeChannelAt(img, slot);
            const QStringList texts = fields.split('|');
            for (int f = int(ChannelField::Name); f < kChannelFieldCount && !fields.isEmpty(); ++f)
                QCOMPARE(SetChannelField(ch, ChannelField(f), texts[f - 1]), QString());
            ch.empty = fields.isEmpty();
            QCOMPARE(StoreChannel(img, ch), QString());
            QByteArray expected = before;
            PutChannel(expected, slot, flags, record.toLatin1());
            QCOMPARE(img.toHex(), expected.toHex());
            QCOMPARE(ChannelChanges(DecodeChannelAt(img, slot), ch), QStringList());
        }
    }
};

QTEST_GUILESS_MAIN(ChannelEditTest)
#include "test_memory_channeledit.moc"

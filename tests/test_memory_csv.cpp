#include <QRandomGenerator>
#include <QtTest>

#include "memory/channelcsv.h"
#include "memory/channeledit.h"
#include "memory/channels.h"
#include "sim/simradio.h"
#include "support/channelfixture.h"

// CSV from other programs and spreadsheets read by its header, with the quirks they have,
// and the channels written out and read back.
class ChannelCsvTest : public QObject {
    Q_OBJECT
private slots:
    // A spreadsheet's "Unicode text": UTF-16 either way round, with a byte-order mark or not.
    void utf16() {
        const QString text = "Location,Name\n1,CAFÉ\n";
        for (auto order : {QStringConverter::Utf16LE, QStringConverter::Utf16BE})
            for (auto flags : {QStringConverter::Flag::Default, QStringConverter::Flag::WriteBom})
                QCOMPARE(CsvText(QStringEncoder(order, flags)(text)), text);
        QCOMPARE(CsvText(text.toUtf8()), text);
    }

    void imports_data() {
        QTest::addColumn<QString>("csv");
        QTest::addColumn<QStringList>("results");  // channels, "cleared N", refusals, warnings
        QTest::newRow("exchanged layout: BOM, CRLF, blank line, quoted name")
            << QString(QChar(0xFEFF)) + kCsvHeader +
                   "\r\n\r\n5,\"A,B\",146.52,,0.000000,Tone,100.0,88.5,023,NN,023,Tone->Tone,FM,"
                   "5.00,S,5.0W,,,,,\r\n"
            << QStringList{"5|A,B|146.520000||0.000000|Tone|100.0|023|FM|5.00|Hi 5 W|S"};
        QTest::newRow("older layout, other order: TSQL takes cToneFreq")
            << "Frequency,Location,Name,Mode,TStep,Tone,rToneFreq,cToneFreq,DtcsCode,DtcsPolarity,"
               "Duplex,Offset,Skip,Comment,URCALL,RPT1CALL,RPT2CALL,DVCODE\n"
               "145.6125,7,RPT,FM,12.50,TSQL,88.5,254.1,023,NN,+,0.600000,,,,,,\n"
            << QStringList{"7|RPT|145.612500|+|0.600000|TSQL|254.1|023|FM|12.50|Hi 5 W|"};
        QTest::newRow("semicolons, defaults, units")
            << "Location;Frequency\n1;146520 kHz\n"
            << QStringList{"1||146.520000||0.000000||88.5|023|FM|5.00|Hi 5 W|"};
        QTest::newRow("rows without a header, as a spreadsheet copies them")
            << "12\tX\t145.5 MHz\n"
            << QStringList{"12|X|145.500000||0.000000||88.5|023|FM|5.00|Hi 5 W|"};
        QTest::newRow("tabs: DTCS takes DtcsCode, watts, NFM and a polarity warned")
            << "Location\tFrequency\tTone\tDtcsCode\tPower\tMode\tDtcsPolarity\n"
               "3\t145.5\tDTCS\t754\t2W\tNFM\tRN\n"
            << QStringList{"3||145.500000||0.000000|DTCS|88.5|754|FM|5.00|L3 2.5 W|",
                           "line 2: Mode NFM stored as FM: narrow deviation is one setting for "
                           "the whole radio",
                           "line 2: DtcsPolarity RN stored as NN: the radio keeps no polarity per "
                           "channel",
                           "line 2: Power 2W stored as L3 2.5 W"};
        QTest::newRow("refused rows and a cleared channel")
            << "Location,Frequency,Tone,Mode\n1,1200,,\n\n901,145.5,,\n2,145.5,Cross,\n"
               "3,145.5,,DV\n2,145.5,,\n4,,,\n4,145.5,,\n"
            << QStringList{"cleared 4",
                           "line 2: Frequency 1200 MHz is outside 0.5–999.9 MHz",
                           "line 4: Location 901 is outside 1–900",
                           "line 5: Tone mode Cross (no CrossMode) is a pair the radio cannot "
                           "make: it has Tone, TSQL and DTCS, each the same both ways",
                           "line 6: Mode DV is a digital mode; the radio has FM, AM and WFM",
                           "line 7: Location 2 is given twice (also line 5)",
                           "line 9: Location 4 is given twice (also line 8)"};
        QTest::newRow("no Location column")
            << "Name,Frequency\nX,145.5\n"
            << QStringList{"line 1: the header has no Location column"};
        // Refused whole: nothing of the text may be stored.
        QTest::newRow("a quote never closed")
            << "Location,Name,Frequency,Comment\n1,A,146.52,\"x\n"
               "2,B,146.55,\n"
            << QStringList{"line 2: a quote opened here is never closed"};
        QTest::newRow("a quoted last field, no line end")
            << "Location,Frequency,Name\n1,146.52,\"A,B\""
            << QStringList{"1|A,B|146.520000||0.000000||88.5|023|FM|5.00|Hi 5 W|"};
        QTest::newRow("only a header and blank lines") << "Location,Frequency\n\n \n"
                                                       << QStringList{"no channel rows"};
        QTest::newRow("nothing") << "" << QStringList{"no channel rows"};
        QTest::newRow("lone CR line ends")
            << "Location,Frequency,Mode\r1,146.52,AM\r\r2,145.5,\r"
            << QStringList{"1||146.520000||0.000000||88.5|023|AM|5.00|Hi 5 W|",
                           "2||145.500000||0.000000||88.5|023|FM|5.00|Hi 5 W|"};
        QTest::newRow("no header: the older layout by its 18 fields; a paste of \"7\"")
            << "5,TWR,118.1,,0.000000,,88.5,88.5,023,NN,AM,25.00,,,,,,\n6,X,145.5,,,,,,,,,,,,\n7\n"
            << QStringList{
                   "5|TWR|118.100000||0.000000||88.5|023|AM|25.00|Hi 5 W|",
                   "line 2: a row without a header line has 15 fields; the layouts have 21 or 18",
                   "line 3: the row ends before its Frequency column"};
        QTest::newRow("values the radio cannot hold: refused, or stored otherwise and warned of")
            << "Location,Name,Frequency,Duplex,Offset,TStep,Power\n1,  LEAD,146.52,+,1.893,,2W\n"
               "2,,146.52,,,,50W\n3,,146.5125,,,5.00,\n4,,146.52,-,500,,\n5,,999,+,50,,\n"
               "6,,146.52,split,,,\n"
            << QStringList{"1|  LEAD|146.520000|+|1.893000||88.5|023|FM|5.00|L3 2.5 W|",
                           "2||146.520000||0.000000||88.5|023|FM|5.00|Hi 5 W|",
                           "3||146.512500||0.000000||88.5|023|FM|5.00|Hi 5 W|",
                           "line 5: Offset 500 MHz puts the transmit frequency at -353.48 MHz, "
                           "outside 0.5–999.9 MHz",
                           "line 6: Offset 50 MHz puts the transmit frequency at 1049 MHz, outside "
                           "0.5–999.9 MHz",
                           "line 7: Offset (empty) gives the split channel no transmit frequency",
                           "line 2: Power 2W stored as L3 2.5 W",
                           "line 3: Power 50W stored as Hi 5 W"};
        QTest::newRow("steps the radio has kept; one it lacks is never 8.33 outside the airband")
            << "Location,Frequency,TStep\n1,440.35,20\n2,462.725,10\n3,462.725,7.5\n4,118.025,7.5\n"
            << QStringList{"1||440.350000||0.000000||88.5|023|FM|20.00|Hi 5 W|",
                           "2||462.725000||0.000000||88.5|023|FM|10.00|Hi 5 W|",
                           "3||462.725000||0.000000||88.5|023|FM|6.25|Hi 5 W|",
                           "4||118.025000||0.000000||88.5|023|FM|8.33|Hi 5 W|",
                           "line 4: TStep 7.5 stored as 6.25, the nearest step the radio has that "
                           "reaches 462.725000 MHz",
                           "line 5: TStep 7.5 stored as 8.33, the nearest step the radio has that "
                           "reaches 118.025000 MHz"};
        QTest::newRow("another program's export: Location 0, a 125 kHz step")
            << "Location,Frequency,TStep\n0,146.52,5.00\n1,146.52,125.00\n2,146.52,11\n"
            << QStringList{"1||146.520000||0.000000||88.5|023|FM|20.00|Hi 5 W|",
                           "2||146.520000||0.000000||88.5|023|FM|10.00|Hi 5 W|",
                           "line 2: Location 0 skipped: the radio's channels are 1–900",
                           "line 3: TStep 125.00 stored as 20.00, the nearest step the radio has "
                           "that reaches 146.520000 MHz",
                           "line 4: TStep 11 stored as 10.00, the nearest step the radio has that "
                           "reaches 146.520000 MHz"};
        // Rows of other radios' exports: each value the radio lacks, and what becomes of it.
        QTest::newRow("other radios: powers, modes, duplexes, tones and steps")
            << "Location,Frequency,Duplex,Offset,Tone,rToneFreq,cToneFreq,DtcsCode,RxDtcsCode,"
               "CrossMode,Mode,TStep,Power\n"
               "1,146.52,,,,,,,,,FM,,75W\n2,146.52,,,,,,,,,FM,,0.5W\n3,146.52,,,,,,,,,FM,,0.01W\n"
               "4,146.52,,,,,,,,,FM,,1.6W\n5,94.5,,,,,,,,,Auto,,\n6,446.1,,,,,,,,,DMR,,\n"
               "7,145.5,off,,,,,,,,FM,,\n8,145.5,,,Cross,88.5,,,,Tone->,FM,,\n"
               "9,145.5,,,Cross,88.5,100.0,,,Tone->Tone,FM,,\n"
               "10,145.5,,,Cross,,,023,023,DTCS->DTCS,FM,,\n11,145.5,,,,,,,,,FM,2.5,\n"
               "12,145.5,,,,,,,,,DN,,\n13,108,,,,,,,,,Auto,,\n"
            << QStringList{"1||146.520000||0.000000||88.5|023|FM|5.00|Hi 5 W|",
                           "2||146.520000||0.000000||88.5|023|FM|5.00|L2 1 W|",
                           "3||146.520000||0.000000||88.5|023|FM|5.00|L1 0.05 W|",
                           "4||146.520000||0.000000||88.5|023|FM|5.00|L3 2.5 W|",
                           "5||94.500000||0.000000||88.5|023|WFM|5.00|Hi 5 W|",
                           "8||145.500000||0.000000|Tone|88.5|023|FM|5.00|Hi 5 W|",
                           "10||145.500000||0.000000|DTCS|88.5|023|FM|5.00|Hi 5 W|",
                           "11||145.500000||0.000000||88.5|023|FM|5.00|Hi 5 W|",
                           "13||108.000000||0.000000||88.5|023|AM|5.00|Hi 5 W|",
                           "line 7: Mode DMR is a digital mode; the radio has FM, AM and WFM",
                           "line 8: Duplex off (transmit inhibited) cannot be stored: the radio "
                           "transmits on every channel",
                           "line 10: Tone mode Cross Tone->Tone is a pair the radio cannot make: "
                           "it has Tone, TSQL and DTCS, each the same both ways",
                           "line 13: Mode DN is a digital mode; the radio has FM, AM and WFM",
                           "line 2: Power 75W stored as Hi 5 W",
                           "line 3: Power 0.5W stored as L2 1 W",
                           "line 4: Power 0.01W stored as L1 0.05 W",
                           "line 5: Power 1.6W stored as L3 2.5 W",
                           "line 6: Mode Auto stored as WFM, the mode of its band",
                           "line 9: Tone Cross Tone-> stored as Tone",
                           "line 11: Tone Cross DTCS->DTCS stored as DTCS",
                           "line 12: TStep 2.5 stored as 5.00, the nearest step the radio has "
                           "that reaches 145.500000 MHz",
                           "line 14: Mode Auto stored as AM, the mode of its band"};
        QTest::newRow("pms: Location 1 is L1, 2 is U1")
            << "Location,Frequency\n1,144\n2,148\n101,145\n"
            << QStringList{"L1||144.000000||0.000000||88.5|023|FM|5.00|Hi 5 W|",
                           "U1||148.000000||0.000000||88.5|023|FM|5.00|Hi 5 W|",
                           "line 4: Location 101 is outside 1–100"};
        QTest::newRow("a newline and a NUL in refusals: escaped")
            << "Location,Name,Frequency\n1,\"A\nB\",146.52\n2,C" + QString(QChar(0)) + "D,146.52\n"
            << QStringList{
                   "line 2: Name \"A\\nB\" holds \\n, which is not in the radio's character "
                   "table",
                   "line 4: Name \"C\\0D\" holds \\0, which is not in the radio's character "
                   "table"};
    }
    void imports() {
        QFETCH(QString, csv);
        QFETCH(QStringList, results);
        const CsvImport import = ParseChannelsCsv(
            csv, QTest::currentDataTag()[0] == 'p' ? ChannelList::Pms : ChannelList::Channels);
        QStringList got;
        for (const Channel& ch : import.channels) {
            QStringList fields;
            for (int f = 0; f < kChannelFieldCount; ++f)
                fields << ch.text(ChannelField(f));
            got << fields.join('|');
        }
        for (int number : import.cleared)
            got << QString("cleared %1").arg(number);
        QCOMPARE(got + import.refusals + import.warnings, results);
    }

    // The simulated radio's channels out and back in over its image: the same CSV again,
    // an undecodable channel named and, with replace, cleared.
    void roundTrip() {
        const SimRadio sim;
        QByteArray image = sim.identity + sim.memory + '\0';
        const FixtureChannel& garbage = kFixtureChannels[7];
        PutChannel(image, garbage.number, garbage.flags, garbage.record);
        const FixtureChannel& masked = kFixtureChannels[8];  // kept by a replace not naming it
        PutChannel(image, 899, masked.flags, masked.record);
        QStringList leftOut;
        const QString csv = ChannelsCsv(DecodeChannels(image), false, &leftOut);
        QCOMPARE(leftOut, QStringList{"channel 8 left out: Frequency ? does not decode"});
        const CsvImport import = ParseChannelsCsv(csv);
        QVERIFY(import.refusals.isEmpty() && import.warnings.isEmpty());
        QCOMPARE(ApplyChannelsCsv(image, import, true), 1);
        QCOMPARE(ChannelsCsv(DecodeChannels(image), false), csv);
        QCOMPARE(UsedChannelCount(DecodeChannels(image)), 11);
        QCOMPARE(ChannelBytes(image, 899), QByteArray::fromHex(QByteArray("01") + masked.record));
    }

    // Each list written out and read back into the image it came from changes no byte: the
    // simulated radio's image, and 50 whose marks, unknown bits, name pads, flags and values
    // (some the radio cannot hold, left out) are random in one slot of about eight.
    void exportImportKeepsEveryByte() {
        namespace M = MemoryMap::Channels;
        const SimRadio sim;
        for (quint32 seed = 0; seed <= 50; ++seed) {
            QRandomGenerator rng(seed);
            QByteArray image = sim.identity + sim.memory + '\0';
            for (int n = rng.bounded(8); seed && n < M::kSlots; n += 1 + rng.bounded(15)) {
                image[M::kFlags.at(n)] = char(rng.bounded(256) | 1);
                for (int i = 0; i < M::kRecordSize; ++i)
                    image[M::kMark.at(n) + i] = char(rng.bounded(256));
                image[M::kName.at(n) + rng.bounded(16)] = char(0xFF);
                const bool split = MemoryMap::ReadNumber(image, M::kDuplex, n) == 3;
                MemoryMap::WriteNumber(image, M::kFrequency, rng.bounded(1000, 999000), n);
                MemoryMap::WriteNumber(image, M::kOffset,
                                       split ? rng.bounded(1000, 999000) : rng.bounded(400), n);
            }
            const QByteArray before = image;
            for (ChannelList list : {ChannelList::Channels, ChannelList::Skip, ChannelList::Pms}) {
                const CsvImport import =
                    ParseChannelsCsv(ChannelsCsv(DecodeChannels(image, list), false), list);
                QVERIFY(import.refusals.isEmpty() && import.warnings.isEmpty());
                ApplyChannelsCsv(image, import, false, list);
            }
            QVERIFY2(image == before, qPrintable(QString("seed %1").arg(seed)));
        }
    }
};

QTEST_GUILESS_MAIN(ChannelCsvTest)
#include "test_memory_csv.moc"

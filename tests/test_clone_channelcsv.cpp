#include <QtTest>

#include "clone/channelcsv.h"
#include "clone/channels.h"
#include "sim/simradio.h"
#include "support/channelfixture.h"

// CSV from other programs and spreadsheets read by its header, with the quirks they have,
// and the channels written out and read back.
class ChannelCsvTest : public QObject {
    Q_OBJECT
private slots:
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
                           "channel"};
        QTest::newRow("refused rows and a cleared channel")
            << "Location,Frequency,Tone,Mode\n1,1200,,\n\n901,145.5,,\n2,145.5,Cross,\n"
               "3,145.5,,DV\n2,145.5,,\n4,,,\n4,145.5,,\n"
            << QStringList{"cleared 4",
                           "line 2: Frequency 1200 MHz is outside 0.5–999.9 MHz",
                           "line 4: Location 901 is outside 1–900",
                           "line 5: Tone mode Cross is not one of none, Tone, TSQL, DTCS",
                           "line 6: Mode DV is not one of FM, AM, WFM",
                           "line 7: Location 2 is given twice (also line 5)",
                           "line 9: Location 4 is given twice (also line 8)"};
        QTest::newRow("no Location column")
            << "Name,Frequency\nX,145.5\n"
            << QStringList{"line 1: the header has no Location column"};
    }
    void imports() {
        QFETCH(QString, csv);
        QFETCH(QStringList, results);
        const CsvImport import = ParseChannelsCsv(csv);
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
        QStringList leftOut;
        const QString csv = ChannelsCsv(DecodeChannels(image), false, &leftOut);
        QCOMPARE(leftOut, QStringList{"channel 8 left out: Frequency ? does not decode"});
        const CsvImport import = ParseChannelsCsv(csv);
        QVERIFY(import.refusals.isEmpty() && import.warnings.isEmpty());
        QCOMPARE(ApplyChannelsCsv(image, import, true), 1);
        QCOMPARE(ChannelsCsv(DecodeChannels(image), false), csv);
        QCOMPARE(UsedChannelCount(DecodeChannels(image)), 11);
    }
};

QTEST_GUILESS_MAIN(ChannelCsvTest)
#include "test_clone_channelcsv.moc"

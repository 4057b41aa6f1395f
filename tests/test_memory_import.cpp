#include <QtTest>

#include "memory/bankedit.h"
#include "memory/channelcsv.h"
#include "memory/channeledit.h"
#include "memory/channelimport.h"
#include "sources/importfile.h"
#include "support/channelfixture.h"

namespace {

// One directory entry: "Frequency|Input Freq|PL|TSQ|Callsign|Nearest City|Lat|Long|Use|
// Operational Status|FM Analog|DMR", as the export writes it (every value a string).
QByteArray Directory(const QStringList& entries) {
    const QStringList keys = {"Frequency", "Input Freq",         "PL",        "TSQ",
                              "Callsign",  "Nearest City",       "Lat",       "Long",
                              "Use",       "Operational Status", "FM Analog", "DMR"};
    QJsonArray results;
    for (const QString& entry : entries) {
        QJsonObject o{{"Rptr ID", "1"}, {"Notes", ""}};
        const QStringList values = entry.split('|');
        for (int i = 0; i < keys.size(); ++i)
            o.insert(keys[i], values.value(i));
        results.append(o);
    }
    return QJsonDocument(
               QJsonObject{{"count", QString::number(results.size())}, {"results", results}})
        .toJson();
}

QString Described(const Channel& ch) {
    QStringList f;
    for (ChannelField field :
         {ChannelField::Number, ChannelField::Name, ChannelField::Frequency, ChannelField::Duplex,
          ChannelField::Offset, ChannelField::ToneMode, ChannelField::Tone, ChannelField::Dcs})
        f << ch.text(field);
    return f.join('|');
}

// An AH029 image with no channel in use but `used`.
QByteArray ImageUsing(const QList<int>& used) {
    QByteArray image = FixtureImage();
    for (int n = 1; n <= 900; ++n)
        ClearChannel(image, n);
    for (int n : used)
        PutChannel(image, n, kFixtureChannels[0].flags, kFixtureChannels[0].record);
    return image;
}

const QString kCenter = "40.0|-75.0";

}  // namespace

class ChannelImportTest : public QObject {
    Q_OBJECT
private slots:
    // Every kind of entry, 40.1° N lies 11.12 km north of 40.0° N, 40.5° N 55.6 km.
    void directory() {
        const QByteArray json = Directory({
            "146.940|146.340|||W1AAA|Alpha|40.1|-75.0|OPEN|On-air|Yes|No",
            "147.000|147.600|100.0|100.0|W1BBB|Beta|40.05|-75.0|OPEN|On-air|Yes|No",
            "442.100|447.100|D023||W1CCC|Gamma|40.2|-75.0|OPEN|On-air|Yes|No",
            "224.500|222.900|CSQ|CSQ|W1DDD|Évry-Courcouronnes|40.3|-75.0|OPEN|On-air|Yes|No",
            "145.230|144.630|110.9|123.0|W1EEE|Springfield Township|40.4|-75.0|CLOSED|On-air|Yes|"
            "Yes",
            "146.520|147.520|Restricted||W1FFF|Split|40.45|-75.0|PRIVATE|On-air|Yes|No",
            "145.110|144.510|||W1GGG|Digital|40.0|-75.1|OPEN|On-air|No|Yes",
            "145.130|144.530|||W1HHH|Off|40.0|-75.1|OPEN|Off-air|Yes|No",
            "145.150|144.550|||W1III|Unknown|40.0|-75.1|OPEN|Unknown|Yes|No",
            "145.170|144.570|||W1JJJ|Nowhere|||OPEN|On-air|Yes|No",
            "1282.500|1270.500|||W1KKK|High|40.0|-75.1|OPEN|On-air|Yes|No",
            "145.190|144.590|||W1LLL|Far|41.0|-75.0|OPEN|On-air|Yes|No",
        });
        QCOMPARE(ImportKindOf(json), ImportKind::Directory);
        QList<DirectoryEntry> entries;
        QString error;
        QVERIFY(ReadRepeaterDirectory(json, &entries, &error));
        const CsvImport import = DirectoryChannels(entries, {std::make_pair(40.0, -75.0), 60});
        QStringList got;
        for (int i = 0; i < import.channels.size(); ++i)
            got << Described(import.channels[i]) +
                       QString("|%1 km").arg(import.distancesKm[i], 0, 'f', 2);
        QCOMPARE(got, QStringList({
                          "0|W1BBB Beta|147.000000|+|0.600000|TSQL|100.0|023|5.56 km",
                          "0|W1AAA Alpha|146.940000|-|0.600000||88.5|023|11.12 km",
                          "0|W1CCC Gamma|442.100000|+|5.000000|DTCS|88.5|023|22.24 km",
                          "0|W1DDD Evry-Courc|224.500000|-|1.600000||88.5|023|33.36 km",
                          "0|W1EEE Springfiel|145.230000|-|0.600000|Tone|110.9|023|44.48 km",
                          "0|W1FFF Split|146.520000|split|147.520000||88.5|023|50.04 km",
                      }));
        QCOMPARE(import.skipped,
                 QStringList({"entry 7 W1GGG: digital only", "entry 8 W1HHH: off the air",
                              "entry 9 W1III: status unknown", "entry 10 W1JJJ: no position",
                              "entry 11 W1KKK: Frequency 1282.5 MHz is outside 0.5–999.9 MHz",
                              "entry 12 W1LLL: 111.2 km away"}));
        QCOMPARE(ImportSummary(import, 0, false),
                 "imported 6 channels (2 closed or private), skipped 6 (1 digital only, 1 off "
                 "the air, 1 status unknown, 1 no position, 1 out of the radio's range, 1 "
                 "farther than the distance), cleared 0");
    }

    void within_data() {
        QTest::addColumn<QString>("within");
        QTest::addColumn<int>("taken");
        QTest::newRow("just beyond 11.12 km") << "11.11" << 0;
        QTest::newRow("just within") << "11.12km" << 1;
        QTest::newRow("6.9 mi is 11.10 km") << "6.9mi" << 0;
        QTest::newRow("7 mi is 11.27 km") << "7 mi" << 1;
    }
    void within() {
        QFETCH(QString, within);
        QFETCH(int, taken);
        QList<DirectoryEntry> entries;
        QString error;
        QVERIFY(ReadRepeaterDirectory(
            Directory({"146.940|146.340|||W1AAA|Alpha|40.1|-75.0|OPEN|On-air|Yes|No"}), &entries,
            &error));
        const CsvImport import =
            DirectoryChannels(entries, {std::make_pair(40.0, -75.0), ParseDistanceKm(within)});
        QCOMPARE(import.channels.size(), taken);
    }

    // Appended rows fill the free slots from the first asked for, in order.
    void append_data() {
        QTest::addColumn<QList<int>>("used");
        QTest::addColumn<int>("first");
        QTest::addColumn<bool>("skipBad");
        QTest::addColumn<QString>("result");  // the slots taken, the skipped, or the refusal
        QTest::newRow("gaps from 1") << QList<int>{1, 2, 4} << 1 << false << "3 5 6";
        QTest::newRow("gaps from 4") << QList<int>{1, 2, 4} << 4 << false << "5 6 7";
        QList<int> full;
        for (int n = 1; n <= 898; ++n)
            full << n;
        QTest::newRow("two free: refused")
            << full << 1 << false
            << "3 rows to append, but only 2 free slots from 1 on; --skip-bad takes as many as fit";
        QTest::newRow("two free, skip-bad") << full << 1 << true << "899 900 line 4: no free slot";
        QTest::newRow("none free from 900")
            << QList<int>{900} << 900 << false
            << "3 rows to append, but only 0 free slots from 900 on; --skip-bad takes as many as "
               "fit";
    }
    void append() {
        QFETCH(QList<int>, used);
        QFETCH(int, first);
        QFETCH(bool, skipBad);
        QFETCH(QString, result);
        const QByteArray image = ImageUsing(used);
        CsvImport import = ParseChannelsCsv("Location,Frequency\n0,146.52\n7,146.55\n7,146.58\n",
                                            ChannelList::Channels, true);
        QVERIFY(import.refusals.isEmpty());
        const QString refusal = PlaceImport(image, import, ChannelList::Channels, first, skipBad);
        QStringList got;
        for (const Channel& ch : import.channels)
            got << QString::number(ch.number);
        QCOMPARE(refusal.isEmpty() ? (got + import.skipped).join(' ') : refusal, result);
    }

    // The Banks column out and back in; another program's 21 columns stay as they were.
    void banksColumn() {
        const QByteArray source = BankFixtureImage();
        const QList<Bank> banks = DecodeBanks(source);
        const QString csv = ChannelsCsv(DecodeChannels(source), false, nullptr, &banks);
        QVERIFY(csv.startsWith(QString(kCsvHeader) + ",Banks\n"));
        QVERIFY(csv.contains(QString(kFixtureChannels[0].csv) + ",1\n"));
        QVERIFY(csv.contains(QString(kFixtureChannels[3].csv) + ",3\n"));
        QByteArray target = ImageUsing({});
        const CsvImport import = ParseChannelsCsv(csv);
        QVERIFY(import.hasBanks && import.refusals.isEmpty());
        ApplyChannelsCsv(target, import, false, ChannelList::Channels, 5);
        QCOMPARE(ChannelBanksText(DecodeBanks(target), 1), "1 5");
        QCOMPARE(ChannelBanksText(DecodeBanks(target), 4), "3 5");
        QCOMPARE(ChannelBanksText(DecodeBanks(target), 2), "1 5");
        const CsvImport bad = ParseChannelsCsv("Location,Frequency,Banks\n1,146.52,3 25\n");
        QCOMPARE(bad.refusals,
                 QStringList{"line 2: Banks 3 25 is not a list of bank numbers 1–24"});
    }

    // Another image's channels: the same numbers and banks, or appended into a bank.
    void otherImage() {
        const QByteArray source = BankFixtureImage();
        QByteArray target = ImageUsing({1, 3});
        CsvImport same = ImageChannels(source, ChannelList::Channels, true, true);
        QCOMPARE(same.refusals, QStringList{"ch 8: Frequency ? does not decode"});
        ApplyChannelsCsv(target, same, false);
        QCOMPARE(ChannelsCsv(DecodeChannels(target).mid(0, 7), false),
                 ChannelsCsv(DecodeChannels(source).mid(0, 7), false));
        QCOMPARE(DecodeBank(target, 1).members, QList<int>({1, 2}));
        QCOMPARE(DecodeBank(target, 3).members, QList<int>{4});
        target = ImageUsing({1, 3});
        CsvImport appended = ImageChannels(source, ChannelList::Channels, false, false);
        QVERIFY(PlaceImport(target, appended, ChannelList::Channels, 2, false).isEmpty());
        ApplyChannelsCsv(target, appended, false, ChannelList::Channels, 7);
        QCOMPARE(DecodeBank(target, 7).members, QList<int>({2, 4, 5, 6, 7, 8, 9}));
        QCOMPARE(DecodeChannelAt(target, 2).name, "SIMPLEX");
        QCOMPARE(DecodeChannelAt(target, 9).frequencyHz, 430'000'000);
    }

    // Channels moved out of an image and back in change no byte, unknown bits and all:
    // through a CSV with its banks, and from the image itself.
    void roundTrip() {
        const QByteArray image = BankFixtureImage();
        const QList<Bank> banks = DecodeBanks(image);
        QByteArray again = image;
        ApplyChannelsCsv(
            again, ParseChannelsCsv(ChannelsCsv(DecodeChannels(image), false, nullptr, &banks)),
            false);
        QCOMPARE(again.toHex(), image.toHex());
        ApplyChannelsCsv(again, ImageChannels(image, ChannelList::Channels, true, true), false);
        QCOMPARE(again.toHex(), image.toHex());
    }
};

QTEST_GUILESS_MAIN(ChannelImportTest)
#include "test_memory_import.moc"

#include <QRandomGenerator>
#include <QXmlStreamReader>
#include <QtTest>

#include "image/cloneimage.h"
#include "image/memorymap.h"
#include "memory/stations.h"
#include "sim/heardbeacons.h"
#include "sim/simradio.h"

using MemoryMap::Model;
namespace S = MemoryMap::Stations;

// The station list read from images laid out as each model keeps it: the metadata, the
// frame bounded by its slot and length, the exports, and images whose every entry is noise.
class StationsTest : public QObject {
    Q_OBJECT

    static QByteArray blank(Model model) {
        const char* ids[] = {"AH029", "AH29D", "AH041"};
        QByteArray image = QByteArray(ids[int(model)]) + QByteArray(65222, '\0');
        ClearHeardBeacons(image, model);
        // 40°44'54"N 73°59'09"W, the radio's own position, and the zone UTC-05:00.
        const auto lat = MemoryMap::SettingField(model, MemoryMap::Setting::Latitude);
        image.replace(lat->at(), 8, QByteArray::fromHex("00282C3601493B09"));
        MemoryMap::WriteNumber(image, *MemoryMap::SettingField(model, MemoryMap::Setting::TimeZone),
                               16);
        return image;
    }

private slots:
    void entries_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("monitor");
        QTest::addColumn<QString>("line");  // slot, received, callsign, stored, path, problems
        QTest::newRow("VX-8R, three hops, repeated")
            << 0 << "KC2ABC-9>APRS,WB2OSZ-1,WIDE1*,WIDE2-1:!4044.90N/07359.15W>"
            << "2|2011-05-12 17:24|KC2ABC-9|KC2ABC-9|WB2OSZ-1,WIDE1*,WIDE2-1|";
        QTest::newRow("VX-8DR, one hop in two slots")
            << 1 << "KC2ABC>APRS,WIDE2-1:>on the air"
            << "2|2011-05-12 17:24|KC2ABC|KC2ABC|WIDE2-1|";
        QTest::newRow("VX-8DR, no path") << 1 << "KC2ABC>APRS:>x"
                                         << "2|2011-05-12 17:24|KC2ABC|KC2ABC||";
        QTest::newRow("object under its name, cut to 7")
            << 1 << "N2XYZ>APRS:;IRLP-4740*111223z4044.90N/07359.15Wr"
            << "2|2011-05-12 17:24|N2XYZ|IRLP-47||";
        QTest::newRow("longer than the VX-8DR's slot")
            << 1 << "KC2ABC>APRS:>" + QString(200, 'x')
            << "2|2011-05-12 17:24|KC2ABC|KC2ABC||packet bytes 161-213 (the slot holds 160)";
    }
    void entries() {
        QFETCH(int, model);
        QFETCH(QString, monitor);
        QFETCH(QString, line);
        QByteArray image = blank(Model(model));
        StoreHeardBeacon(image, Model(model), 1, QDate(2011, 5, 12), QTime(17, 24), monitor);
        const S::Places places = S::StationPlaces(Model(model));
        if (monitor.size() > 200)  // the length as stored, past the slot
            image[places.metadataAt(1) + S::kLengthAt + 1] = char(213);
        const QList<HeardStation> list = HeardStations(image);
        QCOMPARE(list.size(), 1);
        const HeardStation& s = list[0];
        QCOMPARE(QStringList({QString::number(s.slot), s.received(), s.callsign(), s.storedCallsign,
                              s.frame.pathText(), s.missing.join("; ")})
                     .join('|'),
                 line);
        QCOMPARE(s.packet.size(), std::min<int>(s.length, places.packetSize));
        if (monitor.size() < 100)
            QCOMPARE(s.frame.monitorText(), monitor);
    }

    void received_data() {
        QTest::addColumn<QByteArray>("dateTime");  // the 6 bytes at the record's start
        QTest::addColumn<QString>("received");
        QTest::newRow("ok") << QByteArray::fromHex("080115020905") << "2008-01-15 09:05";
        QTest::newRow("not BCD") << QByteArray::fromHex("0A0115020905") << "";
        QTest::newRow("no 31st of April") << QByteArray::fromHex("110431020905") << "";
        QTest::newRow("hour 24") << QByteArray::fromHex("110430022400") << "";
        QTest::newRow("midnight") << QByteArray::fromHex("100101020000") << "2010-01-01 00:00";
    }
    void received() {
        QFETCH(QByteArray, dateTime);
        QFETCH(QString, received);
        QByteArray image = blank(Model::VX8R);
        StoreHeardBeacon(image, Model::VX8R, 0, QDate(2011, 1, 1), QTime(0, 0), "A>B:>x");
        image.replace(S::StationPlaces(Model::VX8R).metadataAt(0), 6, dateTime);
        const HeardStation s = HeardStations(image).value(0);
        QCOMPARE(s.received(), received);
        QCOMPARE(s.missing.isEmpty(), !received.isEmpty());
    }

    // The radio's position, the distance from it, and the three exports of two stations.
    void exports() {
        QByteArray image = blank(Model::VX8DR);
        StoreHeardBeacon(image, Model::VX8DR, 3, QDate(2011, 5, 12), QTime(17, 24),
                         "KC2ABC-9>APRS:!4050.00N/07359.15W>Hi, \"there\"");
        StoreHeardBeacon(image, Model::VX8DR, 7, QDate(2011, 5, 12), QTime(17, 30),
                         "W2XYZ>APRS:>Net <tonight> & more");
        const QByteArray before = image;
        const QList<HeardStation> list = HeardStations(image);
        const auto near = RadioPosition(image);
        QVERIFY(near && std::abs(near->latitude - 40.748333) < 1e-6 &&
                std::abs(near->longitude + 73.985833) < 1e-6);
        QCOMPARE(RadioUtcOffset(image), -300);
        QCOMPARE(
            StationsCsv(list, near).split('\n').mid(1, 2),
            QStringList({"4,2011-05-12 17:24,KC2ABC-9,KC2ABC-9,APRS,,Position,,/>,Car,40.83333,"
                         "-73.98583,0.0001667,9.45,0,,,,,\"Hi, \"\"there\"\"\",,\"KC2ABC-9>APRS:!"
                         "4050.00N/07359.15W>Hi, \"\"there\"\"\"",
                         "8,2011-05-12 17:30,W2XYZ,W2XYZ,APRS,,Status,,,,,,,,,,,,,Net <tonight> "
                         "& more,,W2XYZ>APRS:>Net <tonight> & more"}));
        for (const QString& xml : {StationsGpx(list, -300), StationsKml(list, -300)}) {
            QXmlStreamReader reader(xml);
            QStringList seen;
            while (!reader.atEnd())
                if (reader.readNext() == QXmlStreamReader::StartElement &&
                    QStringList({"wpt", "Placemark", "time", "when"}).contains(reader.name()))
                    seen << reader.name().toString() + reader.attributes().value("lat").toString() +
                                (reader.name().size() == 4 ? reader.readElementText() : QString());
            QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
            QVERIFY(seen == QStringList({"wpt40.833333", "time2011-05-12T17:24:00-05:00"}) ||
                    seen == QStringList({"Placemark", "when2011-05-12T17:24:00-05:00"}));
        }
        QCOMPARE(image, before);
        // Whole minutes, 40°44'00"N, are a position too.
        image[MemoryMap::SettingField(Model::VX8DR, MemoryMap::Setting::Latitude)->at() + 3] = 0;
        QCOMPARE(qRound(RadioPosition(image).value_or(GeoPoint{}).latitude * 1e6), 40'733'333);
    }

    void geoPoint_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("signed") << "-33.8688, 151.2093" << true;
        QTest::newRow("one number") << "40.7" << false;
        QTest::newRow("latitude past 90") << "91,0" << false;
        QTest::newRow("longitude past 180") << "0,-180.5" << false;
        QTest::newRow("words") << "home" << false;
    }
    void geoPoint() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QString why;
        QCOMPARE(ParseGeoPoint(text, &why).has_value(), ok);
        QCOMPARE(why.isEmpty(), ok);
    }

    // Random bytes in every metadata record and packet slot of 200 images: every entry is
    // read and exported, nothing read past an entry (the sanitizers watch), nothing changed.
    void noise() {
        for (quint32 seed = 1; seed <= 200; ++seed) {
            QRandomGenerator random(seed);
            const Model model = Model(seed % 3);
            QByteArray image = blank(model);
            const S::Places places = S::StationPlaces(model);
            for (int at = places.metadata; at < places.packetAt(places.count); ++at)
                image[at] = char(random.bounded(256));
            // Frames that begin as frames, with noise after the addresses.
            for (int n = 0; n < places.count; n += 2)
                image.replace(places.packetAt(n), 16, Ax25FrameOf("A>B:"));
            const QByteArray before = image;
            const QList<HeardStation> list = HeardStations(image);
            const auto near = RadioPosition(image);
            const QString all = StationsCsv(list, near) + StationsGpx(list, -300) +
                                StationsKml(list, {}) + StationsTable(list, near, 100);
            QVERIFY(!all.isEmpty());
            for (const QString& xml : {StationsGpx(list, 0), StationsKml(list, 60)}) {
                QXmlStreamReader reader(xml);
                while (!reader.atEnd())
                    reader.readNext();
                QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
            }
            QCOMPARE(image, before);
        }
    }
};

QTEST_GUILESS_MAIN(StationsTest)
#include "test_memory_stations.moc"

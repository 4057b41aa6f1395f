#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>
#include <cmath>

#include "aprs/aprs.h"
#include "sim/heardbeacons.h"

// The APRS decoder on packets of every kind, each as monitor text and as its AX.25 frame,
// against what each decodes to and, where it gives a value, against direwolf's decode_aprs.
class AprsTest : public QObject {
    Q_OBJECT

    // What a report holds, in one line.
    static QString describe(const Aprs::Report& r) {
        QStringList p{r.typeText()};
        if (r.latitude)
            p << QString::asprintf("%.5f,%.5f", *r.latitude, r.longitude.value_or(999));
        if (r.ambiguity)
            p << QStringLiteral("amb %1").arg(r.ambiguity);
        if (r.symbolCode)
            p << QString(QLatin1Char(r.symbolTable)) + QLatin1Char(r.symbolCode);
        if (r.speedKnots)
            p << QString::asprintf("%.1fkn", *r.speedKnots);
        if (r.course)
            p << QStringLiteral("%1deg").arg(*r.course);
        if (r.altitudeMetres)
            p << QString::asprintf("%.0fm", *r.altitudeMetres);
        if (!r.timestamp.isEmpty())
            p << QStringLiteral("@") + r.timestamp;
        if (!r.messageId.isEmpty())
            p << QStringLiteral("#") + r.messageId;
        if (r.weather.any())
            p << QStringLiteral("[") + r.weather.text() + QStringLiteral("]");
        if (!r.comment.isEmpty())
            p << QStringLiteral("\"") + r.comment + QStringLiteral("\"");
        if (!r.missing.isEmpty())
            p << QStringLiteral("missing: ") + r.missing.join(QStringLiteral("; "));
        return p.join(QLatin1Char(' '));
    }

    static QString decodeAprs(const QString& program, const QByteArray& input) {
        QProcess run;
        run.start(program, {});
        run.write(input + "\n");
        run.closeWriteChannel();
        run.waitForFinished(10000);
        static const QRegularExpression kEscape(QStringLiteral("\x1b\\[[0-9;]*[a-zA-Z]"));
        return QString::fromLatin1(run.readAllStandardOutput()).remove(kEscape);
    }

    // Where decode_aprs gives a value, the report agrees.
    static void agreesWith(const QString& out, const Aprs::Report& r) {
        static const QRegularExpression kPos(
            QStringLiteral("([NS]) (\\d+) ([\\d.]+), ([EW]) (\\d+) ([\\d.]+)"));
        if (const auto m = kPos.match(out); m.hasMatch()) {
            const double lat = (m.captured(2).toDouble() + m.captured(3).toDouble() / 60) *
                               (m.captured(1) == "S" ? -1 : 1);
            const double lon = (m.captured(5).toDouble() + m.captured(6).toDouble() / 60) *
                               (m.captured(4) == "W" ? -1 : 1);
            QVERIFY2(r.latitude && std::abs(*r.latitude - lat) < 1e-4, qPrintable(out));
            QVERIFY2(r.longitude && std::abs(*r.longitude - lon) < 1e-4, qPrintable(out));
        }
        const auto number = [&](const char* pattern) -> std::optional<double> {
            const auto m = QRegularExpression(QString::fromLatin1(pattern)).match(out);
            return m.hasMatch() ? std::optional(m.captured(1).toDouble()) : std::nullopt;
        };
        if (auto mph = number("(\\d+) MPH"); mph && r.kind != Aprs::Kind::Weather)
            QVERIFY2(r.speedKnots && std::abs(*r.speedKnots * 1.150779 - *mph) <= 1,
                     qPrintable(out));
        if (auto course = number("course (\\d+)"); course && *course)
            QCOMPARE(r.course.value_or(-1), int(*course));
        if (auto feet = number("alt (-?\\d+) ft"))
            QVERIFY2(r.altitudeMetres && std::abs(*r.altitudeMetres / 0.3048 - *feet) <= 1,
                     qPrintable(out));
        if (auto t = number("temperature (-?\\d+)"))
            QCOMPARE(r.weather.temperatureF.value_or(-999), int(*t));
        if (auto h = number("humidity (\\d+)"))
            QCOMPARE(r.weather.humidity.value_or(-1), int(*h));
        if (auto d = number("direction (\\d+)"))
            QCOMPARE(r.weather.windDirection.value_or(-1), int(*d));
        if (const auto m = QRegularExpression("(?:Object|Item), \"(.*?)\"").match(out);
            m.hasMatch())
            QCOMPARE(r.name, m.captured(1).trimmed());
        if (const auto m = QRegularExpression(" for \"(\\S+)\"").match(out); m.hasMatch())
            QCOMPARE(r.addressee, m.captured(1));
        QCOMPARE(out.contains("Killed"), r.killed);
    }

private slots:
    void decode_data() {
        QTest::addColumn<QString>("monitor");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("crossCheck");
        const QList<std::tuple<const char*, const char*, const char*, bool>> rows = {
            {"position, path, comment", "N0CALL>APRS,WIDE2-1:!4903.50N/07201.75W-Test 001234",
             "Position 49.05833,-72.02917 /- \"Test 001234\"", true},
            {"south east, alternate table, PHG", "N0CALL>APRS:=4903.50S\\07201.75EkPHG5132 truck",
             "Position -49.05833,72.02917 \\k \"PHG5132 truck\"", true},
            {"time stamp, course, speed, altitude",
             "N0CALL-7>APRS,WB2OSZ*,WIDE2-1:/092345z4903.50N/07201.75W>088/036/A=001234 Hi",
             "Position 49.05833,-72.02917 /> 36.0kn 88deg 376m @092345z \"Hi\"", true},
            {"ambiguity of whole degrees", "N0CALL>APRS:!49  .  N/072  .  W-",
             "Position 49.00000,-72.00000 amb 4 /-", true},
            {"ambiguity of tenths", "N0CALL>APRS:!4903.5 N/07201.75W-",
             "Position 49.05833,-72.02917 amb 1 /-", true},
            {"compressed, course and speed", "N0CALL-9>APRS:=/5L!!<*e7>7P[",
             "Position (compressed) 49.50000,-72.75000 /> 36.2kn 88deg", true},
            {"compressed, altitude", "N0CALL>APRS:!/5L!!<*e7OS]S",
             "Position (compressed) 49.50000,-72.75000 /O 3049m", true},
            {"compressed, overlay", "N0CALL>APRS:!b5L!!<*e7#  T",
             "Position (compressed) 49.50000,-72.75000 1#", true},
            {"Mic-E, altitude", "N0CALL>T2SP0W,WIDE1-1:`c52l\"{>/]\"4-}=",
             "Mic-E In Service 42.50117,-71.42033 /> 0.0kn 295deg 22m \"=\"", true},
            {"Mic-E, south east, custom", "N0CALL>C2C0A0:'c52l\"{>/Hello",
             "Mic-E Custom-2 -22.33333,71.42033 /> 0.0kn 295deg \"Hello\"", true},
            {"Mic-E, ambiguity", "N0CALL>T2SPZZ:`c52l\"{>/",
             "Mic-E In Service 42.50000,-171.42033 amb 2 /> 0.0kn 295deg", true},
            {"Mic-E, longitude 0-9 by the offset", "N0CALL>T2SPPW:`v52l\"{>/",
             "Mic-E In Service 42.50117,-0.42033 /> 0.0kn 295deg", true},
            {"Mic-E, longitude 100-109 by the offset", "N0CALL>T2SPPW:`q52l\"{>/",
             "Mic-E In Service 42.50117,-105.42033 /> 0.0kn 295deg", true},
            {"compressed, radio range", "N0CALL>APRS:=/5L!!<*e7>{?!",
             "Position (compressed) 49.50000,-72.75000 />", true},
            {"Mic-E, emergency", "N0CALL>420P0W:`c52l\"{>/",
             "Mic-E Emergency 42.00117,-71.42033 /> 0.0kn 295deg", true},
            {"object", "N0CALL>APRS:;LEADER   *092345z4903.50N/07201.75W>088/036",
             "Object LEADER 49.05833,-72.02917 /> 36.0kn 88deg @092345z", true},
            {"object killed, compressed", "N0CALL>APRS:;IRLP-4740_111223z/5L!!<*e7>7P[",
             "Object IRLP-4740 (killed) 49.50000,-72.75000 /> 36.2kn 88deg @111223z", true},
            {"item", "N0CALL>APRS:)AID #2!4903.50N/07201.75WA", "Item AID #2 49.05833,-72.02917 /A",
             true},
            {"weather with position",
             "N0CALL>APRS:@092345z4903.50N/07201.75W_220/004g005t077r000p000P000h50b09900",
             "Weather 49.05833,-72.02917 /_ @092345z [wind 220° 4 mph, gust 5 mph, 77°F, rain "
             "0.00 in (1 h), rain 0.00 in (24 h), rain 0.00 in (since midnight), humidity 50%, "
             "990.0 hPa]",
             true},
            {"weather without position",
             "N0CALL>APRS:_10090556c220s004g005t-05r...p000h00b10132wRSW",
             "Weather @10090556 [wind 220° 4 mph, gust 5 mph, -5°F, rain 0.00 in (24 h), "
             "humidity 100%, 1013.2 hPa] \"wRSW\"",
             false},
            {"status with time stamp", "N0CALL>APRS:>092345zNet Control Center",
             "Status @092345z \"Net Control Center\"", true},
            {"message", "N0CALL>APRS::WU2Z     :Testing{003", "Message to WU2Z #003 \"Testing\"",
             true},
            {"ack", "N0CALL>APRS::WU2Z     :ack003", "Ack to WU2Z #003", true},
            {"reject", "N0CALL>APRS::WU2Z     :rej003", "Reject to WU2Z #003", true},
            {"bulletin", "N0CALL>APRS::BLN1     :Snow expected", "Bulletin \"Snow expected\"",
             true},
            {"capabilities", "N0CALL>APRS:<IGATE,MSG_CNT=30", "Capabilities \"IGATE,MSG_CNT=30\"",
             true},
            {"telemetry", "N0CALL>APRS:T#005,199,000,255,073,123,01101001",
             "Telemetry \"#005,199,000,255,073,123,01101001\"", true},
            {"anything else", "N0CALL>APRS:{Q1qwerty", "Other \"{Q1qwerty\"", true},
            {"cut in the latitude", "N0CALL>APRS:!4903.5", "Position missing: latitude", false},
            {"cut before the symbol code", "N0CALL>APRS:!4903.50N/07201.75W",
             "Position 49.05833,-72.02917 missing: symbol code", false},
            {"Mic-E to a destination that holds none", "N0CALL>APRS:`c52l\"{>/",
             "Mic-E /> 0.0kn 295deg missing: latitude (destination \"APRS\" is too short for "
             "Mic-E)",
             false},
            {"Mic-E cut short", "N0CALL>T2SP0W:`c52",
             "Mic-E In Service missing: longitude, speed, course and symbol (the field ends "
             "after 4 bytes)",
             false},
            {"object without state", "N0CALL>APRS:;LEAD",
             "Object LEAD missing: object name and state", false},
            {"empty information field", "N0CALL>APRS:", "Empty missing: information field", false},
        };
        for (const auto& [tag, monitor, expected, cross] : rows)
            QTest::newRow(tag) << QString::fromLatin1(monitor) << QString::fromUtf8(expected)
                               << cross;
    }
    void decode() {
        QFETCH(QString, monitor);
        QFETCH(QString, expected);
        QFETCH(bool, crossCheck);
        const Aprs::Frame frame = Aprs::DecodeFrame(Ax25FrameOf(monitor));
        QCOMPARE(frame.monitorText(), monitor);
        QVERIFY(frame.missing.isEmpty());
        const Aprs::Report report = Aprs::DecodeInfo(frame.info, frame.destination.call);
        QCOMPARE(describe(report), expected);
        // Cut anywhere, the field keeps the full packet's position or says what is missing.
        for (int n = 0; n < frame.info.size(); ++n) {
            const Aprs::Report cut = Aprs::DecodeInfo(frame.info.left(n), frame.destination.call);
            QVERIFY2(cut.latitude ? cut.latitude == report.latitude
                                  : !cut.missing.isEmpty() || !report.latitude,
                     qPrintable(QString::number(n)));
        }
        const QString program = QStandardPaths::findExecutable("decode_aprs");
        if (!crossCheck)
            return;
        if (program.isEmpty())
            QSKIP("decode_aprs (Debian's direwolf) is not installed");
        agreesWith(decodeAprs(program, monitor.toLatin1()), report);
        agreesWith(decodeAprs(program, Ax25FrameOf(monitor).toHex(' ')), report);
    }

    // The frame's addresses however the radio kept them: unused 0xFF slots, a path's
    // first bytes lost, no end bit, no control byte, and frames cut anywhere.
    void frames_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("monitor");
        QTest::addColumn<QString>("missing");
        const QByteArray head = Ax25FrameOf("N0CALL-9>APRS:").chopped(2);  // the end bit is set
        QByteArray open = head;
        open[13] = char(open[13] & ~1);
        const QByteArray wide = Ax25FrameOf("A>B,WIDE2-1:").mid(14, 7);
        QByteArray lost = wide;
        lost[0] = lost[1] = char(0xFF);
        const QByteArray tail = QByteArray("\x03\xF0>hi", 5);
        QTest::newRow("two unused slots")
            << open + QByteArray(14, char(0xFF)) + tail << "N0CALL-9>APRS:>hi"
            << "";
        QTest::newRow("end bit, then an unused slot")
            << head + QByteArray(7, char(0xFF)) + tail << "N0CALL-9>APRS:>hi"
            << "";
        QTest::newRow("a path address's first bytes lost")
            << open + lost + QByteArray(7, char(0xFF)) + tail << "N0CALL-9>APRS,##DE2-1:>hi"
            << "";
        QTest::newRow("no control byte") << head + QByteArray(">hi") << "N0CALL-9>APRS:>hi"
                                         << "control and protocol bytes (found 3e 68)";
        QTest::newRow("cut in the source") << head.left(10) << ""
                                           << "addresses (the packet holds 10 bytes)";
        QTest::newRow("cut in the path") << open + wide.left(3) << "N0CALL-9>APRS:"
                                         << "control and protocol bytes (found ae 92)";
    }
    void frames() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, monitor);
        QFETCH(QString, missing);
        const Aprs::Frame frame = Aprs::DecodeFrame(bytes);
        QCOMPARE(frame.missing.join("; "), missing);
        if (!monitor.isEmpty())
            QCOMPARE(frame.monitorText().left(monitor.size()), monitor);
    }

    void distance() {
        // New York to London, and the bearings a chart gives.
        const Aprs::Leg leg = Aprs::DistanceBearing(40.7128, -74.0060, 51.5074, -0.1278);
        QVERIFY(std::abs(leg.km - 5570.2) < 1.0);
        QVERIFY(std::abs(leg.bearing - 51.2) < 0.2);
        QCOMPARE(Aprs::DistanceBearing(0, 0, -1, 0).bearing, 180.0);
        QCOMPARE(Aprs::CompassPoint(359), QString("N"));
        QCOMPARE(Aprs::CompassPoint(247.5), QString("WSW"));
        QCOMPARE(Aprs::SymbolName('S', '#'), QString("Digipeater (overlay S)"));
    }
};

QTEST_GUILESS_MAIN(AprsTest)
#include "test_aprs_decode.moc"

#include <QRandomGenerator>
#include <QtTest>

#include "image/cloneimage.h"
#include "image/imagefile.h"
#include "memory/settings.h"
#include "sim/simradio.h"

using MemoryMap::Model;

// The radio-wide settings on images built the way the radios write them: each setting read,
// written, refused, exported and imported, against the bytes the facts give.
class SettingsTest : public QObject {
    Q_OBJECT

    // An unset callsign in spaces, message groups padded with '*', empty texts and paths,
    // 40°44'53"N 74°00'05"W with unknown sign bits, the factory SmartBeaconing profiles,
    // and every sum right.
    static QByteArray radioMade(Model model) {
        QByteArray image(CloneLayout::kImageSize, '\0');
        image.replace(0, 5, QByteArray("AH029AH29DAH041").mid(5 * int(model), 5));
        for (const SettingRow& row : SettingRows(model))
            for (int n = 0; n < row.field.count && row.kind >= SettingKind::Text; ++n)
                image.replace(row.field.at(n), row.field.width,
                              QByteArray(row.field.width, '\xFF'));
        for (const SettingRow& row : SettingRows(model))
            if (row.kind == SettingKind::DigiPath)
                for (int n = 0; n < row.field.count; ++n)
                    image[row.field.at(n) + 6] = 0;
        const int b2 = MemoryMap::SecondAprsBlock(model);
        image.replace(0xC0CE, 6, "      ");
        const char* groups[] = {"ALL", "CQ", "QST", "YAESU", "", "BLN", "BLN", "BLN"};
        for (int n = 0; n < 8; ++n)
            if (*groups[n])
                image.replace(b2 + 2 + 9 * n, 9, QByteArray(groups[n]).leftJustified(9, '*'));
        image.replace(0xC0DE, 8, QByteArray::fromHex("A4282C35A54A0005"));
        image.replace(b2 + 0x4F, 21,
                      QByteArray::fromHex("05461E781C1A1E031E1E781C0B1E020C1E781C071E"));
        image[0x04D1] = '\xF8';
        image[0x06B5] = '\xEC';
        image[0xC0DB] = 12;
        FixSums(image);
        return image;
    }
    static QByteArray randomImage(Model model, quint32 seed) {
        QRandomGenerator random(seed);
        QByteArray image(CloneLayout::kImageSize, '\0');
        for (char& c : image)
            c = char(random.bounded(256));
        return image.replace(0, 5, QByteArray("AH029AH29DAH041").mid(5 * int(model), 5));
    }

private slots:
    // Every setting written back as it reads changes no byte, and an unproven one refuses.
    void roundTrip() {
        for (Model model : {Model::VX8R, Model::VX8DR, Model::VX8GE})
            for (const QByteArray& original :
                 {radioMade(model), randomImage(model, 1), randomImage(model, 2)}) {
                QByteArray image = original;
                for (const SettingRow& row : SettingRows(model))
                    QCOMPARE(SetSetting(image, row, SettingText(image, row)), row.unproven);
                QVERIFY(image == original);
            }
        QCOMPARE(SettingRows(Model::VX8R).size(), 89);
        QCOMPARE(SettingRows(Model::VX8DR).size(), 117);
        QCOMPARE(SettingRows(Model::VX8GE).size(), 119);
        QStringList keys = AllSettingKeys();  // every model's, each once
        QCOMPARE(keys.removeDuplicates(), 0);
        for (Model model : {Model::VX8R, Model::VX8DR, Model::VX8GE})
            for (const SettingRow& row : SettingRows(model))
                QVERIFY(keys.contains(row.key));
        QCOMPARE(SettingText(radioMade(Model::VX8DR), *FindSetting(Model::VX8DR, "aprs.time_zone")),
                 "-07:00");
        // The simulated radio holds settings an owner may set again, and keeps its sums.
        const SimRadio sim;
        const QByteArray demo =
            sim.identity + sim.memory + char(sim.checksumOf(sim.identity, sim.memory));
        QVERIFY(StaleSums(demo).isEmpty());
        for (const SettingRow& row : SettingRows(Model::VX8R))
            QCOMPARE(SettingLocked(demo, row).isEmpty(), row.unproven.isEmpty());
    }

    // One edit each: the bytes at `at` after it, what it prints, and nothing else changed but
    // its own bytes, the sums of its record (master and backup) and the final checksum.
    void edits_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("printed");  // empty: refused, nothing written
        QTest::addColumn<int>("at");
        QTest::addColumn<QByteArray>("bytes");
        const int r = int(Model::VX8R), dr = int(Model::VX8DR), ge = int(Model::VX8GE);
        auto row = [](const char* name, int model, const char* key, const char* value,
                      const char* printed, int at = 0, const char* hex = "") {
            QTest::newRow(name) << model << QString(key) << QString::fromUtf8(value)
                                << QString::fromUtf8(printed) << at << QByteArray::fromHex(hex);
        };
        row("volume A (VFO A record)", dr, "scan.volume_a", "0", "0", 0x06B5, "E0");
        row("volume B (VFO B record)", r, "scan.volume_b", "31", "31", 0x07B5, "1F");
        row("index, R list", r, "aprs_tx.tx_delay", "300MS", "300 ms", 0xC0CB, "02");
        row("index, DR list", dr, "aprs_tx.tx_delay", "300 ms", "300 ms", 0xC0CB, "04");
        row("two bits", dr, "aprs_tx.beacon_mode", "smartbeaconing", "SmartBeaconing", 0xC0D7,
            "02");
        row("flash on R's B2", r, "aprs_rx.flash_message", "on", "on", 0xC1DC, "01");
        row("flash on DR's B2", dr, "aprs_rx.flash_message", "every 5s", "every 5 s", 0xC1FC, "0D");
        row("vibrate", ge, "aprs_rx.vibrate_group", "continuous", "continuous", 0xC23D, "09");
        row("time zone", ge, "aprs.time_zone", "+05:30", "+05:30", 0xC0DB, "25");
        row("number byte", ge, "smartbeacon.type_2_turn_time", "180", "180", 0xC1F4, "B4");
        row("text, R macro 5", r, "aprs_tx.macro_5", "QRV?", "QRV?", 0xC168, "515256 3FFF");
        row("text, DR macro 7", dr, "aprs_tx.macro_7", "73", "73", 0xC188, "3733FF");
        row("message group", r, "aprs_rx.message_group_2", "CQ", "CQ", 0xC183,
            "4351FFFFFFFFFFFFFF");
        row("table", dr, "display.opening_message", "HELLO", "HELLO", 0x0482, "110E151518FF");
        row("dtmf", r, "dtmf.memory_10", "12*# -a", "12*#-A", 0x09DA, "01020E0F100AFF");
        row("callsign and SSID", dr, "aprs.callsign", "kk7ds-7", "KK7DS", 0xC0CE, "4B4B374453FF07");
        row("digi path 8", r, "aprs_tx.digi_path_8", "wide1-1,WIDE2", "WIDE1-1,WIDE2", 0xC0EE,
            "5749444531FF015749444532FF00FFFF");
        row("digi path 5", dr, "aprs_tx.digi_path_5", "WIDE3-3", "WIDE3-3", 0xC20E,
            "5749444533FF03FFFFFFFFFFFF00");
        // Latitude and longitude in every form: the sign byte keeps its unknown bits.
        row("N dms", r, "aprs.latitude", "40°44'54\"N", "40°44'54\"N", 0xC0DE, "A4282C36");
        row("N spaced", r, "aprs.latitude", "40 44 54 n", "40°44'54\"N", 0xC0DE, "A4282C36");
        row("N decimal", r, "aprs.latitude", "40.748333", "40°44'54\"N", 0xC0DE, "A4282C36");
        row("S dms", dr, "aprs.latitude", "33°52'03\"S", "33°52'03\"S", 0xC0DE, "A5213403");
        row("S spaced", dr, "aprs.latitude", "33 52 3 S", "33°52'03\"S", 0xC0DE, "A5213403");
        row("S decimal", dr, "aprs.latitude", "-33.8675", "33°52'03\"S", 0xC0DE, "A5213403");
        row("W dms", ge, "aprs.longitude", "74°00'06\"W", "74°00'06\"W", 0xC0E2, "A54A0006");
        row("W spaced", ge, "aprs.longitude", "74 0 6W", "74°00'06\"W", 0xC0E2, "A54A0006");
        row("W decimal", ge, "aprs.longitude", "-74.001667", "74°00'06\"W", 0xC0E2, "A54A0006");
        row("E dms", ge, "aprs.longitude", "151°12'25\"E", "151°12'25\"E", 0xC0E2, "A4970C19");
        row("E spaced", ge, "aprs.longitude", "151 12 25 e", "151°12'25\"E", 0xC0E2, "A4970C19");
        row("E decimal", ge, "aprs.longitude", "151.207", "151°12'25\"E", 0xC0E2, "A4970C19");
        row("0°30'S", r, "aprs.latitude", "0°30'S", "0°30'00\"S", 0xC0DE, "A5001E00");
        row("0 30 0 S", r, "aprs.latitude", "0 30 0 S", "0°30'00\"S", 0xC0DE, "A5001E00");
        row("-0.5", r, "aprs.latitude", "-0.5", "0°30'00\"S", 0xC0DE, "A5001E00");
        row("0°0'0\"N", r, "aprs.latitude", "0°0'0\"N", "0°00'00\"N", 0xC0DE, "A4000000");
        row("0 0 0 W", r, "aprs.longitude", "0 0 0 W", "0°00'00\"W", 0xC0E2, "A5000000");
        row("-0", r, "aprs.longitude", "-0", "0°00'00\"W", 0xC0E2, "A5000000");
        row("0", r, "aprs.longitude", "0", "0°00'00\"E", 0xC0E2, "A4000000");
        row("decimal minutes", r, "aprs.latitude", "41°52.30'N", "41°52'18\"N", 0xC0DE, "A4293412");
        // Refused whole before a byte is written.
        row("volume past 5 bits", dr, "scan.volume_a", "32", "");
        row("contrast past 4 bits", r, "display.lcd_contrast", "20", "");
        row("DR-only delay on R", r, "aprs_tx.tx_delay", "150 ms", "");
        row("odd zone not offered", dr, "aprs.time_zone", "-12:30", "");
        row("SSID 16", dr, "aprs.callsign", "KK7DS-16", "");
        row("9 hops", dr, "aprs_tx.digi_path_8", "A,B,C,D,E,F,G,H,WIDE2-2", "");
        row("3 hops in a path of 2", dr, "aprs_tx.digi_path_4", "A,B,C", "");
        row("bad last hop", r, "aprs_tx.digi_path_8", "WIDE1-1,WIDE2-16", "");
        row("latitude 91", r, "aprs.latitude", "91 0 0 N", "");
        row("latitude E", r, "aprs.latitude", "10 0 0 E", "");
        row("minutes 60", r, "aprs.latitude", "10 60 0 N", "");
        row("no position", r, "aprs.longitude", "", "");
        row("1e300", r, "aprs.longitude", "1e300", "");
        row("90 before rounding", r, "aprs.latitude", "90.0001", "");
        row("empty hop first", dr, "aprs_tx.digi_path_8", ",WIDE2-1", "");
        row("empty hop between", dr, "aprs_tx.digi_path_8", "WIDE1-1, ,WIDE2-1", "");
        row("dtmf letter", r, "dtmf.memory_1", "12X", "");
        row("table tilde", r, "display.opening_message", "HI~", "");
        row("text too long", r, "aprs_tx.macro_1", "seventeen letters", "");
        row("unproven", ge, "aprs.user_symbol", "1", "");
        row("unproven on R", r, "aprs.symbol", "car", "");
    }
    void edits() {
        QFETCH(int, model);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, printed);
        QFETCH(int, at);
        QFETCH(QByteArray, bytes);
        const QByteArray before = radioMade(Model(model));
        QByteArray image = before;
        const SettingRow* row = FindSetting(Model(model), key);
        QVERIFY(row);
        QCOMPARE(SetSetting(image, *row, value).isEmpty(), !printed.isEmpty());
        MemoryMap::RefreshSumsFor(before, image);
        QVERIFY(!printed.isEmpty() || image == before);
        if (printed.isEmpty())
            return;
        QCOMPARE(SettingText(image, *row), printed);
        QCOMPARE(image.mid(at, bytes.size()).toHex(), bytes.toHex());
        QVERIFY(StaleSums(image).isEmpty());
        int stray = -1;  // a byte changed outside the field and the sums that cover it
        for (int i = 0; i < image.size() && stray < 0; ++i) {
            const auto in = [&](int first, int size) { return i >= first && i < first + size; };
            const bool ok = in(at, bytes.size()) || i == MemoryMap::kTotalSumAt ||
                            std::any_of(std::begin(MemoryMap::kRecordPairs),
                                        std::end(MemoryMap::kRecordPairs), [&](const auto& p) {
                                            return (i == p.masterSum() && at >= p.master &&
                                                    at < p.masterSum()) ||
                                                   in(p.backup, p.size);
                                        });
            stray = image[i] == before[i] || ok ? -1 : i;
        }
        QCOMPARE(stray, -1);
        // Sums kept stale stay off by as much.
        QByteArray stale = before;
        for (int at : {0x06C9, 0x0849, MemoryMap::kTotalSumAt})
            stale[at] = char(stale[at] + at % 5);
        const QList<ImageSum> was = ImageSums(stale);
        const QByteArray wasStale = stale;
        QCOMPARE(SetSetting(stale, *row, value), QString());
        MemoryMap::RefreshSumsFor(wasStale, stale, true);
        const QList<ImageSum> now = ImageSums(stale);
        for (qsizetype i = 0; i < now.size(); ++i)
            QCOMPARE(quint8(now[i].stored - now[i].actual), quint8(was[i].stored - was[i].actual));
    }

    // Bytes a radio stored in the opening message: the line the settings file prints for
    // them, and the bytes that file gives a radio-made image.
    void stored_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("copied");
        auto row = [](const char* name, const char* hex, const char* line, const char* copied) {
            QTest::newRow(name) << QByteArray::fromHex(hex)
                                << "display.opening_message = " + QString(line)
                                << QByteArray::fromHex(copied);
        };
        row("bit 7 ignored", "918E159518", "HELLO\n", "110E151518FF");
        row("no character", "115AD20E", "H\\x5A\\xD2E\n", "115AD20EFF");
        row("cut by a pad", "11FF0E", "H (a pad byte cuts the text; its bytes: 11 FF 0E FF", "FF");
    }
    void stored() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, line);
        QFETCH(QByteArray, copied);
        QByteArray image = radioMade(Model::VX8DR), other = image;
        const int at = FindSetting(Model::VX8DR, "display.opening_message")->field.at();
        const QString text = SettingsFileText(image.replace(at, bytes.size(), bytes));
        QVERIFY2(text.contains(line), qPrintable(text));
        QStringList refusals;
        QCOMPARE(ApplySettings(other, ParseSettingsFile(text, &refusals)).refused, QStringList());
        QCOMPARE(other.mid(at, copied.size()).toHex(), copied.toHex());
    }

    // Assignments to a VX-8DR from a settings file and --set: the refusals (each the start of
    // one) and a setting's value after ("key=value").
    void applied_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("set");
        QTest::addColumn<QStringList>("refused");
        QTest::addColumn<QString>("after");
        auto row = [](const char* name, const char* file, const char* set,
                      const QStringList& refused, const char* after) {
            QTest::newRow(name) << QString(file) << QString(set) << refused << QString(after);
        };
        row("speeds cross", "smartbeacon.type_1_low_speed = 25", "smartbeacon.type_1_high_speed=20",
            {"smartbeacon.type_1_low_speed: the low", "smartbeacon.type_1_high_speed: the low"},
            "smartbeacon.type_1_low_speed=5");
        row("--set a key it lacks", "", "aprs_rx.vibrate_group=off",
            {"aprs_rx.vibrate_group: a VX-8DR has no such setting"}, "aprs.ssid=0");
        row("CR line ends", "scan.squelch_a = 3\raprs_tx.macro_1 = A\r\rx\r", "", {"line 4: not"},
            "scan.squelch_a=3");
        row("control escaped", "", "scan.squelch_a=\x1b[2J\r",
            {"scan.squelch_a: \"\\x1b[2J\\r\" is not a number"}, "scan.squelch_a=0");
        row("dtmf letter", "", "dtmf.memory_1=12X", {"dtmf.memory_1: \"X\" is no DTMF digit"},
            "dtmf.memory_1=");
        row("dtmf 17 digits", "", "dtmf.memory_1=1234 5678 9012 3456 7",
            {"dtmf.memory_1: 17 digits: it holds at most 16"}, "dtmf.memory_1=");
        row("a hop left empty", "", "aprs_tx.digi_path_4=,WIDE2-1",
            {"aprs_tx.digi_path_4: hop 1 is empty before another hop"}, "aprs_tx.digi_path_4=");
        row("quoted, blanks kept", "display.opening_message = \"  HI\"", "", {},
            "display.opening_message=  HI");
        row("table character", "", "display.opening_message=A~B",
            {"display.opening_message: \"~\" is not in"}, "display.opening_message=");
    }
    void applied() {
        QFETCH(QString, file);
        QFETCH(QString, set);
        QFETCH(QStringList, refused);
        QFETCH(QString, after);
        QByteArray image = radioMade(Model::VX8DR);
        QStringList lines;
        QList<SettingAssignment> assignments = ParseSettingsFile(file, &lines);
        if (!set.isEmpty())
            assignments.append({0, set.section('=', 0, 0), set.section('=', 1)});
        lines << ApplySettings(image, assignments).refused;
        QCOMPARE(lines.size(), refused.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY2(lines[i].startsWith(refused[i]), qPrintable(lines[i]));
        const SettingRow& row = *FindSetting(Model::VX8DR, after.section('=', 0, 0));
        QCOMPARE(SettingText(image, row), after.section('=', 1));
        // A field the image is too short to hold is refused, never taken as unchanged.
        QByteArray cut = image.left(row.field.at());
        QVERIFY(!SetSetting(cut, row, "1").isEmpty());
    }

    // The lowest and the highest value each setting offers, written and read back; no list
    // offers more values than its bits hold.
    void extremes() {
        for (Model model : {Model::VX8R, Model::VX8DR, Model::VX8GE})
            for (const SettingRow& row : SettingRows(model)) {
                QVERIFY(row.kind != SettingKind::List || !row.second ||
                        row.labels.size() <= 1 << (row.field.width + 1));
                QVERIFY(row.kind != SettingKind::List || row.second ||
                        row.labels.size() <= 1 << row.field.width);
                QStringList offered = row.labels;
                offered.removeAll(QString());
                const QString most = QString(row.field.codec == MemoryMap::Codec::Dtmf ? "#" : "Z")
                                         .repeated(row.field.width);
                QStringList values = {QString(), most};
                if (row.kind == SettingKind::Number)
                    values = {QString::number(row.low), QString::number(row.high)};
                if (row.kind == SettingKind::List)
                    values = {offered.first(), offered.last()};
                if (row.kind == SettingKind::Callsign)
                    values = {"", "ZZZZZZ"};
                if (row.kind == SettingKind::Position)
                    values = {"0°00'00\"" + offered[0], (offered[0] == "N" ? "90" : "180") +
                                                            QString("°00'00\"") + offered[1]};
                if (row.kind == SettingKind::DigiPath)
                    values = {"", QStringList(row.field.count, "ZZZZZZ-15").join(',')};
                for (const QString& value : values) {
                    QByteArray image = radioMade(model);
                    if (!row.unproven.isEmpty())
                        break;
                    QCOMPARE(SetSetting(image, row, value), QString());
                    QCOMPARE(SettingText(image, row), value);
                }
            }
    }

    // A settings file printed from one image and read into another gives it the same
    // settings bytes; into a model without some of them, they are named and skipped.
    void settingsFile() {
        QByteArray a = randomImage(Model::VX8DR, 3), b = radioMade(Model::VX8DR);
        const QString text = SettingsFileText(a);
        QVERIFY(text.startsWith("# Quorlink settings of a VX-8DR\n"));
        QStringList refusals;
        const auto assignments = ParseSettingsFile(text + "\nno equals sign\n", &refusals);
        QCOMPARE(refusals,
                 QStringList{QString("line %1: not \"key = value\"").arg(text.count('\n') + 2)});
        QVERIFY(SettingsComparison(a, b).size() > 50);
        const QByteArray made = b;
        const SettingsApplied done = ApplySettings(b, assignments);
        MemoryMap::RefreshSumsFor(made, b);
        QCOMPARE(done.refused + done.skipped, QStringList());
        for (const SettingRow& row : SettingRows(Model::VX8DR))
            if (SettingLocked(a, row).isEmpty())
                QCOMPARE(SettingText(b, row), SettingText(a, row));
        QVERIFY(StaleSums(b).isEmpty());
        QByteArray r = radioMade(Model::VX8R);
        const SettingsApplied intoR =
            ApplySettings(r, ParseSettingsFile(SettingsFileText(b), &refusals));
        QCOMPARE(intoR.skipped.size(), 28);
        QCOMPARE(intoR.skipped.filter(": smartbeacon.profile: a VX-8R has no such setting; skipped")
                     .size(),
                 1);
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "test_memory_settings.moc"

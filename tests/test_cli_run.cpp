#include <QTemporaryDir>
#include <QtTest>

#include "cli/channelcommands.h"
#include "cli/commandline.h"
#include "core/config.h"
#include "image/imagefile.h"
#include "memory/bankedit.h"
#include "memory/channeledit.h"
#include "memory/lists.h"
#include "sim/simradio.h"
#include "support/captured.h"
#include "support/golden.h"
#include "support/testenv.h"

// The command line run in this process, without a radio: what each wrong use, refused
// file or missing device answers in its exit code (0 done, 1 failed or different, 2 wrong
// usage, 3 a file refused), and all it printed, against golden/cli.txt.
class CliRunTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    const QMap<QString, QStringList> golden_ = readGolden("cli.txt");
    QString seen_;  // what every row printed, in the golden file's form

private slots:
    void initTestCase() { qunsetenv("COLUMNS"); }  // tables as wide as in a pipe
    void cleanupTestCase() { writeGoldenOut(seen_); }

    void exitCodes_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exit");
        const QString good = dir_.filePath("good.bin"), other = dir_.filePath("other.bin");
        const QString none = dir_.filePath("none.bin");
        const QString config = dir_.filePath("q.ini");
        auto row = [](const char* name, const QStringList& args, int exit) {
            QTest::newRow(name) << args << exit;
        };
        for (const char* c : {"--help", "read", "write", "info", "compare", "channels", "import",
                              "settings", "stations", "ports"})
            QTest::newRow(qPrintable(QStringLiteral("help %1").arg(c)))
                << (c[0] == '-' ? QStringList{c} : QStringList{c, "--help"}) << 0;
        row("no sub-command", {}, 2);
        row("unknown sub-command", {"fetch"}, 2);
        row("unknown option", {"info", "--hex", good}, 2);
        row("missing FILE", {"read"}, 2);
        row("two links", {"read", "--port", "1", "--device", "/x", "n"}, 2);
        row("COM33", {"read", "--port", "COM33", "n"}, 2);
        row("file refused", {"info", "/nonexistent.img"}, 3);
        row("info", {"info", good}, 0);
        row("info VX-8GE", {"info", dir_.filePath("ge.bin")}, 0);
        row("same", {"compare", good, good}, 0);
        row("different", {"compare", good, other}, 1);
        row("channels differ", {"compare", "--channels", good, other}, 1);
        row("no such list", {"channels", "--list", "vfo", good}, 2);
        row("pms list", {"channels", "--list", "pms", good}, 0);
        row("channels", {"channels", good}, 0);
        row("channels csv", {"channels", "--csv", good}, 0);
        row("skip list csv", {"channels", "--list", "skip", "--csv", good}, 0);
        row("info json", {"info", "--json", good}, 0);
        row("pdf with csv", {"channels", "--csv", "--pdf", dir_.filePath("n"), good}, 2);
        row("pdf into no folder", {"channels", "--pdf", "/nonexistent/n.pdf", good}, 1);
        // Outputs: an empty name, an existing file without --force, a file read, never.
        const QString csv = dir_.filePath("ch.csv"), pdf = dir_.filePath("old.pdf"),
                      masked = dir_.filePath("masked.csv");
        row("empty output", {"import", "--output", "", good, csv}, 2);
        row("empty pdf", {"channels", "--pdf=", good}, 2);
        row("empty config", {"ports", "--config", ""}, 2);
        row("empty FILE", {"info", ""}, 2);
        row("pdf exists", {"channels", "--pdf", pdf, good}, 3);
        row("output exists", {"import", "--output", other, good, csv}, 3);
        row("pdf is FILE", {"channels", "--force", "--pdf", good, good}, 3);
        row("pdf links FILE", {"channels", "--force", "--pdf", dir_.filePath("l.bin"), good}, 3);
        row("pdf hard-links FILE", {"channels", "--force", "--pdf", dir_.filePath("h.bin"), good},
            3);
        row("output is CSV", {"import", "--force", "--output", csv, good, csv}, 3);
        row("stored over masked", {"import", "--output", dir_.filePath("m.img"), good, masked}, 0);
        row("replace keeps masked",
            {"import", "--replace", "--output", dir_.filePath("r.img"), good, csv}, 0);
        row("pms import: pairs named",
            {"import", "--list", "pms", "--output", dir_.filePath("p.img"), good,
             dir_.filePath("pms.csv")},
            0);
        row("pms read: pairs named",
            {"channels", "--list", "pms", "--csv", dir_.filePath("pms.bin")}, 0);
        // Settings: printed, set, imported, compared; a refusal writes nothing.
        const QString club = dir_.filePath("club.txt"), out = dir_.filePath("set.img"),
                      stale = dir_.filePath("stale.img");
        row("settings", {"settings", good}, 0);
        row("settings VX-8GE", {"settings", dir_.filePath("ge.bin")}, 0);
        row("set unproven",
            {"settings", good, "--set", "aprs.user_symbol=1", "--set", "x", "--set", "y=1"}, 3);
        row("set bad value", {"settings", "--output", "n", good, "--set", "scan.squelch_a=16"}, 3);
        row("import skips a key", {"settings", good, "--import", club, "--output", out}, 0);
        row("import bad line", {"settings", good, "--import", other, "--force", "--output", out},
            3);
        row("compare settings", {"compare", "--settings", good, other}, 0);
        row("compare both", {"compare", "--settings", "--channels", good, other}, 1);
        row("checksum alike", {"compare", "--settings", "--channels", good, stale}, 1);
        row("set a key the R lacks", {"settings", good, "--set", "smartbeacon.profile=off"}, 3);
        row("settings file too large", {"settings", good, "--import", csv + ".big"}, 3);
        row("stale sums told",
            {"settings", "--force", "--output", out, stale, "--set", "scan.squelch_a=1"}, 0);
        row("option escaped", {"channels", "--list", "a\x1b[2J", good}, 2);
        // Appending, banks and directories: a refusal writes nothing ("n" stays absent).
        const QString three = dir_.filePath("three.csv"), rb = dir_.filePath("rb.json");
        const QString n = dir_.filePath("n");
        row("too few free slots", {"import", "--append=899", "--output", n, good, three}, 3);
        row("append=0", {"import", "--append=0", "--output", n, good, three}, 2);
        row("bank 25", {"import", "--bank", "25", "--output", n, good, three}, 2);
        row("bank 0", {"import", "--bank", "0", "--output", n, good, three}, 2);
        row("bank of pms", {"import", "--bank", "2", "--list", "pms", good, three}, 2);
        row("within alone", {"import", "--within", "9", good, rb}, 2);
        row("near a CSV", {"import", "--near", "1,2", "--output", n, good, three}, 2);
        row("near radio",
            {"import", "--near", "radio", "--within", "5mi", "--output", dir_.filePath("rb.img"),
             good, rb},
            0);
        row("pdf --force", {"channels", "--force", "--pocket", "--pdf", pdf, good}, 0);
        // Heard stations: the table, CSV from a point, the formats one at a time, no beacons.
        row("stations", {"stations", good}, 0);
        row("stations csv", {"stations", "--csv", "--near", "40.7,-74", good}, 0);
        row("stations gpx and kml", {"stations", "--gpx", "--kml", good}, 2);
        row("stations gpx", {"stations", "--gpx", good}, 0);
        row("stations kml", {"stations", "--kml", good}, 0);
        row("stations near nowhere", {"stations", "--near", "north", good}, 2);
        row("stations near no radio", {"stations", "--near", "radio", none}, 3);
        row("stations none", {"stations", "--kml", none}, 0);
        row("stations output exists", {"stations", "--output", other, good}, 3);
        // COM32 is mapped to a device that is not there: the read fails, it is no usage error.
        row("com32 missing", {"read", "--config", config, "--port", "com32", dir_.filePath("n")},
            1);
        row("device missing",
            {"write", "--config", config, "--device", "/nonexistent/tty", "--yes", good}, 1);
    }
    void exitCodes() {
        QFETCH(QStringList, args);
        QFETCH(int, exit);
        const QString good = dir_.filePath("good.bin");
        const SimRadio sim;
        QByteArray image =
            sim.identity + sim.memory + char(SimRadio::checksumOf(sim.identity, sim.memory));
        QVERIFY(SaveImageFile(good, image, nullptr));
        QVERIFY(SaveImageFile(dir_.filePath("ge.bin"), QByteArray(image).replace(0, 5, "AH041"),
                              nullptr));
        QByteArray pms = image;
        ClearChannel(pms, 1004);
        pms[65226] = char(SimRadio::checksumOf(sim.identity, pms.mid(10, 65216)));
        QVERIFY(SaveImageFile(dir_.filePath("pms.bin"), pms, nullptr));
        QVERIFY(SaveImageFile(dir_.filePath("none.bin"),
                              SimRadio::identityAH029() + QByteArray(65217, '\xFF'), nullptr));
        QVERIFY(writeBytes(dir_.filePath("ch.csv.big"), QByteArray(4 << 20, '#') + '\n'));
        image[0x064A] = char(image[0x064A] + 1);  // VFO A's record, its sum left stale
        QVERIFY(SaveImageFile(dir_.filePath("stale.img"), image, nullptr));
        image[0x064A] = char(image[0x064A] - 1);
        image[0x100] = char(image[0x100] + 1);
        image[65226] = char(image[65226] + 1);
        QVERIFY(SaveImageFile(dir_.filePath("other.bin"), image, nullptr));
        ConfigStore(dir_.filePath("q.ini")).set("Ports", "COM32", "/nonexistent/ttyACM7");
        for (const char* name : {"h.bin", "l.bin"})
            QFile::remove(dir_.filePath(name));
        QVERIFY(QFile::link("good.bin", dir_.filePath("l.bin")));
        QVERIFY(::link(qPrintable(good), qPrintable(dir_.filePath("h.bin"))) == 0);
        QVERIFY(writeBytes(dir_.filePath("ch.csv"), "Location,Frequency\n1,145.5\n"));
        QVERIFY(writeBytes(dir_.filePath("masked.csv"), "Location,Frequency\n20,145.5\n"));
        QVERIFY(writeBytes(dir_.filePath("pms.csv"), "Location,Frequency\n1,150\n4,\n99,430\n"));
        QVERIFY(writeBytes(dir_.filePath("old.pdf"), "old"));
        QVERIFY(writeBytes(dir_.filePath("three.csv"),
                           "Location,Frequency\n0,145.5\n0,145.6\n"
                           "0,145.7\n"));
        const char* entry = R"({"Frequency":"%1","Lat":"%2","Long":"-74.0","Callsign":"K2X",)"
                            R"("Operational Status":"On-air","FM Analog":"Yes"})";
        QVERIFY(
            writeBytes(dir_.filePath("rb.json"), QString(R"({"count":"2","results":[%1,%2]})")
                                                     .arg(QString(entry).arg("146.61").arg("40.75"),
                                                          QString(entry).arg("146.67").arg("41.5"))
                                                     .toUtf8()));
        QVERIFY(writeBytes(dir_.filePath("club.txt"), "\nsmartbeacon.profile = off\n"));
        QHash<QString, QByteArray> kept;
        for (const char* name : {"good.bin", "other.bin", "ch.csv"})
            kept[name] = fileBytes(dir_.filePath(name));
        QList<QByteArray> bytes{"quorlink"};
        for (const QString& a : args)
            bytes << a.toLocal8Bit();
        std::vector<char*> argv;
        for (QByteArray& b : bytes)
            argv.push_back(b.data());
        int code = -1;
        const QString output =
            captured([&] { code = RunCommandLine(int(argv.size()), argv.data()); });
        QCOMPARE(code, exit);
        // All that it printed, word for word, against the golden file.
        const QStringList lines =
            QString(output).replace(dir_.path(), "DIR").split('\n', Qt::SkipEmptyParts);
        seen_ += "== " + QString(QTest::currentDataTag()) + '\n' + lines.join('\n') + "\n\n";
        QCOMPARE(lines, golden_.value(QTest::currentDataTag()));
        QVERIFY(!QFile::exists(dir_.filePath("n")));
        for (auto it = kept.cbegin(); it != kept.cend(); ++it)
            QVERIFY2(fileBytes(dir_.filePath(it.key())) == it.value(), qPrintable(it.key()));
    }

    // Another image's channels keep their banks in their own places; appended, they join none.
    void importImageBanks() {
        const SimRadio sim;
        QByteArray image = sim.identity + sim.memory + '\0';
        FixSums(image);
        const QString other = dir_.filePath("banked.bin"), into = dir_.filePath("into.bin");
        QVERIFY(SaveImageFile(other, image, nullptr));
        const QList<int> banked = DecodeBank(image, 1).members;
        QVERIFY(banked.contains(1) && RemoveFromBank(image, 1, 1).isEmpty());
        FixSums(image);
        QVERIFY(SaveImageFile(into, image, nullptr));
        for (const int append : {0, 800}) {
            ImportOptions options;
            options.append = append;
            const QString out = dir_.filePath(QString("banks%1.bin").arg(append));
            QCOMPARE(ImportChannels(into, other, out, options).exit, 0);
            LoadedImage result;
            QVERIFY(LoadImageFile(out, result, nullptr));
            QCOMPARE(DecodeBank(result.image, 1).members,
                     append ? DecodeBank(image, 1).members : banked);
        }
    }

    // The windows keep their own options and one file to open; anything else, an empty file
    // name among them, is the command line's to answer.
    void windowsOrCommandLine() {
        const std::pair<QStringList, bool> rows[] = {
            {{"--config=q.ini", "a.img"}, false},
            {{"--config", "q.ini"}, false},
            {{"--settings", "q.ini", "--demo=VX-8GE"}, false},
            {{"--settings=q.ini"}, false},
            {{"--config="}, true},
            {{"--config"}, true},
            {{"a.img", "b.img"}, true},
            {{"--demo", "read"}, true}};
        for (const auto& [args, commandLine] : rows) {
            QList<QByteArray> bytes = {"quorlink"};
            QList<char*> argv;
            for (const QString& a : args)
                bytes << a.toLocal8Bit();
            for (QByteArray& b : bytes)
                argv << b.data();
            QVERIFY2(IsCommandLine(int(argv.size()), argv.data()) == commandLine,
                     qPrintable(args.join(' ')));
        }
    }

    // The completion offers the names --list takes, and the manual names each.
    void packagingNamesTheLists() {
        QFile completion(QStringLiteral(QUORLINK_SOURCE_DIR "/packaging/quorlink.bash-completion"));
        QFile manual(QStringLiteral(QUORLINK_SOURCE_DIR "/packaging/quorlink.1"));
        QVERIFY(completion.open(QIODevice::ReadOnly) && manual.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(completion.readAll());
        const QRegularExpression offered("--list\\)\\s*COMPREPLY=\\(\\$\\(compgen -W \"([^\"]*)\"");
        QCOMPARE(offered.match(text).captured(1).split(' '), MemoryListNames());
        const QString page = QString::fromUtf8(manual.readAll());
        for (const QString& name : MemoryListNames())
            QVERIFY2(page.contains(".B " + name + '\n'), qPrintable(name));
    }
};

QTEST_APPLESS_MAIN(CliRunTest)
#include "test_cli_run.moc"

#include <QTemporaryDir>
#include <QtTest>

#include "cli/commandline.h"
#include "clone/imagefile.h"
#include "core/settings.h"
#include "sim/simradio.h"

// The command line run in this process, without a radio: what each wrong use, refused
// file or missing device answers in its exit code (0 done, 1 failed or different, 2 wrong
// usage, 3 a file refused).
class CliRunTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void exitCodes_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exit");
        const QString good = dir_.filePath("good.bin"), other = dir_.filePath("other.bin");
        const QString settings = dir_.filePath("q.ini");
        QTest::newRow("help") << QStringList{"write", "--help"} << 0;
        QTest::newRow("no sub-command") << QStringList{} << 2;
        QTest::newRow("unknown sub-command") << QStringList{"fetch"} << 2;
        QTest::newRow("unknown option") << QStringList{"info", "--hex", good} << 2;
        QTest::newRow("missing FILE") << QStringList{"read"} << 2;
        QTest::newRow("two links")
            << QStringList{"read", "--port", "1", "--device", "/x", "n"} << 2;
        QTest::newRow("COM33") << QStringList{"read", "--port", "COM33", "n"} << 2;
        QTest::newRow("file refused") << QStringList{"info", "/nonexistent.img"} << 3;
        QTest::newRow("info") << QStringList{"info", good} << 0;
        QTest::newRow("same") << QStringList{"compare", good, good} << 0;
        QTest::newRow("different") << QStringList{"compare", good, other} << 1;
        QTest::newRow("channels differ") << QStringList{"compare", "--channels", good, other} << 1;
        // COM32 is mapped to a device that is not there: the read fails, it is no usage error.
        QTest::newRow("com32 missing")
            << QStringList{"read", "--settings", settings, "--port", "com32", dir_.filePath("n")}
            << 1;
        QTest::newRow("device missing")
            << QStringList{"write", "--settings", settings, "--device", "/nonexistent/tty",
                           "--yes", good}
            << 1;
    }
    void exitCodes() {
        QFETCH(QStringList, args);
        QFETCH(int, exit);
        const SimRadio sim;
        QByteArray image =
            sim.identity + sim.memory + char(SimRadio::checksumOf(sim.identity, sim.memory));
        QVERIFY(SaveImageFile(dir_.filePath("good.bin"), image, nullptr));
        image[0x100] = char(image[0x100] + 1);
        image[65226] = char(image[65226] + 1);
        QVERIFY(SaveImageFile(dir_.filePath("other.bin"), image, nullptr));
        SettingsStore(dir_.filePath("q.ini")).set("Ports", "COM32", "/nonexistent/ttyACM7");
        QList<QByteArray> bytes{"quorlink"};
        for (const QString& a : args)
            bytes << a.toLocal8Bit();
        std::vector<char*> argv;
        for (QByteArray& b : bytes)
            argv.push_back(b.data());
        QCOMPARE(RunCommandLine(int(argv.size()), argv.data()), exit);
        QVERIFY(!QFile::exists(dir_.filePath("n")));
    }
};

QTEST_APPLESS_MAIN(CliRunTest)
#include "test_cli_run.moc"

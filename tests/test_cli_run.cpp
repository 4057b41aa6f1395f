#include <QTemporaryDir>
#include <QtTest>

#include "cli/commandline.h"
#include "clone/imagefile.h"
#include "core/settings.h"
#include "sim/simradio.h"
#include "support/captured.h"

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
        QTest::addColumn<QString>("said");  // a part of what it printed
        const QString good = dir_.filePath("good.bin"), other = dir_.filePath("other.bin");
        const QString settings = dir_.filePath("q.ini");
        auto row = [](const char* name, const QStringList& args, int exit, const char* said = "") {
            QTest::newRow(name) << args << exit << QString(said);
        };
        row("help", {"write", "--help"}, 0, "\n  -h, --help ");
        row("no sub-command", {}, 2);
        row("unknown sub-command", {"fetch"}, 2);
        row("unknown option", {"info", "--hex", good}, 2);
        row("missing FILE", {"read"}, 2);
        row("two links", {"read", "--port", "1", "--device", "/x", "n"}, 2);
        row("COM33", {"read", "--port", "COM33", "n"}, 2);
        row("file refused", {"info", "/nonexistent.img"}, 3);
        row("info", {"info", good}, 0);
        row("same", {"compare", good, good}, 0);
        row("different", {"compare", good, other}, 1);
        row("channels differ", {"compare", "--channels", good, other}, 1);
        row("pdf with csv", {"channels", "--csv", "--pdf", dir_.filePath("n"), good}, 2);
        row("pdf into no folder", {"channels", "--pdf", "/nonexistent/n.pdf", good}, 1,
            "quorlink: Cannot save \"/nonexistent/n.pdf\": ");
        // COM32 is mapped to a device that is not there: the read fails, it is no usage error.
        row("com32 missing",
            {"read", "--settings", settings, "--port", "com32", dir_.filePath("n")}, 1,
            "quorlink: read failed: ");
        row("device missing",
            {"write", "--settings", settings, "--device", "/nonexistent/tty", "--yes", good}, 1);
    }
    void exitCodes() {
        QFETCH(QStringList, args);
        QFETCH(int, exit);
        QFETCH(QString, said);
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
        int code = -1;
        const QString output =
            captured([&] { code = RunCommandLine(int(argv.size()), argv.data()); });
        QCOMPARE(code, exit);
        QVERIFY2(output.contains(said), qPrintable(output));
        QVERIFY(!QFile::exists(dir_.filePath("n")));
    }
};

QTEST_APPLESS_MAIN(CliRunTest)
#include "test_cli_run.moc"

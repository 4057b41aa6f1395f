#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include "clone/imagefile.h"
#include "core/settings.h"
#include "sim/simradio.h"
#include "support/radioprocess.h"

// The quorlink program's sub-commands as a script runs them: no display, the radio program
// on a pseudo-terminal, the answers in the exit code and the printed lines.

namespace {

struct Run {
    int exit = -1;
    QString out, err;
};

// Runs quorlink with no display; presses [BAND] on `radio` when quorlink asks for it, and
// calls `during` once the transfer shows progress.
Run quorlink(const QStringList& args, RadioProcess* radio = nullptr,
             std::function<void(QProcess&)> during = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    env.insert("DISPLAY", QString());
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("QUORLINK_APP"), args);
    Run r;
    bool asked = false;
    QDeadlineTimer deadline(120000);
    while (p.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        p.waitForReadyRead(100);
        r.out += QString::fromLocal8Bit(p.readAllStandardOutput());
        r.err += QString::fromLocal8Bit(p.readAllStandardError());
        if (radio && !asked && r.err.contains(QStringLiteral("Press [BAND]"))) {
            asked = true;
            radio->command("band");
        }
        if (during && r.err.contains(QStringLiteral("block "))) {
            during(p);
            during = {};
        }
    }
    if (!p.waitForFinished(5000))
        p.kill();
    r.out += QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err += QString::fromLocal8Bit(p.readAllStandardError());
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

// What the simulated radio sends: identity, memory and checksum.
QByteArray radioImage() {
    const SimRadio sim;
    return sim.identity + sim.memory + char(SimRadio::checksumOf(sim.identity, sim.memory));
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class E2eCliTest : public QObject {
    Q_OBJECT
private slots:
    // Back up at line speed, then look and compare: the files are what the radio sent.
    void readInfoCompare() {
        QTemporaryDir dir;
        RadioProcess radio;
        QVERIFY2(!radio.start().isEmpty(), qPrintable(radio.error()));
        const QString settings = dir.filePath("q.ini");
        const QString backup = dir.filePath("radio.bin");
        SettingsStore(settings).set("Backups", "Folder", dir.filePath("backups"));

        Run r =
            quorlink({"read", "--settings", settings, "--device", radio.path(), backup}, &radio);
        QVERIFY2(r.exit == 0, qPrintable(r.err));
        const QByteArray image = radioImage();
        QVERIFY(fileBytes(backup) == image);
        QVERIFY(r.out.startsWith("Read VX-8R/E (identity 4148303239"));
        const QStringList backups = QDir(dir.filePath("backups")).entryList(QDir::Files);
        QCOMPARE(backups.size(), 1);
        QVERIFY(fileBytes(dir.filePath("backups/" + backups[0])).startsWith(image));
        QVERIFY(r.out.contains("Backup: " + dir.filePath("backups/" + backups[0])));

        r = quorlink({"info", backup});
        QCOMPARE(r.exit, 0);
        QCOMPARE(r.out.count(" good"), 5);
        // One byte changed inside the first region: its sum and the checksum go stale.
        QByteArray edited = image;
        edited[0x0700] = char(edited[0x0700] ^ 0x5A);
        const QString editedPath = dir.filePath("edited.bin");
        QVERIFY(SaveImageFile(editedPath, edited, nullptr));
        r = quorlink({"compare", backup, editedPath});
        QCOMPARE(r.exit, 1);
        QCOMPARE(r.out, "offset 0x00700  length     1  block 28\n");
        r = quorlink(
            {"write", "--settings", settings, "--device", radio.path(), "--yes", editedPath});
        QCOMPARE(r.exit, 3);
        QVERIFY(r.err.contains("--fix-sums"));
    }

    // Every other way out, each with its exit code and its one line.
    void exitCodes_data() {
        QTest::addColumn<QStringList>("radioArgs");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("says");
        const QStringList none;
        QTest::newRow("version") << none << QStringList{"--version"} << 0 << "Quorlink 1.0.6";
        QTest::newRow("wrong identity") << QStringList{"--identity", "41483033300001000000"}
                                        << QStringList{"read"} << 1 << "wrong identity";
        QTest::newRow("no ACK") << QStringList{"--fault", "nak"} << QStringList{"write", "--yes"}
                                << 1 << "no ACK";
    }
    void exitCodes() {
        QFETCH(QStringList, radioArgs);
        QFETCH(QStringList, args);
        QFETCH(int, exit);
        QFETCH(QString, says);
        QTemporaryDir dir;
        std::unique_ptr<RadioProcess> radio;
        if (!radioArgs.isEmpty()) {
            radio = std::make_unique<RadioProcess>(radioArgs);
            QVERIFY2(!radio->start().isEmpty(), qPrintable(radio->error()));
            QVERIFY(SaveImageFile(dir.filePath("good.bin"), radioImage(), nullptr));
            SettingsStore(dir.filePath("q.ini")).set("Backups", "Folder", dir.path());
            args << "--settings" << dir.filePath("q.ini") << "--device" << radio->path()
                 << dir.filePath(args.first() == "read" ? "new.bin" : "good.bin");
        }
        const Run r = quorlink(args, radio.get());
        QCOMPARE(r.exit, exit);
        QVERIFY2((r.out + r.err).contains(says), qPrintable(r.out + r.err));
        QVERIFY(!QFile::exists(dir.filePath("new.bin")));
    }

    // Ctrl-C mid-read: exit 130, no file, and the port free again for the next run.
    void interruptedRead() {
        QTemporaryDir dir;
        RadioProcess radio;
        QVERIFY2(!radio.start().isEmpty(), qPrintable(radio.error()));
        const QString file = dir.filePath("radio.bin");
        const Run r =
            quorlink({"read", "--settings", dir.filePath("q.ini"), "--device", radio.path(), file},
                     &radio, [](QProcess& p) { ::kill(p.processId(), SIGINT); });
        QCOMPARE(r.exit, 130);
        QVERIFY(r.err.contains("interrupted"));
        QVERIFY(!QFile::exists(file));
    }
};

QTEST_GUILESS_MAIN(E2eCliTest)
#include "test_e2e_cli.moc"

#include <csignal>

#include "image/imagefile.h"
#include "support/quorlinkrun.h"
#include "support/testenv.h"

// The quorlink program's transfers as a script runs them: the radio program on a
// pseudo-terminal at line speed, the answers in the exit code, the file and a printed line.
class E2eCliTest : public QObject {
    Q_OBJECT
private slots:
    void transfers_data() {
        QTest::addColumn<QStringList>("radioArgs");
        QTest::addColumn<QStringList>("args");  // "^C": Ctrl-C once blocks arrive
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("says");
        const QStringList read{"read"};
        QTest::newRow("read") << QStringList() << read << 0 << "Read VX-8R/E (identity 4148303239";
        QTest::newRow("wrong identity")
            << QStringList{"--identity", "41483033300001000000"} << read << 1 << "wrong identity";
        QTest::newRow("no ACK") << QStringList{"--fault", "nak"} << QStringList{"write", "--yes"}
                                << 1 << "no ACK";
        QTest::newRow("Ctrl-C mid-read")
            << QStringList() << QStringList{"read", "^C"} << 130 << "interrupted";
    }
    void transfers() {
        QFETCH(QStringList, radioArgs);
        QFETCH(QStringList, args);
        QFETCH(int, exit);
        QFETCH(QString, says);
        QTemporaryDir dir;
        RadioProcess radio(radioArgs);
        QVERIFY2(!radio.start().isEmpty(), qPrintable(radio.error()));
        const SimRadio sim;
        const QByteArray image =
            sim.identity + sim.memory + char(SimRadio::checksumOf(sim.identity, sim.memory));
        const QString file = dir.filePath(args[0] == "read" ? "new.bin" : "good.bin");
        QVERIFY(SaveImageFile(dir.filePath("good.bin"), image, nullptr));
        ConfigStore(dir.filePath("q.ini")).set("Backups", "Folder", dir.filePath("backups"));
        QuorlinkRun r{dir.path()};
        r.radio = &radio;
        if (args.removeAll("^C"))
            r.during = [](QProcess& p) { ::kill(p.processId(), SIGINT); };
        r.run(args << "--config" << dir.filePath("q.ini") << "--device" << radio.path() << file);
        QVERIFY2(r.exit == exit && (r.out + r.err).contains(says), qPrintable(r.out + r.err));
        QCOMPARE(fileBytes(file), exit == 0 || args[0] == "write" ? image : QByteArray());
        // A good read leaves one backup and names it.
        const QStringList backups = QDir(dir.filePath("backups")).entryList(QDir::Files);
        QCOMPARE(backups.size(), exit == 0 ? 1 : 0);
        QVERIFY(exit || r.out.contains("Backup: " + dir.filePath("backups/" + backups[0])));
    }
};

QTEST_GUILESS_MAIN(E2eCliTest)
#include "test_e2e_cli.moc"

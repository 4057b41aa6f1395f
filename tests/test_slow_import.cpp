#include "image/imagefile.h"
#include "support/quorlinkrun.h"
#include "support/testenv.h"

// The command line's import, then a whole write and a whole read over the radio program's
// pseudo-terminal at line speed: over a minute, so it runs with the package tests.
class SlowImportTest : public QObject {
    Q_OBJECT
private slots:
    // Channels imported from a CSV into a backup, written to the radio and read back.
    void importWriteReadBack() {
        QTemporaryDir dir;
        RadioProcess radio;
        QVERIFY2(!radio.start().isEmpty(), qPrintable(radio.error()));
        const SimRadio sim;
        const QString image = dir.filePath("radio.img"), csv = dir.filePath("new.csv");
        const QString edited = dir.filePath("new.img"), back = dir.filePath("back.img");
        QVERIFY(SaveImageFile(
            image, sim.identity + sim.memory + char(SimRadio::checksumOf(sim.identity, sim.memory)),
            nullptr));
        QVERIFY(writeBytes(csv,
                           "Location,Name,Frequency,Mode\n1,CALL,146.55,FM\n2,,,\n"
                           "20,TWR,118.00833,AM\n"));
        const QStringList link{"--config", dir.filePath("q.ini"), "--device", radio.path()};
        QCOMPARE(QuorlinkRun(dir.path()).run({"import", image, csv, "--output", edited}).out,
                 "imported 2 channels, cleared 1\n");
        QuorlinkRun write(dir.path()), read(dir.path());
        QVERIFY2(write.run(QStringList{"write", "--yes", edited} + link).exit == 0,
                 qPrintable(write.err));
        read.radio = &radio;
        QVERIFY2(read.run(QStringList{"read", back} + link).exit == 0, qPrintable(read.err));
        QCOMPARE(fileBytes(back), fileBytes(edited));
    }
};

QTEST_GUILESS_MAIN(SlowImportTest)
#include "test_slow_import.moc"

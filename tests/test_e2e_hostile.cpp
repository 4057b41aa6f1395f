#include <QtTest>

#include <sys/stat.h>

#include "image/imagefile.h"
#include "support/channelfixture.h"
#include "support/quorlinkrun.h"

// The real program as a hostile or a new user runs it: odd files, a closed standard input,
// a file-size limit, no display, each in a folder of its own that is also its home.
class E2eHostileTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase() {
        QByteArray image = QByteArray("AH029") + QByteArray(CloneLayout::kImageSize - 5, 0);
        FixSums(image);
        QVERIFY(SaveImageFile(dir.filePath("x.img"), image, nullptr));
        QVERIFY(SaveImageFile(dir.filePath("-x.img"), image, nullptr));
        PutChannel(image, 7, 3,
                   "0004 14F520 C00000 1C121619150E21 FFFFFFFFFFFFFFFFFF 000000080000 0000");
        PutChannel(image, 8, 3,  // mode code 3
                   "00C0 146520 C00000 1C121619150E21 FFFFFFFFFFFFFFFFFF 000000080000 0000");
        FixSums(image);
        QVERIFY(SaveImageFile(dir.filePath("f.bin"), image, nullptr));
        image[0x0650] = 1;  // damaged: a region sum and the checksum disagree
        QVERIFY(SaveImageFile(dir.filePath("d.bin"), image, nullptr));
        QVERIFY(SaveImageFile(dir.filePath("t.img"), image, nullptr));  // with the trailer
        QString u16 = "Location\tFrequency\n1\t146.52\n";
        const auto write = [&](const char* name, const QByteArray& bytes) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        };
        write("u16.csv",
              "\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(u16.utf16()), u16.size() * 2));
        write("h.csv", "Location,Frequency\r\n");
        write("r.csv", "Location,Frequency\n7,1200\n1,146.52\n");
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("p.img")).constData(), 0600) == 0);
        QVERIFY(QFile::link("nofolder/y.img", dir.filePath("l.img")));
    }

    // A leading "<&-" starts it with standard input closed, "ulimit" with the size limit,
    // ">&-" with standard output closed, ">/dev/full" with it on a full disk, "env" with the
    // variables that follow.
    // `says` is a pattern for all it printed.
    void answers_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");
        QTest::newRow("pipe") << "read --demo p.img" << 3 << "^[^D]*\"p.img\": it is a named pipe";
        QTest::newRow("dangling link") << "read --demo l.img" << 3 << "^[^D]*symbolic link to";
        QTest::newRow("existing") << "read --demo x.img" << 3 << "^[^D]*x.img exists; --force";
        QTest::newRow("options first") << "--config q --quiet info -- -x.img" << 0 << "^File: ";
        QTest::newRow("old name of --config")
            << "--settings q info -- -x.img" << 0
            << "^File: [^$]*\nquorlink: --settings FILE is now --config FILE; [^\n]*\n$";
        QTest::newRow("stdin closed")
            << "<&- write --demo x.img" << 1
            << "^Demo: talking to a simulated VX-8R on /dev/[^$]*cancelled";
        QTest::newRow("size limit")
            << "ulimit read --demo big.img" << 1
            << "large\nquorlink: Cannot save \"big.img\": File too large\n$";
        QTest::newRow("no display") << "" << 2
                                    << "^No display: the windows cannot open here. Try quorlink "
                                       "--help for the command line.\n$";
        QTest::newRow("csv") << "channels --csv f.bin" << 0
                             << "^Location[^\n]*\nquorlink: channel 7 left out: Frequency \\? "
                                "does not decode\nquorlink: 1 channel left out: mode not one of "
                                "FM, AM, WFM; set their mode in the editor\n$";
        QTest::newRow("import: UTF-16")
            << "import --output o1.img x.img u16.csv" << 0 << "^imported 1 channels, cleared 0\n$";
        QTest::newRow("import: no rows") << "import --output o2.img x.img h.csv" << 3
                                         << "^quorlink: nothing was written: no channel rows\n$";
        QTest::newRow("import: a refused row's channel kept")
            << "import --replace --skip-bad --output o3.img f.bin r.csv" << 0
            << "^imported 1 channels, skipped 1 \\(1 refused\\), cleared 1\nline 2: Frequency 1200 "
               "MHz";
        QTest::newRow("import: damaged image") << "import --output o4.img d.bin u16.csv" << 3
                                               << "^The region sum at 0x06C9 is[^$]*refused";
        QTest::newRow("import: the other programmer's stale sums")
            << "import --output o5.img t.img u16.csv" << 0
            << "^imported 1 channels[^$]*Image: region sum at 0x06C9 was ";
        QTest::newRow("import: a pipe nobody writes to")
            << "import x.img p.img" << 3 << "^quorlink: cannot read p.img: it is a pipe that";
        QTest::newRow("import: endless") << "import x.img /dev/zero" << 3 << "larger than 4 MiB";
        QTest::newRow("Qt's own messages as the PDF writer starts")
            << "env QT_LOGGING_RULES=qt.qpa.plugin=true quorlink channels --pdf o.pdf f.bin" << 0
            << "qt.qpa.plugin: Successfully loaded Qt platform plugin \"offscreen\"";
        QTest::newRow("ports, none stored") << "ports" << 0 << "^  ";
        QTest::newRow("empty config, windows")
            << "--config=" << 2 << "^quorlink: --config needs a file name, not an empty value\n";
        QTest::newRow("output closed")
            << ">&- info x.img" << 1
            << "^quorlink: cannot write the output: Bad file descriptor\n$";
        QTest::newRow("output on a full disk")
            << ">/dev/full channels --csv f.bin" << 1
            << "left out[^\n]*\nquorlink: cannot write the output: No space left on device\n$";
    }
    void answers() {
        QFETCH(QString, command);
        QFETCH(int, code);
        QFETCH(QString, says);
        QStringList args = command.split(' ', Qt::SkipEmptyParts);
        QuorlinkRun r{dir.path(), args.value(0) == "<&-", args.value(0) == "ulimit"};
        if (r.closeStdin || r.limitSize)
            args.removeFirst();
        if (args.value(0) == "env")
            r.program = "/usr/bin/env";
        if (args.value(0).startsWith('>'))
            r.stdoutTo = args.takeFirst().mid(1);
        r.run(args);
        QVERIFY2(r.exit == code && (r.out + r.err).contains(QRegularExpression(says)),
                 qPrintable(r.out + r.err));
        QVERIFY(!QFileInfo(dir.filePath("p.img")).isFile());
    }
};

QTEST_GUILESS_MAIN(E2eHostileTest)
#include "test_e2e_hostile.moc"

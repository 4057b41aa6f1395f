#include <QtTest>

#include <sys/stat.h>

#include "clone/imagefile.h"
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
        QVERIFY(SaveImageFile(dir.filePath("f.bin"), image, nullptr));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("p.img")).constData(), 0600) == 0);
        QVERIFY(QFile::link("nofolder/y.img", dir.filePath("l.img")));
    }

    // A leading "<&-" starts it with standard input closed, "ulimit" with the size limit,
    // ">&-" with standard output closed, ">/dev/full" with it on a full disk.
    // `says` is a pattern for all it printed.
    void answers_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");
        QTest::newRow("pipe") << "read --demo p.img" << 3 << "^[^D]*\"p.img\": it is a named pipe";
        QTest::newRow("dangling link") << "read --demo l.img" << 3 << "^[^D]*symbolic link to";
        QTest::newRow("existing") << "read --demo x.img" << 3 << "^[^D]*x.img exists; --force";
        QTest::newRow("options first") << "--settings q --quiet info -- -x.img" << 0 << "^File: ";
        QTest::newRow("stdin closed")
            << "<&- write --demo x.img" << 1
            << "^Demo: talking to a simulated VX-8 on /dev/[^$]*cancelled";
        QTest::newRow("size limit")
            << "ulimit read --demo big.img" << 1
            << "large\nquorlink: Cannot save \"big.img\": File too large\n$";
        QTest::newRow("no display") << "" << 2
                                    << "^No display: the windows cannot open here. Try quorlink "
                                       "--help for the command line.\n$";
        QTest::newRow("csv") << "channels --csv f.bin" << 0
                             << "^Location[^\n]*\nquorlink: channel 7 left out: Frequency \\? "
                                "does not decode\n$";
        QTest::newRow("ports, none stored") << "ports" << 0 << "^  ";
        QTest::newRow("empty settings, windows")
            << "--settings=" << 2
            << "^quorlink: --settings needs a file name, not an empty value\n";
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

#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

#include "clone/imagefile.h"
#include "support/channelfixture.h"

// The real program as a hostile or a new user runs it: odd files, a closed standard input,
// a file-size limit, no display. It runs in a folder of its own that is also its home, with
// no display and the default action for SIGXFSZ; one that hangs is killed (exit -1).
class E2eHostileTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase() {
        QByteArray image = QByteArray("AH029") + QByteArray(ImageFile::kSize - 5, 0);
        FixSums(image);
        QFile t(dir.filePath("t.img"));
        QVERIFY(t.open(QIODevice::WriteOnly));
        t.write(QByteArray(image).replace(100, 13, ImageFile::kTrailerMark) + 'x');
        QVERIFY(SaveImageFile(dir.filePath("x.img"), image, nullptr));
        QVERIFY(SaveImageFile(dir.filePath("-x.img"), image, nullptr));
        // Another identity, a byte inside the empty channel 5's record, another checksum.
        QByteArray other = QByteArray(image).replace(2, 3, "29D");
        other[ChannelLayout::kChannelsOffset + 4 * ChannelLayout::kChannelSize + 5] = 1;
        other[ImageFile::kChecksumOffset] = 0;
        QVERIFY(SaveImageFile(dir.filePath("c.bin"), other, nullptr));
        PutChannel(image, 7, 3,
                   "0004 14F520 C00000 1C121619150E21 FFFFFFFFFFFFFFFFFF 000000080000 0000");
        QVERIFY(SaveImageFile(dir.filePath("f.bin"), image, nullptr));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("p.img")).constData(), 0600) == 0);
        QVERIFY(QFile::link("nofolder/y.img", dir.filePath("l.img")));
    }

    // A leading "<&-" starts it with standard input closed, "ulimit" with a 32 KiB file-size
    // limit, as a shell would. `says` is a pattern for all it printed.
    void answers_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");
        QTest::newRow("pipe") << "read --demo p.img" << 3 << "^[^D]*\"p.img\": it is a named pipe";
        QTest::newRow("dangling link") << "read --demo l.img" << 3 << "^[^D]*symbolic link to";
        QTest::newRow("existing") << "read --demo x.img" << 3 << "^[^D]*x.img exists; --force";
        QTest::newRow("two links") << "read --port COM1 --demo n" << 2 << "Usage: quorlink read";
        QTest::newRow("no device") << "read --device /nonexistent n" << 1
                                   << "^quorlink: read failed: /nonexistent: no such file\n$";
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
        QTest::newRow("compare") << "compare --channels x.img c.bin" << 1
                                 << "^identity AH029… → AH29D…\nother memory differs in 1 "
                                    "block\nthe final checksum differs\n$";
        QTest::newRow("csv") << "channels --csv f.bin" << 0
                             << "^Location[^\n]*\nquorlink: channel 7 left out: its frequency "
                                "does not decode\n$";
        QTest::newRow("trailer in the data") << "info t.img" << 3 << "it holds 65228 bytes,";
        QTest::newRow("ports, none stored") << "ports" << 0 << "^  ";
    }
    void answers() {
        QFETCH(QString, command);
        QFETCH(int, code);
        QFETCH(QString, says);
        QStringList args = command.split(' ', Qt::SkipEmptyParts);
        const bool closeStdin = args.value(0) == "<&-", limitSize = args.value(0) == "ulimit";
        if (closeStdin || limitSize)
            args.removeFirst();
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            env.remove(name);
        env.insert("HOME", dir.path());
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.setChildProcessModifier([=] {
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{32768, 32768};
            if (limitSize)
                ::setrlimit(RLIMIT_FSIZE, &limit);
            if (closeStdin)
                ::close(STDIN_FILENO);
        });
        p.start(qEnvironmentVariable("QUORLINK_APP"), args);
        const bool ended = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit;
        p.kill();
        const QString said = p.readAllStandardOutput() + p.readAllStandardError();
        QVERIFY2((ended ? p.exitCode() : -1) == code && said.contains(QRegularExpression(says)),
                 qPrintable(said));
        QVERIFY(!QFileInfo(dir.filePath("p.img")).isFile());
    }
};

QTEST_GUILESS_MAIN(E2eHostileTest)
#include "test_e2e_hostile.moc"

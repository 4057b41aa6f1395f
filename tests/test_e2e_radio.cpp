#include <QtTest>

#include "sim/simradio.h"
#include "support/radioprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

// The quorlink-radio program over its pseudo-terminal, driven from a plain file descriptor
// as a cable's PC end: what it sends, what it answers, its faults, events and options.
namespace {

constexpr int kWaitMs = RadioProcess::kWaitMs;
const QByteArray kAck(1, '\x06');
const QByteArray kNak(1, '\x15');

class Terminal {
public:
    explicit Terminal(const QString& path) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0)
            return;
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd_, TCSANOW, &tio);
    }
    ~Terminal() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }

    // Exactly n bytes, or what came before the time ran out.
    QByteArray read(int n, int timeoutMs = kWaitMs) {
        QByteArray got;
        QDeadlineTimer deadline(timeoutMs);
        while (got.size() < n && !deadline.hasExpired()) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
                continue;
            char chunk[4096];
            const ssize_t r = ::read(fd_, chunk, qMin<qsizetype>(sizeof chunk, n - got.size()));
            if (r > 0)
                got.append(chunk, r);
            else if (r == 0 || (errno != EAGAIN && errno != EINTR))
                break;  // hung up
        }
        return got;
    }

    bool write(const QByteArray& bytes) {
        qsizetype done = 0;
        QDeadlineTimer deadline(kWaitMs);
        while (done < bytes.size() && !deadline.hasExpired()) {
            const ssize_t r = ::write(fd_, bytes.constData() + done, bytes.size() - done);
            if (r > 0) {
                done += r;
                continue;
            }
            if (errno != EAGAIN && errno != EINTR)
                return false;
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 50);
        }
        return done == bytes.size();
    }

    // True once the far end has hung up.
    bool hungUp(int timeoutMs = kWaitMs) {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                if (p.revents & (POLLHUP | POLLERR))
                    return true;
                char c;
                const ssize_t r = ::read(fd_, &c, 1);
                if (r == 0 || (r < 0 && errno == EIO))
                    return true;
            }
        }
        return false;
    }

private:
    int fd_ = -1;
};

QByteArray imageWithSum(const QByteArray& identity, const QByteArray& data, int sumOffset = 0) {
    return identity + data +
           QByteArray(1, static_cast<char>(SimRadio::checksumOf(identity, data) + sumOffset));
}

QByteArray testImage() {
    QByteArray data(SimRadio::kDataSize, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 13 + 5) & 0xFF);
    return data;
}

}  // namespace

#define START_RADIO(radio)                                  \
    const QString path = (radio).start();                   \
    QVERIFY2(!path.isEmpty(), qPrintable((radio).error())); \
    Terminal pc(path);                                      \
    QVERIFY(pc.isOpen())

class RadioProgramTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (RadioProcess::program().isEmpty())
            QSKIP("QUORLINK_RADIO is not set (run through ctest)");
    }

    void sendsIdentityThenMemoryOnAck_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("firstBytes");
        QTest::newRow("VX-8") << QStringList() << QByteArray::fromHex("41483032390001000000");
        QTest::newRow("VX-8D") << QStringList({"--identity", "AH29D"})
                               << QByteArray::fromHex("41483239440001000000");
        QTest::newRow("any identity") << QStringList({"--identity", "0102030405060708090a"})
                                      << QByteArray::fromHex("0102030405060708090A");
        QTest::newRow("noise first") << QStringList({"--fault", "noise=FFFE"})
                                     << QByteArray::fromHex("FFFE41483032390001000000");
    }
    void sendsIdentityThenMemoryOnAck() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, firstBytes);
        RadioProcess radio(arguments + QStringList({"--fault", "stall=2"}));
        START_RADIO(radio);
        radio.command("band");
        QCOMPARE(pc.read(firstBytes.size()).toHex(), firstBytes.toHex());
        QVERIFY(pc.write(kAck));
        QVERIFY2(radio.waitFor(QStringLiteral("ACK")), qPrintable(radio.seen().join('|')));
        QCOMPARE(pc.read(128), SimRadio().memory.left(128));
        QVERIFY2(radio.waitFor(QStringLiteral("SENT")), qPrintable(radio.seen().join('|')));
    }

    void refusedIdentityEndsTheRead() {
        RadioProcess radio({"--band-after", "0"});
        START_RADIO(radio);
        QCOMPARE(pc.read(10), SimRadio::identityAH029());
        QVERIFY(pc.write(kNak));
        QVERIFY(radio.waitFor(QStringLiteral("NAK")));
        QCOMPARE(pc.read(1, 200), QByteArray());  // the radio shows ERROR and sends nothing
    }

    // A write is taken, acknowledged, checked and kept: the next read sends it back.
    void writeIsKeptAndReadBack() {
        RadioProcess radio({"--transfers", "2", "--fault", "stall=1"});
        START_RADIO(radio);
        const QByteArray identity = SimRadio::identityAH29D();
        const QByteArray data = testImage();
        QVERIFY(pc.write(identity));
        QCOMPARE(pc.read(1), kAck);
        QVERIFY(pc.write(imageWithSum(identity, data).mid(identity.size())));
        QVERIFY2(radio.waitFor(QStringLiteral("WRITE OK")), qPrintable(radio.seen().join('|')));

        radio.command("band");
        QCOMPARE(pc.read(10), identity);
        QVERIFY(pc.write(kAck));
        QCOMPARE(pc.read(64), data.left(64));
        QVERIFY(radio.waitFor(QStringLiteral("SENT")));
        // Two transfers done: the program ends by itself.
        QVERIFY(radio.process().waitForFinished(kWaitMs));
        QCOMPARE(radio.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(radio.process().exitCode(), 0);
    }

    void writeWithBadChecksumIsReported() {
        RadioProcess radio;
        START_RADIO(radio);
        const QByteArray identity = SimRadio::identityAH029();
        QVERIFY(pc.write(identity));
        QCOMPARE(pc.read(1), kAck);
        QVERIFY(pc.write(imageWithSum(identity, testImage(), 1).mid(identity.size())));
        QVERIFY(radio.waitFor(QStringLiteral("WRITE BAD CHECKSUM")));
    }

    void pulledCableHangsUp_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("command");
        QTest::newRow("pull command") << QStringList() << true;
        // 10 identity bytes, the acknowledgement and 9 data bytes cross, then the cable goes.
        QTest::newRow("pulled mid-stream") << QStringList({"--fault", "pull-after=20"}) << false;
    }
    void pulledCableHangsUp() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, command);
        RadioProcess radio(arguments);
        START_RADIO(radio);
        if (command) {
            radio.command("pull");
        } else {
            radio.command("band");
            QCOMPARE(pc.read(10), SimRadio::identityAH029());
            QVERIFY(pc.write(kAck));
            // Bytes still in the terminal when it hangs up may be lost, as on a real cable.
            const QByteArray got = pc.read(9, 2000);
            QVERIFY(got.size() <= 9 && SimRadio().memory.startsWith(got));
        }
        QVERIFY2(radio.waitFor(QStringLiteral("PULLED")), qPrintable(radio.seen().join('|')));
        QVERIFY(pc.hungUp());
        QVERIFY(!QFile::exists(path));
    }

    void endOfInputEndsTheProgram() {
        RadioProcess radio;
        START_RADIO(radio);
        radio.process().closeWriteChannel();
        QVERIFY(radio.process().waitForFinished(kWaitMs));
        QCOMPARE(radio.process().exitCode(), 0);
    }

    void badOptionsAreRefused_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("unknown fault") << QStringList({"--fault", "explode"}) << "unknown fault";
        QTest::newRow("bad identity") << QStringList({"--identity", "XYZ"}) << "--identity";
        QTest::newRow("bad stall") << QStringList({"--fault", "stall=x"}) << "stall";
        QTest::newRow("odd noise") << QStringList({"--fault", "noise=ABC"}) << "noise";
        QTest::newRow("negative transfers") << QStringList({"--transfers", "-1"}) << "--transfers";
    }
    void badOptionsAreRefused() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, complaint);
        QProcess process;
        process.start(RadioProcess::program(), arguments);
        QVERIFY(process.waitForFinished(kWaitMs));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardOutput().isEmpty());  // no PTY line
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(err.contains(complaint), qPrintable(err));
    }
};

QTEST_MAIN(RadioProgramTest)
#include "test_e2e_radio.moc"

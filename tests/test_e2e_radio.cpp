#include <QSerialPort>
#include <QtTest>

#include "sim/simradio.h"
#include "support/radioprocess.h"

// What only the quorlink-radio program's own options do, seen from the PC end of its
// pseudo-terminal: other identities, noise, a write with a wrong sum, the transfer limit
// and refused options.
namespace {

constexpr int kWaitMs = RadioProcess::kWaitMs;

QByteArray readBytes(QSerialPort& port, int n) {
    while (port.bytesAvailable() < n && port.waitForReadyRead(kWaitMs)) {
    }
    return port.read(n);
}

bool writeBytes(QSerialPort& port, const QByteArray& bytes) {
    port.write(bytes);
    while (port.bytesToWrite() > 0 && port.waitForBytesWritten(kWaitMs)) {
    }
    return port.bytesToWrite() == 0;
}

}  // namespace

#define START_RADIO(radio)                                  \
    const QString path = (radio).start();                   \
    QVERIFY2(!path.isEmpty(), qPrintable((radio).error())); \
    QSerialPort pc(path);                                   \
    QVERIFY(pc.open(QIODevice::ReadWrite))

class RadioProgramTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (RadioProcess::program().isEmpty())
            QSKIP("QUORLINK_RADIO is not set (run through ctest)");
    }

    void sendsTheChosenIdentity_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("firstBytes");
        QTest::newRow("VX-8D") << QStringList({"--identity", "AH29D"})
                               << QByteArray::fromHex("41483239440001000000");
        QTest::newRow("any identity") << QStringList({"--identity", "0102030405060708090a"})
                                      << QByteArray::fromHex("0102030405060708090A");
        QTest::newRow("noise first") << QStringList({"--fault", "noise=FFFE"})
                                     << QByteArray::fromHex("FFFE41483032390001000000");
    }
    void sendsTheChosenIdentity() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, firstBytes);
        RadioProcess radio(arguments);
        START_RADIO(radio);
        radio.command("band");
        QCOMPARE(readBytes(pc, firstBytes.size()).toHex(), firstBytes.toHex());
    }

    // A write with a wrong sum is reported, and counts towards --transfers.
    void wrongSumIsReportedAndEndsTheLastTransfer() {
        RadioProcess radio({"--transfers", "1"});
        START_RADIO(radio);
        const QByteArray identity = SimRadio::identityAH029();
        const QByteArray data(SimRadio::kDataSize, '\x5A');
        QVERIFY(writeBytes(pc, identity));
        QCOMPARE(readBytes(pc, 1), QByteArray(1, '\x06'));
        QVERIFY(writeBytes(pc, data + char(SimRadio::checksumOf(identity, data) + 1)));
        QVERIFY2(radio.waitFor(QStringLiteral("WRITE BAD CHECKSUM")),
                 qPrintable(radio.seen().join('|')));
        QVERIFY(radio.process().waitForFinished(kWaitMs));
        QCOMPARE(radio.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(radio.process().exitCode(), 0);
    }

    void badOptionsAreRefused_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("unknown fault") << QStringList({"--fault", "explode"}) << "unknown fault";
        QTest::newRow("bad identity") << QStringList({"--identity", "XYZ"}) << "--identity";
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

#include <QPushButton>
#include <QtTest>

#include "app/errors.h"
#include "support/linkenv.h"

namespace {

const QString kAboutToSend = "SendACK: about to send ACK";
const QString kAckSent = "SendACK: ACK sent";
const QString kAckFailed = "SendACK: ACK failed";
const QString kNakFailed = "Write Failed sending NAK";

void send(Link& link, bool ack) {
    if (ack)
        link.SendACK();
    else
        link.SendNAK();
}

}  // namespace

class LinkHandshakeTest : public QObject {
    Q_OBJECT
private slots:
    // ---- SendACK / SendNAK -------------------------------------------------------------

    void sendOnCom_data() {
        QTest::addColumn<bool>("ack");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("ACK") << true << QByteArray("\x06") << QStringList{kAboutToSend, kAckSent};
        QTest::newRow("NAK") << false << QByteArray("\x15") << QStringList{};
    }
    void sendOnCom() {
        QFETCH(bool, ack);
        QFETCH(QByteArray, wire);
        QFETCH(QStringList, lines);
        LinkEnv env;
        const qint64 t0 = env.openCom(3);
        env.rx().HandshakeDelay = 50;
        // The radio's earlier bytes must not be taken for its answer to this byte.
        env.ports->inject(3, QByteArray("\x01\x02\x03\x04\x05"));
        send(env.link(), ack);
        QCOMPARE(env.link().GetInBufferCount(), 0);
        QCOMPARE(env.ports->ports[3].written, wire);
        QCOMPARE(env.log(), lines);
        QCOMPARE(env.nowMs() - t0, 50);
        QVERIFY(!env.linkState().LinkLost);
    }

    void sendOnFtdi_data() {
        QTest::addColumn<bool>("ack");
        QTest::addColumn<quint32>("writeStatus");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("ACK") << true << FT_OK << QByteArray("\x06")
                             << QStringList{kAboutToSend, kAckSent};
        QTest::newRow("NAK") << false << FT_OK << QByteArray("\x15") << QStringList{};
        QTest::newRow("ACK fails")
            << true << FT_IO_ERROR << QByteArray() << QStringList{kAboutToSend, kAckFailed};
        QTest::newRow("NAK fails")
            << false << FT_IO_ERROR << QByteArray() << QStringList{kNakFailed};
    }
    void sendOnFtdi() {
        QFETCH(bool, ack);
        QFETCH(quint32, writeStatus);
        QFETCH(QByteArray, wire);
        QFETCH(QStringList, lines);
        LinkEnv env;
        const qint64 t0 = env.openFtdi("Cable");
        if (writeStatus != FT_OK)
            env.d2xx->fail["FT_Write"] = writeStatus;
        send(env.link(), ack);
        // One byte written; no purge before it and no pause after it.
        QCOMPARE(env.d2xx->calls, QStringList{"FT_Write(1)"});
        QCOMPARE(env.d2xx->devices[0].written, wire);
        QCOMPARE(env.log(), lines);
        QCOMPARE(env.nowMs(), t0);
        QCOMPARE(env.rx().FTByteCount, 1u);
    }

    void nothingIsSentOnAClosedLink_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<bool>("ack");
        QTest::newRow("COM ACK") << false << true;
        QTest::newRow("COM NAK") << false << false;
        QTest::newRow("FTDI ACK") << true << true;
        QTest::newRow("FTDI NAK") << true << false;
    }
    void nothingIsSentOnAClosedLink() {
        QFETCH(bool, ftdi);
        QFETCH(bool, ack);
        LinkEnv env;
        const qint64 t0 = ftdi ? env.openFtdi("Cable") : env.openCom(3);
        env.linkState().LinkOpen = false;
        send(env.link(), ack);
        QVERIFY(env.log().isEmpty());
        QVERIFY(env.d2xx->calls.isEmpty());
        QVERIFY(env.d2xx->devices.isEmpty() || env.d2xx->devices[0].written.isEmpty());
        QVERIFY(env.ports->ports.value(3).written.isEmpty());
        QCOMPARE(env.nowMs(), t0);
    }

    void sendOnAPortThatHasGone_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<bool>("pulled");  // else the port refuses to send (error 8012)
        QTest::addColumn<bool>("ack");
        QTest::addColumn<QStringList>("lines");
        const QStringList ackLines{kAboutToSend, kAckFailed};
        const QStringList nakLines{kNakFailed};
        QTest::newRow("COM refuses ACK") << false << false << true << ackLines;
        QTest::newRow("COM refuses NAK") << false << false << false << nakLines;
        QTest::newRow("COM cable pulled, ACK") << false << true << true << ackLines;
        QTest::newRow("COM cable pulled, NAK") << false << true << false << nakLines;
        QTest::newRow("FTDI cable pulled, ACK") << true << true << true << ackLines;
        QTest::newRow("FTDI cable pulled, NAK") << true << true << false << nakLines;
    }
    void sendOnAPortThatHasGone() {
        QFETCH(bool, ftdi);
        QFETCH(bool, pulled);
        QFETCH(bool, ack);
        QFETCH(QStringList, lines);
        LinkEnv env;
        SimRadio& radio = ftdi ? env.radioOnFtdi("Cable") : env.radioOnCom(3);
        if (ftdi)
            env.openFtdi("Cable");
        else
            env.openCom(3);
        if (pulled)
            radio.pullCable();
        else
            env.comm().failOutput = true;
        send(env.link(), ack);
        QVERIFY(env.linkState().LinkLost);
        QCOMPARE(env.log(), lines);
        QVERIFY(radio.pcBytes.isEmpty());
    }

    // ---- ReceiveAck --------------------------------------------------------------------

    void receiveAckOnCom_data() {
        QTest::addColumn<QByteArray>("waiting");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("lines");
        const QString wrong = "ReceiveAck: ACK not received. Received hex ";
        QTest::newRow("ACK") << QByteArray("\x06") << 1 << true << QStringList{};
        QTest::newRow("NAK") << QByteArray("\x15") << 1 << false << QStringList{wrong + "15"};
        QTest::newRow("zero byte") << QByteArray(1, '\0') << 1 << false << QStringList{wrong + "0"};
        QTest::newRow("high byte") << QByteArray("\xFE") << 1 << false << QStringList{wrong + "FE"};
        QTest::newRow("only the last byte counts")
            << QByteArray("\x15\x06") << 2 << true << QStringList{};
        QTest::newRow("ACK then NAK")
            << QByteArray("\x06\x15") << 2 << false << QStringList{wrong + "15"};
        QTest::newRow("only the first count bytes are taken")
            << QByteArray("\x15\x06") << 1 << false << QStringList{wrong + "15"};
    }
    void receiveAckOnCom() {
        QFETCH(QByteArray, waiting);
        QFETCH(int, count);
        QFETCH(bool, result);
        QFETCH(QStringList, lines);
        LinkEnv env;
        const qint64 t0 = env.openCom(3);
        env.ports->inject(3, waiting);
        QCOMPARE(env.link().ReceiveAck(count), result);
        QCOMPARE(env.log(), lines);
        QCOMPARE(env.rx().RxBuffer, waiting.left(count));
        QCOMPARE(env.link().GetInBufferCount(), waiting.size() - count);
        QCOMPARE(env.nowMs(), t0);  // enough was waiting at the first poll
        QCOMPARE(env.rx().AckPollCount, 0);
    }

    void receiveAckWaitsForTheRadio() {
        LinkEnv env;
        SimRadio& radio = env.radioOnCom(3);
        const qint64 t0 = env.openCom(3);
        env.rx().HandshakeDelay = 50;
        // The write's first step: the identity out, then the radio's answer.
        env.link().MSComm1().Output(SimRadio::identityAH029());
        QVERIFY(env.link().ReceiveAck(1));
        QCOMPARE(env.nowMs() - t0, 50);
        QCOMPARE(radio.pcBytes, SimRadio::identityAH029());
        QVERIFY(env.log().isEmpty());
        QCOMPARE(env.rx().AckPollCount, 0);
    }

    void receiveAckTimesOut_data() {
        QTest::addColumn<QByteArray>("waiting");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("line");
        QTest::newRow("nothing") << QByteArray() << 1 << "ReceiveAck: timed out. Bytes in buffer=0";
        QTest::newRow("too few") << QByteArray("\x06") << 2
                                 << "ReceiveAck: timed out. Bytes in buffer=1";
    }
    void receiveAckTimesOut() {
        QFETCH(QByteArray, waiting);
        QFETCH(int, count);
        QFETCH(QString, line);
        LinkEnv env;
        const qint64 t0 = env.openCom(3);
        env.rx().HandshakeDelay = 50;
        env.ports->inject(3, waiting);
        QVERIFY(!env.link().ReceiveAck(count));
        QCOMPARE(env.nowMs() - t0, 25 * 50);
        QCOMPARE(env.rx().AckPollCount, 25);
        QCOMPARE(env.log(), QStringList{line});
        QCOMPARE(env.link().GetInBufferCount(), 0);  // purged
    }

    void receiveAckCancelledByTheUser() {
        LinkEnv env;
        const qint64 t0 = env.openCom(3);
        env.rx().HandshakeDelay = 50;
        env.form().DisableButtons();
        env.clock.afterMs(75, [&env] {
            env.form().cmdCancelRead->click();
            env.ports->inject(3, QByteArray("\x01"));
        });
        QVERIFY(!env.link().ReceiveAck(2));
        QCOMPARE(env.nowMs() - t0, 100);  // stops after the pause in which it was pressed
        QCOMPARE(env.log(), QStringList{"ReceiveAck: cancelled by user"});
        QCOMPARE(env.link().GetInBufferCount(), 0);
        QCOMPARE(env.rx().AckPollCount, 2);
    }

    void receiveAckForgetsAnEarlierCancel() {
        LinkEnv env;
        env.openCom(3);
        env.ctx->state.cancel.CancelRequested = true;
        env.clock.afterMs(30, [&env] { env.ports->inject(3, QByteArray("\x06")); });
        QVERIFY(env.link().ReceiveAck(1));
        QVERIFY(env.log().isEmpty());
    }

    void receiveAckOnFtdi_data() {
        QTest::addColumn<bool>("nak");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("ACK") << false << true << QStringList{};
        QTest::newRow("NAK") << true << false
                             << QStringList{"ReceiveAck: ACK not received. Received hex 15"};
    }
    void receiveAckOnFtdi() {
        QFETCH(bool, nak);
        QFETCH(bool, result);
        QFETCH(QStringList, lines);
        LinkEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        radio.faults.nakIdentity = nak;
        const qint64 t0 = env.openFtdi("Cable");
        const QByteArray id = SimRadio::identityAH029();
        quint32 written = 0;
        env.d2xx->FT_Write(env.linkState().FTHandle, reinterpret_cast<const quint8*>(id.data()),
                           static_cast<quint32>(id.size()), &written);
        QCOMPARE(env.link().ReceiveAck(1), result);
        QCOMPARE(env.nowMs() - t0, 20);
        QCOMPARE(env.log(), lines);
        QCOMPARE(env.rx().RxBuffer.size(), 1);
    }

    void receiveAckOnFtdiTakesEverythingWaiting() {
        LinkEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        // More bytes than the read buffer holds, the last of them the ACK.
        radio.faults.noise = QByteArray(4990, 'n');
        radio.identity = QByteArray("AH029\0\0\0\0\x06", 10);
        env.openFtdi("Cable");
        radio.pressBand(env.clock.nowNs());
        env.clock.advanceBy(2'000'000'000);
        QCOMPARE(env.link().GetInBufferCount(), 5000);
        QVERIFY(env.link().ReceiveAck(1));
        QCOMPARE(env.rx().RxBuffer.size(), 5000 - 4096);
        QCOMPARE(env.link().GetInBufferCount(), 0);
        QVERIFY(env.log().isEmpty());
    }

    void receiveAckOnFtdiTimesOut() {
        LinkEnv env;
        const qint64 t0 = env.openFtdi("Cable");
        QVERIFY(!env.link().ReceiveAck(1));
        QCOMPARE(env.nowMs() - t0, 25 * 20);
        QCOMPARE(env.log(), QStringList{"ReceiveAck: timed out. Bytes in buffer=0"});
        QCOMPARE(env.d2xx->calls, QStringList{"FT_Purge(3)"});
    }

    void receiveAckNoticesALostLink_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::newRow("COM") << false;
        QTest::newRow("FTDI") << true;
    }
    void receiveAckNoticesALostLink() {
        QFETCH(bool, ftdi);
        LinkEnv env;
        SimRadio& radio = ftdi ? env.radioOnFtdi("Cable") : env.radioOnCom(3);
        const qint64 t0 = ftdi ? env.openFtdi("Cable") : env.openCom(3);
        env.clock.afterMs(30, [&radio] { radio.pullCable(); });
        QVERIFY(!env.link().ReceiveAck(1));
        QCOMPARE(env.nowMs() - t0, 40);  // the poll after the pull, not 25 polls
        QCOMPARE(env.rx().AckPollCount, 3);
        QVERIFY(env.linkState().LinkLost);
        QCOMPARE(env.log(), QStringList{"ReceiveAck: the connection to the radio was lost"});
    }

    void receiveAckAfterAFailedSendStopsAtOnce() {
        LinkEnv env;
        const qint64 t0 = env.openCom(3);
        env.comm().failOutput = true;
        env.link().SendACK();
        env.form().txtErrors->clearLog();
        const qint64 t1 = env.nowMs();
        QVERIFY(!env.link().ReceiveAck(1));
        QCOMPARE(env.nowMs(), t1);
        QVERIFY(t1 > t0);
        QVERIFY(env.log().isEmpty());  // the failed send was the report
    }

    void receiveAckRefusesACountOfZero() {
        LinkEnv env;
        env.openCom(3);
        QVERIFY_THROWS_EXCEPTION(RunError, env.link().ReceiveAck(0));
    }
};

QTEST_MAIN(LinkHandshakeTest)
#include "test_link_handshake.moc"

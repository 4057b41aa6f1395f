#include <QPushButton>
#include <QtTest>

#include "core/errors.h"
#include "support/linkenv.h"

// The handshake bytes: ACK and NAK out, the radio's answer in, on both back-ends.
namespace {

// How a handshake byte fares: sent, refused by the port or device, lost with a pulled
// cable, or not tried because the link is closed.
enum class Fate { Sent, Refused, Pulled, Closed };
// What ends a wait for the radio's answer early.
enum class Event { None, Pull, Cancel };

}  // namespace

Q_DECLARE_METATYPE(Fate)
Q_DECLARE_METATYPE(Event)

class LinkHandshakeTest : public QObject {
    Q_OBJECT
private slots:
    void sendHandshakeByte_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<bool>("ack");
        QTest::addColumn<Fate>("fate");
        QTest::addColumn<bool>("lost");
        for (bool ftdi : {false, true}) {
            for (bool ack : {true, false}) {
                const QByteArray row = QByteArray(ftdi ? "FTDI " : "COM ") + (ack ? "ACK" : "NAK");
                QTest::newRow(row) << ftdi << ack << Fate::Sent << false;
                // The COM port raises error 8012 (the device has gone); the device returns
                // an I/O error, which is no loss.
                QTest::newRow(row + " refused") << ftdi << ack << Fate::Refused << !ftdi;
                QTest::newRow(row + " cable pulled") << ftdi << ack << Fate::Pulled << true;
                QTest::newRow(row + " link closed") << ftdi << ack << Fate::Closed << false;
            }
        }
    }
    void sendHandshakeByte() {
        QFETCH(bool, ftdi);
        QFETCH(bool, ack);
        QFETCH(Fate, fate);
        QFETCH(bool, lost);
        LinkEnv env;
        SimRadio& radio = env.radioOn(ftdi);
        const qint64 t0 = env.open(ftdi);
        env.rx().HandshakeDelay = 50;
        if (!ftdi)  // the radio's earlier bytes must not be taken for its answer
            env.ports->inject(3, QByteArray("\x01\x02\x03\x04\x05"));
        if (fate == Fate::Refused && ftdi)
            env.d2xx->fail["FT_Write"] = FT_IO_ERROR;
        else if (fate == Fate::Refused)
            env.comm().failOutput = true;
        else if (fate == Fate::Pulled)
            radio.pullCable();
        else if (fate == Fate::Closed)
            env.linkState().LinkOpen = false;

        ack ? env.link().SendACK() : env.link().SendNAK();

        QCOMPARE(radio.pcBytes, fate == Fate::Sent ? QByteArray(1, ack ? 6 : 0x15) : QByteArray());
        QCOMPARE(env.linkState().LinkLost, lost);
        const QStringList log = env.log();
        QCOMPARE(log.contains("SendACK: ACK sent"), ack && fate == Fate::Sent);
        QCOMPARE(log.filter("fail", Qt::CaseInsensitive).size(),
                 fate == Fate::Refused || fate == Fate::Pulled ? 1 : 0);
        const bool tried = fate != Fate::Closed;
        if (ftdi) {
            // One byte written; no purge before it and no pause after it.
            QCOMPARE(env.d2xx->calls, tried ? QStringList{"FT_Write(1)"} : QStringList{});
            QCOMPARE(env.nowMs(), t0);
        } else {
            // Input purged first, then the pause, whatever became of the byte.
            QCOMPARE(env.link().GetInBufferCount(), tried ? 0 : 5);
            QCOMPARE(env.nowMs() - t0, tried ? 50 : 0);
        }
        if (lost) {  // the wait for an answer stops at once; the failed send was the report
            env.form().txtErrors->clearLog();
            const qint64 t1 = env.nowMs();
            QVERIFY(!env.link().ReceiveAck(1));
            QCOMPARE(env.nowMs(), t1);
            QVERIFY(env.log().isEmpty());
        }
    }

    // Only the last of the bytes taken counts, and only `count` bytes are taken.
    void receiveAckOnCom_data() {
        QTest::addColumn<QByteArray>("waiting");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("result");
        QTest::newRow("ACK") << QByteArray("\x06") << 1 << true;
        QTest::newRow("NAK") << QByteArray("\x15") << 1 << false;
        QTest::newRow("zero byte") << QByteArray(1, '\0') << 1 << false;
        QTest::newRow("NAK then ACK") << QByteArray("\x15\x06") << 2 << true;
        QTest::newRow("ACK then NAK") << QByteArray("\x06\x15") << 2 << false;
        QTest::newRow("only the first count bytes are taken")
            << QByteArray("\x15\x06") << 1 << false;
    }
    void receiveAckOnCom() {
        QFETCH(QByteArray, waiting);
        QFETCH(int, count);
        QFETCH(bool, result);
        LinkEnv env;
        const qint64 t0 = env.openCom(3);
        env.ports->inject(3, waiting);
        QCOMPARE(env.link().ReceiveAck(count), result);
        QCOMPARE(env.rx().RxBuffer, waiting.left(count));
        QCOMPARE(env.link().GetInBufferCount(), waiting.size() - count);
        QCOMPARE(env.nowMs(), t0);  // enough was waiting at the first poll
    }

    // The write's first step: the identity out, then the radio's answer after one pause.
    void receiveAckWaitsForTheRadio_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<bool>("nak");
        QTest::newRow("COM ACK") << false << false;
        QTest::newRow("COM NAK") << false << true;
        QTest::newRow("FTDI ACK") << true << false;
        QTest::newRow("FTDI NAK") << true << true;
    }
    void receiveAckWaitsForTheRadio() {
        QFETCH(bool, ftdi);
        QFETCH(bool, nak);
        LinkEnv env;
        SimRadio& radio = env.radioOn(ftdi);
        radio.faults.nakIdentity = nak;
        const qint64 t0 = env.open(ftdi);
        env.ctx->state.cancel.CancelRequested = true;  // from an earlier wait: forgotten
        const QByteArray id = SimRadio::identityAH029();
        quint32 written = 0;
        if (ftdi)
            env.d2xx->FT_Write(env.linkState().FTHandle, reinterpret_cast<const quint8*>(id.data()),
                               static_cast<quint32>(id.size()), &written);
        else
            env.link().MSComm1().Output(id);
        QCOMPARE(env.link().ReceiveAck(1), !nak);
        QCOMPARE(env.nowMs() - t0, 20);
        QCOMPARE(env.rx().RxBuffer, QByteArray(1, nak ? 0x15 : 6));
    }

    // Every way out of the wait without an answer: the time-out after 25 polls, a pulled
    // cable (at the next poll) and the Cancel Read button (after the pause it was pressed in).
    void receiveAckGivesUp_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<int>("count");
        QTest::addColumn<Event>("event");
        QTest::addColumn<int>("elapsedMs");
        QTest::newRow("COM nothing") << false << 1 << Event::None << 25 * 50;
        QTest::newRow("COM too few") << false << 2 << Event::None << 25 * 50;
        QTest::newRow("FTDI nothing") << true << 1 << Event::None << 25 * 50;
        QTest::newRow("COM cable pulled") << false << 1 << Event::Pull << 50;
        QTest::newRow("FTDI cable pulled") << true << 1 << Event::Pull << 50;
        QTest::newRow("COM cancelled") << false << 2 << Event::Cancel << 100;
    }
    void receiveAckGivesUp() {
        QFETCH(bool, ftdi);
        QFETCH(int, count);
        QFETCH(Event, event);
        QFETCH(int, elapsedMs);
        LinkEnv env;
        SimRadio& radio = env.radioOn(ftdi);
        const qint64 t0 = env.open(ftdi);
        env.rx().HandshakeDelay = 50;
        env.form().DisableButtons();
        if (!ftdi && count == 2)
            env.ports->inject(3, QByteArray("\x06"));  // one byte short
        if (event == Event::Pull)
            env.clock.afterMs(30, [&radio] { radio.pullCable(); });
        if (event == Event::Cancel)
            env.clock.afterMs(75, [&env] { env.form().cmdCancelRead->click(); });
        QVERIFY(!env.link().ReceiveAck(count));
        QCOMPARE(env.nowMs() - t0, elapsedMs);
        QCOMPARE(env.log().size(), 1);
        QCOMPARE(env.linkState().LinkLost, event == Event::Pull);
        if (event != Event::Pull) {  // purged
            QCOMPARE(env.d2xx->calls, ftdi ? QStringList{"FT_Purge(3)"} : QStringList{});
            QCOMPARE(env.link().GetInBufferCount(), 0);
        }
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
        QVERIFY_THROWS_EXCEPTION(RunError, env.link().ReceiveAck(0));
    }
};

QTEST_MAIN(LinkHandshakeTest)
#include "test_link_handshake.moc"

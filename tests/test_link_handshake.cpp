#include <QPushButton>
#include <QtTest>

#include "core/errors.h"
#include "support/linkenv.h"

namespace {

const QString kAboutToSend = "SendACK: about to send ACK";
const QString kAckSent = "SendACK: ACK sent";
const QString kAckFailed = "SendACK: ACK failed";
const QString kNakFailed = "Write Failed sending NAK";

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
    // ---- SendACK / SendNAK -------------------------------------------------------------

    void sendHandshakeByte_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<bool>("ack");
        QTest::addColumn<Fate>("fate");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("lost");
        for (bool ftdi : {false, true}) {
            for (bool ack : {true, false}) {
                const QByteArray row = QByteArray(ftdi ? "FTDI " : "COM ") + (ack ? "ACK" : "NAK");
                const QStringList failed =
                    ack ? QStringList{kAboutToSend, kAckFailed} : QStringList{kNakFailed};
                QTest::newRow(row)
                    << ftdi << ack << Fate::Sent << QByteArray(1, ack ? 6 : 0x15)
                    << (ack ? QStringList{kAboutToSend, kAckSent} : QStringList{}) << false;
                // The COM port raises error 8012; the device returns an I/O error.
                QTest::newRow(row + " refused")
                    << ftdi << ack << Fate::Refused << QByteArray() << failed << !ftdi;
                QTest::newRow(row + " cable pulled")
                    << ftdi << ack << Fate::Pulled << QByteArray() << failed << true;
                QTest::newRow(row + " link closed")
                    << ftdi << ack << Fate::Closed << QByteArray() << QStringList{} << false;
            }
        }
    }
    void sendHandshakeByte() {
        QFETCH(bool, ftdi);
        QFETCH(bool, ack);
        QFETCH(Fate, fate);
        QFETCH(QByteArray, wire);
        QFETCH(QStringList, lines);
        QFETCH(bool, lost);
        LinkEnv env;
        SimRadio* radio = fate == Fate::Pulled ? &env.radioOn(ftdi) : nullptr;
        const qint64 t0 = env.open(ftdi);
        env.rx().HandshakeDelay = 50;
        if (!ftdi)  // the radio's earlier bytes must not be taken for its answer
            env.ports->inject(3, QByteArray("\x01\x02\x03\x04\x05"));
        if (fate == Fate::Refused && ftdi)
            env.d2xx->fail["FT_Write"] = FT_IO_ERROR;
        else if (fate == Fate::Refused)
            env.comm().failOutput = true;
        else if (fate == Fate::Pulled)
            radio->pullCable();
        else if (fate == Fate::Closed)
            env.linkState().LinkOpen = false;

        if (ack)
            env.link().SendACK();
        else
            env.link().SendNAK();

        const QByteArray written =
            ftdi ? env.d2xx->devices[0].written : env.ports->ports[3].written;
        QCOMPARE(radio ? radio->pcBytes : written, wire);
        QCOMPARE(env.log(), lines);
        QCOMPARE(env.linkState().LinkLost, lost);
        const bool tried = fate != Fate::Closed;
        if (ftdi) {
            // One byte written; no purge before it and no pause after it.
            QCOMPARE(env.d2xx->calls, tried ? QStringList{"FT_Write(1)"} : QStringList{});
            QCOMPARE(env.rx().FTByteCount, tried ? 1u : 0u);
            QCOMPARE(env.nowMs(), t0);
        } else {
            // Input purged first, then the pause, whatever became of the byte.
            QVERIFY(env.d2xx->calls.isEmpty());
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

    // The write's first step: the identity out, then the radio's answer after one pause.
    void receiveAckWaitsForTheRadio_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<bool>("nak");
        QTest::addColumn<QStringList>("lines");
        const QStringList refused{"ReceiveAck: ACK not received. Received hex 15"};
        QTest::newRow("COM ACK") << false << false << QStringList{};
        QTest::newRow("COM NAK") << false << true << refused;
        QTest::newRow("FTDI ACK") << true << false << QStringList{};
        QTest::newRow("FTDI NAK") << true << true << refused;
    }
    void receiveAckWaitsForTheRadio() {
        QFETCH(bool, ftdi);
        QFETCH(bool, nak);
        QFETCH(QStringList, lines);
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
        QCOMPARE(radio.pcBytes, id);
        QCOMPARE(env.log(), lines);
        QCOMPARE(env.rx().RxBuffer, QByteArray(1, nak ? 0x15 : 6));
        QCOMPARE(env.rx().AckPollCount, 0);
    }

    // Every way out of the wait without an answer: the time-out after 25 polls, a pulled
    // cable (at the next poll) and the Cancel Read button (after the pause it was pressed in).
    void receiveAckGivesUp_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<QByteArray>("waiting");
        QTest::addColumn<int>("count");
        QTest::addColumn<Event>("event");
        QTest::addColumn<int>("elapsedMs");
        QTest::addColumn<int>("polls");
        QTest::addColumn<QString>("line");
        const QString nothing = "ReceiveAck: timed out. Bytes in buffer=0";
        const QString lost = "ReceiveAck: the connection to the radio was lost";
        QTest::newRow("COM nothing")
            << false << QByteArray() << 1 << Event::None << 25 * 50 << 25 << nothing;
        QTest::newRow("COM too few") << false << QByteArray("\x06") << 2 << Event::None << 25 * 50
                                     << 25 << "ReceiveAck: timed out. Bytes in buffer=1";
        QTest::newRow("FTDI nothing")
            << true << QByteArray() << 1 << Event::None << 25 * 50 << 25 << nothing;
        QTest::newRow("COM cable pulled")
            << false << QByteArray() << 1 << Event::Pull << 50 << 2 << lost;
        QTest::newRow("FTDI cable pulled")
            << true << QByteArray() << 1 << Event::Pull << 50 << 2 << lost;
        QTest::newRow("COM cancelled") << false << QByteArray() << 2 << Event::Cancel << 100 << 2
                                       << "ReceiveAck: cancelled by user";
    }
    void receiveAckGivesUp() {
        QFETCH(bool, ftdi);
        QFETCH(QByteArray, waiting);
        QFETCH(int, count);
        QFETCH(Event, event);
        QFETCH(int, elapsedMs);
        QFETCH(int, polls);
        QFETCH(QString, line);
        LinkEnv env;
        SimRadio& radio = env.radioOn(ftdi);
        const qint64 t0 = env.open(ftdi);
        env.rx().HandshakeDelay = 50;
        env.form().DisableButtons();
        if (!ftdi)
            env.ports->inject(3, waiting);
        if (event == Event::Pull)
            env.clock.afterMs(30, [&radio] { radio.pullCable(); });
        if (event == Event::Cancel) {
            env.clock.afterMs(75, [&env] {
                env.form().cmdCancelRead->click();
                env.ports->inject(3, QByteArray("\x01"));
            });
        }
        QVERIFY(!env.link().ReceiveAck(count));
        QCOMPARE(env.nowMs() - t0, elapsedMs);
        QCOMPARE(env.rx().AckPollCount, polls);
        QCOMPARE(env.log(), QStringList{line});
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
        QVERIFY(env.log().isEmpty());
    }

    void receiveAckRefusesACountOfZero() {
        LinkEnv env;
        env.openCom(3);
        QVERIFY_THROWS_EXCEPTION(RunError, env.link().ReceiveAck(0));
    }
};

QTEST_MAIN(LinkHandshakeTest)
#include "test_link_handshake.moc"

#include <QPushButton>
#include <QtTest>

#include "core/errors.h"
#include "support/linkenv.h"

// The handshake bytes on both back-ends: ACK and NAK out, whatever becomes of them, and
// every way the wait for the radio's answer ends.
namespace {
enum Fate { Sent, Refused, Pulled, Closed };
}

class LinkHandshakeTest : public QObject {
    Q_OBJECT
private slots:
    void sendHandshakeByte_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<bool>("ack");
        QTest::addColumn<int>("fate");
        for (bool ftdi : {false, true})
            for (bool ack : {true, false})
                for (int fate : {Sent, Refused, Pulled, Closed})
                    QTest::addRow("%s %s, fate %d", ftdi ? "FTDI" : "COM", ack ? "ACK" : "NAK",
                                  fate)
                        << ftdi << ack << fate;
    }
    void sendHandshakeByte() {
        QFETCH(bool, ftdi);
        QFETCH(bool, ack);
        QFETCH(int, fate);
        LinkEnv env;
        SimRadio& radio = env.radioOn(ftdi);
        const qint64 t0 = env.open(ftdi);
        env.rx().HandshakeDelay = 50;
        if (!ftdi)  // the radio's earlier bytes must not be taken for its answer
            env.ports->inject(3, QByteArray("\x01\x02\x03\x04\x05"));
        if (fate == Refused && ftdi)
            env.d2xx->fail["FT_Write"] = FT_IO_ERROR;
        else if (fate == Refused)
            env.comm().failOutput = true;  // error 8012: the device has gone
        else if (fate == Pulled)
            radio.pullCable();
        else if (fate == Closed)
            env.linkState().LinkOpen = false;
        ack ? env.link().SendACK() : env.link().SendNAK();

        QCOMPARE(radio.pcBytes, fate == Sent ? QByteArray(1, ack ? 6 : 0x15) : QByteArray());
        const bool lost = fate == Pulled || (fate == Refused && !ftdi);
        QCOMPARE(env.linkState().LinkLost, lost);
        QCOMPARE(env.log().contains("SendACK: ACK sent"), ack && fate == Sent);
        QCOMPARE(env.log().filter("fail", Qt::CaseInsensitive).size(),
                 fate == Refused || fate == Pulled ? 1 : 0);
        // COM: input purged first, then the pause, whatever became of the byte. FTDI: one
        // byte written, no purge, no pause.
        if (ftdi)
            QCOMPARE(env.d2xx->calls, fate != Closed ? QStringList{"FT_Write(1)"} : QStringList{});
        else
            QCOMPARE(env.link().GetInBufferCount(), fate != Closed ? 0 : 5);
        QCOMPARE(env.nowMs() - t0, !ftdi && fate != Closed ? 50 : 0);
        if (lost) {  // the wait for an answer stops at once; the failed send was the report
            QVERIFY(!env.link().ReceiveAck(1));
            QCOMPARE(env.nowMs() - t0, ftdi ? 0 : 50);
        }
    }

    // Only the last of the `count` bytes taken counts; what was waiting is taken at once.
    void receiveAckTakesCountBytes() {
        LinkEnv env;
        const qint64 t0 = env.openCom(3);
        env.ports->inject(3, QByteArray("\x15\x06\x06\x15\x15"));
        QVERIFY(!env.link().ReceiveAck(1));
        QVERIFY(env.link().ReceiveAck(1));
        QVERIFY(!env.link().ReceiveAck(2));
        QCOMPARE(env.rx().RxBuffer, QByteArray("\x06\x15"));
        QCOMPARE(env.link().GetInBufferCount(), 1);
        QCOMPARE(env.nowMs(), t0);
        QVERIFY_THROWS_EXCEPTION(RunError, env.link().ReceiveAck(0));
    }

    // The answer after one pause, or none: the time-out after 25 polls, a pulled cable at
    // the next poll, Cancel Read after the pause it was pressed in; then the input purged.
    void receiveAck_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<QString>("event");
        QTest::addColumn<int>("elapsedMs");
        QTest::newRow("COM ACK") << false << "ACK" << 50;
        QTest::newRow("FTDI NAK") << true << "NAK" << 50;
        QTest::newRow("COM silence") << false << "" << 25 * 50;
        QTest::newRow("FTDI silence") << true << "" << 25 * 50;
        QTest::newRow("COM too few") << false << "one byte" << 25 * 50;
        QTest::newRow("FTDI cable pulled") << true << "pull" << 50;
        QTest::newRow("COM cancelled") << false << "cancel" << 100;
    }
    void receiveAck() {
        QFETCH(bool, ftdi);
        QFETCH(QString, event);
        QFETCH(int, elapsedMs);
        LinkEnv env;
        SimRadio& radio = env.radioOn(ftdi);
        radio.faults.nakIdentity = event == "NAK";
        radio.faults.silent = event != "ACK" && event != "NAK";
        const qint64 t0 = env.open(ftdi);
        env.rx().HandshakeDelay = 50;
        env.form().DisableButtons();
        env.ctx->state.cancel.CancelRequested = true;  // from an earlier wait: forgotten
        if (event == "ACK" || event == "NAK") {
            quint32 written = 0;
            const QByteArray id = SimRadio::identityAH029();
            if (ftdi)
                env.d2xx->FT_Write(env.linkState().FTHandle,
                                   reinterpret_cast<const quint8*>(id.data()), 10, &written);
            else
                env.link().MSComm1().Output(id);
        }
        if (event == "one byte")
            env.ports->inject(3, QByteArray("\x06"));
        if (event == "pull")
            env.clock.afterMs(30, [&radio] { radio.pullCable(); });
        if (event == "cancel")
            env.clock.afterMs(75, [&env] { env.form().cmdCancelRead->click(); });
        QCOMPARE(env.link().ReceiveAck(event == "one byte" ? 2 : 1), event == "ACK");
        QCOMPARE(env.nowMs() - t0, elapsedMs);
        QCOMPARE(env.linkState().LinkLost, event == "pull");
        if (event != "ACK" && event != "NAK" && event != "pull") {
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
    }
};

QTEST_MAIN(LinkHandshakeTest)
#include "test_link_handshake.moc"

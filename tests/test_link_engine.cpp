// The link engine on both back-ends in virtual time: opening and closing, the handshake
// bytes and the receive engine.
#include <QtTest>
#include <numeric>
#include "core/errors.h"
#include "support/linkenv.h"

namespace {
enum Fate { Sent, Refused, Pulled, Closed };  // what becomes of a handshake byte
QByteArray counting(int n, int from = 0) {
    QByteArray b(n, '\0');
    std::iota(b.begin(), b.end(), char(from));
    return b;
}
const QByteArray kNothing(1, '\0');  // received() after a receive that got nothing
}  // namespace

class LinkTest : public QObject {
    Q_OBJECT
private slots:
    void comOpenSetsUpThePortAndDropsEarlyNoise() {
        LinkEnv env;
        SimRadio& radio = env.radioOnCom(3);
        // The radio talks while the port settles; those bytes are dropped.
        env.clock.afterMs(100, [&] { radio.pressBand(env.clock.nowNs()); });
        env.openCom(3);
        QCOMPARE(env.nowMs(), 500);
        QVERIFY(env.link().isOpen() && !env.link().timedOut() && !env.link().lost());
        FakeSerialControl& c = env.comm();
        QVERIFY(c.PortOpen() && c.CommPort() == 3 && c.InputMode() == 1);
        QVERIFY(c.Settings() == "38400,N,8,1" && c.DTREnable() && c.RTSEnable());
        QCOMPARE(
            c.Handshaking() + c.Protocol() + c.RThreshold() + c.SThreshold() + c.InBufferCount(),
            0);
        QVERIFY(env.ports->ports[3].written.isEmpty() && env.boxes.shown.isEmpty());

        // Opening again, or another port, closes the first; closing keeps isOpen().
        env.openCom(3);
        env.openCom(5);
        QCOMPARE(env.comm().CommPort(), 5);
        env.link().CloseCommPort();
        QVERIFY(!env.comm().PortOpen() && env.link().isOpen() && env.boxes.shown.isEmpty());
    }

    // A failed FTDI open closes what it opened, tries nothing after the failing step and
    // leaves no handle; a description too long is refused before the library is asked.
    void ftdiOpenFails_data() {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<QByteArray>("device");  // the one device present, if any
        QTest::addColumn<QString>("failing");    // a configuration step that fails
        QTest::newRow("no device") << QByteArray("FT232R USB UART") << QByteArray() << QString();
        QTest::newRow("no device, empty description") << QByteArray() << QByteArray() << QString();
        QTest::newRow("no device, character FF is byte FF")
            << QByteArray("Cable \xFF") << QByteArray() << QString();
        QTest::newRow("65 characters are refused")
            << QByteArray(65, 'D') << QByteArray(64, 'D') << QString();
        for (const char* step :
             {"SetBaudRate", "SetDataCharacteristics", "SetFlowControl", "SetTimeouts", "SetChars"})
            QTest::newRow(step) << QByteArray("Cable") << QByteArray("Cable")
                                << "FT_" + QString(step);
    }
    void ftdiOpenFails() {
        QFETCH(QByteArray, description);
        QFETCH(QByteArray, device);
        QFETCH(QString, failing);
        LinkEnv env;
        if (!device.isEmpty())
            env.d2xx->devices.append({device, nullptr, {}});
        env.d2xx->fail[failing] = FT_IO_ERROR;  // none when empty
        env.openCom(3);
        env.linkState().PortNumber = 999;
        env.linkState().FTDIDescription = QString::fromLatin1(description);
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);
        QCOMPARE(env.log().size(), 1);
        // FT_OpenEx gets the description zero-padded, or is not asked at all.
        QCOMPARE(env.d2xx->lastOpenDescription,
                 description.size() > 64 ? QByteArray() : description.leftJustified(65, 0));
        QVERIFY(!env.link().isOpen() && !env.link().openFailure().isEmpty());
        QVERIFY(!env.d2xx->anyOpen() && env.boxes.shown.isEmpty());
        QVERIFY(failing.isEmpty() || (env.d2xx->calls.last() == "FT_Close" &&
                                      env.d2xx->calls.end()[-2].startsWith(failing + '(')));
    }

    // The handshake bytes on both back-ends: ACK and NAK out, whatever becomes of them, and
    // every way the wait for the radio's answer ends.
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
        env.link().setHandshakeDelay(50);
        if (!ftdi)  // the radio's earlier bytes must not be taken for its answer
            env.ports->inject(3, QByteArray("\x01\x02\x03\x04\x05"));
        if (fate == Refused && ftdi)
            env.d2xx->fail["FT_Write"] = FT_IO_ERROR;
        else if (fate == Refused)
            env.comm().failOutput = true;  // error 8012: the device has gone
        else if (fate == Pulled)
            radio.pullCable();
        else if (fate == Closed) {  // a later open failed
            env.link().SetCommPort(8, env.linkState().PortSettings);
            env.form().txtErrors->clearLog();
        }
        ack ? env.link().SendACK() : env.link().SendNAK();

        QCOMPARE(radio.pcBytes, fate == Sent ? QByteArray(1, ack ? 6 : 0x15) : QByteArray());
        const bool lost = fate == Pulled || fate == Refused;
        QCOMPARE(env.link().lost(), lost);
        QCOMPARE(env.log().contains("SendACK: ACK sent"), ack && fate == Sent);
        QCOMPARE(env.log().filter("fail", Qt::CaseInsensitive).size(),
                 fate == Refused || fate == Pulled ? 1 : 0);
        // Input purged first, then the pause, whatever became of the byte.
        QCOMPARE(env.link().GetInBufferCount(), 0);
        QCOMPARE(env.nowMs() - t0, fate != Closed ? 50 : 0);
        // After a loss the wait for an answer stops at once; the failed send was the report.
        QVERIFY(!lost || (!env.link().ReceiveAck(1) && env.nowMs() - t0 == 50));
    }

    // The receive engine on both back-ends: what it keeps, how long it waits, and how a
    // silence or a pulled cable ends it.
    // An ACK read: only the last of the `count` bytes taken counts; what was waiting is taken
    // at once. More than asked: the newest bytes, after one 5 ms poll. Half a second without
    // a new byte is a time-out; the bytes waiting count towards the next receive, and a byte
    // every 500 ms restarts the count just in time.
    void comReceive() {
        LinkEnv env;
        qint64 t0 = env.openCom(3);
        env.ports->inject(3, QByteArray("\x15\x06\x06\x15\x15"));
        QVERIFY(!env.link().ReceiveAck(1) && env.link().ReceiveAck(1) && !env.link().ReceiveAck(2));
        QVERIFY(env.link().received() == "\x06\x15" && env.link().GetInBufferCount() == 1);
        QCOMPARE(env.nowMs(), t0);
        QVERIFY_THROWS_EXCEPTION(RunError, env.link().ReceiveAck(0));
        env.ports->inject(3, counting(12));  // after the one byte left
        env.link().Receive(10);
        QCOMPARE(env.link().received(), counting(10, 2));
        QCOMPARE(env.nowMs() - t0, 5);
        env.ports->inject(3, counting(6));
        env.link().Receive(10);
        QCOMPARE(env.nowMs() - t0, 5 + 5 + 101 * 5);
        QVERIFY(env.link().timedOut());
        QCOMPARE(env.timeoutCaption(), " 1 timeouts");
        QCOMPARE(env.link().received(), kNothing);
        env.ports->inject(3, counting(4, 6));
        env.link().Receive(10);
        QCOMPARE(env.link().received(), counting(10));
        QVERIFY(!env.link().timedOut());
        t0 = env.nowMs();
        for (int i = 1; i <= 4; ++i)
            env.clock.afterMs(500 * i, [&env, i] { env.ports->inject(3, counting(1, '@' + i)); });
        env.link().Receive(4);
        QCOMPARE(env.link().received(), QByteArray("ABCD"));
        QCOMPARE(env.nowMs() - t0, 2000);
        QCOMPARE(env.timeoutCaption(), " 1 timeouts");
        QByteArray block;  // a block read takes what waits, without waiting
        env.ports->inject(3, counting(70));
        env.link().ReceiveFT(block, 64);
        QCOMPARE(block, counting(64));
        env.link().ReceiveFT(block, 64);
        QCOMPARE(block, counting(6, 64));
        QCOMPARE(env.nowMs() - t0, 2000);
        // A receive started by a handler inside another's pause waits for it, bounded; then
        // it goes ahead and takes what waits. Busy ends with each receive, even an abandoned
        // one: the receives after these do not wait.
        env.form().txtErrors->clearLog();
        QByteArray inner;
        qint64 innerMs = 0;
        env.clock.afterMs(10, [&env, &inner, &innerMs] {
            env.ports->inject(3, counting(2));
            innerMs = env.nowMs();
            env.link().Receive(2);
            innerMs = env.nowMs() - innerMs;
            inner = env.link().received();
        });
        env.link().Receive(2);
        QCOMPARE(inner, counting(2));
        QCOMPARE(innerMs, 510);  // 101 passes of 5 ms, then a poll that takes what waits
        QCOMPARE(env.log().filter("Receive02: entered send/receive busy").size(), 101);
        env.clock.afterMs(20, [&env] { env.ctx->requestShutdown(); });
        QVERIFY_THROWS_EXCEPTION(ShutdownRequested, env.link().Receive(10));
        env.form().txtErrors->clearLog();
        env.link().Receive(10);  // the port closed at the shut-down: no wait
        QVERIFY(env.log().filter("Receive02").isEmpty());
    }

    // A pulled cable ends the wait at the next poll, or is seen by the queue count; it is
    // reported once, and every later call answers at once.
    void pulledCableIsReportedOnce_data() {
        QTest::addColumn<bool>("ftdi");  // FTDI: seen by the queue count
        QTest::newRow("COM") << false;
        QTest::newRow("FTDI") << true;
    }
    void pulledCableIsReportedOnce() {
        QFETCH(bool, ftdi);
        LinkEnv env;
        SimRadio& radio = env.radioOn(ftdi);
        const qint64 t0 = env.open(ftdi);
        if (ftdi) {
            radio.pullCable();
            QCOMPARE(env.link().GetInBufferCount(), 0);
        } else {
            env.clock.afterMs(100, [&radio] { radio.pullCable(); });
            env.link().Receive(10);
            QCOMPARE(env.nowMs() - t0, 100);
        }
        QVERIFY(env.link().lost());
        env.link().Receive(10);
        QByteArray block;
        env.link().ReceiveFT(block, 64);
        QVERIFY(env.link().timedOut() && env.link().received() == kNothing);
        QCOMPARE(env.log().filter("the connection to the radio was lost").size(), 1);
        QCOMPARE(env.timeoutCaption(), "0 timeouts");
        env.openCom(5);  // a good open forgets the loss
        QVERIFY(!env.link().lost() && !env.link().timedOut());
    }

    // An FTDI block read: a status of 4 counts as complete; nothing for a second gives
    // nothing and times out; an error is no time-out unless the device has gone.
    void ftdiBlockRead_data() {
        QTest::addColumn<int>("event");  // in this order from 0
        int event = 0;
        for (const char* name :
             {"data, status 0", "data, status 4", "silence", "other error", "device gone"})
            QTest::newRow(name) << event++;
    }
    void ftdiBlockRead() {
        QFETCH(int, event);
        LinkEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        env.openFtdi();
        if (event <= 1) {
            radio.pressBand(env.clock.nowNs());
            env.link().Receive(10);
            env.link().SendACK();  // the radio starts sending its memory
            env.d2xx->readStatus = event == 1 ? FT_IO_ERROR : FT_OK;
            env.form().txtErrors->clearLog();
        }
        if (event == 3)
            env.d2xx->fail["FT_Read"] = FT_OTHER_ERROR;
        if (event == 4)
            radio.pullCable();
        const bool timedOut = event >= 2;
        const qint64 t0 = env.nowMs();
        QByteArray block;
        env.link().ReceiveFT(block, 64);
        QCOMPARE(env.link().timedOut(), timedOut);
        QCOMPARE(env.link().lost(), event == 4);
        QCOMPARE(block, timedOut ? QByteArray() : radio.memory.left(64));
        QCOMPARE(env.log().isEmpty(), !timedOut);
        QCOMPARE(env.timeoutCaption(), event == 2 ? " 1 timeouts" : "0 timeouts");
        if (event == 2)
            QCOMPARE(env.nowMs() - t0, 1000);  // the device's read time-out
    }

    // A count out of range is an error 9 that leaves the buffers alone; on FTDI as on COM,
    // half a second of silence is a time-out. A failed purge or close is logged.
    void ftdiReceive() {
        LinkEnv env;
        const qint64 t0 = env.openFtdi();
        QByteArray block("kept");
        QVERIFY_THROWS_EXCEPTION(RunError, env.link().Receive(0));
        QVERIFY_THROWS_EXCEPTION(RunError, env.link().ReceiveFT(block, -5));
        QCOMPARE(env.link().received() + block, QByteArray("kept"));
        QCOMPARE(env.nowMs(), t0);
        env.link().Receive(10);
        QCOMPARE(env.nowMs() - t0, 101 * 5);
        QVERIFY(env.link().timedOut() && env.timeoutCaption() == " 1 timeouts");
        env.linkState().FTDetectDescription = "Cable B";
        env.form().txtErrors->clearLog();
        env.d2xx->fail["FT_Purge"] = env.d2xx->fail["FT_Close"] = FT_IO_ERROR;
        env.link().PurgeBuffers();
        env.link().CloseCommPort();
        QCOMPARE(env.log(),
                 QStringList({"Purge Failed for device Cable B", "Close Failed forCable B"}));
    }
};

QTEST_MAIN(LinkTest)
#include "test_link_engine.moc"

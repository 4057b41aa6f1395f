#include <QtTest>

#include "core/errors.h"
#include "support/linkenv.h"

// The receive engine on both back-ends in virtual time: what it keeps, how long it waits,
// and how a silence or a pulled cable ends it.
namespace {

QByteArray counting(int n, int from = 0) {
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(static_cast<char>(from + i));
    return b;
}
const QByteArray kNothing(1, '\0');  // RxBuffer after a receive that got nothing

}  // namespace

class LinkReceiveTest : public QObject {
    Q_OBJECT
private slots:
    // More than asked: the newest bytes, after one 5 ms poll. Half a second without a new
    // byte is a time-out; the bytes waiting count towards the next receive, and a byte
    // every 500 ms restarts the count just in time.
    void comReceive() {
        LinkEnv env;
        qint64 t0 = env.openCom(3);
        env.ports->inject(3, counting(12));
        env.link().Receive(10);
        QCOMPARE(env.rx().RxBuffer, counting(10, 2));
        QCOMPARE(env.nowMs() - t0, 5);
        env.ports->inject(3, counting(6));
        env.link().Receive(10);
        QCOMPARE(env.nowMs() - t0, 5 + 5 + 101 * 5);
        QVERIFY(env.linkState().RxTimedOut && !env.rx().ReceiveBusy);
        QCOMPARE(env.timeoutCaption(), " 1 timeouts");
        QCOMPARE(env.rx().RxBuffer, kNothing);
        env.ports->inject(3, counting(4, 6));
        env.link().Receive(10);
        QCOMPARE(env.rx().RxBuffer, counting(10));
        QVERIFY(!env.linkState().RxTimedOut);
        t0 = env.nowMs();
        for (int i = 1; i <= 4; ++i)
            env.clock.afterMs(500 * i, [&env, i] { env.ports->inject(3, counting(1, '@' + i)); });
        env.link().Receive(4);
        QCOMPARE(env.rx().RxBuffer, QByteArray("ABCD"));
        QCOMPARE(env.nowMs() - t0, 2000);
        QCOMPARE(env.timeoutCaption(), " 1 timeouts");
        QByteArray block;  // a block read takes what waits, without waiting
        env.ports->inject(3, counting(70));
        env.link().ReceiveFT(block, 64);
        QCOMPARE(block, counting(64));
        env.link().ReceiveFT(block, 64);
        QCOMPARE(block, counting(6, 64));
        QCOMPARE(env.nowMs() - t0, 2000);
    }

    void ftdiSilenceTimesOut() {
        LinkEnv env;
        const qint64 t0 = env.openFtdi("Cable");
        env.link().Receive(10);
        QCOMPARE(env.nowMs() - t0, 101 * 5);
        QVERIFY(env.linkState().RxTimedOut);
        QCOMPARE(env.timeoutCaption(), " 1 timeouts");
        QCOMPARE(env.rx().RxBuffer, kNothing);
    }

    // A receive started while another is under way waits for it, bounded.
    void nestedReceiveWaitsForTheOuterOne_data() {
        QTest::addColumn<int>("busyForMs");
        QTest::addColumn<int>("passes");
        QTest::newRow("outer receive ends") << 15 << 3;
        QTest::newRow("outer receive never ends") << -1 << 101;
    }
    void nestedReceiveWaitsForTheOuterOne() {
        QFETCH(int, busyForMs);
        QFETCH(int, passes);
        LinkEnv env;
        env.openCom(3);
        env.ports->inject(3, counting(2));
        env.rx().ReceiveBusy = true;
        if (busyForMs >= 0)
            env.clock.afterMs(busyForMs, [&env] { env.rx().ReceiveBusy = false; });
        env.link().Receive(2);
        QCOMPARE(env.log().filter("Receive02: entered send/receive busy").size(), passes);
        QCOMPARE(env.rx().RxBuffer, counting(2));
        QVERIFY(!env.rx().ReceiveBusy);
        env.clock.afterMs(20, [&env] { env.ctx->requestShutdown(); });
        QVERIFY_THROWS_EXCEPTION(ShutdownRequested, env.link().Receive(10));
        QVERIFY(!env.rx().ReceiveBusy);  // cleared when the receive is abandoned
    }

    // A pulled cable ends the wait at the next poll, or is seen by the queue count; it is
    // reported once, and every later call answers at once.
    void pulledCableIsReportedOnce_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<bool>("seenByQueueCount");
        QTest::newRow("COM") << false << false;
        QTest::newRow("FTDI") << true << false;
        QTest::newRow("COM, seen by the queue count") << false << true;
        QTest::newRow("FTDI, seen by the queue count") << true << true;
    }
    void pulledCableIsReportedOnce() {
        QFETCH(bool, ftdi);
        QFETCH(bool, seenByQueueCount);
        LinkEnv env;
        SimRadio& radio = env.radioOn(ftdi);
        const qint64 t0 = env.open(ftdi);
        if (seenByQueueCount) {
            radio.pullCable();
            QCOMPARE(env.link().GetInBufferCount(), 0);
        } else {
            env.clock.afterMs(100, [&radio] { radio.pullCable(); });
            env.link().Receive(10);
            QCOMPARE(env.nowMs() - t0, 100);
        }
        QVERIFY(env.linkState().LinkLost);
        env.linkState().RxTimedOut = false;
        env.link().Receive(10);
        QByteArray block;
        env.link().ReceiveFT(block, 64);
        QVERIFY(env.linkState().RxTimedOut);
        QCOMPARE(env.rx().RxBuffer, kNothing);
        QCOMPARE(env.log().filter("the connection to the radio was lost").size(), 1);
        QCOMPARE(env.timeoutCaption(), "0 timeouts");
    }

    // An FTDI block read: a status of 4 counts as complete; nothing for a second keeps the
    // stale byte and times out; an error is no time-out unless the device has gone.
    void ftdiBlockRead_data() {
        QTest::addColumn<int>("event");  // 0 data, 1 data with status 4, 2 silence, 3 error, 4 gone
        QTest::newRow("status 0") << 0;
        QTest::newRow("status 4 counts as complete") << 1;
        QTest::newRow("silence") << 2;
        QTest::newRow("other error") << 3;
        QTest::newRow("device gone") << 4;
    }
    void ftdiBlockRead() {
        QFETCH(int, event);
        LinkEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        env.openFtdi("Cable");
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
        env.rx().FTRxBytes[0] = '\xAB';  // left by an earlier read
        const bool timedOut = event >= 2;
        env.linkState().RxTimedOut = !timedOut;
        const qint64 t0 = env.nowMs();
        QByteArray block;
        env.link().ReceiveFT(block, 64);
        QCOMPARE(env.linkState().RxTimedOut, timedOut);
        QCOMPARE(env.linkState().LinkLost, event == 4);
        QCOMPARE(block, timedOut ? QByteArray(1, '\xAB') : radio.memory.left(64));
        QCOMPARE(env.log().isEmpty(), !timedOut);
        QCOMPARE(env.timeoutCaption(), event == 2 ? " 1 timeouts" : "0 timeouts");
        if (event == 2)
            QCOMPARE(env.nowMs() - t0, 1000);  // the device's read time-out
    }

    // A count out of range is an error 9 that leaves the buffers alone.
    void countOutOfRange() {
        LinkEnv env;
        env.openFtdi("Cable");
        env.rx().RxBuffer = "kept";
        QByteArray block("kept");
        QVERIFY_THROWS_EXCEPTION(RunError, env.link().Receive(0));
        QVERIFY_THROWS_EXCEPTION(RunError, env.link().Receive(4097));
        QVERIFY_THROWS_EXCEPTION(RunError, env.link().ReceiveFT(block, 4097));
        QVERIFY_THROWS_EXCEPTION(RunError, env.link().ReceiveFT(block, -5));
        QCOMPARE(env.rx().RxBuffer + block, QByteArray("keptkept"));
    }
};

QTEST_MAIN(LinkReceiveTest)
#include "test_link_receive.moc"

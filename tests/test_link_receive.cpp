#include <QtTest>

#include "core/errors.h"
#include "support/linkenv.h"

namespace {

QByteArray counting(int n, int from = 0) {
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(static_cast<char>(from + i));
    return b;
}

const QByteArray kNothing(1, '\0');  // RxBuffer after a receive that got nothing
const QString kLost = "Receive: the connection to the radio was lost";

}  // namespace

class LinkReceiveTest : public QObject {
    Q_OBJECT
private slots:
    void comKeepsTheNewestBytes() {
        LinkEnv env;
        const qint64 t0 = env.openCom(3);
        env.ports->inject(3, counting(12));
        env.link().Receive(10);

        QCOMPARE(env.rx().RxBuffer, counting(10, 2));
        QCOMPARE(env.log(), (QStringList{"Receive01: try to receive 10 bytes",
                                         "Receive05: received 12 bytes"}));
        QVERIFY(!env.linkState().RxTimedOut);
        QCOMPARE(env.link().GetInBufferCount(), 0);
        QCOMPARE(env.nowMs() - t0, 5);  // one poll
    }

    void comSilenceTimesOutAndLeavesTheBytesWaiting() {
        LinkEnv env;
        const qint64 t0 = env.openCom(3);
        env.ports->inject(3, counting(6));
        env.link().Receive(10);

        // The first poll sees the 6 bytes, then 101 polls without a new one.
        QCOMPARE(env.nowMs() - t0, 5 + 101 * 5);
        QVERIFY(env.linkState().RxTimedOut);
        QCOMPARE(env.timeoutCaption(), " 1 timeouts");
        QCOMPARE(env.log(), (QStringList{"Receive01: try to receive 10 bytes",
                                         "Receive04:  1 timeouts. InBufferCount=6. Lastcount=6",
                                         "Receive06: received 0 bytes. 6 waiting in buffer."}));
        QCOMPARE(env.rx().RxBuffer, kNothing);
        QVERIFY(!env.rx().ReceiveBusy);

        // The waiting bytes count towards the next receive.
        env.ports->inject(3, counting(4, 6));
        env.link().Receive(10);
        QCOMPARE(env.rx().RxBuffer, counting(10));
        QVERIFY(!env.linkState().RxTimedOut);
    }

    void comSlowSteadyStreamNeverTimesOut() {
        LinkEnv env;
        const qint64 t0 = env.openCom(3);
        // One byte every 500 ms: each restarts the silence count just before it runs out.
        for (int i = 1; i <= 4; ++i)
            env.clock.afterMs(500 * i, [&env, i] { env.ports->inject(3, counting(1, '@' + i)); });
        env.link().Receive(4);
        QVERIFY(!env.linkState().RxTimedOut);
        QCOMPARE(env.rx().RxBuffer, QByteArray("ABCD"));
        QCOMPARE(env.nowMs() - t0, 2000);
        QCOMPARE(env.timeoutCaption(), "0 timeouts");
    }

    void comClosedPortGivesOneZeroByte() {
        LinkEnv env;
        env.ports->ports[3] = {};
        env.linkState().PortNumber = 3;
        env.linkState().RxTimedOut = true;
        env.link().Receive(10);
        QCOMPARE(env.log(), QStringList{"Receive01: try to receive 10 bytes"});
        QCOMPARE(env.rx().RxBuffer, kNothing);
        QVERIFY(env.linkState().RxTimedOut);  // left as it was
        QVERIFY(!env.linkState().LinkLost);
        QCOMPARE(env.nowMs(), 0);
    }

    void comNestedReceiveWaitsForTheOuterOne_data() {
        QTest::addColumn<int>("busyForMs");
        QTest::addColumn<int>("passes");
        QTest::newRow("outer receive ends") << 15 << 3;
        QTest::newRow("outer receive never ends") << -1 << 101;
    }
    void comNestedReceiveWaitsForTheOuterOne() {
        QFETCH(int, busyForMs);
        QFETCH(int, passes);
        LinkEnv env;
        env.openCom(3);
        env.ports->inject(3, counting(2));
        env.rx().ReceiveBusy = true;
        if (busyForMs >= 0)
            env.clock.afterMs(busyForMs, [&env] { env.rx().ReceiveBusy = false; });
        env.link().Receive(2);

        QStringList expected{"Receive01: try to receive 2 bytes"};
        for (int i = 0; i < passes; ++i)
            expected << "Receive02: entered send/receive busy";
        expected << "Receive03: exit send/receive busy. Count=" + QString::number(passes)
                 << "Receive05: received 2 bytes";
        QCOMPARE(env.log(), expected);
        QVERIFY(!env.rx().ReceiveBusy);
    }

    void comBusyFlagIsClearedWhenTheReceiveIsAbandoned() {
        LinkEnv env;
        env.openCom(3);
        env.clock.afterMs(20, [&env] { env.ctx->requestShutdown(); });
        QVERIFY_THROWS_EXCEPTION(ShutdownRequested, env.link().Receive(10));
        QVERIFY(!env.rx().ReceiveBusy);
    }

    void pulledCableIsReportedOnce_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::newRow("COM") << false;
        QTest::newRow("FTDI") << true;
    }
    void pulledCableIsReportedOnce() {
        QFETCH(bool, ftdi);
        LinkEnv env;
        SimRadio& radio = ftdi ? env.radioOnFtdi("Cable") : env.radioOnCom(3);
        const qint64 t0 = ftdi ? env.openFtdi("Cable") : env.openCom(3);
        env.clock.afterMs(100, [&radio] { radio.pullCable(); });
        env.link().Receive(10);

        QCOMPARE(env.nowMs() - t0, 100);  // the next poll, not the silence time-out
        QCOMPARE(env.log(), (QStringList{"Receive01: try to receive 10 bytes", kLost}));
        QVERIFY(env.linkState().LinkLost);
        QVERIFY(env.linkState().RxTimedOut);
        QCOMPARE(env.rx().RxBuffer, kNothing);
        QCOMPARE(env.timeoutCaption(), "0 timeouts");
        if (ftdi)
            return;

        // Calling again gets the same answer at once, and no second report.
        env.linkState().RxTimedOut = false;
        env.link().Receive(10);
        QVERIFY(env.linkState().RxTimedOut);
        QCOMPARE(env.nowMs() - t0, 100);
        QByteArray block;
        env.link().ReceiveFT(block, 64);
        QCOMPARE(env.link().GetInBufferCount(), 0);
        QCOMPARE(env.log().count(kLost), 1);
    }

    void lossFirstSeenByTheQueueCount_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::newRow("COM") << false;
        QTest::newRow("FTDI") << true;
    }
    void lossFirstSeenByTheQueueCount() {
        QFETCH(bool, ftdi);
        LinkEnv env;
        SimRadio& radio = ftdi ? env.radioOnFtdi("Cable") : env.radioOnCom(3);
        ftdi ? env.openFtdi("Cable") : env.openCom(3);
        radio.pullCable();
        QCOMPARE(env.link().GetInBufferCount(), 0);
        QVERIFY(env.linkState().LinkLost);
        QCOMPARE(env.log(), QStringList{"GetInBufferCount: the connection to the radio was lost"});
    }

    void comBlockReadTakesWithoutWaiting_data() {
        QTest::addColumn<int>("waiting");
        QTest::addColumn<int>("taken");
        QTest::newRow("more than wanted") << 70 << 64;
        QTest::newRow("fewer than wanted") << 3 << 3;
    }
    void comBlockReadTakesWithoutWaiting() {
        QFETCH(int, waiting);
        QFETCH(int, taken);
        LinkEnv env;
        const qint64 t0 = env.openCom(3);
        env.ports->inject(3, counting(waiting));
        env.linkState().RxTimedOut = true;
        QByteArray block;
        env.link().ReceiveFT(block, 64);
        QCOMPARE(block, counting(taken));
        QCOMPARE(env.link().GetInBufferCount(), waiting - taken);
        QVERIFY(env.linkState().RxTimedOut);  // not this path's business
        QVERIFY(env.log().isEmpty());
        QCOMPARE(env.nowMs(), t0);
    }

    void timeoutCounter() {
        const QList<std::pair<QString, QString>> captions = {{"0 timeouts", " 1 timeouts"},
                                                             {" 9 timeouts", " 10 timeouts"},
                                                             {"0", " 1 timeouts"},  // start-up
                                                             {"-3 timeouts", "-2 timeouts"}};
        LinkEnv env;
        for (const auto& [before, after] : captions) {
            env.form().lblTimeoutCount->setText(before);
            env.link().bumpTimeoutCounter();
            QCOMPARE(env.timeoutCaption(), after);
        }
    }

    void ftdiReceiveTakesWhatArrived() {
        LinkEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        env.openFtdi("Cable");
        radio.pressBand(env.clock.nowNs());
        env.link().Receive(10);
        QCOMPARE(env.rx().RxBuffer, radio.identity);
        QVERIFY(!env.linkState().RxTimedOut);
        QCOMPARE(env.log(), (QStringList{"Receive01: try to receive 10 bytes",
                                         "Receive05: received 10 bytes"}));
    }

    void ftdiReceiveSilence() {
        LinkEnv env;
        const qint64 t0 = env.openFtdi("Cable");
        env.link().Receive(10);
        QCOMPARE(env.nowMs() - t0, 101 * 5);
        QVERIFY(env.linkState().RxTimedOut);
        QCOMPARE(env.rx().RxBuffer, kNothing);
        QCOMPARE(env.log(), (QStringList{"Receive01: try to receive 10 bytes",
                                         "Receive04:  1 timeouts. InBufferCount=0. Lastcount=0",
                                         "Receive06: received 0 bytes. 0 waiting in buffer."}));
    }

    void ftdiBlockRead_data() {
        QTest::addColumn<quint32>("readStatus");
        QTest::newRow("status 0") << FT_OK;
        QTest::newRow("status 4 counts as complete") << FT_IO_ERROR;
    }
    void ftdiBlockRead() {
        QFETCH(quint32, readStatus);
        LinkEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        env.openFtdi("Cable");
        radio.pressBand(env.clock.nowNs());
        env.link().Receive(10);
        env.link().SendACK();  // the radio starts sending its memory
        env.form().txtErrors->clearLog();
        env.d2xx->readStatus = readStatus;
        env.linkState().RxTimedOut = true;

        QByteArray block;
        env.link().ReceiveFT(block, 64);
        QCOMPARE(block, radio.memory.left(64));
        QVERIFY(!env.linkState().RxTimedOut);
        QVERIFY(env.log().isEmpty());
    }

    void ftdiBlockReadTimesOutWithTheStaleByte() {
        LinkEnv env;
        const qint64 t0 = env.openFtdi("Cable");
        env.rx().FTRxBytes[0] = '\xAB';  // left by an earlier read
        QByteArray block;
        env.link().ReceiveFT(block, 64);
        QCOMPARE(env.nowMs() - t0, 1000);  // the device's read time-out
        QVERIFY(env.linkState().RxTimedOut);
        QCOMPARE(env.log(), (QStringList{"FT_Read timeout ftStatus=0",
                                         "Receive04:  1 timeouts. BytesRead=0"}));
        QCOMPARE(block, QByteArray(1, '\xAB'));
    }

    void ftdiReadError_data() {
        QTest::addColumn<bool>("pulled");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("other error") << false << QStringList{"FT_Read error ftStatus=18"};
        QTest::newRow("device gone") << true << QStringList{"FT_Read error ftStatus=2", kLost};
    }
    void ftdiReadError() {
        QFETCH(bool, pulled);
        QFETCH(QStringList, lines);
        LinkEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        env.openFtdi("Cable");
        if (pulled)
            radio.pullCable();
        else
            env.d2xx->fail["FT_Read"] = FT_OTHER_ERROR;
        QByteArray block;
        env.link().ReceiveFT(block, 64);
        QVERIFY(env.linkState().RxTimedOut);
        QCOMPARE(env.linkState().LinkLost, pulled);
        QCOMPARE(env.log(), lines);
        QCOMPARE(env.timeoutCaption(), "0 timeouts");
        QCOMPARE(block.size(), 1);
    }

    void countOutOfRange_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<bool>("blockRead");
        QTest::addColumn<int>("count");
        QTest::newRow("COM receive of 0") << false << false << 0;
        QTest::newRow("COM receive of -1") << false << false << -1;
        QTest::newRow("COM block read of 0") << false << true << 0;
        QTest::newRow("FTDI receive of 4097") << true << false << 4097;
        QTest::newRow("FTDI block read of 4097") << true << true << 4097;
        QTest::newRow("FTDI block read of -5") << true << true << -5;
    }
    void countOutOfRange() {
        QFETCH(bool, ftdi);
        QFETCH(bool, blockRead);
        QFETCH(int, count);
        LinkEnv env;
        ftdi ? env.openFtdi("Cable") : env.openCom(3);
        env.rx().RxBuffer = "kept";
        QByteArray block("kept");
        try {
            blockRead ? env.link().ReceiveFT(block, count) : env.link().Receive(count);
            QFAIL("no error raised");
        } catch (const RunError& e) {
            QCOMPARE(e.number(), 9);
        }
        QCOMPARE(env.rx().RxBuffer, QByteArray("kept"));
        QCOMPARE(block, QByteArray("kept"));
        QVERIFY(env.log().isEmpty());
    }
};

QTEST_MAIN(LinkReceiveTest)
#include "test_link_receive.moc"

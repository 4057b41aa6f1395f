// Waiting, the trace log and shut-down.
#include <QtTest>

#include <QElapsedTimer>
#include <QPushButton>

#include "core/clock.h"
#include "core/errors.h"
#include "core/serialcontrol.h"
#include "link/link.h"
#include "support/testenv.h"
#include "support/testmain.h"
#include "ui/frmmessages.h"

class WaitsTest : public QObject {
    Q_OBJECT
private slots:
    void zeroOrNegativePauseReturnsAfterOnePump_data() {
        QTest::addColumn<int>("ms");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -250;
    }
    void zeroOrNegativePauseReturnsAfterOnePump() {
        QFETCH(int, ms);
        TestEnv env;
        env.form();
        const int before = env.clock.pumps;
        const qint64 t0 = env.clock.nowNs();
        env.ctx->Pause(ms);
        QCOMPARE(env.clock.pumps - before, 1);
        QCOMPARE(env.clock.nowNs(), t0);
    }

    void pauseReturnsNoEarlierThanAsked() {
        TestEnv env;
        env.form();
        env.ctx->Pause(5);
        QCOMPARE(env.clock.nowNs(), qint64(5'000'000));
        env.ctx->Pause(1000);
        QCOMPARE(env.clock.nowNs(), qint64(1'005'000'000));
    }

    void pauseKeepsWindowEventsFlowing() {
        TestEnv env;
        Form1& f = env.form();
        f.DisableButtons();
        // A click posted before the wait is handled inside it.
        QTimer::singleShot(0, f.cmdCancelRead, &QPushButton::click);
        env.ctx->Pause(20);
        QVERIFY(env.ctx->state.cancel.CancelRequested);
    }

    void failingCounterFallsBackToABlockingSleep() {
        TestEnv env;
        env.form();
        env.clock.counterFails = true;
        const int before = env.clock.pumps;
        env.ctx->Pause(500);
        QCOMPARE(env.clock.sleptMs, qint64(500));
        QCOMPARE(env.clock.pumps - before, 1);
    }

    void aCounterTooSlowForMillisecondsIsADivisionByZero() {
        TestEnv env;
        env.form();
        env.clock.frequency_ = 400;  // 0.4 ticks per millisecond rounds to 0
        try {
            env.ctx->Pause(10);
            QFAIL("no error raised");
        } catch (const RunError& e) {
            QCOMPARE(e.number(), 11);
        }
    }

    void systemClockWaitsAtLeastTheTimeAsked() {
        // Real time: only the lower bound is checked, so a slow machine cannot fail it.
        TestEnv env;
        env.form();
        SystemClock real;
        Services s = env.ctx->services();
        s.clock = &real;
        AppContext ctx(s);
        QElapsedTimer t;
        t.start();
        ctx.Pause(30);
        QVERIFY(t.nsecsElapsed() >= 30'000'000);
        t.restart();
        ctx.Pause(0);
        QVERIFY(t.elapsed() < 1000);
    }
};

class TraceLogTest : public QObject {
    Q_OBJECT
private slots:
    void linesEndInCrLfAndTheLastShows() {
        TestEnv env;
        Form1& f = env.form();
        env.ctx->LogMessage("SetCommPort: open OK for port 3");
        env.ctx->LogMessage("");
        env.ctx->LogMessage("Read: byte count 0");
        QCOMPARE(f.txtErrors->logText(),
                 QStringLiteral("SetCommPort: open OK for port 3\r\n\r\nRead: byte count 0\r\n"));
        QCOMPARE(f.txtErrors->lines(),
                 QStringList({"SetCommPort: open OK for port 3", "", "Read: byte count 0"}));
        QCOMPARE(f.txtErrors->textCursor().position(),
                 f.txtErrors->document()->characterCount() - 1);
    }

    void logIsDiscardedOnlyOnceItExceeds65000Characters() {
        TestEnv env;
        Form1& f = env.form();
        // 64998 characters and the line break: exactly 65000.
        env.ctx->LogMessage(QString(64998, 'x'));
        QCOMPARE(f.txtErrors->logLength(), 65000);
        env.ctx->LogMessage("kept");
        QCOMPARE(f.txtErrors->logLength(), 65006);
        QCOMPARE(f.txtErrors->lines().size(), 2);
        // Now over the limit: the whole log goes before the next line.
        env.ctx->LogMessage("fresh");
        QCOMPARE(f.txtErrors->logText(), QStringLiteral("fresh\r\n"));
    }

    void aLogOf65001CharactersIsClearedFirst() {
        TestEnv env;
        Form1& f = env.form();
        env.ctx->LogMessage(QString(64999, 'y'));
        QCOMPARE(f.txtErrors->logLength(), 65001);
        env.ctx->LogMessage("new");
        QCOMPARE(f.txtErrors->logText(), QStringLiteral("new\r\n"));
    }
};

class ShutdownTest : public QObject {
    Q_OBJECT
private slots:
    void closingDuringAWaitEndsTheHandlerAtOnce() {
        TestEnv env;
        env.ports->ports[3] = {};
        Form1& f = env.form();
        f.show();
        SerialControl& port = env.ctx->link().MSComm1();
        port.setCommPort(3);
        port.setPortOpen(true);
        FrmMessages& prompt = env.form().frmMessages();
        prompt.show();

        env.clock.afterMs(100, [&] { f.close(); });
        bool ranOn = false;
        AppContext::guardHandler([&] {
            env.ctx->Pause(1000);
            ranOn = true;
        });
        QVERIFY(!ranOn);
        QVERIFY(env.ctx->shuttingDown());
        QCOMPARE(env.quitRequests, 1);
        QVERIFY(env.clock.nowNs() < 200'000'000);
        QVERIFY(!port.PortOpen());
        QVERIFY(!prompt.isVisible());
        QVERIFY(!f.isVisible());

        // A later box or wait does not block either.
        bool boxShown = false;
        AppContext::guardHandler([&] {
            env.ctx->ShowMessage("x", MsgButtons::Ok, MsgIcon::None);
            boxShown = true;
        });
        QVERIFY(!boxShown);
        QVERIFY(env.boxes.shown.isEmpty());
    }

    void anUnreportedErrorInAHandlerIsShownNotFatal() {
        TestEnv env;
        env.form();
        env.boxes.shown.clear();  // start-up may have said there are no COM ports
        bool after = false;
        AppContext::guardHandler([&] {
            throw RunError(53, QStringLiteral("File not found: libftdi1.so.2"));
            after = true;
        });
        QVERIFY(!after);
        QCOMPARE(env.boxes.texts(), QStringList{"Error 53 (File not found: libftdi1.so.2)"});
        QCOMPARE(env.boxes.shown.last().icon, MsgIcon::None);
    }

    void exitMenuClosesTheWindow() {
        TestEnv env;
        Form1& f = env.form();
        f.show();
        f.mnuExit->trigger();
        QVERIFY(env.ctx->shuttingDown());
        QCOMPARE(env.quitRequests, 1);
    }
};

int main(int argc, char** argv) {
    return runTestClasses<WaitsTest, TraceLogTest, ShutdownTest>(argc, argv);
}
#include "test_app_waits.moc"

// Waiting, the trace log and shut-down.

#include <QElapsedTimer>

#include "core/clock.h"
#include "core/errors.h"
#include "core/serialcontrol.h"
#include "link/link.h"
#include "support/testenv.h"
#include "ui/frmmessages.h"

class WaitsTest : public QObject {
    Q_OBJECT
private slots:
    // A wait pumps events once for 0 ms or less, and returns no earlier than asked; a click
    // posted before it is handled inside it.
    void pausePumpsAndReturnsNoEarlierThanAsked() {
        TestEnv env;
        Form1& f = env.form();
        for (int ms : {0, -250}) {
            const int before = env.clock.pumps;
            env.ctx->Pause(ms);
            QCOMPARE(env.clock.pumps - before, 1);
        }
        QCOMPARE(env.clock.nowNs(), 0);
        f.DisableButtons();
        QTimer::singleShot(0, f.cmdCancelRead, &QPushButton::click);
        env.ctx->Pause(5);
        QVERIFY(env.clock.nowNs() == 5'000'000 && env.ctx->cancel.count(CancelKind::Read) > 0);
        env.ctx->Pause(1000);
        QCOMPARE(env.clock.nowNs(), qint64(1'005'000'000));
    }

    void failingCounterFallsBackToABlockingSleep() {
        TestEnv env;
        env.clock.counterFails = true;
        const int before = env.clock.pumps;
        env.ctx->Pause(500);
        QVERIFY(env.clock.sleptMs == 500 && env.clock.pumps - before == 1);
        env.clock.counterFails = false;
        env.clock.frequency_ = 400;  // 0.4 ticks per millisecond rounds to 0
        QVERIFY_THROWS_EXCEPTION(RunError, env.ctx->Pause(10));
    }

    // Real time: only the lower bound is checked, so a slow machine cannot fail it.
    void systemClockWaitsAtLeastTheTimeAsked() {
        SystemClock real;
        TestEnv env;
        Services s = env.ctx->services();
        s.clock = &real;
        QElapsedTimer t;
        t.start();
        AppContext(s).Pause(30);
        QVERIFY(t.nsecsElapsed() >= 30'000'000);
    }

    // Lines end in CR LF and the last shows; past 65000 characters the whole log goes
    // before the next line.
    void traceLog() {
        TestEnv env;
        Form1& f = env.form();
        f.txtErrors->clearLog();
        env.ctx->LogMessage("SetCommPort: open OK for port 3");
        env.ctx->LogMessage("");
        QCOMPARE(f.txtErrors->logText(), "SetCommPort: open OK for port 3\r\n\r\n");
        QCOMPARE(f.txtErrors->textCursor().position() + 1,
                 f.txtErrors->document()->characterCount());
        f.txtErrors->clearLog();
        env.ctx->LogMessage(QString(64998, 'x'));  // and the line break: exactly 65000
        env.ctx->LogMessage("kept");
        QCOMPARE(f.txtErrors->logLength(), 65006);
        env.ctx->LogMessage("fresh");
        QCOMPARE(f.txtErrors->logText(), "fresh\r\n");
        // A line reaches the box by itself, without anyone asking for the log.
        env.ctx->LogMessage("by itself");
        QTRY_COMPARE(f.txtErrors->document()->toPlainText(), "fresh\nby itself\n");
    }

    void closingDuringAWaitEndsTheHandlerAtOnce() {
        TestEnv env;
        env.ports->ports[3] = {};
        Form1& f = env.form();
        f.show();
        SerialControl& port = env.ctx->link().MSComm1();
        port.setCommPort(3);
        port.setPortOpen(true);
        f.frmMessages().show();
        env.clock.afterMs(100, [&] { f.close(); });
        bool ranOn = false;
        AppContext::guardHandler([&] {
            env.ctx->Pause(1000);
            ranOn = true;
        });
        QVERIFY(!ranOn && env.ctx->shuttingDown() && env.quitRequests == 1);
        QVERIFY(env.clock.nowNs() < 200'000'000);
        QVERIFY(!port.PortOpen() && !f.frmMessages().isVisible() && !f.isVisible());
        // A later box or wait does not block either.
        bool boxShown = false;
        AppContext::guardHandler([&] {
            env.ctx->ShowMessage("x", MsgButtons::Ok, MsgIcon::None);
            boxShown = true;
        });
        QVERIFY(!boxShown && env.boxes.shown.isEmpty());
    }

    void anUnreportedErrorInAHandlerIsShownNotFatal() {
        TestEnv env;
        env.form();
        env.boxes.shown.clear();  // start-up may have said there are no COM ports
        AppContext::guardHandler([&] { throw RunError(53, "File not found: libftdi1.so.2"); });
        QCOMPARE(env.boxes.texts(), QStringList{"Error 53 (File not found: libftdi1.so.2)"});
    }
};

QTEST_MAIN(WaitsTest)
#include "test_app_waits.moc"

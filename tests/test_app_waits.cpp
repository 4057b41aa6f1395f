// Waiting, the trace log and shut-down.

#include <qpa/qwindowsysteminterface.h>
#include <QElapsedTimer>
#include <QUndoStack>

#include "core/clock.h"
#include "core/errors.h"
#include "edit/imageedits.h"
#include "support/rig.h"

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

    // Closing the main window ends what runs and the application at once, however the close
    // comes: a window manager's is a window-system message, which even the last pass of a
    // wait on the system clock takes in.
    void closeEndsTheApplication_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("write");
        QTest::newRow("File > Exit, read") << "exit" << false;
        QTest::newRow("window manager, read, edits given up") << "wm" << false;
        QTest::newRow("window manager, write") << "wm" << true;
        QTest::newRow("window manager, at the end of a wait") << "wait" << false;
    }
    void closeEndsTheApplication() {
        QFETCH(QString, way);
        QFETCH(bool, write);
        Rig rig;
        Form1& f = rig.form();
        f.show();
        if (way == "wait") {
            QWindowSystemInterface::handleCloseEvent(f.windowHandle());
            SystemClock().waitForEvents(1000);
            QVERIFY(rig.env.ctx->shuttingDown());
            return;
        }
        if (way == "wm" && !write) {  // edits given up for the read hold no close up
            f.imageEdits->stack().push(new QUndoCommand("edit"));
            rig.env.boxes.answers = {MsgAnswer::Discard};
        }
        if (write)
            rig.holdImage(SimRadio::identityAH029() + QByteArray(65217, '\x33'));
        rig.env.clock.afterMs(3000, [&] {
            if (way == "exit")
                f.mnuExit->trigger();
            else
                QWindowSystemInterface::handleCloseEvent(f.windowHandle());
        });
        (write ? f.cmdWriteRig : f.cmdRead)->click();
        QVERIFY(!rig.boxMs.isEmpty() && rig.boxMs.last() < 3000);  // none after the close
        QVERIFY(rig.env.ctx->shuttingDown() && rig.env.quitRequests == 1 && rig.linkClosed());
        QVERIFY(rig.env.nowMs() < 3100 && !rig.prompt().isVisible());
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

#include <QtTest>
#include <functional>

#include <unistd.h>

#include "cli/terminalfront.h"
#include "support/captured.h"
#include "support/testenv.h"
#include "transfer/memory_read.h"
#include "transfer/memory_write.h"

// The terminal front on the real transfers (simulated radio, virtual time): the exit code
// and the one line the command line gives for each way a transfer ends, and a good read's
// output ends its progress at the last block. Every box reaches the terminal reworded:
// what the command line says comes from the result, not the words.
using Fault = std::function<void(SimRadio&)>;
Q_DECLARE_METATYPE(Fault)

class RewordedBoxes : public MessageBoxes {
public:
    explicit RewordedBoxes(MessageBoxes& inner) : inner_(inner) {}
    MsgAnswer show(const QString& text, MsgButtons buttons, MsgIcon icon) override {
        return inner_.show(QStringLiteral("Reworded: ") + text.toUpper(), buttons, icon);
    }

private:
    MessageBoxes& inner_;
};

class CliFrontTest : public QObject {
    Q_OBJECT
private slots:
    void failureLines_data() {
        QTest::addColumn<bool>("write");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("line");
        auto row = [](const char* name, bool write, Fault fault, const char* line) {
            QTest::newRow(name) << write << fault << QString::fromUtf8(line);
        };
        const Fault none = [](SimRadio&) {};
        row("read", false, none, "");
        row("write", true, none, "");
        row("write on Enter", true, none, "");
        row("wrong identity", false, Fault([](SimRadio& r) { r.identity[4] = '0'; }),
            "wrong identity: the radio sent X'4148303230', expected AH029, AH29D or AH041 (a "
            "VX-8, VX-8D or VX-8G)");
        row("stall", false, Fault([](SimRadio& r) { r.faults.stallAfterBlocks = 10; }),
            "stall at block 11 of 1019: the radio stopped sending");
        row("bad checksum", false, Fault([](SimRadio& r) { r.faults.wrongChecksum = true; }),
            "bad checksum: the radio's checksum does not agree with the data received");
        row("no checksum", false, Fault([](SimRadio& r) { r.faults.omitChecksum = true; }),
            "no checksum: the radio sent no checksum byte");
        row("cable pulled reading", false,
            Fault([](SimRadio& r) { r.faults.pullCableAfterBytes = 5000; }),
            "link lost: the connection to the radio was lost; check the programming cable");
        row("no ACK", true, Fault([](SimRadio& r) { r.faults.nakIdentity = true; }),
            "no ACK: the radio did not answer (does it show --WAIT--?)");
        row("cable pulled writing", true,
            Fault([](SimRadio& r) { r.faults.pullCableAfterBytes = 5000; }),
            "failed send at block 79: the connection to the radio was lost");
    }
    void failureLines() {
        QFETCH(bool, write);
        QFETCH(Fault, fault);
        QFETCH(QString, line);
        TestEnv env;
        SimRadio& radio = env.radioOnCom(3);
        fault(radio);
        // Without --yes a write waits for Enter: a newline on standard input starts it. A
        // front that misses it is stopped after ten seconds as Ctrl-C stops it.
        const bool enter = QByteArray(QTest::currentDataTag()) == "write on Enter";
        int fds[2] = {-1, -1}, stdinKept = ::dup(STDIN_FILENO);
        QVERIFY(!enter || (::pipe(fds) == 0 && ::write(fds[1], "\n", 1) == 1 &&
                           ::dup2(fds[0], STDIN_FILENO) == STDIN_FILENO));
        TerminalFront front(write ? TerminalFront::Transfer::Write : TerminalFront::Transfer::Read,
                            TerminalFront::Verbosity::Normal, !enter);
        QTimer givingUp;
        givingUp.callOnTimeout([&] { front.interrupted = true; });
        givingUp.start(10000);
        front.onLookingForRadio = [&] { radio.pressBand(env.clock.nowNs()); };
        RewordedBoxes reworded(front);
        Services services = env.ctx->services();
        services.boxes = &reworded;
        AppContext ctx(services);
        ctx.setFront(&front);
        front.attach(ctx);
        ctx.state.link.PortNumber = 3;
        if (write)
            ctx.clone.image = CloneImage(radio.identity + radio.memory + '\0');
        TransferResult result;
        QString said =
            captured([&] { result = write ? cmdWriteRig_Click(ctx) : cmdRead_Click(ctx); });
        said.replace(QRegularExpression("\\d+:\\d\\d"), "M:SS");
        if (!write && line.isEmpty())
            QVERIFY2(said.contains("block 1019/1019  100 %  M:SS elapsed  M:SS left\n"),
                     qPrintable(said));
        const TransferVerdict verdict = VerdictOf(result);
        QCOMPARE(verdict.line, line);
        QCOMPARE(verdict.exit, line.isEmpty() ? 0 : 1);
        ctx.dropFront(&front);
        ::dup2(stdinKept, STDIN_FILENO);
        for (int fd : {fds[0], fds[1], stdinKept})
            ::close(fd);
    }

    // A box's part for the windows stays off the terminal, whatever its words.
    void windowPartLeftOut_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("windowPart");
        QTest::newRow("port") << "COM Port 3 is not available."
                              << "\r\nThe requested operation cannot continue.";
        QTest::newRow("reworded") << "No backup saved.\r\n"
                                  << "\r\nSave it from the File menu instead.";
    }
    void windowPartLeftOut() {
        QFETCH(QString, text);
        QFETCH(QString, windowPart);
        TerminalFront front(TerminalFront::Transfer::Read, TerminalFront::Verbosity::Verbose, true);
        const QString said = captured([&] {
            front.showWithWindowPart(text, windowPart, MsgButtons::Ok, MsgIcon::Exclamation);
        });
        QCOMPARE(said, text.trimmed() + '\n');
    }
};

QTEST_MAIN(CliFrontTest)
#include "test_cli_front.moc"

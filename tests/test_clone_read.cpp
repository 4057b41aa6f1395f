#include <QAction>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <functional>

#include "clone/cloneimage.h"
#include "clone/memory_read.h"
#include "link/link.h"
#include "support/testenv.h"
#include "ui/frmmessages.h"

// The memory read against the simulated radio, over a COM port and over the FTDI device,
// in virtual time: what crossed the wire, what the user sees, and every way out.

namespace {

const QByteArray kCable = "VX-8 clone cable";
const QString kSuccess = "The read of memories from the radio has completed successfully.";
const QString kLost =
    "The connection to the radio was lost.\r\nCheck the programming cable and try again.";
const QString kNotRead =
    "The radio memory has not been successfully read.\r\n\r\nWe read 640 bytes out of 65216\r\n"
    "We read 10 blocks out of 1019\r\n\r\nIf this persists then please contact the author for "
    "support.";

// A radio at the far end of the configured link (COM3 or the FTDI device), the main
// window, and a user who presses [BAND] when the prompt asks, unless told otherwise.
struct Rig {
    TestEnv env;
    SimRadio* radio = nullptr;
    bool ftdi = false;
    bool pressBand = true;
    qint64 clickedMs = -1;  // when a test's click happened
    qint64 boxMs = -1;      // when the last box appeared

    explicit Rig(bool overFtdi) : ftdi(overFtdi) {
        radio = ftdi ? &env.radioOnFtdi(kCable) : &env.radioOnCom(3);
        env.settings->set("Settings", "CommPort", ftdi ? "999" : "3");
        env.settings->set("Settings", "FTDIDevice", QString::fromLatin1(kCable));
        env.form();
        env.boxes.shown.clear();
        env.boxes.onShow = [this](const ScriptedMessageBoxes::Shown&) { boxMs = env.nowMs(); };
        QObject::connect(&prompt(), &FrmMessages::lookingForRigShown, [this] {
            if (pressBand)
                radio->pressBand(env.clock.nowNs());
        });
    }

    Form1& form() { return env.form(); }
    FrmMessages& prompt() { return env.form().frmMessages(); }
    CloneState& clone() { return env.ctx->state.clone; }
    // Runs `action` `ms` after the prompt first asks for [BAND].
    void whenAskedAfter(int ms, std::function<void()> action) {
        QObject::connect(&prompt(), &FrmMessages::lookingForRigShown, [=, this] {
            env.clock.afterMs(ms, [=, this] {
                clickedMs = env.nowMs();
                action();
            });
        });
    }
    QByteArray wire() { return ftdi ? env.d2xx->devices[0].written : env.ports->ports[3].written; }
    bool linkClosed() {
        return ftdi ? !env.d2xx->anyOpen() : !env.ctx->link().MSComm1().PortOpen();
    }
    QStringList readLines() {
        return env.log().filter(QRegularExpression("^(Read: |ID read was )"));
    }
};

using Setup = std::function<void(Rig&)>;

// Makes the radio's checksum come out as `sum` by adjusting its first data byte.
void forceChecksum(SimRadio& radio, quint8 sum) {
    const quint8 now = SimRadio::checksumOf(radio.identity, radio.memory);
    radio.memory[0] = char(quint8(radio.memory[0]) + quint8(sum - now));
}

enum Prompt { Hidden, Shown, ShownWithFrame };

}  // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(MsgIcon)

class CloneReadTest : public QObject {
    Q_OBJECT
private slots:
    void fullRead_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<QByteArray>("identity");
        QTest::newRow("COM AH029") << false << SimRadio::identityAH029();
        QTest::newRow("COM AH29D") << false << SimRadio::identityAH29D();
        QTest::newRow("FTDI AH029") << true << SimRadio::identityAH029();
        QTest::newRow("FTDI AH29D") << true << SimRadio::identityAH29D();
    }
    void fullRead() {
        QFETCH(bool, ftdi);
        QFETCH(QByteArray, identity);
        Rig rig(ftdi);
        rig.radio->identity = identity;
        const quint8 sum = SimRadio::checksumOf(identity, rig.radio->memory);

        rig.form().cmdRead->click();

        // Blocks at 0-65215, the identity at 65216-65225, and a last byte of 0.
        QVERIFY(rig.clone().CloneImage == rig.radio->memory + identity + '\0');
        QVERIFY(rig.clone().ImageValid);
        QCOMPARE(rig.wire(), QByteArray("\x06"));  // one ACK, nothing else
        QCOMPARE(rig.env.ctx->state.rx.HandshakeDelay, 20);
        QCOMPARE(rig.env.boxes.texts().size(), 2);
        QCOMPARE(rig.env.boxes.shown[0].text,
                 "You are about to read the radio.\r\n\r\n"
                 "  1. Power Off the Radio and connect the programming lead,\r\n"
                 "  2. Hold down the [F/W] key and Power On the Radio.\r\n"
                 "      The radio should now show CLONE.\r\n"
                 "  3. Click OK for the next part of the instructions...,\r\n\r\n"
                 "or click Cancel to abort the memory read.");
        QCOMPARE(rig.env.boxes.shown[0].buttons, MsgButtons::OkCancel);
        QCOMPARE(rig.env.boxes.shown[0].icon, MsgIcon::Question);
        QVERIFY(rig.env.boxes.shown[1].text.startsWith(kSuccess + "\r\nBackup: "));
        QCOMPARE(rig.env.boxes.shown[1].icon, MsgIcon::Information);

        const QStringList lines = rig.readLines();
        QCOMPARE(lines.mid(0, 7),
                 QStringList(
                     {"Read: issue initial instructions", "Read: waiting for radio identity",
                      "Read: acquiring the rig ID we had 0 timeouts",
                      "Read: 10 radio identity bytes received - checking...",
                      "ID read was " + IdentityText(identity), "Read: passed radio identity check",
                      "Read: bytes read 64 block 1 and 0 timeouts"}));
        QCOMPARE(lines.filter("Read: bytes read 64 block ").size(), 1019);
        // The automatic backup, named by the model, right after the verified checksum.
        const QDir backups(rig.env.dir.filePath("backups"));
        const QStringList saved = backups.entryList(QDir::Files);
        QVERIFY(saved.size() == 1 &&
                saved[0].startsWith(identity.startsWith("AH029") ? "VX-8R_" : "VX-8DR_"));
        QCOMPARE(lines.mid(lines.size() - 5),
                 QStringList({"Read: bytes read 64 block 1019 and 0 timeouts",
                              "Read: checksum read 1 byte and had 0 timeouts",
                              "Read: checksum agrees, value was " + QString::number(sum),
                              "Read: backup saved as " + backups.filePath(saved[0]),
                              "Read: byte count 65216"}));

        QVERIFY(rig.form().cmdWriteRig->isEnabled());
        QVERIFY(rig.form().cmdRead->isEnabled() && !rig.form().cmdCancelRead->isEnabled());
        QVERIFY(rig.linkClosed());
        QVERIFY(!rig.prompt().isVisible());
        QCOMPARE(rig.prompt().pbarClone->value(), 0);
        QCOMPARE(rig.form().lblBlockCount->text(), "1019");
    }

    // The engine needs no window: a front without one sees the same read, and the image
    // is announced as changed whether the read succeeded or the user cancelled it.
    void readWithoutWindows_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("read") << false;
        QTest::newRow("cancelled at the first box") << true;
    }
    void readWithoutWindows() {
        QFETCH(bool, cancel);
        TestEnv env;
        SimRadio& radio = env.radioOnCom(3);
        env.ctx->state.link.PortNumber = 3;
        ScriptedFront front;
        env.ctx->setFront(&front);
        front.onPart = [&](PromptPart part, bool on) {
            if (part == PromptPart::LookingForRadio && on)
                radio.pressBand(env.clock.nowNs());
        };
        if (cancel)
            env.boxes.answers = {MsgAnswer::Cancel};
        QSignalSpy changed(env.ctx.get(), &AppContext::imageChanged);

        cmdRead_Click(*env.ctx);

        QCOMPARE(changed.size(), 1);
        QCOMPARE(env.ctx->state.clone.ImageValid, !cancel);
        QCOMPARE(front.events.first(), "busy");
        QCOMPARE(front.events.last(), "free");
        QCOMPARE(front.trace.filter("Read: bytes read 64 block ").size(), cancel ? 0 : 1019);
        QCOMPARE(front.blockCount, cancel ? QString() : "1019");
        QCOMPARE(front.maximum, cancel ? 0 : 1020);
        QCOMPARE(front.events.contains("part 0 on"), !cancel);
        env.ctx->dropFront(&front);
    }

    // Every way a read ends without a valid image: the closing box, the read's last trace
    // lines, what went out on the wire, the prompt window, how soon a click took effect,
    // and always the buttons back, Write Radio disabled and the link closed.
    void waysOut_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("box");
        QTest::addColumn<MsgIcon>("icon");
        QTest::addColumn<QStringList>("lastLines");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<int>("prompt");
        QTest::addColumn<int>("reactionMs");  // most time from the click to the box; -1: none

        const quint8 sum = SimRadio::checksumOf(SimRadio::identityAH029(), SimRadio().memory);
        const QByteArray ack("\x06"), nak("\x15"), none;
        const QStringList stallLines = {"Read: unexpected end of read; block count =10",
                                        "Read: bytes waiting in input buffer 0",
                                        "Read: byte count 640"};
        QStringList tailLines = stallLines;
        tailLines[1] = "Read: bytes waiting in input buffer 31";
        const QString noChecksumBox =
            "No checksum was received from the rig; the calculated "
            "value was 0\r\n\r\nThe memory read was not successful.";
        const QString noChecksumLine = "Read: no checksum byte received and had  1 timeouts";
        const QString lostLine = "Read: the connection to the radio was lost";

        for (bool ftdi : {false, true}) {
            auto row = [&](const char* name) {
                return &QTest::newRow(qPrintable(QString(ftdi ? "FTDI, " : "COM, ") + name));
            };
            *row("identity AH02A refused")
                << ftdi
                << Setup([](Rig& r) { r.radio->identity = QByteArray("AH02A\0\1\0\0\0", 10); })
                << "The radio identifier expected was X'4148303239' or X'4148323944'\r\n"
                   "but the identifier actually received was X'4148303241'\r\n"
                   "We cannot continue with the read process."
                << MsgIcon::Stop << QStringList{"ID read was 41483032410001000000"} << nak
                << int(Shown) << -1;
            *row("stall after 10 blocks")
                << ftdi << Setup([](Rig& r) { r.radio->faults.stallAfterBlocks = 10; }) << kNotRead
                << MsgIcon::Stop << stallLines << ack << int(Hidden) << -1;
            // The link's own count of what is left, on either back-end.
            *row("stall in the 11th block")
                << ftdi << Setup([](Rig& r) { r.radio->memory.truncate(640 + 30); }) << kNotRead
                << MsgIcon::Stop << tailLines << ack << int(Hidden) << -1;
            *row("identity, then silence")
                << ftdi << Setup([](Rig& r) { r.radio->faults.stallAfterBlocks = 0; })
                << "Nothing was read" << MsgIcon::Stop
                << QStringList{"Read: unexpected end of read; block count =0",
                               "Read: bytes waiting in input buffer 0", "Read: byte count 0"}
                << ack << int(ShownWithFrame) << -1;
            *row("wrong checksum")
                << ftdi << Setup([](Rig& r) { r.radio->faults.wrongChecksum = true; })
                << "The checksum received from the rig does not agree with\r\n"
                   "the calculated value " +
                       QString::number(sum) + "\r\n\r\nThe memory read was not successful."
                << MsgIcon::Exclamation
                << QStringList{"Read: checksum does not agree, value was " +
                               QString::number(quint8(sum + 1))}
                << ack << int(Shown) << -1;
            // The byte left in the receive buffer equals the sum: still no success.
            *row("no checksum byte") << ftdi << Setup([](Rig& r) {
                r.radio->faults.omitChecksum = true;
                forceChecksum(*r.radio, 0);
            }) << noChecksumBox << MsgIcon::Exclamation
                                     << QStringList{noChecksumLine} << ack << int(Shown) << -1;
            *row("Cancel Read while waiting for the identity")
                << ftdi << Setup([](Rig& r) {
                       r.pressBand = false;
                       r.whenAskedAfter(700, [&r] { r.form().cmdCancelRead->click(); });
                   })
                << "Read cancelled by user request" << MsgIcon::Information
                << QStringList{"Read: the read has been cancelled. We had  2 timeouts"} << none
                << int(Shown) << 600;  // at the end of the receive attempt under way
            *row("click on the waiting message during the blocks") << ftdi << Setup([](Rig& r) {
                r.whenAskedAfter(
                    2000, [&r] { QTest::mouseClick(r.prompt().lblWaiting, Qt::LeftButton); });
            }) << "Read of memory cancelled by user request" << MsgIcon::Information
                                                                   << QStringList{} << ack
                                                                   << int(Hidden)
                                                                   << 20;  // one wait
            *row("cable pulled while waiting for the identity") << ftdi << Setup([](Rig& r) {
                r.pressBand = false;
                r.whenAskedAfter(1200, [&r] { r.radio->pullCable(); });
            }) << kLost << MsgIcon::Stop << QStringList{lostLine}
                                                                << none << int(Hidden) << -1;
            *row("cable pulled during the blocks") << ftdi << Setup([](Rig& r) {
                r.radio->faults.pullCableAfterBytes = 10 + 1 + 64 * 200 + 17;
            }) << kLost << MsgIcon::Stop << QStringList{lostLine}
                                                   << ack << int(Hidden) << -1;
        }
        QTest::newRow("COM, no checksum byte, sum differs")
            << false << Setup([](Rig& r) {
                   r.radio->faults.omitChecksum = true;
                   forceChecksum(*r.radio, 0x5A);
               })
            << QString(noChecksumBox).replace("was 0", "was 90") << MsgIcon::Exclamation
            << QStringList{noChecksumLine} << ack << int(Shown) << -1;
        QTest::newRow("COM, click on the looking-for-radio message")
            << false << Setup([](Rig& r) {
                   r.pressBand = false;
                   r.whenAskedAfter(700, [&r] {
                       QTest::mouseClick(r.prompt().lblLookingForRig, Qt::LeftButton);
                   });
               })
            << "Read cancelled by user request" << MsgIcon::Information
            << QStringList{"Read: the read has been cancelled. We had  2 timeouts"} << none
            << int(Shown) << 600;
        // An unexpected error: reported with the failing step's label; the closing
        // sequence still runs.
        QTest::newRow("FTDI, library gone during the identity wait")
            << true << Setup([](Rig& r) {
                   r.pressBand = false;
                   r.whenAskedAfter(0, [&r] { r.env.d2xx->libraryMissing = true; });
                   r.env.boxes.onShow = [&r](const ScriptedMessageBoxes::Shown&) {
                       r.env.d2xx->libraryMissing = false;
                   };
               })
            << "Error 53 (File not found: libftdi1.so.2) in line 190 of procedure cmdRead_Click "
               "of Form Form1"
            << MsgIcon::None << QStringList{"Read: waiting for radio identity"} << none
            << int(Hidden) << -1;
    }
    void waysOut() {
        QFETCH(bool, ftdi);
        QFETCH(Setup, setup);
        QFETCH(QString, box);
        QFETCH(MsgIcon, icon);
        QFETCH(QStringList, lastLines);
        QFETCH(QByteArray, wire);
        QFETCH(int, prompt);
        QFETCH(int, reactionMs);
        Rig rig(ftdi);
        setup(rig);

        rig.form().cmdRead->click();

        QCOMPARE(rig.env.boxes.texts().last(), box);
        QCOMPARE(rig.env.boxes.shown.last().buttons, MsgButtons::Ok);
        QCOMPARE(rig.env.boxes.shown.last().icon, icon);
        const QStringList lines = rig.readLines();
        QCOMPARE(lines.mid(lines.size() - lastLines.size()), lastLines);
        QCOMPARE(rig.wire(), wire);
        if (reactionMs >= 0)
            QVERIFY2(rig.boxMs - rig.clickedMs <= reactionMs,
                     qPrintable(QString::number(rig.boxMs - rig.clickedMs)));
        QCOMPARE(rig.prompt().isVisible(), prompt != Hidden);
        QCOMPARE(rig.prompt().frmClone->isVisible(), prompt == ShownWithFrame);
        QVERIFY(!rig.prompt().lblLookingForRig->isVisible());
        QVERIFY(!rig.prompt().lblWaiting->isVisible());
        QVERIFY(!rig.clone().ImageValid);
        QVERIFY(QDir(rig.env.dir.filePath("backups")).isEmpty());  // no backup of a failed read
        QVERIFY(!rig.form().cmdWriteRig->isEnabled());
        QVERIFY(rig.form().cmdRead->isEnabled() && !rig.form().cmdCancelRead->isEnabled());
        QVERIFY(rig.linkClosed());
    }

    // A previous valid image: Cancel in the instruction box, or a link that does not open
    // (its own box), leaves it, and everything else, as it was.
    void previousImage_data() {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("Cancel in the instruction box")
            << true
            << QStringList{"Read: issue initial instructions", "Read: user cancelled before read"};
        QTest::newRow("link does not open") << false << QStringList();
    }
    void previousImage() {
        QFETCH(bool, cancel);
        QFETCH(QStringList, lines);
        Rig rig(false);
        rig.env.boxes.answers = {MsgAnswer::Cancel};
        if (!cancel)
            rig.env.ports->ports[3].openError = 8005;
        rig.clone().CloneImage = QByteArray(65227, '\x33');
        rig.clone().ImageValid = true;
        rig.form().EnableButtons();

        rig.form().cmdRead->click();

        QCOMPARE(rig.env.boxes.shown.size(), 1);
        QCOMPARE(rig.readLines(), lines);
        QVERIFY(rig.clone().CloneImage == QByteArray(65227, '\x33'));
        QVERIFY(rig.clone().ImageValid && rig.form().cmdWriteRig->isEnabled());
        QVERIFY(rig.form().cmdRead->isEnabled() && !rig.form().cmdCancelRead->isEnabled());
        QVERIFY(rig.linkClosed());
        QVERIFY(rig.wire().isEmpty());
    }

    // 64 bytes that are complete when the 50th poll of a block wait ends are a block, not a
    // time-out.
    void blockCompleteAtTheLastPollIsTaken() {
        Rig rig(false);
        TestEnv& env = rig.env;
        env.ports->ports[3].radio = nullptr;  // the test feeds the port itself
        const SimRadio source;
        const QByteArray identity = SimRadio::identityAH029();
        QObject::connect(&rig.prompt(), &FrmMessages::lookingForRigShown,
                         [&] { env.ports->inject(3, identity); });
        bool fed = false;
        env.clock.addTicker([&] {
            // Runs inside the waits: here, inside the last wait for the first block.
            if (fed || !env.ports->ports[3].written.contains('\x06') ||
                env.ctx->state.rx.AckPollCount < 48)
                return;
            fed = true;
            env.ports->inject(3, source.memory.left(64));
            env.clock.afterMs(100, [&] {
                env.ports->inject(
                    3, source.memory.mid(64) + char(SimRadio::checksumOf(identity, source.memory)));
            });
        });

        env.form().cmdRead->click();

        QVERIFY(fed);
        QVERIFY(env.ctx->state.clone.ImageValid);
        QVERIFY(env.ctx->state.clone.CloneImage.left(65216) == source.memory);
    }

    // A second click 120 ms after the first (a double-click, or Write then Read) lands
    // while the link opens: it does nothing, and the one transfer ends as it would alone.
    void secondClickDuringATransferDoesNothing_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("Read, Read") << "cmdRead"
                                    << "cmdRead";
        QTest::newRow("Write, Write") << "cmdWriteRig"
                                      << "cmdWriteRig";
        QTest::newRow("Write, Read") << "cmdWriteRig"
                                     << "cmdRead";
    }
    void secondClickDuringATransferDoesNothing() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        Rig rig(false);
        rig.clone().CloneImage = QByteArray(65227, '\x5A');
        rig.clone().ImageValid = true;
        rig.form().EnableButtons();
        auto button = [&](const QString& name) { return rig.form().findChild<QPushButton*>(name); };
        rig.env.clock.afterMs(120, [&] { QTest::mouseClick(button(second), Qt::LeftButton); });
        QTest::mouseClick(button(first), Qt::LeftButton);
        const bool read = first == "cmdRead";
        QCOMPARE(rig.env.boxes.shown.size(), read ? 2 : 3);
        QVERIFY(rig.env.boxes.texts().last().startsWith(read ? kSuccess : "Transfer of memory"));
        QVERIFY(rig.clone().ImageValid && rig.linkClosed());
        QVERIFY(rig.form().cmdRead->isEnabled() && rig.form().cmdWriteRig->isEnabled());
    }

    // While a read runs the port entries and both detectors are unavailable, and the link
    // stays what the read opened even if the chosen port changes under it.
    void linkStaysFixedDuringATransfer_data() {
        QTest::addColumn<QString>("change");
        for (const char* change :
             {"mnuCOM4", "mnuCOM32", "mnuFTDI", "mnuComPortIdentifier", "PortNumber"})
            QTest::newRow(change) << change;
    }
    void linkStaysFixedDuringATransfer() {
        QFETCH(QString, change);
        Rig rig(false);
        Form1& form = rig.form();
        QList<QAction*> choices(form.mnuCOM.begin(), form.mnuCOM.end());
        choices << form.mnuFTDI << form.mnuComPortIdentifier;
        bool allDisabled = true;
        rig.whenAskedAfter(1000, [&] {
            for (const QAction* choice : choices)
                allDisabled = allDisabled && !choice->isEnabled();
            if (change == "PortNumber")
                rig.env.ctx->state.link.PortNumber = 999;
            else
                form.findChild<QAction*>(change)->trigger();
        });
        form.cmdRead->click();
        QVERIFY(allDisabled);
        QVERIFY(rig.env.boxes.texts().last().startsWith(kSuccess));
        QVERIFY(rig.linkClosed());
        for (const QAction* choice : choices)
            QVERIFY(choice->isEnabled() == choice->isVisible());  // hidden entries stay off
    }
};

QTEST_MAIN(CloneReadTest)
#include "test_clone_read.moc"

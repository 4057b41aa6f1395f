#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "clone/cloneimage.h"
#include "link/link.h"
#include "support/testenv.h"
#include "ui/frmmessages.h"

// The memory read against the simulated radio, over a COM port and over the FTDI device,
// in virtual time: every way out of a read, what the user sees and what crossed the wire.

namespace {

constexpr int kCom = 3;
const QByteArray kCable = QByteArrayLiteral("VX-8 clone cable");

const QString kInstructions = QStringLiteral(
    "You are about to read the radio.\r\n"
    "\r\n"
    "  1. Power Off the Radio and connect the programming lead,\r\n"
    "  2. Hold down the [F/W] key and Power On the Radio.\r\n"
    "      The radio should now show CLONE.\r\n"
    "  3. Click OK for the next part of the instructions...,\r\n"
    "\r\n"
    "or click Cancel to abort the memory read.");
const QString kSuccess =
    QStringLiteral("The read of memories from the radio has completed successfully.");
const QString kLost = QStringLiteral(
    "The connection to the radio was lost.\r\nCheck the programming cable and try again.");

// One test's world: a radio at the far end of the configured link, the main window, and
// (unless told otherwise) a user who presses [BAND] as soon as the prompt asks for it.
struct Rig {
    TestEnv env;
    SimRadio* radio = nullptr;
    bool ftdi = false;

    explicit Rig(bool overFtdi, bool pressBand = true) : ftdi(overFtdi) {
        if (ftdi) {
            radio = &env.radioOnFtdi(kCable);
            env.settings->set(QStringLiteral("Settings"), QStringLiteral("CommPort"),
                              QStringLiteral("999"));
            env.settings->set(QStringLiteral("Settings"), QStringLiteral("FTDIDevice"),
                              QString::fromLatin1(kCable));
        } else {
            radio = &env.radioOnCom(kCom);
            env.settings->set(QStringLiteral("Settings"), QStringLiteral("CommPort"),
                              QString::number(kCom));
        }
        env.form();
        env.boxes.shown.clear();
        if (pressBand)
            QObject::connect(&prompt(), &FrmMessages::lookingForRigShown,
                             [this] { radio->pressBand(env.clock.nowNs()); });
    }

    Form1& form() { return env.form(); }
    FrmMessages& prompt() { return env.ctx->frmMessages(); }
    CloneState& clone() { return env.ctx->state.clone; }
    void read() { form().cmdRead->click(); }
    QByteArray wire() {
        return ftdi ? env.d2xx->devices[0].written : env.ports->ports[kCom].written;
    }
    bool linkClosed() {
        return ftdi ? !env.d2xx->anyOpen() : !env.ctx->link().MSComm1().PortOpen();
    }
    QByteArray expectedImage() const { return radio->memory + radio->identity + '\0'; }
    QStringList boxTexts() const { return env.boxes.texts(); }
    bool buttonsIdle() { return form().cmdRead->isEnabled() && !form().cmdCancelRead->isEnabled(); }
    // Every "Read: ..." and "ID read was" line, in order.
    QStringList readLines() {
        QStringList lines;
        for (const QString& l : env.log())
            if (l.startsWith(QStringLiteral("Read: ")) || l.startsWith(QStringLiteral("ID ")))
                lines << l;
        return lines;
    }
};

void addBackends() {
    QTest::addColumn<bool>("ftdi");
    QTest::newRow("COM") << false;
    QTest::newRow("FTDI") << true;
}

// Makes the radio's checksum come out as `sum` by adjusting its first data byte.
void forceChecksum(SimRadio& radio, quint8 sum) {
    const quint8 now = SimRadio::checksumOf(radio.identity, radio.memory);
    radio.memory[0] = char(quint8(radio.memory[0]) + quint8(sum - now));
}

}  // namespace

class CloneReadTest : public QObject {
    Q_OBJECT
private slots:
    void fullReadStoresTheImage_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<QByteArray>("identity");
        QTest::newRow("COM AH029") << false << SimRadio::identityAH029();
        QTest::newRow("COM AH29D") << false << SimRadio::identityAH29D();
        QTest::newRow("FTDI AH029") << true << SimRadio::identityAH029();
        QTest::newRow("FTDI AH29D") << true << SimRadio::identityAH29D();
    }
    void fullReadStoresTheImage() {
        QFETCH(bool, ftdi);
        QFETCH(QByteArray, identity);
        Rig rig(ftdi);
        rig.radio->identity = identity;
        const quint8 sum = SimRadio::checksumOf(identity, rig.radio->memory);

        rig.read();

        QCOMPARE(rig.clone().CloneImage.size(), 65227);
        QVERIFY(rig.clone().CloneImage == rig.expectedImage());
        QVERIFY(rig.clone().ImageValid);
        // The PC answers the identity with one ACK and sends nothing else.
        QCOMPARE(rig.wire(), QByteArray("\x06"));
        QCOMPARE(rig.env.ctx->state.rx.HandshakeDelay, 20);

        QCOMPARE(rig.env.boxes.shown.size(), 2);
        QCOMPARE(rig.env.boxes.shown[0].text, kInstructions);
        QCOMPARE(rig.env.boxes.shown[0].buttons, MsgButtons::OkCancel);
        QCOMPARE(rig.env.boxes.shown[0].icon, MsgIcon::Question);
        QCOMPARE(rig.env.boxes.shown[1].text, kSuccess);
        QCOMPARE(rig.env.boxes.shown[1].icon, MsgIcon::Information);

        const QStringList lines = rig.readLines();
        QCOMPARE(lines.first(), QStringLiteral("Read: issue initial instructions"));
        QVERIFY(lines.contains(QStringLiteral("Read: waiting for radio identity")));
        QVERIFY(
            lines.contains(QStringLiteral("Read: 10 radio identity bytes received - checking...")));
        QVERIFY(lines.contains(QStringLiteral("ID read was ") + IdentityText(identity)));
        QVERIFY(lines.contains(QStringLiteral("Read: passed radio identity check")));
        QVERIFY(lines.contains(QStringLiteral("Read: bytes read 64 block 1 and 0 timeouts")));
        QVERIFY(lines.contains(QStringLiteral("Read: bytes read 64 block 1019 and 0 timeouts")));
        QCOMPARE(lines.filter(QStringLiteral("Read: bytes read 64 block ")).size(), 1019);
        QCOMPARE(lines.at(lines.size() - 3),
                 QStringLiteral("Read: checksum read 1 byte and had 0 timeouts"));
        QCOMPARE(lines.at(lines.size() - 2),
                 QStringLiteral("Read: checksum agrees, value was ") + QString::number(sum));
        QCOMPARE(lines.last(), QStringLiteral("Read: byte count 65216"));

        QVERIFY(rig.form().cmdWriteRig->isEnabled());
        QVERIFY(rig.buttonsIdle());
        QVERIFY(rig.linkClosed());
        QVERIFY(!rig.prompt().isVisible());
        QCOMPARE(rig.prompt().pbarClone->value(), 0);
        QCOMPARE(rig.form().lblBlockCount->text(), QStringLiteral("1019"));
    }

    void refusedIdentityIsAnsweredWithNak_data() { addBackends(); }
    void refusedIdentityIsAnsweredWithNak() {
        QFETCH(bool, ftdi);
        Rig rig(ftdi);
        rig.radio->identity = QByteArray("AH02A\x00\x01\x00\x00\x00", 10);

        rig.read();

        QCOMPARE(rig.wire(), QByteArray("\x15"));
        QVERIFY(rig.radio->refusedAck);
        QCOMPARE(rig.env.boxes.shown.size(), 2);
        QCOMPARE(
            rig.env.boxes.shown[1].text,
            QStringLiteral("The radio identifier expected was X'4148303239' or X'4148323944'\r\n"
                           "but the identifier actually received was X'4148303241'\r\n"
                           "We cannot continue with the read process."));
        QCOMPARE(rig.env.boxes.shown[1].icon, MsgIcon::Stop);
        QCOMPARE(rig.readLines().last(), QStringLiteral("ID read was 41483032410001000000"));
        QVERIFY(!rig.clone().ImageValid);
        QVERIFY(!rig.form().cmdWriteRig->isEnabled());
        QVERIFY(rig.buttonsIdle());
        QVERIFY(rig.linkClosed());
        // The prompt window stays, with its message hidden.
        QVERIFY(rig.prompt().isVisible());
        QVERIFY(!rig.prompt().lblLookingForRig->isVisible());
        // The refused identity is kept in the image all the same.
        QCOMPARE(rig.clone().CloneImage.mid(65216, 10), rig.radio->identity);
    }

    // The radio stops early: the image keeps what arrived, and the count of bytes left on
    // the line comes from the link itself, on either back-end.
    void earlyEnd_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<int>("tailBytes");  // bytes the radio sends after its 10th block
        QTest::newRow("COM stall") << false << 0;
        QTest::newRow("FTDI stall") << true << 0;
        QTest::newRow("COM stall mid-block") << false << 31;
        QTest::newRow("FTDI stall mid-block") << true << 31;
    }
    void earlyEnd() {
        QFETCH(bool, ftdi);
        QFETCH(int, tailBytes);
        Rig rig(ftdi);
        if (tailBytes == 0) {
            rig.radio->faults.stallAfterBlocks = 10;
        } else {
            // A short memory: the radio sends it whole, then its checksum byte.
            rig.radio->memory.truncate(640 + tailBytes - 1);
        }
        const QByteArray sent = rig.radio->memory.left(640);

        rig.read();

        const QStringList lines = rig.readLines();
        const int end =
            lines.indexOf(QStringLiteral("Read: unexpected end of read; block count =10"));
        QVERIFY(end > 0);
        QCOMPARE(lines.at(end + 1), QStringLiteral("Read: bytes waiting in input buffer ") +
                                        QString::number(tailBytes));
        QCOMPARE(lines.at(end + 2), QStringLiteral("Read: byte count 640"));
        QCOMPARE(rig.boxTexts().last(),
                 QStringLiteral("The radio memory has not been successfully read.\r\n"
                                "\r\n"
                                "We read 640 bytes out of 65216\r\n"
                                "We read 10 blocks out of 1019\r\n"
                                "\r\n"
                                "If this persists then please contact the author for support."));
        QCOMPARE(rig.env.boxes.shown.last().icon, MsgIcon::Stop);

        const QByteArray& image = rig.clone().CloneImage;
        QVERIFY(image.left(640) == sent);
        QVERIFY(image.mid(640, 65216 - 640) == QByteArray(65216 - 640, '\0'));
        QCOMPARE(image.mid(65216, 10), rig.radio->identity);
        QVERIFY(!rig.clone().ImageValid);
        QVERIFY(!rig.form().cmdWriteRig->isEnabled());
        QVERIFY(rig.buttonsIdle());
        QVERIFY(rig.linkClosed());
        QVERIFY(!rig.prompt().isVisible());
        QCOMPARE(rig.form().lblBlockCount->text(), QStringLiteral(" 10"));
    }

    void identityThenSilence_data() { addBackends(); }
    void identityThenSilence() {
        QFETCH(bool, ftdi);
        Rig rig(ftdi);
        rig.radio->faults.stallAfterBlocks = 0;

        rig.read();

        QCOMPARE(rig.boxTexts().last(), QStringLiteral("Nothing was read"));
        QCOMPARE(rig.env.boxes.shown.last().icon, MsgIcon::Stop);
        const QStringList lines = rig.readLines();
        QCOMPARE(lines.mid(lines.size() - 3),
                 QStringList({QStringLiteral("Read: unexpected end of read; block count =0"),
                              QStringLiteral("Read: bytes waiting in input buffer 0"),
                              QStringLiteral("Read: byte count 0")}));
        QVERIFY(!rig.clone().ImageValid);
        QVERIFY(rig.buttonsIdle());
        QVERIFY(rig.linkClosed());
        // The window stays with its empty progress frame.
        QVERIFY(rig.prompt().isVisible());
        QVERIFY(rig.prompt().frmClone->isVisible());
        QVERIFY(!rig.prompt().lblWaiting->isVisible());
    }

    void wrongChecksum_data() { addBackends(); }
    void wrongChecksum() {
        QFETCH(bool, ftdi);
        Rig rig(ftdi);
        rig.radio->faults.wrongChecksum = true;
        const quint8 sum = SimRadio::checksumOf(rig.radio->identity, rig.radio->memory);

        rig.read();

        QCOMPARE(rig.boxTexts().last(),
                 QStringLiteral("The checksum received from the rig does not agree with\r\n"
                                "the calculated value ") +
                     QString::number(sum) +
                     QStringLiteral("\r\n\r\nThe memory read was not successful."));
        QCOMPARE(rig.env.boxes.shown.last().icon, MsgIcon::Exclamation);
        QCOMPARE(rig.readLines().last(),
                 QStringLiteral("Read: checksum does not agree, value was ") +
                     QString::number(quint8(sum + 1)));
        // Every block was stored, and still the image may not be written.
        QVERIFY(rig.clone().CloneImage == rig.expectedImage());
        QVERIFY(!rig.clone().ImageValid);
        QVERIFY(!rig.form().cmdWriteRig->isEnabled());
        QVERIFY(rig.buttonsIdle());
        QVERIFY(rig.linkClosed());
        QVERIFY(rig.prompt().isVisible());
        QVERIFY(!rig.prompt().frmClone->isVisible());
    }

    // A checksum byte that never arrives is a failed read, also when the byte left in the
    // receive buffer happens to equal the computed sum (here: both 0).
    void missingChecksumIsNeverSuccess_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<int>("sum");
        QTest::newRow("COM") << false << 0x5A;
        QTest::newRow("COM, sum equals the stale byte") << false << 0;
        QTest::newRow("FTDI, sum equals the stale byte") << true << 0;
    }
    void missingChecksumIsNeverSuccess() {
        QFETCH(bool, ftdi);
        QFETCH(int, sum);
        Rig rig(ftdi);
        rig.radio->faults.omitChecksum = true;
        forceChecksum(*rig.radio, quint8(sum));

        rig.read();

        QVERIFY(!rig.clone().ImageValid);
        QVERIFY(!rig.boxTexts().contains(kSuccess));
        QCOMPARE(
            rig.boxTexts().last(),
            QStringLiteral("No checksum was received from the rig; the calculated value was ") +
                QString::number(sum) +
                QStringLiteral("\r\n\r\nThe memory read was not successful."));
        QCOMPARE(rig.env.boxes.shown.last().icon, MsgIcon::Exclamation);
        QCOMPARE(rig.readLines().last(),
                 QStringLiteral("Read: no checksum byte received and had  1 timeouts"));
        QVERIFY(!rig.form().cmdWriteRig->isEnabled());
        QVERIFY(rig.buttonsIdle());
        QVERIFY(rig.linkClosed());
    }

    void cancelInInstructionBoxDestroysTheImage() {
        Rig rig(false);
        rig.clone().CloneImage = QByteArray(65227, '\x5A');
        rig.clone().ImageValid = true;
        rig.form().EnableButtons();
        QVERIFY(rig.form().cmdWriteRig->isEnabled());
        rig.env.boxes.answers = {MsgAnswer::Cancel};

        rig.read();

        QCOMPARE(rig.env.boxes.shown.size(), 1);
        QCOMPARE(rig.readLines(),
                 QStringList({QStringLiteral("Read: issue initial instructions"),
                              QStringLiteral("Read: user cancelled before read")}));
        QVERIFY(rig.clone().CloneImage == QByteArray(65227, '\0'));
        QVERIFY(!rig.clone().ImageValid);
        QVERIFY(!rig.form().cmdWriteRig->isEnabled());
        QVERIFY(rig.buttonsIdle());
        QVERIFY(rig.linkClosed());
        QVERIFY(rig.wire().isEmpty());
        QVERIFY(!rig.prompt().isVisible());
    }

    // While the prompt asks for [BAND], both the Cancel Read button and a click on the
    // message end the wait when the current receive attempt ends.
    void cancelWhileWaitingForIdentity_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<bool>("onPrompt");
        QTest::newRow("COM, Cancel Read") << false << false;
        QTest::newRow("COM, click on the message") << false << true;
        QTest::newRow("FTDI, Cancel Read") << true << false;
        QTest::newRow("FTDI, click on the message") << true << true;
    }
    void cancelWhileWaitingForIdentity() {
        QFETCH(bool, ftdi);
        QFETCH(bool, onPrompt);
        Rig rig(ftdi, false);  // nobody presses [BAND]
        qint64 clickedMs = -1;
        QObject::connect(&rig.prompt(), &FrmMessages::lookingForRigShown, [&] {
            rig.env.clock.afterMs(700, [&] {
                clickedMs = rig.env.nowMs();
                if (onPrompt)
                    QTest::mouseClick(rig.prompt().lblLookingForRig, Qt::LeftButton);
                else
                    rig.form().cmdCancelRead->click();
            });
        });
        qint64 boxMs = -1;
        rig.env.boxes.onShow = [&](const ScriptedMessageBoxes::Shown& box) {
            if (box.text.startsWith(QStringLiteral("Read cancelled")))
                boxMs = rig.env.nowMs();
        };

        rig.read();

        QCOMPARE(rig.boxTexts().last(), QStringLiteral("Read cancelled by user request"));
        QCOMPARE(rig.env.boxes.shown.last().icon, MsgIcon::Information);
        QVERIFY(clickedMs > 0);
        // One receive attempt lasts about half a second of silence.
        QVERIFY2(boxMs - clickedMs <= 600, qPrintable(QString::number(boxMs - clickedMs)));
        // Clicked during the second attempt: the wait ends when it times out.
        QCOMPARE(rig.readLines().last(),
                 QStringLiteral("Read: the read has been cancelled. We had  2 timeouts"));
        QVERIFY(rig.env.ctx->state.cancel.IdentityCancelRequested);
        QVERIFY(!rig.clone().ImageValid);
        QVERIFY(rig.buttonsIdle());
        QVERIFY(rig.linkClosed());
        QVERIFY(rig.prompt().isVisible());
        QVERIFY(!rig.prompt().lblLookingForRig->isVisible());
        QVERIFY(rig.wire().isEmpty());
    }

    void cancelDuringBlocks_data() { addBackends(); }
    void cancelDuringBlocks() {
        QFETCH(bool, ftdi);
        Rig rig(ftdi);
        qint64 clickedMs = -1;
        QObject::connect(&rig.prompt(), &FrmMessages::lookingForRigShown, [&] {
            rig.env.clock.afterMs(2000, [&] {
                clickedMs = rig.env.nowMs();
                QTest::mouseClick(rig.prompt().lblWaiting, Qt::LeftButton);
            });
        });
        qint64 boxMs = -1;
        rig.env.boxes.onShow = [&](const ScriptedMessageBoxes::Shown&) { boxMs = rig.env.nowMs(); };

        rig.read();

        QCOMPARE(rig.boxTexts().last(), QStringLiteral("Read of memory cancelled by user request"));
        QCOMPARE(rig.env.boxes.shown.last().icon, MsgIcon::Information);
        QVERIFY(boxMs - clickedMs <= 5);
        QVERIFY(rig.readLines().last().startsWith(QStringLiteral("Read: bytes read 64 block ")));
        QVERIFY(!rig.clone().ImageValid);
        QVERIFY(!rig.form().cmdWriteRig->isEnabled());
        QVERIFY(rig.buttonsIdle());
        QVERIFY(rig.linkClosed());
        QVERIFY(!rig.prompt().isVisible());
        QVERIFY(!rig.prompt().frmClone->isVisible());
        // The progress bar keeps the last block count.
        const int blocks = rig.form().lblBlockCount->text().trimmed().toInt();
        QVERIFY(blocks > 50 && blocks < 1019);
        QCOMPARE(rig.prompt().pbarClone->value(), blocks);
    }

    // Cable pulled while the read waits for the identity or while blocks arrive: one stop
    // box, the image not valid, buttons back and the prompt window gone.
    void pulledCable_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<bool>("duringBlocks");
        QTest::newRow("COM, identity wait") << false << false;
        QTest::newRow("COM, blocks") << false << true;
        QTest::newRow("FTDI, identity wait") << true << false;
        QTest::newRow("FTDI, blocks") << true << true;
    }
    void pulledCable() {
        QFETCH(bool, ftdi);
        QFETCH(bool, duringBlocks);
        Rig rig(ftdi, duringBlocks);
        if (duringBlocks) {
            rig.radio->faults.pullCableAfterBytes = 10 + 1 + 64 * 200 + 17;
        } else {
            QObject::connect(&rig.prompt(), &FrmMessages::lookingForRigShown,
                             [&] { rig.env.clock.afterMs(1200, [&] { rig.radio->pullCable(); }); });
        }

        rig.read();

        QCOMPARE(rig.boxTexts().mid(1), QStringList({kLost}));
        QCOMPARE(rig.env.boxes.shown.last().icon, MsgIcon::Stop);
        QCOMPARE(rig.readLines().last(),
                 QStringLiteral("Read: the connection to the radio was lost"));
        QVERIFY(!rig.clone().ImageValid);
        QVERIFY(!rig.form().cmdWriteRig->isEnabled());
        QVERIFY(rig.buttonsIdle());
        QVERIFY(!rig.prompt().isVisible());
        QVERIFY(!rig.env.ctx->state.cancel.IdentityCancelRequested);
        if (duringBlocks)
            QCOMPARE(rig.form().lblBlockCount->text().trimmed(), QStringLiteral("200"));
    }

    // 64 bytes that are complete when the 50th poll of a block wait ends are a block,
    // not a time-out.
    void blockCompleteAtTheLastPollIsTaken() {
        TestEnv env;
        env.ports->ports[kCom];  // a port with nothing at its far end; the test feeds it
        env.settings->set(QStringLiteral("Settings"), QStringLiteral("CommPort"),
                          QString::number(kCom));
        env.form();
        SimRadio source;
        const QByteArray identity = SimRadio::identityAH029();
        const QByteArray rest =
            source.memory.mid(64) + char(SimRadio::checksumOf(identity, source.memory));
        QObject::connect(&env.ctx->frmMessages(), &FrmMessages::lookingForRigShown,
                         [&] { env.ports->inject(kCom, identity); });
        bool fed = false;
        env.clock.addTicker([&] {
            // Runs inside the waits: during the 50th wait of the first block, after the ACK.
            if (fed || !env.ports->ports[kCom].written.contains('\x06') ||
                env.ctx->state.rx.AckPollCount != 49)
                return;
            fed = true;
            env.ports->inject(kCom, source.memory.left(64));
            env.clock.afterMs(100, [&] { env.ports->inject(kCom, rest); });
        });

        env.form().cmdRead->click();

        QVERIFY(fed);
        QVERIFY(env.ctx->state.clone.ImageValid);
        QVERIFY(env.ctx->state.clone.CloneImage.left(65216) == source.memory);
        QCOMPARE(env.boxes.texts().last(), kSuccess);
    }

    // An unexpected error inside the read is reported with the failing step's label, and
    // the closing sequence still runs.
    void unexpectedErrorIsReported() {
        Rig rig(true, false);
        QObject::connect(&rig.prompt(), &FrmMessages::lookingForRigShown,
                         [&] { rig.env.d2xx->libraryMissing = true; });
        rig.env.boxes.onShow = [&](const ScriptedMessageBoxes::Shown&) {
            rig.env.d2xx->libraryMissing = false;
        };
        rig.clone().ImageValid = true;

        rig.read();

        QCOMPARE(rig.env.boxes.shown.size(), 2);
        QCOMPARE(rig.boxTexts().last(),
                 QStringLiteral("Error 53 (File not found: libftdi1.so.2) in line 190 of "
                                "procedure cmdRead_Click of Form Form1"));
        QCOMPARE(rig.env.boxes.shown.last().buttons, MsgButtons::Ok);
        QCOMPARE(rig.env.boxes.shown.last().icon, MsgIcon::None);
        QVERIFY(!rig.clone().ImageValid);
        QVERIFY(rig.buttonsIdle());
        QVERIFY(rig.linkClosed());
        QVERIFY(!rig.prompt().isVisible());
    }

    void unopenedLinkLeavesEverythingAsItWas() {
        Rig rig(false);
        rig.env.ports->ports[kCom].openError = 8005;
        rig.clone().ImageValid = true;
        rig.clone().CloneImage = QByteArray(65227, '\x33');
        rig.form().EnableButtons();

        rig.read();

        QCOMPARE(rig.env.boxes.shown.size(), 1);  // SetCommPort's own box
        QVERIFY(rig.readLines().isEmpty());
        QVERIFY(rig.clone().ImageValid);
        QVERIFY(rig.clone().CloneImage == QByteArray(65227, '\x33'));
        QVERIFY(rig.form().cmdWriteRig->isEnabled());
        QVERIFY(rig.buttonsIdle());
    }
};

QTEST_MAIN(CloneReadTest)
#include "test_clone_read.moc"

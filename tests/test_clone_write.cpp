#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "clone/cloneimage.h"
#include "link/link.h"
#include "support/testenv.h"
#include "ui/frmmessages.h"

// The memory write against the simulated radio, over a COM port and over the FTDI device,
// in virtual time: the bytes on the wire, the pacing, and every way out.

namespace {

constexpr int kCom = 5;
const QByteArray kCable = QByteArrayLiteral("VX-8 clone cable");

const QString kFirstBox = QStringLiteral(
    "You are preparing to write to the radio. \r\n"
    "\r\n"
    "  1. Power Off the Radio and connect the programming lead,\r\n"
    "  2. Hold down the [F/W] key and Power On the Radio.\r\n"
    "      The radio should now show CLONE.\r\n"
    "  3. Click OK for the next part of the instructions...,\r\n"
    "\r\n"
    "or click Cancel to abort the memory write.");
const QString kSecondBox = QStringLiteral(
    "You are about to write to the radio.\r\n"
    "\r\n"
    "  1. Press and release the MODE key - the radio shows \r\n"
    "      --WAIT--.\r\n"
    "  2. Click OK to start writing to the radio,\r\n"
    "\r\n"
    "or click Cancel to abort the memory write.");
const QString kCompleted = QStringLiteral(
    "Transfer of memory completed.\r\n"
    "Now power off and disconnect the cloning cable from the radio");
const QString kNoPermission = QStringLiteral("Failed to receive permission to write to the radio.");
const QString kLost = QStringLiteral(
    "The connection to the radio was lost.\r\nCheck the programming cable and try again.");

// A radio on the configured link and a valid image, different from the radio's memory,
// ready to be written.
struct Rig {
    TestEnv env;
    SimRadio* radio = nullptr;
    bool ftdi = false;
    QByteArray image;

    explicit Rig(bool overFtdi, quint8 checksum = 0x0A) : ftdi(overFtdi) {
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

        QByteArray data(65216, '\0');
        for (int i = 0; i < data.size(); ++i)
            data[i] = char((i * 13 + i / 64 + 5) & 0xFF);
        image = data + SimRadio::identityAH29D() + '\0';
        image[0] = char(quint8(image[0]) + quint8(checksum - CalcChecksum(image)));
        env.ctx->state.clone.CloneImage = image;
        env.ctx->state.clone.ImageValid = true;
        form().EnableButtons();
    }

    Form1& form() { return env.form(); }
    FrmMessages& prompt() { return env.ctx->frmMessages(); }
    void write() { form().cmdWriteRig->click(); }
    QByteArray wire() {
        return ftdi ? env.d2xx->devices[0].written : env.ports->ports[kCom].written;
    }
    bool linkClosed() {
        return ftdi ? !env.d2xx->anyOpen() : !env.ctx->link().MSComm1().PortOpen();
    }
    QStringList writeLines() {
        return env.log().filter(QRegularExpression(QStringLiteral("^Write")));
    }
    bool buttonsIdle() {
        return form().cmdRead->isEnabled() && !form().cmdCancelRead->isEnabled() &&
               form().cmdWriteRig->isEnabled();
    }
    // Every send from now on fails.
    void failSends() {
        if (ftdi)
            env.d2xx->fail[QStringLiteral("FT_Write")] = FT_IO_ERROR;
        else
            static_cast<FakeSerialControl&>(env.ctx->link().MSComm1()).failOutput = true;
    }
    // Sends start failing once `bytes` bytes have gone out (noticed in the next wait).
    void failSendsAfter(qint64 bytes) {
        env.clock.addTicker([this, bytes] {
            if (wire().size() >= bytes)
                failSends();
        });
    }
};

}  // namespace

class CloneWriteTest : public QObject {
    Q_OBJECT
private slots:
    // The whole write byte for byte, paced by HandshakeDelay, and a radio that keeps what
    // it was sent: a following read returns the written image.
    void writeThenReadBack_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<int>("checksum");
        QTest::addColumn<QString>("checksumText");
        QTest::addColumn<int>("delay");
        QTest::newRow("COM") << false << 0x0A << QStringLiteral("0A") << 50;
        QTest::newRow("FTDI") << true << 0x00 << QStringLiteral("00") << 20;
    }
    void writeThenReadBack() {
        QFETCH(bool, ftdi);
        QFETCH(int, checksum);
        QFETCH(QString, checksumText);
        QFETCH(int, delay);
        Rig rig(ftdi, quint8(checksum));
        qint64 firstBlockMs = -1;
        qint64 checksumMs = -1;
        rig.env.clock.addTicker([&] {
            if (firstBlockMs < 0 && rig.wire().size() > 10)
                firstBlockMs = rig.env.nowMs();
            if (checksumMs < 0 && rig.wire().size() == 65227)
                checksumMs = rig.env.nowMs();
        });

        rig.write();

        QCOMPARE(rig.env.ctx->state.rx.HandshakeDelay, delay);
        // Identity, the 1019 blocks and the checksum, nothing else.
        const QByteArray expected =
            rig.image.mid(65216, 10) + rig.image.left(65216) + char(CalcChecksum(rig.image));
        QCOMPARE(rig.wire().size(), expected.size());
        QVERIFY(rig.wire() == expected);
        QCOMPARE(rig.radio->writesReceived, 1);
        QVERIFY(rig.radio->lastWriteChecksumOk);
        QVERIFY(rig.radio->memory == rig.image.left(65216));
        // Each block costs at least one pause of HandshakeDelay.
        QVERIFY(checksumMs - firstBlockMs >= 1019 * delay);
        QVERIFY(checksumMs - firstBlockMs < 1019 * delay + 2000);

        QCOMPARE(rig.env.boxes.texts(), QStringList({kFirstBox, kSecondBox, kCompleted}));
        QCOMPARE(rig.env.boxes.shown[0].icon, MsgIcon::Question);
        QCOMPARE(rig.env.boxes.shown[1].buttons, MsgButtons::OkCancel);
        QCOMPARE(rig.env.boxes.shown[2].icon, MsgIcon::Information);

        const QStringList lines = rig.writeLines();
        QCOMPARE(lines.mid(0, 5),
                 QStringList({QStringLiteral("Write: issue initial instructions"),
                              QStringLiteral("Write: requesting permission to write to radio"),
                              QStringLiteral("Write: permission received"),
                              QStringLiteral("Write: sending block 1"),
                              QStringLiteral("Write: sent block 1. Counter=0")}));
        QCOMPARE(lines.mid(lines.size() - 3),
                 QStringList({QStringLiteral("Write: sent block 1019. Counter=0"),
                              QStringLiteral("Write: sending checksum ") + checksumText,
                              QStringLiteral("Write: transfer complete")}));
        const QStringList sentLines = lines.filter(QStringLiteral("Write: sent block "));
        QCOMPARE(sentLines.size(), 1019);
        for (const QString& l : sentLines)
            QVERIFY(l.endsWith(QStringLiteral(". Counter=0")));

        QCOMPARE(rig.form().lblBlockCount->text(), QStringLiteral("0"));
        QCOMPARE(rig.prompt().pbarClone->value(), 1019);
        QVERIFY(!rig.prompt().isVisible());
        QVERIFY(rig.buttonsIdle());
        QVERIFY(rig.linkClosed());
        QVERIFY(rig.env.ctx->state.clone.CloneImage == rig.image);

        // The radio now sends what it was given.
        QObject::connect(&rig.prompt(), &FrmMessages::lookingForRigShown,
                         [&] { rig.radio->pressBand(rig.env.clock.nowNs()); });
        rig.env.ctx->state.clone.CloneImage.fill('\0');
        rig.form().cmdRead->click();
        QVERIFY(rig.env.ctx->state.clone.ImageValid);
        QVERIFY(rig.env.ctx->state.clone.CloneImage == rig.image);
    }

    void cancelInInstructionBoxes_data() {
        QTest::addColumn<int>("cancelAt");  // 0: first box, 1: second box
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("first box")
            << 0 << QStringList{QStringLiteral("Write: issue initial instructions")};
        QTest::newRow("second box")
            << 1
            << QStringList{QStringLiteral("Write: issue initial instructions"),
                           QStringLiteral("Write: user selected Cancel")};
    }
    void cancelInInstructionBoxes() {
        QFETCH(int, cancelAt);
        QFETCH(QStringList, lines);
        Rig rig(false);
        rig.env.boxes.answers = cancelAt == 0
                                    ? std::deque<MsgAnswer>{MsgAnswer::Cancel}
                                    : std::deque<MsgAnswer>{MsgAnswer::Ok, MsgAnswer::Cancel};

        rig.write();

        QCOMPARE(rig.env.boxes.shown.size(), cancelAt + 1);
        QCOMPARE(rig.writeLines(), lines);
        QCOMPARE(rig.env.log().last(), lines.last());
        QVERIFY(rig.wire().isEmpty());
        QVERIFY(rig.linkClosed());
        QVERIFY(rig.buttonsIdle());
    }

    // The radio does not answer, refuses, or the user gives up waiting.
    void noPermission_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("ackLine");
        QTest::addColumn<int>("waitMs");  // how long the write waits for the answer
        QTest::newRow("COM, silent")
            << false << QStringLiteral("silent")
            << QStringLiteral("ReceiveAck: timed out. Bytes in buffer=0") << 25 * 50;
        QTest::newRow("FTDI, silent")
            << true << QStringLiteral("silent")
            << QStringLiteral("ReceiveAck: timed out. Bytes in buffer=0") << 25 * 20;
        QTest::newRow("COM, NAK") << false << QStringLiteral("nak")
                                  << QStringLiteral("ReceiveAck: ACK not received. Received hex 15")
                                  << -1;
        QTest::newRow("FTDI, NAK")
            << true << QStringLiteral("nak")
            << QStringLiteral("ReceiveAck: ACK not received. Received hex 15") << -1;
        QTest::newRow("COM, Cancel Read") << false << QStringLiteral("cancel")
                                          << QStringLiteral("ReceiveAck: cancelled by user") << -1;
    }
    void noPermission() {
        QFETCH(bool, ftdi);
        QFETCH(QString, fault);
        QFETCH(QString, ackLine);
        QFETCH(int, waitMs);
        Rig rig(ftdi);
        rig.radio->faults.silent = fault != QStringLiteral("nak");
        rig.radio->faults.nakIdentity = fault == QStringLiteral("nak");
        qint64 sentMs = -1;
        qint64 boxMs = -1;
        rig.env.boxes.onShow = [&](const ScriptedMessageBoxes::Shown& box) {
            if (box.text == kSecondBox) {
                sentMs = rig.env.nowMs();
                if (fault == QStringLiteral("cancel"))
                    rig.env.clock.afterMs(300, [&] { rig.form().cmdCancelRead->click(); });
            } else {
                boxMs = rig.env.nowMs();
            }
        };

        rig.write();

        QCOMPARE(rig.env.boxes.texts().last(), kNoPermission);
        QCOMPARE(rig.env.boxes.shown.last().icon, MsgIcon::Stop);
        const QStringList log = rig.env.log();
        QCOMPARE(log.at(log.size() - 2), ackLine);
        QCOMPARE(log.last(),
                 QStringLiteral("Write: no permission to write received from the radio"));
        QCOMPARE(rig.wire(), rig.image.mid(65216, 10));  // only the identity went out
        if (waitMs > 0)
            QVERIFY2(qAbs(boxMs - sentMs - waitMs) <= 2 * rig.env.ctx->state.rx.HandshakeDelay,
                     qPrintable(QString::number(boxMs - sentMs)));
        if (fault == QStringLiteral("cancel"))
            QVERIFY(boxMs - sentMs < 400);
        QVERIFY(rig.linkClosed());
        QVERIFY(rig.buttonsIdle());
        QVERIFY(!rig.prompt().isVisible());
    }

    // A send that fails (device gone, cable pulled, the port refusing output) ends the
    // write at once with the lost-connection box, on either back-end, and tidies up as a
    // finished write does.
    void failedSend_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<qint64>("failAfter");  // bytes out before sends start failing
        QTest::addColumn<bool>("pullCable");
        QTest::addColumn<QString>("lastLine");
        const QString block6 = QStringLiteral("Write Failed at block 6");
        const QString id = QStringLiteral("Write of radio ID failed");
        const QString sum = QStringLiteral("Write failed sending checksum.");
        QTest::newRow("FTDI, identity") << true << qint64(0) << false << id;
        QTest::newRow("FTDI, block 6") << true << qint64(10 + 5 * 64) << false << block6;
        QTest::newRow("FTDI, checksum") << true << qint64(10 + 65216) << false << sum;
        QTest::newRow("COM, identity") << false << qint64(0) << false << id;
        QTest::newRow("COM, block 6") << false << qint64(10 + 5 * 64) << false << block6;
        QTest::newRow("COM, checksum") << false << qint64(10 + 65216) << false << sum;
        // The radio's ACK crosses the cable too.
        QTest::newRow("FTDI, pulled") << true << qint64(10 + 1 + 5 * 64) << true << block6;
        QTest::newRow("COM, pulled") << false << qint64(10 + 1 + 5 * 64) << true << block6;
    }
    void failedSend() {
        QFETCH(bool, ftdi);
        QFETCH(qint64, failAfter);
        QFETCH(bool, pullCable);
        QFETCH(QString, lastLine);
        Rig rig(ftdi);
        if (pullCable)
            rig.radio->faults.pullCableAfterBytes = failAfter;
        else if (failAfter == 0)
            rig.env.boxes.onShow = [&](const ScriptedMessageBoxes::Shown& box) {
                if (box.text == kSecondBox)
                    rig.failSends();
            };
        else
            rig.failSendsAfter(failAfter);

        rig.write();

        QCOMPARE(rig.env.boxes.texts(), QStringList({kFirstBox, kSecondBox, kLost}));
        QCOMPARE(rig.env.boxes.shown.last().icon, MsgIcon::Stop);
        QVERIFY(rig.env.log().contains(lastLine));
        QCOMPARE(rig.writeLines().last(), lastLine);
        QVERIFY(!rig.env.log().contains(QStringLiteral("Write: transfer complete")));
        QVERIFY(!rig.prompt().isVisible());
        QCOMPARE(rig.form().lblBlockCount->text(), QStringLiteral("0"));
        QVERIFY(rig.linkClosed());
        QVERIFY(rig.buttonsIdle());
        QVERIFY(rig.env.ctx->state.clone.ImageValid);
        QCOMPARE(rig.radio->writesReceived, 0);
    }

    // A fault nobody planned for is reported in the system's format and the program
    // carries on: here a "valid" image too short to hold an identity.
    void unexpectedErrorIsReported() {
        Rig rig(false);
        rig.env.ctx->state.clone.CloneImage = QByteArray(2, '\0');

        rig.write();

        QCOMPARE(rig.env.boxes.texts().last(),
                 QStringLiteral("Error 9 (Subscript out of range) in line 130 of procedure "
                                "cmdWriteRig_Click of Form Form1"));
        QCOMPARE(rig.env.boxes.shown.last().buttons, MsgButtons::Ok);
        QCOMPARE(rig.env.boxes.shown.last().icon, MsgIcon::None);
        QVERIFY(rig.wire().isEmpty());
        QVERIFY(rig.linkClosed());
        QVERIFY(rig.buttonsIdle());
    }

    void unopenedLinkChangesNothing() {
        Rig rig(true);
        rig.env.d2xx->devices[0].description = "another cable";

        rig.write();

        QVERIFY(rig.env.boxes.shown.isEmpty());
        QVERIFY(rig.writeLines().isEmpty());
        QVERIFY(rig.buttonsIdle());
        QCOMPARE(rig.env.ctx->state.rx.HandshakeDelay, 20);
    }
};

QTEST_MAIN(CloneWriteTest)
#include "test_clone_write.moc"

#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <functional>

#include "clone/cloneimage.h"
#include "link/link.h"
#include "support/testenv.h"
#include "ui/frmmessages.h"

// The memory write against the simulated radio, over a COM port and over the FTDI device,
// in virtual time: the bytes on the wire, the pacing, and every way out.

namespace {

const QByteArray kCable = "VX-8 clone cable";
const QString kFirstBox =
    "You are preparing to write to the radio. \r\n\r\n"
    "  1. Power Off the Radio and connect the programming lead,\r\n"
    "  2. Hold down the [F/W] key and Power On the Radio.\r\n"
    "      The radio should now show CLONE.\r\n"
    "  3. Click OK for the next part of the instructions...,\r\n\r\n"
    "or click Cancel to abort the memory write.";
const QString kSecondBox =
    "You are about to write to the radio.\r\n\r\n"
    "  1. Press and release the MODE key - the radio shows \r\n"
    "      --WAIT--.\r\n"
    "  2. Click OK to start writing to the radio,\r\n\r\n"
    "or click Cancel to abort the memory write.";
const QString kCompleted =
    "Transfer of memory completed.\r\nNow power off and disconnect the cloning cable from the "
    "radio";
const QString kNoPermission = "Failed to receive permission to write to the radio.";
const QString kLost =
    "The connection to the radio was lost.\r\nCheck the programming cable and try again.";

// A radio on the configured link (COM5 or the FTDI device) and a valid image, different
// from the radio's memory, whose checksum is `checksum`.
struct Rig {
    TestEnv env;
    SimRadio* radio = nullptr;
    bool ftdi = false;
    QByteArray image;
    qint64 secondBoxMs = -1;
    qint64 lastBoxMs = -1;

    explicit Rig(bool overFtdi, quint8 checksum = 0x0A) : ftdi(overFtdi) {
        radio = ftdi ? &env.radioOnFtdi(kCable) : &env.radioOnCom(5);
        env.settings->set("Settings", "CommPort", ftdi ? "999" : "5");
        env.settings->set("Settings", "FTDIDevice", QString::fromLatin1(kCable));
        env.form();
        env.boxes.shown.clear();
        env.boxes.onShow = [this](const ScriptedMessageBoxes::Shown& box) {
            (box.text == kSecondBox ? secondBoxMs : lastBoxMs) = env.nowMs();
        };
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
    FrmMessages& prompt() { return env.form().frmMessages(); }
    QByteArray wire() { return ftdi ? env.d2xx->devices[0].written : env.ports->ports[5].written; }
    bool linkClosed() {
        return ftdi ? !env.d2xx->anyOpen() : !env.ctx->link().MSComm1().PortOpen();
    }
    QStringList writeLines() { return env.log().filter(QRegularExpression("^Write")); }
    // Every send fails from the moment `bytes` bytes have gone out (noticed in a wait;
    // 0: from the identity on).
    void failSendsAfter(qint64 bytes) {
        auto fail = [this] {
            if (ftdi)
                env.d2xx->fail["FT_Write"] = FT_IO_ERROR;
            else
                static_cast<FakeSerialControl&>(env.ctx->link().MSComm1()).failOutput = true;
        };
        if (bytes == 0)
            env.boxes.onShow = [fail](const ScriptedMessageBoxes::Shown& box) {
                if (box.text == kSecondBox)
                    fail();
            };
        else
            env.clock.addTicker([this, bytes, fail] {
                if (wire().size() >= bytes)
                    fail();
            });
    }
};

using Setup = std::function<void(Rig&)>;

}  // namespace

Q_DECLARE_METATYPE(Setup)

class CloneWriteTest : public QObject {
    Q_OBJECT
private slots:
    // The whole write byte for byte, paced by HandshakeDelay, and taken by the radio.
    void fullWrite_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<int>("checksum");
        QTest::addColumn<QString>("checksumText");
        QTest::addColumn<int>("delay");
        QTest::newRow("COM") << false << 0x0A << "0A" << 50;
        QTest::newRow("FTDI") << true << 0x00 << "00" << 20;
    }
    void fullWrite() {
        QFETCH(bool, ftdi);
        QFETCH(int, checksum);
        QFETCH(QString, checksumText);
        QFETCH(int, delay);
        Rig rig(ftdi, quint8(checksum));
        qint64 firstBlockMs = -1, checksumMs = -1;
        rig.env.clock.addTicker([&] {
            if (firstBlockMs < 0 && rig.wire().size() > 10)
                firstBlockMs = rig.env.nowMs();
            if (checksumMs < 0 && rig.wire().size() == 65227)
                checksumMs = rig.env.nowMs();
        });

        rig.form().cmdWriteRig->click();

        QCOMPARE(rig.env.ctx->state.rx.HandshakeDelay, delay);
        // The identity, the 1019 blocks and the checksum, nothing else.
        QVERIFY(rig.wire() == rig.image.mid(65216, 10) + rig.image.left(65216) + char(checksum));
        QCOMPARE(rig.radio->writesReceived, 1);
        QVERIFY(rig.radio->lastWriteChecksumOk);
        // Each block is followed by a pause of HandshakeDelay.
        QVERIFY(checksumMs - firstBlockMs >= 1019 * delay);
        QVERIFY(checksumMs - firstBlockMs < 1019 * delay + 1000);

        QCOMPARE(rig.env.boxes.texts(), QStringList({kFirstBox, kSecondBox, kCompleted}));
        QCOMPARE(rig.env.boxes.shown[0].buttons, MsgButtons::OkCancel);
        QCOMPARE(rig.env.boxes.shown[1].icon, MsgIcon::Question);
        QCOMPARE(rig.env.boxes.shown[2].icon, MsgIcon::Information);
        const QStringList lines = rig.writeLines();
        QCOMPARE(lines.mid(0, 5),
                 QStringList({"Write: issue initial instructions",
                              "Write: requesting permission to write to radio",
                              "Write: permission received", "Write: sending block 1",
                              "Write: sent block 1. Counter=0"}));
        QCOMPARE(
            lines.mid(lines.size() - 3),
            QStringList({"Write: sent block 1019. Counter=0",
                         "Write: sending checksum " + checksumText, "Write: transfer complete"}));
        const QStringList sent = lines.filter("Write: sent block ");
        QCOMPARE(sent.size(), 1019);
        QCOMPARE(sent.filter(QRegularExpression("\\. Counter=0$")).size(), 1019);
        QCOMPARE(rig.form().lblBlockCount->text(), "0");
        QCOMPARE(rig.prompt().pbarClone->value(), 1019);
        QVERIFY(!rig.prompt().isVisible());
        QVERIFY(rig.form().cmdWriteRig->isEnabled() && !rig.form().cmdCancelRead->isEnabled());
        QVERIFY(rig.linkClosed());
        QVERIFY(rig.env.ctx->state.clone.CloneImage == rig.image);
    }

    // Every way a write ends early: the boxes, the write's last trace lines, what went out,
    // how long the permission wait lasted, and always the link closed, the prompt window
    // gone, the block counter back at 0 and the buttons back with Write Radio enabled.
    void waysOut_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("lastBox");  // empty: none after the instructions
        QTest::addColumn<QStringList>("lastLines");
        QTest::addColumn<int>("wireBytes");
        QTest::addColumn<int>("waitMs");  // from the second box to the last one; -1: any

        const QString noPermission = "Write: no permission to write received from the radio";
        const QString timedOut = "ReceiveAck: timed out. Bytes in buffer=0";
        const QString nak = "ReceiveAck: ACK not received. Received hex 15";
        const QString block6 = "Write Failed at block 6";
        const QString id = "Write of radio ID failed";
        const QString sum = "Write failed sending checksum.";
        auto answers = [](std::deque<MsgAnswer> a) {
            return Setup([a](Rig& r) { r.env.boxes.answers = a; });
        };
        auto silent = Setup([](Rig& r) { r.radio->faults.silent = true; });
        auto naks = Setup([](Rig& r) { r.radio->faults.nakIdentity = true; });
        auto failAfter = [](qint64 n) { return Setup([n](Rig& r) { r.failSendsAfter(n); }); };
        auto pullAfter = [](qint64 n) {
            return Setup([n](Rig& r) { r.radio->faults.pullCableAfterBytes = n; });
        };

        QTest::newRow("Cancel in the first box")
            << false << answers({MsgAnswer::Cancel}) << QString()
            << QStringList{"Write: issue initial instructions"} << 0 << -1;
        QTest::newRow("Cancel in the second box")
            << false << answers({MsgAnswer::Ok, MsgAnswer::Cancel}) << QString()
            << QStringList{"Write: issue initial instructions", "Write: user selected Cancel"} << 0
            << -1;
        QTest::newRow("Cancel Read during the permission wait") << false << Setup([](Rig& r) {
            r.radio->faults.silent = true;
            auto record = r.env.boxes.onShow;
            r.env.boxes.onShow = [&r, record](const ScriptedMessageBoxes::Shown& box) {
                record(box);
                if (box.text == kSecondBox)
                    r.env.clock.afterMs(300, [&r] { r.form().cmdCancelRead->click(); });
            };
        }) << kNoPermission << QStringList{"ReceiveAck: cancelled by user", noPermission}
                                                                << 10 << 300;
        // A failed send ends the write at once, on either back-end, and says so.
        for (bool ftdi : {false, true}) {
            auto row = [&](const char* name) {
                return &QTest::newRow(qPrintable(QString(ftdi ? "FTDI, " : "COM, ") + name));
            };
            // The permission wait lasts 25 receive attempts of HandshakeDelay each.
            *row("no answer") << ftdi << silent << kNoPermission
                              << QStringList{timedOut, noPermission} << 10 << 25 * (ftdi ? 20 : 50);
            *row("NAK") << ftdi << naks << kNoPermission << QStringList{nak, noPermission} << 10
                        << -1;
            *row("identity send fails")
                << ftdi << failAfter(0) << kLost << QStringList{id} << -1 << -1;
            *row("block 6 send fails")
                << ftdi << failAfter(10 + 5 * 64) << kLost
                << QStringList{"Write: sent block 5. Counter=0", "Write: sending block 6", block6}
                << -1 << -1;
            *row("checksum send fails")
                << ftdi << failAfter(10 + 65216) << kLost
                << QStringList{"Write: sending checksum 0A", sum} << -1 << -1;
            // The radio's ACK crosses the cable too.
            *row("cable pulled after block 5")
                << ftdi << pullAfter(10 + 1 + 5 * 64) << kLost << QStringList{block6} << -1 << -1;
        }
        // No link, nothing at all: no box, no trace line, nothing sent.
        QTest::newRow("FTDI device not there")
            << true << Setup([](Rig& r) { r.env.d2xx->devices[0].description = "another cable"; })
            << QString() << QStringList() << 0 << -1;
        // A fault nobody planned for: a "valid" image too short to hold an identity.
        QTest::newRow("unexpected error")
            << false << Setup([](Rig& r) { r.env.ctx->state.clone.CloneImage.resize(2); })
            << "Error 9 (Subscript out of range) in line 130 of procedure cmdWriteRig_Click of "
               "Form Form1"
            << QStringList{"Write: issue initial instructions"} << 0 << -1;
    }
    void waysOut() {
        QFETCH(bool, ftdi);
        QFETCH(Setup, setup);
        QFETCH(QString, lastBox);
        QFETCH(QStringList, lastLines);
        QFETCH(int, wireBytes);
        QFETCH(int, waitMs);
        Rig rig(ftdi);
        setup(rig);

        rig.form().cmdWriteRig->click();

        const QStringList boxes = rig.env.boxes.texts();
        if (lastLines.isEmpty()) {
            QVERIFY(boxes.isEmpty() && rig.writeLines().isEmpty());
        } else if (lastBox.isEmpty()) {
            QVERIFY(boxes.size() <= 2);
        } else {
            QCOMPARE(boxes.last(), lastBox);
            QCOMPARE(rig.env.boxes.shown.last().buttons, MsgButtons::Ok);
            QCOMPARE(rig.env.boxes.shown.last().icon,
                     lastBox.startsWith("Error") ? MsgIcon::None : MsgIcon::Stop);
        }
        const QStringList log = rig.env.log();
        QCOMPARE(log.mid(log.size() - lastLines.size()), lastLines);
        QVERIFY(!log.contains("Write: transfer complete"));
        if (wireBytes >= 0)
            QCOMPARE(rig.wire(), rig.image.mid(65216, wireBytes));
        if (waitMs >= 0)
            QVERIFY2(qAbs(rig.lastBoxMs - rig.secondBoxMs - waitMs) <= 50,
                     qPrintable(QString::number(rig.lastBoxMs - rig.secondBoxMs)));
        QCOMPARE(rig.radio->writesReceived, 0);
        QVERIFY(rig.linkClosed());
        QVERIFY(!rig.prompt().isVisible());
        QCOMPARE(rig.form().lblBlockCount->text(), "0");
        QVERIFY(rig.form().cmdRead->isEnabled() && !rig.form().cmdCancelRead->isEnabled());
        QVERIFY(rig.form().cmdWriteRig->isEnabled());
    }
};

QTEST_MAIN(CloneWriteTest)
#include "test_clone_write.moc"

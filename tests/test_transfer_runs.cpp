#include <QAction>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "support/golden.h"
#include "support/rig.h"
#include "transfer/memory_read.h"

// The golden transcripts: every way a read or a write ends, against the simulated radio in
// virtual time. What the user sees (each box) and the trace, word for word, are kept in
// golden/transfers.txt, one section per flow; QUORLINK_GOLDEN_OUT=FILE writes what this run
// saw in the same form, for review. Whatever the flow, the transfer ends with the link
// closed and the buttons back; Write Radio is offered only with a valid image.

using Setup = std::function<void(Rig&)>;
Q_DECLARE_METATYPE(Setup)

namespace {

// A box as one line: its icon, its text and, unless it is a plain OK, its buttons.
QString boxLine(const ScriptedMessageBoxes::Shown& box) {
    static const char* icons[] = {"( )", "(?)", "(!)", "(x)", "(i)"};
    static const char* buttons[] = {"", " [OK/Cancel]", " [Yes/No]"};
    return QString(icons[int(box.icon)] + (' ' + box.text) + buttons[int(box.buttons)])
        .replace("\r\n", "|");
}

// Temporary paths and the time of day read "DIR" and "TIME".
QString normal(QString line, const QString& dir) {
    static const QRegularExpression time("\\d{4}(-\\d\\d){2}_\\d\\d(-\\d\\d){2}");
    return line.replace(dir, "DIR").replace(time, "TIME");
}

// The trace with every run of three or more repeats of one to three lines that differ
// only in their numbers folded into its first repeat, "...", and its last.
QStringList folded(QStringList lines, const QString& dir) {
    static const QRegularExpression digits("\\d+");
    QStringList shapes;
    for (QString& line : lines) {
        line = normal(line, dir);
        shapes << QString(line).replace(digits, "#");
    }
    QStringList out;
    for (qsizetype i = 0; i < lines.size();) {
        qsizetype period = 1, repeats = 1;
        for (qsizetype p = 1; p <= 3 && repeats < 3; ++p) {
            period = p;
            repeats = 1;
            while (i + (repeats + 1) * p <= lines.size() &&
                   shapes.mid(i + repeats * p, p) == shapes.mid(i, p))
                ++repeats;
        }
        if (repeats < 3) {
            out << lines[i++];
            continue;
        }
        out << lines.mid(i, period) << "..." << lines.mid(i + (repeats - 1) * period, period);
        i += repeats * period;
    }
    return out;
}

enum Prompt { Hidden, Shown, ShownWithFrame };

// A row of read_data or write_data: its name, the link, and what the test sets up.
QTestData& row(const char* name, bool ftdi, Setup setup) {
    return QTest::newRow(name) << ftdi << setup;
}
const Setup plain = [](Rig&) {};
// A second click on Read 120 ms after the first (a double-click, or Write then Read) lands
// while the link opens: it does nothing, and the one transfer ends as it would alone.
const Setup readAgain = [](Rig& r) {
    r.env.clock.afterMs(120, [&r] { QTest::mouseClick(r.form().cmdRead, Qt::LeftButton); });
};

}  // namespace

class TransfersTest : public QObject {
    Q_OBJECT

    QMap<QString, QStringList> golden_ = readGolden("transfers.txt");
    QString seen_;  // every transcript of this run, in the golden file's form

    void addColumns() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<Setup>("setup");
    }
    // The flow's transcript (its boxes, then its trace with each block's lines folded)
    // against the golden one; then what every flow leaves behind.
    void compareTranscript(Rig& rig, const char* transfer) {
        QStringList lines;
        for (const auto& box : rig.env.boxes.shown)
            lines << "box " + normal(boxLine(box), rig.env.dir.path());
        for (const QString& line : folded(rig.env.log(), rig.env.dir.path()))
            lines << "log " + line;
        const QString flow = QString(transfer) + ": " + QTest::currentDataTag();
        seen_ += "== " + flow + '\n' + lines.join('\n') + "\n\n";
        QCOMPARE(lines, golden_.value(flow));
        QVERIFY(rig.linkClosed());
        QVERIFY(rig.idle());
        QCOMPARE(rig.form().cmdWriteRig->isEnabled(), rig.clone().image.isValid());
    }

private slots:
    void cleanupTestCase() { writeGoldenOut(seen_); }

    void read_data();
    void read() {
        QFETCH(bool, ftdi);
        QFETCH(Setup, setup);
        QFETCH(QByteArray, wire);
        QFETCH(int, prompt);
        QFETCH(int, reactionMs);
        Rig rig(ftdi);
        setup(rig);
        const bool held = rig.clone().image.isValid();
        QSignalSpy changed(rig.env.ctx.get(), &AppContext::imageChanged);
        int progress = 0;  // the most the bar showed
        QObject::connect(rig.prompt().pbarClone, &QProgressBar::valueChanged,
                         [&](int value) { progress = qMax(progress, value); });

        rig.form().cmdRead->click();

        compareTranscript(rig, "read");
        QCOMPARE(rig.wire(), wire);
        QCOMPARE(rig.prompt().isVisible(), prompt != Hidden);
        QCOMPARE(rig.prompt().frmClone->isVisible(), prompt == ShownWithFrame);
        if (reactionMs >= 0)
            QVERIFY2(rig.boxMs.last() - rig.actedMs <= reactionMs,
                     qPrintable(QString::number(rig.boxMs.last() - rig.actedMs)));
        const bool good = rig.env.boxes.shown.last().icon == MsgIcon::Information &&
                          rig.env.boxes.shown.last().text.startsWith("The read of memories");
        QCOMPARE(rig.clone().image.isValid(), good || held);  // only a good read replaces it
        QCOMPARE(QDir(rig.env.dir.filePath("backups")).entryList(QDir::Files).size(), good ? 1 : 0);
        if (good) {
            QVERIFY(rig.clone().image.identity() == rig.radio->identity &&
                    rig.clone().image.data() == rig.radio->memory);
            QVERIFY(rig.form().lblBlockCount->text() == "1019" && progress == 1019);
            QCOMPARE(changed.size(), 1);
        }
    }

    void write_data();
    void write() {
        QFETCH(bool, ftdi);
        QFETCH(Setup, setup);
        QFETCH(int, sent);
        QFETCH(int, waitMs);
        Rig rig(ftdi);
        QByteArray data(65216, '\0');
        for (int i = 0; i < data.size(); ++i)
            data[i] = char((i * 13 + i / 64 + 5) & 0xFF);
        rig.holdImage(SimRadio::identityAH29D() + data + '\0');
        setup(rig);
        const CloneImage image = rig.clone().image;

        rig.form().cmdWriteRig->click();

        compareTranscript(rig, "write");
        QVERIFY(rig.clone().image == image);  // a write keeps the image
        if (sent >= 0)
            QCOMPARE(rig.wire(), image.bytes().left(sent));
        QCOMPARE(rig.radio->writesReceived, sent == 65227 ? 1 : 0);
        QVERIFY(rig.radio->lastWriteChecksumOk || sent != 65227);
        const qint64 waited = rig.boxMs.value(rig.boxMs.size() - 1) - rig.boxMs.value(1);
        if (waitMs >= 0)  // within one poll
            QVERIFY2(qAbs(waited - waitMs) < rig.env.ctx->link().handshakeDelay(),
                     qPrintable(QString::number(waited)));
        QVERIFY(!rig.prompt().isVisible());
        // Every planned way out puts the block counter back; an error report leaves it.
        if (rig.env.boxes.shown.isEmpty() || rig.env.boxes.shown.last().icon != MsgIcon::None)
            QCOMPARE(rig.form().lblBlockCount->text(), "0");
    }

    // Two bytes and a time-out (a read that gave less than the queue count promised) are a
    // short identity that ends the read, not noise to wait past until the user cancels.
    void twoIdentityBytesEndTheRead() {
        struct ShortReads : FakeD2xx {
            using FakeD2xx::FakeD2xx;
            FT_STATUS FT_Read(FT_HANDLE h, quint8* to, quint32 n, quint32* read) override {
                return FakeD2xx::FT_Read(h, to, qMin(n, 2u), read);
            }
        };
        Rig rig(true, [](VirtualClock& c) { return std::make_unique<ShortReads>(c); });
        rig.whenAskedAfter(3000, [&] { rig.form().cmdCancelRead->click(); });
        rig.form().cmdRead->click();
        QVERIFY(rig.actedMs < 0 && !rig.clone().image.isValid() && rig.idle());
    }

    // While a read runs the port entries and both detectors are unavailable, and the link
    // stays what the read opened even if the chosen port changes under it.
    void linkStaysFixedDuringATransfer() {
        Rig rig;
        Form1& form = rig.form();
        QList<QAction*> choices(form.mnuCOM.begin(), form.mnuCOM.end());
        choices << form.mnuFTDI << form.mnuComPortIdentifier;
        bool allDisabled = true;
        rig.whenAskedAfter(1000, [&] {
            for (QAction* choice : choices) {
                allDisabled = allDisabled && !choice->isEnabled();
                choice->trigger();
            }
            rig.env.ctx->state.link.PortNumber = 999;
        });
        form.cmdRead->click();
        QVERIFY(allDisabled && rig.clone().image.isValid() && rig.linkClosed());
        for (const QAction* choice : choices)
            QVERIFY(choice->isEnabled() == choice->isVisible());  // hidden entries stay off
    }
};

void TransfersTest::read_data() {
    addColumns();
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("prompt");
    QTest::addColumn<int>("reactionMs");  // most time from the test's action to the box
    const QByteArray ack("\x06"), nak("\x15"), none;
    const Setup stall11 = [](Rig& r) { r.radio->memory.truncate(640 + 30); };
    const Setup pulledInBlocks = [](Rig& r) {
        r.radio->faults.pullCableAfterBytes = 10 + 1 + 64 * 200 + 17;
    };
    // The radio sends no checksum, and its sum comes out as `sum`.
    auto noChecksum = [](quint8 sum) {
        return Setup([sum](Rig& r) {
            r.radio->faults.omitChecksum = true;
            const quint8 now = SimRadio::checksumOf(r.radio->identity, r.radio->memory);
            r.radio->memory[0] = char(quint8(r.radio->memory[0]) + quint8(sum - now));
        });
    };
    // The user does not press [BAND]; `action` follows `ms` after the prompt asks for it.
    auto noBand = [](int ms, std::function<void(Rig&)> action) {
        return Setup([=](Rig& r) {
            r.pressBand = false;
            r.whenAskedAfter(ms, [&r, action] { action(r); });
        });
    };
    row("COM, good read", false, plain) << ack << int(Hidden) << -1;
    row("Read clicked again", false, readAgain) << ack << int(Hidden) << -1;
    row("timeouts counted from 0 again", false, [](Rig& r) { r.env.ctx->setTimeoutCount(7); })
        << ack << int(Hidden) << -1;
    row("FTDI, good read of a VX-8D", true,
        [](Rig& r) { r.radio->identity = SimRadio::identityAH29D(); })
        << ack << int(Hidden) << -1;
    row("good read of a VX-8G", false,
        [](Rig& r) { r.radio->identity = SimRadio::identityAH29D().replace(0, 5, "AH041"); })
        << ack << int(Hidden) << -1;
    row("identity AH02A refused", false,
        [](Rig& r) { r.radio->identity = QByteArray("AH02A\0\1\0\0\0", 10); })
        << nak << int(Shown) << -1;
    // 64 bytes that are complete when the 50th poll of a block wait ends are a block, not a
    // time-out: the test feeds the port itself, the first block in time for that poll.
    row("block complete at the last poll", false,
        [](Rig& r) {
            r.env.ports->ports[3].radio = nullptr;
            r.pressBand = false;
            r.whenAskedAfter(0, [&r] { r.env.ports->inject(3, r.radio->identity); });
            r.env.clock.addTicker([&r, seen = std::make_shared<bool>(false)] {
                if (*seen || !r.env.ports->ports[3].written.contains('\x06'))
                    return;
                *seen = true;  // the ACK's pause is over: the waits for the first block begin
                r.env.clock.afterMs(245, [&r] {  // within the last, polls 49 and 50
                    r.env.ports->inject(3, r.radio->memory.left(64));
                    r.env.clock.afterMs(100, [&r] {
                        r.env.ports->inject(
                            3, r.radio->memory.mid(64) +
                                   char(SimRadio::checksumOf(r.radio->identity, r.radio->memory)));
                    });
                });
            });
        })
        << ack << int(Hidden) << -1;
    // The 10th block is taken as soon as its 64 bytes wait: the read gives up 50 polls
    // (250 ms) after it, about 425 ms after the prompt asks for [BAND].
    row("stall after 10 blocks", false,
        [](Rig& r) {
            r.radio->faults.stallAfterBlocks = 10;
            r.whenAskedAfter(0, [] {});
        })
        << ack << int(Hidden) << 450;
    // The link's own count of what is left, on either back-end.
    row("COM, stall in the 11th block", false, stall11) << ack << int(Hidden) << -1;
    row("FTDI, stall in the 11th block", true, stall11) << ack << int(Hidden) << -1;
    row("identity, then silence", false, [](Rig& r) { r.radio->faults.stallAfterBlocks = 0; })
        << ack << int(ShownWithFrame) << -1;
    row("wrong checksum", false, [](Rig& r) { r.radio->faults.wrongChecksum = true; })
        << ack << int(Shown) << -1;
    // The byte left in the receive buffer equals the sum: still no success.
    row("no checksum byte", false, noChecksum(0)) << ack << int(Shown) << -1;
    row("no checksum byte, sum differs", false, noChecksum(0x5A)) << ack << int(Shown) << -1;
    // A cancel takes effect at the end of the receive attempt under way.
    row("Cancel Read while waiting for the identity", false,
        noBand(700, [](Rig& r) { r.form().cmdCancelRead->click(); }))
        << none << int(Shown) << 600;
    row("click on the looking-for-radio message", false,
        noBand(700, [](Rig& r) { QTest::mouseClick(r.prompt().lblLookingForRig, Qt::LeftButton); }))
        << none << int(Shown) << 600;
    row("click on the waiting message during the blocks", false,
        [](Rig& r) {
            r.whenAskedAfter(2000,
                             [&r] { QTest::mouseClick(r.prompt().lblWaiting, Qt::LeftButton); });
        })
        << ack << int(Hidden) << 20;
    row("cable pulled while waiting for the identity", false,
        noBand(1200, [](Rig& r) { r.radio->pullCable(); }))
        << none << int(Hidden) << -1;
    row("COM, cable pulled during the blocks", false, pulledInBlocks) << ack << int(Hidden) << -1;
    row("FTDI, cable pulled during the blocks", true, pulledInBlocks) << ack << int(Hidden) << -1;
    // An earlier image: Cancel in the instruction box drops it; a link that does not open
    // (its own box) leaves it.
    row("Cancel in the instruction box", false,
        [](Rig& r) {
            r.holdImage(QByteArray(65227, '\x33'));
            r.env.boxes.answers = {MsgAnswer::Cancel};
        })
        << none << int(Hidden) << -1;
    // A port that does not open says why and what to do.
    for (int error : {8005, 68, 70, 8015})
        row(qPrintable(QString("link does not open, error %1").arg(error)), false,
            [error](Rig& r) {
                r.holdImage(QByteArray(65227, '\x33'));
                r.env.ports->ports[3].openError = error;
            })
            << none << int(Hidden) << -1;
    // An unexpected error: reported with the failing step's label; the closing sequence
    // still runs.
    row("FTDI, library gone during the identity wait", true,
        noBand(0,
               [](Rig& r) {
                   r.env.d2xx->libraryMissing = true;
                   r.atBox(r.env.boxes.shown.size() + 1,
                           [&r] { r.env.d2xx->libraryMissing = false; });
               }))
        << none << int(Hidden) << -1;
}

void TransfersTest::write_data() {
    addColumns();
    QTest::addColumn<int>("sent");    // bytes of identity, data and checksum that went out; -1: any
    QTest::addColumn<int>("waitMs");  // from the second box to the last; -1: any
    auto answers = [](std::deque<MsgAnswer> a) {
        return Setup([a](Rig& r) { r.env.boxes.answers = a; });
    };
    const Setup silent = [](Rig& r) { r.radio->faults.silent = true; };
    auto failAfter = [](qint64 n) { return Setup([n](Rig& r) { r.failSendsAfter(n); }); };
    row("COM, good write", false, plain) << 65227 << -1;
    row("FTDI, good write", true, plain) << 65227 << -1;
    row("Read clicked during the write", false, readAgain) << 65227 << -1;
    row("Cancel in the first box", false, answers({MsgAnswer::Cancel})) << 0 << -1;
    row("Cancel in the second box", false, answers({MsgAnswer::Ok, MsgAnswer::Cancel})) << 0 << -1;
    row("Cancel Read during the permission wait", false,
        [](Rig& r) {
            r.radio->faults.silent = true;
            r.atBox(2,
                    [&r] { r.env.clock.afterMs(300, [&r] { r.form().cmdCancelRead->click(); }); });
        })
        << 10 << 300;
    // The permission wait lasts 25 receive attempts of HandshakeDelay each.
    // An ACK that came while the second box was shown is not the radio's answer.
    row("COM, no answer", false,
        [](Rig& r) {
            r.radio->faults.silent = true;
            r.atBox(2, [&r] { r.env.ports->inject(3, "\x06"); });
        })
        << 10 << 25 * 50;
    row("FTDI, no answer", true, silent) << 10 << 25 * 20;
    row("NAK", false, [](Rig& r) { r.radio->faults.nakIdentity = true; }) << 10 << -1;
    // A failed send ends the write at once, on either back-end, and says so.
    row("COM, identity send fails", false, failAfter(0)) << -1 << -1;
    row("FTDI, identity send fails", true, failAfter(0)) << -1 << -1;
    row("COM, block 6 send fails", false, failAfter(10 + 5 * 64)) << -1 << -1;
    row("FTDI, checksum send fails", true, failAfter(10 + 65216)) << -1 << -1;
    // The radio's ACK crosses the cable too.
    const Setup pulled = [](Rig& r) { r.radio->faults.pullCableAfterBytes = 10 + 1 + 5 * 64; };
    row("COM, cable pulled after block 5", false, pulled) << -1 << -1;
    row("FTDI, cable pulled after block 5", true, pulled) << -1 << -1;
    // An unexpected error with the blocks under way: reported, and the closing sequence runs.
    row("FTDI, library gone during the blocks", true,
        [](Rig& r) {
            auto gone = std::make_shared<bool>(false);
            r.env.clock.addTicker([&r, gone] {
                if (!*gone && r.wire().size() >= 10 + 5 * 64)
                    *gone = r.env.d2xx->libraryMissing = true;
            });
            r.atBox(3, [&r] { r.env.d2xx->libraryMissing = false; });
        })
        << -1 << -1;
    // No link, nothing at all: no box, no trace line, nothing sent.
    row("FTDI device not there", true, [](Rig& r) { r.env.d2xx->devices[0].description = "other"; })
        << 0 << -1;
    // A fault nobody planned for: a write with no image held.
    row("unexpected error", false, [](Rig& r) { r.clone().image = CloneImage(); }) << 0 << -1;
}

QTEST_MAIN(TransfersTest)
#include "test_transfer_runs.moc"

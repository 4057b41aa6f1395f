#include <QtTest>

#include "sim/simradio.h"
#include "support/radioprocess.h"
#include "support/realapp.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The link routines over a real serial port: the application's own QSerialPort back-end on
// the pseudo-terminal of the quorlink-radio program, in real time. COM12 is mapped to the
// terminal in the settings store, as a user maps a cable.
namespace {

constexpr qint16 kCom = 12;
constexpr int kWaitMs = RadioProcess::kWaitMs;
const QString kBusy = QStringLiteral(
    "COM Port 12 is not available. It may be in use by another program.\r\n"
    "The requested operation cannot continue.");

struct PtyApp : RealApp {
    RadioProcess radio;

    explicit PtyApp(const QStringList& radioArguments = {}) : radio(radioArguments) {}
    ~PtyApp() {  // the application lets go of the terminal before the radio program ends
        form.reset();
        ctx.reset();
    }
    // Starts the radio program and maps COM12 to its terminal.
    bool start() {
        if (radio.start().isEmpty())
            return false;
        settings.set(QStringLiteral("Ports"), QStringLiteral("COM12"), radio.path());
        return true;
    }
    void open() { link().SetCommPort(kCom, QStringLiteral("38400,N,8,1")); }

    // Has the radio send its identity and calls Receive until it arrives, as a read does
    // (bounded); then answers ACK.
    QByteArray identityAndAck() {
        radio.command("band");
        QByteArray identity;
        for (int attempt = 0; attempt < 20 && identity.isEmpty(); ++attempt) {
            link().Receive(10);
            if (ctx->state.rx.RxBuffer.size() == 10)
                identity = ctx->state.rx.RxBuffer;
        }
        link().SendACK();
        return identity;
    }
};

}  // namespace

class E2eLinkTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (RadioProcess::program().isEmpty())
            QSKIP("QUORLINK_RADIO is not set (run through ctest)");
    }

    // Open, identity, acknowledgement and the first blocks, byte for byte.
    void readsIdentityAndBlocksOverARealPort() {
        PtyApp app({"--fault", "stall=2"});
        QVERIFY2(app.start(), qPrintable(app.radio.error()));
        QCOMPARE(app.ports.devicePathFor(kCom), app.radio.path());

        app.open();
        QVERIFY(app.linkState().LinkOpen);
        QVERIFY(app.log().contains(QStringLiteral("SetCommPort: open OK for port 12")));
        QVERIFY(app.boxes.shown.isEmpty());

        QCOMPARE(app.identityAndAck(), SimRadio::identityAH029());
        QVERIFY(app.log().contains(QStringLiteral("SendACK: ACK sent")));
        QVERIFY2(app.radio.waitFor(QStringLiteral("ACK")), qPrintable(app.radio.seen().join('|')));

        const QByteArray memory = SimRadio().memory;
        for (int block = 0; block < 2; ++block) {
            QTRY_VERIFY_WITH_TIMEOUT(app.link().GetInBufferCount() >= 64, kWaitMs);
            QByteArray bytes;
            app.link().ReceiveFT(bytes, 64);
            QCOMPARE(bytes, memory.mid(block * 64, 64));
        }
        QVERIFY(app.radio.waitFor(QStringLiteral("SENT")));

        app.link().CloseCommPort();
        QVERIFY(!app.link().MSComm1().PortOpen());
        // Opening the same port again works: the first open is closed before.
        app.open();
        app.open();
        QVERIFY(app.linkState().LinkOpen);
        QVERIFY(app.boxes.shown.isEmpty());
    }

    // Another program holds the terminal exclusively: the busy box, no open, no crash.
    void busyPortShowsTheBox() {
        PtyApp app;
        QVERIFY2(app.start(), qPrintable(app.radio.error()));
        const int holder =
            ::open(QFile::encodeName(app.radio.path()).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(holder >= 0);
        QCOMPARE(::ioctl(holder, TIOCEXCL), 0);

        app.open();
        QVERIFY(!app.linkState().LinkOpen);
        QCOMPARE(app.log().last(), QStringLiteral("SetCommPort: open failed for port 12"));
        QCOMPARE(app.boxes.texts(), QStringList{kBusy});
        QCOMPARE(app.boxes.shown[0].icon, MsgIcon::Exclamation);
        QCOMPARE(app.boxes.shown[0].buttons, MsgButtons::Ok);
        QVERIFY(!app.link().MSComm1().PortOpen());

        ::ioctl(holder, TIOCNXCL);
        ::close(holder);
        app.open();
        QVERIFY(app.linkState().LinkOpen);
        QCOMPARE(app.boxes.shown.size(), 1);
    }

    // The cable is pulled while the radio sends: the link reports the loss once, the
    // port is closed, and a new open fails with the box instead of hanging.
    void cablePulledMidStream() {
        PtyApp app;
        QVERIFY2(app.start(), qPrintable(app.radio.error()));
        app.open();
        QVERIFY(app.linkState().LinkOpen);
        QCOMPARE(app.identityAndAck(), SimRadio::identityAH029());
        QTRY_VERIFY_WITH_TIMEOUT(app.link().GetInBufferCount() >= 64, kWaitMs);

        app.radio.command("pull");
        QVERIFY(app.radio.waitFor(QStringLiteral("PULLED")));
        const QString lost = QStringLiteral("the connection to the radio was lost");
        for (int attempt = 0; attempt < 20 && !app.linkState().LinkLost; ++attempt)
            app.link().Receive(65216);
        QVERIFY(app.linkState().LinkLost);
        QVERIFY(app.linkState().RxTimedOut);
        QVERIFY(!app.link().MSComm1().PortOpen());
        QCOMPARE(app.log().filter(lost).size(), 1);
        app.link().Receive(10);  // a dead port does not hang nor log again
        QCOMPARE(app.log().filter(lost).size(), 1);

        app.link().CloseCommPort();
        app.open();
        QVERIFY(!app.linkState().LinkOpen);
        QCOMPARE(app.boxes.texts(), QStringList{kBusy});
    }
};

QTEST_MAIN(E2eLinkTest)
#include "test_e2e_link.moc"

#include <QtTest>

#include "app/appcontext.h"
#include "app/form1.h"
#include "app/settings.h"
#include "link/clock.h"
#include "link/libftdi_d2xx.h"
#include "link/link.h"
#include "link/qtserialcontrol.h"
#include "link/serialcontrol.h"
#include "sim/simradio.h"
#include "support/radioprocess.h"
#include "support/testenv.h"
#include "ui/tracebox.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The link routines over a real serial port: the application's own QSerialPort back-end on
// the pseudo-terminal of the quorlink-radio program, in real time. COM12 is mapped to the
// terminal in the settings store, as a user maps a cable.
namespace {

constexpr qint16 kCom = 12;
constexpr int kWaitMs = RadioProcess::kWaitMs;

// The application's services, with recorded message boxes.
struct RealApp {
    explicit RealApp(const QString& devicePath) {
        settings = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("Quorlink.ini")));
        settings->set(QStringLiteral("Ports"), QStringLiteral("COM12"), devicePath);
        ports = std::make_unique<QtPortFactory>(settings.get());
        d2xx = createLibFtdiD2xx();
        Services s;
        s.clock = &clock;
        s.boxes = &boxes;
        s.settings = settings.get();
        s.ports = ports.get();
        s.d2xx = d2xx.get();
        ctx = std::make_unique<AppContext>(s);
        ctx->quitApplication = [] {};
        form = std::make_unique<Form1>(*ctx);
    }
    ~RealApp() {
        form.reset();
        ctx.reset();
    }
    Link& link() { return ctx->link(); }
    QStringList log() const { return form->txtErrors->lines(); }
    void open() { link().SetCommPort(kCom, QStringLiteral("38400,N,8,1")); }

    // Calls Receive for the identity until it arrives, as a read does (bounded).
    QByteArray receiveIdentity() {
        for (int attempt = 0; attempt < 20; ++attempt) {
            link().Receive(10);
            if (ctx->state.rx.RxBuffer.size() == 10)
                return ctx->state.rx.RxBuffer;
        }
        return QByteArray();
    }

    QTemporaryDir dir;
    SystemClock clock;
    ScriptedMessageBoxes boxes;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<QtPortFactory> ports;
    std::unique_ptr<D2xx> d2xx;
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<Form1> form;
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
        RadioProcess radio({"--fault", "stall=2"});
        const QString path = radio.start();
        QVERIFY2(!path.isEmpty(), qPrintable(radio.error()));
        RealApp app(path);
        QCOMPARE(app.ports->devicePathFor(kCom), path);

        app.open();
        QVERIFY(app.ctx->state.link.LinkOpen);
        QVERIFY(app.log().contains(QStringLiteral("SetCommPort: open OK for port 12")));
        QVERIFY(app.boxes.shown.isEmpty());

        radio.command("band");
        QCOMPARE(app.receiveIdentity(), SimRadio::identityAH029());

        app.link().SendACK();
        QVERIFY(app.log().contains(QStringLiteral("SendACK: ACK sent")));
        QVERIFY2(radio.waitFor(QStringLiteral("ACK")), qPrintable(radio.seen().join('|')));

        const QByteArray memory = SimRadio().memory;
        for (int block = 0; block < 2; ++block) {
            QTRY_VERIFY_WITH_TIMEOUT(app.link().GetInBufferCount() >= 64, kWaitMs);
            QByteArray bytes;
            app.link().ReceiveFT(bytes, 64);
            QCOMPARE(bytes, memory.mid(block * 64, 64));
        }
        QVERIFY(radio.waitFor(QStringLiteral("SENT")));

        app.link().CloseCommPort();
        QVERIFY(!app.link().MSComm1().PortOpen());
        // Opening the same port again works: the first open is closed before.
        app.open();
        app.open();
        QVERIFY(app.ctx->state.link.LinkOpen);
        QVERIFY(app.boxes.shown.isEmpty());
    }

    // Another program holds the terminal exclusively: the busy box, no open, no crash.
    void busyPortShowsTheBox() {
        RadioProcess radio;
        const QString path = radio.start();
        QVERIFY2(!path.isEmpty(), qPrintable(radio.error()));
        const int holder = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(holder >= 0);
        QCOMPARE(::ioctl(holder, TIOCEXCL), 0);

        RealApp app(path);
        app.open();
        QVERIFY(!app.ctx->state.link.LinkOpen);
        QCOMPARE(app.log().last(), QStringLiteral("SetCommPort: open failed for port 12"));
        QCOMPARE(app.boxes.shown.size(), 1);
        QCOMPARE(app.boxes.shown[0].text,
                 QStringLiteral("COM Port 12 is not available. It may be in use by another "
                                "program.\r\nThe requested operation cannot continue."));
        QCOMPARE(app.boxes.shown[0].icon, MsgIcon::Exclamation);
        QCOMPARE(app.boxes.shown[0].buttons, MsgButtons::Ok);
        QVERIFY(!app.link().MSComm1().PortOpen());

        ::ioctl(holder, TIOCNXCL);
        ::close(holder);
        app.open();
        QVERIFY(app.ctx->state.link.LinkOpen);
        QCOMPARE(app.boxes.shown.size(), 1);
    }

    // The cable is pulled while the radio sends: the link reports the loss once, the
    // port is closed, and a new open fails with the box instead of hanging.
    void cablePulledMidStream() {
        RadioProcess radio;
        const QString path = radio.start();
        QVERIFY2(!path.isEmpty(), qPrintable(radio.error()));
        RealApp app(path);
        app.open();
        QVERIFY(app.ctx->state.link.LinkOpen);
        radio.command("band");
        QCOMPARE(app.receiveIdentity(), SimRadio::identityAH029());
        app.link().SendACK();
        QTRY_VERIFY_WITH_TIMEOUT(app.link().GetInBufferCount() >= 64, kWaitMs);

        radio.command("pull");
        QVERIFY(radio.waitFor(QStringLiteral("PULLED")));
        for (int attempt = 0; attempt < 20 && !app.ctx->state.link.LinkLost; ++attempt)
            app.link().Receive(65216);
        QVERIFY(app.ctx->state.link.LinkLost);
        QVERIFY(app.ctx->state.link.RxTimedOut);
        QVERIFY(!app.link().MSComm1().PortOpen());
        QCOMPARE(app.log().filter(QStringLiteral("the connection to the radio was lost")).size(),
                 1);
        app.link().Receive(10);  // a dead port does not hang nor log again
        QCOMPARE(app.log().filter(QStringLiteral("the connection to the radio was lost")).size(),
                 1);

        app.link().CloseCommPort();
        app.open();
        QVERIFY(!app.ctx->state.link.LinkOpen);
        QCOMPARE(app.boxes.shown.size(), 1);
        QVERIFY(app.boxes.shown[0].text.startsWith(
            QStringLiteral("COM Port 12 is not available. It may be in use by another program.")));
    }
};

QTEST_MAIN(E2eLinkTest)
#include "test_e2e_link.moc"

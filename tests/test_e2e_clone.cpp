#include <QGroupBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "app/appcontext.h"
#include "app/form1.h"
#include "app/settings.h"
#include "clone/cloneimage.h"
#include "clone/memory_read.h"
#include "link/clock.h"
#include "link/libftdi_d2xx.h"
#include "link/qtserialcontrol.h"
#include "sim/demo.h"
#include "sim/fakeports.h"
#include "sim/simradio.h"
#include "sim/virtualclock.h"
#include "ui/frmmessages.h"
#include "ui/messagebox.h"
#include "ui/tracebox.h"

// Whole transfers in real time through QSerialPort, against the quorlink-radio program on
// a pseudo-terminal, and the demo mode. Each read takes about 18 s of line time and each
// write about 52 s, so there are only as many as it takes to cover the round trip and a
// cable pulled in each direction.

namespace {

constexpr int kCom = 7;
const QString kLost = QStringLiteral(
    "The connection to the radio was lost.\r\nCheck the programming cable and try again.");

class OkBoxes : public MessageBoxes {
public:
    QStringList texts;
    MsgAnswer show(const QString& text, MsgButtons, MsgIcon) override {
        texts << text;
        return MsgAnswer::Ok;
    }
};

// The application as a user runs it: system clock, QSerialPort, a temporary settings file,
// every box answered OK.
struct App {
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("Quorlink.ini"))};
    SystemClock clock;
    OkBoxes boxes;
    QtPortFactory ports{&settings};
    std::unique_ptr<D2xx> d2xx = createLibFtdiD2xx();
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<Form1> form;
    bool watchdogFired = false;

    explicit App(D2xx* otherD2xx = nullptr) {
        Services s;
        s.clock = &clock;
        s.boxes = &boxes;
        s.settings = &settings;
        s.ports = &ports;
        s.d2xx = otherD2xx ? otherD2xx : d2xx.get();
        ctx = std::make_unique<AppContext>(s);
        ctx->quitApplication = [] {};
        form = std::make_unique<Form1>(*ctx);
        boxes.texts.clear();
    }
    ~App() {
        form.reset();
        ctx.reset();
    }

    // Bounds a read: after `ms` the user gives up, as a person would, by Cancel Read.
    void giveUpAfter(int ms) {
        QTimer::singleShot(ms, form.get(), [this] {
            watchdogFired = true;
            form->cmdCancelRead->click();
        });
    }
    CloneState& clone() { return ctx->state.clone; }
    bool buttonsIdle() const {
        return form->cmdRead->isEnabled() && !form->cmdCancelRead->isEnabled();
    }
};

// quorlink-radio on a pseudo-terminal; [BAND] is pressed when the read's prompt asks.
class Radio {
public:
    explicit Radio(const QStringList& arguments) {
        process_.start(qEnvironmentVariable("QUORLINK_RADIO"), arguments);
    }
    ~Radio() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.closeWriteChannel();  // end of input ends the program
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

    // The terminal's path, once the program printed it.
    QString start() {
        QDeadlineTimer deadline(10000);
        while (!process_.canReadLine() && !deadline.hasExpired() &&
               process_.state() != QProcess::NotRunning)
            process_.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
        const QString first = QString::fromLocal8Bit(process_.readLine()).trimmed();
        return first.startsWith(QLatin1String("PTY ")) ? first.mid(4) : QString();
    }
    void attach(App& app, const QString& path) {
        app.ports.map().setSessionMapping(kCom, path);
        app.ctx->state.link.PortNumber = kCom;
        QObject::connect(&app.ctx->frmMessages(), &FrmMessages::lookingForRigShown, &process_,
                         [this] { process_.write("band\n"); });
    }
    // The events the program reported (ACK, SENT, WRITE OK, PULLED, ...).
    QStringList events() {
        output_ += QString::fromLocal8Bit(process_.readAllStandardOutput());
        return output_.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QProcess process_;
    QString output_;
};

#define START_RADIO(radio, app)                                            \
    if (qEnvironmentVariableIsEmpty("QUORLINK_RADIO"))                     \
        QSKIP("QUORLINK_RADIO does not name the simulated radio program"); \
    const QString ptyPath = radio.start();                                 \
    QVERIFY2(!ptyPath.isEmpty(), "quorlink-radio did not start");          \
    radio.attach(app, ptyPath)

}  // namespace

class E2eCloneTest : public QObject {
    Q_OBJECT
private slots:
    // An image written to the radio comes back from it byte for byte.
    void writeThenReadRoundTrip() {
        App app;
        Radio radio({});
        START_RADIO(radio, app);

        QByteArray image(CloneLayout::kDataSize, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char((i * 31 + i / 64 + 1) & 0xFF);
        image += SimRadio::identityAH29D() + '\0';
        app.clone().CloneImage = image;
        app.clone().ImageValid = true;
        app.form->EnableButtons();

        app.form->cmdWriteRig->click();

        QCOMPARE(app.boxes.texts.size(), 3);
        QVERIFY(app.boxes.texts.last().startsWith(QStringLiteral("Transfer of memory completed.")));
        QTRY_VERIFY_WITH_TIMEOUT(radio.events().contains(QStringLiteral("WRITE OK")), 5000);
        QVERIFY(app.buttonsIdle());

        app.clone().CloneImage.fill('\0');
        app.giveUpAfter(60000);
        app.form->cmdRead->click();

        QVERIFY(!app.watchdogFired);
        QCOMPARE(app.boxes.texts.last(),
                 QStringLiteral("The read of memories from the radio has completed successfully."));
        QVERIFY(app.clone().ImageValid);
        QVERIFY(app.clone().CloneImage == image);
        QVERIFY(app.form->cmdWriteRig->isEnabled());
        QVERIFY(radio.events().contains(QStringLiteral("SENT")));
    }

    // The terminal hangs up in the middle of each transfer: one box, no crash, and the
    // program ready for the next try.
    void cablePulledMidRead() {
        App app;
        Radio radio({QStringLiteral("--fault"), QStringLiteral("pull-after=20000")});
        START_RADIO(radio, app);
        app.giveUpAfter(30000);

        app.form->cmdRead->click();

        QVERIFY(!app.watchdogFired);
        QCOMPARE(app.boxes.texts.last(), kLost);
        QVERIFY(!app.clone().ImageValid);
        QVERIFY(!app.form->cmdWriteRig->isEnabled());
        QVERIFY(app.buttonsIdle());
        QVERIFY(!app.ctx->frmMessages().isVisible());
        const int blocks = app.form->lblBlockCount->text().trimmed().toInt();
        QVERIFY2(blocks > 100 && blocks < 1019, qPrintable(app.form->lblBlockCount->text()));
        QTRY_VERIFY_WITH_TIMEOUT(radio.events().contains(QStringLiteral("PULLED")), 5000);
    }

    void cablePulledMidWrite() {
        App app;
        Radio radio(
            {QStringLiteral("--fault"), QStringLiteral("pull-after=%1").arg(10 + 1 + 64 * 40)});
        START_RADIO(radio, app);
        app.clone().CloneImage =
            QByteArray(CloneLayout::kDataSize, '\x42') + SimRadio::identityAH029() + '\0';
        app.clone().ImageValid = true;
        app.form->EnableButtons();

        app.form->cmdWriteRig->click();

        QCOMPARE(app.boxes.texts.last(), kLost);
        const QStringList lines = app.form->txtErrors->lines();
        QVERIFY2(lines.filter(QStringLiteral("Write Failed at block ")).size() == 1,
                 qPrintable(lines.mid(lines.size() - 5).join(QLatin1Char('|'))));
        QVERIFY(!lines.contains(QStringLiteral("Write: transfer complete")));
        QVERIFY(app.buttonsIdle());
        QVERIFY(app.form->cmdWriteRig->isEnabled());
        QVERIFY(!app.ctx->frmMessages().isVisible());
        QCOMPARE(app.form->lblBlockCount->text(), QStringLiteral("0"));
    }

    // quorlink --demo: the demo radio is on a free COM number for this run only, and a read
    // needs nobody to press [BAND].
    void demoRadioIsReadWithoutHelp() {
        App app;
        const QString stored = app.settings.get(QStringLiteral("Settings"),
                                                QStringLiteral("CommPort"), QStringLiteral("-"));
        QCOMPARE(startDemoRadio(*app.ctx, app.ports), QString());
        const qint16 com = app.ctx->state.link.PortNumber;
        QVERIFY(com >= 1 && com <= 32);
        QVERIFY(app.ports.map().isPresent(com));
        QVERIFY(app.form->mnuCOM[com - 1]->isVisible());
        QVERIFY(app.form->mnuCOM[com - 1]->isChecked());
        const QStringList lines = app.form->txtErrors->lines();
        QCOMPARE(lines.mid(lines.size() - 2),
                 QStringList({QStringLiteral("Demo: a simulated VX-8 is on COM%1 (%2)")
                                  .arg(com)
                                  .arg(app.ports.map().devicePathFor(com)),
                              QStringLiteral("Demo: it presses [BAND] by itself when asked")}));
        QCOMPARE(app.settings.get(QStringLiteral("Settings"), QStringLiteral("CommPort"),
                                  QStringLiteral("-")),
                 stored);
        // With the demo radio's port configured, a cable counts as present.
        QVERIFY(!configuredCableMissing(*app.ctx, app.ports));

        app.giveUpAfter(40000);
        app.form->cmdRead->click();

        QVERIFY(!app.watchdogFired);
        QVERIFY(app.clone().ImageValid);
        QVERIFY(app.clone().CloneImage.left(CloneLayout::kDataSize) == SimRadio().memory);
        QVERIFY(app.form->cmdWriteRig->isEnabled());
    }

    void cableMissingDecidesTheDemo() {
        VirtualClock unused;
        FakeD2xx d2xx(unused);
        App app(&d2xx);
        app.settings.set(QStringLiteral("Ports"), QStringLiteral("COM5"),
                         app.dir.filePath(QStringLiteral("no-such-device")));
        app.ctx->state.link.PortNumber = 5;
        QVERIFY(configuredCableMissing(*app.ctx, app.ports));
        app.settings.set(QStringLiteral("Ports"), QStringLiteral("COM5"),
                         QStringLiteral("/dev/null"));  // a character device
        QVERIFY(!configuredCableMissing(*app.ctx, app.ports));
        app.ctx->state.link.PortNumber = 999;
        QVERIFY(configuredCableMissing(*app.ctx, app.ports));
        d2xx.devices.append(FakeD2xx::Device{"VX-8 cable", nullptr, {}});
        QVERIFY(!configuredCableMissing(*app.ctx, app.ports));
        d2xx.libraryMissing = true;
        QVERIFY(configuredCableMissing(*app.ctx, app.ports));
    }
};

QTEST_MAIN(E2eCloneTest)
#include "test_e2e_clone.moc"

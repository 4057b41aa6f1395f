#include <QAction>
#include <QCryptographicHash>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "app/demowindow.h"
#include "app/imagefiles.h"
#include "clone/cloneimage.h"
#include "sim/demo.h"
#include "support/radioprocess.h"
#include "support/realapp.h"
#include "support/testenv.h"
#include "ui/frmabout.h"
#include "ui/frmmessages.h"

// Whole transfers in real time through QSerialPort, against the quorlink-radio program on
// a pseudo-terminal, and the demo mode. Each read takes about 18 s of line time and each
// write about 52 s, so there are only as many as it takes to cover the round trip and a
// cable pulled in each direction.

namespace {

constexpr int kCom = 7;
const QString kLost = QStringLiteral(
    "The connection to the radio was lost.\r\nCheck the programming cable and try again.");

// The application as a user runs it, with the radio program attached and a way to give up.
struct App : RealApp {
    using RealApp::RealApp;
    bool watchdogFired = false;

    // Starts quorlink-radio on a pseudo-terminal mapped to the configured COM port; [BAND]
    // is pressed when the read's prompt asks.
    bool attach(RadioProcess& radio) {
        if (radio.start().isEmpty())
            return false;
        ports.map().setSessionMapping(kCom, radio.path());
        ctx->state.link.PortNumber = kCom;
        QObject::connect(&form->frmMessages(), &FrmMessages::lookingForRigShown, &radio.process(),
                         [&radio] { radio.command("band"); });
        return true;
    }
    // Bounds a read: after `ms` the user gives up, as a person would, by Cancel Read.
    void giveUpAfter(int ms) {
        QTimer::singleShot(ms, form.get(), [this] {
            watchdogFired = true;
            form->cmdCancelRead->click();
        });
    }
    void loadImage(const QByteArray& image) {
        ctx->state.clone.CloneImage = image;
        ctx->state.clone.ImageValid = true;
        form->EnableButtons();
    }
    CloneState& clone() { return ctx->state.clone; }
    QString lastBox() const { return boxes.shown.last().text; }
    bool buttonsIdle() const {
        return form->cmdRead->isEnabled() && !form->cmdCancelRead->isEnabled();
    }
};

}  // namespace

class E2eCloneTest : public QObject {
    Q_OBJECT
private slots:
    // A read saved as an image file, opened in a fresh run and written back, reaches the
    // radio byte for byte. About is opened in the middle of the write and left open for 3 s:
    // the write keeps its pace meanwhile (a radio gives up on a line silent for a second).
    void imageFileRoundTrip() {
        RadioProcess radio;
        QTemporaryDir folder;
        const QString file = folder.filePath("x.img");
        {
            App app;
            QVERIFY2(app.attach(radio), qPrintable(radio.error()));
            app.giveUpAfter(60000);
            app.form->cmdRead->click();
            QVERIFY(!app.watchdogFired && app.clone().ImageValid);
            QVERIFY(radio.waitFor(QStringLiteral("SENT")));
            QCOMPARE(QDir(app.dir.filePath("backups")).entryList(QDir::Files).size(), 1);
            app.files.answers = {folder.filePath("x")};
            app.form->mnuSaveImageAs->trigger();
        }
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray bytes = saved.readAll();
        const SimRadio sim;
        const QByteArray image =
            sim.identity + sim.memory + char(SimRadio::checksumOf(sim.identity, sim.memory));
        QCOMPARE(bytes.left(CloneLayout::kImageSize), image);
        QCOMPARE(bytes.mid(CloneLayout::kImageSize, 13),
                 QByteArray::fromHex("00FF6368697270EE696D670001"));

        App fresh;
        fresh.ports.map().setSessionMapping(kCom, radio.path());
        fresh.ctx->state.link.PortNumber = kCom;
        QVERIFY(fresh.form->imageFiles().OpenImage(file));
        QVERIFY(fresh.boxes.shown.isEmpty());  // the radio's own sums agree
        bool aboutShown = false;
        QTimer::singleShot(20000, fresh.form.get(), [&fresh, &aboutShown] {
            fresh.form->mnuAbout->trigger();
            QTimer::singleShot(3000, fresh.form.get(), [&fresh, &aboutShown] {
                FrmAbout* about = fresh.form->findChild<FrmAbout*>();
                aboutShown = about && about->isVisible();
                if (about)
                    about->close();
            });
        });
        fresh.form->cmdWriteRig->click();

        QVERIFY(aboutShown);
        QCOMPARE(fresh.boxes.shown.size(), 3);
        QVERIFY(fresh.lastBox().startsWith(QStringLiteral("Transfer of memory completed.")));
        QVERIFY(radio.waitFor(QStringLiteral("WRITE OK")));
        radio.command("memory");
        QCOMPARE(radio.nextLine(),
                 "MEMORY " + QCryptographicHash::hash(image, QCryptographicHash::Sha1).toHex());
    }

    // The terminal hangs up in the middle of each transfer: one box, no crash, and the
    // program ready for the next try.
    void cablePulledMidRead() {
        App app;
        RadioProcess radio({QStringLiteral("--fault"), QStringLiteral("pull-after=20000")});
        QVERIFY2(app.attach(radio), qPrintable(radio.error()));
        app.giveUpAfter(30000);

        app.form->cmdRead->click();

        QVERIFY(!app.watchdogFired);
        QCOMPARE(app.lastBox(), kLost);
        QVERIFY(!app.clone().ImageValid);
        QVERIFY(!app.form->cmdWriteRig->isEnabled());
        QVERIFY(app.buttonsIdle());
        QVERIFY(!app.form->frmMessages().isVisible());
        const int blocks = app.form->lblBlockCount->text().trimmed().toInt();
        QVERIFY2(blocks > 100 && blocks < 1019, qPrintable(app.form->lblBlockCount->text()));
        QVERIFY(radio.waitFor(QStringLiteral("PULLED")));
    }

    void cablePulledMidWrite() {
        App app;
        RadioProcess radio(
            {QStringLiteral("--fault"), QStringLiteral("pull-after=%1").arg(10 + 1 + 64 * 40)});
        QVERIFY2(app.attach(radio), qPrintable(radio.error()));
        app.loadImage(QByteArray(CloneLayout::kDataSize, '\x42') + SimRadio::identityAH029() +
                      '\0');

        app.form->cmdWriteRig->click();

        QCOMPARE(app.lastBox(), kLost);
        const QStringList lines = app.form->txtErrors->lines();
        QVERIFY2(lines.filter(QStringLiteral("Write Failed at block ")).size() == 1,
                 qPrintable(lines.mid(lines.size() - 5).join(QLatin1Char('|'))));
        QVERIFY(!lines.contains(QStringLiteral("Write: transfer complete")));
        QVERIFY(app.buttonsIdle());
        QVERIFY(app.form->cmdWriteRig->isEnabled());
        QVERIFY(!app.form->frmMessages().isVisible());
        QCOMPARE(app.form->lblBlockCount->text(), QStringLiteral("0"));
    }

    // quorlink --demo: the demo radio is on a free COM number for this run only, and a read
    // needs nobody to press [BAND].
    void demoRadioIsReadWithoutHelp() {
        App app;
        QCOMPARE(startWindowDemo(*app.ctx, *app.form, app.ports), QString());
        const qint16 com = app.ctx->state.link.PortNumber;
        QVERIFY(com >= 1 && com <= 32 && app.ports.map().isPresent(com));
        QVERIFY(app.form->mnuCOM[com - 1]->isVisible() && app.form->mnuCOM[com - 1]->isChecked());
        const QStringList lines = app.form->txtErrors->lines();
        QCOMPARE(lines.mid(lines.size() - 2),
                 QStringList({QStringLiteral("Demo: a simulated VX-8 is on COM%1 (%2)")
                                  .arg(com)
                                  .arg(app.ports.map().devicePathFor(com)),
                              QStringLiteral("Demo: it presses [BAND] by itself when asked")}));
        QVERIFY(!app.settings.contains(QStringLiteral("Settings"), QStringLiteral("CommPort")));

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
        auto mapCom5 = [&](const QString& path) {
            app.settings.set(QStringLiteral("Ports"), QStringLiteral("COM5"), path);
        };
        // A terminal stands in for a cable.
        const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
        const auto closeTerminal = qScopeGuard([&] { ::close(terminal); });
        mapCom5(QString::fromLocal8Bit(::ptsname(terminal)));
        app.ctx->state.link.PortNumber = 5;
        QVERIFY(configuredCableMissing(*app.ctx, app.ports));  // nothing chosen yet
        app.settings.set(QStringLiteral("Settings"), QStringLiteral("CommPort"),
                         QStringLiteral("5"));
        QVERIFY(!configuredCableMissing(*app.ctx, app.ports));
        mapCom5(app.dir.filePath(QStringLiteral("no-such-device")));
        QVERIFY(configuredCableMissing(*app.ctx, app.ports));
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

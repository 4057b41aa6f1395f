#include <QAction>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "app/demowindow.h"
#include "image/cloneimage.h"
#include "image/imagefile.h"
#include "sim/demo.h"
#include "support/radioprocess.h"
#include "support/realapp.h"
#include "ui/frmabout.h"
#include "ui/frmmessages.h"

// The windows' transfers in real time through QSerialPort on a pseudo-terminal, each cut
// short by a pulled cable (a whole read takes 18 s of line time, a write 52 s).

namespace {

// The application as a user runs it; after `ms` the user gives up, as a person would, by
// Cancel Read, so that a transfer that does not end shows as a failed check.
struct App : RealApp {
    bool watchdogFired = false;
    explicit App(int ms) {
        QTimer::singleShot(ms, form.get(), [this] {
            watchdogFired = true;
            form->cmdCancelRead->click();
        });
    }
    // The transfer ended by a lost cable, the buttons back and the prompt gone.
    bool lostTheCable() const {
        return !watchdogFired &&
               boxes.shown.last().text.startsWith("The connection to the radio was lost.") &&
               form->cmdRead->isEnabled() && !form->cmdCancelRead->isEnabled() &&
               !form->frmMessages().isVisible();
    }
};

}  // namespace

class E2eCloneTest : public QObject {
    Q_OBJECT
private slots:
    // quorlink --demo: the demo radio is on a free COM number for this run only and needs
    // nobody to press [BAND]. Its cable pulled mid-read, the terminal hangs up: one box, no
    // crash, and the program ready for the next try.
    void demoRadioLosesItsCableMidRead() {
        App app(30000);
        QCOMPARE(startWindowDemo(*app.ctx, *app.form, app.ports, MemoryMap::Model::VX8R),
                 QString());
        const qint16 com = app.ctx->state.link.PortNumber;
        QVERIFY(com >= 1 && com <= 32 && app.ports.map().isPresent(com));
        QVERIFY(app.form->mnuCOM[com - 1]->isVisible() && app.form->mnuCOM[com - 1]->isChecked());
        QVERIFY(!app.config.contains("Settings", "CommPort"));
        DemoRadio* demo = nullptr;
        for (QObject* child : app.ctx->children())
            demo = demo ? demo : dynamic_cast<DemoRadio*>(child);
        QVERIFY(demo);
        demo->radio.faults.pullCableAfterBytes = 20000;
        app.form->cmdRead->click();
        QVERIFY(app.lostTheCable() && !app.form->cmdWriteRig->isEnabled());
        const int blocks = app.form->lblBlockCount->text().trimmed().toInt();
        QVERIFY2(blocks > 100 && blocks < 1019, qPrintable(app.form->lblBlockCount->text()));
    }

    // The Help menu's simulated radio in each model: picked, remembered, the link again, and
    // holding what that model holds (SmartBeaconing on the VX-8DR and VX-8GE), sums right.
    void simulatedRadioInEachModel() {
        using MemoryMap::Model;
        App app(30000);
        app.form->setSimulatedRadioStarter(
            [&app](Model model) { return startWindowDemo(*app.ctx, *app.form, app.ports, model); });
        for (const Model model : {Model::VX8DR, Model::VX8GE, Model::VX8R}) {
            app.form->mnuSimulatedModel[int(model)]->trigger();
            DemoRadio* demo = runningDemoRadio(*app.ctx);
            const QByteArray image =
                CloneImage(demo->radio.identity + demo->radio.memory + '\0').bytes();
            QVERIFY(MemoryMap::ModelOf(image) == model && StaleSums(image).isEmpty());
            QVERIFY(storedDemoModel(app.config) == model &&
                    app.ctx->state.link.PortNumber == demo->com);
            const auto smart = MemoryMap::SettingField(model, MemoryMap::Setting::SmartHighSpeed);
            QCOMPARE(smart ? MemoryMap::ReadNumber(image, *smart, 1) : -1,
                     model == Model::VX8R ? -1 : 30);
        }
        const QRegularExpression said(
            "^Demo: (a simulated VX-8DR is on COM|the simulated radio is now a VX-8(GE|R)$)");
        QCOMPARE(app.form->txtErrors->lines().filter(said).size(), 3);
    }

    // The same in a write through quorlink-radio, with About opened in the middle and left
    // open for a second: the write keeps its pace meanwhile (a radio gives up on a line
    // silent for a second), so the failing block is the one the cable was pulled in.
    void cablePulledMidWriteWithAboutOpen() {
        App app(60000);
        RadioProcess radio({"--fault", QStringLiteral("pull-after=%1").arg(10 + 1 + 64 * 40)});
        QVERIFY2(!radio.start().isEmpty(), qPrintable(radio.error()));
        app.ports.map().setSessionMapping(7, radio.path());
        app.ctx->state.link.PortNumber = 7;
        app.ctx->clone.image = CloneImage(SimRadio::identityAH029() +
                                          QByteArray(CloneLayout::kDataSize, '\x42') + '\0');
        app.form->EnableButtons();
        bool aboutShown = false;
        QTimer::singleShot(500, app.form.get(), [&] {
            app.form->mnuAbout->trigger();
            QTimer::singleShot(1000, app.form.get(), [&] {
                FrmAbout* about = app.form->findChild<FrmAbout*>();
                aboutShown = about && about->isVisible();
                if (about)
                    about->close();
            });
        });
        app.form->cmdWriteRig->click();
        QVERIFY(aboutShown && app.lostTheCable() && app.form->cmdWriteRig->isEnabled());
        const QStringList failed = app.form->txtErrors->lines().filter("Write Failed at block ");
        QCOMPARE(failed.size(), 1);
        const int block = failed[0].section(' ', -1).toInt();
        QVERIFY2(block >= 40 && block <= 43, qPrintable(failed[0]));
        QCOMPARE(app.form->lblBlockCount->text(), "0");
    }
};

QTEST_MAIN(E2eCloneTest)
#include "test_e2e_clone.moc"

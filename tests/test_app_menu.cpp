#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "app/comports.h"
#include "app/errors.h"
#include "diag/comportdiag.h"
#include "diag/ftdidiag.h"
#include "support/testenv.h"

namespace {

QList<int> visibleComEntries(const Form1& form) {
    QList<int> visible;
    for (int i = 0; i < 32; ++i) {
        if (form.mnuCOM[i]->isVisible())
            visible << i;
    }
    return visible;
}

QList<int> checkedEntries(const Form1& form) {
    QList<int> checked;
    for (int i = 0; i < 33; ++i) {
        if (form.mnuCOM[i]->isChecked())
            checked << i;
    }
    return checked;
}

const QString kNoPorts = QStringLiteral("There are no COM ports available on this machine!");

// A probe that fails when asked about COM5, as a broken serial driver might.
class FailingProbe : public FakeSerialControl {
public:
    using FakeSerialControl::FakeSerialControl;
    qint16 PortPresent(const qint16& index) override {
        if (index == 4)
            throw RunError(ErrorNumber::DeviceUnavailable);
        return FakeSerialControl::PortPresent(index);
    }
};

class FailingProbes : public PortFactory {
public:
    explicit FailingProbes(FakePortWorld& world) : world_(world) {}
    std::unique_ptr<SerialControl> create() override {
        return std::make_unique<FailingProbe>(world_);
    }
    QString devicePathFor(int comNumber) const override { return world_.devicePathFor(comNumber); }

private:
    FakePortWorld& world_;
};

}  // namespace

class MenuTest : public QObject {
    Q_OBJECT
private slots:
    void showsOnlyPresentPorts() {
        TestEnv env;
        env.ports->ports[1] = {};
        env.ports->ports[3] = {};
        Form1& form = env.form();
        QCOMPARE(visibleComEntries(form), QList<int>({0, 2}));
        QCOMPARE(form.mnuCOM[2]->text(), QStringLiteral("COM3"));
        QCOMPARE(form.mnuCOM[2]->statusTip(), QStringLiteral("/dev/fake/COM3"));
        QCOMPARE(form.mnuCOM[2]->toolTip(), QStringLiteral("/dev/fake/COM3"));
        QVERIFY(!form.mnuCOM[32]->isVisible());
        QCOMPARE(checkedEntries(form), QList<int>({0}));
        QVERIFY(env.boxes.shown.isEmpty());
    }

    void noPortsWarnsOnlyForAComLink_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("warned");
        QTest::newRow("COM1") << "1" << true;
        QTest::newRow("FTDI device") << "999" << false;
    }
    void noPortsWarnsOnlyForAComLink() {
        QFETCH(QString, stored);
        QFETCH(bool, warned);
        TestEnv env;
        env.settings->set("Settings", "CommPort", stored);
        env.form();
        QCOMPARE(env.boxes.texts(), warned ? QStringList({kNoPorts}) : QStringList());
        if (warned) {
            QCOMPARE(env.boxes.shown[0].buttons, MsgButtons::Ok);
            QCOMPARE(env.boxes.shown[0].icon, MsgIcon::None);
        }
        QVERIFY(visibleComEntries(env.form()).isEmpty());
    }

    void ftdiLinkAtStartUp() {
        TestEnv env;
        env.ports->ports[2] = {};
        env.settings->set("Settings", "CommPort", "999");
        env.settings->set("Settings", "FTDIDevice", "Cable & Co");
        Form1& form = env.form();
        QAction* entry = form.mnuCOM[32];
        QVERIFY(entry->isVisible());
        QCOMPARE(entry->text(), QStringLiteral("Cable && Co"));  // shown with its ampersand
        QCOMPARE(checkedEntries(form), QList<int>({32}));
        QCOMPARE(visibleComEntries(form), QList<int>({1}));
    }

    void choosingAnEntryStoresIt_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("stored");
        QTest::newRow("COM32") << 31 << "32";
        QTest::newRow("COM1") << 0 << "1";
        QTest::newRow("FTDI device") << 32 << "999";
    }
    void choosingAnEntryStoresIt() {
        QFETCH(int, index);
        QFETCH(QString, stored);
        TestEnv env;
        env.ports->ports[32] = {};
        Form1& form = env.form();
        env.settings->set("Settings", "CommPort", "7");
        form.mnuCOM[index]->trigger();
        QCOMPARE(env.settings->get("Settings", "Commport", ""), stored);
        QCOMPARE(env.ctx->state.link.PortNumber, qint16(stored.toInt()));
        QCOMPARE(checkedEntries(form), QList<int>({index}));
        QVERIFY(env.ports->ports[32].written.isEmpty());  // nothing is opened or sent
    }

    void absentChosenPortKeepsItsMark() {
        TestEnv env;
        env.ports->ports[1] = {};
        env.settings->set("Settings", "CommPort", "5");
        Form1& form = env.form();
        QVERIFY(!form.mnuCOM[4]->isVisible());
        QCOMPARE(checkedEntries(form), QList<int>({4}));
        QVERIFY(env.boxes.shown.isEmpty());
    }

    void failingProbeIsReportedAndStops() {
        TestEnv env;
        env.ports->ports[1] = {};
        env.ports->ports[9] = {};
        FailingProbes probes(*env.ports);
        Services services = env.ctx->services();
        services.ports = &probes;
        AppContext ctx(services);
        ctx.quitApplication = [] {};
        Form1 form(ctx);
        QCOMPARE(env.boxes.texts(),
                 QStringList({"Error 68 (Device unavailable) in procedure FillComPorts of "
                              "Module CommPorts. I=4"}));
        // COM1 to COM4 were probed; the entries from COM5 on keep their built-in state.
        QVERIFY(form.mnuCOM[0]->isVisible());
        QVERIFY(!form.mnuCOM[1]->isVisible());
        QVERIFY(form.mnuCOM[4]->isVisible());
        QVERIFY(form.mnuCOM[8]->isVisible());
        QCOMPARE(checkedEntries(form), QList<int>({0}));
    }

    void identifierStoresThePortAndIsReloaded() {
        TestEnv env;
        env.ports->ports[3] = {};
        Form1& form = env.form();
        auto* kept = qobject_cast<ComPortDiag*>(env.ctx->comPortDiag.data());
        QVERIFY(kept);
        QVERIFY(!kept->isVisible());
        QTimer::singleShot(0, [&] {
            auto* diag = qobject_cast<ComPortDiag*>(QApplication::activeModalWidget());
            QVERIFY(diag == kept);
            diag->cmdDetect->click();
            env.ports->inject(3, SimRadio::identityAH29D());
            QCoreApplication::processEvents();
            env.ports->ports[6] = {};  // a cable plugged in while the dialog is open
            diag->cmdSetComPort->click();
        });
        form.mnuComPortIdentifier->trigger();
        QCOMPARE(env.settings->get("Settings", "CommPort", ""), QStringLiteral("3"));
        QCOMPARE(env.ctx->state.link.PortNumber, qint16(3));
        QCOMPARE(checkedEntries(form), QList<int>({2}));
        QCOMPARE(visibleComEntries(form), QList<int>({2, 5}));
        // The kept dialog is closed and ready to open as new.
        QCOMPARE(env.ctx->comPortDiag.data(), kept);
        for (const auto& port : kept->MSComm1)
            QVERIFY(!port->PortOpen());
        QCOMPARE(kept->Text1[2]->text(), QStringLiteral("Detect ports"));
        QVERIFY(!kept->cmdSetComPort->isEnabled());
    }

    void ftdiDetectorChoosesTheDevice() {
        TestEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        Form1& form = env.form();
        QCOMPARE(env.boxes.texts(), QStringList({kNoPorts}));  // start-up on COM1
        QTimer::singleShot(0, [&] {
            auto* diag = qobject_cast<FTDIDiag*>(QApplication::activeModalWidget());
            QVERIFY(diag);
            diag->cmdDetect->click();
            env.clock.at(env.clock.nowNs() + 100'000'000,
                         [&] { radio.pressBand(env.clock.nowNs()); });
            diag->cboDevices->setCurrentIndex(0);
            AppContext::guardHandler([&] { diag->cboDevices_Click(); });
            diag->cmdSetComPort->click();
        });
        form.mnuFTDI->trigger();
        QCOMPARE(env.settings->get("Settings", "FTDIDevice", ""), QStringLiteral("Cable"));
        QCOMPARE(env.settings->get("Settings", "CommPort", ""), QStringLiteral("999"));
        QVERIFY(form.mnuCOM[32]->isVisible());
        QCOMPARE(form.mnuCOM[32]->text(), QStringLiteral("Cable"));
        QCOMPARE(checkedEntries(form), QList<int>({32}));
        QCOMPARE(env.boxes.shown.size(), 1);  // no COM ports, but the link is the FTDI device
    }
};

QTEST_MAIN(MenuTest)
#include "test_app_menu.moc"

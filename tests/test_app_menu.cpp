#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "app/comports.h"
#include "core/errors.h"
#include "diag/comportdiag.h"
#include "diag/ftdidiag.h"
#include "support/testenv.h"

namespace {

// The menu entries (0-based; 32 is the FTDI device) in a state: visible or checked.
QList<int> entries(const Form1& form, bool (QAction::*state)() const) {
    QList<int> found;
    for (int i = 0; i < 33; ++i) {
        if ((form.mnuCOM[i]->*state)())
            found << i;
    }
    return found;
}

// A port world whose probe fails when asked about COM5, as a broken serial driver might.
class FailingProbes : public FakePortWorld {
public:
    using FakePortWorld::FakePortWorld;
    std::unique_ptr<SerialControl> create() override {
        struct Probe : FakeSerialControl {
            using FakeSerialControl::FakeSerialControl;
            qint16 PortPresent(const qint16& index) override {
                if (index == 4)
                    throw RunError(ErrorNumber::DeviceUnavailable);
                return FakeSerialControl::PortPresent(index);
            }
        };
        return std::make_unique<Probe>(*this);
    }
};

}  // namespace

class MenuTest : public QObject {
    Q_OBJECT
private slots:
    // Only present ports are listed; the stored link keeps its check even when hidden, and
    // only a COM link without any port is warned about, once the window is on the screen.
    // With nothing stored, the one USB adapter is the link for this run.
    void startUp_data() {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QList<int>>("visible");
        QTest::addColumn<QList<int>>("checked");
        QTest::addColumn<int>("said");  // 1: a box once the window shows; 2: a trace line
        QTest::newRow("COM1, COM3 and COM32")
            << QList<int>{1, 3, 32} << "1" << QList<int>{0, 2, 31} << QList<int>{0} << 0;
        QTest::newRow("one USB adapter, nothing stored")
            << QList<int>{1, 32} << "" << QList<int>{0, 31} << QList<int>{31} << 2;
        QTest::newRow("two USB adapters")
            << QList<int>{12, 32} << "" << QList<int>{11, 31} << QList<int>{0} << 0;
        QTest::newRow("one USB adapter, COM1 stored")
            << QList<int>{12} << "1" << QList<int>{11} << QList<int>{0} << 0;
        QTest::newRow("COM5 chosen, absent")
            << QList<int>{2} << "5" << QList<int>{1} << QList<int>{4} << 0;
        QTest::newRow("no ports, COM1")
            << QList<int>{} << "1" << QList<int>{} << QList<int>{0} << 1;
        QTest::newRow("no ports, FTDI device")
            << QList<int>{} << "999" << QList<int>{32} << QList<int>{32} << 0;
    }
    void startUp() {
        QFETCH(QList<int>, present);
        QFETCH(QString, stored);
        QFETCH(QList<int>, visible);
        QFETCH(QList<int>, checked);
        QFETCH(int, said);
        TestEnv env;
        for (int com : present)
            env.ports->ports[com] = {};
        if (!stored.isEmpty())
            env.settings->set("Settings", "CommPort", stored);
        env.settings->set("Settings", "FTDIDevice", "Cable & Co");
        Form1& form = env.form();
        QCOMPARE(entries(form, &QAction::isVisible), visible);
        QCOMPARE(entries(form, &QAction::isChecked), checked);
        QCOMPARE(env.log().size(), said == 2 ? 1 : 0);
        QCOMPARE(env.settings->get("Settings", "CommPort", ""), stored);  // nothing stored
        QVERIFY(env.boxes.shown.isEmpty());  // no box before the window is on the screen
        form.show();
        QTRY_COMPARE(env.boxes.shown.size(), said == 1 ? 1 : 0);
        for (int com : present)
            QCOMPARE(form.mnuCOM[com - 1]->toolTip(), QStringLiteral("/dev/fake/COM%1").arg(com));
        if (stored == "999")
            QCOMPARE(form.mnuCOM[32]->text(), QStringLiteral("Cable && Co"));  // its ampersand
    }

    void aChoiceThatCannotBeSavedIsReported() {
        TestEnv env;
        env.ports->ports[3] = {};
        Form1& form = env.form();
        // Where the file should be, a folder: nothing can be written, not even by root.
        QFile::remove(env.settings->fileName());
        QVERIFY(QDir(env.dir.path()).mkdir(QStringLiteral("Quorlink.ini")));
        form.mnuCOM[2]->trigger();
        QCOMPARE(env.ctx->state.link.PortNumber, qint16(3));
        QCOMPARE(env.boxes.shown.size(), 1);
        QVERIFY(env.boxes.texts()[0].contains(env.settings->fileName() + ": Is a directory"));
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
        QCOMPARE(entries(form, &QAction::isChecked), QList<int>({index}));
        QVERIFY(env.ports->ports[32].written.isEmpty());  // nothing is opened or sent
    }

    void failingProbeIsReportedAndStops() {
        TestEnv env;
        FailingProbes probes(env.clock);
        probes.ports[1] = {};
        probes.ports[9] = {};
        env.settings->set("Settings", "CommPort", "1");
        Services services = env.ctx->services();
        services.ports = &probes;
        AppContext ctx(services);
        ctx.quitApplication = [] {};
        Form1 form(ctx);
        QCOMPARE(env.boxes.texts(), QStringList({"Error 68 (Device unavailable) in procedure "
                                                 "FillComPorts of Module CommPorts. I=4"}));
        // COM1 to COM4 were probed; the entries from COM5 on keep their built-in state.
        QVERIFY(form.mnuCOM[0]->isVisible() && !form.mnuCOM[1]->isVisible());
        QVERIFY(form.mnuCOM[4]->isVisible() && form.mnuCOM[8]->isVisible());
    }

    void identifierStoresThePortAndIsReloaded() {
        TestEnv env;
        env.ports->ports[3] = {};
        Form1& form = env.form();
        auto* kept = qobject_cast<ComPortDiag*>(env.form().comPortDiag.data());
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
        QCOMPARE(env.settings->get("Settings", "CommPort", ""), "3");
        QCOMPARE(entries(form, &QAction::isChecked), QList<int>({2}));
        QCOMPARE(entries(form, &QAction::isVisible), QList<int>({2, 5}));
        // The kept dialog is closed and ready to open as new.
        for (const auto& port : kept->MSComm1)
            QVERIFY(!port->PortOpen());
        QVERIFY(kept->Text1[2]->text() == "Detect ports" && !kept->cmdSetComPort->isEnabled());
    }

    void ftdiDetectorChoosesTheDevice() {
        TestEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        Form1& form = env.form();
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
        QCOMPARE(form.mnuCOM[32]->text(), "Cable");
        QCOMPARE(entries(form, &QAction::isChecked), QList<int>({32}));
        form.show();
        QCoreApplication::processEvents();
        QVERIFY(env.boxes.shown.isEmpty());  // no COM ports, but the link is the FTDI device
    }
};

QTEST_MAIN(MenuTest)
#include "test_app_menu.moc"

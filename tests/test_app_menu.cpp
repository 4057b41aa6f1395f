#include "diag/comportdiag.h"
#include "support/testenv.h"

namespace {

// The menu entries (0-based; 32 is the FTDI device) in a state: visible or checked.
QList<int> entries(const Form1& form, bool (QAction::*state)() const) {
    QList<int> found;
    for (int i = 0; i < 33; ++i)
        if ((form.mnuCOM[i]->*state)())
            found << i;
    return found;
}

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
            env.config->set("Settings", "CommPort", stored);
        env.config->set("Settings", "FTDIDevice", "Cable & Co");
        Form1& form = env.form();
        QCOMPARE(entries(form, &QAction::isVisible), visible);
        QCOMPARE(entries(form, &QAction::isChecked), checked);
        QCOMPARE(env.log().size(), said == 2 ? 1 : 0);
        QCOMPARE(env.config->get("Settings", "CommPort", ""), stored);  // nothing stored
        QVERIFY(env.boxes.shown.isEmpty());  // no box before the window is on the screen
        form.show();
        QTRY_COMPARE(env.boxes.shown.size(), said == 1 ? 1 : 0);
        // Looked for again with the window on the screen, after a detector: a box at once.
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        form.mnuComPortIdentifier->trigger();
        QCOMPARE(env.boxes.shown.size(), said == 1 ? 2 : 0);
        for (int com : present)
            QCOMPARE(form.mnuCOM[com - 1]->toolTip(), QStringLiteral("/dev/fake/COM%1").arg(com));
        if (stored == "999")
            QCOMPARE(form.mnuCOM[32]->text(), QStringLiteral("Cable && Co"));  // its ampersand
    }

    // A choice is the link at once and is stored; one that cannot be stored (where the file
    // should be, a folder: not even root can write it) is reported and still taken.
    void choosingAnEntryStoresIt_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("stored");
        QTest::newRow("COM32") << 31 << "32";
        QTest::newRow("COM1") << 0 << "1";
        QTest::newRow("FTDI device") << 32 << "999";
        QTest::newRow("COM3, the file not writable") << 2 << "3";
    }
    void choosingAnEntryStoresIt() {
        QFETCH(int, index);
        QFETCH(QString, stored);
        TestEnv env;
        env.ports->ports[32] = {};
        Form1& form = env.form();
        env.config->set("Settings", "CommPort", "7");
        if (index == 2)
            QVERIFY(QFile::remove(env.config->fileName()) && QDir().mkdir(env.config->fileName()));
        form.mnuCOM[index]->trigger();
        QCOMPARE(env.config->get("Settings", "Commport", ""), stored);
        QCOMPARE(env.ctx->state.link.PortNumber, qint16(index == 32 ? 999 : index + 1));
        QCOMPARE(entries(form, &QAction::isChecked), QList<int>({index}));
        QVERIFY(env.ports->ports[32].written.isEmpty());  // nothing is opened or sent
        QCOMPARE(env.boxes.texts().filter(env.config->fileName() + ": Is a directory").size(),
                 index == 2 ? 1 : 0);
    }

    void identifierStoresThePortAndIsReloaded() {
        TestEnv env;
        env.ports->ports[3] = {};
        Form1& form = env.form();
        auto* diag = qobject_cast<ComPortDiag*>(form.comPortDiag.data());  // kept, shown again
        QTimer::singleShot(0, [&] {
            QVERIFY(QApplication::activeModalWidget() == diag);
            diag->cmdDetect->click();
            env.ports->inject(3, SimRadio::identityAH29D());
            QCoreApplication::processEvents();
            env.ports->ports[6] = {};  // a cable plugged in while the dialog is open
            diag->cmdSetComPort->click();
        });
        form.mnuComPortIdentifier->trigger();
        QCOMPARE(env.config->get("Settings", "CommPort", ""), "3");
        QCOMPARE(entries(form, &QAction::isChecked), QList<int>({2}));
        QCOMPARE(entries(form, &QAction::isVisible), QList<int>({2, 5}));
        for (const auto& port : diag->MSComm1)  // the kept dialog is closed
            QVERIFY(!port->PortOpen());
    }
};

QTEST_MAIN(MenuTest)
#include "test_app_menu.moc"

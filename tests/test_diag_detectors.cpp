// The two cable detectors over the in-memory ports and devices.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include "diag/comportdiag.h"
#include "diag/ftdidiag.h"
#include "support/testenv.h"

// The COM port identifier over the in-memory ports: it opens every port it can, says why
// not, offers the port a radio's identity came in on, and lets nothing stay open.
namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0);

QColor colourOf(const QLineEdit* box) {
    return box->palette().color(QPalette::Base);
}
QByteArray identity(const char* first5) {
    return QByteArray(first5) + QByteArray("\x01\x02\x03\x04\x05", 5);
}
int openPorts(const ComPortDiag& diag) {
    int open = 0;
    for (const auto& port : diag.MSComm1)
        open += port->PortOpen() ? 1 : 0;
    return open;
}

constexpr qint64 kMs = 1'000'000;
using Setup = std::function<void(TestEnv&, FTDIDiag&)>;

// Tests FTDI device `index`; a test that fails to stop by itself is stopped after a minute,
// so that such a fault shows as a failed check instead of a test that never ends.
void pick(TestEnv& env, FTDIDiag& diag, int index) {
    env.clock.at(env.clock.nowNs() + 60'000 * kMs, [&diag] { diag.StopRequested = true; });
    diag.cboDevices->setCurrentIndex(index);
    diag.cboDevices_Click();
}

}  // namespace

Q_DECLARE_METATYPE(Setup)

class DiagTest : public QObject {
    Q_OBJECT
private slots:
    // Detect opens every port it can and says why not (a missing port logs nothing); an
    // accepted identity offers its port, and Set stores it. Every way out closes every port
    // and the window, and only Set stores anything.
    void judgesReceivedDataAndClosesAllPorts_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("way");
        const QByteArray vx8 = identity("AH029");
        QTest::newRow("VX-8D, longer burst")
            << identity("AH29D") + QByteArray(20, 'x') << true << "Set";
        QTest::newRow("another radio") << identity("AH027") << false << "Exit";
        QTest::newRow("noise first") << QByteArray("\x00", 1) + vx8 << false << "Escape";
        QTest::newRow("Exit without change") << vx8 << true << "Exit";
        QTest::newRow("Escape") << vx8 << true << "Escape";
    }
    void judgesReceivedDataAndClosesAllPorts() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, accepted);
        QFETCH(QString, way);
        TestEnv env;
        env.ports->ports[5].openError = 70;
        env.ports->ports[6].openError = 8005;
        env.ports->ports[7].openError = 8015;
        env.ports->ports[12] = env.ports->ports[32] = {};
        ComPortDiag diag(*env.ctx);
        diag.show();
        diag.cmdDetect->click();
        const QStringList lines = diag.txtErrors->lines();
        QCOMPARE(lines.size(), 5);  // each failed open says why
        QVERIFY(lines[0].contains("port 5 (/dev/fake/COM5)") && lines[0].contains("dialout group"));
        QStringList texts;
        for (int i : {0, 4, 6, 11, 31})
            texts << diag.Text1[i]->text();
        QCOMPARE(texts,
                 QStringList({"COM1", "Detect ports", "COM7", "COM12 Found", "COM32 Found"}));
        QVERIFY(colourOf(diag.Text1[11]) == kGreen && colourOf(diag.Text1[4]) == kRed);
        QVERIFY(!diag.cmdSetComPort->isEnabled());
        // Receive events come once an identity's worth of bytes waits.
        QVERIFY(diag.MSComm1[31]->RThreshold() == 10 &&
                diag.MSComm1[31]->Settings() == "38400,N,8,1");
        env.ports->inject(12, bytes);
        QCoreApplication::processEvents();
        QCOMPARE(diag.txtErrors->lines().last(),
                 "Port 12 Data " + bytes.toHex().toUpper() + " on COM 12");
        QCOMPARE(diag.cmdSetComPort->isEnabled(), accepted);
        QCOMPARE(openPorts(diag), 2);
        if (way == "Set")
            diag.cmdSetComPort->click();
        else if (way == "Exit")
            diag.cmdClose->click();
        else
            QTest::keyClick(&diag, Qt::Key_Escape);
        QVERIFY(!diag.isVisible() && openPorts(diag) == 0);
        QCOMPARE(env.config->get("Settings", "CommPort", "none"), way == "Set" ? "12" : "none");
        QCOMPARE(env.ctx->state.link.PortNumber, qint16(way == "Set" ? 12 : 1));
    }

    // The FTDI cable detector over the in-memory devices: it lists them, tests the one picked
    // for a radio's identity, and every way a test ends closes the device.
    void nothingToList_data() {
        QTest::addColumn<bool>("libraryMissing");
        QTest::addColumn<FT_STATUS>("countStatus");
        QTest::newRow("none attached") << false << FT_OK;
        QTest::newRow("count fails") << false << FT_OTHER_ERROR;
        QTest::newRow("library missing") << true << FT_OK;
    }
    void nothingToList() {
        QFETCH(bool, libraryMissing);
        QFETCH(FT_STATUS, countStatus);
        TestEnv env;
        env.d2xx->libraryMissing = libraryMissing;
        env.d2xx->fail["FT_ListDevices"] = countStatus;
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        QCOMPARE(env.boxes.shown.size(), libraryMissing ? 1 : 0);
        QVERIFY(!diag.cboDevices->isEnabled() && !diag.cmdSetComPort->isEnabled());
    }

    // Both devices listed; the first, picked, is opened as the link would be, and closed. The
    // ten bytes are judged whether they come at once or split by a one-second read's end; Set
    // stores an accepted device.
    void judgesTheTenBytes_data() {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<FT_STATUS>("readStatus");
        QTest::addColumn<qint64>("pressNs");
        const QByteArray vx8 = SimRadio::identityAH029();
        QTest::newRow("VX-8") << vx8 << true << FT_OK << 300 * kMs;
        QTest::newRow("reads end in status 4") << vx8 << true << FT_IO_ERROR << 10 * kMs;
        QTest::newRow("another radio")
            << QByteArray("AH027\1\2\3\4\5") << false << FT_OK << 10 * kMs;
        // Five bytes arrive before the first one-second read times out, five after.
        QTest::newRow("in two pieces")
            << vx8 << true << FT_OK << 1000 * kMs - 5 * SimRadio::kByteNs - kMs / 10;
    }
    void judgesTheTenBytes() {
        QFETCH(QByteArray, sent);
        QFETCH(bool, accepted);
        QFETCH(FT_STATUS, readStatus);
        QFETCH(qint64, pressNs);
        TestEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable A");
        env.radioOnFtdi("Cable B");
        radio.identity = sent;
        env.d2xx->readStatus = readStatus;
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        QVERIFY(diag.cboDevices->count() == 2 && diag.cboDevices->itemText(1) == "Cable B");
        env.clock.at(env.clock.nowNs() + pressNs, [&] { radio.pressBand(env.clock.nowNs()); });
        env.d2xx->calls.clear();
        pick(env, diag, 0);
        QCOMPARE(diag.txtErrors->lines().last(), "Device 1 Data " + sent.toHex().toUpper());
        QCOMPARE(env.d2xx->calls,
                 QStringList({"FT_OpenEx(Cable A,2)", "FT_SetBaudRate(38400)",
                              "FT_SetDataCharacteristics(8,0,0)", "FT_SetFlowControl(0,0,0)",
                              "FT_SetTimeouts(1000,0)", "FT_SetChars(126,1,0,0)", "FT_Close"}));
        QVERIFY(!env.d2xx->anyOpen());
        QCOMPARE(diag.cmdSetComPort->isEnabled(), accepted);
        diag.cmdSetComPort->click();  // does nothing when disabled
        QCOMPARE(env.config->get("Settings", "CommPort", "") +
                     env.config->get("Settings", "FTDIDevice", ""),
                 accepted ? "999Cable A" : "");
        QCOMPARE(env.ctx->state.link.FTDIDescription, accepted ? "Cable A" : "");
        QCOMPARE(diag.result(), int(accepted ? QDialog::Accepted : QDialog::Rejected));
    }

    // Every failure ends the test with its line; whatever the user does while a test waits
    // ends it within a second, and then the action follows. Each closes what was opened and
    // leaves the window usable, or closed; no box.
    void everyEndClosesTheDevice_data() {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("closes");  // -1: the library is gone, nothing can be closed
        QTest::addColumn<int>("byMs");    // when the test has ended at the latest
        QTest::addColumn<bool>("stays");  // the window stays open
        auto failing = [](const QString& call, FT_STATUS status) {
            return Setup([=](TestEnv& env, FTDIDiag&) { env.d2xx->fail[call] = status; });
        };
        QTest::newRow("open") << failing("FT_OpenEx", FT_DEVICE_NOT_FOUND)
                              << "Device 1 Open Failed for Cable" << 0 << 0 << true;
        for (const char* step :
             {"SetBaudRate", "SetDataCharacteristics", "SetFlowControl", "SetTimeouts", "SetChars"})
            QTest::newRow(step) << failing(QString("FT_") + step, FT_IO_ERROR)
                                << QString("Device 1 %1 Failed for Cable").arg(step) << 1 << 0
                                << true;
        QTest::newRow("read") << failing("FT_Read", FT_OTHER_ERROR)
                              << "Device 1 FT_Read error ftStatus=18" << 1 << 0 << true;
        QTest::newRow("library gone") << Setup([](TestEnv& env, FTDIDiag&) {
            env.clock.at(1500 * kMs, [&env] { env.d2xx->libraryMissing = true; });
        }) << "Device 1 Error 53 (File not found: libftdi1.so.2) while testing Cable"
                                      << -1 << 2000 << true;
        const QString longName(65, 'D');
        QTest::newRow("description over 64 characters")
            << Setup([=](TestEnv&, FTDIDiag& diag) { diag.cboDevices->addItem(longName); })
            << "Device 2 Description longer than 64 characters, cannot open " + longName << 0 << 0
            << true;
        // The user acts at `ms`, while the window waits for the test to end.
        auto user = [](int ms, std::function<void(FTDIDiag&)> act) {
            return Setup([=](TestEnv& env, FTDIDiag& diag) {
                env.clock.at(ms * kMs, [=, &env, &diag] {
                    auto acting = [=, &env, &diag] {
                        QVERIFY(env.d2xx->anyOpen());
                        act(diag);
                    };
                    QMetaObject::invokeMethod(&diag, acting, Qt::QueuedConnection);
                });
            });
        };
        const QString cancelled = "Device 1 Detection cancelled";
        QTest::newRow("Cancel Detection") << user(2500, [](FTDIDiag& d) { d.cmdStop->click(); })
                                          << cancelled << 1 << 3500 << true;
        QTest::newRow("Exit without change (though disabled)")
            << user(1300, [](FTDIDiag& d) { d.cmdClose_Click(); }) << cancelled << 1 << 2300
            << false;
        QTest::newRow("Escape") << user(1300,
                                        [](FTDIDiag& d) { QTest::keyClick(&d, Qt::Key_Escape); })
                                << cancelled << 1 << 2300 << false;
    }
    void everyEndClosesTheDevice() {
        QFETCH(Setup, setup);
        QFETCH(QString, line);
        QFETCH(int, closes);
        QFETCH(int, byMs);
        QFETCH(bool, stays);
        TestEnv env;
        env.radioOnFtdi("Cable");  // silent: only a failure or the user ends the test
        FTDIDiag diag(*env.ctx);
        diag.show();
        diag.cmdDetect->click();
        setup(env, diag);
        pick(env, diag, diag.cboDevices->count() - 1);
        QCOMPARE(diag.txtErrors->lines().last(), line);
        QVERIFY(env.nowMs() <= byMs && diag.isVisible() == stays);
        QVERIFY(closes < 0 ||
                (env.d2xx->calls.count("FT_Close") == closes && !env.d2xx->anyOpen()));
        QVERIFY(diag.cmdClose->isEnabled() && !diag.cmdSetComPort->isEnabled());
        QVERIFY(!diag.testRunning() && env.boxes.shown.isEmpty());
    }

    void closingTheMainWindowDuringATest() {
        TestEnv env;
        env.radioOnFtdi("Cable");
        Form1& form = env.form();
        form.show();
        QTimer::singleShot(0, [&] {
            auto* diag = qobject_cast<FTDIDiag*>(QApplication::activeModalWidget());
            QVERIFY(diag);
            diag->cmdDetect->click();
            env.clock.at(700 * kMs, [&] {
                QMetaObject::invokeMethod(
                    &form, [&] { form.close(); }, Qt::QueuedConnection);
            });
            AppContext::guardHandler([&] { pick(env, *diag, 0); });
        });
        form.mnuFTDI->trigger();
        QCOMPARE(env.quitRequests, 1);
        QVERIFY(!env.d2xx->anyOpen() && env.nowMs() <= 700 + 1000);
    }
};

QTEST_MAIN(DiagTest)
#include "test_diag_detectors.moc"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

#include "diag/ftdidiag.h"
#include "support/testenv.h"

namespace {

constexpr qint64 kMs = 1'000'000;

// Runs `action` at a virtual time, through the event queue, so that it reaches the
// dialog only when the running test pumps window events, as a real click would.
void clickAt(TestEnv& env, qint64 ms, QObject* target, std::function<void()> action) {
    env.clock.at(ms * kMs, [target, action = std::move(action)] {
        QMetaObject::invokeMethod(target, action, Qt::QueuedConnection);
    });
}

// Ends a device test that failed to stop by itself, so that such a fault shows as a failed
// check instead of a test that never ends.
void watchdog(TestEnv& env, FTDIDiag& diag) {
    env.clock.at(env.clock.nowNs() + 60'000 * kMs, [&diag] { diag.StopRequested = true; });
}

void pick(FTDIDiag& diag, int index) {
    diag.cboDevices->setCurrentIndex(index);
    diag.cboDevices_Click();
}

QString dataLine(int device, const QByteArray& bytes) {
    return QStringLiteral("Device %1 Data ").arg(device) +
           QString::fromLatin1(bytes.toHex().toUpper());
}

using Setup = std::function<void(TestEnv&, FTDIDiag&)>;
enum Way { CancelDetection, ExitWithoutChange, CloseBox, Escape };

}  // namespace

Q_DECLARE_METATYPE(Setup)

class FtdiDiagTest : public QObject {
    Q_OBJECT
private slots:
    void noDevicesListed_data() {
        QTest::addColumn<FT_STATUS>("countStatus");
        QTest::addColumn<QString>("line");
        QTest::newRow("none attached") << FT_OK << "Device 1 Number of devices = 0";
        QTest::newRow("count fails") << FT_OTHER_ERROR << "Device 1 FT_GetNumDevices failed";
    }
    void noDevicesListed() {
        QFETCH(FT_STATUS, countStatus);
        QFETCH(QString, line);
        TestEnv env;
        if (countStatus != FT_OK)
            env.d2xx->fail["FT_ListDevices"] = countStatus;
        FTDIDiag diag(*env.ctx);
        QVERIFY(!diag.cboDevices->isEnabled());
        diag.cmdDetect->click();
        QCOMPARE(diag.txtErrors->lines(), QStringList({line}));
        QCOMPARE(diag.cboDevices->currentText(), QStringLiteral("No devices found"));
        QVERIFY(!diag.cboDevices->isEnabled());
        QVERIFY(!diag.cmdSetComPort->isEnabled());
    }

    void libraryMissing() {
        TestEnv env;
        env.d2xx->libraryMissing = true;
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        QCOMPARE(env.boxes.shown.size(), 1);
        QVERIFY(env.boxes.shown[0].text.contains("sudo apt-get install libftdi1-2"));
        QVERIFY(!diag.cboDevices->isEnabled());
    }

    void twoDevicesFirstTestedAndChosen() {
        TestEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable A");
        env.radioOnFtdi("Cable B");
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        QCOMPARE(diag.cboDevices->count(), 2);
        QCOMPARE(diag.cboDevices->itemText(1), QStringLiteral("Cable B"));
        QVERIFY(diag.cboDevices->isEnabled());
        QCOMPARE(env.ctx->state.link.FTDetectDescription, QStringLiteral("Cable B"));

        env.clock.at(300 * kMs, [&] { radio.pressBand(env.clock.nowNs()); });
        env.d2xx->calls.clear();
        pick(diag, 0);
        QCOMPARE(diag.txtErrors->lines().mid(1),
                 QStringList({QStringLiteral("Device 1 Waiting for data from Cable A"),
                              dataLine(1, SimRadio::identityAH029())}));
        QCOMPARE(env.d2xx->calls,
                 QStringList({"FT_OpenEx(Cable A,2)", "FT_SetBaudRate(38400)",
                              "FT_SetDataCharacteristics(8,0,0)", "FT_SetFlowControl(0,0,0)",
                              "FT_SetTimeouts(1000,0)", "FT_SetChars(126,1,0,0)", "FT_Close"}));
        QVERIFY(!env.d2xx->anyOpen());
        QCOMPARE(env.ctx->state.link.FTHandle, FT_HANDLE(0));
        QVERIFY(diag.cmdSetComPort->isEnabled() && diag.cmdClose->isEnabled());

        diag.cmdSetComPort->click();
        QCOMPARE(env.settings->get("Settings", "CommPort", ""), QStringLiteral("999"));
        QCOMPARE(env.settings->get("Settings", "FTDIDevice", ""), QStringLiteral("Cable A"));
        QCOMPARE(env.ctx->state.link.PortNumber, qint16(999));
        QCOMPARE(env.ctx->state.link.FTDIDescription, QStringLiteral("Cable A"));
        QCOMPARE(diag.result(), int(QDialog::Accepted));
    }

    // The ten bytes judged, whether they come at once or split by a one-second read's end.
    void judgesTheTenBytes_data() {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<FT_STATUS>("readStatus");
        QTest::addColumn<qint64>("pressNs");  // after the test starts
        QTest::addColumn<int>("lastRead");    // bytes the last read brought; -1: any
        const QByteArray vx8 = SimRadio::identityAH029();
        QTest::newRow("VX-8") << vx8 << true << FT_OK << 10 * kMs << -1;
        QTest::newRow("VX-8D") << SimRadio::identityAH29D() << true << FT_OK << 10 * kMs << -1;
        QTest::newRow("reads end in status 4") << vx8 << true << FT_IO_ERROR << 10 * kMs << -1;
        QTest::newRow("another radio")
            << QByteArray("AH027\x01\x02\x03\x04\x05") << false << FT_OK << 10 * kMs << -1;
        QTest::newRow("low bytes") << QByteArray("\x00\x01\x0A\x0F\x10\xFF\x7E\x80\x09\x00", 10)
                                   << false << FT_OK << 10 * kMs << -1;
        // Five bytes arrive before the first one-second read times out, five after.
        QTest::newRow("in two pieces")
            << vx8 << true << FT_OK << 1000 * kMs - 5 * SimRadio::kByteNs - kMs / 10 << 5;
    }
    void judgesTheTenBytes() {
        QFETCH(QByteArray, sent);
        QFETCH(bool, accepted);
        QFETCH(FT_STATUS, readStatus);
        QFETCH(qint64, pressNs);
        QFETCH(int, lastRead);
        TestEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        radio.identity = sent;
        env.d2xx->readStatus = readStatus;
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        env.clock.at(env.clock.nowNs() + pressNs, [&] { radio.pressBand(env.clock.nowNs()); });
        pick(diag, 0);
        QCOMPARE(diag.txtErrors->lines().last(), dataLine(1, sent));
        QCOMPARE(diag.ReceivedHex.size(), 20);
        QCOMPARE(diag.cmdSetComPort->isEnabled(), accepted);
        if (lastRead >= 0)
            QCOMPARE(env.ctx->state.rx.FTBytesRead, quint32(lastRead));
    }

    // Every failure ends the test with its line, closes what was opened and leaves the
    // window usable; no box.
    void failuresEndTheTest_data() {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("opens");
        QTest::addColumn<int>("closes");  // -1: the library is gone, nothing can be closed
        auto failing = [](const char* call, FT_STATUS status) {
            return Setup([=](TestEnv& env, FTDIDiag&) { env.d2xx->fail[call] = status; });
        };
        QTest::newRow("open") << failing("FT_OpenEx", FT_DEVICE_NOT_FOUND)
                              << "Device 1 Open Failed for Cable" << 1 << 0;
        QTest::newRow("baud rate") << failing("FT_SetBaudRate", FT_INVALID_BAUD_RATE)
                                   << "Device 1 SetBaudRate Failed for Cable" << 1 << 1;
        QTest::newRow("data format")
            << failing("FT_SetDataCharacteristics", FT_IO_ERROR)
            << "Device 1 SetDataCharacteristics Failed for Cable" << 1 << 1;
        QTest::newRow("flow control") << failing("FT_SetFlowControl", FT_IO_ERROR)
                                      << "Device 1 SetFlowControl Failed for Cable" << 1 << 1;
        QTest::newRow("time-outs") << failing("FT_SetTimeouts", FT_IO_ERROR)
                                   << "Device 1 SetTimeouts Failed for Cable" << 1 << 1;
        QTest::newRow("special characters") << failing("FT_SetChars", FT_OTHER_ERROR)
                                            << "Device 1 SetChars Failed for Cable" << 1 << 1;
        QTest::newRow("read") << failing("FT_Read", FT_OTHER_ERROR)
                              << "Device 1 FT_Read error ftStatus=18" << 1 << 1;
        QTest::newRow("library gone") << Setup([](TestEnv& env, FTDIDiag&) {
            env.clock.at(1500 * kMs, [&env] { env.d2xx->libraryMissing = true; });
        }) << "Device 1 Error 53 (File not found: libftdi1.so.2) while testing Cable"
                                      << 1 << -1;
        const QString longName(65, QLatin1Char('D'));
        QTest::newRow("description over 64 characters")
            << Setup([=](TestEnv&, FTDIDiag& diag) { diag.cboDevices->addItem(longName); })
            << "Device 2 Description longer than 64 characters, cannot open " + longName << 0 << 0;
    }
    void failuresEndTheTest() {
        QFETCH(Setup, setup);
        QFETCH(QString, line);
        QFETCH(int, opens);
        QFETCH(int, closes);
        TestEnv env;
        env.radioOnFtdi("Cable");  // silent: only a failure ends the test
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        setup(env, diag);
        watchdog(env, diag);
        pick(diag, diag.cboDevices->count() - 1);
        QCOMPARE(diag.txtErrors->lines().last(), line);
        QCOMPARE(env.d2xx->calls.filter("FT_OpenEx").size(), opens);
        if (closes >= 0) {
            QCOMPARE(env.d2xx->calls.count("FT_Close"), closes);
            QVERIFY(!env.d2xx->anyOpen());
        }
        QCOMPARE(env.ctx->state.link.FTHandle, FT_HANDLE(0));
        QVERIFY(diag.cmdClose->isEnabled() && !diag.cmdSetComPort->isEnabled());
        QVERIFY(!diag.testRunning() && env.boxes.shown.isEmpty());
    }

    void failingClosesAreLogged() {
        TestEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        radio.pressBand(0);
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        env.ctx->state.link.FTHandle = 0x77;  // left by an earlier open
        env.d2xx->fail["FT_Close"] = FT_INVALID_HANDLE;
        pick(diag, 0);
        const QStringList lines = diag.txtErrors->lines();
        QCOMPARE(lines.at(2), QStringLiteral("Device 1 Close Failed for previous device"));
        QCOMPARE(lines.last(), QStringLiteral("Device 1 Close Failed forCable"));
        QCOMPARE(env.ctx->state.link.FTHandle, FT_HANDLE(0));
    }

    // Whatever the user does while a test waits, the test ends within a second, its device
    // is closed, and then the action follows.
    void stoppingATestClosesTheDevice_data() {
        QTest::addColumn<int>("way");
        QTest::addColumn<int>("atMs");
        QTest::newRow("Cancel Detection") << int(CancelDetection) << 2500;
        QTest::newRow("Exit without change") << int(ExitWithoutChange) << 1300;  // though disabled
        QTest::newRow("close box") << int(CloseBox) << 1300;
        QTest::newRow("Escape") << int(Escape) << 1300;
    }
    void stoppingATestClosesTheDevice() {
        QFETCH(int, way);
        QFETCH(int, atMs);
        TestEnv env;
        env.radioOnFtdi("Silent cable");  // the radio never sends
        FTDIDiag diag(*env.ctx);
        diag.show();
        diag.cmdDetect->click();
        clickAt(env, atMs, &diag, [&] {
            if (way == CancelDetection)
                diag.cmdStop->click();
            else if (way == ExitWithoutChange)
                diag.cmdClose_Click();
            else if (way == CloseBox)
                diag.close();
            else
                QTest::keyClick(&diag, Qt::Key_Escape);
            QVERIFY(env.d2xx->anyOpen());  // the window waits for the test to end
        });
        watchdog(env, diag);
        pick(diag, 0);
        QVERIFY(env.nowMs() >= atMs && env.nowMs() <= atMs + 1000);
        QCOMPARE(diag.txtErrors->lines().last(), QStringLiteral("Device 1 Detection cancelled"));
        QCOMPARE(diag.isVisible(), way == CancelDetection);
        QVERIFY(!env.d2xx->anyOpen() && !diag.testRunning() && !diag.cmdSetComPort->isEnabled());
        QCOMPARE(env.ctx->state.link.FTHandle, FT_HANDLE(0));
        if (way == CancelDetection)
            QVERIFY(diag.cmdClose->isEnabled() && diag.cmdStop->isEnabled());
    }

    void closingTheMainWindowDuringTest() {
        TestEnv env;
        env.radioOnFtdi("Cable");
        Form1& form = env.form();
        form.show();
        QTimer::singleShot(0, [&] {
            auto* diag = qobject_cast<FTDIDiag*>(QApplication::activeModalWidget());
            QVERIFY(diag);
            diag->cmdDetect->click();
            clickAt(env, 700, &form, [&] { form.close(); });
            watchdog(env, *diag);
            AppContext::guardHandler([&] { pick(*diag, 0); });
        });
        form.mnuFTDI->trigger();
        QCOMPARE(env.quitRequests, 1);
        QVERIFY(!env.d2xx->anyOpen());
        QVERIFY(env.nowMs() <= 700 + 1000);
    }
};

QTEST_MAIN(FtdiDiagTest)
#include "test_diag_ftdi.moc"

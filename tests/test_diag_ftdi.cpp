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

}  // namespace

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
        QCOMPARE(env.boxes.shown[0].text,
                 QStringLiteral("The FTDI D2XX DLL is not installed on this system.\r\n"
                                "Visit https://www.ftdichip.com/Drivers/D2XX.htm to get the "
                                "drivers.\r\n"
                                "On Debian or Ubuntu install the package libftdi1-2 (sudo "
                                "apt-get install libftdi1-2)."));
        QCOMPARE(env.boxes.shown[0].buttons, MsgButtons::Ok);
        QCOMPARE(env.boxes.shown[0].icon, MsgIcon::None);
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
        QCOMPARE(diag.cboDevices->currentText(),
                 QStringLiteral("Choose a device from this list to start the detection process"));
        QVERIFY(diag.cboDevices->isEnabled());
        QCOMPARE(env.ctx->state.link.FTDetectDescription, QStringLiteral("Cable B"));

        env.clock.at(300 * kMs, [&] { radio.pressBand(env.clock.nowNs()); });
        env.d2xx->calls.clear();
        pick(diag, 0);
        QCOMPARE(
            diag.txtErrors->lines().mid(1),
            QStringList({QStringLiteral("Device 1 Waiting for data from Cable A"),
                         QStringLiteral("Device 1 Data ") +
                             QString::fromLatin1(SimRadio::identityAH029().toHex().toUpper())}));
        QCOMPARE(env.d2xx->calls,
                 QStringList({"FT_OpenEx(Cable A,2)", "FT_SetBaudRate(38400)",
                              "FT_SetDataCharacteristics(8,0,0)", "FT_SetFlowControl(0,0,0)",
                              "FT_SetTimeouts(1000,0)", "FT_SetChars(126,1,0,0)", "FT_Close"}));
        QCOMPARE(env.d2xx->lastOpenDescription, QByteArray("Cable A").leftJustified(65, '\0'));
        QVERIFY(!env.d2xx->anyOpen());
        QCOMPARE(env.ctx->state.link.FTHandle, FT_HANDLE(0));
        QVERIFY(diag.cmdSetComPort->isEnabled());
        QVERIFY(diag.cmdClose->isEnabled());

        diag.cmdSetComPort->click();
        QCOMPARE(env.settings->get("Settings", "CommPort", ""), QStringLiteral("999"));
        QCOMPARE(env.settings->get("Settings", "FTDIDevice", ""), QStringLiteral("Cable A"));
        QCOMPARE(env.ctx->state.link.PortNumber, qint16(999));
        QCOMPARE(env.ctx->state.link.FTDIDescription, QStringLiteral("Cable A"));
        QCOMPARE(diag.result(), int(QDialog::Accepted));
    }

    void judgesTheTenBytes_data() {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<FT_STATUS>("readStatus");
        QTest::newRow("VX-8") << SimRadio::identityAH029() << true << FT_OK;
        QTest::newRow("VX-8D") << SimRadio::identityAH29D() << true << FT_OK;
        QTest::newRow("reads end in status 4") << SimRadio::identityAH029() << true << FT_IO_ERROR;
        QTest::newRow("another radio") << QByteArray("AH027\x01\x02\x03\x04\x05") << false << FT_OK;
        QTest::newRow("low bytes")
            << QByteArray("\x00\x01\x0A\x0F\x10\xFF\x7E\x80\x09\x00", 10) << false << FT_OK;
    }
    void judgesTheTenBytes() {
        QFETCH(QByteArray, sent);
        QFETCH(bool, accepted);
        QFETCH(FT_STATUS, readStatus);
        TestEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        radio.identity = sent;
        env.d2xx->readStatus = readStatus;
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        env.clock.at(10 * kMs, [&] { radio.pressBand(env.clock.nowNs()); });
        pick(diag, 0);
        QCOMPARE(diag.txtErrors->lines().last(),
                 QStringLiteral("Device 1 Data ") + QString::fromLatin1(sent.toHex().toUpper()));
        QCOMPARE(diag.ReceivedHex.size(), 20);
        QCOMPARE(diag.cmdSetComPort->isEnabled(), accepted);
    }

    void identityInTwoPieces() {
        TestEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        // Five bytes arrive before the first one-second read times out, five after.
        const qint64 start = env.clock.nowNs() + 1000 * kMs - 5 * SimRadio::kByteNs - kMs / 10;
        env.clock.at(start, [&] { radio.pressBand(env.clock.nowNs()); });
        pick(diag, 0);
        QCOMPARE(env.ctx->state.rx.FTBytesRead, quint32(5));  // the second read's share
        QCOMPARE(diag.txtErrors->lines().last(),
                 QStringLiteral("Device 1 Data ") +
                     QString::fromLatin1(SimRadio::identityAH029().toHex().toUpper()));
        QVERIFY(diag.cmdSetComPort->isEnabled());
    }

    void cancelDetectionWithinASecond() {
        TestEnv env;
        env.radioOnFtdi("Silent cable");  // the radio never sends
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        clickAt(env, 2500, diag.cmdStop, [&] { diag.cmdStop->click(); });
        watchdog(env, diag);
        pick(diag, 0);
        QVERIFY(env.nowMs() >= 2500);
        QVERIFY(env.nowMs() <= 2500 + 1000);
        QCOMPARE(diag.txtErrors->lines().last(), QStringLiteral("Device 1 Detection cancelled"));
        QVERIFY(!env.d2xx->anyOpen());
        QVERIFY(diag.cmdClose->isEnabled());
        QVERIFY(diag.cmdStop->isEnabled());
        QVERIFY(!diag.cmdSetComPort->isEnabled());
    }

    void failuresEndTheTestAndCloseTheDevice_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<FT_STATUS>("status");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("opened");
        QTest::newRow("open") << "FT_OpenEx" << FT_DEVICE_NOT_FOUND << "Open Failed for Cable"
                              << false;
        QTest::newRow("baud rate")
            << "FT_SetBaudRate" << FT_INVALID_BAUD_RATE << "SetBaudRate Failed for Cable" << true;
        QTest::newRow("data format") << "FT_SetDataCharacteristics" << FT_IO_ERROR
                                     << "SetDataCharacteristics Failed for Cable" << true;
        QTest::newRow("flow control")
            << "FT_SetFlowControl" << FT_IO_ERROR << "SetFlowControl Failed for Cable" << true;
        QTest::newRow("time-outs")
            << "FT_SetTimeouts" << FT_IO_ERROR << "SetTimeouts Failed for Cable" << true;
        QTest::newRow("special characters")
            << "FT_SetChars" << FT_OTHER_ERROR << "SetChars Failed for Cable" << true;
        QTest::newRow("read") << "FT_Read" << FT_OTHER_ERROR << "FT_Read error ftStatus=18" << true;
    }
    void failuresEndTheTestAndCloseTheDevice() {
        QFETCH(QString, call);
        QFETCH(FT_STATUS, status);
        QFETCH(QString, line);
        QFETCH(bool, opened);
        TestEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        radio.pressBand(0);
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        env.d2xx->fail[call] = status;
        pick(diag, 0);
        QCOMPARE(diag.txtErrors->lines().last(), QStringLiteral("Device 1 ") + line);
        QCOMPARE(env.d2xx->calls.count("FT_Close"), opened ? 1 : 0);
        QVERIFY(!env.d2xx->anyOpen());
        QCOMPARE(env.ctx->state.link.FTHandle, FT_HANDLE(0));
        QVERIFY(diag.cmdClose->isEnabled());
        QVERIFY(!diag.cmdSetComPort->isEnabled());
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

    void libraryGoneDuringTest() {
        TestEnv env;
        env.radioOnFtdi("Cable");
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        env.clock.at(1500 * kMs, [&] { env.d2xx->libraryMissing = true; });
        watchdog(env, diag);
        pick(diag, 0);
        QCOMPARE(diag.txtErrors->lines().last(),
                 QStringLiteral("Device 1 Error 53 (File not found: libftdi1.so.2) while "
                                "testing Cable"));
        QCOMPARE(env.ctx->state.link.FTHandle, FT_HANDLE(0));
        QVERIFY(diag.cmdClose->isEnabled());
        QVERIFY(!diag.testRunning());
        QVERIFY(env.boxes.shown.isEmpty());
    }

    void overlongDescriptionIsRefused() {
        TestEnv env;
        FTDIDiag diag(*env.ctx);
        const QString description(65, QLatin1Char('D'));
        diag.cboDevices->addItem(description);
        pick(diag, 0);
        QCOMPARE(diag.txtErrors->lines().last(),
                 QStringLiteral("Device 1 Description longer than 64 characters, cannot open ") +
                     description);
        QVERIFY(!env.d2xx->calls.join(' ').contains("FT_OpenEx"));
        QVERIFY(diag.cmdClose->isEnabled());
    }

    // Whatever the user does while a test waits, the test ends first and its device is
    // closed; the action follows.
    void closingDuringTestClosesTheDevice_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("Exit without change") << 0;  // disabled during a test, clicked anyway
        QTest::newRow("close box") << 1;
        QTest::newRow("Escape") << 2;
    }
    void closingDuringTestClosesTheDevice() {
        QFETCH(int, way);
        TestEnv env;
        env.radioOnFtdi("Cable");
        FTDIDiag diag(*env.ctx);
        diag.show();
        diag.cmdDetect->click();
        clickAt(env, 1300, &diag, [&] {
            if (way == 0)
                diag.cmdClose_Click();
            else if (way == 1)
                diag.close();
            else
                QTest::keyClick(&diag, Qt::Key_Escape);
            QVERIFY(env.d2xx->anyOpen());  // the window waits for the test to end
        });
        watchdog(env, diag);
        pick(diag, 0);
        QVERIFY(env.nowMs() <= 1300 + 1000);
        QVERIFY(!diag.isVisible());
        QVERIFY(!env.d2xx->anyOpen());
        QCOMPARE(env.ctx->state.link.FTHandle, FT_HANDLE(0));
        QCOMPARE(diag.txtErrors->lines().last(), QStringLiteral("Device 1 Detection cancelled"));
        QVERIFY(!diag.testRunning());
    }

    void pickingAnotherEntryDuringTest() {
        TestEnv env;
        env.radioOnFtdi("Cable A");
        SimRadio& radioB = env.radioOnFtdi("Cable B");
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        clickAt(env, 400, &diag, [&] { pick(diag, 1); });
        env.clock.at(1800 * kMs, [&] { radioB.pressBand(env.clock.nowNs()); });
        watchdog(env, diag);
        pick(diag, 0);
        QCOMPARE(
            diag.txtErrors->lines().mid(1),
            QStringList({"Device 1 Waiting for data from Cable A", "Device 1 Detection cancelled",
                         "Device 2 Waiting for data from Cable B",
                         QStringLiteral("Device 2 Data ") +
                             QString::fromLatin1(SimRadio::identityAH029().toHex().toUpper())}));
        QVERIFY(!env.d2xx->anyOpen());
        QCOMPARE(env.ctx->state.link.FTDetectDescription, QStringLiteral("Cable B"));
    }

    void detectDevicesDuringTest() {
        TestEnv env;
        env.radioOnFtdi("Cable A");
        FTDIDiag diag(*env.ctx);
        diag.cmdDetect->click();
        clickAt(env, 400, &diag, [&] {
            env.radioOnFtdi("Cable B");  // plugged in meanwhile
            diag.cmdDetect->click();
        });
        watchdog(env, diag);
        pick(diag, 0);
        QVERIFY(!env.d2xx->anyOpen());
        QCOMPARE(diag.txtErrors->lines(),
                 QStringList({QStringLiteral("Device 1 Number of devices = 2")}));
        QCOMPARE(diag.cboDevices->count(), 2);
        QVERIFY(!diag.cmdStop->isEnabled());
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

#include <QtTest>

#include "app/errors.h"
#include "support/linkenv.h"

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

class LinkOpenTest : public QObject {
    Q_OBJECT
private slots:
    // ---- COM port ----------------------------------------------------------------------

    void comOpenSetsUpThePortAndDropsEarlyNoise() {
        LinkEnv env;
        SimRadio& radio = env.radioOnCom(3);
        // The radio starts talking before the port has settled; those bytes are dropped.
        env.clock.afterMs(100, [&] { radio.pressBand(env.clock.nowNs()); });
        env.linkState().PortNumber = 3;
        env.linkState().RxTimedOut = true;
        env.linkState().LinkLost = true;
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);

        QCOMPARE(env.log(), QStringList{QStringLiteral("SetCommPort: open OK for port 3")});
        QVERIFY(env.linkState().LinkOpen);
        QVERIFY(!env.linkState().RxTimedOut);
        QVERIFY(!env.linkState().LinkLost);
        QVERIFY(env.boxes.shown.isEmpty());
        QCOMPARE(env.nowMs(), 500);
        FakeSerialControl& c = env.comm();
        QVERIFY(c.PortOpen());
        QCOMPARE(c.CommPort(), 3);
        QCOMPARE(c.Settings(), QStringLiteral("38400,N,8,1"));
        QCOMPARE(c.InputMode(), 1);
        QCOMPARE(c.Handshaking(), 0);
        QCOMPARE(c.Protocol(), 0);
        QVERIFY(c.DTREnable());
        QVERIFY(c.RTSEnable());
        QCOMPARE(c.RThreshold(), 0);
        QCOMPARE(c.SThreshold(), 0);
        QCOMPARE(c.InBufferCount(), 0);
        QVERIFY(env.ports->ports[3].written.isEmpty());
    }

    void comOpenFailureTellsTheUser_data() {
        QTest::addColumn<int>("openError");
        QTest::addColumn<QString>("box");
        const QString inUse = QStringLiteral(
                                  "COM Port 4 is not available. It may be in use by another "
                                  "program.") +
                              kCrLf + QStringLiteral("The requested operation cannot continue.");
        QTest::newRow("busy") << 8005 << inUse;
        QTest::newRow("no device") << 68 << inUse;
        QTest::newRow("invalid port") << 8002 << inUse;
        QTest::newRow("permission denied")
            << 70
            << QStringLiteral(
                   "COM Port 4 is not available: permission denied on "
                   "/dev/fake/COM4.") +
                   kCrLf +
                   QStringLiteral(
                       "Add yourself to the dialout group (sudo adduser $USER "
                       "dialout) and log in again.") +
                   kCrLf + QStringLiteral("The requested operation cannot continue.");
    }
    void comOpenFailureTellsTheUser() {
        QFETCH(int, openError);
        QFETCH(QString, box);
        LinkEnv env;
        env.ports->ports[4].openError = openError;
        env.linkState().LinkOpen = true;  // left from an earlier open
        env.linkState().PortNumber = 4;
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);

        QCOMPARE(env.log(), QStringList{QStringLiteral("SetCommPort: open failed for port 4")});
        QCOMPARE(env.boxes.shown.size(), 1);
        QCOMPARE(env.boxes.shown[0].text, box);
        QCOMPARE(env.boxes.shown[0].buttons, MsgButtons::Ok);
        QCOMPARE(env.boxes.shown[0].icon, MsgIcon::Exclamation);
        QVERIFY(!env.linkState().LinkOpen);
        QVERIFY(!env.comm().PortOpen());
        QCOMPARE(env.nowMs(), 0);  // no settling pause after a failed open
    }

    void comOpenClosesThePortFirst() {
        LinkEnv env;
        env.ports->ports[3] = {};
        env.ports->ports[5] = {};
        env.linkState().PortNumber = 3;
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);
        env.linkState().PortNumber = 5;
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);

        QCOMPARE(env.log(), (QStringList{QStringLiteral("SetCommPort: open OK for port 3"),
                                         QStringLiteral("SetCommPort: open OK for port 3"),
                                         QStringLiteral("SetCommPort: open OK for port 5")}));
        QVERIFY(env.boxes.shown.isEmpty());
        QVERIFY(env.linkState().LinkOpen);
        QCOMPARE(env.comm().CommPort(), 5);
    }

    void closeCommPortLeavesLinkOpenAlone() {
        LinkEnv env;
        env.openCom(3);
        env.link().CloseCommPort();
        QVERIFY(!env.comm().PortOpen());
        QVERIFY(env.linkState().LinkOpen);
        env.link().CloseCommPort();  // closing a closed port does nothing
        QVERIFY(env.log().isEmpty());
    }

    void purgeOnComDiscardsInputAndSendsNothing() {
        LinkEnv env;
        env.openCom(3);
        env.ports->inject(3, QByteArray("\x01\x02\x03", 3));
        QCOMPARE(env.link().GetInBufferCount(), 3);
        env.linkState().LinkOpen = false;  // the purge does not look at it
        env.link().PurgeBuffers();
        QCOMPARE(env.link().GetInBufferCount(), 0);
        QVERIFY(env.ports->ports[3].written.isEmpty());
        QVERIFY(env.log().isEmpty());
    }

    // ---- FTDI device -------------------------------------------------------------------

    void ftdiOpenConfiguresTheDevice() {
        LinkEnv env;
        env.d2xx->devices.append({"FT232R USB UART", nullptr, {}});
        env.linkState().PortNumber = 999;
        env.linkState().FTDIDescription = QStringLiteral("FT232R USB UART");
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);

        QCOMPARE(env.d2xx->calls, (QStringList{QStringLiteral("FT_OpenEx(FT232R USB UART,2)"),
                                               QStringLiteral("FT_SetBaudRate(38400)"),
                                               QStringLiteral("FT_SetDataCharacteristics(8,0,0)"),
                                               QStringLiteral("FT_SetFlowControl(0,0,0)"),
                                               QStringLiteral("FT_SetTimeouts(1000,0)"),
                                               QStringLiteral("FT_SetChars(126,1,0,0)")}));
        QByteArray padded("FT232R USB UART");
        padded.append(QByteArray(65 - padded.size(), '\0'));
        QCOMPARE(env.d2xx->lastOpenDescription, padded);
        QCOMPARE(env.log(),
                 QStringList{QStringLiteral("SetCommPort: open OK for device FT232R USB UART")});
        QVERIFY(env.linkState().LinkOpen);
        QCOMPARE(env.d2xx->deviceOf(env.linkState().FTHandle), 0);
        QCOMPARE(env.nowMs(), 0);  // no pause and no purge after an FTDI open
        QVERIFY(env.boxes.shown.isEmpty());
    }

    void ftdiOpenWithoutDevice() {
        LinkEnv env;
        env.linkState().LinkOpen = true;
        env.linkState().PortNumber = 999;
        env.linkState().FTDIDescription = QStringLiteral("FT232R USB UART");
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);
        QCOMPARE(env.log(), QStringList{QStringLiteral("Open Failed for device FT232R USB UART")});
        QVERIFY(!env.linkState().LinkOpen);
        QCOMPARE(env.linkState().FTHandle, 0u);
        QVERIFY(env.boxes.shown.isEmpty());
    }

    void ftdiEmptyDescriptionIsAllZeros() {
        LinkEnv env;
        env.linkState().FTDescBytes.fill('x');  // left over from the detector
        env.linkState().PortNumber = 999;
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);
        QCOMPARE(env.d2xx->lastOpenDescription, QByteArray(65, '\0'));
        QCOMPARE(env.log(), QStringList{QStringLiteral("Open Failed for device ")});
        QVERIFY(!env.linkState().LinkOpen);
    }

    void ftdiConfigurationStepFails_data() {
        QTest::addColumn<QString>("function");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("callsBeforeClose");
        QTest::newRow("baud rate") << "FT_SetBaudRate"
                                   << "SetBaudRate Failed for device Cable" << 2;
        QTest::newRow("data characteristics")
            << "FT_SetDataCharacteristics"
            << "SetDataCharacteristics Failed for device Cable" << 3;
        QTest::newRow("flow control") << "FT_SetFlowControl"
                                      << "SetFlowControl Failed for device Cable" << 4;
        QTest::newRow("time-outs") << "FT_SetTimeouts"
                                   << "SetTimeouts Failed for device Cable" << 5;
        QTest::newRow("special characters") << "FT_SetChars"
                                            << "SetChars Failed for device Cable" << 6;
    }
    void ftdiConfigurationStepFails() {
        QFETCH(QString, function);
        QFETCH(QString, line);
        QFETCH(int, callsBeforeClose);
        LinkEnv env;
        env.d2xx->devices.append({"Cable", nullptr, {}});
        env.d2xx->fail[function] = FT_IO_ERROR;
        env.linkState().PortNumber = 999;
        env.linkState().FTDIDescription = QStringLiteral("Cable");
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);

        QCOMPARE(env.log(), QStringList{line});
        QCOMPARE(env.d2xx->calls.size(), callsBeforeClose + 1);
        QVERIFY(env.d2xx->calls[callsBeforeClose - 1].startsWith(function + QLatin1Char('(')));
        QCOMPARE(env.d2xx->calls.last(), QStringLiteral("FT_Close"));
        QVERIFY(!env.d2xx->anyOpen());
        QCOMPARE(env.linkState().FTHandle, 0u);
        QVERIFY(!env.linkState().LinkOpen);
        if (function == QStringLiteral("FT_SetBaudRate"))
            QCOMPARE(env.linkState().FTStatus, FT_IO_ERROR);
    }

    void ftdiOpenClosesThePreviousHandle() {
        LinkEnv env;
        env.openFtdi("Cable");
        const FT_HANDLE first = env.linkState().FTHandle;
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);
        QCOMPARE(env.d2xx->calls.first(), QStringLiteral("FT_Close"));
        QVERIFY(env.linkState().FTHandle != first);
        QCOMPARE(env.log(), QStringList{QStringLiteral("SetCommPort: open OK for device Cable")});

        // A handle the library no longer knows: the failed close is logged, the open goes on.
        env.form().txtErrors->clearLog();
        env.d2xx->fail[QStringLiteral("FT_Close")] = FT_INVALID_HANDLE;
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);
        QCOMPARE(env.log(), (QStringList{QStringLiteral("Close Failed for previous device"),
                                         QStringLiteral("Open Failed for device Cable")}));
    }

    void ftdiDescriptionLength_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("opens");
        QTest::newRow("64 characters fit") << 64 << true;
        QTest::newRow("65 characters are refused") << 65 << false;
        QTest::newRow("200 characters are refused") << 200 << false;
    }
    void ftdiDescriptionLength() {
        QFETCH(int, length);
        QFETCH(bool, opens);
        LinkEnv env;
        const QByteArray desc(length, 'D');
        // A device whose description is the first 64 characters must not be opened by a
        // longer one cut short.
        env.d2xx->devices.append({desc.left(64), nullptr, {}});
        env.linkState().PortNumber = 999;
        env.linkState().FTDIDescription = QString::fromLatin1(desc);
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);

        QCOMPARE(env.linkState().LinkOpen, opens);
        if (opens) {
            QCOMPARE(env.d2xx->lastOpenDescription, desc + QByteArray(1, '\0'));
        } else {
            QCOMPARE(env.log(), QStringList{QStringLiteral("Open Failed for device ") +
                                            QString::fromLatin1(desc) +
                                            QStringLiteral(" (description longer than 64 "
                                                           "characters)")});
            QVERIFY(!env.d2xx->anyOpen());
            QVERIFY(env.d2xx->lastOpenDescription.isEmpty());  // FT_OpenEx never called
        }
    }

    void ftdiCloseFailureIsLoggedAndForgotten_data() {
        QTest::addColumn<QString>("detectDescription");
        QTest::addColumn<QString>("line");
        QTest::newRow("detector not used") << ""
                                           << "Close Failed for";
        QTest::newRow("detector used") << "Cable"
                                       << "Close Failed forCable";
    }
    void ftdiCloseFailureIsLoggedAndForgotten() {
        QFETCH(QString, detectDescription);
        QFETCH(QString, line);
        LinkEnv env;
        env.openFtdi("Cable");
        env.linkState().FTDetectDescription = detectDescription;
        env.d2xx->fail[QStringLiteral("FT_Close")] = FT_IO_ERROR;
        env.link().CloseCommPort();
        QCOMPARE(env.log(), QStringList{line});
        QCOMPARE(env.linkState().FTHandle, 0u);
        QVERIFY(env.linkState().LinkOpen);
    }

    void ftdiPurge() {
        LinkEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        env.openFtdi("Cable");
        radio.pressBand(env.clock.nowNs());
        env.clock.advanceBy(100'000'000);
        QCOMPARE(env.link().GetInBufferCount(), 10);
        env.link().PurgeBuffers();
        QCOMPARE(env.d2xx->calls, QStringList{QStringLiteral("FT_Purge(3)")});
        QCOMPARE(env.link().GetInBufferCount(), 0);
        QVERIFY(env.log().isEmpty());

        env.d2xx->fail[QStringLiteral("FT_Purge")] = FT_IO_ERROR;
        env.link().PurgeBuffers();
        env.linkState().FTDetectDescription = QStringLiteral("Cable B");
        env.link().PurgeBuffers();
        QCOMPARE(env.log(), (QStringList{QStringLiteral("Purge Failed for device "),
                                         QStringLiteral("Purge Failed for device Cable B")}));
    }

    // ---- Description bytes -------------------------------------------------------------

    void stringToBytes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("padded with zeros") << "AB" << 5 << QByteArray("AB\0\0\0", 5);
        QTest::newRow("empty") << "" << 3 << QByteArray(3, '\0');
        QTest::newRow("exactly full") << "ABC" << 3 << QByteArray("ABC");
        QTest::newRow("Latin-1 kept, others replaced")
            << QString::fromUtf8("\xC3\xA9\xE2\x82\xAC") << 3 << QByteArray("\xE9?\0", 3);
        QTest::newRow("a character beyond the basic plane counts once")
            << QString::fromUtf8("A\xF0\x9F\x93\xBB") << 3 << QByteArray("A?\0", 3);
    }
    void stringToBytes() {
        QFETCH(QString, text);
        QFETCH(int, size);
        QFETCH(QByteArray, bytes);
        QByteArray target(size, 'x');
        Link::StringToBytes(text, target);
        QCOMPARE(target, bytes);
    }

    void stringToBytesRefusesTooLongText() {
        QByteArray target("xyz");
        try {
            Link::StringToBytes(QStringLiteral("ABCD"), target);
            QFAIL("no error raised");
        } catch (const RunError& e) {
            QCOMPARE(e.number(), 9);
        }
        QCOMPARE(target, QByteArray("xyz"));
    }
};

QTEST_MAIN(LinkOpenTest)
#include "test_link_open.moc"

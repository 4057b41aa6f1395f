#include <QtTest>

#include "app/errors.h"
#include "support/linkenv.h"

class LinkOpenTest : public QObject {
    Q_OBJECT
private slots:
    void comOpenSetsUpThePortAndDropsEarlyNoise() {
        LinkEnv env;
        SimRadio& radio = env.radioOnCom(3);
        // The radio talks while the port settles; those bytes are dropped.
        env.clock.afterMs(100, [&] { radio.pressBand(env.clock.nowNs()); });
        env.linkState().RxTimedOut = env.linkState().LinkLost = true;
        env.openCom(3);

        QCOMPARE(env.nowMs(), 500);
        QVERIFY(env.linkState().LinkOpen);
        QVERIFY(!env.linkState().RxTimedOut);
        QVERIFY(!env.linkState().LinkLost);
        QVERIFY(env.boxes.shown.isEmpty());
        FakeSerialControl& c = env.comm();
        QVERIFY(c.PortOpen());
        QCOMPARE(c.CommPort(), 3);
        QCOMPARE(c.Settings(), "38400,N,8,1");
        QCOMPARE(c.InputMode(), 1);
        QCOMPARE(c.Handshaking() + c.Protocol() + c.RThreshold() + c.SThreshold(), 0);
        QVERIFY(c.DTREnable() && c.RTSEnable());
        QCOMPARE(c.InBufferCount(), 0);
        QVERIFY(env.ports->ports[3].written.isEmpty());
    }

    void comOpenFailureTellsTheUser_data() {
        QTest::addColumn<int>("openError");
        QTest::addColumn<QString>("box");
        const QString inUse =
            "COM Port 4 is not available. It may be in use by another program.\r\n"
            "The requested operation cannot continue.";
        QTest::newRow("busy") << 8005 << inUse;
        QTest::newRow("no device") << 68 << inUse;
        QTest::newRow("permission denied")
            << 70
            << "COM Port 4 is not available: permission denied on /dev/fake/COM4.\r\n"
               "Add yourself to the dialout group (sudo adduser $USER dialout) and log in "
               "again.\r\nThe requested operation cannot continue.";
    }
    void comOpenFailureTellsTheUser() {
        QFETCH(int, openError);
        QFETCH(QString, box);
        LinkEnv env;
        env.ports->ports[4].openError = openError;
        env.linkState().LinkOpen = true;  // left from an earlier open
        env.linkState().PortNumber = 4;
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);

        QCOMPARE(env.log(), QStringList{"SetCommPort: open failed for port 4"});
        QCOMPARE(env.boxes.texts(), QStringList{box});
        QCOMPARE(env.boxes.shown[0].buttons, MsgButtons::Ok);
        QCOMPARE(env.boxes.shown[0].icon, MsgIcon::Exclamation);
        QVERIFY(!env.linkState().LinkOpen);
        QCOMPARE(env.nowMs(), 0);  // no settling pause after a failed open
    }

    void comOpenClosesThePortFirst() {
        LinkEnv env;
        env.ports->ports[3] = {};
        env.ports->ports[5] = {};
        for (int port : {3, 3, 5}) {
            env.linkState().PortNumber = static_cast<qint16>(port);
            env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);
        }
        QCOMPARE(env.log(),
                 (QStringList{"SetCommPort: open OK for port 3", "SetCommPort: open OK for port 3",
                              "SetCommPort: open OK for port 5"}));
        QVERIFY(env.boxes.shown.isEmpty());
        QCOMPARE(env.comm().CommPort(), 5);

        env.link().CloseCommPort();
        QVERIFY(!env.comm().PortOpen());
        QVERIFY(env.linkState().LinkOpen);  // closing does not change it
    }

    void comPurgeDiscardsInputAndSendsNothing() {
        LinkEnv env;
        env.openCom(3);
        env.ports->inject(3, "\x01\x02\x03");
        env.linkState().LinkOpen = false;  // the purge does not look at it
        env.link().PurgeBuffers();
        QCOMPARE(env.link().GetInBufferCount(), 0);
        QVERIFY(env.ports->ports[3].written.isEmpty());
        QVERIFY(env.log().isEmpty());
    }

    void ftdiOpenConfiguresTheDevice() {
        LinkEnv env;
        env.d2xx->devices.append({"FT232R USB UART", nullptr, {}});
        env.linkState().FTHandle = 0x77;  // a handle the library no longer knows
        env.linkState().PortNumber = 999;
        env.linkState().FTDIDescription = "FT232R USB UART";
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);

        QCOMPARE(env.d2xx->calls,
                 (QStringList{"FT_Close", "FT_OpenEx(FT232R USB UART,2)", "FT_SetBaudRate(38400)",
                              "FT_SetDataCharacteristics(8,0,0)", "FT_SetFlowControl(0,0,0)",
                              "FT_SetTimeouts(1000,0)", "FT_SetChars(126,1,0,0)"}));
        QCOMPARE(env.d2xx->lastOpenDescription, QByteArray("FT232R USB UART").leftJustified(65, 0));
        QCOMPARE(env.log(), (QStringList{"Close Failed for previous device",
                                         "SetCommPort: open OK for device FT232R USB UART"}));
        QVERIFY(env.linkState().LinkOpen);
        QCOMPARE(env.d2xx->deviceOf(env.linkState().FTHandle), 0);
        QCOMPARE(env.nowMs(), 0);  // no pause and no purge after an FTDI open
        QVERIFY(env.boxes.shown.isEmpty());
    }

    void ftdiOpenWithoutDevice_data() {
        QTest::addColumn<QString>("description");
        QTest::newRow("named") << "FT232R USB UART";
        QTest::newRow("empty") << "";
    }
    void ftdiOpenWithoutDevice() {
        QFETCH(QString, description);
        LinkEnv env;
        env.linkState().FTDescBytes.fill('x');  // left over from the detector
        env.linkState().LinkOpen = true;
        env.linkState().PortNumber = 999;
        env.linkState().FTDIDescription = description;
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);
        QCOMPARE(env.log(), QStringList{"Open Failed for device " + description});
        QCOMPARE(env.d2xx->lastOpenDescription, description.toLatin1().leftJustified(65, 0));
        QVERIFY(!env.linkState().LinkOpen);
        QCOMPARE(env.linkState().FTHandle, 0u);
        QVERIFY(env.boxes.shown.isEmpty());
    }

    void ftdiConfigurationStepFails_data() {
        QTest::addColumn<QString>("function");
        QTest::addColumn<QString>("line");
        QTest::newRow("baud rate") << "FT_SetBaudRate"
                                   << "SetBaudRate Failed for device Cable";
        QTest::newRow("data characteristics") << "FT_SetDataCharacteristics"
                                              << "SetDataCharacteristics Failed for device Cable";
        QTest::newRow("flow control") << "FT_SetFlowControl"
                                      << "SetFlowControl Failed for device Cable";
        QTest::newRow("time-outs") << "FT_SetTimeouts"
                                   << "SetTimeouts Failed for device Cable";
        QTest::newRow("special characters") << "FT_SetChars"
                                            << "SetChars Failed for device Cable";
    }
    void ftdiConfigurationStepFails() {
        QFETCH(QString, function);
        QFETCH(QString, line);
        LinkEnv env;
        env.d2xx->devices.append({"Cable", nullptr, {}});
        env.d2xx->fail[function] = FT_IO_ERROR;
        env.linkState().PortNumber = 999;
        env.linkState().FTDIDescription = "Cable";
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);

        QCOMPARE(env.log(), QStringList{line});
        // The failing step is the last before the close; nothing after it is tried.
        QVERIFY(env.d2xx->calls[env.d2xx->calls.size() - 2].startsWith(function + '('));
        QCOMPARE(env.d2xx->calls.last(), "FT_Close");
        QVERIFY(!env.d2xx->anyOpen());
        QCOMPARE(env.linkState().FTHandle, 0u);
        QVERIFY(!env.linkState().LinkOpen);
    }

    void ftdiDescriptionLength_data() {
        QTest::addColumn<int>("length");
        QTest::newRow("64 characters fit") << 64;
        QTest::newRow("65 characters are refused") << 65;
    }
    void ftdiDescriptionLength() {
        QFETCH(int, length);
        LinkEnv env;
        const QByteArray desc(length, 'D');
        // A longer description cut short would open this device.
        env.d2xx->devices.append({desc.left(64), nullptr, {}});
        env.linkState().PortNumber = 999;
        env.linkState().FTDIDescription = QString::fromLatin1(desc);
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);

        QCOMPARE(env.linkState().LinkOpen, length == 64);
        if (length == 64) {
            QCOMPARE(env.d2xx->lastOpenDescription, desc + '\0');
        } else {
            QCOMPARE(env.log(), QStringList{"Open Failed for device " + QString::fromLatin1(desc) +
                                            " (description longer than 64 characters)"});
            QVERIFY(env.d2xx->lastOpenDescription.isEmpty());  // FT_OpenEx never called
        }
    }

    void ftdiCloseFailureIsLoggedAndForgotten_data() {
        QTest::addColumn<QString>("detectDescription");
        QTest::newRow("detector not used") << "";
        QTest::newRow("detector used") << "Cable";
    }
    void ftdiCloseFailureIsLoggedAndForgotten() {
        QFETCH(QString, detectDescription);
        LinkEnv env;
        env.openFtdi("Cable");
        env.linkState().FTDetectDescription = detectDescription;
        env.d2xx->fail["FT_Close"] = FT_IO_ERROR;
        env.link().CloseCommPort();
        QCOMPARE(env.log(), QStringList{"Close Failed for" + detectDescription});
        QCOMPARE(env.linkState().FTHandle, 0u);
    }

    void ftdiPurge() {
        LinkEnv env;
        SimRadio& radio = env.radioOnFtdi("Cable");
        env.openFtdi("Cable");
        radio.pressBand(env.clock.nowNs());
        env.clock.advanceBy(100'000'000);
        QCOMPARE(env.link().GetInBufferCount(), 10);
        env.link().PurgeBuffers();
        QCOMPARE(env.d2xx->calls, QStringList{"FT_Purge(3)"});
        QCOMPARE(env.link().GetInBufferCount(), 0);
        QVERIFY(env.log().isEmpty());

        env.d2xx->fail["FT_Purge"] = FT_IO_ERROR;
        env.link().PurgeBuffers();
        env.linkState().FTDetectDescription = "Cable B";
        env.link().PurgeBuffers();
        QCOMPARE(env.log(),
                 (QStringList{"Purge Failed for device ", "Purge Failed for device Cable B"}));
    }

    void stringToBytes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("padded with zeros") << "AB" << QByteArray("AB\0\0", 4);
        QTest::newRow("exactly full") << "ABCD" << QByteArray("ABCD");
        QTest::newRow("outside Latin-1, one '?' per character")
            << QString::fromUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xBB")
            << QByteArray("\xE9??\0", 4);
    }
    void stringToBytes() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QByteArray target(4, 'x');
        Link::StringToBytes(text, target);
        QCOMPARE(target, bytes);
    }

    void stringToBytesRefusesTooLongText() {
        QByteArray target("xyz");
        try {
            Link::StringToBytes("ABCD", target);
            QFAIL("no error raised");
        } catch (const RunError& e) {
            QCOMPARE(e.number(), 9);
        }
        QCOMPARE(target, QByteArray("xyz"));
    }
};

QTEST_MAIN(LinkOpenTest)
#include "test_link_open.moc"

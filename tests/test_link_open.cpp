#include <QtTest>

#include "core/errors.h"
#include "support/linkenv.h"

// Opening and closing the link on both back-ends, and what a failed open tells the user.
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
        QVERIFY(!env.linkState().RxTimedOut && !env.linkState().LinkLost);
        FakeSerialControl& c = env.comm();
        QVERIFY(c.PortOpen());
        QCOMPARE(c.CommPort(), 3);
        QCOMPARE(c.Settings(), "38400,N,8,1");
        QCOMPARE(c.InputMode(), 1);
        QCOMPARE(c.Handshaking() + c.Protocol() + c.RThreshold() + c.SThreshold(), 0);
        QVERIFY(c.DTREnable() && c.RTSEnable());
        QCOMPARE(c.InBufferCount(), 0);
        QVERIFY(env.ports->ports[3].written.isEmpty() && env.boxes.shown.isEmpty());

        // Opening again, or another port, closes the first; closing keeps LinkOpen.
        env.ports->ports[5] = {};
        env.openCom(3);
        env.openCom(5);
        QCOMPARE(env.comm().CommPort(), 5);
        env.link().CloseCommPort();
        QVERIFY(!env.comm().PortOpen());
        QVERIFY(env.linkState().LinkOpen);
        QVERIFY(env.boxes.shown.isEmpty());
    }

    void ftdiOpenConfiguresTheDevice() {
        // 64 characters, the longest description there is.
        const QByteArray description = QByteArray("FT232R USB UART").leftJustified(64, '.');
        LinkEnv env;
        env.d2xx->devices.append({description, nullptr, {}});
        env.linkState().FTHandle = 0x77;  // a handle the library no longer knows
        env.linkState().PortNumber = 999;
        env.linkState().FTDIDescription = QString::fromLatin1(description);
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);
        QCOMPARE(env.d2xx->lastOpenDescription, description.leftJustified(65, 0));
        QVERIFY(env.d2xx->calls.contains("FT_SetBaudRate(38400)"));
        QVERIFY(env.linkState().LinkOpen);
        QCOMPARE(env.d2xx->deviceOf(env.linkState().FTHandle), 0);
        QCOMPARE(env.nowMs(), 0);  // no pause and no purge after an FTDI open
        QVERIFY(env.boxes.shown.isEmpty());
    }

    // A failed FTDI open closes what it opened, tries nothing after the failing step and
    // leaves no handle; a description too long is refused before the library is asked.
    void ftdiOpenFails_data() {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<QByteArray>("device");  // the one device present, if any
        QTest::addColumn<QString>("failing");    // a configuration step that fails
        QTest::addColumn<QByteArray>("passed");  // what FT_OpenEx was given
        const QByteArray named("FT232R USB UART");
        QTest::newRow("no device")
            << named << QByteArray() << QString() << named.leftJustified(65, 0);
        QTest::newRow("no device, empty description")
            << QByteArray() << QByteArray() << QString() << QByteArray(65, 0);
        QTest::newRow("65 characters are refused")
            << QByteArray(65, 'D') << QByteArray(64, 'D') << QString() << QByteArray();
        for (const char* step :
             {"SetBaudRate", "SetDataCharacteristics", "SetFlowControl", "SetTimeouts", "SetChars"})
            QTest::newRow(step) << QByteArray("Cable") << QByteArray("Cable")
                                << QString("FT_") + step
                                << QByteArray("Cable").leftJustified(65, 0);
    }
    void ftdiOpenFails() {
        QFETCH(QByteArray, description);
        QFETCH(QByteArray, device);
        QFETCH(QString, failing);
        QFETCH(QByteArray, passed);
        LinkEnv env;
        if (!device.isEmpty())
            env.d2xx->devices.append({device, nullptr, {}});
        if (!failing.isEmpty())
            env.d2xx->fail[failing] = FT_IO_ERROR;
        env.linkState().FTDescBytes.fill('x');  // left over from the detector
        env.linkState().LinkOpen = true;
        env.linkState().PortNumber = 999;
        env.linkState().FTDIDescription = QString::fromLatin1(description);
        env.link().SetCommPort(env.linkState().PortNumber, env.linkState().PortSettings);
        QCOMPARE(env.log().size(), 1);
        QCOMPARE(env.d2xx->lastOpenDescription, passed);
        QVERIFY(!env.linkState().LinkOpen);
        QCOMPARE(env.linkState().FTHandle, 0u);
        QVERIFY(!env.d2xx->anyOpen() && env.boxes.shown.isEmpty());
        if (!failing.isEmpty()) {
            QVERIFY(env.d2xx->calls[env.d2xx->calls.size() - 2].startsWith(failing + '('));
            QCOMPARE(env.d2xx->calls.last(), "FT_Close");
        }
    }

    void ftdiFailedCloseAndPurgeAreLogged() {
        LinkEnv env;
        env.openFtdi("Cable");
        env.linkState().FTDetectDescription = "Cable B";
        env.d2xx->fail["FT_Purge"] = FT_IO_ERROR;
        env.link().PurgeBuffers();
        env.d2xx->fail["FT_Close"] = FT_IO_ERROR;
        env.link().CloseCommPort();
        QCOMPARE(env.log(),
                 QStringList({"Purge Failed for device Cable B", "Close Failed forCable B"}));
        QCOMPARE(env.linkState().FTHandle, 0u);  // a failed close is forgotten all the same
    }

    // A text fits the bytes given, zero-padded, one '?' per character outside Latin-1; a
    // text too long is an error 9 that leaves the bytes alone.
    void stringToBytes() {
        QByteArray target(4, 'x');
        Link::StringToBytes("AB", target);
        QCOMPARE(target, QByteArray("AB\0\0", 4));
        Link::StringToBytes(QString::fromUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xBB"), target);
        QCOMPARE(target, QByteArray("\xE9??\0", 4));
        Link::StringToBytes("ABCD", target);
        QVERIFY_THROWS_EXCEPTION(RunError, Link::StringToBytes("ABCDE", target));
        QCOMPARE(target, QByteArray("ABCD"));
    }
};

QTEST_MAIN(LinkOpenTest)
#include "test_link_open.moc"

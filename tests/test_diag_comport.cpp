#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "diag/comportdiag.h"
#include "support/testenv.h"

namespace {

const QColor kYellow(255, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);

QColor colourOf(const QLineEdit* box) {
    return box->palette().color(QPalette::Base);
}

QByteArray identity(const char* first5) {
    return QByteArray(first5) + QByteArray("\x01\x02\x03\x04\x05", 5);
}

// Bytes arrive on COM n and the dialog handles them.
void feed(TestEnv& env, int com, const QByteArray& bytes) {
    env.ports->inject(com, bytes);
    QCoreApplication::processEvents();
}

int openPorts(const ComPortDiag& diag) {
    int open = 0;
    for (const auto& port : diag.MSComm1)
        open += port->PortOpen() ? 1 : 0;
    return open;
}

}  // namespace

class ComPortDiagTest : public QObject {
    Q_OBJECT
private slots:
    void machineWithoutSerialPorts() {
        TestEnv env;
        ComPortDiag diag(*env.ctx);
        QCOMPARE(diag.Text1[20]->text(), QStringLiteral("Detect ports"));
        QCOMPARE(colourOf(diag.Text1[20]), kYellow);
        QCOMPARE(diag.Text1[20]->toolTip(), QStringLiteral("/dev/fake/COM21"));
        diag.cmdDetect->click();
        for (int i = 0; i < 32; ++i) {
            QCOMPARE(colourOf(diag.Text1[i]), kRed);
            QCOMPARE(diag.Text1[i]->text(), QStringLiteral("COM%1").arg(i + 1));
        }
        QVERIFY(diag.txtErrors->lines().isEmpty());  // a missing port logs nothing
        QVERIFY(!diag.cmdSetComPort->isEnabled());
    }

    void detectOpensWhatItCanAndSaysWhyNot() {
        TestEnv env;
        env.ports->ports[3] = {};
        env.ports->ports[5].openError = 70;
        env.ports->ports[6].openError = 8005;
        env.ports->ports[7].openError = 8015;
        env.ports->ports[12] = {};
        ComPortDiag diag(*env.ctx);
        diag.cmdDetect->click();
        QCOMPARE(diag.txtErrors->lines(),
                 QStringList({QStringLiteral("Quorlink V1.0.6: Open OK for port 3"),
                              QStringLiteral("Quorlink V1.0.6: Permission denied for port 5 "
                                             "(/dev/fake/COM5); add yourself to the dialout "
                                             "group and log in again"),
                              QStringLiteral("Quorlink V1.0.6: Port 6 (/dev/fake/COM6) is in "
                                             "use by another program"),
                              QStringLiteral("Quorlink V1.0.6: Port 7 (/dev/fake/COM7) is not a "
                                             "serial port"),
                              QStringLiteral("Quorlink V1.0.6: Open OK for port 12")}));
        QCOMPARE(diag.Text1[2]->text(), QStringLiteral("COM3 Found"));
        QCOMPARE(colourOf(diag.Text1[2]), kGreen);
        for (int i : {4, 5}) {
            QCOMPARE(colourOf(diag.Text1[i]), kRed);
            QCOMPARE(diag.Text1[i]->text(), QStringLiteral("Detect ports"));
        }
        QCOMPARE(colourOf(diag.Text1[6]), kRed);
        QCOMPARE(diag.Text1[6]->text(), QStringLiteral("COM7"));
        QCOMPARE(openPorts(diag), 2);
        // Receive events come once an identity's worth of bytes waits.
        QCOMPARE(diag.MSComm1[11]->RThreshold(), 10);
        QCOMPARE(diag.MSComm1[11]->Settings(), QStringLiteral("38400,N,8,1"));
    }

    // An accepted identity offers its port; Set stores it, closes every port and the window.
    void judgesReceivedData_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("VX-8") << identity("AH029") << true;
        QTest::newRow("VX-8D") << identity("AH29D") << true;
        QTest::newRow("longer burst") << identity("AH029") + QByteArray(20, 'x') << true;
        QTest::newRow("another radio") << identity("AH027") << false;
        QTest::newRow("noise first") << QByteArray("\x00", 1) + identity("AH029") << false;
    }
    void judgesReceivedData() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, accepted);
        TestEnv env;
        env.ports->ports[12] = {};
        ComPortDiag diag(*env.ctx);
        diag.show();
        diag.cmdDetect->click();
        feed(env, 12, bytes);
        QCOMPARE(diag.txtErrors->lines().last(), QStringLiteral("Port 12 Data ") +
                                                     QString::fromLatin1(bytes.toHex().toUpper()) +
                                                     QStringLiteral(" on COM 12"));
        QCOMPARE(diag.cmdSetComPort->isEnabled(), accepted);
        QCOMPARE(diag.cmdSetComPort->text(), accepted ? QStringLiteral("Set to Com 12 and Exit")
                                                      : QStringLiteral("Set to Com n and Exit"));
        if (!accepted)
            return;
        diag.cmdSetComPort->click();
        QCOMPARE(env.settings->get("Settings", "CommPort", "none"), QStringLiteral("12"));
        QCOMPARE(env.ctx->state.link.PortNumber, qint16(12));
        QVERIFY(!diag.isVisible());
        QCOMPARE(openPorts(diag), 0);
    }

    // Of identities on two ports the later wins; Detect again reopens the ports and keeps it.
    void laterIdentityWinsAndIsKept() {
        TestEnv env;
        env.ports->ports[3] = {};
        env.ports->ports[7] = {};
        ComPortDiag diag(*env.ctx);
        diag.cmdDetect->click();
        feed(env, 3, identity("AH029"));
        feed(env, 7, identity("AH29D"));
        feed(env, 3, identity("XXXXX"));  // a later mismatch changes nothing
        QCOMPARE(diag.cmdSetComPort->text(), QStringLiteral("Set to Com 7 and Exit"));
        diag.cmdDetect->click();
        QCOMPARE(diag.txtErrors->lines(),
                 QStringList({QStringLiteral("Quorlink V1.0.6: Open OK for port 3"),
                              QStringLiteral("Quorlink V1.0.6: Open OK for port 7")}));
        QVERIFY(diag.MSComm1[2]->PortOpen() && diag.MSComm1[6]->PortOpen());
        QCOMPARE(diag.cmdSetComPort->text(), QStringLiteral("Set to Com 7 and Exit"));
        QVERIFY(diag.cmdSetComPort->isEnabled());
        diag.cmdSetComPort->click();
        QCOMPARE(env.settings->get("Settings", "CommPort", "none"), QStringLiteral("7"));
    }

    void everyWayOutClosesAllPortsAndStoresNothing_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("Exit without change") << 0;
        QTest::newRow("close box") << 1;
        QTest::newRow("Escape") << 2;
    }
    void everyWayOutClosesAllPortsAndStoresNothing() {
        QFETCH(int, way);
        TestEnv env;
        env.ports->ports[3] = {};
        env.ports->ports[4] = {};
        ComPortDiag diag(*env.ctx);
        diag.show();
        diag.cmdDetect->click();
        feed(env, 3, identity("AH029"));
        QCOMPARE(openPorts(diag), 2);
        if (way == 0)
            diag.cmdClose->click();
        else if (way == 1)
            diag.close();
        else
            QTest::keyClick(&diag, Qt::Key_Escape);
        QVERIFY(!diag.isVisible());
        QCOMPARE(openPorts(diag), 0);
        QVERIFY(!env.settings->contains("Settings", "CommPort"));
        QCOMPARE(env.ctx->state.link.PortNumber, qint16(1));
    }

    void logLimits_data() {
        QTest::addColumn<int>("filled");
        QTest::addColumn<bool>("portLine");
        QTest::addColumn<bool>("emptied");
        QTest::newRow("port line at 64000") << 64000 << true << false;
        QTest::newRow("port line past 64000") << 64001 << true << true;
        QTest::newRow("other line past 64000") << 64001 << false << false;
        QTest::newRow("other line past 65000") << 65001 << false << true;
    }
    void logLimits() {
        QFETCH(int, filled);
        QFETCH(bool, portLine);
        QFETCH(bool, emptied);
        TestEnv env;
        ComPortDiag diag(*env.ctx);
        diag.LogDiagMessage(QString(filled - 2, QLatin1Char('x')));  // + CR LF
        QCOMPARE(diag.txtErrors->logLength(), qsizetype(filled));
        if (portLine)
            diag.LogPortMessage(4, QStringLiteral("Data 00 on COM 5"));
        else
            diag.LogDiagMessage(QStringLiteral("next"));
        const QString last = portLine ? QStringLiteral("Port 5 Data 00 on COM 5") : "next";
        QCOMPARE(diag.txtErrors->lines().size(), emptied ? 1 : 2);
        QCOMPARE(diag.txtErrors->lines().last(), last);
    }
};

QTEST_MAIN(ComPortDiagTest)
#include "test_diag_comport.moc"

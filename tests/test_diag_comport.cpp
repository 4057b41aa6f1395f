#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "diag/comportdiag.h"
#include "support/testenv.h"

// The COM port identifier over the in-memory ports: it opens every port it can, says why
// not, offers the port a radio's identity came in on, and lets nothing stay open.
namespace {

const QColor kYellow(255, 255, 0), kRed(255, 0, 0), kGreen(0, 255, 0);

QColor colourOf(const QLineEdit* box) {
    return box->palette().color(QPalette::Base);
}
QByteArray identity(const char* first5) {
    return QByteArray(first5) + QByteArray("\x01\x02\x03\x04\x05", 5);
}
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
    void detectOpensWhatItCanAndSaysWhyNot() {
        TestEnv env;
        env.ports->ports[3] = {};
        env.ports->ports[5].openError = 70;
        env.ports->ports[6].openError = 8005;
        env.ports->ports[7].openError = 8015;
        env.ports->ports[32] = {};
        ComPortDiag diag(*env.ctx);
        QCOMPARE(colourOf(diag.Text1[20]), kYellow);
        QCOMPARE(diag.Text1[20]->toolTip(), "/dev/fake/COM21");
        diag.cmdDetect->click();
        const QStringList lines = diag.txtErrors->lines();
        QCOMPARE(lines.size(), 5);  // a missing port logs nothing
        QVERIFY(lines[1].contains("port 5 (/dev/fake/COM5)") && lines[1].contains("dialout group"));
        QVERIFY(lines[2].contains("in use by another program") &&
                lines[3].contains("not a serial port"));
        QCOMPARE(diag.Text1[2]->text(), "COM3 Found");
        QCOMPARE(colourOf(diag.Text1[2]), kGreen);
        QCOMPARE(diag.Text1[31]->text(), "COM32 Found");
        QCOMPARE(colourOf(diag.Text1[4]), kRed);
        QCOMPARE(diag.Text1[4]->text(), "Detect ports");
        QCOMPARE(diag.Text1[6]->text(), "COM7");
        QCOMPARE(diag.Text1[0]->text(), "COM1");
        QCOMPARE(openPorts(diag), 2);
        // Receive events come once an identity's worth of bytes waits.
        QCOMPARE(diag.MSComm1[31]->RThreshold(), 10);
        QCOMPARE(diag.MSComm1[31]->Settings(), "38400,N,8,1");
        QVERIFY(!diag.cmdSetComPort->isEnabled());
    }

    // An accepted identity offers its port; Set stores it, closes every port and the window.
    void judgesReceivedData_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("VX-8") << identity("AH029") << true;
        QTest::newRow("VX-8D, longer burst") << identity("AH29D") + QByteArray(20, 'x') << true;
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
        QCOMPARE(diag.txtErrors->lines().last(),
                 "Port 12 Data " + bytes.toHex().toUpper() + " on COM 12");
        QCOMPARE(diag.cmdSetComPort->isEnabled(), accepted);
        if (!accepted)
            return;
        QCOMPARE(diag.cmdSetComPort->text(), "Set to Com 12 and Exit");
        diag.cmdSetComPort->click();
        QCOMPARE(env.settings->get("Settings", "CommPort", "none"), "12");
        QCOMPARE(env.ctx->state.link.PortNumber, qint16(12));
        QVERIFY(!diag.isVisible() && openPorts(diag) == 0);
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
        diag.cmdDetect->click();
        QCOMPARE(diag.txtErrors->lines().size(), 2);
        QVERIFY(diag.MSComm1[2]->PortOpen() && diag.MSComm1[6]->PortOpen());
        QCOMPARE(diag.cmdSetComPort->text(), "Set to Com 7 and Exit");
        diag.cmdSetComPort->click();
        QCOMPARE(env.settings->get("Settings", "CommPort", "none"), "7");
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
        QVERIFY(!diag.isVisible() && openPorts(diag) == 0);
        QVERIFY(!env.settings->contains("Settings", "CommPort"));
        QCOMPARE(env.ctx->state.link.PortNumber, qint16(1));
    }

    // A port's line empties the log past 64000 characters, any other line past 65000.
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
        diag.LogDiagMessage(QString(filled - 2, 'x'));  // + CR LF
        if (portLine)
            diag.LogPortMessage(4, "Data 00 on COM 5");
        else
            diag.LogDiagMessage("next");
        QCOMPARE(diag.txtErrors->lines().size(), emptied ? 1 : 2);
        QCOMPARE(diag.txtErrors->lines().last(), portLine ? "Port 5 Data 00 on COM 5" : "next");
    }
};

QTEST_MAIN(ComPortDiagTest)
#include "test_diag_comport.moc"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "diag/comportdiag.h"
#include "support/radioprocess.h"
#include "support/realapp.h"

// The COM port identifier with real serial ports, finding the simulated radio program on
// a pseudo-terminal mapped to COM12.
class E2eDiagTest : public QObject {
    Q_OBJECT
private slots:
    void identifierFindsTheRadioOnAPty() {
        RadioProcess radio;
        const QString ptyPath = radio.start();
        QVERIFY2(!ptyPath.isEmpty(), qPrintable(radio.error()));
        RealApp app;
        app.settings.set(QStringLiteral("Ports"), QStringLiteral("COM12"), ptyPath);

        ComPortDiag diag(*app.ctx);
        QCOMPARE(diag.Text1[11]->toolTip(), ptyPath);
        diag.show();
        diag.cmdDetect->click();
        QCOMPARE(diag.Text1[11]->text(), QStringLiteral("COM12 Found"));
        QVERIFY(diag.txtErrors->lines().contains(
            QStringLiteral("Quorlink V1.0.6: Open OK for port 12")));

        radio.command("band");
        QTRY_COMPARE_WITH_TIMEOUT(diag.cmdSetComPort->text(),
                                  QStringLiteral("Set to Com 12 and Exit"), 5000);
        QVERIFY(diag.txtErrors->lines().contains(
            QStringLiteral("Port 12 Data ") +
            QString::fromLatin1(SimRadio::identityAH029().toHex().toUpper()) +
            QStringLiteral(" on COM 12")));

        diag.cmdSetComPort->click();
        QCOMPARE(
            app.settings.get(QStringLiteral("Settings"), QStringLiteral("CommPort"), QString()),
            QStringLiteral("12"));
        QCOMPARE(app.linkState().PortNumber, qint16(12));
        QVERIFY(!diag.MSComm1[11]->PortOpen());
        QVERIFY(app.boxes.shown.isEmpty());
    }
};

QTEST_MAIN(E2eDiagTest)
#include "test_e2e_diag.moc"

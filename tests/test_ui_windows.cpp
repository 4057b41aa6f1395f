// The prompt window, the About box and the system font.
#include <QtTest>

#include <QProgressBar>
#include <QPushButton>

#include "support/testenv.h"
#include "support/testmain.h"
#include "ui/fontface.h"
#include "ui/frmabout.h"
#include "ui/frmmessages.h"

class WindowsTest : public QObject {
    Q_OBJECT
private slots:
    // A click on a message raises only its own cancel flag and changes nothing itself;
    // showing the looking-for-radio message is announced once each time.
    void promptMessages_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("identityCancel");
        QTest::newRow("looking for radio") << "lblLookingForRig" << false << true;
        QTest::newRow("waiting") << "lblWaiting" << true << false;
        QTest::newRow("waiting for write") << "lblWaitForWrite" << false << false;
    }
    void promptMessages() {
        QFETCH(QString, label);
        QFETCH(bool, cancel);
        QFETCH(bool, identityCancel);
        TestEnv env;
        FrmMessages& w = env.form().frmMessages();
        QSignalSpy announced(&w, &FrmMessages::lookingForRigShown);
        w.show();
        auto* l = w.findChild<QLabel*>(label);
        l->show();
        l->show();
        QTest::mouseClick(l, Qt::LeftButton);
        QCOMPARE(env.ctx->state.cancel.CancelRequested, cancel);
        QCOMPARE(env.ctx->state.cancel.IdentityCancelRequested, identityCancel);
        QVERIFY(l->isVisible());
        QCOMPARE(announced.count(), identityCancel ? 1 : 0);
    }

    // The icon shows where no SVG image plugin is installed; the link goes to the desktop.
    void aboutBox() {
        QVERIFY(!FrmAbout::appIcon().pixmap(48, 48).isNull());
        QStringList opened;
        setWebLinkOpener([&](const QString& t) {
            opened << t;
            return false;  // a failure is not reported
        });
        FrmAbout about;
        QVERIFY(!about.picIcon->pixmap().isNull());
        about.show();
        QTest::mouseClick(about.lblLink, Qt::LeftButton);
        QCOMPARE(opened, QStringList{FrmAbout::webAddress()});
        QTest::mouseClick(about.cmdOK, Qt::LeftButton);
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }

    void controlsTakeTheMenuFaceAndKeepTheirSize() {
        QFont menuFont = QApplication::font("QMenu");
        menuFont.setFamily("DejaVu Serif");
        QApplication::setFont(menuFont, "QMenu");
        QWidget w;
        auto* big = new QLabel("x", &w);
        QFont f("Sans");
        f.setPointSize(18);
        big->setFont(f);
        auto* bar = new QProgressBar(&w);
        ApplySystemFont(&w);
        ApplySystemFont(&w);  // twice: the same result
        QCOMPARE(SystemFontName(), "DejaVu Serif");
        QCOMPARE(big->font().family(), "DejaVu Serif");
        QCOMPARE(big->font().pointSize(), 18);
        QCOMPARE(bar->font().family(), "DejaVu Serif");
    }
};

int main(int argc, char** argv) {
    return runTestClasses<WindowsTest>(argc, argv);
}
#include "test_ui_windows.moc"

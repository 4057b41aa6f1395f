// The prompt window, the About box and the system font.
#include <QtTest>

#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>

#include "support/testenv.h"
#include "support/testmain.h"
#include "ui/fontface.h"
#include "ui/frmabout.h"
#include "ui/frmmessages.h"

class PromptWindowTest : public QObject {
    Q_OBJECT
private slots:
    void eachMessageRaisesOnlyItsOwnFlag_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("identityCancel");
        QTest::newRow("looking for radio") << "lblLookingForRig" << false << true;
        QTest::newRow("waiting") << "lblWaiting" << true << false;
        QTest::newRow("waiting for write") << "lblWaitForWrite" << false << false;
    }
    void eachMessageRaisesOnlyItsOwnFlag() {
        QFETCH(QString, label);
        QFETCH(bool, cancel);
        QFETCH(bool, identityCancel);
        TestEnv env;
        FrmMessages& w = env.form().frmMessages();
        w.show();
        auto* l = w.findChild<QLabel*>(label);
        QVERIFY(l);
        l->show();
        QTest::mouseClick(l, Qt::LeftButton);
        QCOMPARE(env.ctx->state.cancel.CancelRequested, cancel);
        QCOMPARE(env.ctx->state.cancel.IdentityCancelRequested, identityCancel);
        QVERIFY(l->isVisible());  // the window changes nothing itself
    }

    void showingTheLookingMessageIsAnnounced() {
        TestEnv env;
        FrmMessages& w = env.form().frmMessages();
        QSignalSpy spy(&w, &FrmMessages::lookingForRigShown);
        w.lblLookingForRig->show();
        w.lblLookingForRig->show();
        QCOMPARE(spy.count(), 1);
        w.lblLookingForRig->hide();
        w.lblLookingForRig->show();
        QCOMPARE(spy.count(), 2);
    }
};

class AboutBoxTest : public QObject {
    Q_OBJECT
private slots:

    // A bitmap: the icon shows where no SVG image plugin is installed.
    void theIconIsThere() {
        QVERIFY(!FrmAbout::appIcon().pixmap(48, 48).isNull());
        FrmAbout about;
        QVERIFY(!about.picIcon->pixmap().isNull());
    }

    void clickingTheLinkHandsItsTextToTheDesktop() {
        QStringList opened;
        setWebLinkOpener([&](const QString& t) {
            opened << t;
            return false;  // a failure is not reported
        });
        FrmAbout about;
        about.show();
        QTest::mouseClick(about.lblLink, Qt::LeftButton);
        QCOMPARE(opened, QStringList{FrmAbout::webAddress()});
        QTest::mouseClick(about.cmdOK, Qt::LeftButton);
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }
};

class SystemFontTest : public QObject {
    Q_OBJECT
private slots:
    void controlsTakeTheMenuFaceAndKeepTheirSize() {
        QFont menuFont = QApplication::font("QMenu");
        menuFont.setFamily(QStringLiteral("DejaVu Serif"));
        QApplication::setFont(menuFont, "QMenu");
        QWidget w;
        auto* big = new QLabel("x", &w);
        QFont f(QStringLiteral("Sans"));
        f.setPointSize(18);
        big->setFont(f);
        auto* bar = new QProgressBar(&w);
        ApplySystemFont(&w);
        ApplySystemFont(&w);  // twice: the same result
        QCOMPARE(SystemFontName(), QStringLiteral("DejaVu Serif"));
        QCOMPARE(big->font().family(), QStringLiteral("DejaVu Serif"));
        QCOMPARE(big->font().pointSize(), 18);
        QCOMPARE(bar->font().family(), QStringLiteral("DejaVu Serif"));
    }
};

int main(int argc, char** argv) {
    return runTestClasses<PromptWindowTest, AboutBoxTest, SystemFontTest>(argc, argv);
}
#include "test_ui_windows.moc"

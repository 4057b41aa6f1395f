// The windows on a 1024 x 768 screen at 150 % (QT_SCALE_FACTOR=1.5): the prompt window, the
// About box, the system font, and every window's size.

#include <QScreen>

#include "diag/comportdiag.h"
#include "diag/ftdidiag.h"
#include "support/testenv.h"
#include "support/testmain.h"
#include "ui/fontface.h"
#include "ui/frmabout.h"
#include "ui/frmchannels.h"
#include "ui/frmmessages.h"

class WindowsTest : public QObject {
    Q_OBJECT
private slots:
    // A click on a message raises only its own cancel flag (none while a write's blocks go
    // out) and changes nothing itself; the looking-for-radio message is announced once each
    // time it shows.
    void promptMessages() {
        const QStringList labels{"lblLookingForRig", "lblWaiting", "lblWaitForWrite"};
        for (const QString& name : labels) {
            TestEnv env;
            FrmMessages& w = env.form().frmMessages();
            QSignalSpy announced(&w, &FrmMessages::lookingForRigShown);
            w.show();
            auto* l = w.findChild<QLabel*>(name);
            l->show();
            l->show();
            QTest::mouseClick(l, Qt::LeftButton);
            const CancelRequests& cancel = env.ctx->cancel;
            QVERIFY(l->isVisible() && cancel.count(CancelKind::Read) == (name == "lblWaiting"));
            QCOMPARE(cancel.count(CancelKind::Identity), quint64(name == labels[0]));
            QCOMPARE(announced.count(), name == labels[0] ? 1 : 0);
        }
    }

    // The icon shows where no SVG image plugin is installed; the link goes to the desktop.
    void aboutBox() {
        QVERIFY(!FrmAbout::appIcon().pixmap(48, 48).isNull());
        QStringList opened;  // a failure to open is not reported
        setWebLinkOpener([&](const QString& t) { return opened << t, false; });
        FrmAbout about;
        QVERIFY(!about.picIcon->pixmap().isNull());
        about.show();
        QTest::mouseClick(about.lblLink, Qt::LeftButton);
        QCOMPARE(opened, QStringList{FrmAbout::webAddress()});
        QTest::mouseClick(about.cmdOK, Qt::LeftButton);
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }

    // Each window fits the screen with room for a title bar, every button of it shows whole,
    // and the windows made for the system face take the menus' face.
    void windowsFitTheScreen_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("systemFace");
        for (const char* name : {"Form1", "ComPortDiag", "FTDIDiag", "frmAbout"})
            QTest::newRow(name) << name << true;
        QTest::newRow("frmMessages") << "frmMessages" << false;
        QTest::newRow("frmChannels") << "frmChannels" << false;
    }
    void windowsFitTheScreen() {
        QFETCH(QString, window);
        QFETCH(bool, systemFace);
        QApplication::setFont(QFont("DejaVu Serif"), "QMenu");
        TestEnv env;
        Form1& form = env.form();
        std::unique_ptr<QWidget> owned;
        QWidget* w = &form;
        if (window == "ComPortDiag")
            owned = std::make_unique<ComPortDiag>(*env.ctx);
        else if (window == "FTDIDiag")
            owned = std::make_unique<FTDIDiag>(*env.ctx);
        else if (window == "frmAbout")
            owned = std::make_unique<FrmAbout>();
        else if (window == "frmChannels")
            owned = std::make_unique<FrmChannels>(*form.imageEdits, &form);
        else if (window == "frmMessages")
            w = &form.frmMessages();
        if (owned)
            w = owned.get();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));

        const QRect screen = w->screen()->availableGeometry();  // 683 x 512
        // Room for a window manager's title bar, in scaled pixels.
        QVERIFY2(w->width() <= screen.width() && w->height() + 32 <= screen.height(),
                 qPrintable(QStringLiteral("%1 x %2").arg(w->width()).arg(w->height())));
        for (const QPushButton* b : w->findChildren<QPushButton*>()) {
            QVERIFY2(!b->isVisible() || b->visibleRegion() == QRegion(b->rect()),
                     qPrintable(b->objectName()));
            QVERIFY(!systemFace || b->font().family() == "DejaVu Serif");
        }
    }
};

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "1.5");
    return runOnScreen<WindowsTest>(1024, 768, argc, argv);
}
#include "test_ui_windows.moc"

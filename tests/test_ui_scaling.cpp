// Every top-level window fits a 1024 x 768 screen at 150 % (QT_SCALE_FACTOR=1.5), with room
// for a title bar, and every button of it lies inside it.
#include <QtTest>

#include <QPushButton>
#include <QScreen>

#include "diag/comportdiag.h"
#include "diag/ftdidiag.h"
#include "support/testenv.h"
#include "support/testmain.h"
#include "ui/frmabout.h"
#include "ui/frmchannels.h"
#include "ui/frmmessages.h"

class ScalingTest : public QObject {
    Q_OBJECT
private slots:
    void windowsFitTheScreen_data() {
        QTest::addColumn<QString>("window");
        for (const char* name :
             {"Form1", "ComPortDiag", "FTDIDiag", "frmAbout", "frmMessages", "frmChannels"})
            QTest::newRow(name) << name;
    }
    void windowsFitTheScreen() {
        QFETCH(QString, window);
        TestEnv env;
        Form1& form = env.form();
        std::unique_ptr<QWidget> owned;
        QWidget* w = &form;
        if (window == "ComPortDiag")
            owned = std::make_unique<ComPortDiag>(*env.ctx, &form);
        else if (window == "FTDIDiag")
            owned = std::make_unique<FTDIDiag>(*env.ctx, &form);
        else if (window == "frmAbout")
            owned = std::make_unique<FrmAbout>(&form);
        else if (window == "frmChannels")
            owned = std::make_unique<FrmChannels>([] { return QByteArray(); }, &form);
        else if (window == "frmMessages")
            w = &form.frmMessages();
        if (owned)
            w = owned.get();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));

        const QRect screen = w->screen()->availableGeometry();
        QCOMPARE(screen.size(), QSize(683, 512));  // 1024 x 768 at 150 %
        // Room for a window manager's title bar, in scaled pixels.
        QVERIFY2(w->width() <= screen.width() && w->height() + 32 <= screen.height(),
                 qPrintable(QStringLiteral("%1 x %2").arg(w->width()).arg(w->height())));
        for (const QPushButton* b : w->findChildren<QPushButton*>()) {
            const QRect r(b->mapTo(w, QPoint(0, 0)), b->size());
            QVERIFY2(w->rect().contains(r), qPrintable(b->objectName()));
        }
    }
};

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString config = dir.filePath("screen.json");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(R"({"screens": [{"name": "small", "x": 0, "y": 0, "width": 1024, "height": 768,
                   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
    qputenv("QT_SCALE_FACTOR", "1.5");
    return runTestClasses<ScalingTest>(argc, argv);
}
#include "test_ui_scaling.moc"

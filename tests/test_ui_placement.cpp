// The windows on a 1366 x 768 laptop screen whose panel leaves 1366 x 740 to windows: each
// opens wholly inside, a stored place comes back only where it still fits, and a dialog
// asked for in the Channels or Radio Settings window opens over that window.

#include <QLabel>

#include "support/testenv.h"
#include "support/testmain.h"
#include "ui/frmchannels.h"
#include "ui/frmsettings.h"
#include "ui/windowplace.h"

class PlacementTest : public QObject {
    Q_OBJECT
private slots:
    void windowsOnTheScreen_data() {
        QTest::addColumn<QString>("stored");  // main;channels;settings, "x,y,width,height"
        QTest::addColumn<QRect>("channels");  // where the Channels window must be; null: any
        QTest::newRow("fresh configuration") << ";;" << QRect();
        QTest::newRow("kept, fits")
            << "40,30,448,500;500,10,700,600;20,100,620,560" << QRect(500, 10, 700, 600);
        QTest::newRow("beyond the bottom") << ";600,125,864,640;" << QRect();
        QTest::newRow("larger than the screen")
            << "0,0,2000,1000;0,0,1366,740;0,0,1500,900" << QRect();
        QTest::newRow("on a screen gone")
            << "-2000,0,448,500;1400,0,700,500;0,-900,620,560" << QRect();
        QTest::newRow("not a placement") << "x;1,2,3;" << QRect();
    }
    void windowsOnTheScreen() {
        QFETCH(QString, stored);
        QFETCH(QRect, channels);
        TestEnv env;
        const QStringList keys{"Main", "Channels", "RadioSettings"};
        for (int i = 0; i < 3; ++i)
            if (!stored.section(';', i, i).isEmpty())
                env.config->set("Windows", keys[i], stored.section(';', i, i));
        Form1& form = env.form();
        form.show();
        form.mnuChannels->trigger();
        form.mnuRadioSettings->trigger();
        const QRect area(0, 0, 1366, 740);
        for (QWidget* w : QList<QWidget*>{&form, form.frmChannels, form.frmSettings}) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            QCOMPARE(AvailableArea(*w), area);
            const QRect frame(w->pos(), w->size().grownBy(FrameMargins(*w)));
            QVERIFY2(area.contains(frame) && FitsOnScreen(*w), qPrintable(w->objectName()));
        }
        const QLabel* status = form.frmChannels->lblStatus;
        QVERIFY(status->mapToGlobal(status->rect().bottomLeft()).y() < area.bottom());
        if (!channels.isNull())
            QCOMPARE(QRect(form.frmChannels->pos(), form.frmChannels->size()), channels);
        // Closed, each keeps where it is for the next start.
        form.frmChannels->move(100, 50);
        form.frmChannels->close();
        QCOMPARE(env.config->get("Windows", "Channels", ""), QStringLiteral("100,50,%1,%2")
                                                                 .arg(form.frmChannels->width())
                                                                 .arg(form.frmChannels->height()));
    }

    // Open Image asked for in the Channels or Radio Settings window opens over that window,
    // and over the main window when asked for there.
    void dialogsOverTheirWindow() {
        TestEnv env;
        Form1& form = env.form();
        form.show();
        form.mnuChannels->trigger();
        form.mnuRadioSettings->trigger();
        for (QWidget* w : QList<QWidget*>{form.frmChannels, form.frmSettings, &form}) {
            w->activateWindow();
            QTRY_COMPARE(QApplication::activeWindow(), w);
            form.mnuOpenImage->trigger();
            QCOMPARE(env.files.parents.last(), w);
            QCOMPARE(QApplication::activeWindow(), w);
        }
    }
};

int main(int argc, char** argv) {
    return runOnScreen<PlacementTest>(1366, 740, argc, argv);
}
#include "test_ui_placement.moc"

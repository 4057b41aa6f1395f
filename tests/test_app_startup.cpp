// Start-up, settings and the main window's states.
#include <QtTest>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

#include "core/errors.h"
#include "support/testenv.h"
#include "support/testmain.h"

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    // The stored port's number as the start reads it; an overflow is reported and the
    // start goes on. Nothing held: Read only.
    void portSettingAndFirstState_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("port");  // -1: overflow
        QTest::newRow("leading blanks") << "  12" << 12;
        QTest::newRow("trailing text") << "5 (USB)" << 5;
        QTest::newRow("not a number") << "COM5" << 0;
        QTest::newRow("half rounds to even") << "2.5" << 2;
        QTest::newRow("exponent") << "1e2" << 100;
        QTest::newRow("overflow") << "99999" << -1;
    }
    void portSettingAndFirstState() {
        QFETCH(QString, stored);
        QFETCH(int, port);
        TestEnv env;
        env.settings->set("Settings", "CommPort", stored);
        Form1& f = env.form();
        if (port >= 0)
            QCOMPARE(int(env.ctx->state.link.PortNumber), port);
        QCOMPARE(env.boxes.texts().contains(
                     "Error 6 (Overflow) in procedure InitialiseVariables of Module General"),
                 port < 0);
        QVERIFY(!f.loadFailed() && f.cmdRead->isEnabled() && !f.cmdCancelRead->isEnabled());
        QVERIFY(!f.cmdWriteRig->isEnabled() && !f.mnuSaveImage->isEnabled());
        QVERIFY(!f.mnuSaveImageAs->isEnabled());
    }

    void storedPlacementIsAppliedInTwips() {
        TestEnv env;
        env.settings->set("Settings", "MemoryHeight", "5000");
        env.settings->set("Settings", "MemoryWidth", "7500");
        env.settings->set("Settings", "MemoryTop", "1500");
        env.settings->set("Settings", "MemoryLeft", "3000");
        Form1& f = env.form();
        QCOMPARE(f.size(), QSize(7500 / 15, 5000 / 15));
        QCOMPARE(f.pos(), QPoint(200, 100));
    }

    // Whatever is stored, the window is usable; a value beyond 32 bits is left aside with
    // one trace line naming it and the file.
    void storedPlacementNeverLeavesAnUnusableWindow_data() {
        QTest::addColumn<QString>("height");  // and width
        QTest::addColumn<QString>("left");    // and top
        QTest::newRow("zero") << QString("0") << QString("0");
        QTest::newRow("huge") << QString("9000000") << QString("9000000");
        QTest::newRow("negative") << QString("-4000") << QString("-900000");
        QTest::newRow("beyond 32 bits") << QString("99999999999") << QString("-1e30");
    }
    void storedPlacementNeverLeavesAnUnusableWindow() {
        QFETCH(QString, height);
        QFETCH(QString, left);
        TestEnv env;
        env.settings->set("Settings", "MemoryHeight", height);
        env.settings->set("Settings", "MemoryWidth", height);
        env.settings->set("Settings", "MemoryLeft", left);
        env.settings->set("Settings", "MemoryTop", left);
        Form1& f = env.form();
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(f.height() >= 240 && f.width() >= 320);
        QVERIFY(f.height() <= qMax(240, screen.height()));
        QVERIFY(f.width() <= qMax(320, screen.width()));
        QVERIFY(screen.intersects(QRect(f.pos(), f.size())));
        QCOMPARE(env.log().filter(" in " + env.settings->fileName() + ": out of range").size(),
                 height.size() > 10 ? 4 : 0);
    }
};

class SettingsStoreTest : public QObject {
    Q_OBJECT
private slots:
    void keysAreFoundWithoutRegardToCase() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ini");
        {
            SettingsStore store(path);
            store.set("Settings", "CommPort", "12");
            QCOMPARE(store.get("Settings", "Commport", "1"), QStringLiteral("12"));
            // A second spelling overwrites the same key.
            store.set("Settings", "commport", "999");
            QCOMPARE(store.get("Settings", "CommPort", "1"), QStringLiteral("999"));
            QCOMPARE(store.get("Settings", "Missing", "dflt"), QStringLiteral("dflt"));
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QCOMPARE(text.toLower().count("commport="), 1);  // one key, in its first spelling
        QVERIFY(text.contains("CommPort=999"));
    }

    void environmentNamesTheDefaultFile() {
        qputenv("QUORLINK_SETTINGS", "/tmp/elsewhere.ini");
        QCOMPARE(SettingsStore::defaultPath(), QStringLiteral("/tmp/elsewhere.ini"));
        qunsetenv("QUORLINK_SETTINGS");
        QVERIFY(SettingsStore::defaultPath().endsWith(QStringLiteral("Quorlink/Quorlink.ini")));
    }
};

int main(int argc, char** argv) {
    return runTestClasses<StartupTest, SettingsStoreTest>(argc, argv);
}
#include "test_app_startup.moc"

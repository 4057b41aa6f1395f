// Start-up, settings and the main window's states.

#include "support/testenv.h"

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
        env.config->set("Settings", "CommPort", stored);
        Form1& f = env.form();
        if (port >= 0)
            QCOMPARE(int(env.ctx->state.link.PortNumber), port);
        QCOMPARE(env.boxes.texts().contains(
                     "Error 6 (Overflow) in procedure InitialiseVariables of Module General"),
                 port < 0);
        QVERIFY(!f.loadFailed() && f.cmdRead->isEnabled() && !f.cmdCancelRead->isEnabled());
        QVERIFY(!f.cmdWriteRig->isEnabled() && !f.mnuSaveImage->isEnabled() &&
                !f.mnuSaveImageAs->isEnabled());
    }

    // The stored placement is in twips; whatever is stored, the window is usable, and a
    // value beyond 32 bits is left aside with one trace line naming it and the file.
    void storedPlacement_data() {
        QTest::addColumn<QStringList>("stored");  // height, width, top, left
        QTest::addColumn<QRect>("placed");        // null: only usable
        QTest::newRow("twips") << QStringList{"5000", "7500", "1500", "3000"}
                               << QRect(200, 100, 500, 333);
        QTest::newRow("zero") << QStringList{"0", "0", "0", "0"} << QRect();
        QTest::newRow("huge") << QStringList(4, "9000000") << QRect();
        QTest::newRow("negative") << QStringList{"-4000", "-4000", "-900000", "-900000"} << QRect();
        QTest::newRow("beyond 32 bits")
            << QStringList{"99999999999", "99999999999", "-1e30", "-1e30"} << QRect();
    }
    void storedPlacement() {
        QFETCH(QStringList, stored);
        QFETCH(QRect, placed);
        TestEnv env;
        for (const char* key : {"MemoryHeight", "MemoryWidth", "MemoryTop", "MemoryLeft"})
            env.config->set("Settings", key, stored.takeFirst());
        Form1& f = env.form();
        if (!placed.isNull())
            QCOMPARE(QRect(f.pos(), f.size()), placed);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(f.height() >= 240 && f.width() >= 320 && screen.intersects(f.geometry()));
        QVERIFY(f.height() <= qMax(240, screen.height()) && f.width() <= qMax(320, screen.width()));
        QCOMPARE(env.log().filter(" in " + env.config->fileName() + ": out of range").size(),
                 QTest::currentDataTag() == QLatin1String("beyond 32 bits") ? 4 : 0);
    }

    // The stored window state: 1 minimized, 2 maximized, anything else as designed.
    void storedWindowState() {
        const std::pair<const char*, Qt::WindowState> rows[] = {
            {"1", Qt::WindowMinimized}, {"2", Qt::WindowMaximized}, {"3", Qt::WindowNoState}};
        for (const auto& [stored, state] : rows) {
            TestEnv env;
            env.config->set("Settings", "MemoryWindowState", stored);
            QCOMPARE(env.form().windowState(), state);
        }
    }

    // A second spelling is the same key, kept in its first spelling.
    void keysAreFoundWithoutRegardToCase() {
        QTemporaryDir dir;
        ConfigStore(dir.filePath("s.ini")).set("Settings", "CommPort", "12");
        ConfigStore store(dir.filePath("s.ini"));
        QCOMPARE(store.get("Settings", "Commport", "1"), QStringLiteral("12"));
        store.set("Settings", "commport", "999");
        QCOMPARE(store.get("Settings", "COMMPORT", "1"), QStringLiteral("999"));
        QCOMPARE(store.get("Settings", "Missing", "dflt"), QStringLiteral("dflt"));
        const QByteArray text = fileBytes(dir.filePath("s.ini"));
        QVERIFY(text.toLower().count("commport=") == 1 && text.contains("CommPort=999"));
    }
};

QTEST_MAIN(StartupTest)
#include "test_app_startup.moc"

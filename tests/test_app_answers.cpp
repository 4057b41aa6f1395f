#include <QMenu>
#include <QPushButton>
#include <QtTest>
#include <thread>

#include "clone/channels.h"
#include "clone/imagefile.h"
#include "support/testenv.h"
#include "ui/frmmessages.h"

// What hostile and new users met: a read that does not succeed keeps the image held, a
// silent radio gets a hint, backups never replace one another and are easy to find, the
// demo radio holds channels, and the keyboard reaches everything.
namespace {

// The main window and a radio on COM3 that sends when the prompt asks for [BAND].
struct World {
    TestEnv env;
    SimRadio& radio = env.radioOnCom(3);
    World() {
        env.settings->set("Settings", "CommPort", "3");
        QObject::connect(&prompt(), &FrmMessages::lookingForRigShown,
                         [this] { radio.pressBand(env.clock.nowNs()); });
    }
    Form1& form() { return env.form(); }
    FrmMessages& prompt() { return form().frmMessages(); }
    void atMs(qint64 ms, std::function<void()> action) { env.clock.afterMs(ms, action); }
    QString read() {
        form().cmdRead->click();
        return env.boxes.texts().last();
    }
};
using Setup = std::function<void(World&)>;

QByteArray radioImage() {
    const SimRadio r;
    return r.identity + r.memory + char(SimRadio::checksumOf(r.identity, r.memory));
}

}  // namespace

Q_DECLARE_METATYPE(Setup)

class AppAnswersTest : public QObject {
    Q_OBJECT
private slots:
    // Only a good read replaces the image held, the file named in the title and Write Radio
    // (a cancel in the first box: CloneReadTest::previousImage); Escape on the prompt window
    // cancels as a click on it does.
    void onlyAGoodReadReplacesTheImage_data() {
        QTest::addColumn<Setup>("setup");
        QTest::newRow("Escape while blocks arrive") << Setup(
            [](World& w) { w.atMs(3000, [&w] { QTest::keyClick(&w.prompt(), Qt::Key_Escape); }); });
        QTest::newRow("stall") << Setup([](World& w) { w.radio.faults.stallAfterBlocks = 9; });
    }
    void onlyAGoodReadReplacesTheImage() {
        QFETCH(Setup, setup);
        World w;
        const QString file = w.env.dir.filePath("saved.img");
        QVERIFY(SaveImageFile(file, radioImage(), nullptr) &&
                w.form().imageFiles().OpenImage(file));
        const QString title = w.form().windowTitle();
        w.radio.memory[100] = 'x';
        setup(w);
        w.read();
        QCOMPARE(w.form().windowTitle(), title);
        QVERIFY(w.env.ctx->state.clone.CloneImage[100] != 'x' && w.form().cmdWriteRig->isEnabled());
    }

    // A silent radio: after 10 s the prompt names the port, and the read keeps waiting.
    void silentRadioGetsAHint() {
        World w;
        w.radio.faults.silent = true;
        QStringList shown;
        for (int ms : {9000, 12000, 40000})
            w.atMs(ms, [&w, &shown] { shown << w.prompt().lblNoAnswer->text(); });
        w.atMs(40001, [&w] { w.prompt().lblLookingForRig->clicked(); });
        QCOMPARE(w.read(), "Read cancelled by user request");
        const QString hint =
            "No answer yet: is the radio showing CLONE, and is the cable on COM3 "
            "(/dev/fake/COM3)?";
        QCOMPARE(shown, QStringList({"", hint, hint}));
    }

    // The success box names the backup, a demo read's in the "demo" subfolder, and Open
    // Backup... looks in the backups folder; Cancel Read is off while a write's blocks go out.
    void demoReadAndWrite() {
        World w;
        w.env.ctx->state.link.DemoPort = 3;
        const QDir demo(w.env.dir.filePath("backups/demo"));
        const QString box = w.read();
        QVERIFY(
            box.endsWith(".\r\nBackup: " + demo.filePath(demo.entryList(QDir::Files).value(0))));
        w.form().mnuOpenBackup->trigger();
        QCOMPARE(w.env.files.offered, QStringList(w.env.dir.filePath("backups")));
        bool cancelOffered = true;
        w.atMs(5000, [&] { cancelOffered = w.form().cmdCancelRead->isEnabled(); });
        w.form().cmdWriteRig->click();
        QVERIFY(!cancelOffered && w.env.boxes.texts().last().startsWith("Transfer of memory"));
    }

    // Every menu entry has an access key of its own; the Setup text speaks of Linux.
    void keyboardAndSetupText() {
        World w;
        for (QMenu* menu :
             {w.form().mnuFile, w.form().mnuSettingsMenu, w.form().mnuHelpSelection}) {
            QSet<QChar> keys;
            qsizetype named = 0;
            for (const QAction* entry : menu->actions()) {
                if (entry->isSeparator())
                    continue;
                const qsizetype amp = entry->text().indexOf('&');
                QVERIFY2(amp >= 0, qPrintable(entry->text()));
                keys << entry->text().at(amp + 1).toLower();
                ++named;
            }
            QCOMPARE(keys.size(), named);
        }
        const QString text = Form1::instructionsText();
        QVERIFY(!text.contains("FTD2XX") && text.contains("libftdi1-2") &&
                text.contains("plugdev"));
    }

    // Ten savers, thirty backups each, all in the same second: 300 files.
    void concurrentBackupsNeverReplaceOneAnother() {
        TestEnv env;
        std::vector<std::thread> savers;
        for (int t = 0; t < 10; ++t)
            savers.emplace_back([&env] {
                SettingsStore settings(env.settings->fileName());
                for (int i = 0; i < 30; ++i)
                    SaveBackup(settings, radioImage(), nullptr, QDateTime(QDate(2026, 1, 1), {}));
            });
        for (std::thread& saver : savers)
            saver.join();
        QCOMPARE(QDir(env.dir.filePath("backups")).entryList(QDir::Files).size(), 300);
    }

    // "~" is the home folder; a relative folder gives way to the default, with a note.
    void backupFolderSetting() {
        TestEnv env;
        QString ignored;
        env.settings->set("Backups", "Folder", "~/bk");
        QCOMPARE(BackupFolder(*env.settings, &ignored), QDir::homePath() + "/bk");
        env.settings->set("Backups", "Folder", "bk");
        QCOMPARE(BackupFolder(*env.settings, &ignored), DefaultBackupFolder());
        QVERIFY(ignored.startsWith("ignored Backups/Folder=bk in "));
    }

    // The simulated radio holds a dozen channels and two banks, and every sum agrees.
    void simulatedRadioHoldsChannels() {
        const QByteArray image = radioImage();
        const QList<Channel> ch = DecodeChannels(image);
        QCOMPARE(UsedChannelCount(ch), 12);
        QCOMPARE(ch[3].duplex + ch[3].text(ChannelField::Offset) + ch[3].toneMode + ch[3].tone,
                 "-0.600000Tone100.0");
        QCOMPARE(ch[5].duplex + ch[5].text(ChannelField::Offset), "split144.490000");
        QCOMPARE(ch[6].text(ChannelField::Frequency) + ch[6].mode + ch[7].mode + ch[8].mode,
                 "446.006250NFMAMWFM");
        const QList<Bank> banks = DecodeBanks(image);
        QCOMPARE(banks[0].name + banks[1].name, "HAMLISTEN");
        QCOMPARE(banks[1].members, QList<int>({8, 9, 10, 11}));
        QVERIFY(!banks[2].inUse && banks[2].members.isEmpty() && StaleSums(image).isEmpty());
    }
};

QTEST_MAIN(AppAnswersTest)
#include "test_app_answers.moc"

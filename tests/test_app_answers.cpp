#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include "clone/imagefile.h"
#include "support/testenv.h"
#include "ui/frmmessages.h"

// What the main window answers a new user: a read that does not succeed keeps the image
// held, a silent radio gets a hint, the backup is named, and the keyboard reaches it all.
namespace {

const char* const kCancelled = "Read cancelled by user request";
const char* const kBlocksCancelled = "Read of memory cancelled by user request";

// A radio on COM3 (or the FTDI device "VX8") that answers when the prompt asks, unless silent.
struct World {
    TestEnv env;
    SimRadio* radio;
    explicit World(bool ftdi = false) {
        radio = ftdi ? &env.radioOnFtdi("VX8") : &env.radioOnCom(3);
        env.settings->set("Settings", "CommPort", ftdi ? "999" : "3");
        env.settings->set("Settings", "FTDIDevice", "VX8");
        QObject::connect(&prompt(), &FrmMessages::lookingForRigShown,
                         [this] { radio->pressBand(env.clock.nowNs()); });
    }
    Form1& form() { return env.form(); }
    FrmMessages& prompt() { return form().frmMessages(); }
    CloneState& clone() { return env.ctx->state.clone; }
    void atMs(qint64 ms, std::function<void()> action) { env.clock.afterMs(ms, action); }
};

using Setup = std::function<void(World&)>;

}  // namespace

Q_DECLARE_METATYPE(Setup)

class AppAnswersTest : public QObject {
    Q_OBJECT
private slots:
    // Only a read that succeeds replaces the image held: the image opened from a file, its
    // name in the title and Write Radio survive every other end of a read.
    void onlyAGoodReadReplacesTheImage_data() {
        QTest::addColumn<Setup>("setup");
        QTest::newRow("Cancel in the first box")
            << Setup([](World& w) { w.env.boxes.answers = {MsgAnswer::Cancel}; });
        QTest::newRow("Cancel Read while blocks arrive")
            << Setup([](World& w) { w.atMs(3000, [&w] { w.form().cmdCancelRead->click(); }); });
        QTest::newRow("wrong identity")
            << Setup([](World& w) { w.radio->identity = "AH999xxxxx"; });
        QTest::newRow("stall") << Setup([](World& w) { w.radio->faults.stallAfterBlocks = 9; });
        QTest::newRow("bad checksum")
            << Setup([](World& w) { w.radio->faults.wrongChecksum = true; });
    }
    void onlyAGoodReadReplacesTheImage() {
        QFETCH(Setup, setup);
        World w;
        const QString saved = w.env.dir.filePath("saved.img");
        SimRadio other;
        other.memory[100] = 'x';
        QVERIFY(SaveImageFile(saved, FileImageFromClone(other.memory + other.identity + '\0'),
                              nullptr));
        QVERIFY(w.form().imageFiles().OpenImage(saved));
        const CloneState before = w.clone();
        const QString title = w.form().windowTitle();
        setup(w);
        w.form().cmdRead->click();
        QVERIFY(w.clone().CloneImage == before.CloneImage && w.clone().ImageValid);
        QCOMPARE(w.clone().ImagePath, before.ImagePath);
        QCOMPARE(w.form().windowTitle(), title);
        QVERIFY(w.form().cmdWriteRig->isEnabled() && w.form().mnuSaveImage->isEnabled());
    }

    // Escape on the prompt window cancels as a click on its message does.
    void escapeOnThePromptCancels_data() {
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("box");
        QTest::newRow("looking for the radio") << true << kCancelled;
        QTest::newRow("blocks arriving") << false << kBlocksCancelled;
    }
    void escapeOnThePromptCancels() {
        QFETCH(bool, silent);
        QFETCH(QString, box);
        World w;
        w.radio->faults.silent = silent;
        w.atMs(3000, [&w] { QTest::keyClick(&w.prompt(), Qt::Key_Escape); });
        w.atMs(30000, [&w] { w.form().cmdCancelRead->click(); });  // the old way out
        w.form().cmdRead->click();
        QCOMPARE(w.env.boxes.texts().last(), box);
        QVERIFY(w.env.nowMs() < 5000);
    }

    // A silent radio: after 10 s the prompt names the port, and the read keeps waiting.
    void silentRadioGetsAHint_data() {
        QTest::addColumn<bool>("ftdi");
        QTest::addColumn<QString>("cable");
        QTest::newRow("COM3") << false << "COM3 (/dev/fake/COM3)";
        QTest::newRow("FTDI") << true << "the FTDI device \"VX8\"";
    }
    void silentRadioGetsAHint() {
        QFETCH(bool, ftdi);
        QFETCH(QString, cable);
        World w(ftdi);
        w.radio->faults.silent = true;
        QStringList shown;
        for (int ms : {9000, 12000, 40000})
            w.atMs(ms, [&] {
                shown << (w.prompt().lblNoAnswer->isVisible() ? w.prompt().lblNoAnswer->text()
                                                              : QString());
            });
        w.atMs(40001, [&w] { w.prompt().lblLookingForRig->clicked(); });
        w.form().cmdRead->click();
        const QString hint =
            "No answer yet: is the radio showing CLONE, and is the cable on " + cable + "?";
        QCOMPARE(shown, QStringList({QString(), hint, hint}));
        QVERIFY(!w.prompt().lblNoAnswer->isVisible());
    }

    // The success box names the backup; the demo radio's reads go to the "demo" subfolder,
    // where Open Backup... looks.
    void readNamesItsBackup_data() {
        QTest::addColumn<bool>("demo");
        QTest::newRow("radio") << false;
        QTest::newRow("demo radio") << true;
    }
    void readNamesItsBackup() {
        QFETCH(bool, demo);
        World w;
        w.env.ctx->state.link.DemoPort = demo ? 3 : 0;
        w.form().cmdRead->click();
        const QDir folder(w.env.dir.filePath(demo ? "backups/demo" : "backups"));
        const QStringList files = folder.entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY(w.env.boxes.texts().last().endsWith(".\r\nBackup: " + folder.filePath(files[0])));
        w.form().mnuOpenBackup->trigger();
        QCOMPARE(w.env.files.offered, QStringList(w.env.dir.filePath("backups")));
    }

    // Once a write's blocks go out nothing stops them, and Cancel Read is not offered.
    void cancelReadIsOffWhileAWriteSends() {
        World w;
        w.clone().CloneImage = w.radio->memory + w.radio->identity + '\0';
        w.clone().ImageValid = true;
        w.form().EnableButtons();
        bool offered = true;
        w.atMs(5000, [&] { offered = w.form().cmdCancelRead->isEnabled(); });
        w.form().cmdWriteRig->click();
        QVERIFY(w.env.boxes.texts().last().startsWith("Transfer of memory completed."));
        QVERIFY(!offered);
    }

    // Every entry of the menus has an access key of its own; the Setup text speaks of Linux.
    void keyboardAndSetupText() {
        World w;
        for (QMenu* menu : {w.form().mnuFile, w.form().mnuView, w.form().mnuSettingsMenu,
                            w.form().mnuHelpSelection}) {
            QSet<QChar> keys;
            int entries = 0;
            for (QAction* entry : menu->actions()) {
                if (entry->isSeparator())
                    continue;
                const qsizetype amp = entry->text().indexOf('&');
                QVERIFY2(amp >= 0, qPrintable(entry->text()));
                keys << entry->text().at(amp + 1).toLower();
                ++entries;
            }
            QCOMPARE(keys.size(), entries);
        }
        const QString text = Form1::instructionsText();
        QVERIFY(!text.contains("FTD2XX") && !text.contains("http"));
        QVERIFY(text.contains("libftdi1-2") && text.contains("plugdev"));
    }
};

QTEST_MAIN(AppAnswersTest)
#include "test_app_answers.moc"

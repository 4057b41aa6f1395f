#include "image/imagefile.h"
#include "support/testenv.h"
#include "ui/frmmessages.h"

// What hostile and new users met: a read that does not succeed keeps the image held, a
// silent radio gets a hint, backups are easy to find, and the keyboard reaches everything.
namespace {

// The main window and a radio on COM3 that sends when the prompt asks for [BAND].
struct World {
    TestEnv env;
    SimRadio& radio = env.radioOnCom(3);
    World() {
        env.config->set("Settings", "CommPort", "3");
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
        const SimRadio& r = w.radio;
        QVERIFY(SaveImageFile(file,
                              r.identity + r.memory + char(r.checksumOf(r.identity, r.memory)),
                              nullptr) &&
                w.form().imageFiles().OpenImage(file));
        const QString title = w.form().windowTitle();
        w.radio.memory[100] = 'x';
        setup(w);
        w.read();
        QCOMPARE(w.form().windowTitle(), title);
        QVERIFY(w.env.ctx->clone.image.data()[100] != 'x' && w.form().cmdWriteRig->isEnabled());
    }

    // A silent radio: after 10 s the prompt names the port and offers the simulated radio,
    // while the read keeps waiting; taken, it ends the read and is the link from then on.
    void silentRadioGetsAHint() {
        World w;
        w.radio.faults.silent = true;
        int started = 0;
        w.form().setSimulatedRadioStarter(
            [&started](MemoryMap::Model) { return ++started, QString(); });
        QStringList shown;
        for (int ms : {9000, 12000, 40000})
            w.atMs(ms, [&w, &shown] { shown << w.prompt().lblNoAnswer->text(); });
        w.atMs(40001, [&w] { emit w.prompt().lblNoAnswer->linkActivated("simulated"); });
        QCOMPARE(w.read(), "Read cancelled by user request");
        QCOMPARE(shown[0], "");
        QCOMPARE(shown.mid(1), QStringList(2,
                                           "No answer yet: is the radio showing CLONE, and is "
                                           "the cable on COM3 (/dev/fake/COM3)?<br><a href="
                                           "\"simulated\">Use the simulated radio instead</a>"));
        QVERIFY(started == 1 && w.form().mnuSimulatedModel[0]->isChecked());
        w.form().mnuSimulatedModel[2]->trigger();  // another model: only it is checked
        QVERIFY(started == 2 && !w.form().mnuSimulatedModel[0]->isChecked());
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

    // Every menu entry has an access key of its own.
    void accessKeys() {
        World w;
        for (QMenu* menu : {w.form().mnuFile, w.form().mnuRadio, w.form().mnuSettingsMenu,
                            w.form().mnuHelpSelection}) {
            QSet<QString> keys;
            int named = 0;
            for (const QAction* entry : menu->actions())
                if (!entry->isSeparator() && ++named)
                    keys << entry->text().section('&', 1).left(1).toLower();
            QVERIFY(keys.size() == named && !keys.contains(""));
        }
    }
};

QTEST_MAIN(AppAnswersTest)
#include "test_app_answers.moc"

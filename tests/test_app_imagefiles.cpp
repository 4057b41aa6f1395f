#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QSpinBox>
#include <QTableView>
#include <QUndoStack>

#include "app/imagefiles.h"
#include "edit/imageedits.h"
#include "image/imagefile.h"
#include "support/testenv.h"
#include "ui/frmchannels.h"
#include "ui/frmmessages.h"
#include "ui/frmsettings.h"
#include "ui/importpreview.h"

// The File menu's image entries, dropped files, the title and the automatic backup, with a
// simulated radio on COM3 whose user presses [BAND] when asked.

namespace {
struct Window {
    TestEnv env;
    SimRadio& radio = env.radioOnCom(3);
    Form1& form;
    QSignalSpy changed{env.ctx.get(), &AppContext::imageChanged};

    Window() : form((env.config->set("Settings", "CommPort", "3"), env.form())) {
        QObject::connect(&form.frmMessages(), &FrmMessages::lookingForRigShown,
                         [this] { radio.pressBand(env.clock.nowNs()); });
    }
    QString at(const QString& name) { return env.dir.filePath(name); }
    CloneState& clone() { return env.ctx->clone; }
    ImageFiles& files() { return form.imageFiles(); }
    // What a refused open or a No must leave as it was.
    auto snapshot() {
        return std::make_tuple(clone().image, form.cmdWriteRig->isEnabled(), form.windowTitle(),
                               env.log());
    }
    // The radio's image held, as after a read.
    void hold() {
        clone().image = CloneImage(radio.identity + radio.memory + '\0');
        emit env.ctx->imageChanged();
    }
    void saveAs(const QString& name) {
        env.files.answers = {at(name)};
        form.mnuSaveImageAs->trigger();
    }
};

// A file edited by hand: one data byte changed, only the final checksum brought up to date.
QByteArray editedImage() {
    QByteArray image = CloneImage(SimRadio::identityAH029() + QByteArray(65217, '\0')).bytes();
    image[0x0650] = 0x12;
    image[65226] = char(image[65226] + 0x12);
    return image;
}
}  // namespace

class ImageFilesTest : public QObject {
    Q_OBJECT
private slots:
    // Two reads (in the same second or not) leave two backups; Save As names the image.
    void readBackUpSaveAndOpen() {
        Window w;
        w.form.cmdRead->click();
        w.form.cmdRead->click();
        QCOMPARE(QDir(w.at("backups")).entryList(QDir::Files).size(), 2);
        QVERIFY(w.form.windowTitle().contains(
            QRegularExpression(" - read from radio \\d\\d:\\d\\d\\[\\*\\]$")));
        QVERIFY(w.form.mnuSaveImageAs->isEnabled() && w.form.mnuSaveImage->isEnabled());

        w.saveAs("x");  // no extension: ".img" is added
        QCOMPARE(fileBytes(w.at("x.img")).left(65227), w.clone().image.bytes());
        QVERIFY(w.form.windowTitle().endsWith(" - x.img[*]") && w.form.mnuSaveImage->isEnabled());
        QVERIFY(QFile::remove(w.at("x.img")));
        w.form.mnuSaveImage->trigger();  // Save Image writes the same file again
        QVERIFY(QFile::exists(w.at("x.img")));

        Window fresh;
        fresh.env.config->set("Recent", "File1", w.at("x.img"));
        fresh.env.files.answers = {w.at("x.img")};
        fresh.form.mnuOpenImage->trigger();
        QVERIFY(fresh.clone().image == w.clone().image);
        QVERIFY(fresh.form.cmdWriteRig->isEnabled() && fresh.changed.size() == 1);
        QCOMPARE(fresh.files().recentFiles(), QStringList{w.at("x.img")});  // no duplicate

        // The newest first, in the settings and in the menu.
        w.saveAs("y.img");
        QCOMPARE(w.files().recentFiles(), QStringList({w.at("y.img"), w.at("x.img")}));
        const QList<QAction*> entries = w.form.mnuRecentImages->actions();
        QVERIFY(entries.size() == 2 && entries[1]->text() == "&2 " + w.at("x.img"));
    }

    // A file refused leaves everything as it was. Sums that do not agree are brought up to
    // date without a question in the other programmer's file, after one in any other; kept
    // as they are (No), they stay so through a save and an edit, and Write asks again.
    void opening_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("answer");  // to the question about the sums; 0: none asked
        QByteArray flipped = CloneImage(SimRadio::identityAH029() + QByteArray(65217, 0)).bytes();
        flipped[0x3300] = 1;  // in a channel; no sum brought up to date
        QTest::newRow("folder") << QByteArray() << 0;
        QTest::newRow("unknown identity") << QByteArray(65227, 'A') << 0;
        QTest::newRow("flipped byte, No") << flipped << int(MsgAnswer::No);
        QTest::newRow("stale sum, Yes") << editedImage() << int(MsgAnswer::Yes);
        QTest::newRow("stale sum, Cancel") << editedImage() << int(MsgAnswer::Cancel);
        QTest::newRow("the other programmer's file")
            << editedImage() + ImageFile::kTrailerMark + "e30=" << 0;
    }
    void opening() {
        QFETCH(QByteArray, content);
        QFETCH(int, answer);
        Window w;
        w.hold();
        const QString path = w.at("bad.img");
        QVERIFY(content.isNull() ? QDir().mkdir(path) : writeBytes(path, content));
        const auto before = w.snapshot();
        w.env.boxes.shown.clear();
        w.env.boxes.answers = {MsgAnswer(answer)};
        w.changed.clear();
        const bool refused =
            content.isEmpty() || content.startsWith("AA") || answer == int(MsgAnswer::Cancel);
        QCOMPARE(w.files().OpenImage(path), !refused);
        QCOMPARE(w.env.boxes.shown.size(), refused || answer ? 1 : 0);
        QVERIFY(!refused || (w.snapshot() == before && w.changed.isEmpty()));
        const bool kept = answer == int(MsgAnswer::No);  // else one trace line per sum fixed
        QCOMPARE(w.env.log().filter(QRegularExpression("^Image: .* set to")).size(),
                 kept || refused ? 0 : 2);
        // Corrected after the question, the image held differs from its file: another open
        // asks to save it first.
        const bool corrected = answer == int(MsgAnswer::Yes);
        QVERIFY(w.form.imageEdits->unsaved() == corrected &&
                w.form.isWindowModified() == corrected);
        if (corrected) {
            QVERIFY(w.env.boxes.texts()[0].startsWith(
                "This file's checksum does not match its data; files saved by other programs "
                "often look like this. Quorlink can correct the checksum; no channel or setting "
                "changes.\r\n\r\n" +
                QDir::toNativeSeparators(path)));
            w.env.boxes.answers = {MsgAnswer::Yes, MsgAnswer::Cancel};
            QVERIFY(!w.files().OpenImage(path));
            QCOMPARE(w.env.boxes.texts().mid(1),
                     QStringList({w.env.boxes.texts()[0], "Save changes to bad.img?"}));
        }
        if (refused || !kept)
            return;
        QCOMPARE(w.clone().image.bytes(), content);
        w.saveAs("kept.img");
        QCOMPARE(fileBytes(w.at("kept.img")), content);  // and no trailer to excuse the sums
        w.form.imageEdits->apply("edit", [](QByteArray& image) {
            image[0x3301] = 'x';
            return QString();
        });
        QVERIFY(!StaleSums(w.clone().image.bytes()).isEmpty());
        w.env.boxes.answers = {MsgAnswer::No};
        w.form.cmdWriteRig->click();
        QVERIFY(w.env.boxes.texts().last().startsWith("The sums of the image held do not agree") &&
                w.env.ports->ports[3].written.isEmpty());
    }

    // The channels window reads, saves (Ctrl+S) and exports with the main window's own
    // entries and follows the image read; every file dialog starts where the last one went.
    void workingFromTheEditor() {
        Window w;
        w.form.show();
        w.form.mnuChannels->trigger();
        FrmChannels& editor = *w.form.frmChannels;
        w.form.mnuReadRadio->trigger();
        QVERIFY(editor.windowTitle().startsWith("Channels - read from radio"));
        w.env.files.answers = {w.at("e.img")};
        QTest::keyClick(editor.grdChannels, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(QFile::exists(w.at("e.img")) && editor.windowTitle().endsWith("e.img[*]"));
        w.env.files.answers = {w.at("backups/e.csv")};
        w.form.mnuExportChannels->trigger();
        w.form.mnuOpenImage->trigger();  // cancelled
        QCOMPARE(w.env.files.offered.last(), w.at("backups"));
    }

    // Radio Settings: a change undone from the channel editor, one saved and found again in
    // the file opened; an unproven setting is shown, disabled, with its reason.
    void radioSettings() {
        Window w;
        w.hold();
        w.form.mnuRadioSettings->trigger();
        FrmSettings& s = *w.form.frmSettings;
        auto* call = s.findChild<QLineEdit*>("aprs.callsign");
        const QString was = call->text();
        s.findChild<QSpinBox*>("scan.squelch_a")->setValue(9);
        call->selectAll();
        QTest::keyClicks(call, "kk7ds-7");
        QTest::keyClick(call, Qt::Key_Return);
        QVERIFY(call->text() == "KK7DS" && s.isWindowModified());
        w.form.mnuChannels->trigger();
        w.form.frmChannels->mnuUndo->trigger();
        QCOMPARE(call->text(), was);
        QVERIFY(w.form.frmChannels->menuBar->actions().contains(w.form.mnuView->menuAction()));
        auto* symbol = s.findChild<QWidget*>("aprs.user_symbol");
        QVERIFY(!symbol->isEnabled() && symbol->toolTip().contains("its encoding is not known"));
        w.saveAs("s.img");
        QVERIFY(w.files().OpenImage(w.at("s.img")));
        QCOMPARE(s.findChild<QSpinBox*>("scan.squelch_a")->value(), 9);
    }

    // Channels from another image through the File menu: picked in the preview, one step.
    void importFromAnotherImage() {
        Window w;
        w.hold();
        w.saveAs("o.img");
        w.env.files.answers = {w.at("o.img")};
        w.files().setPreviewAnswer(
            [](ImportPreview& p) { return p.spnFirst->setValue(801), true; });
        w.form.findChild<QAction*>("mnuImportImage")->trigger();
        QVERIFY(w.env.log().last().startsWith("Import: imported 12 channels, cleared 0 from "));
        QCOMPARE(w.form.imageEdits->stack().count(), 1);
    }

    void failedBackupLeavesAGoodRead() {
        Window w;
        w.env.config->set("Backups", "Folder", w.at("Quorlink.ini/backups"));
        w.form.cmdRead->click();
        QVERIFY(w.env.boxes.texts().at(1).contains("Not a directory"));
        QVERIFY(w.clone().image.isValid() && w.form.cmdWriteRig->isEnabled());
    }

    // While a transfer runs nothing may change the image or open a dialog; once it has ended,
    // a dropped file and a recent entry open as Open Image does.
    void dropsAndRecentEntries() {
        Window w;
        w.form.cmdRead->click();
        w.saveAs("x.img");
        const QUrl x = QUrl::fromLocalFile(w.at("x.img"));
        auto drop = [&](const QList<QUrl>& urls) {
            QMimeData mime;
            mime.setUrls(urls);
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QCoreApplication::sendEvent(&w.form, &enter);
            QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QCoreApplication::sendEvent(&w.form, &event);
            return enter.isAccepted() && event.isAccepted();
        };
        bool offered = false;  // at any box during the read
        w.env.boxes.onShow = [&](const auto&) {
            for (const QAction* a : w.form.mnuFile->actions())
                offered |= a->isEnabled() && a != w.form.mnuExit && !a->isSeparator();
            offered |= drop({x});
        };
        w.form.cmdRead->click();
        QVERIFY(!offered);
        w.env.boxes.onShow = nullptr;
        QVERIFY(!drop({x, x}) && !drop({QUrl("https://example.org/x.img")}) && drop({x}));
        QCOMPARE(w.form.windowTitle(), "Quorlink V1.0.6 - x.img[*]");
        w.form.mnuRecentImages->actions().first()->trigger();
        QCOMPARE(w.changed.size(), 4);  // two reads, the drop and the recent entry
    }
};

QTEST_MAIN(ImageFilesTest)
#include "test_app_imagefiles.moc"

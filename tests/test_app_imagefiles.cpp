#include <QMimeData>

#include "app/imagefiles.h"
#include "image/imagefile.h"
#include "support/testenv.h"
#include "ui/frmmessages.h"

// The File menu's image entries, dropped files, the title and the automatic backup, with a
// simulated radio on COM3 whose user presses [BAND] when asked.

namespace {
struct Window {
    TestEnv env;
    SimRadio& radio = env.radioOnCom(3);
    Form1& form;
    QSignalSpy changed{env.ctx.get(), &AppContext::imageChanged};

    Window() : form((env.settings->set("Settings", "CommPort", "3"), env.form())) {
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
        QVERIFY(w.form.mnuSaveImageAs->isEnabled() && !w.form.mnuSaveImage->isEnabled());

        w.saveAs("x");  // no extension: ".img" is added
        QCOMPARE(fileBytes(w.at("x.img")).left(65227), w.clone().image.bytes());
        QVERIFY(w.form.windowTitle().endsWith(" - x.img[*]") && w.form.mnuSaveImage->isEnabled());
        QVERIFY(QFile::remove(w.at("x.img")));
        w.form.mnuSaveImage->trigger();  // Save Image writes the same file again
        QVERIFY(QFile::exists(w.at("x.img")));

        Window fresh;
        fresh.env.settings->set("Recent", "File1", w.at("x.img"));
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

    // A file refused, or a stale sum answered No, leaves everything as it was; Yes to a
    // stale sum opens the file, its sums brought up to date.
    void refusals_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("yes");
        QTest::newRow("folder") << QByteArray() << false;
        QTest::newRow("unknown identity") << QByteArray(65227, 'A') << false;
        QTest::newRow("stale sum, No") << editedImage() << false;
        QTest::newRow("stale sum, Yes") << editedImage() << true;
    }
    void refusals() {
        QFETCH(QByteArray, content);
        QFETCH(bool, yes);
        Window w;
        w.hold();
        const QString path = w.at("bad.img");
        QVERIFY(content.isNull() ? QDir().mkdir(path) : writeBytes(path, content));
        const auto before = w.snapshot();
        w.env.boxes.shown.clear();
        w.env.boxes.answers = {yes ? MsgAnswer::Yes : MsgAnswer::No};
        w.changed.clear();
        QCOMPARE(w.files().OpenImage(path), yes);
        QCOMPARE(w.env.boxes.shown.size(), 1);
        if (yes)
            QVERIFY(quint8(w.clone().image.bytes()[0x06C9]) == 0x12 &&
                    w.form.windowTitle().endsWith(" - bad.img[*]"));
        else
            QVERIFY(w.snapshot() == before && w.changed.isEmpty());
    }

    void failedBackupLeavesAGoodRead() {
        Window w;
        w.env.settings->set("Backups", "Folder", w.at("Quorlink.ini/backups"));
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
        auto drop = [&] {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(w.at("x.img"))});
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QCoreApplication::sendEvent(&w.form, &enter);
            QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QCoreApplication::sendEvent(&w.form, &event);
            return enter.isAccepted() && event.isAccepted();
        };
        bool offered = false;  // at any box during the read
        w.env.boxes.onShow = [&](const auto&) {
            offered |= w.form.mnuOpenImage->isEnabled() || w.form.mnuSaveImage->isEnabled() ||
                       w.form.mnuRecentImages->isEnabled() || drop();
        };
        w.form.cmdRead->click();
        QVERIFY(!offered);
        w.env.boxes.onShow = nullptr;
        QVERIFY(drop());
        QCOMPARE(w.form.windowTitle(), "Quorlink V1.0.6 - x.img[*]");
        w.form.mnuRecentImages->actions().first()->trigger();
        QCOMPARE(w.changed.size(), 4);  // two reads, the drop and the recent entry
    }
};

QTEST_MAIN(ImageFilesTest)
#include "test_app_imagefiles.moc"

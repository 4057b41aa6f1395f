#include <sys/stat.h>
#include <thread>

#include "core/config.h"
#include "image/imagefile.h"
#include "support/testenv.h"

namespace {
// "AH029", five zero bytes, zero data: every region sum is 0 and the checksum is the
// identity's sum, 0x24.
QByteArray zeroImage(const QByteArray& model = "AH029") {
    QByteArray image = model + QByteArray(CloneLayout::kImageSize - 5, '\0');
    image[CloneLayout::kChecksumOffset] = model == "AH029" ? '\x24' : '\x38';
    return image;
}
QByteArray trailerOf(const QByteArray& json) {
    return QByteArray::fromHex("00FF6368697270EE696D670001") + json.toBase64();
}
}  // namespace

class ImageFileTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString at(const QString& name) { return dir.filePath(name); }

private slots:
    void refusals_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("what");
        const QByteArray ok = zeroImage();
        QTest::newRow("folder") << "sub" << QByteArray() << "it is a folder";
        QTest::newRow("missing") << "none.img" << QByteArray() << "there is no such file";
        QTest::newRow("pipe") << "pipe" << QByteArray() << "it is not a plain file";
        QTest::newRow("empty") << "empty.img" << QByteArray("") << "the file is empty";
        QTest::newRow("one short") << "s.img" << ok.left(65226) << "it holds 65226 bytes, but";
        QTest::newRow("trailer after a short image")
            << "t.img" << ok.left(65000) + trailerOf("{}") << "it holds 65017 bytes, but";
        QTest::newRow("identity") << "id.img"
                                  << "AH02A" + ok.mid(5)
                                  << "its radio identity is X'4148303241', not";
    }
    void refusals() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, what);
        if (name == "sub")
            QDir(dir.path()).mkdir(name);
        else if (name == "pipe")
            QCOMPARE(mkfifo(QFile::encodeName(at(name)).constData(), 0600), 0);
        else if (!content.isNull())
            QVERIFY(writeBytes(at(name), content));
        LoadedImage loaded;
        loaded.image = "earlier";
        QString error;
        QVERIFY(!LoadImageFile(at(name), loaded, &error));
        QVERIFY2(error.startsWith("Cannot open \"" + at(name) + "\": ") && error.contains(what),
                 qPrintable(error));
        QCOMPARE(loaded.image, QByteArray("earlier"));
    }

    // Both directions of the interchange: what the other programmer saves opens here, and
    // what is saved here carries the trailer it reads the model from.
    void trailers_data() {
        QTest::addColumn<QByteArray>("identity");
        QTest::addColumn<QByteArray>("trailer");
        QTest::addColumn<QString>("model");  // as the trailer names it
        QTest::newRow("raw") << QByteArray("AH029") << QByteArray() << "";
        QTest::newRow("with metadata")
            << QByteArray("AH29D")
            << trailerOf(R"({"rclass":"VX8DRadio","vendor":"Yaesu","model":"VX-8DR"})") << "VX-8DR";
        QTest::newRow("VX-8GE") << QByteArray("AH041")
                                << trailerOf(R"({"rclass":"VX8GERadio","model":"VX-8GE"})")
                                << "VX-8GE";
        QTest::newRow("undecodable metadata")
            << QByteArray("AH029") << trailerOf("").append("*!*") << "";
    }
    void trailers() {
        QFETCH(QByteArray, identity);
        QFETCH(QByteArray, trailer);
        QFETCH(QString, model);
        QVERIFY(writeBytes(at("in.img"), zeroImage(identity) + trailer));
        LoadedImage in;
        QString error;
        QVERIFY2(LoadImageFile(at("in.img"), in, &error), qPrintable(error));
        QVERIFY(in.image == zeroImage(identity) && in.hadTrailer == !trailer.isEmpty());
        QCOMPARE(in.metadata.value("model").toString(), model);

        QVERIFY(SaveImageFile(at("out.bin"), in.image, &error) &&
                SaveImageFile(at("out.img"), in.image, &error));
        QCOMPARE(fileBytes(at("out.bin")), in.image);
        const QByteArray saved = fileBytes(at("out.img"));
        QCOMPARE(saved.left(CloneLayout::kImageSize + 13), zeroImage(identity) + trailerOf(""));
        const int m = QByteArray("AH029AH29DAH041").indexOf(identity) / 5;
        QCOMPARE(
            QJsonDocument::fromJson(QByteArray::fromBase64(saved.mid(CloneLayout::kImageSize + 13)))
                .object(),
            QJsonObject({{"rclass", QStringList{"VX8Radio", "VX8DRadio", "VX8GERadio"}[m]},
                         {"vendor", "Yaesu"},
                         {"model", QStringList{"VX-8R", "VX-8DR", "VX-8GE"}[m]},
                         {"variant", ""}}));
    }

    void sums_data() {
        QTest::addColumn<QList<int>>("changes");  // offset, value, offset, value ...
        QTest::addColumn<QStringList>("stale");
        QTest::addColumn<int>("checksum");  // after the fix
        QTest::newRow("all agree") << QList<int>{} << QStringList{} << 0x24;
        QTest::newRow("data changed, no sum updated")
            << QList<int>{0x0650, 0x12}
            << QStringList{"The region sum at 0x06C9 is 0x00 but the data adds up to 0x12",
                           "The final checksum at 65226 is 0x24 but the data adds up to 0x36"}
            << 0x48;
        QTest::newRow("only the final checksum updated")
            << QList<int>{0x0848, 0x01, 65226, 0x25}
            << QStringList{"The region sum at 0x0849 is 0x00 but the data adds up to 0x01"} << 0x26;
        QTest::newRow("broadcast record stale")
            << QList<int>{0x0850, 0x01, 65226, 0x25}
            << QStringList{"The region sum at 0x08C9 is 0x00 but the data adds up to 0x01"} << 0x26;
    }
    void sums() {
        QFETCH(QList<int>, changes);
        QFETCH(QStringList, stale);
        QFETCH(int, checksum);
        QByteArray image = zeroImage();
        for (int i = 0; i < changes.size(); i += 2)
            image[changes[i]] = char(changes[i + 1]);
        QCOMPARE(StaleSums(image), stale);
        QCOMPARE(FixSums(image).size(), stale.isEmpty() ? 0 : 2);
        QVERIFY(StaleSums(image).isEmpty() && quint8(image[65226]) == checksum);
    }

    // A write that fails half-way (here: the file size limit, as on a full disk) leaves the
    // earlier file whole; a folder that cannot exist fails before anything is written.
    void failedSaveKeepsTheEarlierFile() {
        const QByteArray earlier = zeroImage("AH29D");
        QVERIFY(writeBytes(at("keep.bin"), earlier));
        QString error;
        bool saved = true;
        withFileSizeLimit(1000,
                          [&] { saved = SaveImageFile(at("keep.bin"), zeroImage(), &error); });
        QVERIFY(!saved && error == "Cannot save \"" + at("keep.bin") + "\": File too large");
        QCOMPARE(fileBytes(at("keep.bin")), earlier);
        QVERIFY(!SaveImageFile(at("keep.bin/x.img"), zeroImage(), &error) &&
                error == "Cannot save \"" + at("keep.bin/x.img") + "\": Not a directory");
    }

    // Backups never replace one another, in one folder per user ("~" is the home folder; a
    // relative folder gives way to the default, with a note), or can be turned off.
    void backups() {
        ConfigStore settings(at("q.ini"));
        settings.set("Backups", "Folder", at("b/backups"));
        const QDateTime now(QDate(2026, 12, 6), QTime(21, 30, 5));
        QString error = "x";
        QStringList names;
        for (const char* model : {"AH029", "AH029", "AH29D"})
            names << QFileInfo(SaveBackup(settings, zeroImage(model), &error, now)).fileName();
        QCOMPARE(names,
                 QStringList({"VX-8R_2026-12-06_21-30-05.img", "VX-8R_2026-12-06_21-30-05_2.img",
                              "VX-8DR_2026-12-06_21-30-05.img"}));
        QVERIFY(error.isEmpty());
        QCOMPARE(fileBytes(at("b/backups/") + names[1]).left(CloneLayout::kImageSize + 13),
                 zeroImage() + trailerOf(""));
        // Ten savers at once, thirty backups each, all in the same second: 300 files.
        std::vector<std::thread> savers(10);
        for (std::thread& saver : savers)
            saver = std::thread([&] {
                ConfigStore own(settings.fileName());
                for (int i = 0; i < 30; ++i)
                    SaveBackup(own, zeroImage(), nullptr, now);
            });
        for (std::thread& saver : savers)
            saver.join();
        QCOMPARE(QDir(at("b/backups")).entryList(QDir::Files).size(), 303);

        settings.set("Backups", "Folder", at("q.ini/backups"));
        QVERIFY(SaveBackup(settings, zeroImage(), &error).isEmpty());
        QCOMPARE(error, "The automatic backup could not be saved in the folder \"" +
                            at("q.ini/backups") + "\": Not a directory");
        settings.set("Backups", "Enabled", "false");
        QVERIFY(SaveBackup(settings, zeroImage(), &error).isEmpty() && error.isEmpty());
        settings.set("Backups", "Folder", "~/bk");
        QCOMPARE(BackupFolder(settings, &error), QDir::homePath() + "/bk");
        settings.set("Backups", "Folder", "bk");
        QVERIFY(BackupFolder(settings, &error) == DefaultBackupFolder() &&
                error.startsWith("ignored Backups/Folder=bk in "));
    }
};

QTEST_MAIN(ImageFileTest)
#include "test_image_files.moc"

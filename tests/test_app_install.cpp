// The installed files: the desktop entry passes desktop-file-validate and names an icon
// that is installed as a bitmap as well as scalable.
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class InstallTest : public QObject {
    Q_OBJECT
private slots:
    void desktopEntryAndIcons() {
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (validator.isEmpty())
            QFAIL("desktop-file-validate is missing: run scripts/deps.sh");
        QTemporaryDir prefix;
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start("cmake", {"--install", qEnvironmentVariable("QUORLINK_BUILD_DIR"), "--prefix",
                                prefix.path()});
        QVERIFY(install.waitForFinished(60000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());

        const QString share = prefix.filePath("share/");
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(validator, {share + "applications/quorlink.desktop"});
        QVERIFY(validate.waitForFinished(30000));
        QVERIFY2(validate.exitCode() == 0, validate.readAll().constData());
        for (const char* icon : {"icons/hicolor/scalable/apps/quorlink.svg",
                                 "icons/hicolor/256x256/apps/quorlink.png"})
            QVERIFY2(QFile::exists(share + icon), icon);
        QVERIFY(!QIcon(share + "icons/hicolor/256x256/apps/quorlink.png").pixmap(48).isNull());
    }
};

QTEST_MAIN(InstallTest)
#include "test_app_install.moc"

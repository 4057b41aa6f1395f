#include <QtTest>
#include <thread>

#include "clone/channels.h"
#include "clone/imagefile.h"
#include "core/settings.h"
#include "sim/simradio.h"

// Automatic backups: many saved at once never replace one another, and where the folder
// setting sends them. And the simulated radio's memory, as the channels window decodes it.
namespace {

QByteArray simImage() {
    const SimRadio radio;
    return radio.identity + radio.memory + char(SimRadio::checksumOf(radio.identity, radio.memory));
}

}  // namespace

class CloneBackupsTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() {
        qputenv("HOME", home_.path().toLocal8Bit());  // backups land in a temporary home
        qunsetenv("XDG_DATA_HOME");
    }

    // Ten savers, thirty backups each, all in the same second: 300 files.
    void concurrentBackupsNeverReplaceOneAnother() {
        const QString ini = home_.filePath("many.ini");
        SettingsStore(ini).set("Backups", "Folder", home_.filePath("many"));
        const QDateTime now = QDateTime::currentDateTime();
        std::vector<std::thread> savers;
        for (int t = 0; t < 10; ++t)
            savers.emplace_back([&] {
                SettingsStore settings(ini);
                for (int i = 0; i < 30; ++i)
                    SaveBackup(settings, simImage(), nullptr, now);
            });
        for (std::thread& saver : savers)
            saver.join();
        QCOMPARE(QDir(home_.filePath("many")).entryList(QDir::Files).size(), 300);
    }

    // "~" is the home folder; a relative folder gives way to the default, with a note.
    void folderSetting_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("folder");  // under the home folder
        QTest::newRow("~/bk") << "~/bk"
                              << "bk";
        QTest::newRow("~") << "~"
                           << "";
        QTest::newRow("relative") << "bk"
                                  << ".local/share/test_clone_backups/backups";
    }
    void folderSetting() {
        QFETCH(QString, setting);
        QFETCH(QString, folder);
        SettingsStore settings(home_.filePath("folder.ini"));
        settings.set("Backups", "Folder", setting);
        QString ignored;
        const QString path =
            SaveBackup(settings, simImage(), nullptr, QDateTime::currentDateTime(), {}, &ignored);
        QCOMPARE(QFileInfo(path).absolutePath(), QDir::cleanPath(home_.filePath(folder)));
        QCOMPARE(ignored.startsWith("ignored Backups/Folder=bk in "), setting == "bk");
    }

    // A dozen channels and two banks, each field encoded as the radio does; every sum right.
    void simulatedRadioHoldsChannels_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>(
            "channel");  // name, frequency, duplex, offset, tone mode, tone, mode
        QTest::newRow("repeater") << 4 << "RPT 2M 146.940000 - 0.600000 Tone 100.0 FM";
        QTest::newRow("split") << 6 << "ISS VOICE 145.800000 split 144.490000  67.0 FM";
        QTest::newRow("6.25 kHz") << 7 << "PMR446 1 446.006250  0.000000  67.0 NFM";
        QTest::newRow("airband") << 8 << "AIR TOWER 118.100000  0.000000  67.0 AM";
        QTest::newRow("broadcast") << 9 << "RADIO 93.5 93.500000  0.000000  67.0 WFM";
    }
    void simulatedRadioHoldsChannels() {
        QFETCH(int, number);
        QFETCH(QString, channel);
        const QByteArray image = simImage();
        const QList<Channel> channels = DecodeChannels(image);
        QCOMPARE(UsedChannelCount(channels), 12);
        const Channel& c = channels[number - 1];
        QStringList fields;
        for (ChannelField f :
             {ChannelField::Name, ChannelField::Frequency, ChannelField::Duplex,
              ChannelField::Offset, ChannelField::ToneMode, ChannelField::Tone, ChannelField::Mode})
            fields << c.text(f);
        QCOMPARE(fields.join(' '), channel);
        const QList<Bank> banks = DecodeBanks(image);
        QCOMPARE(banks[0].name + banks[1].name, "HAMLISTEN");
        QCOMPARE(banks[0].members, QList<int>({1, 2, 3, 4, 5, 6, 7, 12}));
        QCOMPARE(banks[1].members, QList<int>({8, 9, 10, 11}));
        QVERIFY(banks[0].inUse && banks[1].inUse && !banks[2].inUse && banks[2].members.isEmpty());
        QCOMPARE(StaleSums(image), QStringList());
    }
};

QTEST_MAIN(CloneBackupsTest)
#include "test_clone_backups.moc"

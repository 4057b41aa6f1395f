#include <QAbstractItemModel>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include "clone/cloneimage.h"
#include "support/channelimage.h"
#include "support/testenv.h"
#include "ui/frmchannels.h"
#include "ui/frmmessages.h"

// The channels window on images read from the simulated radio, with real widgets.
namespace {

const QString kReadDone = "The read of memories from the radio has completed successfully.";

// A radio on COM3 holding three channels, the main window, and a user who presses [BAND]
// when asked. The radio's memory starts after the 10 identity bytes of an image.
struct Rig {
    TestEnv env;
    SimRadio& radio = env.radioOnCom(3);

    Rig() {
        env.settings->set("Settings", "CommPort", "3");
        env.form();
        // The simulated radio's memory is a pattern: no channel is used until set here.
        radio.memory.replace(ChannelLayout::kFlagsOffset - CloneLayout::kIdentitySize,
                             ChannelLayout::kChannelCount,
                             QByteArray(ChannelLayout::kChannelCount, '\0'));
        putChannel(5, "00 00 145230 C0 0000 1B191DFFFFFFFFFFFFFFFFFFFFFFFFFF 000600 08 00 000000");
        putChannel(40, "00 89 088100 C0 0000 0F16FFFFFFFFFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000");
        putChannel(300,
                   "00 04 146520 C0 0000 1C121619150E21FFFFFFFFFFFFFFFFFF 000000 08 00 000000");
        QObject::connect(&env.form().frmMessages(), &FrmMessages::lookingForRigShown,
                         [this] { radio.pressBand(env.clock.nowNs()); });
    }
    void putChannel(int number, const char* record) {
        PutChannel(radio.memory, number, 0x03, record, CloneLayout::kIdentitySize);
    }
    void read() {
        env.form().cmdRead->click();
        QVERIFY(env.boxes.texts().last().startsWith(kReadDone));
    }
    FrmChannels& window() {
        if (!env.form().frmChannels)
            env.form().mnuChannels->trigger();
        return *env.form().frmChannels;
    }
    QAbstractItemModel& rows() { return *window().grdChannels->model(); }
    QString cell(int row, ChannelField field) {
        return rows().index(row, int(field)).data().toString();
    }
    QStringList column(ChannelField field) {
        QStringList texts;
        for (int row = 0; row < rows().rowCount(); ++row)
            texts << cell(row, field);
        return texts;
    }
};

}  // namespace

class ChannelsWindowTest : public QObject {
    Q_OBJECT
private slots:
    // Opened while a read runs, the window does not hold the read up, shows no partial
    // image, and shows each new read when it ends.
    void opensMidReadAndFollowsEachRead() {
        Rig rig;
        QString shownMidRead;
        QObject::connect(&rig.env.form().frmMessages(), &FrmMessages::lookingForRigShown, [&] {
            if (!rig.env.form().frmChannels)
                shownMidRead = rig.window().lblUsed->text();
        });
        rig.read();
        QCOMPARE(shownMidRead, QStringLiteral("No image: read the radio or open a file."));
        FrmChannels* window = &rig.window();
        QVERIFY(window->isVisible());
        QVERIFY(!window->isModal());
        QCOMPARE(window->lblUsed->text(), QStringLiteral("3 of 900 channels used"));
        QCOMPARE(rig.column(ChannelField::Name), QStringList({"RPT", "FM", "SIMPLEX"}));

        rig.putChannel(900,
                       "00 00 430000 C0 0000 0A0B0CFFFFFFFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000");
        rig.read();
        QCOMPARE(&rig.window(), window);
        QCOMPARE(window->lblUsed->text(), QStringLiteral("4 of 900 channels used"));
        QCOMPARE(rig.column(ChannelField::Number), QStringList({"5", "40", "300", "900"}));
    }

    void filtersAndSorts_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("showEmpty");
        QTest::addColumn<int>("sortColumn");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<QStringList>("numbers");
        const int ch = int(ChannelField::Number), freq = int(ChannelField::Frequency),
                  name = int(ChannelField::Name);
        QTest::newRow("by number")
            << "" << false << ch << Qt::AscendingOrder << QStringList{"5", "40", "300"};
        QTest::newRow("by number, down")
            << "" << false << ch << Qt::DescendingOrder << QStringList{"300", "40", "5"};
        QTest::newRow("by frequency")
            << "" << false << freq << Qt::AscendingOrder << QStringList{"40", "5", "300"};
        QTest::newRow("by name") << "" << false << name << Qt::AscendingOrder
                                 << QStringList{"40", "5", "300"};
        QTest::newRow("name, any case")
            << "sim" << false << ch << Qt::AscendingOrder << QStringList{"300"};
        QTest::newRow("frequency")
            << "14" << false << ch << Qt::AscendingOrder << QStringList{"5", "300"};
        QTest::newRow("no match") << "zz" << true << ch << Qt::AscendingOrder << QStringList{};
        QTest::newRow("empty shown, filtered")
            << "88.1" << true << ch << Qt::AscendingOrder << QStringList{"40"};
    }
    void filtersAndSorts() {
        QFETCH(QString, filter);
        QFETCH(bool, showEmpty);
        QFETCH(int, sortColumn);
        QFETCH(Qt::SortOrder, order);
        QFETCH(QStringList, numbers);
        Rig rig;
        rig.read();
        FrmChannels& window = rig.window();
        QTest::keyClicks(window.txtFilter, filter);
        window.chkShowEmpty->setChecked(showEmpty);
        window.grdChannels->sortByColumn(sortColumn, order);
        QCOMPARE(rig.column(ChannelField::Number), numbers);
    }

    void ctrlLOpensAndShowEmptyListsEveryChannel() {
        Rig rig;
        rig.read();
        rig.env.form().show();
        QVERIFY(QTest::qWaitForWindowActive(&rig.env.form()));
        QTest::keyClick(&rig.env.form(), Qt::Key_L, Qt::ControlModifier);
        QVERIFY(rig.env.form().frmChannels);
        FrmChannels& window = rig.window();
        window.chkShowEmpty->click();
        QCOMPARE(rig.rows().rowCount(), 900);
        QCOMPARE(rig.cell(0, ChannelField::Number), QStringLiteral("1"));
        QCOMPARE(rig.cell(0, ChannelField::Frequency), QString());
        window.chkShowEmpty->click();
        QCOMPARE(rig.rows().rowCount(), 3);
    }
};

QTEST_MAIN(ChannelsWindowTest)
#include "test_ui_channels.moc"

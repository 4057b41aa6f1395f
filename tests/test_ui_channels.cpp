#include <QAbstractItemModel>
#include <QCheckBox>
#include <QLineEdit>
#include <QTableView>

#include "clone/imagefile.h"
#include "support/channelfixture.h"
#include "support/testenv.h"
#include "ui/frmchannels.h"

Q_DECLARE_METATYPE(ChannelField)

// The channels window over the channel fixture, handed to the main window as a held image.
namespace {

struct Window {
    TestEnv env;
    void hold(const QByteArray& fileImage) {
        env.form();  // its start-up sets the image held
        env.ctx->state.clone.CloneImage = CloneImageFromFile(fileImage);
        env.ctx->state.clone.ImageValid = true;
        emit env.ctx->imageChanged();
    }
    FrmChannels& window() {
        if (!env.form().frmChannels)
            env.form().mnuChannels->trigger();
        return *env.form().frmChannels;
    }
    QStringList column(ChannelField field) {
        QAbstractItemModel& rows = *window().grdChannels->model();
        QStringList texts;
        for (int row = 0; row < rows.rowCount(); ++row)
            texts << rows.index(row, int(field)).data().toString();
        return texts;
    }
};

}  // namespace

class ChannelsWindowTest : public QObject {
    Q_OBJECT
private slots:
    // Opened before there is an image, the window shows none; it follows each new image.
    void followsTheImageHeld() {
        Window w;
        QCOMPARE(w.window().lblUsed->text(), "No image: read the radio or open a file.");
        QVERIFY(w.window().isVisible() && !w.window().isModal());
        w.hold(FixtureImage());
        QCOMPARE(w.window().lblUsed->text(), "8 of 900 channels used");
        QByteArray more = FixtureImage();
        PutChannel(more, 900, 0x03, kFixtureChannels[0].record);
        w.hold(more);
        QCOMPARE(w.column(ChannelField::Number).last(), "900");
        w.env.ctx->state.clone.ImageValid = false;  // a failed read holds a partial image
        emit w.env.ctx->imageChanged();
        QCOMPARE(w.column(ChannelField::Number), QStringList());
    }

    void filtersAndSorts_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("showEmpty");
        QTest::addColumn<ChannelField>("sortBy");  // down when by number, up otherwise
        QTest::addColumn<QStringList>("numbers");  // or, with one entry, how many
        const ChannelField ch = ChannelField::Number;
        QTest::newRow("by number, down")
            << "" << false << ch << QStringList{"8", "7", "6", "5", "4", "3", "2", "1"};
        QTest::newRow("by frequency, in MHz not text")
            << "1" << false << ChannelField::Frequency << QStringList{"4", "3", "2", "5", "1"};
        QTest::newRow("by name") << "RPT" << false << ChannelField::Name << QStringList{"2", "5"};
        QTest::newRow("name, any case") << "sim" << false << ch << QStringList{"1"};
        QTest::newRow("no match") << "zz" << true << ch << QStringList{};
        QTest::newRow("empty shown") << "" << true << ch << QStringList{"900"};
        QTest::newRow("empty shown, filtered") << "88.1" << true << ch << QStringList{"4"};
    }
    void filtersAndSorts() {
        QFETCH(QString, filter);
        QFETCH(bool, showEmpty);
        QFETCH(ChannelField, sortBy);
        QFETCH(QStringList, numbers);
        Window w;
        w.hold(FixtureImage());
        QTest::keyClicks(w.window().txtFilter, filter);
        w.window().chkShowEmpty->setChecked(showEmpty);
        w.window().grdChannels->sortByColumn(
            int(sortBy), sortBy == ChannelField::Number ? Qt::DescendingOrder : Qt::AscendingOrder);
        const QStringList shown = w.column(ChannelField::Number);
        QVERIFY(shown == numbers || (numbers == QStringList{"900"} && shown.size() == 900));
    }
};

QTEST_MAIN(ChannelsWindowTest)
#include "test_ui_channels.moc"

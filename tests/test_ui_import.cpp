#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QUndoStack>
#include <QtTest>

#include "edit/imageedits.h"
#include "memory/channeledit.h"
#include "memory/settings.h"
#include "sources/repeaterbook.h"
#include "support/channelfixture.h"
#include "ui/importpreview.h"

// The import previews: what they show before anything changes, and one undo step after.
class ImportPreviewTest : public QObject {
    Q_OBJECT
private slots:
    void directory() {
        QByteArray image = FixtureImage();
        const auto model = *MemoryMap::ModelOf(image);
        QCOMPARE(SetSetting(image, *FindSetting(model, "aprs.latitude"), "40.0"), QString());
        QCOMPARE(SetSetting(image, *FindSetting(model, "aprs.longitude"), "-75.0"), QString());
        QList<DirectoryEntry> entries(2);
        for (int i = 0; i < 2; ++i) {
            entries[i].entry = i + 1;
            entries[i].callsign = QString("W1AA%1").arg(i);
            entries[i].frequency = QString("146.9%1").arg(i);
            entries[i].status = "On-air";
            entries[i].analogFm = entries[i].hasPosition = true;
            entries[i].latitude = 40.1 + i;  // 11.1 km, then 122.3 km away
            entries[i].longitude = -75.0;
        }
        ImportPreview preview(nullptr, image, entries, AprsManualPosition(image));
        QCOMPARE(preview.txtNear->text(), "40.0000,-75.0000");
        preview.txtWithin->setText("20");
        preview.spnFirst->setValue(899);
        QCOMPARE(preview.txtPreview->toPlainText(),
                 "ch 899  146.900000  W1AA0             entry 1 W1AA0  11.1 km\n"
                 "skipped: entry 2 W1AA1: 122.3 km away");
        QCOMPARE(preview.lblFree->text(),
                 "1 to store, 1 skipped; 1 free channels left from 899 on");
        preview.txtWithin->setText("20 furlongs");
        QVERIFY(!preview.buttons->button(QDialogButtonBox::Ok)->isEnabled());
        preview.txtWithin->clear();
        QCOMPARE(preview.plan().channels.size(), 2);  // 899 and 900
        preview.cboBank->setCurrentIndex(4);
        CloneState clone{CloneImage(image), {}, {}};
        ImageEdits edits(clone);
        const QByteArray start = clone.image.bytes();
        QVERIFY(edits.importCsv("Import", preview.plan(), preview.bank()) == 0);
        QCOMPARE(edits.stack().count(), 1);
        QCOMPARE(DecodeBank(clone.image.bytes(), 4).members, QList<int>({899, 900}));
        edits.stack().undo();
        QVERIFY(clone.image.bytes() == start);
    }

    void otherImage() {
        const QByteArray other = FixtureImage();
        QByteArray image = FixtureImage();
        for (int n = 1; n <= 10; ++n)
            ClearChannel(image, n);
        ImportPreview preview(nullptr, image, other);
        QCOMPARE(preview.lstChannels->count(), 8);    // in use: 1-8 (9 masked, 10 not valid)
        QCOMPARE(preview.plan().channels.size(), 7);  // 8 does not decode
        for (int i = 0; i < preview.lstChannels->count(); ++i)
            preview.lstChannels->item(i)->setCheckState(i == 2 ? Qt::Checked : Qt::Unchecked);
        preview.spnFirst->setValue(5);
        QCOMPARE(preview.plan().channels.size(), 1);
        QCOMPARE(preview.plan().channels[0].number, 5);
        QCOMPARE(preview.plan().channels[0].name, "AIR");
        preview.findChild<QPushButton*>("cmdSelectAll")->click();
        QCOMPARE(preview.plan().channels.size(), 7);
        QCOMPARE(preview.plan().refusals, QStringList{"ch 8: Frequency ? does not decode"});
    }
};

QTEST_MAIN(ImportPreviewTest)
#include "test_ui_import.moc"

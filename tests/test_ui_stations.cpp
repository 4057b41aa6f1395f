#include <QPrinter>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QtTest>

#include "app/form1.h"
#include "image/cloneimage.h"
#include "support/testenv.h"
#include "support/testmain.h"
#include "ui/frmstations.h"

// View ▸ Heard Stations on the demo radio's image: the table sorted by value, the map
// following the selection, the exports and the printed map, and the image left as it was.
class StationsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void heardStations() {
        TestEnv env;
        SimRadio& radio = env.radioOnCom(3);
        Form1& form = env.form();
        env.ctx->clone.image = CloneImage(radio.identity + radio.memory + '\0');
        emit env.ctx->imageChanged();
        const QByteArray before = env.ctx->clone.image.bytes();
        form.mnuHeardStations->trigger();
        FrmStations& w = *form.frmStations;
        QVERIFY(w.isVisible() && w.windowTitle().startsWith("Heard Stations"));
        QAbstractItemModel& m = *w.grdStations->model();
        QCOMPARE(m.rowCount(), 5);
        const auto column = [&](int c) {
            QStringList cells;
            for (int r = 0; r < m.rowCount(); ++r)
                cells << m.index(r, c).data().toString();
            return cells;
        };
        w.grdStations->sortByColumn(7, Qt::DescendingOrder);  // distance, as numbers
        QCOMPARE(column(7), QStringList({"6.0", "3.6", "2.9", "2.5", ""}));
        w.grdStations->sortByColumn(2, Qt::AscendingOrder);
        QCOMPARE(column(2), QStringList({"AB2DEF", "KC2NET", "KD2DMO-9", "N2HIK-7", "W2WXD"}));
        w.grdStations->selectRow(3);
        w.picMap->setFocus();
        emit w.picMap->stationClicked(2);  // W2WXD's slot, clicked on the map
        QCOMPARE(w.grdStations->currentIndex().siblingAtColumn(2).data().toString(), "W2WXD");
        for (const char* name : {"Csv", "Gpx", "Kml"}) {
            env.files.answers = {env.dir.filePath(name)};
            w.findChild<QAction*>(QString("mnuExport") + name)->trigger();
            QFile file(env.dir.filePath(name));
            QVERIFY2(file.open(QIODevice::ReadOnly) && file.size() > 300, name);
        }
        env.files.answers = {};
        w.findChild<QAction*>("mnuExportCsv")->trigger();  // cancelled: nothing said
        QVERIFY(w.lblStatus->text().contains("Kml"));
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(env.dir.filePath("map.pdf"));
        QVERIFY(w.printTo(printer));
        QVERIFY(QFileInfo(env.dir.filePath("map.pdf")).size() > 1000);
        QCOMPARE(env.ctx->clone.image.bytes(), before);
        // A new image without stations empties the window.
        env.ctx->clone.image = CloneImage(SimRadio::identityAH029() + QByteArray(65217, '\xFF'));
        emit env.ctx->imageChanged();
        QCOMPARE(m.rowCount(), 0);
        QCOMPARE(w.lblStatus->text(), "The radio has no heard stations stored.");
    }
};

int main(int argc, char** argv) {
    return runOnScreen<StationsWindowTest>(1280, 800, argc, argv);
}
#include "test_ui_stations.moc"

// Prints the times of the station list: View ▸ Heard Stations opened on a VX-8DR image holding
// 50 beacons of every kind (target 100 ms), on the offscreen platform unless another is set;
// 50 beacons decoded in process; and, given the program's path (bench_stations [path/to/quorlink]),
// the whole process of `quorlink stations IMAGE` (30 ms) and of its --gpx.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "benchtimes.h"
#include "edit/imageedits.h"
#include "image/imagefile.h"
#include "memory/stations.h"
#include "sim/heardbeacons.h"
#include "ui/frmstations.h"

using bench::median;
using bench::print;
using bench::runMs;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // 50 beacons of every kind around New York, heard over an afternoon.
    const char* const kinds[] = {
        "KD2DMO-9>APRS,WIDE1-1,WIDE2-1:!4046.12N/07358.45W>088/025Commuting home",
        "W2WXD>APRS,WIDE2-1:@051523z4041.80N/07400.50W_220/004g009t045r000p000P000h62b10182",
        "N2HIK-7>TP4V5U,WIDE1-1:`eUll<+[/\"4;}Central Park loop",
        "KC2NET>APRS:;HUDSONNET*051530z4045.00N/07401.20WrNet 146.52 Sun 20:00",
        "AB2DEF>APRS,WIDE2-1:>Monitoring 144.390",
        "K2CMP-9>APRS:=/5L!!<*e7>7P[ compressed",
        "N2ITM>APRS:)AID #2!4044.50N/07359.00WA",
        "W2MSG>APRS::N0CALL-7 :See you at the hamfest{42",
    };
    QByteArray image(CloneLayout::kImageSize, '\0');
    image.replace(0, 5, "AH29D");
    for (int n = 0; n < 50; ++n)
        StoreHeardBeacon(image, MemoryMap::Model::VX8DR, n, QDate(2011, 5, 12),
                         QTime(12 + n / 10, n % 60), QString::fromLatin1(kinds[n % 8]));
    FixSums(image);

    std::vector<double> decode;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QList<HeardStation> stations = HeardStations(image);
        const QString table = StationsTable(stations, RadioPosition(image), 120);
        decode.push_back(timer.nsecsElapsed() / 1e6);
        if (stations.size() != 50 || table.isEmpty())
            return 1;
    }
    print("50 beacons decoded and the table made, in process", decode);

    CloneState clone;
    clone.image = CloneImage(image);
    ImageEdits edits(clone);
    std::vector<double> open;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer timer;
        timer.start();
        auto* window = new FrmStations(edits);
        window->show();
        QCoreApplication::processEvents();
        open.push_back(timer.nsecsElapsed() / 1e6);
        delete window;
    }
    print("Heard Stations window opened on 50 beacons", open);

    if (argc < 2)
        return 0;
    QTemporaryDir dir;
    const QByteArray path = dir.filePath(QStringLiteral("dr.img")).toLocal8Bit();
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return 1;
    file.close();
    std::vector<double> table, gpx, floor;
    for (int i = 0; i < 20; ++i) {
        floor.push_back(runMs({argv[1], "--version"}));
        table.push_back(runMs({argv[1], "stations", path}));
        gpx.push_back(runMs({argv[1], "stations", "--gpx", path}));
    }
    if (std::min(*std::min_element(table.begin(), table.end()),
                 *std::min_element(gpx.begin(), gpx.end())) < 0) {
        std::printf("%s stations failed\n", argv[1]);
        return 1;
    }
    print("quorlink --version, whole process (the floor of any command)", floor);
    print("quorlink stations IMAGE (50 beacons), whole process", table);
    print("quorlink stations --gpx IMAGE, whole process", gpx);
    return 0;
}

#pragma once

#include <QList>
#include <QWidget>
#include <optional>

#include "memory/stations.h"

class QLabel;
class QMenu;
class QMenuBar;
class QPainter;
class QPrinter;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class ImageEdits;
class FileDialogs;

// A picture of where the heard stations were: the owner's point at the centre, range rings
// with their distances, north up, each station as its symbol with its callsign, the selected
// one highlighted. It fits whatever rectangle it is drawn in (the window or a printed page).
class StationsMap : public QWidget {
    Q_OBJECT
public:
    explicit StationsMap(QWidget* parent = nullptr);
    void setStations(const QList<HeardStation>& stations, std::optional<GeoPoint> centre,
                     const QString& centreName);
    void setSelected(int slot);
    void paint(QPainter& painter, const QRectF& area) const;
    // The kilometres between two rings.
    double ringStep() const { return ringKm_; }

signals:
    void stationClicked(int slot);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    struct Spot {
        int slot;
        QString callsign;
        char table, code;
        double eastKm, northKm;
    };
    QPointF place(const Spot& spot, const QRectF& area) const;
    QList<Spot> spots_;
    std::optional<GeoPoint> centre_;
    QString centreName_;
    double ringKm_ = 1;
    int rings_ = 1;
    int selected_ = 0;
};

// View ▸ Heard Stations: the station list of the image held, as a table (sortable by any
// column) beside the map, with the exports and printing in its File menu. Read only.
class FrmStations : public QWidget {
    Q_OBJECT
public:
    explicit FrmStations(ImageEdits& edits, QWidget* parent = nullptr);
    // Reads the station list of the image held again.
    void Reload();
    void setFileDialogs(FileDialogs* dialogs) { dialogs_ = dialogs; }
    // Draws the map on `printer`'s pages (one page); false when the printer cannot be used.
    bool printTo(QPrinter& printer);

    QMenuBar* menuBar = nullptr;
    QMenu* mnuFile = nullptr;
    QTableView* grdStations = nullptr;
    StationsMap* picMap = nullptr;
    QLabel* lblStatus = nullptr;

private:
    enum class Format { Csv, Gpx, Kml };
    void exportAs(Format format);
    void print();
    void selectSlot(int slot);

    ImageEdits& edits_;
    FileDialogs* dialogs_ = nullptr;
    QStandardItemModel* model_ = nullptr;
    QSortFilterProxyModel* sorted_ = nullptr;
    QList<HeardStation> stations_;
    std::optional<GeoPoint> centre_;
};

#include "ui/frmstations.h"

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <cmath>

#include "edit/imageedits.h"
#include "image/imagefile.h"
#include "ui/filedialogs.h"

namespace {

constexpr int kSlotRole = Qt::UserRole + 1;
constexpr int kSortRole = Qt::UserRole + 2;

// The ring spacing that puts the farthest station within four rings.
double niceStep(double farthestKm) {
    for (double step : {0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0, 200.0, 500.0, 1000.0,
                        2000.0, 5000.0})
        if (farthestKm <= 4 * step)
            return step;
    return 5000;
}

QString kmText(double km) {
    return km < 1 ? QStringLiteral("%1 m").arg(km * 1000, 0, 'f', 0)
                  : QStringLiteral("%1 km").arg(km, 0, 'g', 4);
}

}  // namespace

StationsMap::StationsMap(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("picMap"));
    setMinimumSize(240, 240);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void StationsMap::setStations(const QList<HeardStation>& stations, std::optional<GeoPoint> centre,
                              const QString& centreName) {
    spots_.clear();
    centre_ = centre;
    centreName_ = centreName;
    double farthest = 0;
    for (const HeardStation& s : stations) {
        const auto leg = LegTo(centre, s);
        if (!leg)
            continue;
        const double rad = leg->bearing * 3.14159265358979323846 / 180;
        spots_ << Spot{s.slot,
                       s.report.name.isEmpty() ? s.callsign() : s.report.name,
                       s.report.symbolTable,
                       s.report.symbolCode,
                       leg->km * std::sin(rad),
                       leg->km * std::cos(rad)};
        farthest = std::max(farthest, leg->km);
    }
    ringKm_ = niceStep(farthest);
    rings_ = std::max(1, int(std::ceil(farthest / ringKm_ - 1e-9)));
    update();
}

void StationsMap::setSelected(int slot) {
    selected_ = slot;
    update();
}

QPointF StationsMap::place(const Spot& spot, const QRectF& area) const {
    const double radius = std::min(area.width(), area.height()) / 2 - 28;
    const double scale = radius / (rings_ * ringKm_);
    return area.center() + QPointF(spot.eastKm * scale, -spot.northKm * scale);
}

void StationsMap::paint(QPainter& p, const QRectF& area) const {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    const QPointF c = area.center();
    const double radius = std::min(area.width(), area.height()) / 2 - 28;
    if (!centre_ || radius <= 0) {
        p.drawText(area, Qt::AlignCenter | Qt::TextWordWrap,
                   centre_ ? QString()
                           : QStringLiteral("No position to centre on: the radio's own position "
                                            "is not set and no station sent one."));
        p.restore();
        return;
    }
    // Rings with their distances, and the north mark.
    p.setPen(QPen(pal.color(QPalette::Mid), 1, Qt::DashLine));
    for (int r = 1; r <= rings_; ++r) {
        const double rr = radius * r / rings_;
        p.drawEllipse(c, rr, rr);
        // South-east of the centre, away from the north mark.
        p.drawText(c + QPointF(rr * 0.71 + 3, rr * 0.71 + 12), kmText(r * ringKm_));
    }
    p.setPen(QPen(pal.color(QPalette::Text), 1));
    p.drawLine(c + QPointF(0, -radius + 6), c + QPointF(0, -radius - 6));
    p.drawText(QRectF(c.x() - 10, c.y() - radius - 22, 20, 14), Qt::AlignCenter,
               QStringLiteral("N"));
    // The owner's point.
    p.setBrush(pal.color(QPalette::Text));
    p.drawRect(QRectF(c - QPointF(3, 3), QSizeF(6, 6)));
    p.setBrush(Qt::NoBrush);
    p.drawText(c + QPointF(6, 14), centreName_);
    // The stations, the selected one last so that it stays on top.
    QList<Spot> order = spots_;
    std::stable_partition(order.begin(), order.end(),
                          [this](const Spot& s) { return s.slot != selected_; });
    for (const Spot& s : order) {
        const QPointF at = place(s, area);
        const bool chosen = s.slot == selected_;
        const QColor colour = chosen           ? pal.color(QPalette::Highlight)
                              : s.table == '/' ? QColor(30, 90, 200)
                                               : QColor(0, 130, 80);
        p.setPen(QPen(colour, chosen ? 3 : 1.5));
        p.setBrush(chosen ? colour.lighter(170) : pal.color(QPalette::Base));
        p.drawEllipse(at, chosen ? 10 : 8, chosen ? 10 : 8);
        p.setPen(QPen(chosen ? pal.color(QPalette::HighlightedText) : colour));
        if (chosen)
            p.setPen(pal.color(QPalette::Text));
        p.drawText(QRectF(at - QPointF(8, 8), QSizeF(16, 16)), Qt::AlignCenter,
                   QString(QLatin1Char(s.code ? s.code : '?')));
        QFont font = p.font();
        font.setBold(chosen);
        p.setFont(font);
        p.drawText(at + QPointF(12, 4), s.callsign);
        font.setBold(false);
        p.setFont(font);
    }
    p.restore();
}

void StationsMap::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint(p, QRectF(rect()));
}

void StationsMap::mousePressEvent(QMouseEvent* event) {
    int nearest = 0;
    double best = 15;
    for (const Spot& s : spots_) {
        const double d = QLineF(event->position(), place(s, QRectF(rect()))).length();
        if (d < best)
            best = d, nearest = s.slot;
    }
    if (nearest)
        emit stationClicked(nearest);
}

FrmStations::FrmStations(ImageEdits& edits, QWidget* parent)
    : QWidget(parent, Qt::Window), edits_(edits) {
    setObjectName(QStringLiteral("frmStations"));
    resize(1000, 560);
    auto* layout = new QVBoxLayout(this);
    menuBar = new QMenuBar(this);
    layout->setMenuBar(menuBar);
    mnuFile = menuBar->addMenu(QStringLiteral("&File"));
    const auto entry = [this](const QString& text, const char* name, auto slot) {
        QAction* action = mnuFile->addAction(text);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    entry(QStringLiteral("Export as &CSV..."), "mnuExportCsv", [this] { exportAs(Format::Csv); });
    entry(QStringLiteral("Export as &GPX..."), "mnuExportGpx", [this] { exportAs(Format::Gpx); });
    entry(QStringLiteral("Export as &KML..."), "mnuExportKml", [this] { exportAs(Format::Kml); });
    mnuFile->addSeparator();
    entry(QStringLiteral("&Print Map..."), "mnuPrintMap", [this] {
        print();
    })->setShortcut(QKeySequence::Print);
    mnuFile->addSeparator();
    entry(QStringLiteral("&Close"), "mnuClose", [this] {
        close();
    })->setShortcut(QKeySequence(Qt::Key_Escape));

    model_ = new QStandardItemModel(this);
    sorted_ = new QSortFilterProxyModel(this);
    sorted_->setSourceModel(model_);
    sorted_->setSortRole(kSortRole);
    grdStations = new QTableView(this);
    grdStations->setObjectName(QStringLiteral("grdStations"));
    grdStations->setModel(sorted_);
    grdStations->setSortingEnabled(true);
    grdStations->sortByColumn(0, Qt::AscendingOrder);
    grdStations->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdStations->setSelectionMode(QAbstractItemView::SingleSelection);
    grdStations->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdStations->verticalHeader()->hide();
    grdStations->horizontalHeader()->setStretchLastSection(true);
    picMap = new StationsMap(this);
    auto* split = new QSplitter(this);
    split->addWidget(grdStations);
    split->addWidget(picMap);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(split, 1);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    layout->addWidget(lblStatus);

    connect(grdStations->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& index) {
                picMap->setSelected(index.siblingAtColumn(0).data(kSlotRole).toInt());
            });
    connect(picMap, &StationsMap::stationClicked, this, &FrmStations::selectSlot);
    connect(&edits_, &ImageEdits::changed, this, [this] { Reload(); });
    Reload();
}

void FrmStations::Reload() {
    const QByteArray image = edits_.image();
    stations_ = HeardStations(image);
    const auto radio = RadioPosition(image);
    centre_ = radio;
    QString centreName = QStringLiteral("radio");
    if (!centre_) {
        // Without the owner's position, the middle of the stations heard.
        double lat = 0, lon = 0;
        int n = 0;
        for (const HeardStation& s : stations_)
            if (s.report.latitude && s.report.longitude)
                lat += *s.report.latitude, lon += *s.report.longitude, ++n;
        if (n)
            centre_ = GeoPoint{lat / n, lon / n}, centreName = QStringLiteral("middle");
    }
    setWindowTitle(QStringLiteral("Heard Stations - ") + edits_.imageName());
    const QStringList captions{"Slot",     "Received",   "Callsign",    "Type",    "Symbol",
                               "Latitude", "Longitude",  "Distance km", "Bearing", "Speed km/h",
                               "Course",   "Altitude m", "Comment"};
    model_->clear();
    model_->setHorizontalHeaderLabels(captions);
    int positioned = 0;
    for (const HeardStation& s : stations_) {
        const Aprs::Report& r = s.report;
        const auto leg = LegTo(centre_, s);
        positioned += r.latitude.has_value();
        const auto cell = [](const QString& text, const QVariant& sort) {
            auto* item = new QStandardItem(text);
            item->setData(sort.isValid() ? sort : QVariant(text), kSortRole);
            return item;
        };
        const auto number = [&](std::optional<double> v, int decimals) {
            return cell(v ? QString::number(*v, 'f', decimals) : QString(),
                        v ? QVariant(*v) : QVariant(-1e9));
        };
        QList<QStandardItem*> row{
            cell(QString::number(s.slot), s.slot),
            cell(s.received(), {}),
            cell(s.callsign(), {}),
            cell(r.typeText(), {}),
            cell(Aprs::SymbolName(r.symbolTable, r.symbolCode), {}),
            number(r.latitude, 5),
            number(r.longitude, 5),
            number(leg ? std::optional(leg->km) : std::nullopt, 1),
            cell(leg ? QStringLiteral("%1° %2")
                           .arg(std::lround(leg->bearing) % 360)
                           .arg(Aprs::CompassPoint(leg->bearing))
                     : QString(),
                 leg ? QVariant(leg->bearing) : QVariant(-1.0)),
            number(r.speedKnots ? std::optional(*r.speedKnots * 1.852) : std::nullopt, 0),
            number(r.course ? std::optional<double>(*r.course) : std::nullopt, 0),
            number(r.altitudeMetres, 0),
            cell(s.summary(), {})};
        row[0]->setData(s.slot, kSlotRole);
        if (!s.missing.isEmpty())
            for (QStandardItem* item : row)
                item->setToolTip(QStringLiteral("Missing: ") +
                                 s.missing.join(QStringLiteral("; ")));
        model_->appendRow(row);
    }
    grdStations->resizeColumnsToContents();
    picMap->setStations(stations_, centre_, centreName);
    lblStatus->setText(
        stations_.isEmpty()
            ? (image.isEmpty() ? QStringLiteral("No image: read the radio or open an image file.")
                               : QStringLiteral("The radio has no heard stations stored."))
            : QStringLiteral("%1 stations, %2 with a position; rings every %3 around %4")
                  .arg(stations_.size())
                  .arg(positioned)
                  .arg(kmText(picMap->ringStep()))
                  .arg(radio ? QStringLiteral("the radio's own position")
                             : QStringLiteral("the middle of the stations")));
}

void FrmStations::selectSlot(int slot) {
    for (int row = 0; row < sorted_->rowCount(); ++row)
        if (sorted_->index(row, 0).data(kSlotRole).toInt() == slot)
            grdStations->setCurrentIndex(sorted_->index(row, 0));
}

void FrmStations::exportAs(Format format) {
    static const char* const kFilters[] = {"CSV files (*.csv)", "GPX files (*.gpx)",
                                           "KML files (*.kml)"};
    static const char* const kSuffixes[] = {".csv", ".gpx", ".kml"};
    QtFileDialogs standard;
    FileDialogs& dialogs = dialogs_ ? *dialogs_ : standard;
    const QString path = dialogs.saveFileName(
        this, QStringLiteral("Export Heard Stations"),
        QDir::home().filePath(QStringLiteral("stations") + QLatin1String(kSuffixes[int(format)])),
        QLatin1String(kFilters[int(format)]));
    if (path.isEmpty())
        return;
    const QByteArray image = edits_.image();
    const QString text = format == Format::Csv   ? StationsCsv(stations_, centre_)
                         : format == Format::Gpx ? StationsGpx(stations_, RadioUtcOffset(image))
                                                 : StationsKml(stations_, RadioUtcOffset(image));
    QString error;
    if (!SaveFileAtomically(path, text.toUtf8(), &error))
        lblStatus->setText(error);
    else
        lblStatus->setText(QStringLiteral("Exported %1 stations to %2")
                               .arg(stations_.size())
                               .arg(QDir::toNativeSeparators(path)));
}

bool FrmStations::printTo(QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    // Drawn as on a screen 800 pixels wide, whatever the printer's resolution.
    const double scale = painter.viewport().width() / 800.0;
    painter.scale(scale, scale);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    const QRectF page(0, 0, 800, painter.viewport().height() / scale);
    painter.drawText(QRectF(page.left(), page.top(), page.width(), 30), Qt::AlignLeft,
                     windowTitle() + QStringLiteral(" — ") + lblStatus->text());
    picMap->paint(painter, page.adjusted(0, 40, 0, 0));
    return painter.end();
}

void FrmStations::print() {
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted && !printTo(printer))
        lblStatus->setText(QStringLiteral("The printer could not be opened."));
}

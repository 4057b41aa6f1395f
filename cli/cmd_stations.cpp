#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/command.h"
#include "memory/stations.h"

namespace cli {

const QCommandLineOption kStationsCsv("csv",
                                      "Write CSV: one row per stored beacon, in slot order.");
const QCommandLineOption kGpx("gpx", "Write GPX 1.1: one waypoint per station with a position.");
const QCommandLineOption kKml("kml", "Write KML: one placemark per station with a position.");
const QCommandLineOption kStationsOutput("output", "Write to OUT instead of standard output.",
                                         "OUT");

namespace {

// The terminal's width, for the table's comment column; 120 when it is no terminal.
int terminalWidth() {
    if (const int columns = qEnvironmentVariableIntValue("COLUMNS"); columns > 0)
        return columns;
    winsize size{};
    if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 120;
}

}  // namespace

int stationsCommand(Invocation& inv) {
    const QCommandLineParser& p = inv.parser;
    if (int(given(p, kStationsCsv)) + int(given(p, kGpx)) + int(given(p, kKml)) > 1)
        return usageError(QStringLiteral("--csv, --gpx and --kml exclude each other"),
                          &inv.command);
    const QString output = p.value(kStationsOutput);
    if (given(p, kStationsOutput) && output.isEmpty())
        return usageError(QStringLiteral("--output needs a file name, not an empty value"),
                          &inv.command);
    std::optional<GeoPoint> near;
    const QString nearText = p.value(kNear);
    if (given(p, kNear) && nearText != QLatin1String("radio")) {
        QString why;
        near = ParseGeoPoint(nearText, &why);
        if (!near)
            return usageError(QStringLiteral("--near: ") + why, &inv.command);
    }
    LoadedImage loaded;
    if (!loadFile(inv.files[0], loaded))
        return kRefused;
    if (!near) {
        near = RadioPosition(loaded.image);
        if (!near && given(p, kNear)) {
            err(inv.files[0] + QStringLiteral(" holds no APRS position of the radio's own "
                                              "(aprs.latitude, aprs.longitude); give --near "
                                              "LAT,LON"));
            return kRefused;
        }
    }
    if (given(p, kStationsOutput) && !mayWrite(inv, output, inv.files))
        return kRefused;
    const QList<HeardStation> stations = HeardStations(loaded.image);
    // The radio's time zone, for the times of GPX and KML.
    const std::optional<int> zone =
        given(p, kGpx) || given(p, kKml) ? RadioUtcOffset(loaded.image) : std::nullopt;
    const QString text = given(p, kStationsCsv) ? StationsCsv(stations, near)
                         : given(p, kGpx)       ? StationsGpx(stations, zone)
                         : given(p, kKml)       ? StationsKml(stations, zone)
                                                : StationsTable(stations, near, terminalWidth());
    if (stations.isEmpty())
        err(inv.files[0] + QStringLiteral(" holds no heard stations"));
    else if (!near && !given(p, kGpx) && !given(p, kKml))
        err(QStringLiteral("no distances: the radio's own APRS position is not set in ") +
            inv.files[0] + QStringLiteral("; --near LAT,LON measures from a point"));
    if (given(p, kStationsOutput)) {
        QString error;
        if (!SaveFileAtomically(output, text.toUtf8(), &error)) {
            err(error);
            return kFailed;
        }
        return kDone;
    }
    out(text.chopped(1));
    return kDone;
}

}  // namespace cli

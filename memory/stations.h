#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>

#include "aprs/aprs.h"

// The APRS beacons the radio heard (its station list), read only from an image: each
// entry's metadata (when it was received, the stored callsign, flags, the packet length)
// and its packet, bounded by its slot and its length, decoded by aprs/.
struct HeardStation {
    int slot = 0;  // the entry, from 1
    QDate date;    // invalid when the stored date is not one
    QTime time;
    QString storedCallsign;  // as the radio shows it: the source, or an object's name
    int flags = 0;
    int length = 0;  // as stored
    QByteArray packet;
    Aprs::Frame frame;
    Aprs::Report report;
    QStringList missing;  // what the metadata, the frame and the field lack
    // The source with -SSID when the SSID is not 0; the stored callsign without a frame.
    QString callsign() const;
    // "YYYY-MM-DD HH:MM", or empty when the date or time is not one.
    QString received() const;
    // The comment, status, weather or message text, as one line.
    QString summary() const;
};

struct GeoPoint {
    double latitude = 0;
    double longitude = 0;
};

// The entries in use (the first metadata byte is not 0xFF), in slot order; none for an
// image no model describes.
QList<HeardStation> HeardStations(const QByteArray& image);
// The radio's own manual APRS position; none when it is not one (or all zero: never set).
std::optional<GeoPoint> RadioPosition(const QByteArray& image);
// The radio's time zone as minutes east of UTC; none when the setting is not known.
std::optional<int> RadioUtcOffset(const QByteArray& image);
// A station's distance and bearing from `from`; none without both positions.
std::optional<Aprs::Leg> LegTo(const std::optional<GeoPoint>& from, const HeardStation& station);
// "LAT,LON" in signed decimal degrees; none with `*why` set when it is not a position.
std::optional<GeoPoint> ParseGeoPoint(const QString& text, QString* why);

// The exports: one line (row, waypoint, placemark) per station, from `near` when given.
// The CSV has a row for every entry; GPX and KML only for those with a position, with
// times in the radio's zone when `utcOffsetMinutes` is given.
QString StationsCsv(const QList<HeardStation>& stations, const std::optional<GeoPoint>& near);
QString StationsGpx(const QList<HeardStation>& stations, std::optional<int> utcOffsetMinutes);
QString StationsKml(const QList<HeardStation>& stations, std::optional<int> utcOffsetMinutes);
// The table for a terminal `width` characters wide: a heading and one line per station.
QString StationsTable(const QList<HeardStation>& stations, const std::optional<GeoPoint>& near,
                      int width);
// "12.3 km 45° NE".
QString LegText(const Aprs::Leg& leg);

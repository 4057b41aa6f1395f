#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// AX.25 frames and the APRS information field they carry (APRS Protocol Reference 1.0.1
// with its errata), decoded read-only. Every reader is bounds-checked: a damaged or cut
// packet decodes as far as it goes, and `missing` says what was not there.
namespace Aprs {

// One AX.25 address: the callsign (upper case, spaces dropped), its SSID and, on a path,
// whether a digipeater repeated it.
struct Address {
    QString call;
    int ssid = 0;
    bool repeated = false;
    // "N0CALL" or "N0CALL-7".
    QString text() const;
};

struct Frame {
    Address destination;
    Address source;
    QList<Address> path;
    QByteArray info;  // the APRS information field
    QStringList missing;
    // "SRC>DST,DIGI1*,DIGI2:INFO", the repeated mark after the last repeated address.
    QString monitorText() const;
    QString pathText() const;
};

// The frame without flags and check bytes: destination, source, up to 8 path addresses
// (a slot all 0xFF is an address the sender left unused), control 0x03, protocol 0xF0, the
// information field.
Frame DecodeFrame(const QByteArray& bytes);

enum class Kind {
    Position,
    MicE,
    Object,
    Item,
    Weather,
    Status,
    Message,
    Ack,
    Reject,
    Bulletin,
    Capabilities,
    Telemetry,
    Query,
    Other,
    Empty,
};
// "Position", "Mic-E", "Object" …
QString KindName(Kind kind);

// What a weather report holds; each value only where the packet gives it.
struct Weather {
    std::optional<int> windDirection;  // degrees
    std::optional<int> windMph;        // sustained, one minute
    std::optional<int> gustMph;        // peak in the last five minutes
    std::optional<int> temperatureF;
    std::optional<double> rainHourIn, rain24hIn, rainMidnightIn;
    std::optional<int> humidity;        // percent
    std::optional<double> pressureHpa;  // barometric, sea level
    bool any() const;
    // "wind 220° 4 mph, gust 5 mph, 77°F, rain 0.00 in (1 h), humidity 50%, 990.0 hPa".
    QString text() const;
};

struct Report {
    Kind kind = Kind::Empty;
    bool compressed = false;                    // a compressed position
    bool messaging = false;                     // the sender takes messages ('=' and '@')
    std::optional<double> latitude, longitude;  // decimal degrees, north and east positive
    // Digits the sender left blank (position ambiguity, 0-4) and the degrees of latitude the
    // position is known to: 1/6000 for hundredths of a minute, 1 for whole degrees.
    int ambiguity = 0;
    double precision = 0;
    char symbolTable = 0;  // '/', '\\' or an overlay character
    char symbolCode = 0;
    std::optional<double> speedKnots;
    std::optional<int> course;             // degrees, 1-360
    std::optional<double> altitudeMetres;  // above sea level
    QString timestamp;                     // as sent: "092345z", "234517h"
    QString name;                          // an object's or item's
    bool killed = false;                   // an object or item taken off the map
    QString micEMessage;                   // "En Route", "Emergency" …
    QString addressee, messageId;          // messages, acks and bulletins
    Weather weather;
    QString comment;  // the comment, status, message text, or the field as sent
    QStringList missing;
    // "Position", "Object LEADER (killed)", "Mic-E En Route" …
    QString typeText() const;
};

// The information field of a packet sent to `destination` (Mic-E keeps half its
// position there).
Report DecodeInfo(const QByteArray& info, const QString& destination);

// The symbol's name for the common symbols ("Car", "House", "Weather station"); an
// overlay character is named after it ("Digipeater (overlay S)"). Empty when unknown.
QString SymbolName(char table, char code);

// Great-circle distance in kilometres and initial bearing in degrees (0 north, 90 east)
// from the first point to the second.
struct Leg {
    double km = 0;
    double bearing = 0;
};
Leg DistanceBearing(double lat1, double lon1, double lat2, double lon2);
// "NNE" and the like, for a bearing in degrees.
QString CompassPoint(double bearing);

}  // namespace Aprs

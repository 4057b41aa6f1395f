#include "sources/repeaterbook.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>

namespace {

// Every value is a string in the export; a number is taken as its text all the same.
QString Text(const QJsonObject& o, QLatin1String key) {
    const QJsonValue v = o.value(key);
    if (v.isString()) {
        QString text = v.toString();
        // Most values need no trimming: a copy only for those that do.
        return text.isEmpty() || (!text.front().isSpace() && !text.back().isSpace())
                   ? text
                   : text.trimmed();
    }
    if (v.isDouble())
        return QString::number(v.toDouble(), 'f', 6);
    return {};
}

bool Yes(const QJsonObject& o, QLatin1String key) {
    return Text(o, key).compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
}

bool Coordinate(const QString& text, double limit, double* value) {
    bool ok = false;
    *value = text.toDouble(&ok);
    return ok && std::isfinite(*value) && std::abs(*value) <= limit;
}

}  // namespace

bool ReadRepeaterDirectory(const QByteArray& json, QList<DirectoryEntry>* entries, QString* error) {
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
        *error = QStringLiteral("it is not JSON: %1 at byte %2")
                     .arg(parse.errorString())
                     .arg(parse.offset);
        return false;
    }
    const QJsonValue results = doc.object().value(QLatin1String("results"));
    if (!doc.isObject() || !results.isArray()) {
        *error = QStringLiteral("it has no \"results\" list; a repeater directory export has one");
        return false;
    }
    const QJsonArray list = results.toArray();
    entries->clear();
    entries->reserve(list.size());
    int n = 0;
    for (const QJsonValue& value : list) {
        ++n;
        const QJsonObject o = value.toObject();
        DirectoryEntry e;
        e.entry = n;
        e.callsign = Text(o, QLatin1String("Callsign"));
        e.nearestCity = Text(o, QLatin1String("Nearest City"));
        e.frequency = Text(o, QLatin1String("Frequency"));
        e.inputFrequency = Text(o, QLatin1String("Input Freq"));
        e.uplinkTone = Text(o, QLatin1String("PL"));
        e.downlinkTone = Text(o, QLatin1String("TSQ"));
        e.use = Text(o, QLatin1String("Use"));
        e.status = Text(o, QLatin1String("Operational Status"));
        e.analogFm = Yes(o, QLatin1String("FM Analog"));
        // Any digital mode the directory names, the ones it always carries and others it adds:
        // asked of a repeater without analog FM only, which is all a programmer needs of it.
        for (const char* mode :
             {"DMR", "D-Star", "System Fusion", "APCO P-25", "P-25", "NXDN", "M17", "Tetra"})
            e.digital = e.digital || (!e.analogFm && Yes(o, QLatin1String(mode)));
        e.hasPosition = Coordinate(Text(o, QLatin1String("Lat")), 90, &e.latitude) &&
                        Coordinate(Text(o, QLatin1String("Long")), 180, &e.longitude);
        if (!e.hasPosition)
            e.latitude = e.longitude = 0;
        entries->append(std::move(e));
    }
    return true;
}

double DistanceKm(double lat1, double lon1, double lat2, double lon2) {
    constexpr double kEarthKm = 6371.0;
    constexpr double kRad = M_PI / 180.0;
    const double dLat = (lat2 - lat1) * kRad, dLon = (lon2 - lon1) * kRad;
    const double a =
        std::sin(dLat / 2) * std::sin(dLat / 2) +
        std::cos(lat1 * kRad) * std::cos(lat2 * kRad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthKm * std::asin(std::min(1.0, std::sqrt(a)));
}

bool ParsePoint(const QString& text, double* latitude, double* longitude) {
    const QStringList parts = text.split(QLatin1Char(','));
    return parts.size() == 2 && Coordinate(parts[0].trimmed(), 90, latitude) &&
           Coordinate(parts[1].trimmed(), 180, longitude);
}

double ParseDistanceKm(const QString& text) {
    static const QRegularExpression kDistance(
        QStringLiteral("^\\s*(\\d+(?:\\.\\d*)?|\\.\\d+)\\s*(km|mi)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = kDistance.match(text);
    if (!m.hasMatch())
        return -1;
    constexpr double kMileKm = 1.609344;
    const double value = m.captured(1).toDouble();
    return m.captured(2).compare(QLatin1String("mi"), Qt::CaseInsensitive) == 0 ? value * kMileKm
                                                                                : value;
}

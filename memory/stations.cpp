#include "memory/stations.h"

#include <QRegularExpression>
#include <cmath>

#include "image/memorymap.h"
#include "memory/settings.h"

namespace {

namespace S = MemoryMap::Stations;

int byteAt(const QByteArray& bytes, int at) {
    return at >= 0 && at < bytes.size() ? uchar(bytes[at]) : -1;
}

// Two BCD digits; -1 when either is above 9 or the byte is missing.
int bcd(const QByteArray& bytes, int at) {
    const int b = byteAt(bytes, at);
    return b < 0 || (b >> 4) > 9 || (b & 0x0F) > 9 ? -1 : (b >> 4) * 10 + (b & 0x0F);
}

// The stored callsign: ASCII (objects' names) or an AX.25 address, as the flags say.
QString storedCallsign(const QByteArray& meta, bool ascii) {
    QString call;
    for (int i = 0; i < (ascii ? S::kCallsignSize : 6); ++i) {
        int c = byteAt(meta, S::kCallsignAt + i);
        if (c == 0xFF || c == 0)
            break;
        if (!ascii)
            c >>= 1;
        call += QLatin1Char(c >= 0x20 && c < 0x7F ? char(c) : '?');
    }
    call = call.trimmed();
    const int ssid = (byteAt(meta, S::kCallsignAt + 6) >> 1) & 0x0F;
    return !ascii && ssid && !call.isEmpty() ? call + QLatin1Char('-') + QString::number(ssid)
                                             : call;
}

HeardStation decodeEntry(const QByteArray& meta, const QByteArray& slot, int number) {
    HeardStation s;
    s.slot = number;
    const int year = bcd(meta, S::kDateAt), month = bcd(meta, S::kDateAt + 1),
              day = bcd(meta, S::kDateAt + 2), hour = bcd(meta, S::kTimeAt),
              minute = bcd(meta, S::kTimeAt + 1);
    s.date = year < 0 ? QDate() : QDate(2000 + year, month, day);
    s.time = QTime(hour, minute);
    if (!s.date.isValid() || !s.time.isValid())
        s.missing << QStringLiteral("time received (stored as %1)")
                         .arg(QString::fromLatin1(meta.mid(S::kDateAt, 6).toHex(' ')));
    s.flags = byteAt(meta, S::kFlagsAt);
    s.storedCallsign = storedCallsign(meta, (s.flags >> S::kAsciiCallsignBit) & 1);
    s.length = byteAt(meta, S::kLengthAt) << 8 | byteAt(meta, S::kLengthAt + 1);
    if (s.length > slot.size())
        s.missing << QStringLiteral("packet bytes %1-%2 (the slot holds %3)")
                         .arg(slot.size() + 1)
                         .arg(s.length)
                         .arg(slot.size());
    s.packet = slot.left(std::min<int>(s.length, int(slot.size())));
    s.frame = Aprs::DecodeFrame(s.packet);
    s.report = Aprs::DecodeInfo(s.frame.info, s.frame.destination.call);
    s.missing << s.frame.missing << s.report.missing;
    return s;
}

QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

QString degrees(const std::optional<double>& value) {
    return value ? QString::number(*value, 'f', 5) : QString();
}

// The metadata's time in the zone the radio was set to, as XML writes it.
QString xmlTime(const HeardStation& s, std::optional<int> offset) {
    if (!s.date.isValid() || !s.time.isValid())
        return {};
    QString text = s.date.toString(Qt::ISODate) + QLatin1Char('T') + s.time.toString(Qt::ISODate);
    if (offset)
        text += *offset == 0 ? QStringLiteral("Z")
                             : QStringLiteral("%1%2:%3")
                                   .arg(*offset < 0 ? '-' : '+')
                                   .arg(std::abs(*offset) / 60, 2, 10, QLatin1Char('0'))
                                   .arg(std::abs(*offset) % 60, 2, 10, QLatin1Char('0'));
    return text;
}

QString xmlEscaped(const QString& text) {
    QString out = text.toHtmlEscaped();
    // XML 1.0 has no place for control characters a damaged packet may hold.
    for (QChar& c : out)
        if (c.unicode() < 0x20 && c != QLatin1Char('\t'))
            c = QLatin1Char('?');
    return out;
}

QString symbolText(const Aprs::Report& r) {
    if (!r.symbolCode)
        return {};
    const QString name = Aprs::SymbolName(r.symbolTable, r.symbolCode);
    const QString code = QString(QLatin1Char(r.symbolTable)) + QLatin1Char(r.symbolCode);
    return name.isEmpty() ? code : code + QLatin1Char(' ') + name;
}

// What a map shows a station as: an object or item by its name, anything else by its source.
QString mapName(const HeardStation& s) {
    return s.report.name.isEmpty() ? s.callsign() : s.report.name;
}

QString description(const HeardStation& s) {
    QStringList parts{s.report.typeText()};
    if (!s.summary().isEmpty())
        parts << s.summary();
    if (const QString symbol = Aprs::SymbolName(s.report.symbolTable, s.report.symbolCode);
        !symbol.isEmpty())
        parts << symbol;
    parts << s.frame.monitorText();
    return parts.join(QStringLiteral(" - "));
}

QString cut(QString text, int width) {
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (width <= 0)
        return {};
    return text.size() <= width ? text : text.left(width - 1) + QStringLiteral("\u2026");
}

}  // namespace

QString HeardStation::callsign() const {
    return frame.source.call.isEmpty() ? storedCallsign : frame.source.text();
}

QString HeardStation::received() const {
    if (!date.isValid() || !time.isValid())
        return {};
    return date.toString(Qt::ISODate) + QLatin1Char(' ') + time.toString(QStringLiteral("HH:mm"));
}

QString HeardStation::summary() const {
    QStringList parts;
    if (report.weather.any())
        parts << report.weather.text();
    if (!report.comment.isEmpty())
        parts << report.comment;
    QString text = parts.join(QStringLiteral("; "));
    for (QChar& c : text)
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    return text;
}

QList<HeardStation> HeardStations(const QByteArray& image) {
    const auto model = MemoryMap::ModelOf(image);
    if (!model)
        return {};
    const S::Places places = S::StationPlaces(*model);
    QList<HeardStation> stations;
    for (int n = 0; n < places.count; ++n) {
        const QByteArray meta = image.mid(places.metadataAt(n), S::kMetadataSize);
        if (meta.size() < S::kMetadataSize || uchar(meta[0]) == S::kUnused)
            continue;
        stations << decodeEntry(meta, image.mid(places.packetAt(n), places.packetSize), n + 1);
    }
    return stations;
}

std::optional<GeoPoint> RadioPosition(const QByteArray& image) {
    const auto model = MemoryMap::ModelOf(image);
    if (!model)
        return std::nullopt;
    double values[2] = {0, 0};
    const MemoryMap::Setting settings[] = {MemoryMap::Setting::Latitude,
                                           MemoryMap::Setting::Longitude};
    for (int i = 0; i < 2; ++i) {
        const auto field = MemoryMap::SettingField(*model, settings[i]);
        if (!field)
            return std::nullopt;
        const int at = field->at(), sign = byteAt(image, at), deg = byteAt(image, at + 1),
                  min = byteAt(image, at + 2), sec = byteAt(image, at + 3);
        if (sec < 0 || deg > (i ? 180 : 90) || min > 59 || sec > 59)
            return std::nullopt;
        values[i] = (deg + min / 60.0 + sec / 3600.0) * (sign & 1 ? -1 : 1);
        if (std::abs(values[i]) > (i ? 180 : 90))
            return std::nullopt;
    }
    if (values[0] == 0 && values[1] == 0)
        return std::nullopt;
    return GeoPoint{values[0], values[1]};
}

std::optional<int> RadioUtcOffset(const QByteArray& image) {
    const auto model = MemoryMap::ModelOf(image);
    const SettingRow* row = model ? FindSetting(*model, QStringLiteral("aprs.time_zone")) : nullptr;
    if (!row)
        return std::nullopt;
    static const QRegularExpression kZone(QStringLiteral("^([+-])(\\d\\d):(\\d\\d)$"));
    const QRegularExpressionMatch m = kZone.match(SettingText(image, *row));
    if (!m.hasMatch())
        return std::nullopt;
    const int minutes = m.captured(2).toInt() * 60 + m.captured(3).toInt();
    return m.captured(1) == QLatin1String("-") ? -minutes : minutes;
}

std::optional<Aprs::Leg> LegTo(const std::optional<GeoPoint>& from, const HeardStation& s) {
    if (!from || !s.report.latitude || !s.report.longitude)
        return std::nullopt;
    return Aprs::DistanceBearing(from->latitude, from->longitude, *s.report.latitude,
                                 *s.report.longitude);
}

std::optional<GeoPoint> ParseGeoPoint(const QString& text, QString* why) {
    const QStringList parts = text.split(QLatin1Char(','));
    bool okLat = false, okLon = false;
    const double lat = parts.value(0).trimmed().toDouble(&okLat);
    const double lon = parts.value(1).trimmed().toDouble(&okLon);
    if (parts.size() != 2 || !okLat || !okLon) {
        *why = QStringLiteral(
                   "\"%1\" is not a position: give LAT,LON in decimal degrees, "
                   "south and west negative (40.7481,-74.0014)")
                   .arg(text);
        return std::nullopt;
    }
    if (std::abs(lat) > 90 || std::abs(lon) > 180) {
        *why = QStringLiteral(
                   "\"%1\" is not a position: the latitude goes to 90 and the "
                   "longitude to 180 degrees")
                   .arg(text);
        return std::nullopt;
    }
    return GeoPoint{lat, lon};
}

QString LegText(const Aprs::Leg& leg) {
    return QStringLiteral("%1 km %2° %3")
        .arg(leg.km, 0, 'f', leg.km < 100 ? 1 : 0)
        .arg(std::lround(leg.bearing) % 360)
        .arg(Aprs::CompassPoint(leg.bearing));
}

QString StationsCsv(const QList<HeardStation>& stations, const std::optional<GeoPoint>& near) {
    QStringList lines{QStringLiteral(
        "Slot,Received,Callsign,Stored as,Destination,Path,Type,Name,Symbol,Symbol name,"
        "Latitude,Longitude,Precision deg,Distance km,Bearing,Speed km/h,Course,Altitude m,"
        "Weather,Comment,Problems,Packet")};
    for (const HeardStation& s : stations) {
        const Aprs::Report& r = s.report;
        const auto leg = LegTo(near, s);
        const QString symbol = r.symbolCode
                                   ? QString(QLatin1Char(r.symbolTable)) + QLatin1Char(r.symbolCode)
                                   : QString();
        QStringList row{QString::number(s.slot),
                        s.received(),
                        s.callsign(),
                        s.storedCallsign,
                        s.frame.destination.text(),
                        s.frame.pathText(),
                        Aprs::KindName(r.kind),
                        r.name,
                        symbol,
                        Aprs::SymbolName(r.symbolTable, r.symbolCode),
                        degrees(r.latitude),
                        degrees(r.longitude),
                        r.latitude ? QString::number(r.precision, 'g', 4) : QString(),
                        leg ? QString::number(leg->km, 'f', 2) : QString(),
                        leg ? QString::number(std::lround(leg->bearing) % 360) : QString(),
                        r.speedKnots ? QString::number(*r.speedKnots * 1.852, 'f', 1) : QString(),
                        r.course ? QString::number(*r.course) : QString(),
                        r.altitudeMetres ? QString::number(*r.altitudeMetres, 'f', 0) : QString(),
                        r.weather.text(),
                        r.comment,
                        s.missing.join(QStringLiteral("; ")),
                        s.frame.monitorText()};
        for (QString& field : row)
            field = csvField(field);
        lines << row.join(QLatin1Char(','));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString StationsGpx(const QList<HeardStation>& stations, std::optional<int> utcOffsetMinutes) {
    QString out = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"Quorlink\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n");
    for (const HeardStation& s : stations) {
        const Aprs::Report& r = s.report;
        if (!r.latitude || !r.longitude)
            continue;
        out += QStringLiteral("  <wpt lat=\"%1\" lon=\"%2\">\n")
                   .arg(*r.latitude, 0, 'f', 6)
                   .arg(*r.longitude, 0, 'f', 6);
        if (r.altitudeMetres)
            out += QStringLiteral("    <ele>%1</ele>\n").arg(*r.altitudeMetres, 0, 'f', 0);
        if (const QString time = xmlTime(s, utcOffsetMinutes); !time.isEmpty())
            out += QStringLiteral("    <time>%1</time>\n").arg(time);
        out += QStringLiteral("    <name>%1</name>\n").arg(xmlEscaped(mapName(s)));
        out += QStringLiteral("    <desc>%1</desc>\n").arg(xmlEscaped(description(s)));
        if (const QString symbol = symbolText(r); !symbol.isEmpty())
            out += QStringLiteral("    <sym>%1</sym>\n").arg(xmlEscaped(symbol));
        out += QStringLiteral("  </wpt>\n");
    }
    return out + QStringLiteral("</gpx>\n");
}

QString StationsKml(const QList<HeardStation>& stations, std::optional<int> utcOffsetMinutes) {
    QString out = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n"
        "  <name>Heard stations</name>\n");
    for (const HeardStation& s : stations) {
        const Aprs::Report& r = s.report;
        if (!r.latitude || !r.longitude)
            continue;
        out += QStringLiteral("  <Placemark>\n    <name>%1</name>\n").arg(xmlEscaped(mapName(s)));
        out +=
            QStringLiteral("    <description>%1</description>\n").arg(xmlEscaped(description(s)));
        if (const QString time = xmlTime(s, utcOffsetMinutes); !time.isEmpty())
            out += QStringLiteral("    <TimeStamp><when>%1</when></TimeStamp>\n").arg(time);
        out += QStringLiteral("    <Point><coordinates>%1,%2%3</coordinates></Point>\n")
                   .arg(*r.longitude, 0, 'f', 6)
                   .arg(*r.latitude, 0, 'f', 6)
                   .arg(r.altitudeMetres ? QStringLiteral(",%1").arg(*r.altitudeMetres, 0, 'f', 0)
                                         : QString());
        out += QStringLiteral("  </Placemark>\n");
    }
    return out + QStringLiteral("</Document>\n</kml>\n");
}

QString StationsTable(const QList<HeardStation>& stations, const std::optional<GeoPoint>& near,
                      int width) {
    const auto line = [&](const QString& slot, const QString& time, const QString& call,
                          const QString& type, const QString& position, const QString& leg,
                          const QString& comment) {
        const QString head = slot.rightJustified(4) + QLatin1String("  ") + time.leftJustified(16) +
                             QLatin1String("  ") + call.leftJustified(9) + QLatin1String("  ") +
                             cut(type, 22).leftJustified(22) + QLatin1String("  ") +
                             position.leftJustified(20) + QLatin1String("  ") +
                             leg.leftJustified(17);
        QString text = head + QLatin1String("  ") + cut(comment, width - int(head.size()) - 2);
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        return text;
    };
    QStringList lines{line(QStringLiteral("Slot"), QStringLiteral("Received"),
                           QStringLiteral("Callsign"), QStringLiteral("Type"),
                           QStringLiteral("Position"), QStringLiteral("Distance"),
                           QStringLiteral("Comment"))};
    for (const HeardStation& s : stations) {
        const Aprs::Report& r = s.report;
        const QString position =
            r.latitude && r.longitude
                ? QStringLiteral("%1 %2").arg(*r.latitude, 0, 'f', 4).arg(*r.longitude, 0, 'f', 4)
                : QString();
        const auto leg = LegTo(near, s);
        QString comment = s.summary();
        if (!s.missing.isEmpty())
            comment += (comment.isEmpty() ? QString() : QStringLiteral(" ")) +
                       QStringLiteral("[missing: %1]").arg(s.missing.join(QStringLiteral("; ")));
        lines << line(QString::number(s.slot), s.received(), s.callsign(), r.typeText(), position,
                      leg ? LegText(*leg) : QString(), comment);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

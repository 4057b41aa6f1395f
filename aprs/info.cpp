#include <QRegularExpression>
#include <cmath>

#include "aprs/aprs.h"

namespace Aprs {

namespace {

constexpr double kFeetToMetres = 0.3048;

// The information field with bounds-checked reads: a read outside it gives -1.
struct Field {
    const QByteArray& bytes;
    int at(int i) const { return i >= 0 && i < bytes.size() ? uchar(bytes[i]) : -1; }
    bool digit(int i) const { return at(i) >= '0' && at(i) <= '9'; }
    // The `n` characters from `pos` as a number; none when any is not a digit.
    std::optional<int> number(int pos, int n) const {
        int value = 0;
        for (int i = pos; i < pos + n; ++i) {
            if (!digit(i))
                return std::nullopt;
            value = value * 10 + at(i) - '0';
        }
        return value;
    }
    QString text(int pos, int n = -1) const {
        return pos >= bytes.size() ? QString() : QString::fromLatin1(bytes.mid(pos, n));
    }
    int size() const { return int(bytes.size()); }
};

bool base91(int c) {
    return c >= 33 && c <= 124;
}

bool symbolTable(int c) {
    return c == '/' || c == '\\' || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// "092345z", "092345/" (day, hours, minutes) or "234517h" (hours, minutes, seconds).
bool timestampAt(const Field& f, int pos) {
    const int end = f.at(pos + 6);
    return f.number(pos, 6) && (end == 'z' || end == '/' || end == 'h');
}

// Degrees of latitude a position is known to, by the digits left blank.
constexpr double kPrecision[] = {1.0 / 6000, 1.0 / 600, 1.0 / 60, 1.0 / 6, 1.0};

// A latitude "DDMM.hhN" or longitude "DDDMM.hhW" of `degreeDigits`; the ambiguity's blanks,
// rightmost digits first, are read as zero. Sets `*blanks` to their number.
std::optional<double> angle(const Field& f, int pos, int degreeDigits, const char* hemispheres,
                            int* blanks) {
    QByteArray text = f.bytes.mid(pos, degreeDigits + 6);
    if (text.size() < degreeDigits + 6 || text[degreeDigits + 2] != '.')
        return std::nullopt;
    const int order[] = {degreeDigits + 4, degreeDigits + 3, degreeDigits + 1, degreeDigits};
    *blanks = 0;
    for (int i : order) {
        if (text[i] != ' ')
            break;
        text[i] = '0';
        ++*blanks;
    }
    const Field g{text};
    const auto degrees = g.number(0, degreeDigits), minutes = g.number(degreeDigits, 2),
               hundredths = g.number(degreeDigits + 3, 2);
    const int hemisphere = g.at(degreeDigits + 5);
    const bool negative = hemisphere == hemispheres[1];
    const int most = degreeDigits == 2 ? 90 : 180;
    if (!degrees || !minutes || !hundredths || *minutes >= 60 ||
        (hemisphere != hemispheres[0] && !negative))
        return std::nullopt;
    const double value = *degrees + (*minutes + *hundredths / 100.0) / 60.0;
    if (value > most)
        return std::nullopt;
    return negative ? -value : value;
}

// Speed and course "ddd/ddd" (for a weather station: wind direction and speed).
void courseSpeed(const Field& f, int pos, Report& r) {
    const auto course = f.number(pos, 3), speed = f.number(pos + 4, 3);
    if (f.at(pos + 3) != '/' || !course || !speed)
        return;
    if (r.symbolCode == '_') {
        r.weather.windDirection = *course;
        r.weather.windMph = *speed;
        return;
    }
    if (*course >= 1 && *course <= 360)
        r.course = *course;
    r.speedKnots = *speed;
}

// The weather fields "g005t077r000p000P000h50b09900"; a field sent as dots or spaces is
// unknown. Returns where the fields end.
int weatherFields(const Field& f, int pos, Report& r, bool positionless) {
    struct Kind {
        char letter;
        int width;
    };
    static constexpr Kind kKinds[] = {{'c', 3}, {'s', 3}, {'g', 3}, {'t', 3}, {'r', 3}, {'p', 3},
                                      {'P', 3}, {'h', 2}, {'b', 5}, {'L', 3}, {'l', 3}, {'#', 3}};
    Weather& w = r.weather;
    for (;;) {
        const Kind* kind = nullptr;
        for (const Kind& k : kKinds)
            if (f.at(pos) == k.letter)
                kind = &k;
        if (!kind)
            return pos;
        const QString text = f.text(pos + 1, kind->width);
        if (text.size() < kind->width)
            return pos;
        bool ok = false;
        const int value = text.toInt(&ok);
        const bool unknown =
            text.trimmed().isEmpty() || text.count(QLatin1Char('.')) == text.size();
        if (!ok && !unknown)
            return pos;
        if (ok) {
            switch (kind->letter) {
                case 'c':
                    w.windDirection = value;
                    break;
                case 's':
                    if (positionless)
                        w.windMph = value;
                    break;
                case 'g':
                    w.gustMph = value;
                    break;
                case 't':
                    w.temperatureF = value;
                    break;
                case 'r':
                    w.rainHourIn = value / 100.0;
                    break;
                case 'p':
                    w.rain24hIn = value / 100.0;
                    break;
                case 'P':
                    w.rainMidnightIn = value / 100.0;
                    break;
                case 'h':
                    w.humidity = value == 0 ? 100 : value;
                    break;
                case 'b':
                    w.pressureHpa = value / 10.0;
                    break;
                default:
                    break;
            }
        }
        pos += 1 + kind->width;
    }
}

// "/A=001234" in a comment: the altitude in feet, taken out of the comment.
void altitudeInComment(Report& r) {
    static const QRegularExpression kAltitude(QStringLiteral("/A=(-?\\d{5,6})"));
    const QRegularExpressionMatch m = kAltitude.match(r.comment);
    if (!m.hasMatch())
        return;
    r.altitudeMetres = m.captured(1).toInt() * kFeetToMetres;
    r.comment = r.comment.remove(m.capturedStart(), m.capturedLength()).trimmed();
}

// The comment after a position, with its course and speed, weather or altitude.
void afterPosition(const Field& f, int pos, Report& r) {
    if (!r.compressed)
        courseSpeed(f, pos, r);
    if (f.at(pos + 3) == '/' && f.number(pos, 3) && f.number(pos + 4, 3))
        pos += 7;
    if (r.symbolCode == '_') {
        pos = weatherFields(f, pos, r, false);
        if (r.weather.any() && r.kind == Kind::Position)
            r.kind = Kind::Weather;
    }
    r.comment = f.text(pos).trimmed();
    altitudeInComment(r);
}

// "4903.50N/07201.75W-": latitude, symbol table, longitude, symbol code.
int uncompressed(const Field& f, int pos, Report& r) {
    int blanks = 0, lonBlanks = 0;
    const auto latitude = angle(f, pos, 2, "NS", &blanks);
    if (!latitude) {
        r.missing << (f.size() < pos + 8
                          ? QStringLiteral("latitude")
                          : QStringLiteral("latitude (\"%1\" is not one)").arg(f.text(pos, 8)));
        return -1;
    }
    r.symbolTable = char(std::max(0, f.at(pos + 8)));
    if (!symbolTable(f.at(pos + 8)))
        r.missing << QStringLiteral("symbol table");
    // The longitude's blanks are read as zero too; the latitude's say how precise both are.
    const QByteArray lon = f.bytes.mid(pos + 9, 9);
    const auto longitude = angle(Field{lon}, 0, 3, "EW", &lonBlanks);
    if (!longitude) {
        r.missing
            << (f.size() < pos + 18
                    ? QStringLiteral("longitude")
                    : QStringLiteral("longitude (\"%1\" is not one)").arg(f.text(pos + 9, 9)));
        return -1;
    }
    r.latitude = latitude;
    r.longitude = longitude;
    r.ambiguity = blanks;
    r.precision = kPrecision[blanks];
    if (f.at(pos + 18) < 0) {
        r.missing << QStringLiteral("symbol code");
        return f.size();
    }
    r.symbolCode = char(f.at(pos + 18));
    return pos + 19;
}

// 13 characters: symbol table, latitude and longitude in base 91, symbol code, then
// course and speed (or altitude, or range) and the compression type.
int compressed(const Field& f, int pos, Report& r) {
    for (int i = 1; i <= 8; ++i)
        if (!base91(f.at(pos + i))) {
            r.missing << (f.at(pos + i) < 0
                              ? QStringLiteral("compressed position (cut short)")
                              : QStringLiteral("compressed position (\"%1\" is not one)")
                                    .arg(f.text(pos + 1, 8)));
            return -1;
        }
    const auto value = [&](int from) {
        double v = 0;
        for (int i = from; i < from + 4; ++i)
            v = v * 91 + (f.at(i) - 33);
        return v;
    };
    r.compressed = true;
    r.latitude = 90.0 - value(pos + 1) / 380926.0;
    r.longitude = -180.0 + value(pos + 5) / 190463.0;
    const int table = f.at(pos);
    r.symbolTable = char(table >= 'a' && table <= 'j' ? table - 'a' + '0' : table);
    if (f.at(pos + 9) < 0) {
        r.missing << QStringLiteral("symbol code");
        return f.size();
    }
    r.symbolCode = char(f.at(pos + 9));
    const int c = f.at(pos + 10), s = f.at(pos + 11), t = f.at(pos + 12);
    if (t < 0) {
        r.missing << QStringLiteral("compressed course, speed and type");
        return f.size();
    }
    if (c != ' ' && base91(c) && base91(s) && base91(t)) {
        if (((t - 33) & 0x18) == 0x10)
            r.altitudeMetres = std::pow(1.002, (c - 33) * 91 + (s - 33)) * kFeetToMetres;
        else if (c - 33 <= 89) {
            const int course = (c - 33) * 4;
            if (course > 0)
                r.course = course;
            r.speedKnots = std::pow(1.08, s - 33) - 1;
        }
    }
    return pos + 13;
}

// A position of either kind at `pos`; false when there is none.
bool position(const Field& f, int pos, Report& r) {
    if (f.at(pos) < 0) {
        r.missing << QStringLiteral("position");
        return false;
    }
    const int end =
        f.digit(pos) || f.at(pos) == ' ' ? uncompressed(f, pos, r) : compressed(f, pos, r);
    if (end < 0)
        return false;
    afterPosition(f, end, r);
    return true;
}

void timestamp(const Field& f, int pos, Report& r) {
    if (timestampAt(f, pos))
        r.timestamp = f.text(pos, 7);
    else
        r.missing << (f.size() < pos + 7
                          ? QStringLiteral("time stamp")
                          : QStringLiteral("time stamp (\"%1\" is not one)").arg(f.text(pos, 7)));
}

// Mic-E: the latitude, message bits and longitude offsets in the destination's six
// characters, the longitude, speed, course and symbol in the field's next eight.
void micE(const Field& f, const QString& destination, Report& r) {
    r.kind = Kind::MicE;
    const QByteArray d = destination.toLatin1().left(6);
    if (d.size() < 6) {
        r.missing << QStringLiteral("latitude (destination \"%1\" is too short for Mic-E)")
                         .arg(destination);
    }
    int standard = 0, custom = 0, bits = 0, blanks = 0;
    QByteArray digits;
    for (int i = 0; i < d.size(); ++i) {
        const char c = d[i];
        char digit = 0;
        bool one = false;
        if (c >= '0' && c <= '9')
            digit = c;
        else if (c >= 'A' && c <= 'J')
            digit = char(c - 'A' + '0'), one = true, ++custom;
        else if (c >= 'P' && c <= 'Y')
            digit = char(c - 'P' + '0'), one = true, ++standard;
        else if (c == 'K' || c == 'L' || c == 'Z') {
            digit = ' ';
            one = c != 'L';
            custom += c == 'K';
            standard += c == 'Z';
        } else {
            r.missing
                << QStringLiteral("latitude (destination \"%1\" is not Mic-E)").arg(destination);
            digits.clear();
            break;
        }
        if (i < 3)
            bits = bits * 2 + (one ? 1 : 0);
        digits += digit;
    }
    if (d.size() == 6 && digits.size() == 6) {
        static const char* const kStandard[] = {"Emergency", "Priority",   "Special",  "Committed",
                                                "Returning", "In Service", "En Route", "Off Duty"};
        if (custom && standard)
            r.micEMessage = QStringLiteral("Unknown");
        else if (bits == 0)
            r.micEMessage = QStringLiteral("Emergency");
        else
            r.micEMessage = custom ? QStringLiteral("Custom-%1").arg(7 - bits)
                                   : QString::fromLatin1(kStandard[bits]);
        for (int i = 5; i >= 0 && digits[i] == ' ' && i != 1 && i != 0; --i)
            digits[i] = '0', ++blanks;
        const Field g{digits};
        const auto deg = g.number(0, 2), min = g.number(2, 2), hun = g.number(4, 2);
        if (deg && min && hun && *deg <= 90 && *min < 60) {
            const double lat = *deg + (*min + *hun / 100.0) / 60.0;
            r.latitude = (d[3] >= 'P' && d[3] <= 'Z') ? lat : -lat;
            r.ambiguity = blanks;
            r.precision = kPrecision[blanks];
        } else
            r.missing
                << QStringLiteral("latitude (destination \"%1\" is not one)").arg(destination);
    }
    if (f.size() < 9) {
        r.missing << QStringLiteral(
                         "longitude, speed, course and symbol (the field ends after %1 bytes)")
                         .arg(f.size());
        r.latitude.reset();
        return;
    }
    int degrees = f.at(1) - 28;
    if (d.size() == 6 && d[4] >= 'P' && d[4] <= 'Z')
        degrees += 100;
    if (degrees >= 180 && degrees <= 189)
        degrees -= 80;
    else if (degrees >= 190 && degrees <= 199)
        degrees -= 190;
    int minutes = f.at(2) - 28;
    if (minutes >= 60)
        minutes -= 60;
    int hundredths = f.at(3) - 28;
    if (degrees < 0 || degrees > 179 || minutes < 0 || minutes >= 60 || hundredths < 0 ||
        hundredths > 99) {
        r.missing << QStringLiteral("longitude (bytes out of range)");
        r.latitude.reset();
    } else if (r.latitude) {
        const double lon = degrees + (minutes + hundredths / 100.0) / 60.0;
        r.longitude = (d[5] >= 'P' && d[5] <= 'Z') ? -lon : lon;
    }
    int speed = (f.at(4) - 28) * 10 + (f.at(5) - 28) / 10;
    int course = ((f.at(5) - 28) % 10) * 100 + (f.at(6) - 28);
    if (speed >= 800)
        speed -= 800;
    if (course >= 400)
        course -= 400;
    if (speed >= 0 && speed < 800)
        r.speedKnots = speed;
    if (course >= 1 && course <= 360)
        r.course = course;
    r.symbolCode = char(f.at(7));
    r.symbolTable = char(f.at(8));
    int pos = 9;
    if (f.at(pos) == '>' || f.at(pos) == ']' || f.at(pos) == '`' || f.at(pos) == '\'')
        ++pos;
    if (f.at(pos + 3) == '}' && base91(f.at(pos)) && base91(f.at(pos + 1)) &&
        base91(f.at(pos + 2))) {
        r.altitudeMetres =
            (f.at(pos) - 33) * 8281 + (f.at(pos + 1) - 33) * 91 + (f.at(pos + 2) - 33) - 10000;
        pos += 4;
    }
    r.comment = f.text(pos).trimmed();
}

void message(const Field& f, Report& r) {
    if (f.size() < 11 || f.at(10) != ':') {
        r.kind = Kind::Message;
        r.missing << QStringLiteral("addressee (nine characters and ':')");
        r.comment = f.text(1);
        return;
    }
    r.addressee = f.text(1, 9).trimmed();
    QString text = f.text(11);
    static const QRegularExpression kReply(QStringLiteral("^(ack|rej)([A-Za-z0-9}]{1,5})\\s*$"));
    if (const QRegularExpressionMatch m = kReply.match(text); m.hasMatch()) {
        r.kind = m.captured(1) == QLatin1String("ack") ? Kind::Ack : Kind::Reject;
        r.messageId = m.captured(2);
        return;
    }
    r.kind = r.addressee.startsWith(QLatin1String("BLN")) ? Kind::Bulletin : Kind::Message;
    if (const qsizetype brace = text.lastIndexOf(QLatin1Char('{'));
        brace >= 0 && text.size() - brace <= 6) {
        r.messageId = text.mid(brace + 1).trimmed();
        text.truncate(brace);
    }
    r.comment = text;
}

void object(const Field& f, Report& r) {
    r.kind = Kind::Object;
    r.name = f.text(1, 9).trimmed();
    const int state = f.at(10);
    if (state != '*' && state != '_') {
        r.missing << (state < 0 ? QStringLiteral("object name and state")
                                : QStringLiteral("object state ('*' or '_')"));
        return;
    }
    r.killed = state == '_';
    timestamp(f, 11, r);
    position(f, 18, r);
}

void item(const Field& f, Report& r) {
    r.kind = Kind::Item;
    int end = -1;
    for (int i = 4; i <= 10 && end < 0; ++i)
        if (f.at(i) == '!' || f.at(i) == '_')
            end = i;
    if (end < 0) {
        r.missing << QStringLiteral("item name and state ('!' or '_' after 3-9 characters)");
        r.name = f.text(1, 9);
        return;
    }
    r.name = f.text(1, end - 1).trimmed();
    r.killed = f.at(end) == '_';
    position(f, end + 1, r);
}

}  // namespace

bool Weather::any() const {
    return windDirection || windMph || gustMph || temperatureF || rainHourIn || rain24hIn ||
           rainMidnightIn || humidity || pressureHpa;
}

QString Weather::text() const {
    QStringList parts;
    if (windDirection || windMph)
        parts << QStringLiteral("wind %1%2")
                     .arg(windDirection ? QStringLiteral("%1° ").arg(*windDirection) : QString())
                     .arg(windMph ? QStringLiteral("%1 mph").arg(*windMph) : QString())
                     .trimmed();
    if (gustMph)
        parts << QStringLiteral("gust %1 mph").arg(*gustMph);
    if (temperatureF)
        parts << QStringLiteral("%1°F").arg(*temperatureF);
    if (rainHourIn)
        parts << QStringLiteral("rain %1 in (1 h)").arg(*rainHourIn, 0, 'f', 2);
    if (rain24hIn)
        parts << QStringLiteral("rain %1 in (24 h)").arg(*rain24hIn, 0, 'f', 2);
    if (rainMidnightIn)
        parts << QStringLiteral("rain %1 in (since midnight)").arg(*rainMidnightIn, 0, 'f', 2);
    if (humidity)
        parts << QStringLiteral("humidity %1%").arg(*humidity);
    if (pressureHpa)
        parts << QStringLiteral("%1 hPa").arg(*pressureHpa, 0, 'f', 1);
    return parts.join(QStringLiteral(", "));
}

QString KindName(Kind kind) {
    static const char* const kNames[] = {
        "Position", "Mic-E",    "Object",       "Item",      "Weather", "Status", "Message", "Ack",
        "Reject",   "Bulletin", "Capabilities", "Telemetry", "Query",   "Other",  "Empty"};
    return QString::fromLatin1(kNames[int(kind)]);
}

QString Report::typeText() const {
    QString text = KindName(kind);
    if (!name.isEmpty())
        text += QLatin1Char(' ') + name;
    if (killed)
        text += QStringLiteral(" (killed)");
    if (kind == Kind::MicE && !micEMessage.isEmpty())
        text += QLatin1Char(' ') + micEMessage;
    if (kind == Kind::Position && compressed)
        text += QStringLiteral(" (compressed)");
    if ((kind == Kind::Message || kind == Kind::Ack || kind == Kind::Reject) &&
        !addressee.isEmpty())
        text += QStringLiteral(" to ") + addressee;
    return text;
}

Report DecodeInfo(const QByteArray& info, const QString& destination) {
    const Field f{info};
    Report r;
    const int type = f.at(0);
    switch (type) {
        case -1:
            r.missing << QStringLiteral("information field");
            return r;
        case '!':
        case '=':
            r.kind = Kind::Position;
            r.messaging = type == '=';
            position(f, 1, r);
            return r;
        case '/':
        case '@':
            r.kind = Kind::Position;
            r.messaging = type == '@';
            timestamp(f, 1, r);
            position(f, 8, r);
            return r;
        case '`':
        case '\'':
        case 0x1C:
        case 0x1D:
            micE(f, destination, r);
            return r;
        case ';':
            object(f, r);
            return r;
        case ')':
            item(f, r);
            return r;
        case ':':
            message(f, r);
            return r;
        case '>':
            r.kind = Kind::Status;
            if (f.at(7) == 'z' && timestampAt(f, 1)) {
                r.timestamp = f.text(1, 7);
                r.comment = f.text(8);
            } else
                r.comment = f.text(1);
            return r;
        case '_': {
            r.kind = Kind::Weather;
            if (f.number(1, 8))
                r.timestamp = f.text(1, 8);
            else
                r.missing << QStringLiteral("time stamp (MMDDHHMM)");
            const int end = weatherFields(f, 9, r, true);
            r.comment = f.text(end).trimmed();
            if (!r.weather.any())
                r.missing << QStringLiteral("weather values");
            return r;
        }
        case '#':
        case '*':
            // A weather station's own format, kept as sent.
            r.kind = Kind::Weather;
            r.comment = f.text(0);
            return r;
        case '<':
            r.kind = Kind::Capabilities;
            r.comment = f.text(1);
            return r;
        case 'T':
            r.kind = Kind::Telemetry;
            r.comment = f.text(1);
            return r;
        case '?':
            r.kind = Kind::Query;
            r.comment = f.text(1);
            return r;
        default:
            r.kind = Kind::Other;
            r.comment = f.text(0);
            return r;
    }
}

}  // namespace Aprs

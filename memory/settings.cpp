#include "memory/settings.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include "memory/channelname.h"

using MemoryMap::Codec;
using MemoryMap::Field;
using MemoryMap::Model;
using S = MemoryMap::Setting;
using K = SettingKind;

namespace {

// One setting as the tables give it; an array field gives one row per element (or per
// `per` elements: the two hops of each of the paths 4-7), numbered from `first` in place
// of the '#' in its key.
struct Def {
    const char* key;
    S setting;
    K kind;
    const char* values = "";        // List: the labels split at '|' ("@name": built below);
                                    // Number: "low|high"; Position: "N|S" or "E|W"
    const char* valuesR = nullptr;  // the VX-8R's list, where it differs
    const char* unproven = nullptr;
    bool unprovenOnROnly = false;
    int per = 1;
    int first = 1;
};

constexpr const char* kOffOn = "off|on";
constexpr const char* kFlash = "@flash";

const Def kDefs[] = {
    {"aprs.callsign", S::Callsign, K::Callsign},
    {"aprs.ssid", S::Ssid, K::Number, "0|15"},
    {"aprs.position_comment", S::PositionComment, K::List,
     "off duty|en route|in service|returning|committed|special|priority|custom 0|custom 1|"
     "custom 2|custom 3|custom 4|custom 5|custom 6|emergency"},
    {"aprs.latitude", S::Latitude, K::Position, "N|S"},
    {"aprs.longitude", S::Longitude, K::Position, "E|W"},
    {"aprs.time_source", S::TimeSource, K::List, "manual|GPS"},
    {"aprs.time_zone", S::TimeZone, K::List, "@zone"},
    {"aprs.speed_unit", S::SpeedUnit, K::List, "km/h|knot|mph"},
    {"aprs.gps_speed_unit", S::GpsSpeedUnit, K::List, "km/h|knot|mph"},
    {"aprs.altitude_unit", S::AltitudeUnit, K::List, "m|ft"},
    {"aprs.gps_altitude_unit", S::GpsAltitudeUnit, K::List, "m|ft"},
    {"aprs.distance_unit", S::DistanceUnit, K::List, "km|mile"},
    {"aprs.position_format", S::PositionFormat, K::List, "dd°mm.mm'|dd°mm'ss\""},
    {"aprs.gps_position_format", S::GpsPositionFormat, K::List, "dd°mm.mm'|dd°mm'ss\""},
    {"aprs.wind_unit", S::WindUnit, K::List, "m/s|mph"},
    {"aprs.rain_unit", S::RainUnit, K::List, "mm|inch"},
    {"aprs.temperature_unit", S::TemperatureUnit, K::List, "°C|°F"},
    {"aprs.symbol", S::Symbol, K::List, "person|bicycle|car|user-selected", nullptr,
     "where the VX-8R keeps it is not proven", true},
    {"aprs.user_symbol", S::UserSymbol, K::Raw, "", nullptr, "its encoding is not known"},
    {"aprs.position_source", S::PositionSource, K::List, "@source", nullptr,
     "what its two manual values mean is not known"},
    {"aprs_rx.modem", S::Modem, K::List, "off|1200 bd|9600 bd"},
    {"aprs_rx.mute", S::Mute, K::List, kOffOn},
    {"aprs_rx.af_dual", S::AfDual, K::List, kOffOn},
    {"aprs_rx.ring_message", S::RingMessage, K::List, kOffOn},
    {"aprs_rx.ring_beacon", S::RingBeacon, K::List, kOffOn},
    {"aprs_rx.receive_mic_e", S::ReceiveMicE, K::List, kOffOn},
    {"aprs_rx.receive_position", S::ReceivePosition, K::List, kOffOn},
    {"aprs_rx.receive_weather", S::ReceiveWeather, K::List, kOffOn},
    {"aprs_rx.receive_object", S::ReceiveObject, K::List, kOffOn},
    {"aprs_rx.receive_item", S::ReceiveItem, K::List, kOffOn},
    {"aprs_rx.receive_status", S::ReceiveStatus, K::List, kOffOn},
    {"aprs_rx.receive_other", S::ReceiveOther, K::List, kOffOn},
    {"aprs_rx.flash_message", S::FlashMessage, K::List, kFlash, kOffOn},
    {"aprs_rx.flash_group", S::FlashGroup, K::List, kFlash, kOffOn},
    {"aprs_rx.flash_bulletin", S::FlashBulletin, K::List, kFlash, kOffOn},
    {"aprs_rx.vibrate_message", S::VibrateMessage, K::List, kFlash},
    {"aprs_rx.vibrate_group", S::VibrateGroup, K::List, kFlash},
    {"aprs_rx.vibrate_bulletin", S::VibrateBulletin, K::List, kFlash},
    {"aprs_rx.message_group_#", S::MessageGroup, K::Text},
    {"aprs_rx.selected_message_group", S::SelectedMessageGroup, K::List, "1|2|3|4|5|6|7|8"},
    {"aprs_tx.beacon_mode", S::BeaconByInterval, K::List, "off|interval|SmartBeaconing",
     "off|interval"},
    {"aprs_tx.tx_delay", S::TxDelay, K::List,
     "100 ms|150 ms|200 ms|250 ms|300 ms|400 ms|500 ms|750 ms|1000 ms",
     "100 ms|200 ms|300 ms|400 ms|500 ms|750 ms|1000 ms"},
    {"aprs_tx.beacon_interval", S::BeaconInterval, K::List,
     "15 s|30 s|1 min|2 min|3 min|5 min|10 min|15 min|30 min"},
    {"aprs_tx.status_text_#", S::StatusText, K::Text},
    {"aprs_tx.selected_status_text", S::SelectedStatusText, K::List, "1|2|3|4|5"},
    {"aprs_tx.macro_#", S::Macro, K::Text},
    {"aprs_tx.digi_path_#", S::DigiPaths4To7, K::DigiPath, "", nullptr, nullptr, false, 2, 4},
    {"aprs_tx.digi_path_8", S::DigiPath8, K::DigiPath, "", nullptr, nullptr, false, 8},
    {"aprs_tx.selected_digi_path", S::SelectedDigiPath, K::List,
     "off|WIDE1-1|WIDE1-1,WIDE2-1|path 4|path 5|path 6|path 7|path 8",
     "off|WIDE1-1|WIDE1-1,WIDE2-1|||||path 8"},
    {"smartbeacon.profile", S::SmartProfile, K::List, "off|type 1|type 2|type 3"},
    {"smartbeacon.type_#_low_speed", S::SmartLowSpeed, K::Number, "2|30"},
    {"smartbeacon.type_#_high_speed", S::SmartHighSpeed, K::Number, "3|70"},
    {"smartbeacon.type_#_slow_rate", S::SmartSlowRate, K::Number, "1|100"},
    {"smartbeacon.type_#_fast_rate", S::SmartFastRate, K::Number, "10|180"},
    {"smartbeacon.type_#_turn_angle", S::SmartTurnAngle, K::Number, "5|90"},
    {"smartbeacon.type_#_turn_slope", S::SmartTurnSlope, K::Number, "1|255"},
    {"smartbeacon.type_#_turn_time", S::SmartTurnTime, K::Number, "5|180"},
    {"dtmf.mode", S::DtmfMode, K::List, "manual|auto"},
    {"dtmf.autodial_speed", S::AutodialSpeed, K::List, "50 ms|100 ms"},
    {"dtmf.autodial_delay", S::AutodialDelay, K::List, "50 ms|250 ms|450 ms|750 ms|1000 ms"},
    {"dtmf.memory_#", S::DtmfMemory, K::Text},
    {"display.lcd_dimmer", S::LcdDimmer, K::List, "1|2|3|4"},
    {"display.lcd_contrast", S::LcdContrast, K::Number, "1|15"},
    {"display.lamp", S::Lamp, K::List, "@lamp"},
    {"display.beep", S::Beep, K::List, "off|key + scan|key"},
    {"display.opening_mode", S::OpeningMode, K::List, "off|DC voltage|message|normal"},
    {"display.opening_message", S::OpeningMessage, K::Text},
    {"scan.volume_mode", S::VolumeMode, K::List, "normal|auto back"},
    {"scan.volume_a", S::VolumeA, K::Number, "0|31"},
    {"scan.volume_b", S::VolumeB, K::Number, "0|31"},
    {"scan.squelch_a", S::SquelchA, K::Number, "0|15"},
    {"scan.squelch_b", S::SquelchB, K::Number, "0|15"},
    {"scan.restart", S::ScanRestart, K::List, "@restart"},
    {"scan.resume", S::ScanResume, K::List, "@resume"},
    {"scan.busy_led", S::BusyLed, K::List, kOffOn},
    {"scan.lamp", S::ScanLamp, K::List, kOffOn},
    {"scan.tx_timeout", S::TxTimeout, K::List, "@timeout"},
};

const char* const kGroups[][2] = {{"aprs", "APRS"},
                                  {"aprs_rx", "APRS receive"},
                                  {"aprs_tx", "APRS transmit"},
                                  {"smartbeacon", "SmartBeaconing"},
                                  {"dtmf", "DTMF"},
                                  {"display", "Display and sound"},
                                  {"scan", "Scan and audio"}};

// "1.5 s": the steps from `from` to `to`, each with its unit and an optional prefix.
QStringList steps(double from, double to, double step, const QString& unit,
                  const QString& prefix = QString()) {
    QStringList labels;
    for (double v = from; v <= to + 1e-9; v += step)
        labels << prefix + QString::number(std::round(v * 10) / 10) + QLatin1Char(' ') + unit;
    return labels;
}

QStringList labelsOf(const QString& values, Model model) {
    if (values == QLatin1String("@zone")) {
        // Index i is UTC -13:00 + i x 30 min; the odd ones below 29 are not known for certain.
        QStringList labels;
        for (int i = 0; i < 50; ++i) {
            const int minutes = -780 + 30 * i;
            labels << (i % 2 && i < 29 ? QString()
                                       : QStringLiteral("%1%2:%3")
                                             .arg(minutes < 0 ? '-' : '+')
                                             .arg(std::abs(minutes) / 60, 2, 10, QLatin1Char('0'))
                                             .arg(std::abs(minutes) % 60, 2, 10, QLatin1Char('0')));
        }
        return labels;
    }
    if (values == QLatin1String(kFlash))
        return QStringList{QStringLiteral("off")} + QStringList{"2 s", "4 s", "6 s", "8 s"} +
               steps(10, 30, 10, "s") + QStringList{"60 s", "continuous"} +
               steps(2, 10, 1, "s", "every ") + steps(20, 50, 10, "s", "every ") +
               steps(1, 10, 1, "min", "every ");
    if (values == QLatin1String("@lamp"))
        return steps(2, 10, 1, "s", "key ") + QStringList{"continuous", "off"};
    if (values == QLatin1String("@restart"))
        return steps(0.1, 0.9, 0.1, "s") + steps(1, 10, 0.5, "s");
    if (values == QLatin1String("@resume"))
        return steps(2, 10, 0.5, "s") + QStringList{"busy", "hold"};
    if (values == QLatin1String("@timeout"))
        return QStringList{QStringLiteral("off")} + steps(0.5, 10, 0.5, "min");
    if (values == QLatin1String("@source")) {
        QStringList labels{"GPS", "manual 1", "manual 2"};
        for (int p = 1; p <= (model == Model::VX8R ? 10 : 9); ++p)
            labels << QStringLiteral("P%1").arg(p);
        return labels;
    }
    return values.split(QLatin1Char('|'));
}

// "Receive Mic-E" from "receive_mic_e".
QString captionOf(const QString& name) {
    static const QList<std::pair<QString, QString>> words = {
        {"ssid", "SSID"}, {"gps", "GPS"}, {"af", "AF"},       {"tx", "TX"},
        {"lcd", "LCD"},   {"led", "LED"}, {"mic e", "Mic-E"}, {"digi", "digipeater"}};
    QString caption = QLatin1Char(' ') + QString(name).replace(QLatin1Char('_'), QLatin1Char(' ')) +
                      QLatin1Char(' ');
    for (const auto& [word, shown] : words)
        caption.replace(QLatin1Char(' ') + word + QLatin1Char(' '),
                        QLatin1Char(' ') + shown + QLatin1Char(' '));
    caption = caption.trimmed();
    // "Volume, band A"; "Low speed, type 1" beside the other values of SmartBeaconing type 1.
    static const QRegularExpression band(QStringLiteral(" ([ab])$"));
    static const QRegularExpression profile(QStringLiteral("^type (\\d) (.+)$"));
    if (const auto m = band.match(caption); m.hasMatch())
        caption =
            caption.left(m.capturedStart()) + QStringLiteral(", band ") + m.captured(1).toUpper();
    if (const auto m = profile.match(caption); m.hasMatch())
        caption = m.captured(2) + QStringLiteral(", type ") + m.captured(1);
    caption[0] = caption[0].toUpper();
    return caption;
}

// The unit of a number setting's value, as the radio shows it.
void setUnit(SettingRow& row, S setting) {
    switch (setting) {
        case S::SmartLowSpeed:
        case S::SmartHighSpeed:
            row.speed = true;
            break;
        case S::SmartSlowRate:
            row.unit = QStringLiteral("min");
            break;
        case S::SmartFastRate:
        case S::SmartTurnTime:
            row.unit = QStringLiteral("s");
            break;
        case S::SmartTurnAngle:
            row.unit = QStringLiteral("°");
            break;
        default:
            break;
    }
}

QList<SettingRow> buildRows(Model model) {
    QList<SettingRow> rows;
    for (const Def& def : kDefs) {
        const std::optional<Field> field = MemoryMap::SettingField(model, def.setting);
        if (!field)
            continue;
        const bool isR = model == Model::VX8R;
        SettingRow row;
        row.kind = def.kind;
        row.labels =
            labelsOf(QString::fromUtf8(isR && def.valuesR ? def.valuesR : def.values), model);
        if (def.kind == K::Number) {
            row.low = row.labels.value(0).toInt();
            row.high = row.labels.value(1).toInt();
        }
        if (def.kind != K::List && def.kind != K::Position)
            row.labels.clear();
        if (def.unproven && (isR || !def.unprovenOnROnly))
            row.unproven = QString::fromUtf8(def.unproven);
        setUnit(row, def.setting);
        if (def.setting == S::Callsign)
            row.second = MemoryMap::SettingField(model, S::Ssid);
        if (def.setting == S::BeaconByInterval)
            row.second = MemoryMap::SettingField(model, S::BeaconSmart);
        const QString key = QString::fromUtf8(def.key);
        row.group = key.section(QLatin1Char('.'), 0, 0);
        for (int n = 0; n * def.per < field->count; ++n) {
            row.field = *field;
            row.field.offset = field->at(n * def.per);
            row.field.count = def.per;
            row.key = QString(key).replace(QLatin1Char('#'), QString::number(def.first + n));
            row.caption = captionOf(row.key.section(QLatin1Char('.'), 1));
            rows << row;
        }
    }
    // Each SmartBeaconing profile's values together, profile by profile.
    std::stable_sort(rows.begin(), rows.end(), [](const SettingRow& a, const SettingRow& b) {
        const auto profile = [](const SettingRow& r) {
            return r.key.startsWith(QLatin1String("smartbeacon.type_")) ? r.key[17].digitValue()
                                                                        : 0;
        };
        const qsizetype ga = SettingGroups().indexOf(a.group),
                        gb = SettingGroups().indexOf(b.group);
        return ga < gb || (ga == gb && profile(a) < profile(b));
    });
    return rows;
}

// A label as it is matched: lower case, without spaces.
QString folded(const QString& text) {
    return text.toLower().remove(QLatin1Char(' '));
}

// The text with what is no printable ASCII as '?'; *clean says whether it had none.
QString printable(QString text, bool* clean = nullptr) {
    bool allPrintable = true;
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E) {
            c = QLatin1Char('?');
            allPrintable = false;
        }
    }
    if (clean)
        *clean = allPrintable;
    return text;
}

// A text in the radio's character table, which a settings file holds with escapes.
bool tableText(const SettingRow& row) {
    return row.field.codec == Codec::Table || row.field.codec == Codec::Table7;
}

// The bytes of a text setting as a message shows them: "11 0E FF 15".
QString bytesOf(const QByteArray& image, const SettingRow& row) {
    const int at = row.field.at();
    return at + row.field.width <= image.size()
               ? QString::fromLatin1(image.mid(at, row.field.width).toHex(' ').toUpper())
               : QString();
}

// A value as a message quotes it: control characters escaped, so a refusal stays one line.
QString quotedValue(const QString& text) {
    return QLatin1Char('"') + EscapedControls(text) + QLatin1Char('"');
}

qint64 indexOf(const QByteArray& image, const SettingRow& row) {
    qint64 index = MemoryMap::ReadNumber(image, row.field);
    if (row.second)
        index |= MemoryMap::ReadNumber(image, *row.second) << 1;
    return index;
}

QString shownText(const QByteArray& image, const SettingRow& row, bool* clean) {
    *clean = true;
    switch (row.kind) {
        case K::Number:
        case K::Raw:
            return QString::number(MemoryMap::ReadNumber(image, row.field));
        case K::List: {
            const qint64 i = indexOf(image, row);
            return i < row.labels.size() && !row.labels[i].isEmpty()
                       ? row.labels[i]
                       : QStringLiteral("index %1").arg(i);
        }
        case K::Text:
            if (tableText(row)) {
                bool cut = false;
                const QString text = MemoryMap::ReadTableEscaped(image, row.field, 0, &cut);
                *clean = !cut;
                return text;
            }
            return printable(MemoryMap::ReadText(image, row.field), clean);
        case K::Callsign:
            return printable(MemoryMap::ReadText(image, row.field), clean).trimmed();
        case K::Position: {
            const QString text = MemoryMap::ReadText(image, row.field);
            const bool south = text.startsWith(QLatin1Char('-'));
            return text.mid(south ? 1 : 0) + row.labels.value(south ? 1 : 0);
        }
        case K::DigiPath: {
            QStringList hops;
            for (int n = 0; n < row.field.count; ++n) {
                bool hopClean = true;
                hops << printable(MemoryMap::ReadText(image, row.field, n), &hopClean);
                *clean = *clean && hopClean;
            }
            while (!hops.isEmpty() && hops.last().isEmpty())
                hops.removeLast();
            return hops.join(QLatin1Char(','));
        }
    }
    return {};
}

// Degrees, minutes and seconds of a latitude (`maxDegrees` 90) or longitude (180), and
// whether it is south or west; a refusal when `text` is none. The last number given may
// have decimals (decimal degrees, or degrees and decimal minutes as the radio shows them);
// the range is checked on the value given, before it is rounded to whole seconds.
QString parsePosition(const QString& text, const SettingRow& row, QString* stored) {
    const int maxDegrees = row.labels.value(0) == QLatin1String("N") ? 90 : 180;
    const QString trimmed = text.trimmed();
    bool south = trimmed.startsWith(QLatin1Char('-'));
    double seconds = -1;
    bool ok = false;
    const double decimal = trimmed.toDouble(&ok);
    if (ok && std::isfinite(decimal)) {
        seconds = std::abs(decimal) * 3600;
    } else {
        QString spaced = trimmed.toUpper();
        for (const QChar mark : QStringLiteral("°'\"′″º"))
            spaced.replace(mark, QLatin1Char(' '));
        static const QRegularExpression letterLast(QStringLiteral("([0-9.])([A-Z])$"));
        spaced.replace(letterLast, QStringLiteral("\\1 \\2"));
        QStringList parts = spaced.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const int letter = parts.isEmpty() ? -1 : row.labels.indexOf(parts.takeLast());
        south = letter == 1;
        ok = letter >= 0 && !parts.isEmpty() && parts.size() <= 3;
        static const QRegularExpression integer(QStringLiteral("^[0-9]{1,3}$"));
        static const QRegularExpression decimals(QStringLiteral("^[0-9]{1,3}(\\.[0-9]{0,6})?$"));
        double factor = 3600;
        seconds = 0;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            const bool last = i + 1 == parts.size();
            const double value = parts[i].toDouble();
            ok = ok && (last ? decimals : integer).match(parts[i]).hasMatch() &&
                 (factor == 3600 || value < 60);
            seconds += value * factor;
            factor /= 60;
        }
    }
    if (!ok || !(seconds >= 0 && seconds <= maxDegrees * 3600.0))
        return QStringLiteral(
                   "a %1 is 0-%2°, minutes and seconds 0-59, and %3 or %4: 40°44'53\"%3, "
                   "40 44 53 %3, 40 44.88 %3 or signed decimal degrees")
            .arg(maxDegrees == 90 ? QStringLiteral("latitude") : QStringLiteral("longitude"))
            .arg(maxDegrees)
            .arg(row.labels.value(0), row.labels.value(1));
    const qint64 whole = std::llround(seconds);
    *stored = QStringLiteral("%1%2°%3'%4\"")
                  .arg(south ? QStringLiteral("-") : QString())
                  .arg(whole / 3600)
                  .arg(whole / 60 % 60)
                  .arg(whole % 60);
    return {};
}

// Why a text setting cannot take `value` (a character it lacks, too long), or empty.
QString textRefusal(const SettingRow& row, const QString& value) {
    const Codec codec = row.field.codec;
    if (tableText(row)) {
        int bad = -1;
        if (MemoryMap::TableEscapedBytes(value, row.field.width, &bad))
            return {};
        return bad >= 0 ? QStringLiteral(
                              "%1 is not in the radio's character table (a code it "
                              "has no character for is written \\x5A)")
                              .arg(quotedValue(value.mid(bad, 1)))
                        : QStringLiteral("it holds at most %1 characters").arg(row.field.width);
    }
    const QString allowed = codec == Codec::Dtmf ? QStringLiteral("0123456789ABCD*#-") : QString();
    for (const QChar c : value) {
        if (codec == Codec::Dtmf ? !allowed.contains(c) : c.unicode() < 0x20 || c.unicode() > 0x7E)
            return codec == Codec::Dtmf
                       ? QStringLiteral(
                             "%1 is no DTMF digit: it takes 0-9, A-D, *, # and - "
                             "(a pause)")
                             .arg(quotedValue(c))
                       : QStringLiteral("%1 is no printable ASCII character").arg(quotedValue(c));
    }
    if (value.size() > row.field.width)
        return codec == Codec::Dtmf
                   ? QStringLiteral("%1 digits: it holds at most %2")
                         .arg(value.size())
                         .arg(row.field.width)
                   : QStringLiteral("it holds at most %1 characters").arg(row.field.width);
    return {};
}

// A write the map did not take (a field past the end of the image): refused, never taken
// for a value that did not change.
QString written(bool ok) {
    return ok ? QString() : QStringLiteral("it cannot be stored in this image");
}

// Writes `text` into the setting's bytes of `image`, or says why not (then `image` may hold
// part of it: the caller writes into a copy).
QString encode(QByteArray& image, const SettingRow& row, const QString& text) {
    switch (row.kind) {
        case K::Number: {
            bool ok = false;
            const int value = text.trimmed().toInt(&ok);
            if (!ok || value < row.low || value > row.high)
                return QStringLiteral("%1 is not a number from %2 to %3")
                    .arg(quotedValue(text))
                    .arg(row.low)
                    .arg(row.high);
            return written(MemoryMap::WriteNumber(image, row.field, value));
        }
        case K::List: {
            const qsizetype i =
                std::find_if(row.labels.begin(), row.labels.end(),
                             [&](const QString& label) {
                                 return !label.isEmpty() && folded(label) == folded(text);
                             }) -
                row.labels.begin();
            if (i == row.labels.size()) {
                QStringList offered = row.labels;
                offered.removeAll(QString());
                return QStringLiteral("%1 is none of %2")
                    .arg(quotedValue(text), offered.join(", "));
            }
            return written(MemoryMap::WriteNumber(image, row.field, row.second ? i & 1 : i) &&
                           (!row.second || MemoryMap::WriteNumber(image, *row.second, i >> 1)));
        }
        case K::Text: {
            // Spaces may group the digits of a DTMF memory.
            QString value = text;
            if (row.field.codec == Codec::Dtmf)
                value = text.toUpper().remove(QRegularExpression(QStringLiteral("\\s")));
            if (const QString refusal = textRefusal(row, value); !refusal.isEmpty())
                return refusal;
            return written(tableText(row) ? MemoryMap::WriteTableEscaped(image, row.field, value)
                                          : MemoryMap::WriteText(image, row.field, value));
        }
        case K::Callsign: {
            static const QRegularExpression call(
                QStringLiteral("^([A-Z0-9]{0,6})(?:-(\\d{1,2}))?$"));
            const auto m = call.match(text.trimmed().toUpper());
            if (!m.hasMatch() || m.captured(2).toInt() > 15)
                return QStringLiteral(
                    "a callsign is up to 6 letters and digits, and may end "
                    "in -SSID (0-15)");
            return written(MemoryMap::WriteText(image, row.field, m.captured(1)) &&
                           (!m.hasCaptured(2) ||
                            MemoryMap::WriteNumber(image, *row.second, m.captured(2).toInt())));
        }
        case K::Position: {
            QString stored;
            if (QString refusal = parsePosition(text, row, &stored); !refusal.isEmpty())
                return refusal;
            return written(MemoryMap::WriteText(image, row.field, stored));
        }
        case K::DigiPath: {
            const QStringList hops = text.trimmed().isEmpty()
                                         ? QStringList()
                                         : text.trimmed().toUpper().split(QLatin1Char(','));
            if (hops.size() > row.field.count)
                return QStringLiteral("the path holds at most %1 hops").arg(row.field.count);
            // An empty hop between two others is a slip of typing ("WIDE1-1,,WIDE2-1").
            for (qsizetype n = 0; n + 1 < hops.size(); ++n)
                if (hops[n].trimmed().isEmpty() &&
                    !hops.mid(n + 1).join(QString()).trimmed().isEmpty())
                    return QStringLiteral("hop %1 is empty before another hop").arg(n + 1);
            for (int n = 0; n < row.field.count; ++n) {
                const QString hop = hops.value(n).trimmed();
                if (!MemoryMap::WriteText(image, row.field, hop, n))
                    return QStringLiteral(
                               "%1 is no hop: a call of up to 6 letters and "
                               "digits, and -n (0-15) if you like")
                        .arg(quotedValue(hop));
            }
            return {};
        }
        case K::Raw:
            break;
    }
    return row.unproven;
}

// What SetSetting compares to know whether a value changed: the text, and the SSID that
// the callsign may set.
QString valueOf(const QByteArray& image, const SettingRow& row) {
    QString text = SettingText(image, row);
    if (row.kind == K::Callsign && row.second)
        text += QLatin1Char('-') + QString::number(MemoryMap::ReadNumber(image, *row.second));
    return text;
}

// The value as a settings file holds it: in double quotes when spaces at either end or
// quotes around it would not survive a read.
QString quoted(const QString& value) {
    const bool quotes =
        value.size() > 1 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"'));
    return value != value.trimmed() || quotes ? QLatin1Char('"') + value + QLatin1Char('"') : value;
}

}  // namespace

QStringList SettingGroups() {
    QStringList groups;
    for (const auto& group : kGroups)
        groups << QString::fromLatin1(group[0]);
    return groups;
}

QString SettingGroupCaption(const QString& group) {
    for (const auto& g : kGroups)
        if (group == QLatin1String(g[0]))
            return QString::fromLatin1(g[1]);
    return group;
}

const QList<SettingRow>& SettingRows(Model model) {
    static const QList<QList<SettingRow>> rows = [] {
        QList<QList<SettingRow>> all;
        for (const RadioModel& row : kRadioModels)
            all << buildRows(row.model);
        return all;
    }();
    return rows[int(model)];
}

const SettingRow* FindSetting(Model model, const QString& key) {
    for (const SettingRow& row : SettingRows(model))
        if (row.key == key)
            return &row;
    return nullptr;
}

QStringList AllSettingKeys() {
    static const QStringList keys = [] {
        QStringList all;
        for (const RadioModel& model : kRadioModels) {
            qsizetype at = 0;
            for (const SettingRow& row : SettingRows(model.model)) {
                const qsizetype found = all.indexOf(row.key);
                if (found < 0)
                    all.insert(at++, row.key);
                else
                    at = found + 1;
            }
        }
        return all;
    }();
    return keys;
}

QString SettingText(const QByteArray& image, const SettingRow& row) {
    bool clean = true;
    return shownText(image, row, &clean);
}

QString SettingLocked(const QByteArray& image, const SettingRow& row) {
    if (!row.unproven.isEmpty())
        return row.unproven;
    bool clean = true;
    const QString text = shownText(image, row, &clean);
    QByteArray copy = image;
    if (!clean && tableText(row))
        return QStringLiteral("a pad byte cuts the text; its bytes: ") + bytesOf(image, row);
    if (!clean || !encode(copy, row, text).isEmpty())
        return row.kind == K::List ? QStringLiteral("the stored %1 is none of its values").arg(text)
               : row.kind == K::Text
                   ? QStringLiteral("the stored value is not one it can be set to; its bytes: ") +
                         bytesOf(image, row)
                   : QStringLiteral("the stored value is not one it can be set to");
    return {};
}

QString SetSetting(QByteArray& image, const SettingRow& row, const QString& text) {
    if (!row.unproven.isEmpty())
        return row.unproven;
    const QString before = valueOf(image, row);
    if (text == SettingText(image, row))
        return {};
    QByteArray copy = image;
    if (const QString refusal = encode(copy, row, text); !refusal.isEmpty())
        return refusal;
    if (valueOf(copy, row) == before)
        return {};  // the same value: the bytes the radio wrote stay
    image = copy;
    return {};
}

QString SettingConflict(const QByteArray& before, const QByteArray& after, Model model) {
    const auto low = MemoryMap::SettingField(model, S::SmartLowSpeed);
    const auto high = MemoryMap::SettingField(model, S::SmartHighSpeed);
    for (int p = 0; low && high && p < low->count; ++p) {
        const qint64 l = MemoryMap::ReadNumber(after, *low, p),
                     h = MemoryMap::ReadNumber(after, *high, p);
        const bool changed = l != MemoryMap::ReadNumber(before, *low, p) ||
                             h != MemoryMap::ReadNumber(before, *high, p);
        if (changed && l >= h)
            return QStringLiteral(
                       "smartbeacon.type_%1_low_speed: %2 is not below the high "
                       "speed %3")
                .arg(p + 1)
                .arg(l)
                .arg(h);
    }
    return {};
}

QString SettingsFileText(const QByteArray& image) {
    const std::optional<Model> model = MemoryMap::ModelOf(image);
    if (!model)
        return {};
    QString text =
        QStringLiteral("# Quorlink settings of a %1\n").arg(MemoryMap::ModelName(*model));
    QString group;
    for (const SettingRow& row : SettingRows(*model)) {
        if (row.group != group) {
            group = row.group;
            text += QStringLiteral("\n# %1\n").arg(SettingGroupCaption(group));
        }
        const QString value = quoted(SettingText(image, row));
        const QString locked = SettingLocked(image, row);
        text += locked.isEmpty() ? (row.key + QStringLiteral(" = ") + value).trimmed() + '\n'
                                 : QStringLiteral("# %1 = %2 (%3)\n").arg(row.key, value, locked);
    }
    return text;
}

QList<SettingAssignment> ParseSettingsFile(const QString& text, QStringList* refusals) {
    QList<SettingAssignment> assignments;
    // CR, LF and CR LF each end a line, as in CSV.
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    const QStringList lines = text.split(lineEnd);
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        SettingAssignment a{i + 1, line.left(equals).trimmed(), line.mid(equals + 1).trimmed()};
        if (equals < 1 || a.key.isEmpty()) {
            refusals->append(QStringLiteral("line %1: not \"key = value\"").arg(i + 1));
            continue;
        }
        if (a.value.size() > 1 && a.value.startsWith(QLatin1Char('"')) &&
            a.value.endsWith(QLatin1Char('"')))
            a.value = a.value.mid(1, a.value.size() - 2);
        assignments << a;
    }
    return assignments;
}

namespace {

// Each SmartBeaconing profile whose low speed a change left not below its high speed gets
// both speeds back as stored; one refusal for each speed the change gave.
QStringList keepSpeedsApart(const QByteArray& before, QByteArray& image, Model model) {
    QStringList refused;
    const auto low = MemoryMap::SettingField(model, S::SmartLowSpeed);
    const auto high = MemoryMap::SettingField(model, S::SmartHighSpeed);
    for (int p = 0; low && high && p < low->count; ++p) {
        const qint64 l = MemoryMap::ReadNumber(image, *low, p),
                     h = MemoryMap::ReadNumber(image, *high, p);
        const qint64 wasL = MemoryMap::ReadNumber(before, *low, p),
                     wasH = MemoryMap::ReadNumber(before, *high, p);
        if (l < h || (l == wasL && h == wasH))
            continue;
        const QString why = QStringLiteral(
            "smartbeacon.type_%1_%2: the low speed %3 is not below "
            "the high speed %4; both kept as stored");
        if (l != wasL)
            refused << why.arg(p + 1).arg(QStringLiteral("low_speed")).arg(l).arg(h);
        if (h != wasH)
            refused << why.arg(p + 1).arg(QStringLiteral("high_speed")).arg(l).arg(h);
        MemoryMap::WriteNumber(image, *low, wasL, p);
        MemoryMap::WriteNumber(image, *high, wasH, p);
    }
    return refused;
}

}  // namespace

SettingsApplied ApplySettings(QByteArray& image, const QList<SettingAssignment>& assignments) {
    SettingsApplied done;
    const std::optional<Model> model = MemoryMap::ModelOf(image);
    if (!model)
        return done;
    const QByteArray before = image;
    for (const SettingAssignment& a : assignments) {
        const QString where = a.line ? QStringLiteral("line %1: ").arg(a.line) : QString();
        const SettingRow* row = FindSetting(*model, a.key);
        // A file made from another model may name what this one lacks; --set names it on purpose.
        if (!row && AllSettingKeys().contains(a.key) && a.line)
            done.skipped << where + QStringLiteral("%1: a %2 has no such setting; skipped")
                                        .arg(a.key, MemoryMap::ModelName(*model));
        else if (!row && AllSettingKeys().contains(a.key))
            done.refused << QStringLiteral("%1: a %2 has no such setting")
                                .arg(a.key, MemoryMap::ModelName(*model));
        else if (!row)
            done.refused << where +
                                QStringLiteral("no setting is called %1").arg(quotedValue(a.key));
        else if (const QString refusal = SetSetting(image, *row, a.value); !refusal.isEmpty())
            done.refused << where + a.key + QStringLiteral(": ") + refusal +
                                QStringLiteral("; not changed");
    }
    done.refused << keepSpeedsApart(before, image, *model);
    return done;
}

QStringList SettingsComparison(const QByteArray& a, const QByteArray& b) {
    const std::optional<Model> ma = MemoryMap::ModelOf(a), mb = MemoryMap::ModelOf(b);
    QStringList lines;
    if (!ma || !mb)
        return lines;
    for (const QString& key : AllSettingKeys()) {
        const SettingRow* ra = FindSetting(*ma, key);
        const SettingRow* rb = FindSetting(*mb, key);
        if (!ra && !rb)
            continue;
        const QString va = ra ? SettingText(a, *ra) : QStringLiteral("(none)");
        const QString vb = rb ? SettingText(b, *rb) : QStringLiteral("(none)");
        if (va != vb)
            lines << QStringLiteral("%1: %2 → %3").arg(key, va, vb);
    }
    return lines;
}

QString SettingForms(const SettingRow& row) {
    switch (row.kind) {
        case K::Number:
            return QStringLiteral("a whole number from %1 to %2%3")
                .arg(row.low)
                .arg(row.high)
                .arg(row.speed            ? QStringLiteral(", in the APRS speed unit")
                     : row.unit.isEmpty() ? QString()
                                          : QLatin1Char(' ') + row.unit);
        case K::List: {
            QStringList offered = row.labels;
            offered.removeAll(QString());
            if (offered.size() <= 8)
                return QStringLiteral("one of ") + offered.join(QStringLiteral(", "));
            return QStringLiteral("one of the %1 values from %2 to %3")
                .arg(offered.size())
                .arg(offered.first(), offered.last());
        }
        case K::Text:
            if (row.field.codec == Codec::Dtmf)
                return QStringLiteral(
                           "up to %1 of 0-9, A-D, *, # and - (a pause); spaces may group them")
                    .arg(row.field.width);
            return tableText(row)
                       ? QStringLiteral("up to %1 characters of channel names").arg(row.field.width)
                       : QStringLiteral("up to %1 printable ASCII characters").arg(row.field.width);
        case K::Callsign:
            return QStringLiteral(
                "up to 6 letters and digits (KK7DS); KK7DS-7 sets the SSID too (0-15)");
        case K::Position:
            return row.labels.value(0) == QLatin1String("N")
                       ? QStringLiteral("40°44'53\"N, 40 44.88 N or 40.7481: 0-90°, N or S")
                       : QStringLiteral("74°00'05\"W, 74 0.08 W or -74.0014: 0-180°, E or W");
        case K::DigiPath:
            return QStringLiteral(
                       "up to %1 hops split by commas (WIDE1-1,WIDE2-1), each a call of up to "
                       "6 letters and digits, with -n (0-15) if you like")
                .arg(row.field.count);
        case K::Raw:
            break;
    }
    return QStringLiteral("a byte, shown as stored");
}

QString SettingUnit(const QByteArray& image, const SettingRow& row) {
    if (!row.speed)
        return row.unit;
    const std::optional<Model> model = MemoryMap::ModelOf(image);
    const SettingRow* unit =
        model ? FindSetting(*model, QStringLiteral("aprs.speed_unit")) : nullptr;
    const qint64 index = unit ? indexOf(image, *unit) : -1;
    if (index < 0 || index >= unit->labels.size())
        return {};  // a stored unit the radio does not name: the number alone
    const QString name = unit->labels[index];
    return name == QLatin1String("knot") ? QStringLiteral("knots") : name;
}

QStringList SettingValueNotes(const SettingRow& row) {
    // The common use of each SSID among APRS stations.
    if (row.key == QLatin1String("aprs.ssid"))
        return {"your main station",
                "a second station, digipeater or home",
                "a second station",
                "a second station",
                "a second station",
                "other networks (phone apps, D-STAR)",
                "special activity, satellite, camping",
                "handheld",
                "boat, RV or second mobile",
                "mobile",
                "internet gateway (I-gate, EchoLink)",
                "balloon, aircraft, spacecraft",
                "one-way tracker",
                "weather station",
                "truck, full-time driver",
                "a second station"};
    return {};
}

std::optional<std::pair<double, double>> AprsManualPosition(const QByteArray& image) {
    const std::optional<Model> model = MemoryMap::ModelOf(image);
    if (!model)
        return std::nullopt;
    double degrees[2] = {0, 0};
    const char* keys[2] = {"aprs.latitude", "aprs.longitude"};
    static const QRegularExpression kParts(QStringLiteral("^(-?)(\\d+)\\D+(\\d+)\\D+(\\d+)\\D*$"));
    for (int i = 0; i < 2; ++i) {
        const SettingRow* row = FindSetting(*model, QString::fromLatin1(keys[i]));
        if (!row)
            return std::nullopt;
        const QRegularExpressionMatch m = kParts.match(MemoryMap::ReadText(image, row->field));
        if (!m.hasMatch())
            return std::nullopt;
        degrees[i] =
            m.captured(2).toInt() + m.captured(3).toInt() / 60.0 + m.captured(4).toInt() / 3600.0;
        if (!m.captured(1).isEmpty())
            degrees[i] = -degrees[i];
    }
    if ((degrees[0] == 0 && degrees[1] == 0) || std::abs(degrees[0]) > 90 ||
        std::abs(degrees[1]) > 180)
        return std::nullopt;
    return std::make_pair(degrees[0], degrees[1]);
}

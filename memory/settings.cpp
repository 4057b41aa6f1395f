#include "memory/settings.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

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
    caption[0] = caption[0].toUpper();
    return caption;
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
// whether it is south or west; a refusal when `text` is none.
QString parsePosition(const QString& text, const SettingRow& row, QString* stored) {
    const int maxDegrees = row.labels.value(0) == QLatin1String("N") ? 90 : 180;
    const QString trimmed = text.trimmed();
    bool south = trimmed.startsWith(QLatin1Char('-'));
    qint64 seconds = -1;
    bool ok = false;
    const double decimal = trimmed.toDouble(&ok);
    if (ok && std::isfinite(decimal)) {
        seconds = std::llround(std::abs(decimal) * 3600);
    } else {
        QString spaced = trimmed.toUpper();
        for (const QChar mark : QStringLiteral("°'\"′″"))
            spaced.replace(mark, QLatin1Char(' '));
        static const QRegularExpression letterLast(QStringLiteral("([0-9])([A-Z])$"));
        spaced.replace(letterLast, QStringLiteral("\\1 \\2"));
        QStringList parts = spaced.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const int letter = parts.isEmpty() ? -1 : row.labels.indexOf(parts.takeLast());
        south = letter == 1;
        ok = letter >= 0 && !parts.isEmpty() && parts.size() <= 3;
        int factor = 3600;
        seconds = 0;
        for (const QString& part : parts) {
            bool number = false;
            const int value = part.toInt(&number);
            ok = ok && number && value >= 0 && (factor == 3600 || value < 60);
            seconds += qint64(value) * factor;
            factor /= 60;
        }
    }
    if (!ok || seconds < 0 || seconds > qint64(maxDegrees) * 3600)
        return QStringLiteral(
                   "a %1 is 0-%2°, minutes and seconds 0-59, and %3 or %4: 40°44'53\"%3, "
                   "40 44 53 %3 or signed decimal degrees")
            .arg(maxDegrees == 90 ? QStringLiteral("latitude") : QStringLiteral("longitude"))
            .arg(maxDegrees)
            .arg(row.labels.value(0), row.labels.value(1));
    *stored = QStringLiteral("%1%2°%3'%4\"")
                  .arg(south ? QStringLiteral("-") : QString())
                  .arg(seconds / 3600)
                  .arg(seconds / 60 % 60)
                  .arg(seconds % 60);
    return {};
}

// Writes `text` into the setting's bytes of `image`, or says why not (then `image` may hold
// part of it: the caller writes into a copy).
QString encode(QByteArray& image, const SettingRow& row, const QString& text) {
    switch (row.kind) {
        case K::Number: {
            bool ok = false;
            const int value = text.trimmed().toInt(&ok);
            if (!ok || value < row.low || value > row.high)
                return QStringLiteral("\"%1\" is not a number from %2 to %3")
                    .arg(text)
                    .arg(row.low)
                    .arg(row.high);
            MemoryMap::WriteNumber(image, row.field, value);
            return {};
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
                return QStringLiteral("\"%1\" is none of %2").arg(text, offered.join(", "));
            }
            MemoryMap::WriteNumber(image, row.field, row.second ? i & 1 : i);
            if (row.second)
                MemoryMap::WriteNumber(image, *row.second, i >> 1);
            return {};
        }
        case K::Text: {
            const bool dtmf = row.field.codec == Codec::Dtmf;
            const QString value = dtmf ? text.toUpper().remove(QLatin1Char(' ')) : text;
            if (value.size() > row.field.width)
                return QStringLiteral("it holds at most %1 characters").arg(row.field.width);
            if (MemoryMap::WriteText(image, row.field, value))
                return {};
            return dtmf ? QStringLiteral("it takes only 0-9, A-D, *, # and - (a pause)")
                   : row.field.codec == Codec::Table
                       ? QStringLiteral("it takes only the characters of channel names")
                       : QStringLiteral("it takes only printable ASCII characters");
        }
        case K::Callsign: {
            static const QRegularExpression call(
                QStringLiteral("^([A-Z0-9]{0,6})(?:-(\\d{1,2}))?$"));
            const auto m = call.match(text.trimmed().toUpper());
            if (!m.hasMatch() || m.captured(2).toInt() > 15)
                return QStringLiteral(
                    "a callsign is up to 6 letters and digits, and may end "
                    "in -SSID (0-15)");
            MemoryMap::WriteText(image, row.field, m.captured(1));
            if (m.hasCaptured(2))
                MemoryMap::WriteNumber(image, *row.second, m.captured(2).toInt());
            return {};
        }
        case K::Position: {
            QString stored;
            if (QString refusal = parsePosition(text, row, &stored); !refusal.isEmpty())
                return refusal;
            MemoryMap::WriteText(image, row.field, stored);
            return {};
        }
        case K::DigiPath: {
            const QStringList hops = text.trimmed().isEmpty()
                                         ? QStringList()
                                         : text.trimmed().toUpper().split(QLatin1Char(','));
            if (hops.size() > row.field.count)
                return QStringLiteral("the path holds at most %1 hops").arg(row.field.count);
            for (int n = 0; n < row.field.count; ++n) {
                const QString hop = hops.value(n).trimmed();
                if (!MemoryMap::WriteText(image, row.field, hop, n))
                    return QStringLiteral(
                               "\"%1\" is no hop: a call of up to 6 letters and "
                               "digits, and -n (0-15) if you like")
                        .arg(hop);
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
    static const QList<SettingRow> rows[] = {buildRows(Model::VX8R), buildRows(Model::VX8DR),
                                             buildRows(Model::VX8GE)};
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
        for (Model model : {Model::VX8DR, Model::VX8GE, Model::VX8R}) {
            qsizetype at = 0;
            for (const SettingRow& row : SettingRows(model)) {
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
    if (!clean || !encode(copy, row, text).isEmpty())
        return row.kind == K::List ? QStringLiteral("the stored %1 is none of its values").arg(text)
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
    const QStringList lines = text.split(QLatin1Char('\n'));
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

SettingsApplied ApplySettings(QByteArray& image, const QList<SettingAssignment>& assignments) {
    SettingsApplied done;
    const std::optional<Model> model = MemoryMap::ModelOf(image);
    if (!model)
        return done;
    const QByteArray before = image;
    for (const SettingAssignment& a : assignments) {
        const QString where = a.line ? QStringLiteral("line %1: ").arg(a.line) : QString();
        const SettingRow* row = FindSetting(*model, a.key);
        if (!row && AllSettingKeys().contains(a.key))
            done.skipped << where + QStringLiteral("%1: a %2 has no such setting; skipped")
                                        .arg(a.key, MemoryMap::ModelName(*model));
        else if (!row)
            done.refused << where + QStringLiteral("no setting is called \"%1\"").arg(a.key);
        else if (const QString refusal = SetSetting(image, *row, a.value); !refusal.isEmpty())
            done.refused << where + a.key + QStringLiteral(": ") + refusal +
                                QStringLiteral("; not changed");
    }
    if (const QString conflict = SettingConflict(before, image, *model); !conflict.isEmpty())
        done.refused << conflict;
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

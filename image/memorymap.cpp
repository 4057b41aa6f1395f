#include "image/memorymap.h"

#include <QRegularExpression>
#include <algorithm>
#include <cstring>

namespace MemoryMap {

namespace {

constexpr char kDtmf[] = "0123456789ABCD*#-";
constexpr uchar kPad = 0xFF;

// Which models have a setting.
enum : unsigned { kR = 1, kDR = 2, kGE = 4, kAll = kR | kDR | kGE, kD = kDR | kGE };

// A setting's field; `inB2` when its offset counts from the second APRS block.
struct SettingPlace {
    Setting setting;
    Field field;
    unsigned models = kAll;
    bool inB2 = false;
};
constexpr int kVolumeInVfo = 0x6B;
constexpr int kVfoA = kRecordPairs[int(Pair::VfoA)].master;
constexpr int kVfoB = kRecordPairs[int(Pair::VfoB)].master;
constexpr int kMacros = 0xC128;
// Settings the VX-8R holds in fewer or different places are listed again for it below.
constexpr SettingPlace kSettings[] = {
    {Setting::Callsign, {0xC0CE, 6, 0, Codec::AsciiFF}},
    {Setting::Ssid, {0xC0D4, 8}},
    {Setting::PositionComment, {0xC0D5, 4, 0, Codec::Index}},
    {Setting::Latitude, {0xC0DE, 4, 0, Codec::Pos}},
    {Setting::Longitude, {0xC0E2, 4, 0, Codec::Pos}},
    {Setting::TimeSource, {0xC0D7, 1, 7, Codec::Index}},
    {Setting::TimeZone, {0xC0DB, 6, 0, Codec::Index}},
    {Setting::SpeedUnit, {0xC0D9, 2, 0, Codec::Index}},
    {Setting::GpsSpeedUnit, {0xC0E9, 2, 0, Codec::Index}},
    {Setting::AltitudeUnit, {0xC0D8, 1, 3, Codec::Index}},
    {Setting::GpsAltitudeUnit, {0xC0E8, 1, 1, Codec::Index}},
    {Setting::DistanceUnit, {0xC0D8, 1, 1, Codec::Index}},
    {Setting::PositionFormat, {0xC0D8, 1, 0, Codec::Index}},
    {Setting::GpsPositionFormat, {0xC0E8, 1, 0, Codec::Index}},
    {Setting::WindUnit, {0xC0D8, 1, 6, Codec::Index}},
    {Setting::RainUnit, {0xC0D8, 1, 5, Codec::Index}},
    {Setting::TemperatureUnit, {0xC0D8, 1, 4, Codec::Index}},
    {Setting::Symbol, {0xA0, 2, 0, Codec::Index}, kAll, true},
    {Setting::UserSymbol, {0xC0CC, 8}},
    {Setting::PositionSource, {0xC0E6, 4, 0, Codec::Index}},
    {Setting::Modem, {0xC0CA, 2, 0, Codec::Index}},
    {Setting::Mute, {0xC0D7, 1, 3}},
    {Setting::AfDual, {0xC0D7, 1, 0}, kR | kDR},
    {Setting::RingMessage, {0xC0D7, 1, 4}},
    {Setting::RingBeacon, {0xC0D7, 1, 5}},
    {Setting::ReceiveMicE, {0xC0DA, 1, 0}},
    {Setting::ReceivePosition, {0xC0DA, 1, 1}},
    {Setting::ReceiveWeather, {0xC0DA, 1, 2}},
    {Setting::ReceiveObject, {0xC0DA, 1, 3}},
    {Setting::ReceiveItem, {0xC0DA, 1, 4}},
    {Setting::ReceiveStatus, {0xC0DA, 1, 5}},
    {Setting::ReceiveOther, {0xC0DA, 1, 6}},
    {Setting::FlashMessage, {0x64, 6, 0, Codec::Index}, kAll, true},
    {Setting::FlashGroup, {0x65, 6, 0, Codec::Index}, kAll, true},
    {Setting::FlashBulletin, {0x66, 6, 0, Codec::Index}, kAll, true},
    {Setting::VibrateMessage, {0xA4, 6, 0, Codec::Index}, kGE, true},
    {Setting::VibrateGroup, {0xA5, 6, 0, Codec::Index}, kGE, true},
    {Setting::VibrateBulletin, {0xA6, 6, 0, Codec::Index}, kGE, true},
    {Setting::MessageGroup, {0x02, 9, 0, Codec::AsciiFF, 8, 9}, kAll, true},
    {Setting::SelectedMessageGroup, {0x00, 3, 0, Codec::Index}, kAll, true},
    {Setting::BeaconByInterval, {0xC0D7, 1, 6}},
    {Setting::BeaconSmart, {0xC0D7, 1, 1}},
    {Setting::TxDelay, {0xC0CB, 4, 0, Codec::Index}},
    {Setting::BeaconInterval, {0xC0DC, 4, 0, Codec::Index}},
    {Setting::StatusText, {0xF92A, 60, 0, Codec::AsciiFF, 5, 60}},
    {Setting::SelectedStatusText, {0xC0E7, 3, 0, Codec::Index}},
    {Setting::Macro, {kMacros, 16, 0, Codec::AsciiFF, 5, 16}, kR},
    {Setting::Macro, {kMacros, 16, 0, Codec::AsciiFF, 7, 16}, kD},
    {Setting::DigiPath8, {0xC0EE, 7, 0, Codec::Call7, 8, 7}},
    {Setting::DigiPaths4To7, {0x68, 7, 0, Codec::Call7, 8, 7}, kD, true},
    {Setting::SelectedDigiPath, {0x67, 8, 0, Codec::Index}, kAll, true},
    {Setting::SmartProfile, {0x4E, 8, 0, Codec::Index}, kD, true},
    {Setting::SmartLowSpeed, {0x4F, 8, 0, Codec::Bits, 3, 7}, kD, true},
    {Setting::SmartHighSpeed, {0x50, 8, 0, Codec::Bits, 3, 7}, kD, true},
    {Setting::SmartSlowRate, {0x51, 8, 0, Codec::Bits, 3, 7}, kD, true},
    {Setting::SmartFastRate, {0x52, 8, 0, Codec::Bits, 3, 7}, kD, true},
    {Setting::SmartTurnAngle, {0x53, 8, 0, Codec::Bits, 3, 7}, kD, true},
    {Setting::SmartTurnSlope, {0x54, 8, 0, Codec::Bits, 3, 7}, kD, true},
    {Setting::SmartTurnTime, {0x55, 8, 0, Codec::Bits, 3, 7}, kD, true},
    {Setting::DtmfMode, {0x04E7, 1, 0, Codec::Index}},
    {Setting::AutodialSpeed, {0x04E7, 1, 2, Codec::Index}},
    {Setting::AutodialDelay, {0x04CD, 8, 0, Codec::Index}},
    {Setting::DtmfMemory, {0x094A, 16, 0, Codec::Dtmf, 10, 16}},
    {Setting::LcdDimmer, {0x04CC, 8, 0, Codec::Index}},
    // Bits 7-4 are unknown; the radio writes them as 1.
    {Setting::LcdContrast, {0x04D1, 4, 0}},
    {Setting::Lamp, {0x04D2, 8, 0, Codec::Index}},
    {Setting::Beep, {0x04BF, 8, 0, Codec::Index}},
    {Setting::OpeningMode, {0x047F, 8, 0, Codec::Index}},
    // Bit 7 is ignored, as in bank names.
    {Setting::OpeningMessage, {0x0482, 16, 0, Codec::Table7}},
    {Setting::VolumeMode, {0x04EB, 1, 7, Codec::Index}},
    {Setting::VolumeA, {kVfoA + kVolumeInVfo, 5, 0, Codec::Bits, 1, 0, Pair::VfoA}},
    {Setting::VolumeB, {kVfoB + kVolumeInVfo, 5, 0, Codec::Bits, 1, 0, Pair::VfoB}},
    {Setting::SquelchA, {0x049A, 8}},
    {Setting::SquelchB, {0x049B, 8}},
    {Setting::ScanRestart, {0x04DA, 8, 0, Codec::Index}},
    {Setting::ScanResume, {0x04DC, 8, 0, Codec::Index}},
    {Setting::BusyLed, {0x04E8, 1, 7}},
    {Setting::ScanLamp, {0x04E7, 1, 5}},
    {Setting::TxTimeout, {0x04E3, 8, 0, Codec::Index}},
};

bool fits(const QByteArray& image, const Field& field, int n) {
    return n >= 0 && n < field.count && field.at(n) >= 0 &&
           field.at(n) + field.bytes() <= image.size();
}

uchar byteAt(const QByteArray& image, int at) {
    return static_cast<uchar>(image[at]);
}

qint64 readBcd(const QByteArray& image, int at, int size) {
    qint64 value = 0;
    for (int i = 0; i < size; ++i) {
        const int high = byteAt(image, at + i) >> 4, low = byteAt(image, at + i) & 0x0F;
        if (high > 9 || low > 9)
            return -1;
        value = value * 100 + high * 10 + low;
    }
    return value;
}

// Printable ASCII up to the first pad byte.
QString asciiText(const QByteArray& image, int at, int size) {
    QString text;
    for (int i = 0; i < size && byteAt(image, at + i) != kPad; ++i)
        text += QLatin1Char(char(byteAt(image, at + i)));
    return text;
}

// `text` as `size` bytes of printable ASCII padded with 0xFF; empty when it does not fit.
QByteArray asciiBytes(const QString& text, int size) {
    if (text.size() > size)
        return {};
    QByteArray bytes(size, char(kPad));
    for (int i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20 || c > 0x7E)
            return {};
        bytes[i] = char(c);
    }
    return bytes;
}

// `text` in a character table padded with 0xFF; empty when it does not fit.
QByteArray tableBytes(const QString& text, int size, const char* table) {
    if (text.size() > size)
        return {};
    QByteArray bytes(size, char(kPad));
    for (int i = 0; i < text.size(); ++i) {
        const char c = text[i].toLatin1();
        const char* found = c ? std::strchr(table, c) : nullptr;
        if (!found)
            return {};
        bytes[i] = char(found - table);
    }
    return bytes;
}

QString tableText(const QByteArray& image, int at, int size, const char* table, int codes,
                  uchar keep, char none) {
    QString text;
    for (int i = 0; i < size && byteAt(image, at + i) != kPad; ++i) {
        const int code = byteAt(image, at + i) & keep;
        text += QLatin1Char(code < codes ? table[code] : none);
    }
    return text;
}

// A name's text: trailing spaces are padding.
QString nameText(const QByteArray& image, int at, int size, uchar keep) {
    QString text = tableText(image, at, size, kNameTable, int(sizeof kNameTable) - 1, keep, '.');
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

}  // namespace

Stations::Places Stations::StationPlaces(Model model) {
    return model == Model::VX8R ? Places{40, 0xC24A, 0xC60A, 208} : Places{50, 0xC24A, 0xC6FA, 160};
}

std::optional<Field> SettingField(Model model, Setting setting) {
    const unsigned bit = 1u << int(model);
    for (const SettingPlace& p : kSettings) {
        if (p.setting != setting || !(p.models & bit))
            continue;
        Field field = p.field;
        if (p.inB2)
            field.offset += SecondAprsBlock(model);
        return field;
    }
    return std::nullopt;
}

QString ModelName(Model model) {
    return QString::fromLatin1(RadioModelRow(model).shortName);
}

int SecondAprsBlock(Model model) {
    return RadioModelRow(model).secondAprsBlock;
}

std::optional<Model> ModelOf(const QByteArray& image) {
    if (const RadioModel* m = RadioModelOf(image))
        return m->model;
    return std::nullopt;
}

qint64 ReadNumber(const QByteArray& image, const Field& field, int n) {
    if (!fits(image, field, n))
        return -1;
    const int at = field.at(n);
    switch (field.codec) {
        case Codec::Bits:
        case Codec::Index:
            return (byteAt(image, at) & field.mask()) >> field.bit;
        case Codec::WordBE:
            return byteAt(image, at) << 8 | byteAt(image, at + 1);
        case Codec::BcdKhz:
        case Codec::Bcd8:
            return readBcd(image, at, field.width);
        default:
            return -1;
    }
}

bool WriteNumber(QByteArray& image, const Field& field, qint64 value, int n) {
    if (!fits(image, field, n) || value < 0)
        return false;
    const int at = field.at(n);
    switch (field.codec) {
        case Codec::Bits:
        case Codec::Index:
            if (value > (1 << field.width) - 1)
                return false;
            image[at] = char((byteAt(image, at) & ~field.mask()) | (unsigned(value) << field.bit));
            return true;
        case Codec::WordBE:
            if (value > 0xFFFF)
                return false;
            image[at] = char(value >> 8);
            image[at + 1] = char(value & 0xFF);
            return true;
        case Codec::BcdKhz:
        case Codec::Bcd8: {
            qint64 rest = value;
            for (int i = 0; i < field.width; ++i)
                rest /= 100;
            if (rest > 0)
                return false;
            for (int i = field.width - 1; i >= 0; --i, value /= 100)
                image[at + i] = char((value % 100 / 10) << 4 | value % 10);
            return true;
        }
        default:
            return false;
    }
}

QString ReadText(const QByteArray& image, const Field& field, int n) {
    if (!fits(image, field, n))
        return {};
    const int at = field.at(n);
    switch (field.codec) {
        case Codec::Table:
            return nameText(image, at, field.width, 0xFF);
        case Codec::Table7:
            return nameText(image, at, field.width, 0x7F);
        case Codec::AsciiFF:
            return asciiText(image, at, field.width);
        case Codec::Call7: {
            const QString call = asciiText(image, at, 6).trimmed();
            const int ssid = byteAt(image, at + 6);
            return call.isEmpty() || ssid == 0 ? call : call + QStringLiteral("-%1").arg(ssid);
        }
        case Codec::Pos:
            return QStringLiteral("%1%2°%3'%4\"")
                .arg(byteAt(image, at) & 0x01 ? QStringLiteral("-") : QString())
                .arg(byteAt(image, at + 1))
                .arg(byteAt(image, at + 2), 2, 10, QLatin1Char('0'))
                .arg(byteAt(image, at + 3), 2, 10, QLatin1Char('0'));
        case Codec::Dtmf:
            return tableText(image, at, field.width, kDtmf, int(sizeof kDtmf) - 1, 0xFF, '?');
        default:
            return QString::number(ReadNumber(image, field, n));
    }
}

bool WriteText(QByteArray& image, const Field& field, const QString& text, int n) {
    if (!fits(image, field, n))
        return false;
    const int at = field.at(n);
    QByteArray bytes;
    switch (field.codec) {
        case Codec::Table:
        case Codec::Table7:
            bytes = tableBytes(text, field.width, kNameTable);
            break;
        case Codec::AsciiFF:
            bytes = asciiBytes(text, field.width);
            break;
        case Codec::Dtmf:
            bytes = tableBytes(text, field.width, kDtmf);
            break;
        case Codec::Call7: {
            static const QRegularExpression call(
                QStringLiteral("^([A-Z0-9]{0,6})(?:-(\\d{1,2}))?$"));
            const auto m = call.match(text);
            const int ssid = m.captured(2).toInt();
            if (!m.hasMatch() || ssid > 15 || (m.captured(1).isEmpty() && ssid))
                return false;
            bytes = asciiBytes(m.captured(1), 6) + char(ssid);
            break;
        }
        case Codec::Pos: {
            static const QRegularExpression pos(
                QStringLiteral("^(-?)(\\d{1,3})°(\\d{1,2})'(\\d{1,2})\"$"));
            const auto m = pos.match(text);
            const int deg = m.captured(2).toInt(), min = m.captured(3).toInt(),
                      sec = m.captured(4).toInt();
            if (!m.hasMatch() || deg > 180 || min > 59 || sec > 59)
                return false;
            // Bits 7-1 of the sign byte are unknown: kept.
            const char sign = char((byteAt(image, at) & 0xFE) | (m.captured(1).isEmpty() ? 0 : 1));
            bytes = QByteArray(1, sign);
            for (int part : {deg, min, sec})
                bytes += char(part);
            break;
        }
        default: {
            bool ok = false;
            const qint64 value = text.toLongLong(&ok);
            return ok && WriteNumber(image, field, value, n);
        }
    }
    if (bytes.size() != field.width)
        return false;
    image.replace(at, field.width, bytes);
    return true;
}

QString ReadTableEscaped(const QByteArray& image, const Field& field, int n, bool* cut) {
    if (cut)
        *cut = false;
    if (!fits(image, field, n))
        return {};
    const int at = field.at(n);
    const uchar keep = field.codec == Codec::Table7 ? 0x7F : 0xFF;
    const int codes = int(sizeof kNameTable) - 1;
    QString text;
    int i = 0;
    for (; i < field.width && byteAt(image, at + i) != kPad; ++i) {
        const uchar byte = byteAt(image, at + i);
        const int code = byte & keep;
        text += code < codes
                    ? QString(QLatin1Char(kNameTable[code]))
                    : QStringLiteral("\\x") +
                          QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    }
    for (; i < field.width && cut; ++i)
        *cut = *cut || byteAt(image, at + i) != kPad;
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

std::optional<QByteArray> TableEscapedBytes(const QString& text, int size, int* bad) {
    static const QRegularExpression escape(QStringLiteral("^\\\\x([0-9A-Fa-f]{2})"));
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto m = escape.match(QStringView(text).mid(i));
        const char c = text[i].toLatin1();
        const char* found = c ? std::strchr(kNameTable, c) : nullptr;
        if (m.hasMatch() && m.captured(1).toUInt(nullptr, 16) != kPad) {
            bytes += char(m.captured(1).toUInt(nullptr, 16));
            i += 3;
        } else if (found) {
            bytes += char(found - kNameTable);
        } else {
            if (bad)
                *bad = int(i);
            return std::nullopt;
        }
    }
    if (bytes.size() > size)
        return std::nullopt;
    return bytes.leftJustified(size, char(kPad));
}

bool WriteTableEscaped(QByteArray& image, const Field& field, const QString& text, int n) {
    const std::optional<QByteArray> bytes = TableEscapedBytes(text, field.width, nullptr);
    if (!fits(image, field, n) || !bytes)
        return false;
    const int at = field.at(n);
    const uchar keep = field.codec == Codec::Table7 ? 0x7F : 0xFF;
    for (int i = 0; i < field.width; ++i) {
        const uchar code = uchar(bytes->at(i));
        // A character that stays keeps the bits the radio wrote with it.
        if (code == kPad || (byteAt(image, at + i) & keep) != code || byteAt(image, at + i) == kPad)
            image[at + i] = char(code);
    }
    return true;
}

quint8 SumOf(const QByteArray& image, int first, int last) {
    unsigned sum = 0;
    for (int i = first; i <= last; ++i)
        sum += byteAt(image, i);
    return quint8(sum & 0xFF);
}

QList<SumPlace> SumPlaces() {
    const auto hex = [](int offset) {
        return QStringLiteral("0x%1")
            .arg(offset, 4, 16, QLatin1Char('0'))
            .toUpper()
            .replace(QLatin1String("0X"), QLatin1String("0x"));
    };
    QList<SumPlace> places;
    for (const RecordPair& p : kRecordPairs)
        for (int first : {p.master, p.backup}) {
            const int last = first + p.size - 2;
            places.append({QStringLiteral("region ") + hex(first) + QLatin1Char('-') + hex(last),
                           first, last, last + 1});
        }
    places.append({QStringLiteral("final checksum"), 0, kTotalSumAt - 1, kTotalSumAt});
    return places;
}

void RefreshSums(QByteArray& image, const QList<Range>& touched) {
    if (image.size() <= kTotalSumAt)
        return;
    const auto touches = [&](int first, int size) {
        for (const Range& r : touched)
            if (r.first < first + size && first < r.first + r.size)
                return true;
        return false;
    };
    for (const RecordPair& p : kRecordPairs) {
        if (touches(p.master, p.size)) {
            image[p.masterSum()] = char(SumOf(image, p.master, p.masterSum() - 1));
            image.replace(p.backup, p.size, image.mid(p.master, p.size));
        } else if (touches(p.backup, p.size)) {
            image[p.backupSum()] = char(SumOf(image, p.backup, p.backupSum() - 1));
        }
    }
    image[kTotalSumAt] = char(SumOf(image, 0, kTotalSumAt - 1));
}

QList<Range> Differences(const QByteArray& before, const QByteArray& after) {
    constexpr int kGap = 8;
    QList<Range> ranges;
    const int size = int(std::min(before.size(), after.size()));
    for (int at = 0; at < size; ++at) {
        if (before[at] == after[at])
            continue;
        int end = at + 1;
        for (int next = end; next < size && next < end + kGap; ++next)
            if (before[next] != after[next])
                end = next + 1;
        ranges.append({at, end - at});
        at = end;
    }
    return ranges;
}

void RefreshSumsFor(const QByteArray& before, QByteArray& after, bool keepStale) {
    if (before.size() != after.size() || after.size() <= kTotalSumAt)
        return;
    if (!keepStale)
        return RefreshSums(after, Differences(before, after));
    // The records first: the final checksum counts their sums.
    for (const SumPlace& p : SumPlaces())
        after[p.at] = char(byteAt(before, p.at) + SumOf(after, p.first, p.last) -
                           SumOf(before, p.first, p.last));
}

}  // namespace MemoryMap

#include "image/memorymap.h"

#include <QRegularExpression>
#include <algorithm>
#include <cstring>

namespace MemoryMap {

namespace {

constexpr char kDtmf[] = "0123456789ABCD*#-";
constexpr uchar kPad = 0xFF;

struct ModelTable {
    Model model;
    const char* identity;  // the first five identity bytes
    int secondAprsBlock;
};
constexpr ModelTable kModels[] = {{Model::VX8R, "AH029", 0xC178},
                                  {Model::VX8DR, "AH29D", 0xC198},
                                  {Model::VX8GE, "AH041", 0xC198}};

// The settings' fields, the same in every model so far.
constexpr Field kCallsign{0xC0CE, 6, 0, Codec::AsciiFF};
constexpr Field kTimeZone{0xC0DB, 6, 0, Codec::Index};
constexpr int kVolumeInVfo = 0x6B;
constexpr Field kVfoAVolume{
    kRecordPairs[int(Pair::VfoA)].master + kVolumeInVfo, 5, 0, Codec::Bits, 1, 0, Pair::VfoA};

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

Field SettingField(Model, Setting setting) {
    switch (setting) {
        case Setting::Callsign:
            return kCallsign;
        case Setting::TimeZone:
            return kTimeZone;
        case Setting::VfoAVolume:
            break;
    }
    return kVfoAVolume;
}

int SecondAprsBlock(Model model) {
    for (const ModelTable& m : kModels)
        if (m.model == model)
            return m.secondAprsBlock;
    return kModels[0].secondAprsBlock;
}

std::optional<Model> ModelOf(const QByteArray& image) {
    for (const ModelTable& m : kModels)
        if (image.startsWith(m.identity))
            return m.model;
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

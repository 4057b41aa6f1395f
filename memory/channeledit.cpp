#include "memory/channeledit.h"

#include <QRegularExpression>
#include <array>
#include <cmath>

#include "memory/bankedit.h"
#include "memory/channelname.h"

namespace {

using namespace ChannelLayout;

constexpr qint64 kLowestHz = 500'000, kHighestHz = 999'900'000;
// A written frequency that is this close to one the radio stores is that frequency: other
// programs write the 8.33 kHz channels as 118.008330 or 118.01666.
constexpr qint64 kSameHz = 10;

// The steps in Hz, in the order of the list; 8.33 kHz is a third of 25 kHz.
constexpr std::array<qint64, 12> kStepHz = {5000,  6250,  8333,  9000,  10000,  12500,
                                            15000, 20000, 25000, 50000, 100000, 200000};
constexpr int kStep833 = 2;
constexpr int kSplit = 3;  // the duplex whose offset is the transmit frequency
constexpr std::array<double, 4> kPowerWatts = {0.05, 1.0, 2.5, 5.0};

// A field's name in a refusal: the column caption, "Location" for the number.
QString FieldName(ChannelField field) {
    return field == ChannelField::Number ? QStringLiteral("Location") : ChannelFieldName(field);
}

QString Refusal(ChannelField field, const QString& value, const QString& reason) {
    return QStringLiteral("%1 %2 %3")
        .arg(FieldName(field), value.isEmpty() ? QStringLiteral("(empty)") : EscapedControls(value),
             EscapedControls(reason));
}

// Hz as MHz without trailing zeros: "146.5212", "1200".
QString ShortMegahertz(qint64 hz) {
    QString text = MegahertzText(hz);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

// The frequency the radio means when it stores `hz` as whole kHz.
qint64 Restored(qint64 hz) {
    return RestoredHertz(hz / 1000);
}

// "146.52", "146.52 MHz", "146520 kHz", "146520000 Hz" as Hz; false when it is no number.
bool ParseHertz(const QString& text, qint64* hz) {
    static const QRegularExpression kPattern(
        QStringLiteral("^\\s*(\\d{1,9})(?:\\.(\\d{0,9}))?\\s*(mhz|khz|hz)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = kPattern.match(text);
    if (!m.hasMatch())
        return false;
    const QString unit = m.captured(3).toLower();
    const int digits = unit == QLatin1String("hz") ? 0 : unit == QLatin1String("khz") ? 3 : 6;
    const QString fraction = m.captured(2);
    // Integer arithmetic with rounding to the nearest Hz; 9 digits on either side of the
    // point keep every product below 2^63.
    qint64 unitScale = 1;
    for (int i = 0; i < digits; ++i)
        unitScale *= 10;
    qint64 part = 0, scale = 1;
    for (QChar c : fraction) {
        part = part * 10 + c.digitValue();
        scale *= 10;
    }
    const qint64 value =
        m.captured(1).toLongLong() * unitScale + (part * unitScale + scale / 2) / scale;
    *hz = value;
    return true;
}

// The frequency nearest to `hz` that the radio stores as it is, within [low, high].
qint64 NearestStored(qint64 hz, qint64 low, qint64 high) {
    qint64 best = -1;
    for (qint64 khz = hz / 1000 - 30; khz <= hz / 1000 + 30; ++khz) {
        const qint64 candidate = khz < 0 ? -1 : Restored(khz * 1000);
        if (candidate < low || candidate > high)
            continue;
        if (best < 0 || std::abs(candidate - hz) < std::abs(best - hz))
            best = candidate;
    }
    return best;
}

// Whole kHz as the radio keeps a "+" or "-" offset.
qint64 WholeKilohertz(qint64 hz) {
    return (hz + 500) / 1000 * 1000;
}

// Checks a frequency (or offset) in Hz against its range and whether it comes back, within
// `tolerance`, from the stored form: with the dropped fraction restored (`restored`, a
// frequency) or as whole kHz (a "+" or "-" offset).
QString CheckHertz(ChannelField field, qint64 hz, qint64 tolerance, bool restored) {
    const qint64 low = field == ChannelField::Frequency ? kLowestHz : 0;
    const QString range = field == ChannelField::Frequency ? QStringLiteral("0.5–999.9 MHz")
                                                           : QStringLiteral("0–999.9 MHz");
    if (hz < low || hz > kHighestHz)
        return Refusal(field, ShortMegahertz(hz) + QStringLiteral(" MHz"),
                       QStringLiteral("is outside ") + range);
    const qint64 stored = restored ? Restored(hz) : WholeKilohertz(hz);
    if (std::abs(stored - hz) > tolerance)
        return Refusal(field, ShortMegahertz(hz) + QStringLiteral(" MHz"),
                       QStringLiteral("cannot be stored; nearest ") +
                           MegahertzText(restored ? NearestStored(hz, low, kHighestHz)
                                                  : std::min(stored, kHighestHz)));
    return {};
}

bool StepReaches(int step, qint64 hz) {
    if (step == kStep833)
        return hz % 25000 == 0 || hz % 25000 == 8333 || hz % 25000 == 16666;
    return step >= 0 && step < int(kStepHz.size()) && hz % kStepHz[step] == 0;
}

// A step that may be chosen for `hz`: it reaches it, and 8.33 kHz is the airband's alone.
bool StepFits(int step, qint64 hz) {
    return StepReaches(step, hz) && (step != kStep833 || (hz >= 108'000'000 && hz <= 137'000'000));
}

// A list's texts for a refusal: "none" stands for the empty entry.
QString NotInList(ChannelField field, const QString& value) {
    const ChannelFieldRow& row = ChannelRow(field);
    QStringList texts = row.choices();
    for (QString& text : texts)
        if (text.isEmpty())
            text = QStringLiteral("none");
    return Refusal(field, value,
                   QString::fromLatin1(row.notListed)
                       .replace(QStringLiteral("%1"), texts.join(QStringLiteral(", "))));
}

// The index of `text` in a field's list, -1 when it is not there: names in any case,
// numbers by value.
int ChoiceIndex(const ChannelFieldRow& row, const QString& text) {
    const QStringList& choices = row.choices();
    const QString given = text.trimmed();
    // "none" names the empty entry, as the refusals write it.
    const QString wanted =
        given.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0 ? QString() : given;
    for (int i = 0; i < choices.size(); ++i)
        if (choices[i].compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    bool number = false;
    if (row.parse == FieldParse::Decimal || row.parse == FieldParse::Kilohertz) {
        static const QRegularExpression kKilohertz(QStringLiteral("\\s*khz$"),
                                                   QRegularExpression::CaseInsensitiveOption);
        const double value =
            (row.parse == FieldParse::Kilohertz ? QString(given).remove(kKilohertz) : given)
                .toDouble(&number);
        for (int i = 0; number && i < choices.size(); ++i)
            if (std::abs(choices[i].toDouble() - value) < 0.02)
                return i;
    }
    if (row.parse == FieldParse::Code) {
        const int code = given.toInt(&number);
        for (int i = 0; number && i < choices.size(); ++i)
            if (choices[i].toInt() == code)
                return i;
    }
    if (row.parse == FieldParse::Power) {
        // The level's name alone ("Hi", "L3"), or watts: the nearest level.
        for (int i = 0; i < choices.size(); ++i)
            if (choices[i].section(QLatin1Char(' '), 0, 0).compare(given, Qt::CaseInsensitive) == 0)
                return i;
        const double value = PowerWatts(given);
        if (value < 0 || value > kPowerWatts.back())
            return -1;
        int nearest = 0;
        for (int i = 1; i < int(kPowerWatts.size()); ++i)
            if (std::abs(kPowerWatts[i] - value) < std::abs(kPowerWatts[nearest] - value))
                nearest = i;
        return nearest;
    }
    return -1;
}

bool HoldsChannel(const QByteArray& image, int number) {
    return number >= 1 && number <= kSlotCount &&
           image.size() > kChannelsOffset + qsizetype(number) * kChannelSize;
}

namespace M = MemoryMap::Channels;
using MemoryMap::WriteNumber;

// Writes the fields of a validated channel: all of them, or with `was` (what the slot
// holds) only those whose value differs, so that the bits of an unchanged field, and the
// bits no field owns, stay as the radio left them. No checksum.
void WriteFields(QByteArray& image, const Channel& ch, const Channel* was) {
    const int n = ch.number - 1;
    for (const ChannelFieldRow& row : ChannelRows()) {
        if (!row.field)
            continue;
        if (row.index) {
            if (was && ch.*row.index == was->*row.index)
                continue;
            // Preferential sets the skip bit too, as the radio does.
            const bool preferential = row.id == ChannelField::Skip && ch.skip == 2;
            WriteNumber(image, *row.field, preferential ? 3 : ch.*row.index, n);
        } else if (row.hertz) {
            // Compared as decoded: a stored kHz value stands for the frequency it shows.
            if (was && ch.*row.hertz == was->*row.hertz)
                continue;
            WriteNumber(image, *row.field, ch.*row.hertz / 1000, n);
            // Without the 6.25 kHz mark the radio transmits far off a 6.25 kHz channel while
            // its display looks right. Radios also leave marks on 5 kHz channels: a new
            // frequency on that raster keeps the mark it finds.
            const qint64 hz = ch.frequencyHz;
            if (row.id == ChannelField::Frequency && hz % 6250 == 0 && hz % 5000 != 0)
                WriteNumber(image, M::kMark, M::kRasterMark, n);
        } else if (!was || ch.name != was->name) {
            MemoryMap::WriteText(image, *row.field, ch.name, n);
        }
    }
}

// Writes a validated channel. A slot that holds no channel gets the flag byte and record the
// radio writes for a new channel; one that holds a channel (a masked one too, which becomes
// used) keeps every bit but those of the fields that change.
void EncodeChannel(QByteArray& image, const Channel& ch) {
    const int n = ch.number - 1;
    if (MemoryMap::ReadNumber(image, M::kValid, n)) {
        const Channel was = DecodeChannelAt(image, ch.number);
        WriteNumber(image, M::kUsed, 1, n);
        WriteFields(image, ch, &was);
        return;
    }
    // The radio's own defaults for a slot it stores a channel in.
    image.replace(M::kMark.at(n), kChannelSize, QByteArray(kChannelSize, '\0'));
    WriteNumber(image, M::kUnknown29, 0x1D, n);
    WriteNumber(image, M::kUnknown31, 0x18, n);
    const qint64 hz = ch.frequencyHz;
    const bool noSubVfo =
        hz < 30'000'000 || (hz >= 88'000'000 && hz < 108'000'000) || hz > 580'000'000;
    WriteNumber(image, M::kNoSubVfo, noSubVfo, n);
    WriteNumber(image, M::kValid, 1, n);
    WriteNumber(image, M::kUsed, 1, n);
    WriteFields(image, ch, nullptr);
}

}  // namespace

double PowerWatts(const QString& text) {
    static const QRegularExpression kWatts(
        QStringLiteral("^\\s*(\\d+(?:\\.\\d*)?|\\.\\d+)\\s*w?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = kWatts.match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

int NearestStep(double khz, qint64 hz) {
    int best = -1;
    for (int step = 0; step < int(kStepHz.size()); ++step)
        if (StepFits(step, hz) && (best < 0 || std::abs(kStepHz[step] - khz * 1000) <
                                                   std::abs(kStepHz[best] - khz * 1000)))
            best = step;
    return best;
}

QString TransmitRefusal(const Channel& ch, bool offsetGiven) {
    if (ch.empty || ch.duplex < 1 || ch.duplex > kSplit || ch.frequencyHz < 0 || ch.offsetHz < 0)
        return {};
    if (ch.duplex == kSplit && !offsetGiven)
        return Refusal(ChannelField::Offset, QString(),
                       QStringLiteral("gives the split channel no transmit frequency"));
    const qint64 tx = ch.duplex == kSplit ? ch.offsetHz
                      : ch.duplex == 1    ? ch.frequencyHz - ch.offsetHz
                                          : ch.frequencyHz + ch.offsetHz;
    if (tx >= kLowestHz && tx <= kHighestHz)
        return {};
    return Refusal(
        ChannelField::Offset, ShortMegahertz(ch.offsetHz) + QStringLiteral(" MHz"),
        QStringLiteral("puts the transmit frequency at %1%2 MHz, outside 0.5–999.9 MHz")
            .arg(tx < 0 ? QStringLiteral("-") : QString(), ShortMegahertz(std::abs(tx))));
}

QString SetChannelField(Channel& ch, ChannelField field, const QString& text) {
    const ChannelFieldRow& row = ChannelRow(field);
    switch (row.parse) {
        case FieldParse::Number: {
            bool ok = false;
            const int number = text.trimmed().toInt(&ok);
            if (!ok || number < 1 || number > kChannelCount)
                return Refusal(field, text.trimmed(), QStringLiteral("is outside 1–900"));
            ch.number = number;
            return {};
        }
        case FieldParse::Name: {
            QString name = text;
            const QString refusal = CheckChannelName(&name);
            if (refusal.isEmpty())
                ch.name = name;
            return refusal;
        }
        case FieldParse::Hertz: {
            qint64 hz = 0;
            if (field == ChannelField::Offset && text.trimmed().isEmpty())
                hz = 0;
            else if (!ParseHertz(text, &hz))
                return Refusal(field, text.trimmed(), QStringLiteral("is not a frequency in MHz"));
            // A "+" or "-" offset is whole kHz: the radio keeps it as it is given.
            if (field == ChannelField::Offset && ch.duplex != kSplit) {
                const QString refusal = CheckHertz(field, hz, kSameHz, false);
                if (refusal.isEmpty())
                    ch.offsetHz = WholeKilohertz(hz);
                return refusal;
            }
            // In the airband a 5 kHz channel name stands for its 8.33 kHz channel: 118.005
            // is 118.000, 118.010 is 118.008333 and 118.015 is 118.016666.
            const qint64 name = hz % 25000;
            if (hz >= 108'000'000 && hz <= 137'000'000 &&
                (name == 5000 || name == 10000 || name == 15000))
                hz = Restored(hz);
            const QString refusal = CheckHertz(field, hz, kSameHz, true);
            if (!refusal.isEmpty())
                return refusal;
            hz = Restored(hz);
            if (field == ChannelField::Offset) {
                ch.offsetHz = hz;
                return {};
            }
            // A step the radio has is the owner's, even where it does not divide the
            // frequency (radios store such steps). A new channel, or one holding a step the
            // radio lacks, takes the first step that reaches the frequency.
            const bool ownStep = !ch.empty && ch.step >= 0 && ch.step < int(kStepHz.size());
            ch.frequencyHz = hz;
            ch.empty = false;
            if (!ownStep && !StepReaches(ch.step, hz)) {
                for (int step = 0; step < int(kStepHz.size()); ++step) {
                    if (StepFits(step, hz)) {
                        ch.step = step;
                        break;
                    }
                }
            }
            return {};
        }
        default: {
            const int index = ChoiceIndex(row, text);
            if (index < 0 && row.parse == FieldParse::Power &&
                PowerWatts(text) > kPowerWatts.back())
                return Refusal(field, text.trimmed(),
                               QStringLiteral("is more than the radio's 5 W"));
            if (index < 0)
                return NotInList(field, text.trimmed());
            ch.*row.index = index;
            // The radio keeps a "+" or "-" offset as whole kHz and restores a split channel's
            // transmit frequency: the offset follows the duplex as the bytes will hold it.
            if (field == ChannelField::Duplex && ch.offsetHz >= 0)
                ch.offsetHz = index == kSplit ? Restored(ch.offsetHz) : ch.offsetHz / 1000 * 1000;
            return {};
        }
    }
}

QString ValidateChannel(const Channel& ch) {
    if (ch.number < 1 || ch.number > kSlotCount)
        return Refusal(ChannelField::Number, QString::number(ch.number),
                       QStringLiteral("is outside 1–900"));
    if (ch.empty)
        return {};
    for (const ChannelFieldRow& row : ChannelRows()) {
        const qint64 hz = row.hertz ? ch.*row.hertz : 0;
        const QString refusal =
            row.parse == FieldParse::Name ? NameRefusal(ch.name)
            : hz < 0    ? Refusal(row.id, ch.text(row.id), QStringLiteral("does not decode"))
            : row.hertz ? CheckHertz(row.id, hz, 0,
                                     row.id == ChannelField::Frequency || ch.duplex == kSplit)
            : row.index && (ch.*row.index < 0 || ch.*row.index >= row.choices().size())
                ? NotInList(row.id, ch.text(row.id))
                : QString();
        if (!refusal.isEmpty())
            return refusal;
    }
    return {};
}

QString StoreChannel(QByteArray& image, const Channel& ch) {
    const QString refusal = ValidateChannel(ch);
    if (!refusal.isEmpty())
        return refusal;
    if (!HoldsChannel(image, ch.number))
        return QStringLiteral("The image is too short to hold channel %1").arg(ch.number);
    if (ch.empty) {
        // A slot that holds nothing keeps its flag byte as it is; a masked one is cleared too.
        if (M::Holds(uchar(image[kFlagsOffset + ch.number - 1])))
            ClearChannel(image, ch.number);
        return {};
    }
    EncodeChannel(image, ch);
    return {};
}

bool UnmaskChannel(QByteArray& image, int number) {
    if (!HoldsChannel(image, number) || !M::Masked(uchar(image[kFlagsOffset + number - 1])))
        return false;
    WriteNumber(image, M::kUsed, 1, number - 1);
    return true;
}

void ClearChannel(QByteArray& image, int number) {
    if (!HoldsChannel(image, number))
        return;
    WriteNumber(image, M::kValid, 0, number - 1);
    WriteNumber(image, M::kUsed, 0, number - 1);
    RemoveFromBanks(image, number);
}

QByteArray ChannelBytes(const QByteArray& image, int number) {
    if (!HoldsChannel(image, number))
        return {};
    return image.mid(kFlagsOffset + number - 1, 1) +
           image.mid(kChannelsOffset + qsizetype(number - 1) * kChannelSize, kChannelSize);
}

void PutChannelBytes(QByteArray& image, int number, const QByteArray& bytes) {
    if (!HoldsChannel(image, number) || bytes.size() != 1 + kChannelSize)
        return;
    image[kFlagsOffset + number - 1] = bytes[0];
    image.replace(kChannelsOffset + qsizetype(number - 1) * kChannelSize, kChannelSize,
                  bytes.mid(1));
}

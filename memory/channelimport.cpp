#include "memory/channelimport.h"

#include <QHash>
#include <QMap>
#include <algorithm>
#include <cmath>
#include <numeric>

#include "memory/channeledit.h"

namespace {

constexpr qint64 kMHz = 1'000'000;

// A tone as a directory writes it: a CTCSS tone in Hz, a DCS code after a "D", or none
// ("CSQ", "Restricted", "").
struct DirectoryTone {
    enum Kind { None, Ctcss, Dcs } kind = None;
    QString value;  // "100.0", "023"
};

DirectoryTone ToneOf(const QString& text) {
    DirectoryTone tone;
    QString t = text.trimmed().toUpper();
    bool number = false;
    if (t.startsWith(QLatin1Char('D'))) {
        t = t.mid(1);
        if (t.endsWith(QLatin1Char('N')) || t.endsWith(QLatin1Char('I')))
            t.chop(1);
        t.toInt(&number);
        if (number)
            tone = {DirectoryTone::Dcs, t};
        return tone;
    }
    const double hz = t.toDouble(&number);
    if (number && hz > 0)
        tone = {DirectoryTone::Ctcss, QString::number(hz, 'f', 1)};
    return tone;
}

// MHz text as Hz, -1 for none.
qint64 Hertz(const QString& mhz) {
    bool ok = false;
    const double value = mhz.toDouble(&ok);
    return ok && value > 0 ? std::llround(value * kMHz) : -1;
}

// Whether an offset is one of the band's usual ones: 600 kHz on 2 m, 5, 7.6 or 1.6 MHz on
// 70 cm, 1.6 MHz on 1.25 m, 500 kHz or 1 MHz on 6 m; anything else is a split.
bool UsualOffset(qint64 outputHz, qint64 offsetHz) {
    struct Band {
        qint64 low, high;
        std::initializer_list<qint64> offsets;
    };
    static const Band kBands[] = {
        {50 * kMHz, 54 * kMHz, {500'000, 1'000'000}},
        {144 * kMHz, 148 * kMHz, {600'000}},
        {219 * kMHz, 225 * kMHz, {1'600'000}},
        {420 * kMHz, 450 * kMHz, {5'000'000, 7'600'000, 1'600'000}},
    };
    for (const Band& band : kBands)
        if (outputHz >= band.low && outputHz <= band.high)
            return std::find(band.offsets.begin(), band.offsets.end(), offsetHz) !=
                   band.offsets.end();
    return false;
}

// "W2ABC Springfield" in the characters the radio's table has (accents dropped), at most
// the 16 it holds.
QString DirectoryName(const DirectoryEntry& e) {
    const QString full =
        (e.callsign + QLatin1Char(' ') + e.nearestCity).normalized(QString::NormalizationForm_KD);
    QString name;
    for (QChar c : full)
        if (c.unicode() > 0 && c.unicode() < 128 &&
            std::strchr(ChannelLayout::kNameTable, char(c.unicode())))
            name += c;
    return name.left(ChannelLayout::kNameSize).trimmed();
}

// The channel of an entry on the air; the refusal, and *kind its count's reason, else empty.
QString EntryChannel(const DirectoryEntry& e, Channel& ch, QString* kind) {
    const QString refusal = SetChannelField(ch, ChannelField::Frequency, e.frequency);
    if (!refusal.isEmpty()) {
        *kind = QStringLiteral("out of the radio's range");
        return refusal;
    }
    const qint64 output = ch.frequencyHz, input = Hertz(e.inputFrequency);
    QString duplex, offset;
    if (input > 0 && input != output) {
        const qint64 shift = std::abs(input - output);
        const bool usual = UsualOffset(output, shift);
        duplex = usual ? (input < output ? QStringLiteral("-") : QStringLiteral("+"))
                       : QStringLiteral("split");
        offset = MegahertzText(usual ? shift : input);
    }
    const DirectoryTone up = ToneOf(e.uplinkTone), down = ToneOf(e.downlinkTone);
    QString toneMode, tone, dcs;
    if (up.kind == DirectoryTone::Dcs) {
        toneMode = QStringLiteral("DTCS");
        dcs = up.value;
    } else if (up.kind == DirectoryTone::Ctcss) {
        // The same tone both ways is tone squelch; a tone sent only, a plain tone.
        toneMode = down.kind == DirectoryTone::Ctcss && down.value == up.value
                       ? QStringLiteral("TSQL")
                       : QStringLiteral("Tone");
        tone = up.value;
    }
    const std::pair<ChannelField, QString> fields[] = {
        {ChannelField::Duplex, duplex},     {ChannelField::Offset, offset},
        {ChannelField::ToneMode, toneMode}, {ChannelField::Tone, tone},
        {ChannelField::Dcs, dcs},           {ChannelField::Name, DirectoryName(e)},
    };
    for (const auto& [field, text] : fields) {
        if (text.isEmpty())
            continue;
        const QString why = SetChannelField(ch, field, text);
        if (!why.isEmpty()) {
            *kind = QStringLiteral("refused");
            return why;
        }
    }
    const QString why = TransmitRefusal(ch);
    if (!why.isEmpty())
        *kind = QStringLiteral("out of the radio's range");
    return why.isEmpty() ? ValidateChannel(ch) : why;
}

QString EntryOrigin(const DirectoryEntry& e) {
    return e.callsign.isEmpty() ? QStringLiteral("entry %1").arg(e.entry)
                                : QStringLiteral("entry %1 %2").arg(e.entry).arg(e.callsign);
}

}  // namespace

CsvImport DirectoryChannels(const QList<DirectoryEntry>& entries, const DirectoryFilter& filter) {
    CsvImport result;
    auto skip = [&](const DirectoryEntry& e, const QString& kind, const QString& why = {}) {
        result.skipped << EntryOrigin(e) + QStringLiteral(": ") + (why.isEmpty() ? kind : why);
        result.skippedKinds << kind;
    };
    struct Taken {
        Channel ch;
        QString origin;
        double km;
        bool restricted;
    };
    QList<Taken> taken;
    for (const DirectoryEntry& e : entries) {
        if (e.status.compare(QLatin1String("Off-air"), Qt::CaseInsensitive) == 0) {
            skip(e, QStringLiteral("off the air"));
            continue;
        }
        if (e.status.compare(QLatin1String("On-air"), Qt::CaseInsensitive) != 0) {
            skip(e, QStringLiteral("status unknown"));
            continue;
        }
        if (!e.analogFm) {
            skip(e, e.digital ? QStringLiteral("digital only") : QStringLiteral("no analog FM"));
            continue;
        }
        double km = -1;
        if (filter.near) {
            if (!e.hasPosition) {
                skip(e, QStringLiteral("no position"));
                continue;
            }
            km = DistanceKm(filter.near->first, filter.near->second, e.latitude, e.longitude);
            if (filter.withinKm >= 0 && km > filter.withinKm) {
                skip(e, QStringLiteral("farther than the distance"),
                     QStringLiteral("%1 km away").arg(km, 0, 'f', 1));
                continue;
            }
        }
        Channel ch;
        ch.number = 1;  // checked as any channel: the slot comes later
        QString kind;
        const QString refusal = EntryChannel(e, ch, &kind);
        if (!refusal.isEmpty()) {
            skip(e, kind, refusal);
            continue;
        }
        ch.number = 0;
        const bool restricted = e.use.compare(QLatin1String("CLOSED"), Qt::CaseInsensitive) == 0 ||
                                e.use.compare(QLatin1String("PRIVATE"), Qt::CaseInsensitive) == 0;
        taken << Taken{ch, EntryOrigin(e), km, restricted};
    }
    if (filter.near)
        std::stable_sort(taken.begin(), taken.end(),
                         [](const Taken& a, const Taken& b) { return a.km < b.km; });
    for (const Taken& t : taken) {
        result.channels << t.ch;
        result.origins << t.origin;
        result.distancesKm << t.km;
        result.banks << QList<int>();
        result.restricted += t.restricted ? 1 : 0;
    }
    return result;
}

CsvImport ImageChannels(const QByteArray& other, ChannelList list, bool keepNumbers,
                        bool keepBanks) {
    CsvImport result;
    result.hasBanks = keepBanks && list == ChannelList::Channels;
    QHash<int, QList<int>> banksOf;
    if (result.hasBanks)
        for (const Bank& bank : DecodeBanks(other))
            for (int member : bank.members)
                banksOf[member] << bank.number;
    for (Channel ch : DecodeChannels(other, list)) {
        if (ch.empty || ch.masked)
            continue;
        const QString origin = EntryName(ch.number);
        const QString refusal = ValidateChannel(ch);
        if (!refusal.isEmpty()) {
            result.refusals << origin + QStringLiteral(": ") + refusal;
            result.refusalKinds << QStringLiteral("refused");
            if (keepNumbers)
                result.kept << ch.number;
            continue;
        }
        const QList<int> banks = banksOf.value(ch.number);
        if (!keepNumbers)
            ch.number = 0;
        result.channels << ch;
        result.origins << origin;
        result.distancesKm << -1;
        result.banks << banks;
    }
    return result;
}

int FreeSlots(const QByteArray& image, ChannelList list, int first) {
    int free = 0;
    for (const Channel& ch : DecodeChannels(image, list))
        free += ch.empty && LocationOf(ch.number) >= first ? 1 : 0;
    return free;
}

QString PlaceImport(const QByteArray& image, CsvImport& import, ChannelList list, int first,
                    bool skipBad) {
    QList<int> free;
    for (const Channel& ch : DecodeChannels(image, list))
        if (ch.empty && LocationOf(ch.number) >= first)
            free << ch.number;
    qsizetype wanted = 0;
    for (const Channel& ch : import.channels)
        wanted += ch.number == 0 ? 1 : 0;
    if (wanted > free.size() && !skipBad)
        return QStringLiteral(
                   "%1 rows to append, but only %2 free %3 from %4 on; --skip-bad "
                   "takes as many as fit")
            .arg(wanted)
            .arg(free.size())
            .arg(free.size() == 1 ? QStringLiteral("slot") : QStringLiteral("slots"))
            .arg(LocationLabel(SlotOf(list, first)));
    CsvImport placed = import;
    placed.channels.clear();
    placed.origins.clear();
    placed.distancesKm.clear();
    placed.banks.clear();
    qsizetype next = 0;
    for (qsizetype i = 0; i < import.channels.size(); ++i) {
        Channel ch = import.channels[i];
        if (ch.number == 0) {
            if (next == free.size()) {
                placed.skipped << import.origins.value(i) + QStringLiteral(": no free slot");
                placed.skippedKinds << QStringLiteral("no free slot");
                continue;
            }
            ch.number = free[next++];
        }
        placed.channels << ch;
        placed.origins << import.origins.value(i);
        placed.distancesKm << import.distancesKm.value(i, -1);
        placed.banks << import.banks.value(i);
    }
    import = placed;
    return {};
}

QString ImportSummary(const CsvImport& import, int cleared, bool refusedSkipped) {
    QStringList kinds = import.skippedKinds;
    if (refusedSkipped)
        kinds << import.refusalKinds;
    QMap<QString, int> counted;
    QStringList order;
    for (const QString& kind : kinds) {
        if (!counted.contains(kind))
            order << kind;
        ++counted[kind];
    }
    QStringList reasons;
    for (const QString& kind : order)
        reasons << QStringLiteral("%1 %2").arg(counted[kind]).arg(kind);
    // The words of the line scripts already read: "imported N channels, cleared M".
    QString line = QStringLiteral("imported %1 channels").arg(import.channels.size());
    if (import.restricted > 0)
        line += QStringLiteral(" (%1 closed or private)").arg(import.restricted);
    if (!reasons.isEmpty())
        line += QStringLiteral(", skipped %1 (").arg(kinds.size()) +
                reasons.join(QStringLiteral(", ")) + QLatin1Char(')');
    return line + QStringLiteral(", cleared %1").arg(cleared);
}

#include "clone/channels.h"

#include <array>

namespace {

using namespace ChannelLayout;

const QString kUnknown = QStringLiteral("?");

// The radio's character table for names; codes 80 and above have no character.
constexpr char kNameTable[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz.,:;*#_-/&()@!?^ ";
constexpr int kNameCodes = sizeof(kNameTable) - 1;
static_assert(kNameCodes == 80);
constexpr int kNameSize = 16;

const std::array<const char*, 4> kModes = {"FM", "AM", "WFM", "NFM"};
const std::array<const char*, 4> kDuplexes = {"", "-", "+", "split"};
const std::array<const char*, 4> kToneModes = {"", "Tone", "TSQL", "DTCS"};
const std::array<const char*, 4> kPowers = {"L1 0.05 W", "L2 1 W", "L3 2.5 W", "Hi 5 W"};
const std::array<const char*, 16> kSteps = {"5.00",  "6.25",  "8.33",  "10.00",  "12.50",  "15.00",
                                            "20.00", "25.00", "50.00", "100.00", "125.00", "200.00",
                                            "9.00",  "1.00",  "2.50",  "100.00"};
const std::array<const char*, 50> kTones = {
    "67.0",  "69.3",  "71.9",  "74.4",  "77.0",  "79.7",  "82.5",  "85.4",  "88.5",  "91.5",
    "94.8",  "97.4",  "100.0", "103.5", "107.2", "110.9", "114.8", "118.8", "123.0", "127.3",
    "131.8", "136.5", "141.3", "146.2", "151.4", "156.7", "159.8", "162.2", "165.5", "167.9",
    "171.3", "173.8", "177.3", "179.9", "183.5", "186.2", "189.9", "192.8", "196.6", "199.5",
    "203.5", "206.5", "210.7", "218.1", "225.7", "229.1", "233.6", "241.8", "250.3", "254.1"};
const std::array<const char*, 104> kDcsCodes = {
    "023", "025", "026", "031", "032", "036", "043", "047", "051", "053", "054", "065", "071",
    "072", "073", "074", "114", "115", "116", "122", "125", "131", "132", "134", "143", "145",
    "152", "155", "156", "162", "165", "172", "174", "205", "212", "223", "225", "226", "243",
    "244", "245", "246", "251", "252", "255", "261", "263", "265", "266", "271", "274", "306",
    "311", "315", "325", "331", "332", "343", "346", "351", "356", "364", "365", "371", "411",
    "412", "413", "423", "431", "432", "445", "446", "452", "454", "455", "462", "464", "465",
    "466", "503", "506", "516", "523", "526", "532", "546", "565", "606", "612", "624", "627",
    "631", "632", "654", "662", "664", "703", "712", "723", "731", "732", "734", "743", "754"};

template <size_t N>
QString Lookup(const std::array<const char*, N>& table, int index) {
    return index >= 0 && index < int(N) ? QString::fromLatin1(table[index]) : kUnknown;
}

// The bytes [offset, offset + size) of the image, or nullptr when the image is too short.
const uchar* Bytes(const QByteArray& image, qsizetype offset, qsizetype size) {
    if (offset < 0 || offset + size > image.size())
        return nullptr;
    return reinterpret_cast<const uchar*>(image.constData()) + offset;
}

// Six BCD digits, most significant first; -1 when a digit is above 9.
qint64 Bcd6(const uchar* p) {
    qint64 value = 0;
    for (int i = 0; i < 3; ++i) {
        const int high = p[i] >> 4, low = p[i] & 0x0F;
        if (high > 9 || low > 9)
            return -1;
        value = value * 100 + high * 10 + low;
    }
    return value;
}

bool OnChannelRaster(qint64 hz) {
    for (qint64 spacing : {5000, 12500, 6250, 2500})
        if (hz % spacing == 0)
            return true;
    const qint64 rest = hz % 25000;
    return rest == 0 || rest == 8330 || rest == 16660;
}

// The radio keeps whole kHz and drops the fraction of a 6.25, 12.5 or 8.33 kHz channel;
// the first small addition that lands on a channel raster puts it back.
qint64 KilohertzToHertz(qint64 khz) {
    if (khz < 0)
        return -1;
    const qint64 hz = khz * 1000;
    if (OnChannelRaster(hz))
        return hz;
    for (qint64 fraction : {500, 250, 750, 330})
        if (OnChannelRaster(hz + fraction))
            return hz + fraction;
    return hz;
}

// A name ends at the first FF; codes without a character show as '.', and trailing
// spaces are padding.
QString NameText(const uchar* p, uchar mask) {
    QString name;
    for (int i = 0; i < kNameSize && p[i] != 0xFF; ++i) {
        const int code = p[i] & mask;
        name += QLatin1Char(code < kNameCodes ? kNameTable[code] : '.');
    }
    while (name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    return name;
}

Channel DecodeChannel(const QByteArray& image, int index) {
    Channel ch;
    ch.number = index + 1;
    const uchar* flags = Bytes(image, kFlagsOffset + index, 1);
    // From the top bit down: nosubvfo, 3 unknown, pskip, skip, used, valid.
    if (!flags || (*flags & 0x03) != 0x03)
        return ch;
    ch.empty = false;
    ch.skip = (*flags & 0x04)   ? QStringLiteral("S")
              : (*flags & 0x08) ? QStringLiteral("P")
                                : QString();
    const uchar* r = Bytes(image, kChannelsOffset + qsizetype(index) * kChannelSize, kChannelSize);
    if (!r) {
        ch.name = ch.duplex = ch.toneMode = ch.tone = ch.dcs = ch.mode = ch.step = ch.power =
            kUnknown;
        return ch;
    }
    const bool halfDeviation = r[0] & 0x20;
    const int mode = r[1] >> 6;
    ch.mode = Lookup(kModes, mode == 0 && halfDeviation ? 3 : mode);
    ch.duplex = Lookup(kDuplexes, (r[1] >> 4) & 0x03);
    ch.step = Lookup(kSteps, r[1] & 0x0F);
    ch.frequencyHz = KilohertzToHertz(Bcd6(r + 2));
    ch.power = Lookup(kPowers, r[5] >> 6);
    ch.toneMode = Lookup(kToneModes, r[5] & 0x03);
    ch.name = NameText(r + 8, 0xFF);
    ch.offsetHz = KilohertzToHertz(Bcd6(r + 24));
    ch.tone = Lookup(kTones, r[27] & 0x3F);
    ch.dcs = Lookup(kDcsCodes, r[28] & 0x7F);
    return ch;
}

int Word(const uchar* p) {
    return (p[0] << 8) | p[1];
}

constexpr int kUnusedWord = 0xFFFF;

// A CSV field, quoted when it holds a comma or a quote (a name may hold a comma).
QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

QString Channel::text(ChannelField field) const {
    switch (field) {
        case ChannelField::Number:
            return QString::number(number);
        case ChannelField::Frequency:
            return empty ? QString() : MegahertzText(frequencyHz);
        case ChannelField::Name:
            return name;
        case ChannelField::Duplex:
            return duplex;
        case ChannelField::Offset:
            return empty ? QString() : MegahertzText(offsetHz);
        case ChannelField::ToneMode:
            return toneMode;
        case ChannelField::Tone:
            return tone;
        case ChannelField::Dcs:
            return dcs;
        case ChannelField::Mode:
            return mode;
        case ChannelField::Step:
            return step;
        case ChannelField::Power:
            return power;
        case ChannelField::Skip:
            return skip;
    }
    return kUnknown;
}

QList<Channel> DecodeChannels(const QByteArray& image) {
    QList<Channel> channels;
    channels.reserve(kChannelCount);
    for (int i = 0; i < kChannelCount; ++i)
        channels.append(DecodeChannel(image, i));
    return channels;
}

QList<Bank> DecodeBanks(const QByteArray& image) {
    QList<Bank> banks;
    for (int b = 0; b < kBankCount; ++b) {
        Bank bank;
        bank.number = b + 1;
        if (const uchar* word = Bytes(image, kBankInUseOffset + 2 * b, 2))
            bank.inUse = Word(word) != kUnusedWord;
        if (const uchar* name = Bytes(image, kBankNamesOffset + kBankNameSize * b + 2, kNameSize))
            bank.name = NameText(name, 0x7F);
        if (const uchar* members =
                Bytes(image, kBankMembersOffset + kBankMembersSize * b, kBankMembersSize)) {
            for (int m = 0; m < kBankMembersSize; m += 2) {
                const int index = Word(members + m);
                if (index < kChannelCount)
                    bank.members.append(index + 1);
            }
        }
        banks.append(bank);
    }
    return banks;
}

QString ChannelFieldName(ChannelField field) {
    static const std::array<const char*, kChannelFieldCount> kNames = {
        "Ch",   "Name", "Frequency", "Duplex", "Offset", "Tone mode",
        "Tone", "DCS",  "Mode",      "Step",   "Power",  "Skip"};
    return QString::fromLatin1(kNames[int(field)]);
}

QString MegahertzText(qint64 hz) {
    if (hz < 0)
        return kUnknown;
    return QStringLiteral("%1.%2").arg(hz / 1'000'000).arg(hz % 1'000'000, 6, 10, QLatin1Char('0'));
}

int UsedChannelCount(const QList<Channel>& channels) {
    int used = 0;
    for (const Channel& ch : channels)
        used += ch.empty ? 0 : 1;
    return used;
}

QString ChannelsCsv(const QList<Channel>& channels, bool all) {
    QString csv = QStringLiteral(
        "Location,Name,Frequency,Duplex,Offset,Tone,rToneFreq,cToneFreq,DtcsCode,DtcsPolarity,"
        "Mode,TStep,Skip,Comment,URCALL,RPT1CALL,RPT2CALL,DVCODE\n");
    csv.reserve(channels.size() * 80);
    for (const Channel& ch : channels) {
        if (ch.empty) {
            if (all)
                csv += QString::number(ch.number) + QString(17, QLatin1Char(',')) + '\n';
            continue;
        }
        // The radio keeps one tone for both directions.
        const QStringList fields = {QString::number(ch.number),
                                    CsvField(ch.name),
                                    MegahertzText(ch.frequencyHz),
                                    ch.duplex,
                                    MegahertzText(ch.offsetHz),
                                    ch.toneMode,
                                    ch.tone,
                                    ch.tone,
                                    ch.dcs,
                                    QStringLiteral("NN"),
                                    ch.mode,
                                    ch.step,
                                    ch.skip,
                                    {},
                                    {},
                                    {},
                                    {},
                                    {}};
        csv += fields.join(QLatin1Char(',')) + '\n';
    }
    return csv;
}

QString ChannelsTable(const QList<Channel>& channels, bool all) {
    QList<std::array<QString, kChannelFieldCount>> rows;
    std::array<QString, kChannelFieldCount> header;
    std::array<qsizetype, kChannelFieldCount> widths{};
    auto add = [&](const std::array<QString, kChannelFieldCount>& row) {
        for (int f = 0; f < kChannelFieldCount; ++f)
            widths[f] = std::max(widths[f], row[f].size());
        rows.append(row);
    };
    for (int f = 0; f < kChannelFieldCount; ++f)
        header[f] = ChannelFieldName(ChannelField(f));
    add(header);
    for (const Channel& ch : channels) {
        if (ch.empty && !all)
            continue;
        std::array<QString, kChannelFieldCount> row;
        for (int f = 0; f < kChannelFieldCount; ++f)
            row[f] = ch.text(ChannelField(f));
        add(row);
    }
    QString table;
    for (const auto& row : rows) {
        QString line;
        for (int f = 0; f < kChannelFieldCount; ++f) {
            // Numbers line up on the right, so that the MHz points stand in one column.
            const auto field = ChannelField(f);
            const bool numeric = field == ChannelField::Number ||
                                 field == ChannelField::Frequency || field == ChannelField::Offset;
            line += (f ? QStringLiteral("  ") : QString()) +
                    (numeric ? row[f].rightJustified(widths[f]) : row[f].leftJustified(widths[f]));
        }
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        table += line + '\n';
    }
    return table;
}

QStringList ChannelChanges(const Channel& before, const Channel& after) {
    auto shown = [](const QString& text) { return text.isEmpty() ? QStringLiteral("none") : text; };
    QStringList changes;
    for (int f = int(ChannelField::Name); f < kChannelFieldCount; ++f) {
        const QString was = before.text(ChannelField(f)), now = after.text(ChannelField(f));
        if (was != now)
            changes << QStringLiteral("%1 %2 → %3")
                           .arg(ChannelFieldName(ChannelField(f)), shown(was), shown(now));
    }
    return changes;
}

namespace {

// Whether the comparison gives the channel a line of its own.
bool channelListed(const Channel& was, const Channel& now) {
    return was.empty != now.empty || !ChannelChanges(was, now).isEmpty();
}

}  // namespace

QStringList ChannelComparison(const QByteArray& before, const QByteArray& after) {
    const QList<Channel> was = DecodeChannels(before), now = DecodeChannels(after);
    auto summary = [](const Channel& ch) {
        return QStringList({ch.name, ch.text(ChannelField::Frequency)}).join(' ').trimmed();
    };
    QStringList lines;
    for (int i = 0; i < kChannelCount; ++i) {
        QString change;
        if (was[i].empty && !now[i].empty)
            change = QStringLiteral("added ") + summary(now[i]);
        else if (!was[i].empty && now[i].empty)
            change = QStringLiteral("removed ") + summary(was[i]);
        else
            change = ChannelChanges(was[i], now[i]).join(QStringLiteral("; "));
        if (!change.isEmpty())
            lines << QStringLiteral("ch %1: %2").arg(i + 1).arg(change);
    }
    return lines;
}

int OtherDifferingBlocks(const QByteArray& before, const QByteArray& after) {
    constexpr int kIdentitySize = 10, kBlockSize = 64;
    const QList<Channel> was = DecodeChannels(before), now = DecodeChannels(after);
    // A byte of a channel that decodes the same both times (an empty channel's record,
    // bits no field shows) is other memory too.
    auto inListedChannel = [&](qsizetype at) {
        qsizetype n = -1;
        if (at >= kFlagsOffset && at < kFlagsOffset + kChannelCount)
            n = at - kFlagsOffset;
        else if (at >= kChannelsOffset && at < kChannelsOffset + kChannelCount * kChannelSize)
            n = (at - kChannelsOffset) / kChannelSize;
        return n >= 0 && n < was.size() && channelListed(was[n], now[n]);
    };
    // The last byte is the final checksum.
    const qsizetype end = std::min(before.size(), after.size()) - 1;
    QList<qsizetype> blocks;
    for (qsizetype at = kIdentitySize; at < end; ++at) {
        if (before[at] == after[at] || inListedChannel(at))
            continue;
        const qsizetype block = (at - kIdentitySize) / kBlockSize;
        if (blocks.isEmpty() || blocks.last() != block)
            blocks << block;
    }
    return int(blocks.size());
}

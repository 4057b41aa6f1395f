#include "memory/channels.h"

#include <algorithm>
#include <array>

#include "image/cloneimage.h"

namespace {

using namespace ChannelLayout;

const QString kUnknown = QStringLiteral("?");

constexpr const char* kModes[] = {"FM", "AM", "WFM"};
constexpr const char* kDuplexes[] = {"", "-", "+", "split"};
constexpr const char* kToneModes[] = {"", "Tone", "TSQL", "DTCS"};
constexpr const char* kPowers[] = {"L1 0.05 W", "L2 1 W", "L3 2.5 W", "Hi 5 W"};
constexpr const char* kSteps[] = {"5.00",  "6.25",  "8.33",  "9.00",  "10.00",  "12.50",
                                  "15.00", "20.00", "25.00", "50.00", "100.00", "200.00"};
constexpr const char* kSkips[] = {"", "S", "P"};
constexpr const char* kTones[] = {
    "67.0",  "69.3",  "71.9",  "74.4",  "77.0",  "79.7",  "82.5",  "85.4",  "88.5",  "91.5",
    "94.8",  "97.4",  "100.0", "103.5", "107.2", "110.9", "114.8", "118.8", "123.0", "127.3",
    "131.8", "136.5", "141.3", "146.2", "151.4", "156.7", "159.8", "162.2", "165.5", "167.9",
    "171.3", "173.8", "177.3", "179.9", "183.5", "186.2", "189.9", "192.8", "196.6", "199.5",
    "203.5", "206.5", "210.7", "218.1", "225.7", "229.1", "233.6", "241.8", "250.3", "254.1"};
constexpr const char* kDcsCodes[] = {
    "023", "025", "026", "031", "032", "036", "043", "047", "051", "053", "054", "065", "071",
    "072", "073", "074", "114", "115", "116", "122", "125", "131", "132", "134", "143", "145",
    "152", "155", "156", "162", "165", "172", "174", "205", "212", "223", "225", "226", "243",
    "244", "245", "246", "251", "252", "255", "261", "263", "265", "266", "271", "274", "306",
    "311", "315", "325", "331", "332", "343", "346", "351", "356", "364", "365", "371", "411",
    "412", "413", "423", "431", "432", "445", "446", "452", "454", "455", "462", "464", "465",
    "466", "503", "506", "516", "523", "526", "532", "546", "565", "606", "612", "624", "627",
    "631", "632", "654", "662", "664", "703", "712", "723", "731", "732", "734", "743", "754"};

namespace M = MemoryMap::Channels;
using F = ChannelField;
using P = FieldParse;
constexpr std::span<const char* const> kNone;  // no list
constexpr ChannelFieldRow kRows[] = {
    {F::Number, "number", "Ch", nullptr, kNone, P::Number},
    {F::Name, "name", "Name", &M::kName, kNone, P::Name},
    {F::Frequency, "frequency", "Frequency", &M::kFrequency, kNone, P::Hertz, nullptr,
     &Channel::frequencyHz},
    {F::Duplex, "duplex", "Duplex", &M::kDuplex, kDuplexes, P::List, &Channel::duplex},
    {F::Offset, "offset", "Offset", &M::kOffset, kNone, P::Hertz, nullptr, &Channel::offsetHz},
    {F::ToneMode, "tone mode", "Tone mode", &M::kToneMode, kToneModes, P::List, &Channel::toneMode},
    {F::Tone, "tone", "Tone", &M::kTone, kTones, P::Decimal, &Channel::tone, nullptr,
     "is not one of the 50 tones"},
    {F::Dcs, "dcs", "DCS", &M::kDcs, kDcsCodes, P::Code, &Channel::dcs, nullptr,
     "is not one of the 104 codes"},
    {F::Mode, "mode", "Mode", &M::kMode, kModes, P::List, &Channel::mode},
    {F::Step, "step", "Step", &M::kStep, kSteps, P::Kilohertz, &Channel::step},
    {F::Power, "power", "Power", &M::kPower, kPowers, P::Power, &Channel::power, nullptr,
     "is not one of %1 nor a power in watts"},
    {F::Skip, "skip", "Skip", &M::kSkip, kSkips, P::List, &Channel::skip},
};
static_assert(std::size(kRows) == kChannelFieldCount);

// On a 12.5 or 6.25 kHz channel raster.
bool OnRaster(qint64 hz) {
    return hz % 6250 == 0;
}

}  // namespace

// The radio keeps whole kHz and drops the fraction. In the airband (108-137 MHz) the
// channels are 25 kHz apart or split in three (8.33 kHz): a kHz value stands for the nearest
// of base, base + 8 333 Hz and base + 16 666 Hz, where base is the multiple of 25 kHz at or
// below, and the channel names base + 5 and base + 15 kHz stand for base and base + 16 666
// Hz. Elsewhere the first of 500, 250 and 750 Hz that lands on a 12.5 or 6.25 kHz raster is
// put back.
qint64 RestoredHertz(qint64 khz) {
    if (khz < 0)
        return -1;
    const qint64 hz = khz * 1000;
    if (khz >= 108000 && khz <= 137000) {
        const qint64 rest = khz % 25;
        const qint64 base = hz - rest * 1000;
        if (rest == 0 || rest == 5)
            return base;
        if (rest == 15)
            return base + 16666;
        qint64 best = base;
        for (qint64 third : {8333, 16666})
            if (std::abs(base + third - hz) < std::abs(best - hz))
                best = base + third;
        return best;
    }
    if (OnRaster(hz))
        return hz;
    for (qint64 fraction : {500, 250, 750})
        if (OnRaster(hz + fraction))
            return hz + fraction;
    return hz;
}

namespace {

using MemoryMap::ReadNumber;

Channel DecodeChannel(const QByteArray& image, int index) {
    Channel ch;
    ch.number = index + 1;
    const qint64 flags = ReadNumber(image, M::kFlags, index);
    if (flags < 0 || !M::Holds(uchar(flags)))
        return ch;
    ch.empty = false;
    ch.masked = M::Masked(uchar(flags));
    // A record cut short leaves every field of it unknown; skip is in the flag byte.
    const bool whole = M::kMark.at(index) + M::kRecordSize <= image.size();
    for (const ChannelFieldRow& row : kRows)
        if (row.index)
            ch.*row.index =
                whole || row.id == F::Skip ? int(ReadNumber(image, *row.field, index)) : -1;
    // Skip is bit 2, preferential bit 3; preferential wins when both are set.
    ch.skip = qMin(ch.skip, 2);
    if (!whole) {
        ch.name = kUnknown;
        ch.offsetHz = -1;
        return ch;
    }
    // Half deviation is not read: narrow deviation is one setting for the whole radio.
    ch.frequencyHz = RestoredHertz(ReadNumber(image, M::kFrequency, index));
    ch.name = MemoryMap::ReadText(image, M::kName, index);
    // A "+" or "-" offset is whole kHz as stored; a split channel's is its transmit
    // frequency, whose dropped fraction is put back.
    const qint64 offsetKhz = ReadNumber(image, M::kOffset, index);
    ch.offsetHz = ch.duplex == 3 || offsetKhz < 0 ? RestoredHertz(offsetKhz) : offsetKhz * 1000;
    return ch;
}

}  // namespace

bool ChannelInUse(const QByteArray& image, int number) {
    const qint64 flags = ReadNumber(image, M::kFlags, number - 1);
    return flags >= 0 && M::InUse(uchar(flags));
}

const ChannelFieldRow& ChannelRow(ChannelField field) {
    return kRows[int(field)];
}

std::span<const ChannelFieldRow> ChannelRows() {
    return kRows;
}

const QStringList& ChannelFieldRow::choices() const {
    static const auto lists = [] {
        std::array<QStringList, kChannelFieldCount> all;
        for (const ChannelFieldRow& row : kRows)
            for (const char* text : row.values)
                all[int(row.id)] << QString::fromLatin1(text);
        return all;
    }();
    return lists[int(id)];
}

QString Channel::text(ChannelField field) const {
    const ChannelFieldRow& row = kRows[int(field)];
    if (field == F::Number)
        return LocationLabel(number);
    if (empty)
        return QString();
    if (row.hertz)
        return MegahertzText(this->*row.hertz);
    if (!row.index)
        return name;
    const QStringList& list = row.choices();
    const int at = this->*row.index;
    return at >= 0 && at < list.size() ? list[at] : kUnknown;
}

const char kForeignModeNote[] =
    "mode code 3: written by another program as narrow FM; this radio sets narrow deviation "
    "for all channels at once; choose FM, AM or WFM";

QList<Channel> DecodeChannels(const QByteArray& image, ChannelList list) {
    const MemoryMap::Channels::ListSpan span = MemoryMap::Channels::Span(list);
    QList<Channel> channels;
    channels.reserve(span.size);
    for (int slot = span.first; slot <= span.last(); ++slot)
        channels.append(DecodeChannel(image, slot - 1));
    return channels;
}

Channel DecodeChannelAt(const QByteArray& image, int number) {
    return DecodeChannel(image, number - 1);
}

Bank DecodeBank(const QByteArray& image, int number) {
    namespace B = MemoryMap::Banks;
    Bank bank;
    bank.number = number;
    const int b = number - 1;
    if (b < 0 || b >= kBankCount)
        return bank;
    const qint64 inUse = ReadNumber(image, B::kInUse, b);
    bank.inUse = inUse >= 0 && inUse != B::kUnusedWord;
    bank.name = MemoryMap::ReadText(image, B::kName, b);
    // A list cut short is no list.
    const int first = b * B::kMembersPerBank, end = first + B::kMembersPerBank;
    const bool listed = bank.inUse && ReadNumber(image, B::kMembers, end - 1) >= 0;
    for (int m = first; listed && m < end; ++m) {
        const int index = int(ReadNumber(image, B::kMembers, m));
        if (index < kChannelCount && !bank.members.contains(index + 1))
            bank.members.append(index + 1);
    }
    return bank;
}

QList<Bank> DecodeBanks(const QByteArray& image) {
    QList<Bank> banks;
    for (int b = 1; b <= kBankCount; ++b)
        banks.append(DecodeBank(image, b));
    return banks;
}

QString ChannelBanksText(const QList<Bank>& banks, int number) {
    QStringList numbers;
    for (const Bank& bank : banks)
        if (bank.members.contains(number))
            numbers << QString::number(bank.number);
    return numbers.join(QLatin1Char(' '));
}

QString MegahertzText(qint64 hz) {
    if (hz < 0)
        return kUnknown;
    return QStringLiteral("%1.%2").arg(hz / 1'000'000).arg(hz % 1'000'000, 6, 10, QLatin1Char('0'));
}

int UsedChannelCount(const QList<Channel>& channels) {
    int used = 0;
    for (const Channel& ch : channels)
        used += ch.empty || ch.masked ? 0 : 1;
    return used;
}

int MaskedChannelCount(const QList<Channel>& channels) {
    return int(std::count_if(channels.begin(), channels.end(),
                             [](const Channel& ch) { return ch.masked; }));
}

int LocationOf(int slot) {
    return slot - M::Span(M::ListOf(slot)).first + 1;
}

int SlotOf(ChannelList list, int location) {
    return M::Span(list).first + location - 1;
}

QString LocationLabel(int slot) {
    const int location = LocationOf(slot);
    if (!MemoryList(M::ListOf(slot)).paired)
        return QString::number(location);
    return (location % 2 ? QStringLiteral("L") : QStringLiteral("U")) +
           QString::number((location + 1) / 2);
}

QString EntryName(int slot) {
    return QLatin1String(MemoryList(M::ListOf(slot)).prefix) + QLatin1Char(' ') +
           LocationLabel(slot);
}

QString ListNoun(ChannelList list) {
    return QLatin1String(MemoryList(list).noun);
}

QStringList MemoryListNames() {
    QStringList names;
    for (const MemoryListRow& row : kMemoryLists)
        names << QLatin1String(row.name);
    return names;
}

QString PmsPairProblem(const Channel& lower, const Channel& upper) {
    if (lower.empty != upper.empty) {
        const Channel& set = lower.empty ? upper : lower;
        return QStringLiteral("%1 %2 is set and %3 is empty: a scan range needs both edges")
            .arg(LocationLabel(set.number), MegahertzText(set.frequencyHz),
                 LocationLabel((lower.empty ? lower : upper).number));
    }
    if (lower.empty || lower.frequencyHz <= upper.frequencyHz)
        return {};
    return QStringLiteral(
               "%1 %2 is above %3 %4: the scan range's lower edge is above its upper "
               "edge")
        .arg(LocationLabel(lower.number), MegahertzText(lower.frequencyHz),
             LocationLabel(upper.number), MegahertzText(upper.frequencyHz));
}

QStringList PmsPairWarnings(const QByteArray& image) {
    const QList<Channel> pms = DecodeChannels(image, ChannelList::Pms);
    QStringList lines;
    for (qsizetype i = 0; i + 1 < pms.size(); i += 2)
        if (const QString problem = PmsPairProblem(pms[i], pms[i + 1]); !problem.isEmpty())
            lines << QStringLiteral("PMS pair %1: %2").arg(i / 2 + 1).arg(problem);
    return lines;
}

QString ChannelsTable(const QList<Channel>& channels, const QList<Bank>& banks, bool all) {
    // Shorter than the window's columns so that the widest row fits 80 columns: the tone
    // mode with the tone it uses, the step without trailing zeros, the power level alone,
    // one-letter captions over the power and skip.
    constexpr int kColumns = 80;
    constexpr std::pair<const char*, ChannelField> kShown[] = {
        {"Ch", F::Number},  {"Name", F::Name},     {"Frequency", F::Frequency},
        {"Dup", F::Duplex}, {"Offset", F::Offset}, {"Tone", F::ToneMode},
        {"Mode", F::Mode},  {"Step", F::Step},     {"P", F::Power},
        {"S", F::Skip}};
    constexpr int Banks = int(std::size(kShown)), Count = Banks + 1;
    using Row = std::array<QString, Count>;
    QList<Row> rows;
    std::array<qsizetype, Count> widths{};
    auto add = [&](const Row& row) {
        for (int c = 0; c < Count; ++c)
            widths[c] = std::max(widths[c], row[c].size());
        rows.append(row);
    };
    // Only the channels have banks: the other lists' tables end at the S column.
    const bool withBanks =
        channels.isEmpty() || M::ListOf(channels.first().number) == ChannelList::Channels;
    Row header;
    for (int c = 0; c < Banks; ++c)
        header[c] = QString::fromLatin1(kShown[c].first);
    if (withBanks)
        header[Banks] = QStringLiteral("Banks");
    add(header);
    std::array<QStringList, kChannelCount> inBanks;
    for (const Bank& bank : banks)
        for (int number : bank.members)
            if (number >= 1 && number <= kChannelCount)
                inBanks[number - 1] << QString::number(bank.number);
    for (const Channel& ch : channels) {
        if (ch.empty && !all)
            continue;
        Row row;
        for (int c = 0; c < Banks; ++c) {
            const ChannelField field = kShown[c].second;
            QString& text = row[c] = ch.text(field);
            if (field == F::ToneMode && !text.isEmpty())
                text += ' ' + ch.text(ch.toneMode == 3 ? F::Dcs : F::Tone);
            if (field == F::Step && text.contains(QLatin1Char('.'))) {
                while (text.endsWith(QLatin1Char('0')))
                    text.chop(1);
                if (text.endsWith(QLatin1Char('.')))
                    text.chop(1);
            }
            if (field == F::Power)
                text = text.section(QLatin1Char(' '), 0, 0);
            if (field == F::Skip && ch.masked)
                text = QStringLiteral("M");
        }
        if (ch.number >= 1 && ch.number <= kChannelCount)
            row[Banks] = inBanks[ch.number - 1].join(QLatin1Char(' '));
        add(row);
    }
    // The banks take the room left of the 80 columns; a longer list goes on in lines of its
    // own, under its column.
    qsizetype start = 0;
    for (int c = 0; c < Banks; ++c)
        start += widths[c] + 1;
    const qsizetype room = std::max(kColumns - start, qsizetype(header[Banks].size()));
    QString table;
    for (const Row& row : rows) {
        QString line;
        for (int c = 0; c < Banks; ++c) {
            // Numbers line up on the right, so that the MHz points stand in one column.
            const bool numeric = ChannelRow(kShown[c].second).numeric();
            line += (c ? QStringLiteral(" ") : QString()) +
                    (numeric ? row[c].rightJustified(widths[c]) : row[c].leftJustified(widths[c]));
        }
        QString part;
        for (const QString& bank : row[Banks].split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (!part.isEmpty() && part.size() + 1 + bank.size() > room) {
                table += line + ' ' + part + '\n';
                line = QString(start - 1, QLatin1Char(' '));
                part.clear();
            }
            part += (part.isEmpty() ? QString() : QStringLiteral(" ")) + bank;
        }
        line += ' ' + part;
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        table += line + '\n';
    }
    return table;
}

QStringList ChannelChanges(const Channel& before, const Channel& after) {
    auto shown = [](const QString& text) { return text.isEmpty() ? QStringLiteral("none") : text; };
    QStringList changes;
    for (const ChannelFieldRow& row : ChannelRows().subspan(1)) {
        const QString was = before.text(row.id), now = after.text(row.id);
        if (was != now)
            changes << QStringLiteral("%1 %2 → %3")
                           .arg(QLatin1String(row.caption), shown(was), shown(now));
    }
    return changes;
}

namespace {

// What the comparison says of channel `i`: "added ...", "removed ..." or its fields that
// changed, its banks among them; empty when nothing did.
QString ChannelChangeText(const Channel& was, const Channel& now, const QString& wasBanks,
                          const QString& nowBanks) {
    auto summary = [](const Channel& ch) {
        return QStringList({ch.name, ch.text(ChannelField::Frequency)}).join(' ').trimmed();
    };
    auto shown = [](const QString& text) { return text.isEmpty() ? QStringLiteral("none") : text; };
    QStringList changes;
    if (was.empty && !now.empty)
        changes << QStringLiteral("added ") + summary(now);
    else if (!was.empty && now.empty)
        changes << QStringLiteral("removed ") + summary(was);
    else
        changes = ChannelChanges(was, now);
    if (!was.empty && !now.empty && was.masked != now.masked)
        changes.prepend(now.masked ? QStringLiteral("masked") : QStringLiteral("unmasked"));
    if (wasBanks != nowBanks)
        changes << QStringLiteral("Banks %1 → %2").arg(shown(wasBanks), shown(nowBanks));
    return changes.join(QStringLiteral("; "));
}

// Every slot of both images decoded once, for the comparison and the count of other blocks.
QList<Channel> DecodeSlots(const QByteArray& image) {
    QList<Channel> all;
    for (const MemoryListRow& row : kMemoryLists)
        all << DecodeChannels(image, row.list);
    return all;
}

struct Decoded {
    QList<Channel> was, now;
    QList<Bank> wasBanks, nowBanks;
    Decoded(const QByteArray& before, const QByteArray& after)
        : was(DecodeSlots(before)),
          now(DecodeSlots(after)),
          wasBanks(DecodeBanks(before)),
          nowBanks(DecodeBanks(after)) {}
    QString change(int i) const {
        return ChannelChangeText(was[i], now[i], ChannelBanksText(wasBanks, i + 1),
                                 ChannelBanksText(nowBanks, i + 1));
    }
};

}  // namespace

QStringList ChannelComparison(const QByteArray& before, const QByteArray& after) {
    const Decoded d(before, after);
    QStringList lines;
    for (int i = 0; i < kSlotCount; ++i) {
        const QString change = d.change(i);
        if (!change.isEmpty())
            lines << EntryName(i + 1) + QStringLiteral(": ") + change;
    }
    for (int b = 0; b < kBankCount; ++b) {
        const QString& was = d.wasBanks[b].name;
        const QString& now = d.nowBanks[b].name;
        if (was != now)
            lines << QStringLiteral("bank %1: Name %2 → %3")
                         .arg(b + 1)
                         .arg(was.isEmpty() ? QStringLiteral("none") : was,
                              now.isEmpty() ? QStringLiteral("none") : now);
    }
    return lines;
}

int OtherDifferingBlocks(const QByteArray& before, const QByteArray& after) {
    const Decoded d(before, after);
    // A byte of a channel that decodes the same both times (an empty channel's record,
    // bits no field shows) is other memory too; so is a bank's byte when its members, or
    // its name, read the same.
    std::array<bool, kSlotCount> listed{};
    for (int i = 0; i < kSlotCount; ++i)
        listed[i] = !d.change(i).isEmpty();
    auto inListed = [&](qsizetype at) {
        if (at >= kFlagsOffset && at < kFlagsOffset + kSlotCount)
            return listed[at - kFlagsOffset];
        if (at >= kChannelsOffset && at < kChannelsOffset + kSlotCount * kChannelSize)
            return listed[(at - kChannelsOffset) / kChannelSize];
        qsizetype b = -1;
        if (at >= kBankInUseOffset && at < kBankInUseOffset + 2 * kBankCount)
            b = (at - kBankInUseOffset) / 2;
        else if (at >= kBankMembersOffset &&
                 at < kBankMembersOffset + kBankMembersSize * kBankCount)
            b = (at - kBankMembersOffset) / kBankMembersSize;
        if (b >= 0) {
            QList<int> was = d.wasBanks[b].members, now = d.nowBanks[b].members;
            std::sort(was.begin(), was.end());
            std::sort(now.begin(), now.end());
            return was != now;
        }
        if (at >= kBankNamesOffset && at < kBankNamesOffset + kBankNameSize * kBankCount &&
            (at - kBankNamesOffset) % kBankNameSize >= 2)
            return d.wasBanks[(at - kBankNamesOffset) / kBankNameSize].name !=
                   d.nowBanks[(at - kBankNamesOffset) / kBankNameSize].name;
        return false;
    };
    // The last byte is the final checksum.
    const qsizetype end = std::min(before.size(), after.size()) - 1;
    QList<qsizetype> blocks;
    for (qsizetype at = CloneLayout::kDataOffset; at < end; ++at) {
        if (before[at] == after[at] || inListed(at))
            continue;
        const qsizetype block = (at - CloneLayout::kDataOffset) / CloneLayout::kBlockSize;
        if (blocks.isEmpty() || blocks.last() != block)
            blocks << block;
    }
    return int(blocks.size());
}

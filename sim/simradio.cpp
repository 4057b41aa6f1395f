#include "sim/simradio.h"

#include <QList>
#include <iterator>
#include <utility>

#include "image/memorymap.h"
#include "sim/heardbeacons.h"

namespace {
constexpr char kAck = 0x06;
constexpr char kNak = 0x15;

constexpr int kIdentity = SimRadio::kIdentitySize;

struct DemoChannel {
    const char* name;
    int khz;        // receive frequency, whole kHz
    bool fraction;  // a 6.25 kHz channel's quarter kHz dropped from khz
    int mode;       // 0 FM, 1 AM, 2 WFM, 4 narrow FM (FM at half deviation)
    int duplex;     // 0 simplex, 1 -, 2 +, 3 split
    int step;       // index into 5, 6.25, 8.33, 9, 10, 12.5, 15, 20, 25, 50, 100, 200 kHz
    int offsetKhz;  // the offset, or the transmit frequency of a split channel
    int toneMode;   // 0 none, 1 Tone, 2 TSQL, 3 DTCS
    int tone;       // index of the CTCSS tone: 8 is 88.5 Hz, 12 is 100.0 Hz
    int power;      // 0 L1 ... 3 Hi
};

// What a new owner might have stored: calling channels, repeaters, a satellite's split
// pair, PMR446, the airband, a broadcast station, weather and marine.
constexpr DemoChannel kDemoChannels[] = {
    {"CALL 2M", 146520, false, 0, 0, 0, 0, 0, 0, 3},
    {"CALL 70CM", 446000, false, 0, 0, 5, 0, 0, 0, 3},
    {"CALL 6M", 52525, false, 0, 0, 0, 0, 0, 0, 3},
    {"RPT 2M", 146940, false, 0, 1, 0, 600, 1, 12, 3},
    {"RPT 70CM", 442100, false, 0, 2, 5, 5000, 2, 8, 3},
    {"ISS VOICE", 145800, false, 0, 3, 0, 144490, 0, 0, 3},
    {"PMR446 1", 446006, true, 4, 0, 1, 0, 0, 0, 0},
    {"AIR TOWER", 118100, false, 1, 0, 8, 0, 0, 0, 0},
    {"RADIO 93.5", 93500, false, 2, 0, 10, 0, 0, 0, 0},
    {"NOAA WX1", 162550, false, 0, 0, 8, 0, 0, 0, 0},
    {"MARINE 16", 156800, false, 0, 0, 8, 0, 0, 0, 3},
    {"SIMPLEX 2M", 145500, false, 0, 0, 5, 0, 0, 0, 3},
};

struct DemoBank {
    const char* name;
    QList<int> channels;
};
const DemoBank kDemoBanks[] = {{"HAM", {1, 2, 3, 4, 5, 6, 7, 12}}, {"LISTEN", {8, 9, 10, 11}}};

// Skip-search memories (a pager's birdie, a local broadcast) and PMS pairs (the 2 m and
// 70 cm bands), by slot: skip search 1 is slot 901, PMS L1 and U1 are slots 1001 and 1002.
const std::pair<int, DemoChannel> kDemoListEntries[] = {
    {901, {"", 145175, false, 0, 0, 0, 0, 0, 0, 3}},
    {902, {"", 157450, false, 0, 0, 8, 0, 0, 0, 3}},
    {1001, {"2M LOW", 144000, false, 0, 0, 5, 0, 0, 0, 3}},
    {1002, {"2M HIGH", 148000, false, 0, 0, 5, 0, 0, 0, 3}},
    {1003, {"70CM LOW", 430000, false, 0, 0, 5, 0, 0, 0, 3}},
    {1004, {"70CM HIGH", 440000, false, 0, 0, 5, 0, 0, 0, 3}},
};

// One entry into slot index n (0-based), as the radio stores a new one.
void putDemoEntry(QByteArray& image, int n, const DemoChannel& c) {
    namespace C = MemoryMap::Channels;
    using MemoryMap::WriteNumber;
    image.replace(C::kMark.at(n), C::kRecordSize, QByteArray(C::kRecordSize, '\0'));
    WriteNumber(image, C::kValid, 1, n);
    WriteNumber(image, C::kUsed, 1, n);
    WriteNumber(image, C::kMark, c.fraction ? C::kRasterMark : 0, n);
    WriteNumber(image, C::kHalfDeviation, c.mode == 4, n);
    WriteNumber(image, C::kMode, c.mode % 4, n);
    WriteNumber(image, C::kDuplex, c.duplex, n);
    WriteNumber(image, C::kStep, c.step, n);
    WriteNumber(image, C::kFrequency, c.khz, n);
    WriteNumber(image, C::kPower, c.power, n);
    WriteNumber(image, C::kToneMode, c.toneMode, n);
    MemoryMap::WriteText(image, C::kName, QString::fromLatin1(c.name), n);
    WriteNumber(image, C::kOffset, c.offsetKhz, n);
    WriteNumber(image, C::kTone, c.tone, n);
}

// The channels and banks above, into an image (the map counts from the image start);
// every other channel is empty and every other bank unused.
void putDemoChannels(QByteArray& image) {
    namespace C = MemoryMap::Channels;
    namespace B = MemoryMap::Banks;
    using MemoryMap::WriteNumber;
    image.replace(C::kFlags.at(0), C::kCount, QByteArray(C::kCount, '\0'));
    int n = 0;
    for (const DemoChannel& c : kDemoChannels)
        putDemoEntry(image, n++, c);
    for (int b = 0; b < B::kCount; ++b) {
        const DemoBank* bank = b < int(std::size(kDemoBanks)) ? &kDemoBanks[b] : nullptr;
        WriteNumber(image, B::kInUse, bank ? B::kInUseWord : B::kUnusedWord, b);
        MemoryMap::WriteText(image, B::kName, QString::fromLatin1(bank ? bank->name : ""), b);
        for (int m = 0; m < B::kMembersPerBank; ++m)
            WriteNumber(image, B::kMembers,
                        bank && m < bank->channels.size() ? bank->channels[m] - 1 : B::kUnusedWord,
                        b * B::kMembersPerBank + m);
    }
}

// The skip-search and PMS entries above, every other entry of the two lists empty, and a
// masked channel 20.
void putDemoLists(QByteArray& image) {
    namespace C = MemoryMap::Channels;
    const int first = C::Span(C::List::Skip).first;
    image.replace(C::kFlags.at(first - 1), C::kSlots - first + 1,
                  QByteArray(C::kSlots - first + 1, '\0'));
    for (const auto& [slot, c] : kDemoListEntries)
        putDemoEntry(image, slot - 1, c);
    // A repeater its owner masked on the radio: hidden there, its data kept.
    putDemoEntry(image, 19, {"OLD RPT", 147300, false, 0, 2, 0, 600, 1, 12, 3});
    MemoryMap::WriteNumber(image, C::kUsed, 0, 19);
}

// The radio-wide settings of a VX-8R as its owner might have left them, each as the text
// its field takes (a number for a list index): a demo callsign in New York, US units, the
// factory message groups padded with '*' as the radio pads them, an interval beacon.
struct DemoSetting {
    MemoryMap::Setting setting;
    int n;
    const char* text;
};
using S = MemoryMap::Setting;
// clang-format off
constexpr DemoSetting kDemoSettings[] = {
    {S::Callsign, 0, "N0CALL"}, {S::Ssid, 0, "7"}, {S::Latitude, 0, "40°44'54\""},
    {S::Longitude, 0, "-73°59'09\""}, {S::TimeZone, 0, "16"}, {S::SpeedUnit, 0, "2"},
    {S::AltitudeUnit, 0, "1"}, {S::DistanceUnit, 0, "1"}, {S::TemperatureUnit, 0, "1"},
    {S::Modem, 0, "1"}, {S::ReceiveMicE, 0, "1"}, {S::ReceivePosition, 0, "1"},
    {S::ReceiveWeather, 0, "1"}, {S::ReceiveObject, 0, "1"}, {S::ReceiveItem, 0, "1"},
    {S::ReceiveStatus, 0, "1"}, {S::ReceiveOther, 0, "1"}, {S::FlashMessage, 0, "1"},
    {S::MessageGroup, 0, "ALL******"}, {S::MessageGroup, 1, "CQ*******"},
    {S::MessageGroup, 2, "QST******"}, {S::MessageGroup, 3, "YAESU****"},
    {S::MessageGroup, 5, "BLN******"}, {S::MessageGroup, 6, "BLN******"},
    {S::MessageGroup, 7, "BLN******"}, {S::BeaconByInterval, 0, "1"}, {S::TxDelay, 0, "2"},
    {S::BeaconInterval, 0, "6"}, {S::StatusText, 0, "Trying Quorlink"},
    {S::SelectedDigiPath, 0, "2"}, {S::AutodialDelay, 0, "1"}, {S::LcdDimmer, 0, "3"},
    {S::LcdContrast, 0, "8"}, {S::Lamp, 0, "3"}, {S::Beep, 0, "2"}, {S::OpeningMode, 0, "2"},
    {S::OpeningMessage, 0, "QUORLINK DEMO"}, {S::VolumeA, 0, "12"}, {S::VolumeB, 0, "12"},
    {S::SquelchA, 0, "1"}, {S::SquelchB, 0, "1"}, {S::ScanRestart, 0, "11"},
    {S::ScanResume, 0, "6"}, {S::TxTimeout, 0, "6"},
};
// The VX-8DR's and VX-8GE's SmartBeaconing: type 1 chosen, the three profiles as the factory
// sets them (low and high speed, slow and fast rate, turn angle, slope and time).
constexpr DemoSetting kDemoSmartBeaconing[] = {
    {S::SmartProfile, 0, "1"},
    {S::SmartLowSpeed, 0, "5"}, {S::SmartHighSpeed, 0, "70"}, {S::SmartSlowRate, 0, "30"},
    {S::SmartFastRate, 0, "120"}, {S::SmartTurnAngle, 0, "28"}, {S::SmartTurnSlope, 0, "26"},
    {S::SmartTurnTime, 0, "30"},
    {S::SmartLowSpeed, 1, "3"}, {S::SmartHighSpeed, 1, "30"}, {S::SmartSlowRate, 1, "30"},
    {S::SmartFastRate, 1, "120"}, {S::SmartTurnAngle, 1, "28"}, {S::SmartTurnSlope, 1, "11"},
    {S::SmartTurnTime, 1, "30"},
    {S::SmartLowSpeed, 2, "2"}, {S::SmartHighSpeed, 2, "12"}, {S::SmartSlowRate, 2, "30"},
    {S::SmartFastRate, 2, "120"}, {S::SmartTurnAngle, 2, "28"}, {S::SmartTurnSlope, 2, "7"},
    {S::SmartTurnTime, 2, "30"},
};
// clang-format on

// Every setting first as a radio keeps it unset (texts padded, numbers 0), then the values
// above; the record sums are made again, each backup equal to its record.
void putDemoSettings(QByteArray& image, MemoryMap::Model model) {
    using namespace MemoryMap;
    for (int s = 0; s <= int(S::TxTimeout); ++s) {
        const std::optional<Field> f = SettingField(model, Setting(s));
        for (int n = 0; f && n < f->count; ++n)
            if (f->codec == Codec::Bits || f->codec == Codec::Index)
                WriteNumber(image, *f, 0, n);
            else
                WriteText(image, *f, "", n);
    }
    auto put = [&](const DemoSetting& d) {
        if (const std::optional<Field> f = SettingField(model, d.setting))
            WriteText(image, *f, QString::fromUtf8(d.text), d.n);
    };
    for (const DemoSetting& d : kDemoSettings)
        put(d);
    for (const DemoSetting& d : kDemoSmartBeaconing)
        put(d);
    // Each summed record's backup equal to it, as a radio keeps them.
    for (const RecordPair& pair : kRecordPairs)
        image.replace(pair.backup, pair.size, image.mid(pair.master, pair.size));
    for (const SumPlace& p : SumPlaces())
        if (p.at != kTotalSumAt)
            image[p.at] = char(SumOf(image, p.first, p.last));
}

// A few beacons heard on an afternoon in Manhattan (made up): a car, a weather station, a
// hiker's Mic-E, an object and a status; every other entry unused.
void putDemoStations(QByteArray& image, MemoryMap::Model model) {
    ClearHeardBeacons(image, model);
    const char* const beacons[] = {
        "KD2DMO-9>APRS,WIDE1-1,WIDE2-1:!4046.12N/07358.45W>088/025Commuting home",
        "W2WXD>APRS,WIDE2-1:@051523z4041.80N/07400.50W_220/004g009t045r000p000P000h62b10182",
        "N2HIK-7>TP4V5U,WIDE1-1:`eUll<+[/\"4;}Central Park loop",
        "KC2NET>APRS:;HUDSONNET*051530z4045.00N/07401.20WrNet 146.52 Sun 20:00",
        "AB2DEF>APRS,WIDE2-1:>Monitoring 144.390",
    };
    for (int n = 0; n < int(std::size(beacons)); ++n)
        StoreHeardBeacon(image, model, n, QDate(2026, 12, 5),
                         QTime(15, 20 + 3 * n), QString::fromLatin1(beacons[n]));
}

}  // namespace

QByteArray SimRadio::identityOf(const RadioModel& model) {
    return QByteArray(model.identity) + QByteArray::fromHex("0001000000");
}

QByteArray SimRadio::identityAH029() {
    return identityOf(RadioModelRow(MemoryMap::Model::VX8R));
}

QByteArray SimRadio::identityAH29D() {
    return identityOf(RadioModelRow(MemoryMap::Model::VX8DR));
}

QByteArray SimRadio::identityOf(MemoryMap::Model model) {
    return identityOf(RadioModelRow(model));
}

quint8 SimRadio::checksumOf(const QByteArray& identity, const QByteArray& data) {
    unsigned sum = 0;
    for (char c : identity)
        sum += static_cast<quint8>(c);
    for (char c : data)
        sum += static_cast<quint8>(c);
    return static_cast<quint8>(sum & 0xFF);
}

SimRadio::SimRadio(MemoryMap::Model model) : identity(identityOf(model)) {
    // The memory is filled behind a blank identity, where the map's offsets count from.
    QByteArray image(kIdentity + kDataSize, '\0');
    // A recognisable pattern: every byte differs from its neighbours and no block repeats.
    for (int i = 0; i < kDataSize; ++i)
        image[kIdentity + i] = static_cast<char>(i * 7 + i / 64);
    // A radio keeps eight record sums in its memory, each the low 8 bits of the record's
    // other bytes: its own read has them right. The last data byte makes up for the sums
    // outside the VFO records, so the checksum of a read stays the one the recorded
    // transcripts hold.
    const MemoryMap::RecordPair& vfoA = MemoryMap::kRecordPairs[int(MemoryMap::Pair::VfoA)];
    const MemoryMap::RecordPair& vfoB = MemoryMap::kRecordPairs[int(MemoryMap::Pair::VfoB)];
    int drift = 0;
    for (const MemoryMap::SumPlace& p : MemoryMap::SumPlaces()) {
        if (p.at == MemoryMap::kTotalSumAt)
            continue;
        const quint8 sum = MemoryMap::SumOf(image, p.first, p.last);
        if (p.first < vfoA.master || p.first > vfoB.backup)
            drift += static_cast<quint8>(image[p.at]) - sum;
        image[p.at] = static_cast<char>(sum);
    }
    image[image.size() - 1] = static_cast<char>(image[image.size() - 1] + drift);
    // Outside the sums' ranges: a dozen channels and two banks to look at after a read.
    putDemoChannels(image);
    // The lists and the settings leave the total as it was: the last data byte makes up
    // for them, so the recorded transcripts' checksums stay.
    const quint8 total = MemoryMap::SumOf(image, 0, image.size() - 1);
    putDemoLists(image);
    putDemoSettings(image, model);
    putDemoStations(image, model);
    image[image.size() - 1] =
        char(image.back() + total - MemoryMap::SumOf(image, 0, image.size() - 1));
    memory = image.mid(kIdentity);
}

void SimRadio::schedule(const QByteArray& bytes, qint64 startNs) {
    if (bytes.isEmpty())
        return;
    out_.push_back(Burst{bytes, qMax(startNs, lastScheduledEnd()), 0});
}

qint64 SimRadio::lastScheduledEnd() const {
    if (out_.empty())
        return 0;
    const Burst& b = out_.back();
    return b.startNs + b.bytes.size() * kByteNs;
}

void SimRadio::countCrossed(qint64 n) {
    crossed_ += n;
    if (faults.pullCableAfterBytes >= 0 && crossed_ >= faults.pullCableAfterBytes)
        cablePulled_ = true;
}

void SimRadio::pressBand(qint64 nowNs) {
    if (cablePulled_ || faults.silent)
        return;
    out_.clear();
    mode_ = Mode::AwaitingAck;
    schedule(faults.noise + identity, nowNs);
}

void SimRadio::powerCycle() {
    out_.clear();
    incoming_.clear();
    mode_ = Mode::Idle;
}

void SimRadio::fromPc(const QByteArray& bytes, qint64 nowNs) {
    if (cablePulled_)
        return;
    pcBytes += bytes;
    countCrossed(bytes.size());
    if (mode_ == Mode::Receiving && !incoming_.isEmpty() && nowNs - lastFromPcNs_ > kGiveUpNs) {
        incoming_.clear();
        mode_ = Mode::Error;
    }
    lastFromPcNs_ = nowNs;
    for (char c : bytes) {
        switch (mode_) {
            case Mode::AwaitingAck:
                if (c == kAck) {
                    mode_ = Mode::Sending;
                    QByteArray data = memory;
                    if (faults.stallAfterBlocks >= 0)
                        data.truncate(faults.stallAfterBlocks * kBlockSize);
                    const bool complete = faults.stallAfterBlocks < 0;
                    if (complete && !faults.omitChecksum) {
                        quint8 sum = checksumOf(identity, memory);
                        if (faults.wrongChecksum)
                            sum = static_cast<quint8>(sum + 1);
                        data.append(static_cast<char>(sum));
                    }
                    schedule(data, nowNs);
                } else {
                    refusedAck = true;
                    mode_ = Mode::Error;
                }
                break;
            case Mode::Idle:
            case Mode::Receiving:
                if (faults.silent)
                    break;
                mode_ = Mode::Receiving;
                incoming_.append(c);
                if (incoming_.size() == kIdentitySize) {
                    schedule(QByteArray(1, faults.nakIdentity ? kNak : kAck),
                             nowNs + faults.ackDelayNs);
                    if (faults.nakIdentity) {
                        incoming_.clear();
                        mode_ = Mode::Error;
                    }
                } else if (incoming_.size() == kIdentitySize + kDataSize + 1) {
                    const QByteArray id = incoming_.left(kIdentitySize);
                    const QByteArray data = incoming_.mid(kIdentitySize, kDataSize);
                    ++writesReceived;
                    lastWriteImage = data;
                    lastWriteChecksumOk =
                        checksumOf(id, data) == static_cast<quint8>(incoming_.back());
                    if (lastWriteChecksumOk) {
                        identity = id;
                        memory = data;
                    }
                    incoming_.clear();
                    mode_ = Mode::Idle;
                }
                break;
            case Mode::Sending:
            case Mode::Error:
                break;
        }
    }
}

qint64 SimRadio::countDue(qint64 nowNs) const {
    if (cablePulled_)
        return 0;
    qint64 n = 0;
    for (const Burst& b : out_) {
        if (nowNs < b.startNs)
            break;
        const qint64 arrived = qMin<qint64>((nowNs - b.startNs) / kByteNs, b.bytes.size());
        n += arrived - b.taken;
        if (arrived < b.bytes.size())
            break;
    }
    return n;
}

QByteArray SimRadio::takeDue(qint64 nowNs) {
    QByteArray result;
    if (cablePulled_)
        return result;
    while (!out_.empty()) {
        Burst& b = out_.front();
        if (nowNs < b.startNs)
            break;
        qint64 arrived = qMin<qint64>((nowNs - b.startNs) / kByteNs, b.bytes.size());
        if (faults.pullCableAfterBytes >= 0)
            arrived =
                qMin(arrived, b.taken + qMax<qint64>(0, faults.pullCableAfterBytes - crossed_));
        result.append(b.bytes.mid(b.taken, arrived - b.taken));
        countCrossed(arrived - b.taken);
        b.taken = arrived;
        if (cablePulled_ || b.taken < b.bytes.size())
            break;
        out_.pop_front();
    }
    if (out_.empty() && mode_ == Mode::Sending)
        mode_ = Mode::Idle;
    return result;
}

qint64 SimRadio::nextDueNs() const {
    if (cablePulled_ || out_.empty())
        return -1;
    const Burst& b = out_.front();
    return b.startNs + (b.taken + 1) * kByteNs;
}

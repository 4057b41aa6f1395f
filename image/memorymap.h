#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <iterator>
#include <optional>

#include "image/models.h"

// The one map of the radio's memory: every field the program reads or writes, named once,
// with where it lies, how many bits or bytes it takes and how its value is stored. Offsets
// count from the image start (the first identity byte). Writing a field patches only its
// own bits; bits no field names are kept as they are.
namespace MemoryMap {

// How a field's bits or bytes hold its value.
enum class Codec {
    Bits,     // an unsigned number in `width` bits from `bit` up
    Index,    // as Bits: a 0-based index into the field's value list
    WordBE,   // a 16-bit big-endian word (`width` is 2 bytes)
    BcdKhz,   // six BCD digits of whole kHz in 3 bytes
    Bcd8,     // eight BCD digits of 10 Hz in 4 bytes
    Table,    // the radio's character table, padded with 0xFF after the last character;
              // trailing spaces are padding and a code without a character reads as '.'
    Table7,   // as Table, bit 7 ignored when read (the radio may set it in bank names)
    AsciiFF,  // printable ASCII padded with 0xFF
    Call7,    // 6 bytes ASCII-FF callsign, then the SSID 0-15 in one byte
    Pos,      // sign byte (bit 0: south or west), degrees, minutes, seconds
    Dtmf,     // one digit a byte: 0-9, A-D as 10-13, * 14, # 15, - 16 (pause); 0xFF pads
};

// The summed records: each holds its own sum in its last byte (the low 8 bits of the sum
// of its other bytes) and has a backup that follows it, equal byte for byte.
enum class Pair { None = -1, Unknown, VfoA, VfoB, Broadcast };
struct RecordPair {
    const char* name;
    int master;  // first byte of the master record
    int backup;  // first byte of its backup
    int size;    // bytes of one record, its sum included
    int masterSum() const { return master + size - 1; }
    int backupSum() const { return backup + size - 1; }
};
inline constexpr RecordPair kRecordPairs[] = {{"unknown", 0x05CA, 0x060A, 64},
                                              {"VFO A", 0x064A, 0x06CA, 128},
                                              {"VFO B", 0x074A, 0x07CA, 128},
                                              {"broadcast", 0x084A, 0x08CA, 128}};
// The final checksum: the low 8 bits of the sum of every byte before it.
inline constexpr int kTotalSumAt = kRadioModels[0].totalSumAt;

// The radio's character table for names, by code; codes 80 and above have no character.
// Code 36 is the space the radio writes; 79 shows as a space too.
inline constexpr char kNameTable[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz.,:;*#_-/&()@!?^ ";

// One field, or an array of `count` fields `stride` bytes apart.
struct Field {
    int offset;   // the first (or only) element
    int width;    // bits for Bits and Index, bytes for the other codecs
    int bit = 0;  // the lowest bit, for Bits and Index
    Codec codec = Codec::Bits;
    int count = 1;
    int stride = 0;
    Pair pair = Pair::None;
    // Where element n begins.
    constexpr int at(int n = 0) const { return offset + n * stride; }
    // The bits the field takes in its byte (Bits and Index), shifted into place.
    constexpr unsigned mask() const { return ((1u << width) - 1u) << bit; }
    // The bytes the field takes.
    constexpr int bytes() const {
        return codec == Codec::Bits || codec == Codec::Index ? 1 : width;
    }
};

// A Bits or Index field's value in `byte`, the byte that holds it.
constexpr unsigned Get(unsigned char byte, const Field& field) {
    return (byte & field.mask()) >> field.bit;
}

// The channels, their flag bytes and the banks: one layout in every model.
namespace Channels {
inline constexpr int kCount = 900;
inline constexpr int kRecordSize = 32;
// Past channel 900 the flag bytes and the records go on for two more lists in the same
// formats: the 100 skip-search memories, then the 50 PMS pairs stored L1, U1, L2, U2, ...
// Every entry of the three lists is a slot, 1-1100; banks hold channels 1-900 only.
enum class List { Channels, Skip, Pms };
struct ListSpan {
    int first;  // the slot of location 1
    int size;
    constexpr int last() const { return first + size - 1; }
    constexpr bool holds(int slot) const { return slot >= first && slot <= last(); }
};
inline constexpr ListSpan kLists[] = {{1, kCount}, {kCount + 1, 100}, {kCount + 101, 100}};
inline constexpr int kSlots = std::end(kLists)[-1].last();
constexpr ListSpan Span(List list) {
    return kLists[int(list)];
}
// The list a slot belongs to (slots past the end count as the last list's).
constexpr List ListOf(int slot) {
    int list = 0;
    while (list + 1 < int(std::size(kLists)) && slot > kLists[list].last())
        ++list;
    return List(list);
}
// One flag byte per slot; from the top bit down: no sub-VFO, 3 unknown, preferential,
// skip, used, valid.
inline constexpr Field kFlags{0x2C4A, 8, 0, Codec::Bits, kSlots, 1};
inline constexpr Field kValid{0x2C4A, 1, 0, Codec::Bits, kSlots, 1};
inline constexpr Field kUsed{0x2C4A, 1, 1, Codec::Bits, kSlots, 1};
inline constexpr Field kSkip{0x2C4A, 2, 2, Codec::Bits, kSlots, 1};
inline constexpr Field kKeptFlags{0x2C4A, 3, 4, Codec::Bits, kSlots, 1};
inline constexpr Field kNoSubVfo{0x2C4A, 1, 7, Codec::Bits, kSlots, 1};
// A flag byte with both valid and used set: a channel in use.
constexpr bool InUse(unsigned char flags) {
    return Get(flags, kValid) && Get(flags, kUsed);
}
// Valid set and used clear: a channel the owner masked on the radio, which hides it and
// keeps its data. Valid set at all: a slot that holds data, in use or masked.
constexpr bool Masked(unsigned char flags) {
    return Get(flags, kValid) && !Get(flags, kUsed);
}
constexpr bool Holds(unsigned char flags) {
    return Get(flags, kValid);
}
// One 32-byte record per slot.
inline constexpr int kRecords = 0x328A;
// Byte 0, bits 4-0: the mark. Radios leave values in it on channels of every raster; a
// channel off the 5 kHz raster always has bit 0 set.
inline constexpr Field kMark{kRecords + 0, 5, 0, Codec::Bits, kSlots, kRecordSize};
// What the radio keeps in the mark of a channel on the 6.25 kHz raster.
inline constexpr int kRasterMark = 5;
// Narrow deviation, which the radio sets for all channels at once: byte 0, bit 5.
inline constexpr Field kHalfDeviation{kRecords + 0, 1, 5, Codec::Bits, kSlots, kRecordSize};
inline constexpr Field kMode{kRecords + 1, 2, 6, Codec::Index, kSlots, kRecordSize};
inline constexpr Field kDuplex{kRecords + 1, 2, 4, Codec::Index, kSlots, kRecordSize};
inline constexpr Field kStep{kRecords + 1, 4, 0, Codec::Index, kSlots, kRecordSize};
inline constexpr Field kFrequency{kRecords + 2, 3, 0, Codec::BcdKhz, kSlots, kRecordSize};
inline constexpr Field kPower{kRecords + 5, 2, 6, Codec::Index, kSlots, kRecordSize};
inline constexpr Field kToneMode{kRecords + 5, 2, 0, Codec::Index, kSlots, kRecordSize};
inline constexpr Field kName{kRecords + 8, 16, 0, Codec::Table, kSlots, kRecordSize};
inline constexpr Field kOffset{kRecords + 24, 3, 0, Codec::BcdKhz, kSlots, kRecordSize};
inline constexpr Field kTone{kRecords + 27, 6, 0, Codec::Index, kSlots, kRecordSize};
inline constexpr Field kDcs{kRecords + 28, 7, 0, Codec::Index, kSlots, kRecordSize};
// Bytes of unknown use: the radio writes 6 and 7 as zero with every channel, and 29 and 31
// as 0x1D and 0x18 in a slot it stores a new channel in.
inline constexpr Field kZeroed{kRecords + 6, 2, 0, Codec::WordBE, kSlots, kRecordSize};
inline constexpr Field kUnknown29{kRecords + 29, 8, 0, Codec::Bits, kSlots, kRecordSize};
inline constexpr Field kUnknown31{kRecords + 31, 8, 0, Codec::Bits, kSlots, kRecordSize};
// Where the radio keeps the two lists.
static_assert(kFlags.at(kLists[1].first - 1) == 0x2FCE && kFlags.at(kLists[2].first - 1) == 0x3032);
static_assert(kRecords + (kLists[1].first - 1) * kRecordSize == 0xA30A);
static_assert(kRecords + (kLists[2].first - 1) * kRecordSize == 0xAF8A);
static_assert(kRecords + kSlots * kRecordSize - 1 == 0xBC09);
}  // namespace Channels

namespace Banks {
inline constexpr int kCount = 24;
inline constexpr int kMembersPerBank = 100;
// 0xFFFF: a bank not in use, or the end of a member list.
inline constexpr int kUnusedWord = 0xFFFF;
// The in-use word the radio writes for a bank with members.
inline constexpr int kInUseWord = 0x0006;
inline constexpr Field kInUse{0x054A, 2, 0, Codec::WordBE, kCount, 2};
// 18 bytes per bank: 2 unknown, then the name.
inline constexpr int kNameRecordSize = 18;
inline constexpr Field kName{0x135A + 2, 16, 0, Codec::Table7, kCount, kNameRecordSize};
inline constexpr int kNameRecords = kName.offset - 2;
// Each bank's members: channel indexes (0-based), 0xFFFF after the last; member m of bank
// b is element b * kMembersPerBank + m.
inline constexpr Field kMembers{0x198A, 2, 0, Codec::WordBE, kCount* kMembersPerBank, 2};
}  // namespace Banks

// The APRS beacons the radio received, read only: per entry a metadata record and a packet
// slot, in the same order.
namespace Stations {
inline constexpr int kMetadataSize = 24;
// Within a metadata record: the date (3 BCD bytes, year, month, day), the day of the week,
// the time (2 BCD bytes, hours and minutes), a sequence number, the stored callsign (7
// bytes), the flags (bit 6: the callsign is ASCII), the packet length (16 bits, big-endian).
inline constexpr int kDateAt = 0;
inline constexpr int kWeekdayAt = 3;
inline constexpr int kTimeAt = 4;
inline constexpr int kSequenceAt = 6;
inline constexpr int kCallsignAt = 8;
inline constexpr int kCallsignSize = 7;
inline constexpr int kFlagsAt = 18;
inline constexpr int kAsciiCallsignBit = 6;
inline constexpr int kLengthAt = 20;
// A record whose first byte is 0xFF holds no entry.
inline constexpr uchar kUnused = 0xFF;
struct Places {
    int count;       // entries
    int metadata;    // the first metadata record; records follow each other
    int packets;     // the first packet slot
    int packetSize;  // bytes of one slot
    constexpr int metadataAt(int n) const { return metadata + n * kMetadataSize; }
    constexpr int packetAt(int n) const { return packets + n * packetSize; }
};
// The VX-8R's path takes 0-8 addresses; the VX-8DR's and VX-8GE's always two slots.
Places StationPlaces(Model model);
}  // namespace Stations

// The radio-wide settings: one entry per field, an array (message groups, texts, the hops
// of a digipeater path, a SmartBeaconing value of each profile) as one entry with its count.
enum class Setting {
    // APRS
    Callsign,
    Ssid,
    PositionComment,
    Latitude,
    Longitude,
    TimeSource,
    TimeZone,
    SpeedUnit,
    GpsSpeedUnit,
    AltitudeUnit,
    GpsAltitudeUnit,
    DistanceUnit,
    PositionFormat,
    GpsPositionFormat,
    WindUnit,
    RainUnit,
    TemperatureUnit,
    Symbol,
    UserSymbol,
    PositionSource,
    // APRS receive
    Modem,
    Mute,
    AfDual,
    RingMessage,
    RingBeacon,
    ReceiveMicE,
    ReceivePosition,
    ReceiveWeather,
    ReceiveObject,
    ReceiveItem,
    ReceiveStatus,
    ReceiveOther,
    FlashMessage,
    FlashGroup,
    FlashBulletin,
    VibrateMessage,
    VibrateGroup,
    VibrateBulletin,
    MessageGroup,
    SelectedMessageGroup,
    // APRS transmit: the beacon mode is two bits, by interval and SmartBeaconing
    BeaconByInterval,
    BeaconSmart,
    TxDelay,
    BeaconInterval,
    StatusText,
    SelectedStatusText,
    Macro,
    DigiPath8,
    DigiPaths4To7,
    SelectedDigiPath,
    // SmartBeaconing: each value once per profile
    SmartProfile,
    SmartLowSpeed,
    SmartHighSpeed,
    SmartSlowRate,
    SmartFastRate,
    SmartTurnAngle,
    SmartTurnSlope,
    SmartTurnTime,
    // DTMF, display, scan
    DtmfMode,
    AutodialSpeed,
    AutodialDelay,
    DtmfMemory,
    LcdDimmer,
    LcdContrast,
    Lamp,
    Beep,
    OpeningMode,
    OpeningMessage,
    VolumeMode,
    VolumeA,
    VolumeB,
    SquelchA,
    SquelchB,
    ScanRestart,
    ScanResume,
    BusyLed,
    ScanLamp,
    TxTimeout,
};
// The field of a setting in a model; none for a setting the model does not have.
std::optional<Field> SettingField(Model model, Setting setting);
// The start of the second APRS block, which moves with the number of message macros.
int SecondAprsBlock(Model model);
// "VX-8R", "VX-8DR", "VX-8GE".
QString ModelName(Model model);

// The model an image's identity names; none for an identity no table describes.
std::optional<Model> ModelOf(const QByteArray& image);

// A field element's value as a number (Bits, Index, WordBE, BcdKhz, Bcd8: -1 when a BCD
// digit is above 9), and its text (Table, AsciiFF, Call7 as "CALL-n", Pos as
// "40°44'53\"N" with 'N'/'S' given by the sign, Dtmf). Nothing is read outside `image`:
// a field past its end reads as -1 or empty.
qint64 ReadNumber(const QByteArray& image, const Field& field, int n = 0);
QString ReadText(const QByteArray& image, const Field& field, int n = 0);
// Writes element n; only the field's bits (or bytes) change. False, and nothing written,
// for a value the field cannot hold or a field past the end of `image`.
bool WriteNumber(QByteArray& image, const Field& field, qint64 value, int n = 0);
bool WriteText(QByteArray& image, const Field& field, const QString& text, int n = 0);

// A Table or Table7 element as a text that gives its bytes back: a code with no character
// as "\x5A" (the byte as stored), trailing spaces as padding. *cut says whether bytes other
// than pads follow the first pad, which the text then leaves out.
QString ReadTableEscaped(const QByteArray& image, const Field& field, int n = 0,
                         bool* cut = nullptr);
// Such a text as `size` codes padded with 0xFF ("\xFF" is no escape: it would end the
// text); none when it does not fit, or holds a character the table lacks (its index in
// *bad).
std::optional<QByteArray> TableEscapedBytes(const QString& text, int size, int* bad);
// Writes it; a character that stays where it was keeps its byte (and its bit 7 in Table7).
bool WriteTableEscaped(QByteArray& image, const Field& field, const QString& text, int n = 0);

// A byte range [first, first + size) a change wrote.
struct Range {
    int first;
    int size;
};
// After a change that wrote `touched`: each summed record it touched gets its sum again and
// its backup is made equal to it (a touched backup alone gets its own sum), then the final
// checksum. Untouched records keep their sums, right or stale.
void RefreshSums(QByteArray& image, const QList<Range>& touched);
// The ranges where `after` differs from `before` (the same size); differences a few bytes
// apart make one range.
QList<Range> Differences(const QByteArray& before, const QByteArray& after);
// The sums after a change from `before` to `after`, the one rule for every change the
// windows or the command line make: RefreshSums over the ranges that differ. An image whose
// sums are kept stale on purpose (`keepStale`) is not healed: every sum moves with its data
// instead, so that each stays off by as much as it was.
void RefreshSumsFor(const QByteArray& before, QByteArray& after, bool keepStale = false);

// One sum the image keeps, for the checks on opening a file.
struct SumPlace {
    QString name;  // "region 0x064A-0x06C8" or "final checksum"
    int first;     // the summed range
    int last;
    int at;  // where the sum is stored
};
// The eight record sums in image order, then the final checksum.
QList<SumPlace> SumPlaces();
quint8 SumOf(const QByteArray& image, int first, int last);

}  // namespace MemoryMap
